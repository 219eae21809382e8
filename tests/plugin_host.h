// The tests' host: loads the plug-in library through the host kit and drives it through its
// sixteen exports; a started cab with the recipes that bring it to the states tests start from.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "plugin/host/host_types.h"
#include "tools/hostkit/hostkit.h"
#include "wiring/cab.h"

namespace talvik_test {

// Path of the freshly built plug-in library, set by the build.
inline std::string built_library() { return TALVIK_LIBRARY_PATH; }

using hostkit::plugin_api;

// A library opened for the whole test; a test cannot run without it.
class plugin_library : public hostkit::plugin_library {
  public:
    explicit plugin_library(const std::string& path) {
        std::string error;
        if (!open(path, error)) throw std::runtime_error(error);
    }

    // The built library, opened once per test process.
    static plugin_library& built() {
        static plugin_library lib(built_library());
        return lib;
    }
};

// What an untouched index holds: a value the plug-in never writes.
constexpr std::int32_t sentinel = 0x5A5A5A5A;

// The cab's vocabulary, as the tests spell it: `h.panel[panel::red_lamp]`, `key::reset`.
namespace panel = ats::cab::panel;
namespace sound = ats::cab::sound;
namespace key = ats::cab::key;
namespace beacon = ats::cab::beacon;
using ats::cab::blank_digit;
using ats::cab::sound_cmd::playing;
using ats::cab::sound_cmd::silent;
using ats::cab::sound_cmd::start_once;
using ats::cab::sound_cmd::unchanged;

inline bool is_sound_command(std::int32_t v) {
    return v == silent || v == playing || v == start_once || v == unchanged;
}

// What SetVehicleSpec and Initialize start a run with: service notches, the protection's
// confirm notch, and the time of the first frame (10:00: a time of 0 has a meaning of its own).
struct cab_spec {
    std::int32_t notches = 8;
    std::int32_t ats_notch = 2;
    std::int32_t time_ms = 36000000;
    constexpr std::int32_t emergency() const { return ats::cab::emergency_position(notches); }
};
inline constexpr std::int32_t emergency = cab_spec{}.emergency();

// The vigilance device at 33 ms frames, counted from a standing train or a frame that counts
// nothing: the warning comes on this frame (60 s), the braking 5 s later.
inline constexpr std::int32_t vigilance_step_ms = 33;
inline constexpr int vigilance_warning_frame = 1819;
inline constexpr int vigilance_braking_frame = 1970;

// Drives one run: Load on construction, Dispose on destruction.
class host {
  public:
    explicit host(plugin_library& lib = plugin_library::built()) : api(lib.api()) {
        panel.fill(sentinel);
        sound.fill(sentinel);
        api.Load();
    }
    ~host() { api.Dispose(); }
    host(const host&) = delete;
    host& operator=(const host&) = delete;

    // SetVehicleSpec and Initialize: a new run, whose frames continue from the spec's time.
    host& start(const cab_spec& spec = {}) {
        spec_ = spec;
        api.SetVehicleSpec(ats::vehicle_spec{spec.notches, 0, spec.ats_notch, 0, 0});
        api.Initialize(0);
        state.time = spec.time_ms;
        return *this;
    }

    // One frame `step_ms` after the last one.
    ats::handles frame(std::int32_t step_ms = 20) {
        state.time += step_ms;
        out = api.Elapse(state, panel.data(), sound.data());
        return out;
    }
    // n frames; returns the last result.
    ats::handles frames(int n, std::int32_t step_ms = 20) {
        for (int i = 0; i < n; ++i)
            frame(step_ms);
        return out;
    }

    host& speed(float v) {
        state.speed = v;
        return *this;
    }
    host& doors_closed(bool closed) {
        closed ? api.DoorClose() : api.DoorOpen();
        return *this;
    }
    void beacon(std::int32_t type, std::int32_t signal, float distance, std::int32_t optional) {
        api.SetBeaconData(ats::beacon_data{type, signal, distance, optional});
    }
    void press(std::int32_t key) { api.KeyDown(key); }
    void release(std::int32_t key) { api.KeyUp(key); }
    // Presses a key for one frame and releases it after another.
    void tap(std::int32_t key) {
        press(key);
        frame();
        release(key);
        frame();
    }

    // The host gets the emergency brake and no power.
    bool brakes() const { return out.brake == spec_.emergency() && out.power == 0; }
    // The protection: white lamp and silence; red lamp, bell and chime; and braking with them.
    bool quiet() const {
        return panel[panel::white_lamp] == 1 && panel[panel::red_lamp] == 0 &&
               sound[sound::bell] == silent && sound[sound::chime] == silent;
    }
    bool ringing() const {
        return panel[panel::red_lamp] == 1 && sound[sound::bell] == playing &&
               sound[sound::chime] == playing;
    }
    bool latched() const { return brakes() && ringing() && panel[panel::white_lamp] == 0; }
    // The vigilance device: lamp and buzzer off, both on, and braking with them.
    bool vigilance_quiet() const {
        return panel[panel::vigilance_lamp] == 0 && sound[sound::vigilance_buzzer] == silent;
    }
    bool warning() const {
        return panel[panel::vigilance_lamp] == 1 && sound[sound::vigilance_buzzer] == playing;
    }
    bool vigilance_braking() const { return brakes() && warning(); }

    const plugin_api& api;
    ats::vehicle_state state{};
    ats::handles out{};
    std::array<std::int32_t, 256> panel{};
    std::array<std::int32_t, 256> sound{};

  private:
    cab_spec spec_;
};

// A started cab: vehicle data set and Initialize done, doors open, no frame run yet. Its recipes
// bring it to the states most tests start from.
class cab : public host {
  public:
    explicit cab(const cab_spec& spec = {}, plugin_library& lib = plugin_library::built())
        : host(lib) {
        start(spec);
    }
    explicit cab(plugin_library& lib) : cab(cab_spec{}, lib) {}

    // DoorClose and a frame that counts nothing, so that the next frame counts its full step.
    cab& close_doors() {
        doors_closed(true);
        frame(0);
        return *this;
    }
    // The protection's power-up test rung and its chime released: the protection is quiet.
    cab& pass_power_up_test() {
        frames(10);
        tap(key::release);
        return *this;
    }
    // At the set speed (15 or more), 60 s without a driver action: the warning comes.
    cab& reach_vigilance_warning() {
        frames(vigilance_warning_frame, vigilance_step_ms);
        return *this;
    }
    // And 5 s more: the vigilance device brakes.
    cab& reach_vigilance_braking() {
        frames(vigilance_braking_frame, vigilance_step_ms);
        return *this;
    }
    // A stop signal's beacon: the alarm rings until confirmed.
    cab& ring_alarm() {
        beacon(ats::cab::beacon::alarm, 0, 0.0f, 0);
        frame();
        return *this;
    }
    // A trip beacon: the protection brakes and holds the brake.
    cab& latch() {
        beacon(ats::cab::beacon::trip, 0, 0.0f, 0);
        frame();
        return *this;
    }
};

// Where most tests of the protection start: doors closed, power-up test over, standing.
struct quiet_cab : cab {
    explicit quiet_cab(const cab_spec& spec = {}, plugin_library& lib = plugin_library::built())
        : cab(spec, lib) {
        close_doors().pass_power_up_test();
    }
    explicit quiet_cab(plugin_library& lib) : quiet_cab(cab_spec{}, lib) {}
};

} // namespace talvik_test
