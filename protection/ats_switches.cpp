// Protection keys: reset (key 3), confirm (key 0), release (key 1), one frame per press.
#include "protection/ats_switches.h"

namespace ats {

void ats_switches::elapse(const environment& e, wiring& w) {
    const auto went_down = [&e](int key) {
        return key_held(e.current.keys, key) && !key_held(e.previous.keys, key) ? 1 : 0;
    };
    w.command.at<sig::atsresw>() = went_down(cab::key::reset);
    // The confirm key counts only with the brake at or beyond the protection's notch; a press
    // below it is lost.
    if (w.command.at<sig::brake>() >= e.current.ats_notch) {
        w.command.at<sig::atscpb>() = went_down(cab::key::confirm);
    }
    w.command.at<sig::atswrpb>() = went_down(cab::key::release);
}

} // namespace ats
