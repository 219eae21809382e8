// The counted frame step that every timer advances by, and timers that saturate.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "plugin/host/environment.h"

namespace ats {

// Frames longer than this count only this much, so timers run slow at low frame rates.
constexpr std::int32_t step_cap_ms = 33;

// This frame's time minus the previous frame's, capped above at 33 ms and not capped below.
// Worked out in 64 bits: the host's clock may jump by more than an int32 can hold.
inline std::int32_t counted_step_ms(const environment& e) {
    const std::int64_t dt = std::int64_t{e.current.time} - std::int64_t{e.previous.time};
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(dt, std::numeric_limits<std::int32_t>::min(), step_cap_ms));
}

// timer += step, held at the int32 limits instead of overflowing.
inline void advance(std::int32_t& timer, std::int32_t step) {
    const std::int64_t sum = std::int64_t{timer} + step;
    timer = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace ats
