// The names of every signal, and the one table of buses, names and resting values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wiring/cab.h"

namespace ats {

enum class bus_id { panel, sound, output, command, boolean };

namespace sig {
// panel bus
inline constexpr std::string_view white_lamp = "white_lamp";
inline constexpr std::string_view red_lamp = "red_lamp";
inline constexpr std::string_view br = "br";
inline constexpr std::string_view sap = "sap";
inline constexpr std::string_view oneman = "oneman";
inline constexpr std::string_view mon_time_month = "mon_time_month";
inline constexpr std::string_view mon_time_day = "mon_time_day";
inline constexpr std::string_view mon_time_min = "mon_time_min";
inline constexpr std::string_view mon_time_sec = "mon_time_sec";
inline constexpr std::string_view mon_pos_100 = "mon_pos_100";
inline constexpr std::string_view mon_pos_10 = "mon_pos_10";
inline constexpr std::string_view mon_pos_1 = "mon_pos_1";
inline constexpr std::string_view mon_pos_tenth = "mon_pos_-1";
inline constexpr std::string_view emergency_brake_lamp = "emergency_brake_lamp";
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
inline constexpr std::string_view eblp = "eblp";
// sound bus
inline constexpr std::string_view ats_s_bell = "ats_s_bell";
inline constexpr std::string_view ats_s_bell_reverb = "ats_s_bell_reverb";
inline constexpr std::string_view ats_s_chime = "ats_s_chime";
inline constexpr std::string_view lb_on = "lb_on";
inline constexpr std::string_view lb_off = "lb_off";
inline constexpr std::string_view leave = "leave";
inline constexpr std::string_view mon_section_160 = "mon_section_160";
inline constexpr std::string_view ebbz = "ebbz";
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
};

// Registration order and per-frame reset order: bus by bus, then as listed.
inline constexpr std::array<signal_def, 48> signal_table{{
    {bus_id::panel, sig::white_lamp, 0},
    {bus_id::panel, sig::red_lamp, 0},
    {bus_id::panel, sig::br, 0},
    {bus_id::panel, sig::sap, 0},
    {bus_id::panel, sig::oneman, 0},
    {bus_id::panel, sig::mon_time_month, 0},
    {bus_id::panel, sig::mon_time_day, 0},
    {bus_id::panel, sig::mon_time_min, 0},
    {bus_id::panel, sig::mon_time_sec, 0},
    {bus_id::panel, sig::mon_pos_100, 0},
    {bus_id::panel, sig::mon_pos_10, 0},
    {bus_id::panel, sig::mon_pos_1, 0},
    {bus_id::panel, sig::mon_pos_tenth, 0},
    {bus_id::panel, sig::emergency_brake_lamp, 0},
    {bus_id::panel, sig::mon_cont_state, 0},
    {bus_id::panel, sig::mon_retsuban_140, 0},
    {bus_id::panel, sig::mon_retsuban_141, 0},
    {bus_id::panel, sig::mon_retsuban_142, 0},
    {bus_id::panel, sig::mon_retsuban_143, 0},
    {bus_id::panel, sig::mon_retsuban_144, 0},
    {bus_id::panel, sig::mon_retsuban_145, 0},
    {bus_id::panel, sig::mon_max_speed_147, 0},
    {bus_id::panel, sig::mon_max_speed_148, 0},
    {bus_id::panel, sig::mon_max_speed_149, 0},
    {bus_id::panel, sig::mon_stop_station_150, 0},
    {bus_id::panel, sig::eblp, 0},
    {bus_id::sound, sig::ats_s_bell, cab::sound_cmd::silent},
    {bus_id::sound, sig::ats_s_bell_reverb, cab::sound_cmd::unchanged},
    {bus_id::sound, sig::ats_s_chime, cab::sound_cmd::silent},
    {bus_id::sound, sig::lb_on, cab::sound_cmd::unchanged},
    {bus_id::sound, sig::lb_off, cab::sound_cmd::unchanged},
    {bus_id::sound, sig::leave, cab::sound_cmd::unchanged},
    {bus_id::sound, sig::mon_stop_station_150, cab::sound_cmd::silent},
    {bus_id::sound, sig::mon_section_160, cab::sound_cmd::silent},
    {bus_id::sound, sig::ebbz, cab::sound_cmd::silent},
    {bus_id::output, sig::power, 0},
    {bus_id::output, sig::brake, 0},
    {bus_id::output, sig::reverser, 0},
    {bus_id::output, sig::const_speed, cab::const_speed_resting},
    {bus_id::command, sig::power, 0},
    {bus_id::command, sig::brake, 0},
    {bus_id::command, sig::reverser, 0},
    {bus_id::command, sig::const_speed, cab::const_speed_resting},
    {bus_id::command, sig::atsresw, 0},
    {bus_id::command, sig::atscpb, 0},
    {bus_id::command, sig::atswrpb, 0},
    {bus_id::boolean, sig::lv, 1},
    {bus_id::boolean, sig::cs, 0},
}};

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

} // namespace ats
