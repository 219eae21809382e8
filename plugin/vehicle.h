// The vehicle: the wiring and every device, and the order in which they run.
#pragma once

#include <cstdint>

#include "devices/eb.h"
#include "devices/handle_path.h"
#include "monitor/monitor.h"
#include "plugin/host/environment.h"
#include "plugin/host/host_types.h"
#include "protection/ats_switches.h"
#include "protection/signal_pattern.h"
#include "wiring/wiring.h"

namespace ats {

class vehicle {
  public:
    // Compiles the pattern script found in `module_dir`.
    explicit vehicle(const char* module_dir);
    ~vehicle();
    vehicle(const vehicle&) = delete;
    vehicle& operator=(const vehicle&) = delete;

    void initialize(std::int32_t param);
    // One frame of `e`, which holds the host's state already.
    void elapse(const environment& e, handles& out, std::int32_t* panel, std::int32_t* sound);
    void horn_blow() { eb.horn_blow(); }
    void beacon(const environment& e, const beacon_data& b);

    ats::wiring wiring;
    ats::mc mc;
    ats::di di;
    ats::cs cs;
    ats::signal_pattern signal_pattern;
    ats::ats_switches ats_switches;
    ats::monitor monitor;
    ats::eb eb;
};

// The process-wide vehicle, built on first use from the environment's directory. Null when it
// cannot be built (a missing or broken pattern script): the failure is reported once and no rebuild
// is tried until the next `Load` or `Dispose` clears it.
vehicle* the_vehicle();
// Destroys the vehicle if it exists and forgets a failed build.
void destroy_vehicle();
// Lets the next accessor call try a build again after a failed one.
void allow_vehicle_build();
// No vehicle is built until allow_vehicle_build: a Load that failed was reported once, and no
// frame tries, and reports, again.
void refuse_vehicle_build();

} // namespace ats
