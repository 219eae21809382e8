// The vehicle singleton, its construction, and the frame order.
#include "plugin/vehicle.h"

#include <exception>
#include <memory>

#include "plugin/debug_channel.h"
#include "plugin/environment.h"
#include "protection/script_host.h"
#include "wiring/output_mapping.h"

namespace ats {

namespace {
std::unique_ptr<vehicle> the_instance;
bool build_failed = false;
} // namespace

vehicle* the_vehicle() {
    if (!the_instance && !build_failed) {
        try {
            the_instance = std::make_unique<vehicle>();
        } catch (const SquirrelError& error) {
            build_failed = true;
            debug::dbg_printf("talvik > script error: %s\r\n", error.what());
        } catch (const std::exception& error) {
            build_failed = true;
            debug::dbg_printf("talvik > error: %s\r\n", error.what());
        }
    }
    return the_instance.get();
}

void destroy_vehicle() {
    the_instance.reset();
    build_failed = false;
}

void allow_vehicle_build() { build_failed = false; }

vehicle::vehicle() {
    debug::dbg_printf("QDX EC510/512 plug-in \"talvik\" \r\n");
    debug::dbg_printf("talvik > instance created.\r\n");
    wiring.register_signals();
}

vehicle::~vehicle() { debug::dbg_printf("talvik > bye.\r\n"); }

void vehicle::initialize(std::int32_t param) {
    debug::dbg_printf("talvik > initialized. param : %d\r\n", param);
    wiring.reset();
    signal_pattern.reset();
    monitor.reset();
    eb.reset();
}

void vehicle::elapse(handles& out, std::int32_t* panel, std::int32_t* sound) {
    const environment_block& now = env().current;
    wiring.reset();
    mc.elapse(now.power_handle, now.brake_handle, now.reverser_handle, wiring);
    di.elapse(now.doors_closed, wiring);
    eb.elapse(wiring);
    ats_switches.elapse(wiring);
    signal_pattern.elapse(wiring);
    cs.elapse(wiring);
    monitor.elapse(wiring);
    write_outputs(out, panel, sound);
}

void vehicle::beacon(const beacon_data& b) {
    debug::dbg_printf("talvik > passed beacon.------\r\n");
    debug::dbg_printf("location : %f\r\n", env().current.location);
    debug::dbg_printf("   type : %d\r\n", b.type);
    debug::dbg_printf("   signal : %d\r\n", b.signal);
    debug::dbg_printf("   distance : %f\r\n", static_cast<double>(b.distance));
    debug::dbg_printf("   optional : %d\r\n", b.optional);
    debug::dbg_printf("-----------------------------\r\n");
    signal_pattern.beacon(b);
    monitor.beacon(b);
}

void vehicle::write_outputs(handles& out, std::int32_t* panel, std::int32_t* sound) {
    ats::write_outputs(wiring, out, panel, sound);
}

} // namespace ats
