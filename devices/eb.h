// The emergency-brake (vigilance) device.
#pragma once

#include <cstdint>

#include "plugin/host/environment.h"
#include "wiring/wiring.h"

namespace ats {

class eb {
  public:
    static constexpr float moving_speed = 15.0f;
    static constexpr std::int32_t warning_ms = 60000;
    static constexpr std::int32_t braking_ms = 5000;

    std::int32_t idle_ms = 0;
    std::int32_t alarm_ms = 0;
    std::int32_t brake_parity = 0;
    std::int32_t power_parity = 0;
    bool braking = false;

    void elapse(const environment& e, wiring& w);
    void horn_blow() { acknowledge(); }
    void reset() { *this = eb{}; }

  private:
    // A driver action: the warning clears only before braking is due.
    void acknowledge() {
        if (alarm_ms < braking_ms) alarm_ms = 0;
        idle_ms = 0;
    }
};

} // namespace ats
