// The host output mapping: one table walk per array.
#include "wiring/output_mapping.h"

#include <cstddef>

namespace ats {

namespace {
constexpr std::int32_t apply(transform how, std::int32_t value) {
    return how == transform::positive_flag ? (value > 0 ? 1 : 0) : value;
}

// The bus slots of a table's signals, found by the compiler.
template <bus_id Bus, std::size_t N>
constexpr std::array<std::size_t, N> slots(const std::array<output_row, N>& rows) {
    std::array<std::size_t, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = slot_of(Bus, rows[i].signal);
    return out;
}

template <std::size_t N> constexpr bool all_found(const std::array<std::size_t, N>& found) {
    for (const std::size_t slot : found) {
        if (slot == no_slot) return false;
    }
    return true;
}

constexpr auto panel_slots = slots<bus_id::panel>(panel_outputs);
constexpr auto sound_slots = slots<bus_id::sound>(sound_outputs);
static_assert(all_found(panel_slots), "a panel output names no panel signal");
static_assert(all_found(sound_slots), "a sound output names no sound signal");

constexpr std::int32_t resting(bus_id bus, std::string_view name) {
    for (const auto& s : signal_table) {
        if (s.bus == bus && s.name == name) return s.resting;
    }
    return 0;
}

// The mapping writes each index of the cab's layout once, and a signal at rest gives the host
// what the layout says the index shows at rest (which is what the fail-safe outputs send).
template <std::size_t N, std::size_t M>
constexpr bool matches(bus_id bus, const std::array<output_row, N>& rows,
                       const std::array<cab::index_meaning, M>& layout) {
    if (N != M) return false;
    for (const auto& place : layout) {
        std::size_t writes = 0;
        for (const auto& row : rows) {
            if (row.index != place.index) continue;
            ++writes;
            if (apply(row.how, resting(bus, row.signal)) != cab::resting(place.kind)) return false;
        }
        if (writes != 1) return false;
    }
    return true;
}
static_assert(matches(bus_id::panel, panel_outputs, cab::panel_layout));
static_assert(matches(bus_id::sound, sound_outputs, cab::sound_layout));
} // namespace

void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound) {
    out.power = w.output.at<sig::power>();
    out.brake = w.output.at<sig::brake>();
    out.reverser = w.output.at<sig::reverser>();
    out.const_speed = w.output.at<sig::const_speed>();
    // A host that passes no array gets no writes rather than a crash.
    if (panel != nullptr) {
        for (std::size_t i = 0; i < panel_outputs.size(); ++i) {
            const output_row& row = panel_outputs[i];
            panel[row.index] = apply(row.how, w.panel.at_slot(panel_slots[i]));
        }
    }
    if (sound != nullptr) {
        for (std::size_t i = 0; i < sound_outputs.size(); ++i) {
            const output_row& row = sound_outputs[i];
            sound[row.index] = apply(row.how, w.sound.at_slot(sound_slots[i]));
        }
    }
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
