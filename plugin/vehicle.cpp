// The vehicle singleton, its construction, and the frame order.
#include "plugin/vehicle.h"

#include <exception>
#include <memory>

#include "plugin/host/debug_channel.h"
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
            the_instance = std::make_unique<vehicle>(env().module_dir);
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

void refuse_vehicle_build() { build_failed = true; }

vehicle::vehicle(const char* module_dir) : signal_pattern(module_dir) {
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

void vehicle::elapse(const environment& e, handles& out, std::int32_t* panel, std::int32_t* sound) {
    wiring.reset();
    mc.elapse(e, wiring);
    di.elapse(e, wiring);
    eb.elapse(e, wiring);
    ats_switches.elapse(e, wiring);
    signal_pattern.elapse(e, wiring);
    cs.elapse(e, wiring);
    monitor.elapse(e, wiring);
    write_outputs(wiring, out, panel, sound);
}

void vehicle::beacon(const environment& e, const beacon_data& b) {
    debug::dbg_printf("talvik > passed beacon.------\r\n");
    debug::dbg_printf("location : %f\r\n", e.current.location);
    debug::dbg_printf("   type : %d\r\n", b.type);
    debug::dbg_printf("   signal : %d\r\n", b.signal);
    debug::dbg_printf("   distance : %f\r\n", static_cast<double>(b.distance));
    debug::dbg_printf("   optional : %d\r\n", b.optional);
    debug::dbg_printf("-----------------------------\r\n");
    signal_pattern.beacon(b);
    monitor.beacon(b);
}

} // namespace ats
