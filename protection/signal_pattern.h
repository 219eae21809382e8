// The pattern train protection: alarm, script-computed pattern check, speed checks, brake latch.
#pragma once

#include <cstdint>

#include "plugin/host/environment.h"
#include "plugin/host/host_types.h"
#include "protection/alarm.h"
#include "protection/pattern_script.h"
#include "protection/script_host.h"
#include "wiring/wiring.h"

namespace ats {

class signal_pattern {
  public:
    static constexpr float no_check = -1.0f;

    // Compiles the pattern script in the plug-in's directory; throws SquirrelError when it cannot.
    explicit signal_pattern(const char* module_dir);

    pattern_script script;
    double check_distance = 0.0;
    double brake_offset = 0.0;
    bool check_pending = false;
    ats_s_alarm alarm;
    bool brake_latch = false;
    float brake_check_speed = no_check;
    float alarm_check_speed = no_check;
    bool active = false; // beacons count only after the first reset
    std::int32_t last_bell = cab::sound_cmd::silent;
    // The script went with its VM (its memory passed the ceiling): braked until the next Load.
    bool script_lost = false;

    void reset();
    void elapse(const environment& e, wiring& w);
    void beacon(const beacon_data& b);

    // Evaluates an armed pattern check once: true when the train is at or above the pattern.
    bool run_check(float speed);
    // Arms the one-shot pattern check for a beacon's distance.
    void arm_check(float distance);

  private:
    // A script that cannot evaluate fails safe: braking latched, the check disarmed.
    void fail_safe(const SquirrelError& error);
};

} // namespace ats
