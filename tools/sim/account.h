// One account of a run: what happened and why, worked out once from the events the host
// delivered and the outputs the plug-in returned. The timeline, CSV, plot and page tell it.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/sim/run.h"

namespace sim {

// What an entry of the account is about; the chart marks each kind in its own colour.
enum class told {
    beacon,    // a beacon passed, with what it means
    aspect,    // the signal ahead changed
    alarm,     // the protection's alarm rings, is confirmed, or its bell stops
    check,     // a pattern, point or alarm speed check with its figures and verdict
    vigilance, // the vigilance warning begins or ends
    doors,     // traction withheld by the open doors, or passed on again
    handles,   // the host gets the driver's handles again, or something else
    brake,     // a device brake begins, with its cause
    script,    // the pattern script failed
    fail_safe, // the plug-in answers with its fail-safe outputs
    stop,      // where the train stands against a stop point announced to it
};

// The kind's word on the page and in the chart's legend.
const char* told_name(told kind);

struct account_entry {
    moment at;
    told kind;
    std::string text;  // the timeline's words
    std::string label; // the chart's, short; empty: no mark
};

// A device brake the host got, from its first frame to its last (-1 while it lasts).
struct brake_span {
    std::int64_t from = 0, to = -1;
    std::string device; // "protection", "vigilance", "protection or vigilance", "fail-safe"
    std::string cause;  // "trip at stop signal", "pattern 82.2 ≥ 64.6", ... joined by " and "
};

// A pattern check as the script beside the library answers it: the figures, or the failure.
struct pattern_answer {
    bool evaluated = false;
    float brake_offset = 0.0f;
    float permitted = 0.0f;
    std::string failure; // plain words: "lookup_brake_pattern is missing"
};
using pattern_evaluator = std::function<pattern_answer(double distance)>;

// A pattern check made, for the page's curves.
struct pattern_made {
    std::int64_t frame;
    double distance;
    float speed;
    pattern_answer answer;
};

// One cause of a brake, a demand for it, in the guide's words, with the device it names.
struct demand {
    std::string text;
    enum class by { protection, vigilance, script } from = by::protection;
};

class run_account : public run_observer {
  public:
    // `evaluate` gives a pattern check's figures; without it the checks are told without them.
    explicit run_account(pattern_evaluator evaluate = {}) : evaluate_(std::move(evaluate)) {}

    void on_start(const scenario& s, std::int32_t plugin_version) override;
    void on_event(const moment& at, const event& e, const scenario& s) override;
    void on_frame(const frame_record& f, const scenario& s) override;
    void on_debug(const moment& at, const std::string& line) override;
    void on_finish(const run_summary& summary, const scenario& s) override;

    // Everything told so far, in order; observers keep how far they have read.
    const std::vector<account_entry>& entries() const { return entries_; }
    const std::vector<brake_span>& brakes() const { return brakes_; }
    // Frames on which the open doors withheld the driver's traction, as spans like the brakes'.
    const std::vector<brake_span>& interlocks() const { return interlocks_; }
    const std::vector<pattern_made>& pattern_checks() const { return patterns_; }
    // The cause of the device brake the host got on the frame last seen; empty when none.
    const std::string& brake_cause() const { return cause_; }
    // Brakes whose cause was a failure of the pattern script.
    std::int64_t script_failures() const { return script_failures_; }

  private:
    enum class gate { follows, withheld, brake, fail_safe, other };
    struct pending_check {
        bool due = false;
        double distance = 0.0;
        float speed = 0.0f;
        std::int32_t limit = 0;
    };

    void tell(const moment& at, told kind, std::string text, std::string label = {});
    // The causes of a device brake that begins on this frame, from this frame's events and
    // what the cab showed before it; none when the outputs tell nothing.
    std::vector<demand> causes_now(const frame_record& f, bool protection, bool vigilance) const;
    // What this frame's events and the debug channel demand of the protection.
    std::vector<demand> demands_now() const;
    // Whether demands_now() can find any: most frames have none.
    bool demands_pending() const {
        return !script_error_.empty() || trip_ || pattern_.due || point_.due;
    }
    // What the host's handles show against the driver's on this frame.
    gate gate_of(const frame_record& f, bool failed) const;
    // A frame that, told in full, would tell nothing and change nothing but the motion: most
    // frames of a run. Time and position still count on it (the signal passed, the stop).
    bool repeats(gate now, bool failed, bool bell, bool red, bool vigilance, bool protection) const;
    // A frame told in full: its events, checks, brakes, warnings and the stop.
    void tell_frame(const frame_record& f, gate now, bool failed, bool bell, bool red,
                    bool vigilance, bool protection);
    void tell_checks(const frame_record& f);
    void tell_gate(const frame_record& f, gate now, bool protection, bool vigilance);
    void tell_stop(const frame_record& f);

    pattern_evaluator evaluate_;
    std::int32_t emergency_ = 0, frame_ms_ = 1;
    std::vector<account_entry> entries_;
    std::vector<brake_span> brakes_, interlocks_;
    std::vector<pattern_made> patterns_;
    std::string cause_;
    std::int64_t script_failures_ = 0;

    // This frame's events, told on the frame they act on.
    bool trip_ = false, alarm_ = false, confirm_ = false;
    pending_check pattern_, point_, alarm_check_;
    pattern_answer answer_;
    bool answered_ = false;     // answer_ was given on this frame
    bool eventful_ = false;     // an event or a script error came before this frame
    std::string script_error_;  // the plug-in's own text on its debug channel, this frame
    std::string failed_script_; // why the fail-safe outputs began, where a script failure says

    // What the cab showed before this frame.
    gate gate_ = gate::follows;
    std::string gate_text_;
    std::int64_t alarm_from_ = -1;     // the frame the alarm began to ring
    bool confirmed_ = false;           // the confirm key since it began
    std::int64_t vigilance_from_ = -1; // the frame the vigilance lamp came on
    bool bell_ = false, vigilance_lamp_ = false, failing_ = false, moving_ = false;
    // Protection demands not yet seen as a brake (the driver's own emergency brake hid it),
    // or the causes of a latched brake: told again when the brake shows, while the red lamp
    // stays on.
    std::vector<demand> latched_;
    // The signal a pattern check announced, and the stop point short of it.
    double signal_at_ = NAN, stop_point_at_ = NAN;
    bool passed_signal_ = false;
};

} // namespace sim
