// The handle path: driver's handles to the host, traction withheld while the doors are open.
#include "devices/handle_path.h"

namespace ats {

void mc::elapse(const environment& e, wiring& w) {
    w.command.at<sig::power>() = e.current.power_handle;
    w.command.at<sig::brake>() = e.current.brake_handle;
    w.command.at<sig::reverser>() = e.current.reverser_handle;
}

void di::elapse(const environment& e, wiring& w) {
    w.boolean.at<sig::cs>() = e.current.doors_closed && w.boolean.at<sig::lv>();
}

// Reads only the buses: what the devices before it made of the frame.
void cs::elapse(const environment&, wiring& w) {
    if (!w.boolean.at<sig::cs>()) {
        // The brake is never gated: a protection brake reaches the host with the doors open.
        w.output.at<sig::brake>() = w.command.at<sig::brake>();
        return;
    }
    w.output.at<sig::power>() = w.command.at<sig::power>();
    w.output.at<sig::brake>() = w.command.at<sig::brake>();
    w.output.at<sig::const_speed>() = w.command.at<sig::const_speed>();
    w.output.at<sig::reverser>() = w.command.at<sig::reverser>();
}

} // namespace ats
