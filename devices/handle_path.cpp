// The handle path: driver's handles to the host, traction withheld while the doors are open.
#include "devices/handle_path.h"

namespace ats {

void mc::elapse(std::int32_t power, std::int32_t brake, std::int32_t reverser, wiring& w) {
    w.command.get(sig::power) = power;
    w.command.get(sig::brake) = brake;
    w.command.get(sig::reverser) = reverser;
}

void di::elapse(bool doors_closed, wiring& w) {
    w.boolean.get(sig::cs) = doors_closed && w.boolean.get(sig::lv);
}

void cs::elapse(wiring& w) {
    if (!w.boolean.get(sig::cs)) {
        // The brake is never gated: a protection brake reaches the host with the doors open.
        w.output.get(sig::brake) = w.command.get(sig::brake);
        return;
    }
    w.output.get(sig::power) = w.command.get(sig::power);
    w.output.get(sig::brake) = w.command.get(sig::brake);
    w.output.get(sig::const_speed) = w.command.get(sig::const_speed);
    w.output.get(sig::reverser) = w.command.get(sig::reverser);
}

} // namespace ats
