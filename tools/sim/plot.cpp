// Draws the journey with gnuplot, fed through a pipe: no temporary files.
#include "tools/sim/plot.h"

#include <cstdio>

#include "tools/sim/sim_platform.h"

namespace sim {

namespace {

// Samples closer together than this add nothing to the picture.
constexpr double sample_spacing_s = 0.1;
// Far more than the picture's 1400 pixels can show: past them every other one goes (samples
// twice as far apart from then on; marks two by two into one), so that a day's run or a
// million events keep the plot's memory bounded.
constexpr std::size_t max_samples = 200000;
constexpr std::size_t max_marks = 20000;
// Longer labels would run out of the picture.
constexpr std::size_t longest_label = 60;

// `label` (with the labels it stands for unshown) added to a label shared by close marks: what
// does not fit is counted, and the plot says how many more there are.
void join_label(std::string& text, int& hidden, const std::string& label, int label_hidden) {
    hidden += label_hidden;
    if (text.find(label) != std::string::npos) return; // the same words are there already
    if (text.size() + label.size() + 2 > longest_label) {
        ++hidden;
        return;
    }
    text += ", " + label;
}

std::string shown(const std::string& text, int hidden) {
    return hidden == 0 ? text : text + " +" + std::to_string(hidden) + " more";
}

std::string quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

// The driver's actions; beacons and signals come with their meaning from the account.
std::string mark_label(const action& a) {
    switch (a.kind) {
    case action_kind::key_down: {
        const char* name = ats::cab::key_meaning_of(a.value);
        return name != nullptr ? std::string(name) : "key " + std::to_string(a.value);
    }
    case action_kind::horn: return "horn";
    case action_kind::doors_open: return "doors open";
    case action_kind::doors_close: return "doors close";
    default: return {};
    }
}

} // namespace

void plot_collector::on_start(const scenario& s, std::int32_t) {
    title_ = s.name;
    samples_.clear();
    marks_.clear();
    told_ = account_.entries().size();
    spacing_s_ = sample_spacing_s;
}

void plot_collector::add_mark(mark m) {
    // Marks of one moment share a label from the start.
    if (!marks_.empty() && marks_.back().seconds == m.seconds &&
        marks_.back().location == m.location) {
        mark& shared = marks_.back();
        // A brake's cause leads: it is what the plot is read for.
        if (m.brake && !shared.brake) {
            std::swap(shared.label, m.label);
            std::swap(shared.hidden, m.hidden);
        }
        join_label(shared.label, shared.hidden, m.label, m.hidden);
        marks_.back().brake = marks_.back().brake || m.brake;
        return;
    }
    if (marks_.size() == max_marks) {
        for (std::size_t i = 0; i < max_marks / 2; ++i) {
            marks_[i] = std::move(marks_[2 * i]);
            join_label(marks_[i].label, marks_[i].hidden, marks_[2 * i + 1].label,
                       marks_[2 * i + 1].hidden);
            marks_[i].brake = marks_[i].brake || marks_[2 * i + 1].brake;
        }
        marks_.resize(max_marks / 2);
    }
    marks_.push_back(std::move(m));
}

void plot_collector::take_account() {
    const std::vector<account_entry>& entries = account_.entries();
    for (; told_ < entries.size(); ++told_) {
        const account_entry& e = entries[told_];
        if (e.label.empty()) continue;
        add_mark({static_cast<double>(e.at.elapsed_ms) / 1000.0, e.at.location, e.label, 0,
                  e.kind == told::brake || e.kind == told::fail_safe || e.kind == told::script});
    }
}

void plot_collector::on_event(const moment& at, const event& e, const scenario&) {
    take_account();
    std::string label = mark_label(e.what);
    if (!label.empty())
        add_mark({static_cast<double>(at.elapsed_ms) / 1000.0, at.location, label, 0, false});
}

void plot_collector::on_frame(const frame_record& f, const scenario&) {
    const double seconds = static_cast<double>(f.at.elapsed_ms) / 1000.0;
    const ats::handles& h = f.cab.acting;
    take_account();
    const bool step =
        !samples_.empty() && (samples_.back().power != h.power || samples_.back().brake != h.brake);
    if (samples_.empty() || step || seconds - samples_.back().seconds >= spacing_s_) {
        if (samples_.size() == max_samples) {
            for (std::size_t i = 0; i < max_samples / 2; ++i)
                samples_[i] = samples_[2 * i];
            samples_.resize(max_samples / 2);
            spacing_s_ *= 2;
        }
        samples_.push_back({seconds, f.at.location, f.at.speed, h.power, h.brake});
    }
}

std::vector<plot_collector::label_at> plot_collector::merged_marks(bool by_time) const {
    // Marks closer than this share one label, so their words do not print over each other.
    constexpr double closeness = 1.0 / 150.0;
    std::vector<label_at> merged;
    if (samples_.empty()) return merged;
    const double first = by_time ? samples_.front().seconds : samples_.front().location;
    const double last = by_time ? samples_.back().seconds : samples_.back().location;
    const double near = (last > first ? last - first : 1.0) * closeness;
    for (const mark& m : marks_) {
        const double x = by_time ? m.seconds : m.location;
        if (!merged.empty() && x - merged.back().x < near) {
            label_at& shared = merged.back();
            if (m.brake && !shared.brake) {
                label_at joined{shared.x, m.label, m.hidden, true};
                join_label(joined.text, joined.hidden, shared.text, shared.hidden);
                shared = joined;
                continue;
            }
            join_label(shared.text, shared.hidden, m.label, m.hidden);
            merged.back().brake = merged.back().brake || m.brake;
            continue;
        }
        merged.push_back({x, m.label, m.hidden, m.brake});
    }
    return merged;
}

std::string plot_collector::gnuplot_script(const std::string& png_path, plot_axis axis) const {
    const bool by_time = axis == plot_axis::time;
    std::string s;
    char row[512];
    s += "$journey << EOD\n";
    for (const sample& p : samples_) {
        std::snprintf(row, sizeof row, "%.3f %.2f %d %d\n", by_time ? p.seconds : p.location,
                      p.speed, p.power, p.brake);
        s += row;
    }
    s += "EOD\n";
    s += "set terminal pngcairo size 1400,900 font ',10'\n";
    s += "set output " + quoted(png_path) + "\n";
    s += "set multiplot layout 2,1 title " + quoted(title_) + "\n";
    s += "set grid\nset key top right opaque\nset lmargin 10\nset rmargin 4\n";
    s += "set autoscale xfixmin\nset autoscale xfixmax\n";
    for (const label_at& m : merged_marks(by_time)) {
        const char* colour = m.brake ? "#cc0000" : "#888888";
        std::snprintf(row, sizeof row,
                      "set arrow from %.3f, graph 0 to %.3f, graph 1 nohead lc rgb '%s' dt 2\n",
                      m.x, m.x, colour);
        s += row;
        std::snprintf(row, sizeof row, "set label %s at %.3f, graph 0.98 rotate by 90 right ",
                      quoted(shown(m.text, m.hidden)).c_str(), m.x);
        s += row;
        s += std::string("font ',8' tc rgb '") + colour + "'\n";
    }
    s += "set ylabel 'speed (km/h)'\nset yrange [0:*]\n";
    s += "plot $journey using 1:2 with lines lw 2 lc rgb '#1f5fbf' title 'speed'\n";
    s += "unset label\nset ylabel 'notch'\nset yrange [-0.5:*]\n";
    s += by_time ? "set xlabel 'time (s)'\n" : "set xlabel 'position (m)'\n";
    s += "plot $journey using 1:3 with steps lw 2 lc rgb '#2a9d2a' title 'power', "
         "$journey using 1:4 with steps lw 2 lc rgb '#cc0000' title 'brake'\n";
    s += "unset multiplot\n";
    return s;
}

bool render_with_gnuplot(const std::string& script, std::string& error) {
    const std::string gnuplot = os::find_program("gnuplot");
    if (gnuplot.empty()) {
        error = "gnuplot is not installed (tools/setup.sh plot installs it): no plot written";
        return false;
    }
    std::FILE* pipe = os::open_pipe_to(os::quote_for_shell(gnuplot));
    if (pipe == nullptr) {
        error = "cannot start gnuplot: no plot written";
        return false;
    }
    const bool written = std::fwrite(script.data(), 1, script.size(), pipe) == script.size();
    const int status = os::close_pipe(pipe);
    if (!written || status != 0) {
        error = "gnuplot failed (exit status " + std::to_string(status) + "): no plot written";
        return false;
    }
    return true;
}

} // namespace sim
