// The protection's keys turned into one-frame presses on the command bus.
#pragma once

#include <cstdint>

#include "wiring/wiring.h"

namespace ats {

class ats_switches {
public:
    std::int32_t reset_press = 0;
    std::int32_t confirm_press = 0;
    std::int32_t release_press = 0;

    void reset() { *this = ats_switches{}; }
    void elapse(wiring& w);
};

} // namespace ats
