// The cab monitor: date, clock, position, train number, maximum speed, lamps and sounds.
#pragma once

#include "plugin/host_types.h"
#include "wiring/wiring.h"

namespace ats {

struct monitor {
    void reset() {}
    void beacon(const beacon_data&) {}
    void elapse(wiring&) {}
};

} // namespace ats
