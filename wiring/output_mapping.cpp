// The host output mapping: the signal table's indices, walked in its order.
#include "wiring/output_mapping.h"

#include <array>
#include <cstddef>

namespace ats {

namespace {
// One index the host reads, with the bus slot of its signal.
struct mapped_index {
    std::size_t slot;
    std::int32_t index;
    cab::transform how;
};

// Every index the host reads from `Bus`, in the table's order, with its slot found by the
// compiler: a frame compares no names.
template <bus_id Bus> constexpr std::array<mapped_index, cab::indices_on(Bus)> mapping() {
    std::array<mapped_index, cab::indices_on(Bus)> out{};
    std::size_t n = 0;
    std::size_t slot = 0;
    for (const auto& s : signal_table) {
        if (s.bus != Bus) continue;
        for (const auto& m : s.host) {
            if (cab::is_shown(m)) out[n++] = {slot, m.index, m.how};
        }
        ++slot;
    }
    return out;
}

constexpr auto panel_mapping = mapping<bus_id::panel>();
constexpr auto sound_mapping = mapping<bus_id::sound>();

template <typename Bus, std::size_t N>
void copy(Bus& bus, const std::array<mapped_index, N>& rows, std::int32_t* array) {
    // A host that passes no array gets no writes rather than a crash.
    if (array == nullptr) return;
    for (const mapped_index& row : rows)
        array[row.index] = cab::apply(row.how, bus.at_slot(row.slot));
}
} // namespace

void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound) {
    out.power = w.output.at<sig::power>();
    out.brake = w.output.at<sig::brake>();
    out.reverser = w.output.at<sig::reverser>();
    out.const_speed = w.output.at<sig::const_speed>();
    copy(w.panel, panel_mapping, panel);
    copy(w.sound, sound_mapping, sound);
}

void write_fail_safe_outputs(handles& out, std::int32_t* panel, std::int32_t* sound,
                             std::int32_t emergency_brake) {
    out.power = 0;
    out.brake = emergency_brake;
    out.reverser = 0;
    out.const_speed = cab::const_speed_resting;
    if (panel != nullptr) {
        for (const auto& place : cab::panel_layout) {
            panel[place.index] = place.index == cab::panel::red_lamp ? 1 : cab::resting(place.kind);
        }
    }
    if (sound != nullptr) {
        for (const auto& place : cab::sound_layout)
            sound[place.index] = cab::resting(place.kind);
    }
}

} // namespace ats
