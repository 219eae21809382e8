// The journey as a picture: speed, power and brake against time or position, events marked.
#pragma once

#include <string>
#include <vector>

#include "tools/sim/account.h"
#include "tools/sim/run.h"

namespace sim {

enum class plot_axis { time, position };

class plot_collector : public run_observer {
  public:
    // Marks what `account` (an observer before this one) tells, with the driver's actions.
    explicit plot_collector(const run_account& account) : account_(account) {}
    void on_start(const scenario& s, std::int32_t) override;
    void on_event(const moment& at, const event& e, const scenario&) override;
    void on_frame(const frame_record& f, const scenario&) override;
    void on_finish(const run_summary&, const scenario&) override { take_account(); }

    // The gnuplot program that draws the collected journey into `png_path`.
    std::string gnuplot_script(const std::string& png_path, plot_axis axis) const;

  private:
    struct sample {
        double seconds, location, speed;
        std::int32_t power, brake;
    };
    struct mark {
        double seconds, location;
        std::string label;
        int hidden; // labels of marks merged into this one that its label has no room for
        bool brake; // a device brake began here
    };
    struct label_at {
        double x; // along the plot's axis
        std::string text;
        int hidden;
        bool brake;
    };
    // The marks along the chosen axis, close ones sharing a label.
    std::vector<label_at> merged_marks(bool by_time) const;

    std::string title_;
    void add_mark(mark m);
    void take_account();

    const run_account& account_;
    std::size_t told_ = 0;
    std::vector<sample> samples_;
    std::vector<mark> marks_;
    double spacing_s_ = 0.0; // between samples that show no step
};

// Renders `script` with gnuplot; false with `error` set (one line) when gnuplot is missing or
// fails.
bool render_with_gnuplot(const std::string& script, std::string& error);

} // namespace sim
