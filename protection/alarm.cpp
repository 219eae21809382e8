// The alarm's per-frame step.
#include "protection/alarm.h"

#include "plugin/host/timing.h"

namespace ats {

ats_s_alarm::outputs ats_s_alarm::elapse(bool confirm, bool release, bool reset,
                                         std::int32_t step_ms) {
    // The power-up test leaves the chime on until the driver releases or resets it.
    if (uptime_ms > 0 && uptime_ms < power_up_test_ms) warning = true;
    if (warning && unconfirmed) {
        // Checked before counting: the trip comes on the step after the count reaches 5 s.
        if (confirm_ms >= confirm_timeout_ms) tripped = true;
        advance(confirm_ms, step_ms);
    }
    if (confirm) unconfirmed = false;
    if (release && !unconfirmed && !tripped) warning = false;
    if (reset) {
        unconfirmed = false;
        warning = false;
        tripped = false;
    }
    outputs out{};
    out.bell = unconfirmed || uptime_ms < power_up_test_ms;
    out.chime = warning;
    out.brake = tripped;
    out.white = !out.bell;
    out.red = out.bell;
    advance(uptime_ms, step_ms);
    return out;
}

} // namespace ats
