// One whole run of the plug-in as a host makes it: Load, SetVehicleSpec, Initialize, frames with a
// pattern check and an alarm, Dispose. Used by the leak checks.
#pragma once

#include "plugin_host.h"

namespace talvik_test {

inline void run_cycle(plugin_library& lib = plugin_library::built()) {
    cab h(lib);
    h.doors_closed(true).speed(50.0f);
    h.api.SetPower(2);
    h.frames(5);
    h.beacon(beacon::pattern_check, 0, 300.0f,
             0); // the script runs at the beacon and the next frame
    h.beacon(beacon::alarm, 0, 0.0f, 0);
    h.beacon(beacon::train_number + 2, 0, 0.0f, 7);
    h.frames(5);
    h.api.SetBrake(emergency);
    h.press(key::reset);
    h.frames(2);
    h.release(key::reset);
}

} // namespace talvik_test
