// The host output mapping: one table walk per array.
#include "wiring/output_mapping.h"

namespace ats {

namespace {
std::int32_t apply(transform how, std::int32_t value) {
    return how == transform::positive_flag ? (value > 0 ? 1 : 0) : value;
}
} // namespace

void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound) {
    out.power = w.output.get(sig::power);
    out.brake = w.output.get(sig::brake);
    out.reverser = w.output.get(sig::reverser);
    out.const_speed = w.output.get(sig::const_speed);
    // A host that passes no array gets no writes rather than a crash.
    if (panel != nullptr) {
        for (const auto& row : panel_outputs) panel[row.index] = apply(row.how, w.panel.get(row.signal));
    }
    if (sound != nullptr) {
        for (const auto& row : sound_outputs) sound[row.index] = apply(row.how, w.sound.get(row.signal));
    }
}

} // namespace ats
