// The cab: every signal of the vehicle, one row each, with its bus, its name, its resting value
// and, for those the host sees, its index and the cab's words for it. The buses, the host output
// mapping, the indices' meanings and talvik-sim's columns all follow from that one table. Header
// only: the tools that load the plug-in read the cab's words here too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/host/host_types.h"

namespace ats {

enum class bus_id { panel, sound, output, command, boolean };

namespace cab {

// What the host does with a sound index's value.
namespace sound_cmd {
inline constexpr std::int32_t silent = -10000;
inline constexpr std::int32_t playing = -1;
inline constexpr std::int32_t start_once = 1;
inline constexpr std::int32_t unchanged = 2;
} // namespace sound_cmd

// A monitor digit that shows nothing (not 10).
inline constexpr std::int32_t blank_digit = 11;

// The constant-speed command the host gets: no device ever sets another.
inline constexpr std::int32_t const_speed_resting = 2;

using ats::emergency_position;

// Continuous sounds rest silent and play while their condition holds; one-shot sounds rest
// unchanged and start once on the frame of their event.
enum class shows { lamp, display, continuous_sound, one_shot_sound };

// How the index takes the signal's value: as it is, or 1 for a positive value and 0 otherwise.
enum class transform { copy, positive_flag };

// One index of the host's panel or sound array, and what it shows in the cab's words.
struct index_meaning {
    std::int32_t index = 0;
    shows kind = shows::lamp;
    transform how = transform::copy;
    const char* name = nullptr;    // the one word for it: the timeline, the replay page, the guide
    const char* meaning = nullptr; // the guide's: what a panel shows, when a sound sounds
    const char* values = nullptr;  // panels: the values it takes, as the guide gives them
};

constexpr index_meaning lamp(std::int32_t index, const char* name, const char* meaning) {
    return {index, shows::lamp, transform::copy, name, meaning, "0, 1"};
}
constexpr index_meaning display(std::int32_t index, const char* name, const char* meaning,
                                const char* values, transform how = transform::copy) {
    return {index, shows::display, how, name, meaning, values};
}
constexpr index_meaning continuous(std::int32_t index, const char* name, const char* when) {
    return {index, shows::continuous_sound, transform::copy, name, when, nullptr};
}
constexpr index_meaning one_shot(std::int32_t index, const char* name, const char* when) {
    return {index, shows::one_shot_sound, transform::copy, name, when, nullptr};
}

} // namespace cab

// The signals' names, as the code writes them: `w.panel.at<sig::white_lamp>()`.
namespace sig {
// panel bus
inline constexpr std::string_view white_lamp = "white_lamp";
inline constexpr std::string_view red_lamp = "red_lamp";
inline constexpr std::string_view eblp = "eblp";
inline constexpr std::string_view oneman = "oneman";
inline constexpr std::string_view mon_time_month = "mon_time_month";
inline constexpr std::string_view mon_time_day = "mon_time_day";
inline constexpr std::string_view mon_time_min = "mon_time_min";
inline constexpr std::string_view mon_time_sec = "mon_time_sec";
inline constexpr std::string_view mon_pos_tenth = "mon_pos_-1";
inline constexpr std::string_view mon_pos_1 = "mon_pos_1";
inline constexpr std::string_view mon_pos_10 = "mon_pos_10";
inline constexpr std::string_view mon_pos_100 = "mon_pos_100";
inline constexpr std::string_view mon_cont_state = "mon_cont_state";
inline constexpr std::string_view mon_retsuban_140 = "mon_retsuban_140";
inline constexpr std::string_view mon_retsuban_141 = "mon_retsuban_141";
inline constexpr std::string_view mon_retsuban_142 = "mon_retsuban_142";
inline constexpr std::string_view mon_retsuban_143 = "mon_retsuban_143";
inline constexpr std::string_view mon_retsuban_144 = "mon_retsuban_144";
inline constexpr std::string_view mon_retsuban_145 = "mon_retsuban_145";
inline constexpr std::string_view mon_max_speed_147 = "mon_max_speed_147";
inline constexpr std::string_view mon_max_speed_148 = "mon_max_speed_148";
inline constexpr std::string_view mon_max_speed_149 = "mon_max_speed_149";
// on the panel bus (lamp) and on the sound bus (sound), two separate signals
inline constexpr std::string_view mon_stop_station_150 = "mon_stop_station_150";
inline constexpr std::string_view emergency_brake_lamp = "emergency_brake_lamp";
inline constexpr std::string_view br = "br";
inline constexpr std::string_view sap = "sap";
// sound bus
inline constexpr std::string_view ats_s_bell = "ats_s_bell";
inline constexpr std::string_view ats_s_chime = "ats_s_chime";
inline constexpr std::string_view ats_s_bell_reverb = "ats_s_bell_reverb";
inline constexpr std::string_view ebbz = "ebbz";
inline constexpr std::string_view mon_section_160 = "mon_section_160";
inline constexpr std::string_view lb_on = "lb_on";
inline constexpr std::string_view lb_off = "lb_off";
inline constexpr std::string_view leave = "leave";
// output bus and command bus, two separate sets
inline constexpr std::string_view power = "power";
inline constexpr std::string_view brake = "brake";
inline constexpr std::string_view reverser = "reverser";
inline constexpr std::string_view const_speed = "const_speed";
// command bus
inline constexpr std::string_view atsresw = "atsresw";
inline constexpr std::string_view atscpb = "atscpb";
inline constexpr std::string_view atswrpb = "atswrpb";
// bool bus
inline constexpr std::string_view lv = "lv";
inline constexpr std::string_view cs = "cs";
} // namespace sig

struct signal_def {
    bus_id bus;
    std::string_view name;
    std::int32_t resting; // on the bool bus: 0 false, 1 true
    // Where the host sees it: nowhere for the signals the devices keep among themselves; the
    // traction state shows twice, as a lamp and as its value.
    std::array<cab::index_meaning, 2> host{};
};

constexpr signal_def row(bus_id bus, std::string_view name, std::int32_t resting,
                         cab::index_meaning shown = {}, cab::index_meaning also = {}) {
    return {bus, name, resting, {shown, also}};
}

// Every signal, bus by bus. A bus keeps its cells in this order, registers and resets them in it,
// and fills the host's array in it (the handles from the output bus first, then the panel, then
// the sounds).
inline constexpr signal_def signal_table[] = {
    row(bus_id::panel, sig::white_lamp, 0,
        cab::lamp(0, "white lamp", "white lamp: the protection is in its normal state")),
    row(bus_id::panel, sig::red_lamp, 0,
        cab::lamp(
            1, "red lamp",
            "red lamp: alarm ringing, protection braking, start-up test, or the fail-safe state")),
    row(bus_id::panel, sig::eblp, 0,
        cab::lamp(8, "vigilance lamp", "vigilance lamp: vigilance warning or vigilance braking")),
    row(bus_id::panel, sig::oneman, 0,
        cab::lamp(21, "one-man lamp", "one-man lamp: the train runs with a one-man crew")),
    row(bus_id::panel, sig::mon_time_month, 0,
        cab::display(116, "month", "date, month of the computer's date", "1 to 12")),
    row(bus_id::panel, sig::mon_time_day, 0,
        cab::display(117, "day", "date, day of the month of the computer's date", "1 to 31")),
    row(bus_id::panel, sig::mon_time_min, 0,
        cab::display(118, "minutes", "clock, minutes of the simulation time", "0 to 59")),
    row(bus_id::panel, sig::mon_time_sec, 0,
        cab::display(119, "seconds", "clock, seconds of the simulation time", "0 to 59")),
    row(bus_id::panel, sig::mon_pos_tenth, 0,
        cab::display(110, "position 0.1 km", "position, tenths of a kilometre", "0 to 9")),
    row(bus_id::panel, sig::mon_pos_1, 0,
        cab::display(111, "position 1 km", "position, units of kilometres", "0 to 9")),
    row(bus_id::panel, sig::mon_pos_10, 0,
        cab::display(112, "position 10 km", "position, tens of kilometres",
                     "0 to 9; 11 when the hundreds and tens are both 0")),
    row(bus_id::panel, sig::mon_pos_100, 0,
        cab::display(113, "position 100 km", "position, hundreds of kilometres",
                     "0 to 9; 11 when 0")),
    row(bus_id::panel, sig::mon_cont_state, 0,
        cab::display(120, "traction lamp", "traction lamp: the traction state (index 121) is not 0",
                     "0, 1", cab::transform::positive_flag),
        cab::display(121, "traction state",
                     "traction state: 0 none, 1 power, 2 electric brake at notch 2 or more, 3 "
                     "electric brake at notch 1",
                     "0 to 3")),
    row(bus_id::panel, sig::mon_retsuban_140, 0,
        cab::display(140, "train number 1", "train number, digit 1 (leftmost)", "0 to 9")),
    row(bus_id::panel, sig::mon_retsuban_141, 0,
        cab::display(141, "train number 2", "train number, digit 2", "0 to 9")),
    row(bus_id::panel, sig::mon_retsuban_142, 0,
        cab::display(142, "train number 3", "train number, digit 3", "0 to 9")),
    row(bus_id::panel, sig::mon_retsuban_143, 0,
        cab::display(143, "train number 4", "train number, digit 4", "0 to 9")),
    row(bus_id::panel, sig::mon_retsuban_144, 0,
        cab::display(144, "train number 5", "train number, digit 5", "0 to 9")),
    row(bus_id::panel, sig::mon_retsuban_145, 0,
        cab::display(145, "train number 6", "train number, digit 6 (rightmost)", "0 to 9")),
    row(bus_id::panel, sig::mon_max_speed_147, 0,
        cab::display(147, "max speed 100", "maximum speed, hundreds digit", "0 to 9")),
    row(bus_id::panel, sig::mon_max_speed_148, 0,
        cab::display(148, "max speed 10", "maximum speed, tens digit", "0 to 9")),
    row(bus_id::panel, sig::mon_max_speed_149, 0,
        cab::display(149, "max speed 1", "maximum speed, units digit", "0 to 9")),
    row(bus_id::panel, sig::mon_stop_station_150, 0,
        cab::lamp(150, "stop-station lamp",
                  "stop-station lamp: blinks while a stop station is announced")),
    row(bus_id::panel, sig::emergency_brake_lamp, 0,
        cab::lamp(20, "emergency-brake lamp",
                  "emergency-brake lamp: the driver's brake handle is at the emergency position")),
    row(bus_id::panel, sig::br, 0),
    row(bus_id::panel, sig::sap, 0),

    row(bus_id::sound, sig::ats_s_bell, cab::sound_cmd::silent,
        cab::continuous(0, "bell",
                        "while the alarm waits for confirmation, while the protection brakes, "
                        "during the start-up test, and one frame more when it stops")),
    row(bus_id::sound, sig::ats_s_chime, cab::sound_cmd::silent,
        cab::continuous(1, "chime",
                        "from the alarm until the driver releases it (release key), and while the "
                        "protection brakes")),
    row(bus_id::sound, sig::ats_s_bell_reverb, cab::sound_cmd::unchanged,
        cab::one_shot(2, "bell reverberation", "on the frame at which the bell stops")),
    row(bus_id::sound, sig::ebbz, cab::sound_cmd::silent,
        cab::continuous(13, "vigilance buzzer",
                        "during the vigilance warning and while the vigilance device brakes")),
    row(bus_id::sound, sig::mon_stop_station_150, cab::sound_cmd::silent,
        cab::continuous(150, "stop-station sound",
                        "while a stop station is announced (until the doors open)")),
    row(bus_id::sound, sig::mon_section_160, cab::sound_cmd::silent,
        cab::continuous(160, "section sound",
                        "while a section is signalled by beacons 160 (until the doors open)")),
    row(bus_id::sound, sig::lb_on, cab::sound_cmd::unchanged,
        cab::one_shot(211, "reserved", "never: always 2")),
    row(bus_id::sound, sig::lb_off, cab::sound_cmd::unchanged,
        cab::one_shot(212, "reserved", "never: always 2")),
    row(bus_id::sound, sig::leave, cab::sound_cmd::unchanged,
        cab::one_shot(21, "departure sound", "when the doors close with a two-person crew")),

    // The handles the host gets; `write_outputs` puts them into the handles record.
    row(bus_id::output, sig::power, 0),
    row(bus_id::output, sig::brake, 0),
    row(bus_id::output, sig::reverser, 0),
    row(bus_id::output, sig::const_speed, cab::const_speed_resting),

    row(bus_id::command, sig::power, 0),
    row(bus_id::command, sig::brake, 0),
    row(bus_id::command, sig::reverser, 0),
    row(bus_id::command, sig::const_speed, cab::const_speed_resting),
    row(bus_id::command, sig::atsresw, 0),
    row(bus_id::command, sig::atscpb, 0),
    row(bus_id::command, sig::atswrpb, 0),

    row(bus_id::boolean, sig::lv, 1),
    row(bus_id::boolean, sig::cs, 0),
};

inline constexpr std::size_t no_slot = static_cast<std::size_t>(-1);

// Where a bus keeps the cell of `name`: its place among that bus's signals in the table, or
// no_slot. Evaluated by the compiler for the names written in the code.
constexpr std::size_t slot_of(bus_id bus, std::string_view name) {
    std::size_t slot = 0;
    for (const auto& s : signal_table) {
        if (s.bus != bus) continue;
        if (s.name == name) return slot;
        ++slot;
    }
    return no_slot;
}

constexpr std::size_t signals_on(bus_id bus) {
    std::size_t count = 0;
    for (const auto& s : signal_table)
        count += s.bus == bus ? 1 : 0;
    return count;
}

namespace cab {

constexpr bool is_shown(const index_meaning& m) { return m.name != nullptr; }

constexpr std::size_t indices_on(bus_id bus) {
    std::size_t count = 0;
    for (const auto& s : signal_table) {
        for (const auto& m : s.host)
            count += s.bus == bus && is_shown(m) ? 1 : 0;
    }
    return count;
}

// Every index the host reads from `Bus`, in index order.
template <bus_id Bus> constexpr std::array<index_meaning, indices_on(Bus)> layout_of() {
    std::array<index_meaning, indices_on(Bus)> out{};
    std::size_t n = 0;
    for (const auto& s : signal_table) {
        if (s.bus != Bus) continue;
        for (const auto& m : s.host) {
            if (!is_shown(m)) continue;
            std::size_t at = n++;
            for (; at > 0 && out[at - 1].index > m.index; --at)
                out[at] = out[at - 1];
            out[at] = m;
        }
    }
    return out;
}

inline constexpr auto panel_layout = layout_of<bus_id::panel>();
inline constexpr auto sound_layout = layout_of<bus_id::sound>();

template <std::size_t N>
constexpr std::array<std::int32_t, N> indices_of(const std::array<index_meaning, N>& layout) {
    std::array<std::int32_t, N> indices{};
    for (std::size_t i = 0; i < N; ++i)
        indices[i] = layout[i].index;
    return indices;
}
inline constexpr auto panel_indices = indices_of(panel_layout);
inline constexpr auto sound_indices = indices_of(sound_layout);

// The index at which the host sees `name` of `bus` (the `view`th, for a signal shown twice). A
// name the host does not see there stops the compiler.
constexpr std::int32_t index_of(bus_id bus, std::string_view name, std::size_t view = 0) {
    for (const auto& s : signal_table) {
        if (s.bus == bus && s.name == name && is_shown(s.host[view])) return s.host[view].index;
    }
    throw "the host sees no such signal";
}
constexpr std::int32_t panel_index(std::string_view name, std::size_t view = 0) {
    return index_of(bus_id::panel, name, view);
}
constexpr std::int32_t sound_index(std::string_view name) { return index_of(bus_id::sound, name); }

// The indices by the cab's words, for code that reads the host's arrays.
namespace panel {
inline constexpr std::int32_t white_lamp = panel_index(sig::white_lamp);
inline constexpr std::int32_t red_lamp = panel_index(sig::red_lamp);
inline constexpr std::int32_t vigilance_lamp = panel_index(sig::eblp);
inline constexpr std::int32_t emergency_brake_lamp = panel_index(sig::emergency_brake_lamp);
inline constexpr std::int32_t one_man_lamp = panel_index(sig::oneman);
inline constexpr std::int32_t position_tenths = panel_index(sig::mon_pos_tenth);
inline constexpr std::int32_t position_units = panel_index(sig::mon_pos_1);
inline constexpr std::int32_t position_tens = panel_index(sig::mon_pos_10);
inline constexpr std::int32_t position_hundreds = panel_index(sig::mon_pos_100);
inline constexpr std::int32_t month = panel_index(sig::mon_time_month);
inline constexpr std::int32_t day = panel_index(sig::mon_time_day);
inline constexpr std::int32_t minutes = panel_index(sig::mon_time_min);
inline constexpr std::int32_t seconds = panel_index(sig::mon_time_sec);
inline constexpr std::int32_t traction_shown = panel_index(sig::mon_cont_state);
inline constexpr std::int32_t traction_state = panel_index(sig::mon_cont_state, 1);
inline constexpr std::int32_t train_number = panel_index(sig::mon_retsuban_140);
inline constexpr std::int32_t train_number_digits = 6; // 140 to 145
inline constexpr std::int32_t max_speed_hundreds = panel_index(sig::mon_max_speed_147);
inline constexpr std::int32_t max_speed_tens = panel_index(sig::mon_max_speed_148);
inline constexpr std::int32_t max_speed_units = panel_index(sig::mon_max_speed_149);
inline constexpr std::int32_t stop_station_lamp = panel_index(sig::mon_stop_station_150);
} // namespace panel

namespace sound {
inline constexpr std::int32_t bell = sound_index(sig::ats_s_bell);
inline constexpr std::int32_t chime = sound_index(sig::ats_s_chime);
inline constexpr std::int32_t bell_reverb = sound_index(sig::ats_s_bell_reverb);
inline constexpr std::int32_t vigilance_buzzer = sound_index(sig::ebbz);
inline constexpr std::int32_t departure = sound_index(sig::leave);
inline constexpr std::int32_t stop_station = sound_index(sig::mon_stop_station_150);
inline constexpr std::int32_t section = sound_index(sig::mon_section_160);
inline constexpr std::int32_t lb_on = sound_index(sig::lb_on);
inline constexpr std::int32_t lb_off = sound_index(sig::lb_off);
} // namespace sound

// What an index shows when nothing drives it.
constexpr std::int32_t resting(shows kind) {
    switch (kind) {
    case shows::continuous_sound: return sound_cmd::silent;
    case shows::one_shot_sound: return sound_cmd::unchanged;
    default: return 0;
    }
}

constexpr std::int32_t apply(transform how, std::int32_t value) {
    return how == transform::positive_flag ? (value > 0 ? 1 : 0) : value;
}

constexpr bool opens_with_name(const index_meaning& m) {
    const std::string_view name = m.name, meaning = m.meaning;
    return meaning.size() > name.size() + 2 && meaning.substr(0, name.size()) == name &&
           meaning.substr(name.size(), 2) == ": ";
}

template <std::size_t N> constexpr bool each_once(const std::array<std::int32_t, N>& indices) {
    for (std::size_t i = 1; i < N; ++i) {
        if (indices[i - 1] == indices[i]) return false;
    }
    return true;
}

// What the host must see of the table: sounds from the sound bus and the rest from the panel
// bus, each index once, a signal at rest showing what its index shows at rest (which is what the
// fail-safe outputs send), and a lamp's meaning opening with its name.
constexpr bool table_is_consistent() {
    for (const auto& s : signal_table) {
        for (const auto& m : s.host) {
            if (!is_shown(m)) continue;
            const bool sound = m.kind == shows::continuous_sound || m.kind == shows::one_shot_sound;
            if (s.bus != (sound ? bus_id::sound : bus_id::panel)) return false;
            if (apply(m.how, s.resting) != resting(m.kind)) return false;
            if (m.kind == shows::lamp && !opens_with_name(m)) return false;
        }
    }
    return each_once(panel_indices) && each_once(sound_indices);
}
static_assert(table_is_consistent());

// The traction state at panel 121 in words; null for a value the monitor never shows.
constexpr const char* traction_state_meaning(std::int32_t state) {
    switch (state) {
    case 0: return "none";
    case 1: return "power";
    case 2: return "brake";
    case 3: return "brake, notch 1";
    default: return nullptr;
    }
}

// Cab keys by the host's key number.
namespace key {
inline constexpr int confirm = 0;        // protection: confirm the alarm
inline constexpr int release = 1;        // protection: release the warning
inline constexpr int eb_acknowledge = 2; // vigilance device
inline constexpr int reset = 3;          // protection: reset the brake latch
} // namespace key

struct key_meaning {
    int key;
    std::string_view word; // in a scenario file
    const char* meaning;   // its name in the timeline, the plot and the guide
};

inline constexpr std::array<key_meaning, 4> keys{{
    {key::confirm, "confirm", "protection confirm"},
    {key::release, "release", "protection release"},
    {key::eb_acknowledge, "eb", "vigilance acknowledge"},
    {key::reset, "reset", "protection reset"},
}};

constexpr const char* key_meaning_of(std::int32_t number) {
    for (const auto& k : keys) {
        if (k.key == number) return k.meaning;
    }
    return nullptr;
}

// Beacon types: the protection's, then the monitor's, which carry the index they set.
namespace beacon {
inline constexpr std::int32_t alarm = 0;
inline constexpr std::int32_t trip = 1;
inline constexpr std::int32_t crew = 21;
inline constexpr std::int32_t pattern_check = 50;
inline constexpr std::int32_t braking_speed_check = 55;
inline constexpr std::int32_t alarm_speed_check = 56;
inline constexpr std::int32_t train_number = panel::train_number; // one type per digit
inline constexpr std::int32_t max_speed = panel::max_speed_hundreds;
inline constexpr std::int32_t stop_station = panel::stop_station_lamp;
inline constexpr std::int32_t section = sound::section;
} // namespace beacon

// A beacon type in words; null for a type that nothing in the cab answers.
constexpr const char* beacon_meaning_of(std::int32_t type) {
    switch (type) {
    case beacon::alarm: return "stop signal: alarm";
    case beacon::trip: return "stop signal: trip";
    case beacon::crew: return "crew";
    case beacon::pattern_check: return "pattern check";
    case beacon::braking_speed_check: return "braking speed check";
    case beacon::alarm_speed_check: return "alarm speed check";
    case beacon::max_speed: return "maximum speed";
    case beacon::stop_station: return "stop station";
    case beacon::section: return "section";
    default:
        return type >= beacon::train_number &&
                       type < beacon::train_number + panel::train_number_digits
                   ? "train number digit"
                   : nullptr;
    }
}

} // namespace cab

} // namespace ats
