// The vehicle: the wiring and every device, and the order in which they run.
#pragma once

#include <cstdint>

#include "devices/eb.h"
#include "devices/handle_path.h"
#include "monitor/monitor.h"
#include "plugin/host_types.h"
#include "protection/ats_switches.h"
#include "protection/signal_pattern.h"
#include "wiring/wiring.h"

namespace ats {

class vehicle {
public:
    vehicle();
    ~vehicle();
    vehicle(const vehicle&) = delete;
    vehicle& operator=(const vehicle&) = delete;

    void initialize(std::int32_t param);
    // One frame; the host's state is already in the environment.
    void elapse(handles& out, std::int32_t* panel, std::int32_t* sound);
    void horn_blow() { eb.horn_blow(); }
    void beacon(const beacon_data& b);

    ats::wiring wiring;
    ats::mc mc;
    ats::di di;
    ats::cs cs;
    ats::signal_pattern signal_pattern;
    ats::ats_switches ats_switches;
    ats::monitor monitor;
    ats::eb eb;

private:
    void write_outputs(handles& out, std::int32_t* panel, std::int32_t* sound);
};

// The process-wide vehicle, built on first use. Null when it cannot be built (a missing or
// broken pattern script): the failure is reported once and no rebuild is tried until the next
// `Load` or `Dispose` clears it.
vehicle* the_vehicle();
// Destroys the vehicle if it exists and forgets a failed build.
void destroy_vehicle();
// Lets the next accessor call try a build again after a failed one.
void allow_vehicle_build();

} // namespace ats
