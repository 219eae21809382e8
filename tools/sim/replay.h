// The replay page: a whole run as one self-contained HTML file that replays the cab in a browser.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/run.h"
#include "tools/sim/timeline.h"

namespace sim {

// `text` as a JavaScript string literal that cannot end the script element it sits in.
void append_quoted(std::string& out, std::string_view text);

// Text kept in pieces of at most a megabyte: it grows without copying what it holds, and goes
// out piece by piece.
class chunked_text {
  public:
    void append(std::string_view text);
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Back to the first `size` characters.
    void truncate(std::size_t size);
    bool write(std::FILE* out) const;

  private:
    static constexpr std::size_t piece_bytes = 1u << 20;
    std::vector<std::string> pieces_;
    std::size_t size_ = 0;
};

// Collects a run as the page needs it: every output and driver's handle as its changes, the
// position and speed frame by frame, the timeline's lines and the protection's checks. The data
// is kept as the page's text, and stops growing at `data_ceiling_bytes`: the page then ends at the
// last frame that fitted, and its timeline says so.
class replay_recorder : public run_observer {
  public:
    static constexpr std::size_t data_ceiling_bytes = 64u << 20;

    // Shows what `account` (an observer before this one) tells; the debug channel's lines join
    // its timeline only when `show_debug`.
    explicit replay_recorder(const run_account& account, bool show_debug = false)
        : account_(account), timeline_{nullptr, account, &lines_, show_debug} {}

    void on_start(const scenario& s, std::int32_t plugin_version) override;
    void on_event(const moment& at, const event& e, const scenario& s) override;
    void on_frame(const frame_record& f, const scenario& s) override;
    void on_debug(const moment& at, const std::string& line) override;
    void on_finish(const run_summary& summary, const scenario& s) override;

    // Writes the page: the template built into talvik-sim with the run's data as one JSON
    // object. The permitted-speed curves come from the pattern script at `script_path` (the one
    // beside the run's library), evaluated with the script host. False when writing fails.
    bool write_page(std::FILE* out, const std::string& script_path) const;

    // True when the page holds less than the whole run (the data reached its ceiling).
    bool stopped() const { return stopped_; }
    // Frames the page holds, and frames of the whole run.
    std::int64_t frames() const { return frames_; }
    std::int64_t run_frames() const { return run_frames_; }

  private:
    struct channel {
        std::string name;
        chunked_text changes; // "frame,value,frame,value,..."
        std::int32_t last = 0;
        bool any = false;
    };
    struct pattern_check {
        std::int64_t frame;
        double distance; // as the plug-in holds it: the beacon's float, widened
        float speed;     // the speed the check compared, as the host reported it
    };
    struct speed_check {
        std::int64_t frame;
        std::int32_t type;
        std::int32_t speed;
    };

    // Whether `bytes` more fit under the ceiling; counts them when they do.
    bool room(std::size_t bytes);
    // The timeline's new lines into the data; false, with none taken, when they do not fit.
    bool take_lines();
    // A whole frame is in: what follows it can be taken back.
    void keep();
    // The data is full: back to the last whole frame, and a line that says so.
    void stop();
    bool write_data(std::FILE* out, const std::string& script_path) const;

    std::string name_, source_;
    std::int32_t plugin_version_ = 0;
    std::int32_t brake_notches_ = 0, emergency_ = 0, ats_notch_ = 0, power_notches_ = 0;
    std::int32_t frame_ms_ = 0, start_ms_ = 0;
    std::int64_t frames_ = 0, failed_frames_ = 0;
    std::int64_t run_frames_ = 0;
    std::size_t data_bytes_ = 0;
    bool stopped_ = false;
    struct {
        std::size_t bytes = 0, rows = 0, pattern_checks = 0, speed_checks = 0;
    } kept_;
    // Frame by frame as differences from the frame before: small numbers, a short page.
    // A value frame by frame as the differences of its differences, mostly one letter each, a
    // run of equal ones as one letter and its length: standing, cruising and steady braking
    // cost a few characters a stretch.
    struct second_differences {
        chunked_text text;
        std::int64_t last = 0, last_delta = 0;
        std::int64_t run_value = 0, run_count = 0; // not yet in `text`
        void add(std::int64_t value);
        // Characters `value` may add, at most.
        std::size_t cost(std::int64_t value) const;
        // The run not yet in `text`, as it goes after it.
        std::string pending() const;
    };
    second_differences location_mm_; // thousandths of a metre, as the CSV rounds them
    second_differences speed_;       // thousandths of the speed unit
    std::vector<channel> channels_;
    std::vector<pattern_check> pattern_checks_;
    std::vector<speed_check> speed_checks_;
    const run_account& account_;
    std::size_t marks_seen_ = 0;       // the account's entries counted against the ceiling
    chunked_text timeline_rows_;       // the page's timeline, as data
    std::vector<timeline_line> lines_; // the timeline's newest lines, not yet in the data
    timeline_printer timeline_;
};

// The page template (page/page.html with its style and script inlined), generated at build time.
std::string_view replay_page_template();

} // namespace sim
