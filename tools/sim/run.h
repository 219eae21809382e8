// One journey through the plug-in, in the host's calling order, with the train in the loop.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/host/host_types.h"
#include "tools/hostkit/hostkit.h"
#include "tools/sim/scenario.h"
#include "wiring/cab.h"

namespace sim {

// The cab's configuration in the host: the indices the plug-in writes, in index order.
using ats::cab::panel_indices;
using ats::cab::sound_indices;

// Sizes of the host's arrays, well beyond the highest index the plug-in writes.
constexpr std::size_t host_panel_size = 256;
constexpr std::size_t host_sound_size = 256;

// Where the host's index `index` sits among `indices`; indices.size() when it is not mapped.
// cab_state's slot templates have it found when the program is built: a frame searches nothing.
template <std::size_t N>
constexpr std::size_t slot_of(const std::array<std::int32_t, N>& indices, std::int32_t index) {
    for (std::size_t i = 0; i < N; ++i) {
        if (indices[i] == index) return i;
    }
    return N;
}

// What the cab shows after one frame: the handles the host acts on and the mapped indices.
struct cab_state {
    ats::handles acting{};
    std::array<std::int32_t, panel_indices.size()> panel{};
    std::array<std::int32_t, sound_indices.size()> sound{};

    constexpr std::int32_t panel_at(std::int32_t index) const {
        const std::size_t i = slot_of(panel_indices, index);
        return i < panel.size() ? panel[i] : 0;
    }
    constexpr std::int32_t sound_at(std::int32_t index) const {
        const std::size_t i = slot_of(sound_indices, index);
        return i < sound.size() ? sound[i] : 0;
    }
    // The slot of an index the plug-in writes, checked when the program is built.
    template <std::int32_t Index> static constexpr std::size_t panel_slot() {
        constexpr std::size_t i = slot_of(panel_indices, Index);
        static_assert(i < panel_indices.size(), "the plug-in does not write this panel index");
        return i;
    }
    template <std::int32_t Index> static constexpr std::size_t sound_slot() {
        constexpr std::size_t i = slot_of(sound_indices, Index);
        static_assert(i < sound_indices.size(), "the plug-in does not write this sound index");
        return i;
    }
    // The resting outputs: handles 0/0/0/2, lamps off, sounds silent or unchanged.
    static cab_state resting();
};

// Where the train is when something happens.
struct moment {
    std::int64_t frame = 0;
    std::int64_t elapsed_ms = 0; // since the first frame
    std::int32_t time_ms = 0;    // simulated time of day
    double location = 0.0;
    double speed = 0.0;
};

// The driver's side of the cab, as the host has reported it.
struct driver_state {
    std::int32_t power = 0;
    std::int32_t brake = 0;
    std::int32_t reverser = 0;
    bool doors_closed = false; // Initialize leaves the doors open
};

struct frame_record {
    moment at;
    driver_state driver;
    cab_state cab;
};

enum class run_end {
    condition, // the scenario's end condition
    stuck,     // the train stands, nothing moves it and no remaining event can happen
    limit,     // the run-time limit
    settled    // an observer has what it watches for (a sweep's cell): the rest cannot change it
};

struct run_summary {
    moment end;
    std::int64_t frames = 0;
    std::int64_t failed_frames = 0; // frames the plug-in answered with its fail-safe outputs
    run_end ended_by = run_end::condition;
    std::vector<const event*> never_happened;
};

class run_observer {
  public:
    virtual ~run_observer() = default;
    virtual void on_start(const scenario&, std::int32_t /*plugin_version*/) {}
    virtual void on_event(const moment&, const event&, const scenario&) {}
    virtual void on_frame(const frame_record&, const scenario&) {}
    virtual void on_debug(const moment&, const std::string& /*line*/) {}
    virtual void on_finish(const run_summary&, const scenario&) {}
    // True once the observer needs no more frames; the run then ends as if at its end.
    virtual bool settled() const { return false; }
};

// A frame the plug-in did not complete: it answers with its fail-safe outputs, the red lamp
// without the bell, which a working protection never shows.
inline bool is_fail_safe_frame(const cab_state& cab) {
    return cab.panel[cab_state::panel_slot<ats::cab::panel::red_lamp>()] == 1 &&
           cab.sound[cab_state::sound_slot<ats::cab::sound::bell>()] == ats::cab::sound_cmd::silent;
}

// Longest run when the end condition never comes: one hour of simulated time.
constexpr std::int64_t run_limit_ms = 3600 * 1000;

// Runs `s` through the library's exports: Load, SetVehicleSpec, Initialize, the frames with
// their events, Dispose. `debug` may be null. A positive `frame_limit` ends the run after that
// many frames, as the run-time limit does (short runs of many scenarios).
run_summary run_scenario(const hostkit::plugin_api& api, const scenario& s,
                         const std::vector<run_observer*>& observers,
                         hostkit::debug_listener* debug = nullptr, std::int64_t frame_limit = 0);

} // namespace sim
