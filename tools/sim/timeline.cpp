// Puts the cab's outputs into words, the way a driver would report them.
#include "tools/sim/timeline.h"

#include <cinttypes>

namespace sim {

namespace {

namespace cab = ats::cab;
namespace panel = ats::cab::panel;
using ats::cab::shows;
using ats::cab::sound_cmd::playing;
using ats::cab::sound_cmd::silent;

std::string on_off(const char* name, std::int32_t value) {
    if (value == 0) return std::string(name) + " off";
    if (value == 1) return std::string(name) + " on";
    return std::string(name) + " shows " + std::to_string(value);
}

std::string continuous(const char* name, std::int32_t value) {
    if (value == playing) return std::string(name) + " on";
    if (value == silent) return std::string(name) + " off";
    return std::string(name) + " gets " + std::to_string(value);
}

std::string digit(std::int32_t d) {
    if (d == cab::blank_digit) return " ";
    if (d >= 0 && d <= 9) return std::string(1, static_cast<char>('0' + d));
    return "[" + std::to_string(d) + "]";
}

std::string two_digits(std::int32_t v) {
    if (v >= 0 && v <= 9) return "0" + std::to_string(v);
    return std::to_string(v);
}

// The parts of the monitor that change rarely; the clock and position change all the time.
std::string monitor_key(const cab_state& c) {
    std::string key;
    for (std::int32_t i :
         {panel::month, panel::day, panel::traction_state, panel::train_number,
          panel::train_number + 1, panel::train_number + 2, panel::train_number + 3,
          panel::train_number + 4, panel::train_number + 5, panel::max_speed_hundreds,
          panel::max_speed_tens, panel::max_speed_units}) {
        key += std::to_string(c.panel_at(i)) + ",";
    }
    return key;
}

std::string format_number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

} // namespace

std::vector<std::string> describe_changes(const cab_state& before, const cab_state& after) {
    std::vector<std::string> changes;
    // The stop-station lamp and sound are reported together, last.
    for (const auto& lamp : cab::panel_layout) {
        if (lamp.kind != shows::lamp || lamp.index == panel::stop_station_lamp) continue;
        const std::int32_t v = after.panel_at(lamp.index);
        if (v != before.panel_at(lamp.index)) changes.push_back(on_off(lamp.name, v));
    }
    for (const auto& s : cab::sound_layout) {
        if (s.kind != shows::continuous_sound || s.index == cab::sound::stop_station) continue;
        const std::int32_t v = after.sound_at(s.index);
        if (v != before.sound_at(s.index)) changes.push_back(continuous(s.name, v));
    }
    for (const auto& s : cab::sound_layout) {
        if (s.kind != shows::one_shot_sound) continue;
        const std::int32_t v = after.sound_at(s.index);
        if (v == cab::sound_cmd::start_once) {
            changes.push_back(std::string(s.name) + " (once)");
        } else if (v != cab::sound_cmd::unchanged && v != before.sound_at(s.index)) {
            changes.push_back(std::string(s.name) + " gets " + std::to_string(v));
        }
    }
    // The lamp blinks while the sound is on: report the sound, not every blink.
    const std::int32_t station_sound = after.sound_at(cab::sound::stop_station);
    const std::int32_t station_lamp = after.panel_at(panel::stop_station_lamp);
    if (station_sound != before.sound_at(cab::sound::stop_station)) {
        if (station_sound == playing) {
            changes.push_back("stop-station indication blinking, stop-station sound on");
        } else if (station_sound == silent) {
            changes.push_back("stop-station indication and sound off");
        } else {
            changes.push_back("stop-station sound gets " + std::to_string(station_sound));
        }
    } else if (station_sound == silent &&
               station_lamp != before.panel_at(panel::stop_station_lamp)) {
        changes.push_back(on_off("stop-station lamp", station_lamp));
    }
    return changes;
}

std::string monitor_line(const cab_state& c) {
    std::string line = "monitor: " + std::to_string(c.panel_at(panel::month)) + "/" +
                       std::to_string(c.panel_at(panel::day)) + " " +
                       two_digits(c.panel_at(panel::minutes)) + ":" +
                       two_digits(c.panel_at(panel::seconds)) + " | ";
    line += digit(c.panel_at(panel::position_hundreds)) + digit(c.panel_at(panel::position_tens)) +
            digit(c.panel_at(panel::position_units)) + "." +
            digit(c.panel_at(panel::position_tenths)) + " km | train ";
    for (std::int32_t i = 0; i < panel::train_number_digits; ++i)
        line += digit(c.panel_at(panel::train_number + i));
    line += " | max " + digit(c.panel_at(panel::max_speed_hundreds)) +
            digit(c.panel_at(panel::max_speed_tens)) + digit(c.panel_at(panel::max_speed_units));
    const char* traction = cab::traction_state_meaning(c.panel_at(panel::traction_state));
    line += " | traction: " + std::string(traction != nullptr ? traction : "?");
    return line;
}

std::string describe_event(const action& a, std::int32_t emergency) {
    switch (a.kind) {
    case action_kind::power: return "driver: power " + std::to_string(a.value);
    case action_kind::brake:
        return "driver: brake " + std::to_string(a.value) +
               (a.value == emergency ? " (emergency)" : "");
    case action_kind::reverser: {
        const char* words = a.value == 1    ? " (forward)"
                            : a.value == 0  ? " (neutral)"
                            : a.value == -1 ? " (backward)"
                                            : "";
        return "driver: reverser " + std::to_string(a.value) + words;
    }
    case action_kind::key_down:
    case action_kind::key_up: {
        const char* name = cab::key_meaning_of(a.value);
        return "driver: key " + std::to_string(a.value) +
               (name != nullptr ? " (" + std::string(name) + ")" : "") +
               (a.kind == action_kind::key_down ? " down" : " up");
    }
    case action_kind::horn: return "driver: horn";
    case action_kind::doors_open: return "doors open";
    case action_kind::doors_close: return "doors close";
    case action_kind::signal: return "signal aspect " + std::to_string(a.value);
    case action_kind::beacon: {
        const char* meaning = cab::beacon_meaning_of(a.beacon.type);
        return "beacon " + std::to_string(a.beacon.type) +
               (meaning != nullptr ? " (" + std::string(meaning) + ")" : "") + ": signal " +
               std::to_string(a.beacon.signal) + ", distance " + format_number(a.beacon.distance) +
               ", optional " + std::to_string(a.beacon.optional);
    }
    case action_kind::note: return a.text;
    }
    return {};
}

void timeline_printer::line(const moment& at, const char* mark, const std::string& text) {
    char head[1024]; // room for any double a scenario can give
    std::snprintf(head, sizeof head, "%9.2f s %9.1f m %6.1f km/h  %s ",
                  static_cast<double>(at.elapsed_ms) / 1000.0, at.location, at.speed, mark);
    emit(at.frame, head + text);
}

void timeline_printer::emit(std::int64_t frame, const std::string& text) {
    if (out_ != nullptr) std::fprintf(out_, "%s\n", text.c_str());
    if (lines_ != nullptr) lines_->push_back({frame, text});
}

void timeline_printer::tell_account() {
    const std::vector<account_entry>& entries = account_.entries();
    for (; told_ < entries.size(); ++told_) {
        const account_entry& e = entries[told_];
        if (e.text.empty()) continue; // for the chart only
        // A brake, a script failure and a failed frame stand out alike.
        const bool alarming =
            e.kind == told::brake || e.kind == told::script || e.kind == told::fail_safe;
        line(e.at, alarming ? "!" : e.kind == told::check ? "*" : " ", e.text);
    }
}

void timeline_printer::on_start(const scenario& s, std::int32_t plugin_version) {
    told_ = account_.entries().size();
    last_ = cab_state::resting();
    last_monitor_.clear();
    emit(-1, "== " + s.name + " (" + s.source + ")");
    char text[160];
    std::snprintf(text, sizeof text,
                  "   plug-in version 0x%" PRIx32 "; brake notches %" PRId32 " (emergency %" PRId32
                  "), confirm from notch %" PRId32 "; frame %" PRId32 " ms",
                  static_cast<std::uint32_t>(plugin_version), s.spec.brake_notches,
                  s.emergency_brake(), s.spec.ats_notch, s.frame_ms);
    emit(-1, text);
    if (!heading_note_.empty()) emit(-1, "   " + heading_note_);
    std::snprintf(text, sizeof text, "%11s %11s %11s", "time", "position", "speed");
    emit(-1, text);
}

void timeline_printer::on_event(const moment& at, const event& e, const scenario& s) {
    line(at, e.what.kind == action_kind::note ? "#" : ">",
         describe_event(e.what, s.emergency_brake()));
    tell_account();
}

void timeline_printer::on_frame(const frame_record& f, const scenario&) {
    const cab_state& cab = f.cab;
    tell_account();
    // The fail-safe outputs are one state, not a list of lamps.
    if (is_fail_safe_frame(cab)) return;
    for (const std::string& change : describe_changes(last_, cab)) {
        line(f.at, " ", change);
    }
    const std::string key = monitor_key(cab);
    if (key != last_monitor_) {
        line(f.at, " ", monitor_line(cab));
        last_monitor_ = key;
    }
    last_ = cab;
}

void timeline_printer::on_debug(const moment& at, const std::string& text) {
    if (show_debug_) line(at, "~", "debug: " + text);
}

void timeline_printer::on_finish(const run_summary& summary, const scenario& s) {
    tell_account();
    const char* why = "";
    if (summary.ended_by == run_end::limit) why = " (stopped at the one-hour limit)";
    if (summary.ended_by == run_end::stuck) {
        why = " (the train stands and no remaining event can happen)";
    }
    line(summary.end, "=", "end after " + std::to_string(summary.frames) + " frames" + why);
    for (const event* e : summary.never_happened) {
        emit(summary.end.frame, "   never happened: line " + std::to_string(e->line) + ": " +
                                    describe_event(e->what, s.emergency_brake()));
    }
    if (summary.failed_frames > 0) {
        emit(summary.end.frame, "   the plug-in failed " + std::to_string(summary.failed_frames) +
                                    " frame(s); --debug shows why");
    }
    if (account_.script_failures() > 0) {
        emit(summary.end.frame,
             "   the pattern script failed: " + std::to_string(account_.script_failures()) +
                 " brake(s) came from a script failure, not from the train");
    }
    if (out_ != nullptr) std::fflush(out_);
}

} // namespace sim
