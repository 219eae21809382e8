// The protection's keys turned into one-frame presses on the command bus.
#pragma once

#include "plugin/host/environment.h"
#include "wiring/wiring.h"

namespace ats {

// Holds no state: a press is a key's edge between the environment's two blocks.
class ats_switches {
  public:
    void elapse(const environment& e, wiring& w);
};

} // namespace ats
