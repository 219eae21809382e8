// The readable timeline: every change the cab shows, in words, with time, position and speed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/sim/account.h"
#include "tools/sim/run.h"

namespace sim {

// The lamps and sounds that changed between two cab states, in words, one entry per change.
std::vector<std::string> describe_changes(const cab_state& before, const cab_state& after);

// The monitor as a driver reads it: "5/14 00:12 | 12.3 km | train 246200 | max 100 | ...".
std::string monitor_line(const cab_state& cab);

// An event in words: "driver: power 3", "beacon 50 (pattern check) signal 0, ...".
std::string describe_event(const action& a, std::int32_t emergency);

// One printed line and the frame it belongs to (-1: the heading, before the first frame).
struct timeline_line {
    std::int64_t frame;
    std::string text;
};

class timeline_printer : public run_observer {
  public:
    // Tells `account` (an observer before this one) between the cab's changes. Prints to `out`
    // when it is not null; `lines`, when given, receives the same lines (the replay page shows
    // them). The debug channel's lines are shown only when `show_debug`.
    timeline_printer(std::FILE* out, const run_account& account,
                     std::vector<timeline_line>* lines = nullptr, bool show_debug = true)
        : out_(out), lines_(lines), account_(account), show_debug_(show_debug) {}

    // A line for the heading, after the run's facts.
    void set_heading_note(std::string note) { heading_note_ = std::move(note); }

    void on_start(const scenario& s, std::int32_t plugin_version) override;
    void on_event(const moment& at, const event& e, const scenario& s) override;
    void on_frame(const frame_record& f, const scenario& s) override;
    void on_debug(const moment& at, const std::string& line) override;
    void on_finish(const run_summary& summary, const scenario& s) override;

  private:
    void line(const moment& at, const char* mark, const std::string& text);
    void emit(std::int64_t frame, const std::string& text);
    // The account's entries not printed yet.
    void tell_account();

    std::FILE* out_;
    std::vector<timeline_line>* lines_;
    const run_account& account_;
    bool show_debug_;
    std::size_t told_ = 0;
    std::string heading_note_;
    cab_state last_ = cab_state::resting();
    std::string last_monitor_;
};

} // namespace sim
