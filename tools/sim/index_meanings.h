// What every panel and sound index the plug-in writes means to a cab author, in the author's
// guide's words; the replay page's index table and the cab's labels come from here.
#pragma once

namespace sim {

struct index_meaning {
    const char* column;  // the CSV column: "panel_N" or "sound_N"
    const char* name;    // the short name the cab drawing shows
    const char* meaning; // panels: what it shows; sounds: when it sounds
    const char* values;  // panels: the values it takes; sounds: continuous or one-shot
};

// In the CSV's column order.
inline constexpr index_meaning index_meanings[] = {
    {"panel_0", "white lamp", "protection white lamp: the protection is in its normal state",
     "0, 1"},
    {"panel_1", "red lamp",
     "protection red lamp: alarm ringing, protection braking, start-up test, or the fail-safe "
     "state",
     "0, 1"},
    {"panel_8", "vigilance lamp", "vigilance lamp: vigilance warning or vigilance braking", "0, 1"},
    {"panel_20", "emergency-brake lamp",
     "emergency-brake lamp: the driver's brake handle is at the emergency position", "0, 1"},
    {"panel_21", "one-man lamp", "one-man lamp: the train runs with a one-man crew", "0, 1"},
    {"panel_110", "position 0.1 km", "position, tenths of a kilometre", "0 to 9"},
    {"panel_111", "position 1 km", "position, units of kilometres", "0 to 9"},
    {"panel_112", "position 10 km", "position, tens of kilometres",
     "0 to 9; 11 when the hundreds and tens are both 0"},
    {"panel_113", "position 100 km", "position, hundreds of kilometres", "0 to 9; 11 when 0"},
    {"panel_116", "month", "date, month of the computer's date", "1 to 12"},
    {"panel_117", "day", "date, day of the month of the computer's date", "1 to 31"},
    {"panel_118", "minutes", "clock, minutes of the simulation time", "0 to 59"},
    {"panel_119", "seconds", "clock, seconds of the simulation time", "0 to 59"},
    {"panel_120", "traction lamp", "traction lamp: the traction state (index 121) is not 0",
     "0, 1"},
    {"panel_121", "traction state",
     "traction state: 0 none, 1 power, 2 electric brake at notch 2 or more, 3 electric brake at "
     "notch 1",
     "0 to 3"},
    {"panel_140", "train number 1", "train number, digit 1 (leftmost)", "0 to 9"},
    {"panel_141", "train number 2", "train number, digit 2", "0 to 9"},
    {"panel_142", "train number 3", "train number, digit 3", "0 to 9"},
    {"panel_143", "train number 4", "train number, digit 4", "0 to 9"},
    {"panel_144", "train number 5", "train number, digit 5", "0 to 9"},
    {"panel_145", "train number 6", "train number, digit 6 (rightmost)", "0 to 9"},
    {"panel_147", "max speed 100", "maximum speed, hundreds digit", "0 to 9"},
    {"panel_148", "max speed 10", "maximum speed, tens digit", "0 to 9"},
    {"panel_149", "max speed 1", "maximum speed, units digit", "0 to 9"},
    {"panel_150", "stop-station lamp",
     "stop-station lamp: blinks while a stop station is announced", "0, 1"},
    {"sound_0", "protection bell",
     "while the alarm waits for confirmation, while the protection brakes, during the start-up "
     "test, and one frame more when it stops",
     "continuous"},
    {"sound_1", "protection chime",
     "from the alarm until the driver releases it (release key), and while the protection brakes",
     "continuous"},
    {"sound_2", "protection bell reverberation", "on the frame at which the bell stops",
     "one-shot"},
    {"sound_13", "vigilance buzzer",
     "during the vigilance warning and while the vigilance device brakes", "continuous"},
    {"sound_21", "departure sound", "when the doors close with a two-person crew", "one-shot"},
    {"sound_150", "stop-station sound", "while a stop station is announced (until the doors open)",
     "continuous"},
    {"sound_160", "section sound",
     "while a section is signalled by beacons 160 (until the doors open)", "continuous"},
    {"sound_211", "reserved", "never: always 2", "one-shot"},
    {"sound_212", "reserved", "never: always 2", "one-shot"},
};

} // namespace sim
