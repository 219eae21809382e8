// The host loop: advance the train, deliver the due events, run one frame, observe.
#include "tools/sim/run.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

#include "tools/sim/train_model.h"

namespace sim {

namespace {

std::int64_t to_ms(double seconds) { return std::llround(seconds * 1000.0); }

// The mapped indices as runs of consecutive indices, found by the compiler.
struct index_run {
    std::size_t out, host, count;
};
template <const auto& Indices> struct index_runs {
    static constexpr std::size_t count = [] {
        std::size_t n = 0;
        for (std::size_t i = 0; i < Indices.size(); ++i)
            n += i == 0 || Indices[i] != Indices[i - 1] + 1 ? 1 : 0;
        return n;
    }();
    static constexpr std::array<index_run, count> runs = [] {
        std::array<index_run, count> out{};
        std::size_t n = 0;
        for (std::size_t i = 0; i < Indices.size(); ++i) {
            if (i == 0 || Indices[i] != Indices[i - 1] + 1)
                out[n++] = {i, static_cast<std::size_t>(Indices[i]), 0};
            ++out[n - 1].count;
        }
        return out;
    }();
};

// The mapped indices of a host array, a block copy for each run: no loop, no lookup a frame.
template <const auto& Indices, std::size_t Host, std::size_t N, std::size_t... R>
void gather(const std::array<std::int32_t, Host>& host, std::array<std::int32_t, N>& out,
            std::index_sequence<R...>) {
    using runs = index_runs<Indices>;
    static_assert(((runs::runs[R].host + runs::runs[R].count <= Host) && ...));
    (std::memcpy(out.data() + runs::runs[R].out, host.data() + runs::runs[R].host,
                 runs::runs[R].count * sizeof(std::int32_t)),
     ...);
}

// How often a frame without events looks for the plug-in's debug lines.
constexpr std::int64_t quiet_drain_frames = 64;

// Delivers the debug channel's waiting messages line by line.
void drain(hostkit::debug_listener* debug, const moment& at,
           const std::vector<run_observer*>& observers) {
    if (debug == nullptr) return;
    std::string message;
    while (debug->receive(message)) {
        std::size_t start = 0;
        while (start < message.size()) {
            std::size_t end = message.find('\n', start);
            if (end == std::string::npos) end = message.size();
            std::string line = message.substr(start, end - start);
            while (!line.empty() && (line.back() == '\r' || line.back() == '\0'))
                line.pop_back();
            if (!line.empty()) {
                for (run_observer* o : observers)
                    o->on_debug(at, line);
            }
            start = end + 1;
        }
    }
}

class journey {
  public:
    journey(const hostkit::plugin_api& api, const scenario& s,
            const std::vector<run_observer*>& observers, hostkit::debug_listener* debug,
            std::int64_t frame_limit)
        : api_(api), s_(s), observers_(observers), debug_(debug), frame_limit_(frame_limit),
          fired_at_(s.events.size(), -1) {
        std::size_t timed = 0;
        for (const event& e : s.events)
            timed += e.when.kind == trigger_kind::at_time ? 1 : 0;
        at_time_.reserve(timed);
        at_position_.reserve(s.events.size() - timed);
        for (std::size_t i = 0; i < s.events.size(); ++i) {
            const trigger& t = s.events[i].when;
            if (t.kind == trigger_kind::at_time) at_time_.push_back({to_ms(t.value), i});
            if (t.kind == trigger_kind::at_position) at_position_.push_back({t.value, i});
        }
        std::sort(at_time_.begin(), at_time_.end());
        std::sort(at_position_.begin(), at_position_.end());
        // The first event's 'after' and 'when stopped' count from the start.
        if (!s.events.empty() && s.events[0].when.kind == trigger_kind::after)
            waiting_.push({to_ms(s.events[0].when.value), 0});
        if (!s.events.empty() && s.events[0].when.kind == trigger_kind::when_stopped)
            until_stopped_.push_back(0);
    }

    // Its frame record is referred to by members of its own: never copied.
    journey(const journey&) = delete;
    journey& operator=(const journey&) = delete;

    run_summary run() {
        api_.Load();
        const std::int32_t version = api_.GetPluginVersion();
        for (run_observer* o : observers_)
            o->on_start(s_, version);
        // Load's few lines wait in the channel until the observers have started.
        drain(debug_, now_, observers_);
        api_.SetVehicleSpec(s_.spec);
        api_.Initialize(s_.initialize_param);
        drain(debug_, now_, observers_);

        motion_.location = s_.location;
        motion_.speed = s_.speed;
        run_summary summary;
        const std::int64_t limit = limit_ms();
        const std::int32_t emergency = s_.emergency_brake();
        const double dt_s = s_.frame_ms / 1000.0;
        for (std::int64_t k = 0;; ++k) {
            now_.frame = k;
            now_.elapsed_ms = k * s_.frame_ms;
            now_.time_ms = static_cast<std::int32_t>(s_.start_ms + now_.elapsed_ms);
            if (k > 0) advance(s_.train, emergency, cab_.acting, dt_s, motion_);
            now_.location = motion_.location;
            now_.speed = motion_.speed;
            // What the host reports is settled before the events: the plug-in's calls for
            // them change none of it.
            state_.location = motion_.location;
            state_.speed = static_cast<float>(motion_.speed);
            state_.time = now_.time_ms;
            state_.traction_value = traction_value(cab_.acting, motion_.speed);

            const bool delivered = deliver_due_events();
            // The plug-in speaks on its debug channel when a call gives it something to say:
            // a frame after events, a failed frame. Quiet frames are drained now and then,
            // which spares a listening run a system call a frame.
            if (run_frame(delivered || k % quiet_drain_frames == 0)) ++summary.failed_frames;

            if (finished()) break;
            if (std::any_of(observers_.begin(), observers_.end(),
                            [](const run_observer* o) { return o->settled(); })) {
                summary.ended_by = run_end::settled;
                break;
            }
            if (could_wait_forever() && stuck()) {
                summary.ended_by = run_end::stuck;
                break;
            }
            if (now_.elapsed_ms >= limit || k + 1 == frame_limit_) {
                summary.ended_by = run_end::limit;
                break;
            }
        }
        summary.end = now_;
        summary.frames = now_.frame + 1;
        for (std::size_t i = 0; i < s_.events.size(); ++i) {
            if (fired_at_[i] < 0) summary.never_happened.push_back(&s_.events[i]);
        }
        api_.Dispose();
        drain(debug_, now_, observers_);
        for (run_observer* o : observers_)
            o->on_finish(summary, s_);
        return summary;
    }

  private:
    std::int64_t limit_ms() const {
        if (s_.end.kind == end_kind::at_time) return to_ms(s_.end.value);
        return run_limit_ms;
    }

    // Events wait in time order, by position, or for the event before them in the file; each
    // frame takes those that have come due and delivers them in file order. An event only ever
    // makes the one after it due, so every event is looked at a bounded number of times.
    // Delivers the events due on this frame; true when there was one.
    bool deliver_due_events() {
        while (next_time_ < at_time_.size() && at_time_[next_time_].first <= now_.elapsed_ms)
            due_.push(at_time_[next_time_++].second);
        // The train may run backward: a position counts on the first frame at or past it.
        while (next_position_ < at_position_.size() &&
               now_.location >= at_position_[next_position_].first)
            due_.push(at_position_[next_position_++].second);
        while (!waiting_.empty() && waiting_.top().first <= now_.elapsed_ms) {
            due_.push(waiting_.top().second);
            waiting_.pop();
        }
        if (now_.speed == 0.0) {
            for (const std::size_t i : until_stopped_)
                due_.push(i);
            until_stopped_.clear();
        }
        bool any = false;
        while (!due_.empty()) {
            const std::size_t i = due_.top();
            due_.pop();
            fired_at_[i] = now_.elapsed_ms;
            last_fired_ms_ = now_.elapsed_ms;
            ++fired_;
            const event& e = s_.events[i];
            for (run_observer* o : observers_)
                o->on_event(now_, e, s_);
            deliver(e.what);
            drain(debug_, now_, observers_);
            if (i + 1 < s_.events.size()) follow(i + 1, now_.elapsed_ms);
            any = true;
        }
        return any;
    }

    // The event before `i` happened at `since`: an 'after' event waits for its delay, a
    // 'when stopped' one for a standstill; either may be due on this very frame.
    void follow(std::size_t i, std::int64_t since) {
        const trigger& t = s_.events[i].when;
        if (t.kind == trigger_kind::after) {
            const std::int64_t at = since + to_ms(t.value);
            if (at <= now_.elapsed_ms) {
                due_.push(i);
            } else {
                waiting_.push({at, i});
            }
        } else if (t.kind == trigger_kind::when_stopped) {
            if (now_.speed == 0.0) {
                due_.push(i);
            } else {
                until_stopped_.push_back(i);
            }
        }
    }

    void deliver(const action& a) {
        switch (a.kind) {
        case action_kind::power:
            driver_.power = a.value;
            api_.SetPower(a.value);
            break;
        case action_kind::brake:
            driver_.brake = a.value;
            api_.SetBrake(a.value);
            break;
        case action_kind::reverser:
            driver_.reverser = a.value;
            api_.SetReverser(a.value);
            break;
        case action_kind::key_down: api_.KeyDown(a.value); break;
        case action_kind::key_up: api_.KeyUp(a.value); break;
        case action_kind::horn: api_.HornBlow(a.value); break;
        case action_kind::doors_open:
            driver_.doors_closed = false;
            api_.DoorOpen();
            break;
        case action_kind::doors_close:
            driver_.doors_closed = true;
            api_.DoorClose();
            break;
        case action_kind::signal: api_.SetSignal(a.value); break;
        case action_kind::beacon: api_.SetBeaconData(a.beacon); break;
        case action_kind::note: break;
        }
    }

    // One frame through the plug-in and the observers; true when it answered with its
    // fail-safe outputs.
    bool run_frame(bool drain_debug) {
        cab_.acting = api_.Elapse(state_, panel_.data(), sound_.data());
        gather<panel_indices>(panel_, cab_.panel,
                              std::make_index_sequence<index_runs<panel_indices>::count>());
        gather<sound_indices>(sound_, cab_.sound,
                              std::make_index_sequence<index_runs<sound_indices>::count>());
        const bool failed = is_fail_safe_frame(cab_);
        if (drain_debug || failed) drain(debug_, now_, observers_);
        for (run_observer* o : observers_)
            o->on_frame(record_, s_);
        return failed;
    }

    // Only an end that waits for events or for a position can be waited for in vain.
    bool could_wait_forever() const {
        if (s_.end.kind == end_kind::at_time) return false;
        return s_.end.kind == end_kind::at_position || !all_happened();
    }

    // Standing, held by the handles, and every remaining event waits for a position or for an
    // event that cannot happen either: the run would only repeat this frame. An event that can
    // still happen is one due at a time, or one whose event before it has happened.
    bool stuck() const {
        if (now_.speed != 0.0) return false;
        train_motion trial = motion_;
        advance(s_.train, s_.emergency_brake(), cab_.acting, s_.frame_ms / 1000.0, trial);
        if (trial.speed != 0.0) return false;
        return next_time_ == at_time_.size() && waiting_.empty() && until_stopped_.empty();
    }

    bool all_happened() const { return fired_ == s_.events.size(); }

    bool finished() const {
        switch (s_.end.kind) {
        case end_kind::at_time: return now_.elapsed_ms >= to_ms(s_.end.value);
        case end_kind::at_position: return now_.location >= s_.end.value;
        case end_kind::when_stopped: return all_happened() && now_.speed == 0.0;
        case end_kind::after_last_event:
            return all_happened() && now_.elapsed_ms >= last_fired_ms_ + to_ms(s_.end.value);
        }
        return true;
    }

    const hostkit::plugin_api& api_;
    const scenario& s_;
    const std::vector<run_observer*>& observers_;
    hostkit::debug_listener* debug_;
    std::int64_t frame_limit_;
    std::vector<std::int64_t> fired_at_; // elapsed ms at which each event happened; -1 not yet
    std::int64_t last_fired_ms_ = 0;
    std::size_t fired_ = 0;
    // 'at T s' events by time and 'at X m' events by position, each with its index in the
    // file, and how far each list has been delivered.
    std::vector<std::pair<std::int64_t, std::size_t>> at_time_;
    std::vector<std::pair<double, std::size_t>> at_position_;
    std::size_t next_time_ = 0, next_position_ = 0;
    // 'after' events whose event before has happened, by the time they come due.
    using timed = std::pair<std::int64_t, std::size_t>;
    std::priority_queue<timed, std::vector<timed>, std::greater<timed>> waiting_;
    // 'when stopped' events whose event before has happened.
    std::vector<std::size_t> until_stopped_;
    // This frame's due events, delivered in file order.
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<std::size_t>> due_;
    // This frame as the observers see it, kept in place rather than copied each frame.
    frame_record record_{moment{}, driver_state{}, cab_state::resting()};
    moment& now_ = record_.at;
    driver_state& driver_ = record_.driver;
    cab_state& cab_ = record_.cab;
    ats::vehicle_state state_{};
    train_motion motion_;
    std::array<std::int32_t, host_panel_size> panel_{};
    std::array<std::int32_t, host_sound_size> sound_{};
};

} // namespace

cab_state cab_state::resting() {
    cab_state c;
    c.acting = {0, 0, 0, ats::cab::const_speed_resting};
    for (std::size_t i = 0; i < c.panel.size(); ++i) {
        c.panel[i] = ats::cab::resting(ats::cab::panel_layout[i].kind);
    }
    for (std::size_t i = 0; i < c.sound.size(); ++i) {
        c.sound[i] = ats::cab::resting(ats::cab::sound_layout[i].kind);
    }
    return c;
}

run_summary run_scenario(const hostkit::plugin_api& api, const scenario& s,
                         const std::vector<run_observer*>& observers,
                         hostkit::debug_listener* debug, std::int64_t frame_limit) {
    journey j(api, s, observers, debug, frame_limit);
    return j.run();
}

} // namespace sim
