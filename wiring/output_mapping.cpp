// The host output mapping: one table walk per array.
#include "wiring/output_mapping.h"

#include <string_view>

namespace ats {

namespace {
std::int32_t apply(transform how, std::int32_t value) {
    return how == transform::positive_flag ? (value > 0 ? 1 : 0) : value;
}

constexpr std::int32_t resting(bus_id bus, std::string_view name) {
    for (const auto& s : signal_table) {
        if (s.bus == bus && s.name == name) return s.resting;
    }
    return 0;
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

void write_fail_safe_outputs(handles& out, std::int32_t* panel, std::int32_t* sound,
                             std::int32_t emergency_brake) {
    out.power = 0;
    out.brake = emergency_brake;
    out.reverser = 0;
    out.const_speed = resting(bus_id::output, sig::const_speed);
    if (panel != nullptr) {
        for (const auto& row : panel_outputs) {
            const std::int32_t value = row.signal == sig::red_lamp ? 1 : resting(bus_id::panel, row.signal);
            panel[row.index] = apply(row.how, value);
        }
    }
    if (sound != nullptr) {
        for (const auto& row : sound_outputs) {
            sound[row.index] = apply(row.how, resting(bus_id::sound, row.signal));
        }
    }
}

} // namespace ats
