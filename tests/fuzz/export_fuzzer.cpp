// Fuzz target: turns its input into a sequence of export calls, in any order and with any values,
// against a copy of the plug-in that finds one of several pattern scripts beside it.
//
// Input: a stream of operations, each an opcode byte followed by its arguments. Numbers are
// tagged so that small and extreme values take one byte (see the read_* functions); a stream
// that ends early reads zeros. tests/fuzz/make_seeds.py writes the seed corpus in this format.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "channel_listener.h"
#include "plugin_host.h"
#include "scripted_library.h"

namespace {

namespace fs = std::filesystem;

// The pattern scripts an input can put beside the library; the next vehicle built reads it.
struct script_choice {
    const char* name;
    const char* script; // text of signal_pattern.nut; nullptr: the bundled one; "" no file
};

constexpr char bundled[] = "bundled";

const script_choice scripts[] = {
    {bundled, nullptr},
    {"throws", "function get_brake_pattern_offset(r) { throw \"no offset\"; }\n"
               "function get_incoming_pattern_offset(r) { throw \"no offset\"; }\n"
               "function lookup_brake_pattern(a, b, d, o) { throw \"no pattern\"; }\n"},
    {"string", "function get_brake_pattern_offset(r) { return \"20\"; }\n"
               "function get_incoming_pattern_offset(r) { return \"50\"; }\n"
               "function lookup_brake_pattern(a, b, d, o) { return \"fast\"; }\n"},
    {"broken", "function lookup_brake_pattern(a, b, d, o { return 1; }\n"},
    {"missing", ""},
    // Numbers at the edges: the offset is infinite and the pattern follows the distance, so
    // NaN, infinities and huge values come back from the script.
    {"extreme", "function get_brake_pattern_offset(r) { return 1e38 * 10.0; }\n"
                "function get_incoming_pattern_offset(r) { return -1e38 * 10.0; }\n"
                "function lookup_brake_pattern(a, b, d, o) { return d * 1e30 - o; }\n"},
};
constexpr std::size_t script_count = sizeof scripts / sizeof scripts[0];

// One copy of the library for every input: its code and coverage counters exist once, and the
// devices' state lives in one place whichever script the input chose.
std::unique_ptr<talvik_test::scripted_library> library;
std::string bundled_text;
std::size_t current_script = script_count; // none written yet

void choose_script(std::size_t choice) {
    if (choice == current_script) return;
    current_script = choice;
    const script_choice& c = scripts[choice];
    if (c.script == nullptr) {
        library->write_script(bundled_text);
    } else if (*c.script == '\0') {
        library->remove_script();
    } else {
        library->write_script(c.script);
    }
}

void make_library() {
    std::ifstream in(TALVIK_BUNDLED_SCRIPT, std::ios::binary);
    bundled_text.assign(std::istreambuf_iterator<char>(in), {});
    // A long run may name a copy of the library, so that rebuilding does not change it.
    const char* copy = std::getenv("TALVIK_FUZZ_LIBRARY");
    library = std::make_unique<talvik_test::scripted_library>(
        nullptr, copy ? std::string(copy) : talvik_test::built_library());
    // The directory goes at exit; the library stays mapped until then.
    std::atexit([] { library.reset(); });
}

// A debug listener, as a debug viewer creates it, so that the diagnostic lines are formatted and
// sent too; it comes and goes. The process moves to a network namespace of its own first: the
// name is machine-wide otherwise, and tests running beside the fuzzer must not find a listener
// they did not make.
bool listening_allowed = false;
hostkit::debug_listener listener;

void toggle_listener() {
    std::string ignored;
    if (listener.is_open()) {
        listener.close();
    } else {
        listener.open(ignored);
    }
}

// Reads what arrived, as the viewer would; a full queue makes the plug-in's sends wait or fail.
void drain_listener() {
    static std::string message;
    while (listener.receive(message)) {
    }
}

// Sequential reader; past the end every byte is zero.
class reader {
  public:
    reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    template <typename T> T raw() {
        std::uint8_t bytes[sizeof(T)];
        for (auto& b : bytes)
            b = byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

// tag < 0x80: tag - 16; 0x80-0x8f: an extreme; otherwise four raw bytes follow.
std::int32_t read_int(reader& r) {
    static constexpr std::int32_t extremes[16] = {
        int_min, int_max, int_min + 1, int_max - 1, 255,     256,        999,     1000,
        -1000,   65535,   65536,       -65536,      1 << 30, -(1 << 30), 0x20000, -2};
    const std::uint8_t tag = r.byte();
    if (tag < 0x80) return static_cast<std::int32_t>(tag) - 16;
    if (tag < 0x90) return extremes[tag - 0x80];
    return r.raw<std::int32_t>();
}

// tag < 0x80: tag as a speed; 0x80-0x9f: a special value; otherwise four raw bytes follow.
float read_float(reader& r) {
    static const float specials[32] = {std::numeric_limits<float>::quiet_NaN(),
                                       -std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       FLT_MAX,
                                       -FLT_MAX,
                                       FLT_MIN,
                                       -FLT_MIN,
                                       std::numeric_limits<float>::denorm_min(),
                                       -0.0f,
                                       14.999999f,
                                       15.0f,
                                       1e30f,
                                       -1e30f,
                                       2147483648.0f,
                                       -2147483904.0f,
                                       4294967296.0f,
                                       1e10f,
                                       -1.0f,
                                       -12.5f,
                                       -15.0f,
                                       0.5f,
                                       20.0f,
                                       1e-30f,
                                       std::numeric_limits<float>::signaling_NaN(),
                                       3.4e38f,
                                       -0.5f,
                                       100000.0f,
                                       1.0f,
                                       2.0f,
                                       33.0f,
                                       1e20f};
    const std::uint8_t tag = r.byte();
    if (tag < 0x80) return static_cast<float>(tag);
    if (tag < 0xa0) return specials[tag - 0x80];
    return r.raw<float>();
}

// tag < 0x80: tag kilometres; 0x80-0x9f: a special value; otherwise eight raw bytes follow.
double read_location(reader& r) {
    static const double specials[32] = {std::numeric_limits<double>::quiet_NaN(),
                                        -std::numeric_limits<double>::quiet_NaN(),
                                        std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        DBL_MAX,
                                        -DBL_MAX,
                                        DBL_MIN,
                                        std::numeric_limits<double>::denorm_min(),
                                        1e30,
                                        -1e30,
                                        1e300,
                                        -1e300,
                                        9.3e18,
                                        -9.3e18,
                                        2147483648.0 * 1000.0,
                                        -2147483649.0 * 1000.0,
                                        12345.6,
                                        105340.0,
                                        5000.0,
                                        50.0,
                                        -1500.0,
                                        -1000.0,
                                        9007199254740993.0,
                                        4.5e15,
                                        0.05,
                                        -0.05,
                                        999999.9,
                                        1e9,
                                        -0.0,
                                        1e-300,
                                        1e19,
                                        1.8e19};
    const std::uint8_t tag = r.byte();
    if (tag < 0x80) return tag * 1000.0;
    if (tag < 0xa0) return specials[tag - 0x80];
    return r.raw<double>();
}

// The host's clock: steps of 0-127 ms, big jumps, or any absolute time.
std::int32_t read_time(reader& r, std::int32_t now) {
    static constexpr std::int32_t jumps[16] = {
        -1, -33, -1000, 86400000, int_min, int_max, -86400000, 1000000,
        34, 50,  60000, 65000,    5000,    100,     1 << 30,   -(1 << 30)};
    const std::uint8_t tag = r.byte();
    const auto shifted = [now](std::int32_t by) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) +
                                         static_cast<std::uint32_t>(by));
    };
    if (tag < 0x80) return shifted(tag);
    if (tag < 0x90) return shifted(jumps[tag - 0x80]);
    if (tag == 0x90) return 0;
    if (tag == 0x91) return int_max;
    if (tag == 0x92) return int_min;
    return r.raw<std::int32_t>();
}

// Beacon types the plug-in knows, and neighbours of them.
std::int32_t read_beacon_type(reader& r) {
    static constexpr std::int32_t types[32] = {
        0,   1,   50,  55,  56,  21, 140, 141, 142, 143, 144, 145, 147, 150, 160, 146,
        148, 149, 139, 151, 161, 2,  49,  51,  54,  57,  20,  22,  -1,  159, 200, int_min};
    const std::uint8_t tag = r.byte();
    if (tag < 32) return types[tag];
    if (tag < 0xf0) return static_cast<std::int32_t>(tag) - 32;
    return r.raw<std::int32_t>();
}

using talvik_test::is_sound_command;
using talvik_test::sentinel;
namespace panel = ats::cab::panel;
constexpr std::size_t array_size = 256;

// The indices the plug-in writes; it must leave every other index alone.
constexpr auto& panel_used = ats::cab::panel_indices;
constexpr auto& sound_used = ats::cab::sound_indices;

using host_array = std::array<std::int32_t, array_size>;

// The checks below run around every frame, so they are kept out of the coverage
// instrumentation: their branches say nothing about the plug-in.

// Before a frame: the indices the plug-in must write hold the sentinel again, so a frame that
// leaves one unwritten shows.
__attribute__((no_sanitize("coverage"))) void clear_used(host_array& panel, host_array& sound) {
    for (const std::int32_t i : panel_used)
        panel[static_cast<std::size_t>(i)] = sentinel;
    for (const std::int32_t i : sound_used)
        sound[static_cast<std::size_t>(i)] = sentinel;
}

__attribute__((no_sanitize("coverage"))) bool is_lamp(std::int32_t v) { return v == 0 || v == 1; }

// What every frame must give the host, whatever came before it.
__attribute__((no_sanitize("coverage"))) void
check_frame(const ats::handles& out, const host_array& panel, const host_array& sound) {
    bool ok = out.const_speed == ats::cab::const_speed_resting;
    for (const std::int32_t i : sound_used)
        ok = ok && is_sound_command(sound[static_cast<std::size_t>(i)]);
    // Exactly one of the white and red lamps.
    ok = ok && is_lamp(panel[panel::white_lamp]) &&
         panel[panel::white_lamp] + panel[panel::red_lamp] == 1;
    ok = ok && is_lamp(panel[panel::vigilance_lamp]) && is_lamp(panel[panel::emergency_brake_lamp]);
    const std::int32_t traction = panel[panel::traction_state];
    ok = ok && panel[panel::traction_shown] == (traction > 0 ? 1 : 0) && traction >= 0 &&
         traction <= 3;
    for (const std::int32_t i : {panel::position_tenths, panel::position_units,
                                 panel::position_tens, panel::position_hundreds})
        ok = ok && panel[i] >= -9 && panel[i] <= ats::cab::blank_digit;
    ok = ok && panel[panel::minutes] > -60 && panel[panel::minutes] < 60 &&
         panel[panel::seconds] > -60 && panel[panel::seconds] < 60;
    if (!ok) __builtin_trap();
}

// After a stretch of frames filled with the sentinel: no frame wrote any other index (a stray
// write stays until the next fill).
__attribute__((no_sanitize("coverage"))) void check_untouched(host_array panel, host_array sound) {
    clear_used(panel, sound);
    for (std::size_t i = 0; i < array_size; ++i) {
        if (panel[i] != sentinel || sound[i] != sentinel) __builtin_trap();
    }
}

enum op : std::uint8_t {
    op_load,
    op_dispose,
    op_version,
    op_spec,
    op_initialize,
    op_elapse,
    op_frames,
    op_power,
    op_brake,
    op_reverser,
    op_key_down,
    op_key_up,
    op_horn,
    op_door_open,
    op_door_close,
    op_signal,
    op_beacon,
    op_instance,
    op_listener,
    op_count
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Scripts print their errors on standard output; the fuzzer reports on standard error.
    if (std::getenv("TALVIK_FUZZ_VERBOSE") == nullptr) {
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
    }
    make_library();
    listening_allowed = talvik_test::isolate_channel_name();
    if (listening_allowed) toggle_listener();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reader r(data, size);
    // Every input starts with the bundled script and an unloaded library.
    choose_script(0);
    const talvik_test::plugin_api& api = library->library().api();
    ats::vehicle_state state{};
    host_array panel;
    host_array sound;
    const auto elapse = [&] {
        clear_used(panel, sound);
        check_frame(api.Elapse(state, panel.data(), sound.data()), panel, sound);
    };
    // A stretch of frames between two fills of the whole arrays.
    const auto stretch = [&](auto&& frames) {
        panel.fill(sentinel);
        sound.fill(sentinel);
        frames();
        check_untouched(panel, sound);
    };

    while (!r.done()) {
        switch (static_cast<op>(r.byte() % op_count)) {
        case op_load: api.Load(); break;
        case op_dispose: api.Dispose(); break;
        case op_version:
            if (api.GetPluginVersion() != 0x20000) __builtin_trap();
            break;
        case op_spec: {
            ats::vehicle_spec spec{};
            spec.brake_notches = read_int(r);
            spec.ats_notch = read_int(r);
            spec.spec_aux_4 = read_int(r);
            api.SetVehicleSpec(spec);
            break;
        }
        case op_initialize: api.Initialize(read_int(r)); break;
        case op_elapse:
            state.speed = read_float(r);
            state.location = read_location(r);
            state.time = read_time(r, state.time);
            state.traction_value = read_float(r);
            state.state_aux_16 = read_float(r);
            stretch(elapse);
            break;
        case op_frames: {
            // Long stretches reach the timers: 60 s of vigilance is 1819 frames of 33 ms.
            const int count = (r.byte() + 1) * 8;
            const std::int32_t step = static_cast<std::int32_t>(r.byte());
            state.speed = read_float(r);
            const double metres_per_frame = static_cast<double>(r.byte()) * 0.25;
            stretch([&] {
                for (int i = 0; i < count; ++i) {
                    state.time = static_cast<std::int32_t>(static_cast<std::uint32_t>(state.time) +
                                                           static_cast<std::uint32_t>(step));
                    state.location += metres_per_frame;
                    elapse();
                }
            });
            break;
        }
        case op_power: api.SetPower(read_int(r)); break;
        case op_brake: api.SetBrake(read_int(r)); break;
        case op_reverser: api.SetReverser(read_int(r)); break;
        case op_key_down: api.KeyDown(read_int(r)); break;
        case op_key_up: api.KeyUp(read_int(r)); break;
        case op_horn: api.HornBlow(read_int(r)); break;
        case op_door_open: api.DoorOpen(); break;
        case op_door_close: api.DoorClose(); break;
        case op_signal: api.SetSignal(read_int(r)); break;
        case op_beacon: {
            ats::beacon_data b{};
            b.type = read_beacon_type(r);
            b.signal = read_int(r);
            b.distance = read_float(r);
            b.optional = read_int(r);
            api.SetBeaconData(b);
            break;
        }
        case op_instance: choose_script(r.byte() % script_count); break;
        case op_listener:
            // The viewer closed or started: the plug-in's next send fails, or a new Load finds it.
            if (listening_allowed) toggle_listener();
            break;
        case op_count: break;
        }
        drain_listener();
    }

    api.Dispose();
    return 0;
}
