// The replay page: a whole run as one self-contained HTML file that replays the cab in a browser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/run.h"
#include "tools/sim/timeline.h"

namespace sim {

// Collects a run as the page needs it: every output and driver's handle as its changes, the
// position and speed frame by frame, the timeline's lines and the protection's checks.
class replay_recorder : public run_observer {
  public:
    void on_start(const scenario& s, std::int32_t plugin_version) override;
    void on_event(const moment& at, const event& e, const scenario& s) override;
    void on_frame(const frame_record& f, const scenario& s) override;
    void on_debug(const moment& at, const std::string& line) override;
    void on_finish(const run_summary& summary, const scenario& s) override;

    // The run's data as one JSON object. The permitted-speed curves come from the pattern script
    // at `script_path` (the one beside the run's library), evaluated with the script host.
    std::string json(const std::string& script_path) const;

  private:
    struct channel {
        std::string name;
        std::vector<std::int64_t> changes; // frame, value, frame, value, ...
        void record(std::int64_t frame, std::int32_t value);
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
    struct brake_start {
        std::int64_t frame;
        const char* by;
    };

    std::string name_, source_;
    std::int32_t plugin_version_ = 0;
    std::int32_t brake_notches_ = 0, emergency_ = 0, ats_notch_ = 0, power_notches_ = 0;
    std::int32_t frame_ms_ = 0, start_ms_ = 0;
    std::int64_t frames_ = 0, failed_frames_ = 0;
    std::vector<std::int64_t> location_mm_; // thousandths of a metre, as the CSV rounds them
    std::vector<std::int64_t> speed_;       // thousandths of the speed unit
    std::vector<channel> channels_;
    std::vector<pattern_check> pattern_checks_;
    std::vector<speed_check> speed_checks_;
    std::vector<brake_start> brakes_;
    const char* braking_by_ = nullptr;
    std::vector<timeline_line> lines_;
    timeline_printer timeline_{nullptr, &lines_};
};

// The page: the template built into talvik-sim with `json` as its data.
std::string replay_page(const std::string& json);

// The page template (page/page.html with its style and script inlined), generated at build time.
std::string_view replay_page_template();

} // namespace sim
