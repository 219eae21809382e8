// Copies the output, panel and sound buses into the host's handles record and arrays.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "plugin/host_types.h"
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
    {0, sig::white_lamp, transform::copy},
    {1, sig::red_lamp, transform::copy},
    {8, sig::eblp, transform::copy},
    {21, sig::oneman, transform::copy},
    {116, sig::mon_time_month, transform::copy},
    {117, sig::mon_time_day, transform::copy},
    {118, sig::mon_time_min, transform::copy},
    {119, sig::mon_time_sec, transform::copy},
    {110, sig::mon_pos_tenth, transform::copy},
    {111, sig::mon_pos_1, transform::copy},
    {112, sig::mon_pos_10, transform::copy},
    {113, sig::mon_pos_100, transform::copy},
    {120, sig::mon_cont_state, transform::positive_flag},
    {121, sig::mon_cont_state, transform::copy},
    {140, sig::mon_retsuban_140, transform::copy},
    {141, sig::mon_retsuban_141, transform::copy},
    {142, sig::mon_retsuban_142, transform::copy},
    {143, sig::mon_retsuban_143, transform::copy},
    {144, sig::mon_retsuban_144, transform::copy},
    {145, sig::mon_retsuban_145, transform::copy},
    {147, sig::mon_max_speed_147, transform::copy},
    {148, sig::mon_max_speed_148, transform::copy},
    {149, sig::mon_max_speed_149, transform::copy},
    {150, sig::mon_stop_station_150, transform::copy},
    {20, sig::emergency_brake_lamp, transform::copy},
}};

// Sound indices in copy order.
inline constexpr std::array<output_row, 9> sound_outputs{{
    {0, sig::ats_s_bell, transform::copy},
    {1, sig::ats_s_chime, transform::copy},
    {2, sig::ats_s_bell_reverb, transform::copy},
    {13, sig::ebbz, transform::copy},
    {150, sig::mon_stop_station_150, transform::copy},
    {160, sig::mon_section_160, transform::copy},
    {211, sig::lb_on, transform::copy},
    {212, sig::lb_off, transform::copy},
    {21, sig::leave, transform::copy},
}};

// Fills all four handles and the 25 panel and 9 sound indices; touches nothing else.
void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound);

// What the host gets when the plug-in cannot run its devices: traction off, emergency brake,
// every lamp and sound at rest but the red lamp.
void write_fail_safe_outputs(handles& out, std::int32_t* panel, std::int32_t* sound,
                             std::int32_t emergency_brake);

} // namespace ats
