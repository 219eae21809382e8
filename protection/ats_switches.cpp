// Protection keys: reset (key 3), confirm (key 0), release (key 1), one frame per press.
#include "protection/ats_switches.h"

#include "plugin/environment.h"

namespace ats {

namespace {
constexpr int confirm_key = 0;
constexpr int release_key = 1;
constexpr int reset_key = 3;
} // namespace

void ats_switches::elapse(wiring& w) {
    const environment& e = env();
    const auto went_down = [&e](int key) {
        return key_held(e.current.keys, key) && !key_held(e.previous.keys, key) ? 1 : 0;
    };
    reset_press = went_down(reset_key);
    w.command.at<sig::atsresw>() = reset_press;
    // The confirm key counts only with the brake at or beyond the protection's notch; a press
    // below it is lost.
    if (w.command.at<sig::brake>() >= e.current.ats_notch) {
        confirm_press = went_down(confirm_key);
        w.command.at<sig::atscpb>() = confirm_press;
    }
    release_press = went_down(release_key);
    w.command.at<sig::atswrpb>() = release_press;
}

} // namespace ats
