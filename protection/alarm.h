// The protection's bell-and-chime alarm with its 5-second confirmation and power-up test.
#pragma once

#include <cstdint>

namespace ats {

struct ats_s_alarm {
    static constexpr std::int32_t confirm_timeout_ms = 5000;
    static constexpr std::int32_t power_up_test_ms = 100;

    std::int32_t confirm_ms = 0;
    bool warning = false;
    bool unconfirmed = false;
    bool tripped = false;
    std::int32_t uptime_ms = 0;

    struct outputs {
        bool bell;
        bool chime;
        bool brake;
        bool white;
        bool red;
    };

    // Bell, chime and the confirmation count start afresh; a trip stays.
    void start() {
        warning = true;
        unconfirmed = true;
        confirm_ms = 0;
    }
    // The alarm demands braking; the confirmation count is kept.
    void trip() {
        warning = true;
        unconfirmed = true;
        tripped = true;
    }
    // One frame's step, with the key presses of this frame and its counted time step.
    outputs elapse(bool confirm, bool release, bool reset, std::int32_t step_ms);
};

} // namespace ats
