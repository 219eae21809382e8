// The handle path: driver's handles to the host, traction withheld while the doors are open.
#include "devices/handle_path.h"

namespace ats {

void mc::elapse(std::int32_t power, std::int32_t brake, std::int32_t reverser, wiring& w) {
    w.command.at<sig::power>() = power;
    w.command.at<sig::brake>() = brake;
    w.command.at<sig::reverser>() = reverser;
}

void di::elapse(bool doors_closed, wiring& w) {
    w.boolean.at<sig::cs>() = doors_closed && w.boolean.at<sig::lv>();
}

void cs::elapse(wiring& w) {
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
