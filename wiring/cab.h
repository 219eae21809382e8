// The cab as the host and the train's author see it: panel and sound indices with their meanings,
// sound commands, keys, beacon types and the emergency position. Header only: the tools that
// load the plug-in use it too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/host/host_types.h"

namespace ats::cab {

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

namespace panel {
inline constexpr std::int32_t white_lamp = 0;
inline constexpr std::int32_t red_lamp = 1;
inline constexpr std::int32_t eb_lamp = 8;
inline constexpr std::int32_t emergency_brake_lamp = 20;
inline constexpr std::int32_t one_man_lamp = 21;
inline constexpr std::int32_t position_tenths = 110;
inline constexpr std::int32_t position_units = 111;
inline constexpr std::int32_t position_tens = 112;
inline constexpr std::int32_t position_hundreds = 113;
inline constexpr std::int32_t month = 116;
inline constexpr std::int32_t day = 117;
inline constexpr std::int32_t minutes = 118;
inline constexpr std::int32_t seconds = 119;
inline constexpr std::int32_t traction_shown = 120;
inline constexpr std::int32_t traction_state = 121;
inline constexpr std::int32_t train_number = 140; // six digits, 140 to 145
inline constexpr std::int32_t train_number_digits = 6;
inline constexpr std::int32_t max_speed_hundreds = 147;
inline constexpr std::int32_t max_speed_tens = 148;
inline constexpr std::int32_t max_speed_units = 149;
inline constexpr std::int32_t stop_station_lamp = 150;
} // namespace panel

namespace sound {
inline constexpr std::int32_t bell = 0;
inline constexpr std::int32_t chime = 1;
inline constexpr std::int32_t bell_reverb = 2;
inline constexpr std::int32_t eb_buzzer = 13;
inline constexpr std::int32_t departure = 21;
inline constexpr std::int32_t stop_station = 150;
inline constexpr std::int32_t section = 160;
inline constexpr std::int32_t lb_on = 211;
inline constexpr std::int32_t lb_off = 212;
} // namespace sound

// Continuous sounds rest silent and play while their condition holds; one-shot sounds rest
// unchanged and start once on the frame of their event.
enum class shows { lamp, display, continuous_sound, one_shot_sound };

struct index_meaning {
    std::int32_t index;
    shows kind;
    const char* word;    // in talvik-sim's timeline ("EB lamp on"); null where the timeline
                         // reports the monitor as a whole
    const char* name;    // the short name the cab drawing shows
    const char* meaning; // the author's guide's: what a panel shows, when a sound sounds
    const char* values;  // panels: the values it takes, as the guide gives them; sounds: null
};

// Every panel index the plug-in writes, in index order.
inline constexpr std::array<index_meaning, 25> panel_layout{{
    {panel::white_lamp, shows::lamp, "white lamp", "white lamp",
     "protection white lamp: the protection is in its normal state", "0, 1"},
    {panel::red_lamp, shows::lamp, "red lamp", "red lamp",
     "protection red lamp: alarm ringing, protection braking, start-up test, or the fail-safe "
     "state",
     "0, 1"},
    {panel::eb_lamp, shows::lamp, "EB lamp", "vigilance lamp",
     "vigilance lamp: vigilance warning or vigilance braking", "0, 1"},
    {panel::emergency_brake_lamp, shows::lamp, "emergency-brake lamp", "emergency-brake lamp",
     "emergency-brake lamp: the driver's brake handle is at the emergency position", "0, 1"},
    {panel::one_man_lamp, shows::lamp, "one-man lamp", "one-man lamp",
     "one-man lamp: the train runs with a one-man crew", "0, 1"},
    {panel::position_tenths, shows::display, nullptr, "position 0.1 km",
     "position, tenths of a kilometre", "0 to 9"},
    {panel::position_units, shows::display, nullptr, "position 1 km",
     "position, units of kilometres", "0 to 9"},
    {panel::position_tens, shows::display, nullptr, "position 10 km",
     "position, tens of kilometres", "0 to 9; 11 when the hundreds and tens are both 0"},
    {panel::position_hundreds, shows::display, nullptr, "position 100 km",
     "position, hundreds of kilometres", "0 to 9; 11 when 0"},
    {panel::month, shows::display, nullptr, "month", "date, month of the computer's date",
     "1 to 12"},
    {panel::day, shows::display, nullptr, "day", "date, day of the month of the computer's date",
     "1 to 31"},
    {panel::minutes, shows::display, nullptr, "minutes", "clock, minutes of the simulation time",
     "0 to 59"},
    {panel::seconds, shows::display, nullptr, "seconds", "clock, seconds of the simulation time",
     "0 to 59"},
    {panel::traction_shown, shows::display, nullptr, "traction lamp",
     "traction lamp: the traction state (index 121) is not 0", "0, 1"},
    {panel::traction_state, shows::display, nullptr, "traction state",
     "traction state: 0 none, 1 power, 2 electric brake at notch 2 or more, 3 electric brake at "
     "notch 1",
     "0 to 3"},
    {panel::train_number + 0, shows::display, nullptr, "train number 1",
     "train number, digit 1 (leftmost)", "0 to 9"},
    {panel::train_number + 1, shows::display, nullptr, "train number 2", "train number, digit 2",
     "0 to 9"},
    {panel::train_number + 2, shows::display, nullptr, "train number 3", "train number, digit 3",
     "0 to 9"},
    {panel::train_number + 3, shows::display, nullptr, "train number 4", "train number, digit 4",
     "0 to 9"},
    {panel::train_number + 4, shows::display, nullptr, "train number 5", "train number, digit 5",
     "0 to 9"},
    {panel::train_number + 5, shows::display, nullptr, "train number 6",
     "train number, digit 6 (rightmost)", "0 to 9"},
    {panel::max_speed_hundreds, shows::display, nullptr, "max speed 100",
     "maximum speed, hundreds digit", "0 to 9"},
    {panel::max_speed_tens, shows::display, nullptr, "max speed 10", "maximum speed, tens digit",
     "0 to 9"},
    {panel::max_speed_units, shows::display, nullptr, "max speed 1", "maximum speed, units digit",
     "0 to 9"},
    {panel::stop_station_lamp, shows::lamp, "stop-station lamp", "stop-station lamp",
     "stop-station lamp: blinks while a stop station is announced", "0, 1"},
}};

// Every sound index the plug-in writes, in index order.
inline constexpr std::array<index_meaning, 9> sound_layout{{
    {sound::bell, shows::continuous_sound, "bell", "protection bell",
     "while the alarm waits for confirmation, while the protection brakes, during the start-up "
     "test, and one frame more when it stops",
     nullptr},
    {sound::chime, shows::continuous_sound, "chime", "protection chime",
     "from the alarm until the driver releases it (release key), and while the protection brakes",
     nullptr},
    {sound::bell_reverb, shows::one_shot_sound, "bell reverb", "protection bell reverberation",
     "on the frame at which the bell stops", nullptr},
    {sound::eb_buzzer, shows::continuous_sound, "EB buzzer", "vigilance buzzer",
     "during the vigilance warning and while the vigilance device brakes", nullptr},
    {sound::departure, shows::one_shot_sound, "departure sound", "departure sound",
     "when the doors close with a two-person crew", nullptr},
    {sound::stop_station, shows::continuous_sound, "stop-station sound", "stop-station sound",
     "while a stop station is announced (until the doors open)", nullptr},
    {sound::section, shows::continuous_sound, "section sound", "section sound",
     "while a section is signalled by beacons 160 (until the doors open)", nullptr},
    {sound::lb_on, shows::one_shot_sound, "lb_on sound", "reserved", "never: always 2", nullptr},
    {sound::lb_off, shows::one_shot_sound, "lb_off sound", "reserved", "never: always 2", nullptr},
}};

// What an index shows when nothing drives it.
constexpr std::int32_t resting(shows kind) {
    switch (kind) {
    case shows::continuous_sound: return sound_cmd::silent;
    case shows::one_shot_sound: return sound_cmd::unchanged;
    default: return 0;
    }
}

template <std::size_t N>
constexpr std::array<std::int32_t, N> indices_of(const std::array<index_meaning, N>& layout) {
    std::array<std::int32_t, N> indices{};
    for (std::size_t i = 0; i < N; ++i)
        indices[i] = layout[i].index;
    return indices;
}
inline constexpr auto panel_indices = indices_of(panel_layout);
inline constexpr auto sound_indices = indices_of(sound_layout);

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
    const char* meaning;
};

inline constexpr std::array<key_meaning, 4> keys{{
    {key::confirm, "confirm", "confirm"},
    {key::release, "release", "release"},
    {key::eb_acknowledge, "eb", "EB acknowledge"},
    {key::reset, "reset", "reset"},
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

} // namespace ats::cab
