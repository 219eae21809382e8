// Copies the output, panel and sound buses into the host's handles record and arrays.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "plugin/host/host_types.h"
#include "wiring/wiring.h"

namespace ats {

enum class transform { copy, positive_flag };

struct output_row {
    std::int32_t index;
    std::string_view signal;
    transform how;
};

// Panel indices in copy order; 120 shows whether the traction state is non-zero.
inline constexpr std::array<output_row, 25> panel_outputs{{
    {cab::panel::white_lamp, sig::white_lamp, transform::copy},
    {cab::panel::red_lamp, sig::red_lamp, transform::copy},
    {cab::panel::eb_lamp, sig::eblp, transform::copy},
    {cab::panel::one_man_lamp, sig::oneman, transform::copy},
    {cab::panel::month, sig::mon_time_month, transform::copy},
    {cab::panel::day, sig::mon_time_day, transform::copy},
    {cab::panel::minutes, sig::mon_time_min, transform::copy},
    {cab::panel::seconds, sig::mon_time_sec, transform::copy},
    {cab::panel::position_tenths, sig::mon_pos_tenth, transform::copy},
    {cab::panel::position_units, sig::mon_pos_1, transform::copy},
    {cab::panel::position_tens, sig::mon_pos_10, transform::copy},
    {cab::panel::position_hundreds, sig::mon_pos_100, transform::copy},
    {cab::panel::traction_shown, sig::mon_cont_state, transform::positive_flag},
    {cab::panel::traction_state, sig::mon_cont_state, transform::copy},
    {cab::panel::train_number + 0, sig::mon_retsuban_140, transform::copy},
    {cab::panel::train_number + 1, sig::mon_retsuban_141, transform::copy},
    {cab::panel::train_number + 2, sig::mon_retsuban_142, transform::copy},
    {cab::panel::train_number + 3, sig::mon_retsuban_143, transform::copy},
    {cab::panel::train_number + 4, sig::mon_retsuban_144, transform::copy},
    {cab::panel::train_number + 5, sig::mon_retsuban_145, transform::copy},
    {cab::panel::max_speed_hundreds, sig::mon_max_speed_147, transform::copy},
    {cab::panel::max_speed_tens, sig::mon_max_speed_148, transform::copy},
    {cab::panel::max_speed_units, sig::mon_max_speed_149, transform::copy},
    {cab::panel::stop_station_lamp, sig::mon_stop_station_150, transform::copy},
    {cab::panel::emergency_brake_lamp, sig::emergency_brake_lamp, transform::copy},
}};

// Sound indices in copy order.
inline constexpr std::array<output_row, 9> sound_outputs{{
    {cab::sound::bell, sig::ats_s_bell, transform::copy},
    {cab::sound::chime, sig::ats_s_chime, transform::copy},
    {cab::sound::bell_reverb, sig::ats_s_bell_reverb, transform::copy},
    {cab::sound::eb_buzzer, sig::ebbz, transform::copy},
    {cab::sound::stop_station, sig::mon_stop_station_150, transform::copy},
    {cab::sound::section, sig::mon_section_160, transform::copy},
    {cab::sound::lb_on, sig::lb_on, transform::copy},
    {cab::sound::lb_off, sig::lb_off, transform::copy},
    {cab::sound::departure, sig::leave, transform::copy},
}};

// Fills all four handles and the 25 panel and 9 sound indices; touches nothing else.
void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound);

// What the host gets when the plug-in cannot run its devices: traction off, emergency brake,
// every lamp and sound at rest but the red lamp.
void write_fail_safe_outputs(handles& out, std::int32_t* panel, std::int32_t* sound,
                             std::int32_t emergency_brake);

} // namespace ats
