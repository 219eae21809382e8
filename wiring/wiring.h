// The vehicle's five buses, their registration and their per-frame reset.
#pragma once

#include "wiring/bus.h"
#include "wiring/cab.h"

namespace ats {

class wiring {
  public:
    // Built in this order, destroyed in reverse: the bool bus first, the panel bus last.
    panel_bus panel;
    sound_bus sound;
    output_bus output;
    command_bus command;
    bool_bus boolean;

    void register_signals();
    // Every signal back to its resting value; runs before any device in the frame.
    void reset();
};

} // namespace ats
