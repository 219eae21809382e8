// What every panel and sound index the plug-in writes means to a cab author, in the author's
// guide's words: the replay page's index table and the cab's labels. The indices and the kinds
// of sound are the cab's own (wiring/cab.h); the order is checked against it below.
#pragma once

#include <array>
#include <cstddef>

#include "wiring/cab.h"

namespace sim::words {

struct index_words {
    std::int32_t index;
    const char* name;    // the short name the cab drawing shows
    const char* meaning; // panels: what it shows; sounds: when it sounds
    const char* values;  // panels: the values it takes; sounds: null (the cab's kind says)
};

namespace panel = ats::cab::panel;
namespace sound = ats::cab::sound;

inline constexpr std::array<index_words, ats::cab::panel_layout.size()> panel_words{{
    {panel::white_lamp, "white lamp",
     "protection white lamp: the protection is in its normal state", "0, 1"},
    {panel::red_lamp, "red lamp",
     "protection red lamp: alarm ringing, protection braking, start-up test, or the fail-safe "
     "state",
     "0, 1"},
    {panel::eb_lamp, "vigilance lamp", "vigilance lamp: vigilance warning or vigilance braking",
     "0, 1"},
    {panel::emergency_brake_lamp, "emergency-brake lamp",
     "emergency-brake lamp: the driver's brake handle is at the emergency position", "0, 1"},
    {panel::one_man_lamp, "one-man lamp", "one-man lamp: the train runs with a one-man crew",
     "0, 1"},
    {panel::position_tenths, "position 0.1 km", "position, tenths of a kilometre", "0 to 9"},
    {panel::position_units, "position 1 km", "position, units of kilometres", "0 to 9"},
    {panel::position_tens, "position 10 km", "position, tens of kilometres",
     "0 to 9; 11 when the hundreds and tens are both 0"},
    {panel::position_hundreds, "position 100 km", "position, hundreds of kilometres",
     "0 to 9; 11 when 0"},
    {panel::month, "month", "date, month of the computer's date", "1 to 12"},
    {panel::day, "day", "date, day of the month of the computer's date", "1 to 31"},
    {panel::minutes, "minutes", "clock, minutes of the simulation time", "0 to 59"},
    {panel::seconds, "seconds", "clock, seconds of the simulation time", "0 to 59"},
    {panel::traction_shown, "traction lamp",
     "traction lamp: the traction state (index 121) is not 0", "0, 1"},
    {panel::traction_state, "traction state",
     "traction state: 0 none, 1 power, 2 electric brake at notch 2 or more, 3 electric brake at "
     "notch 1",
     "0 to 3"},
    {panel::train_number + 0, "train number 1", "train number, digit 1 (leftmost)", "0 to 9"},
    {panel::train_number + 1, "train number 2", "train number, digit 2", "0 to 9"},
    {panel::train_number + 2, "train number 3", "train number, digit 3", "0 to 9"},
    {panel::train_number + 3, "train number 4", "train number, digit 4", "0 to 9"},
    {panel::train_number + 4, "train number 5", "train number, digit 5", "0 to 9"},
    {panel::train_number + 5, "train number 6", "train number, digit 6 (rightmost)", "0 to 9"},
    {panel::max_speed_hundreds, "max speed 100", "maximum speed, hundreds digit", "0 to 9"},
    {panel::max_speed_tens, "max speed 10", "maximum speed, tens digit", "0 to 9"},
    {panel::max_speed_units, "max speed 1", "maximum speed, units digit", "0 to 9"},
    {panel::stop_station_lamp, "stop-station lamp",
     "stop-station lamp: blinks while a stop station is announced", "0, 1"},
}};

inline constexpr std::array<index_words, ats::cab::sound_layout.size()> sound_words{{
    {sound::bell, "protection bell",
     "while the alarm waits for confirmation, while the protection brakes, during the start-up "
     "test, and one frame more when it stops",
     nullptr},
    {sound::chime, "protection chime",
     "from the alarm until the driver releases it (release key), and while the protection brakes",
     nullptr},
    {sound::bell_reverb, "protection bell reverberation", "on the frame at which the bell stops",
     nullptr},
    {sound::eb_buzzer, "vigilance buzzer",
     "during the vigilance warning and while the vigilance device brakes", nullptr},
    {sound::departure, "departure sound", "when the doors close with a two-person crew", nullptr},
    {sound::stop_station, "stop-station sound",
     "while a stop station is announced (until the doors open)", nullptr},
    {sound::section, "section sound",
     "while a section is signalled by beacons 160 (until the doors open)", nullptr},
    {sound::lb_on, "reserved", "never: always 2", nullptr},
    {sound::lb_off, "reserved", "never: always 2", nullptr},
}};

template <std::size_t N>
constexpr bool in_layout_order(const std::array<index_words, N>& words,
                               const std::array<ats::cab::index_meaning, N>& layout) {
    for (std::size_t i = 0; i < N; ++i) {
        if (words[i].index != layout[i].index) return false;
    }
    return true;
}
static_assert(in_layout_order(panel_words, ats::cab::panel_layout));
static_assert(in_layout_order(sound_words, ats::cab::sound_layout));

} // namespace sim::words
