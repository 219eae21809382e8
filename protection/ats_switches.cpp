// Protection keys: reset (key 3), confirm (key 0), release (key 1).
#include "protection/ats_switches.h"

namespace ats {

void ats_switches::elapse(wiring&) {
    // Presses come with the pattern protection.
}

} // namespace ats
