// One whole run of the plug-in as a host makes it: Load, SetVehicleSpec, Initialize, frames with a pattern
// check and an alarm, Dispose. Used by the leak checks.
#pragma once

#include "plugin_host.h"

namespace talvik_test {

inline void run_cycle(plugin_library& lib = plugin_library::built()) {
    host h(lib);
    h.start().doors_closed(true).speed(50.0f);
    h.api.SetPower(2);
    h.frames(5);
    h.beacon(50, 0, 300.0f, 0); // the script runs at the beacon and on the next frame
    h.beacon(0, 0, 0.0f, 0);
    h.beacon(142, 0, 0.0f, 7);
    h.frames(5);
    h.api.SetBrake(9);
    h.press(3);
    h.frames(2);
    h.release(3);
}

} // namespace talvik_test
