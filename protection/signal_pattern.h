// The pattern train protection.
#pragma once

#include "plugin/host_types.h"
#include "wiring/wiring.h"

namespace ats {

class signal_pattern {
public:
    void reset() {}
    void elapse(wiring&) {}
    void beacon(const beacon_data&) {}
};

} // namespace ats
