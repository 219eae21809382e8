// The handle path: master controller, door interlock and output gate.
#pragma once

#include <cstdint>

#include "plugin/host/environment.h"
#include "wiring/wiring.h"

namespace ats {

// Puts the driver's handles on the command bus, unchanged.
class mc {
  public:
    void elapse(const environment& e, wiring& w);
};

// Derives "cs": the doors are closed and the line voltage is there.
class di {
  public:
    void elapse(const environment& e, wiring& w);
};

// Copies the command bus to the output bus; with the doors open only the brake passes.
class cs {
  public:
    void elapse(const environment& e, wiring& w);
};

} // namespace ats
