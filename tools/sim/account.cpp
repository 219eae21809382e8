// Works out once, frame by frame, what the cab did and why, in the author's guide's words.
#include "tools/sim/account.h"

#include <cstdio>

#include "devices/eb.h"
#include "protection/alarm.h"

namespace sim {

namespace {

namespace cab = ats::cab;
namespace panel = ats::cab::panel;
namespace beacon = ats::cab::beacon;

std::string one_decimal(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

// The protection compares the host's float speed with the check's float limit.
bool at_or_above(float speed, float limit) { return limit <= speed; }

std::string joined(const std::vector<demand>& causes) {
    std::string text;
    for (const demand& c : causes)
        text += (text.empty() ? "" : " and ") + c.text;
    return text;
}

bool holds(const std::vector<demand>& causes, const demand& cause) {
    for (const demand& c : causes) {
        if (c.text == cause.text) return true;
    }
    return false;
}

void add_once(std::vector<demand>& causes, const demand& cause) {
    if (!holds(causes, cause)) causes.push_back(cause);
}

using by = demand::by;

std::string handles_of(const ats::handles& h) {
    return "power " + std::to_string(h.power) + ", brake " + std::to_string(h.brake) +
           ", reverser " + std::to_string(h.reverser);
}

const char script_error_mark[] = "talvik > script error: ";

} // namespace

const char* told_name(told kind) {
    switch (kind) {
    case told::beacon: return "beacon";
    case told::aspect: return "signal";
    case told::alarm: return "alarm";
    case told::check: return "check";
    case told::vigilance: return "vigilance";
    case told::doors: return "doors";
    case told::handles: return "handles";
    case told::brake: return "brake";
    case told::script: return "script";
    case told::fail_safe: return "fail-safe";
    case told::stop: return "stop";
    }
    return "";
}

void run_account::tell(const moment& at, told kind, std::string text, std::string label) {
    entries_.push_back({at, kind, std::move(text), std::move(label)});
}

void run_account::on_start(const scenario& s, std::int32_t) {
    emergency_ = s.emergency_brake();
    frame_ms_ = s.frame_ms > 0 ? s.frame_ms : 1;
}

void run_account::on_event(const moment& at, const event& e, const scenario&) {
    eventful_ = true;
    const action& a = e.what;
    if (a.kind == action_kind::key_down && a.value == cab::key::confirm) confirm_ = true;
    if (a.kind == action_kind::signal) {
        // A signal cleared from stop no longer holds the train.
        if (a.value != 0) signal_at_ = stop_point_at_ = NAN;
        tell(at, told::aspect, {},
             a.value == 0 ? "signal at stop" : "signal " + std::to_string(a.value));
        return;
    }
    if (a.kind != action_kind::beacon) return;
    const ats::beacon_data& b = a.beacon;
    const char* meaning = cab::beacon_meaning_of(b.type);
    const std::string what = "beacon " + std::to_string(b.type) +
                             (meaning != nullptr ? " (" + std::string(meaning) + ")" : "");
    const bool at_stop = b.signal == 0;
    switch (b.type) {
    case beacon::alarm:
    case beacon::trip:
    case beacon::pattern_check: {
        if (!at_stop) {
            tell(at, told::beacon,
                 what + ": signal at aspect " + std::to_string(b.signal) + ", not stop: no action",
                 std::string(meaning) + " (aspect " + std::to_string(b.signal) + ")");
            break;
        }
        if (b.type == beacon::alarm) {
            alarm_ = true;
            tell(at, told::beacon, what + " at stop: the alarm", "alarm beacon");
        } else if (b.type == beacon::trip) {
            trip_ = true;
            tell(at, told::beacon, what + " at stop: the protection trips", "trip beacon");
        } else {
            // A second beacon before the frame replaces the first: one check runs.
            pattern_ = {true, static_cast<double>(b.distance), static_cast<float>(at.speed), 0};
            // Evaluated on the frame: of several beacons before it, only the last one counts.
            tell(at, told::beacon,
                 what + " at stop, " + one_decimal(pattern_.distance) +
                     " m to the signal: checked once, on this frame (the first after the beacon)",
                 {});
        }
        break;
    }
    case beacon::braking_speed_check:
    case beacon::alarm_speed_check: {
        const bool braking = b.type == beacon::braking_speed_check;
        if (b.optional < 0) {
            // It takes the place of a check set before it on this frame, as in the protection.
            (braking ? point_ : alarm_check_).due = false;
            tell(at, told::beacon, what + ": no limit (optional below 0): no check", {});
            break;
        }
        // The check's own line, on this frame, says the rest.
        (braking ? point_ : alarm_check_) = {true, 0.0, static_cast<float>(at.speed), b.optional};
        break;
    }
    default:
        // The event's own line says it all; the chart still marks it.
        tell(at, told::beacon, meaning == nullptr ? what + ": nothing in the cab answers it" : "",
             meaning != nullptr ? std::string(meaning) + " " + std::to_string(b.optional)
                                : "beacon " + std::to_string(b.type));
        break;
    }
}

void run_account::on_debug(const moment&, const std::string& line) {
    const std::size_t at = line.find(script_error_mark);
    if (at == std::string::npos) return;
    script_error_ = line.substr(at + sizeof script_error_mark - 1);
    eventful_ = true;
}

std::vector<demand> run_account::demands_now() const {
    std::vector<demand> causes;
    if (!script_error_.empty() || (pattern_.due && evaluate_ && !answer_.evaluated)) {
        const std::string plain =
            answer_.failure.empty() ? std::string("the pattern script") : answer_.failure;
        add_once(causes, {"script failed: " + plain, by::script});
    }
    if (trip_) add_once(causes, {"trip at stop signal"});
    if (pattern_.due && answer_.evaluated && at_or_above(pattern_.speed, answer_.permitted)) {
        add_once(causes, {"pattern " + one_decimal(pattern_.speed) + " \u2265 " +
                          one_decimal(answer_.permitted)});
    }
    if (point_.due && at_or_above(point_.speed, static_cast<float>(point_.limit))) {
        add_once(causes, {"point check " + one_decimal(point_.speed) + " \u2265 " +
                          std::to_string(point_.limit)});
    }
    return causes;
}

std::vector<demand> run_account::causes_now(const frame_record& f, bool protection,
                                            bool vigilance) const {
    const std::int64_t k = f.at.frame;
    std::vector<demand> causes;
    if (protection) {
        causes = demands_now();
        // The alarm trips on the frame after its count, begun on its first frame, reaches the
        // timeout.
        if (alarm_from_ >= 0 && !confirmed_ &&
            (k - alarm_from_) * frame_ms_ >= ats::ats_s_alarm::confirm_timeout_ms) {
            add_once(causes, {"unconfirmed alarm"});
        }
        if (causes.empty()) causes = latched_;
    }
    // The vigilance device brakes once its warning has lasted its time; only it lights its lamp.
    if (vigilance &&
        (!protection ||
         (vigilance_from_ >= 0 && (k - vigilance_from_ + 1) * frame_ms_ >= ats::eb::braking_ms))) {
        causes.push_back(
            {"vigilance: no action for " + std::to_string(ats::eb::warning_ms / 1000) + " s",
             by::vigilance});
    }
    return causes;
}

void run_account::tell_checks(const frame_record& f) {
    const moment& at = f.at;
    if (pattern_.due) {
        const std::string figures = one_decimal(pattern_.distance) + " m before the signal";
        if (!evaluate_) {
            tell(at, told::check, "pattern check at " + figures, "pattern check");
        } else if (!answer_.evaluated) {
            tell(at, told::check,
                 "pattern check at " + figures + ": the script failed (" + answer_.failure +
                     "): brakes",
                 "pattern check: script failed");
        } else {
            const bool over = at_or_above(pattern_.speed, answer_.permitted);
            const std::string compared = one_decimal(pattern_.speed) + (over ? " \u2265 " : " < ") +
                                         one_decimal(answer_.permitted);
            tell(at, told::check,
                 "pattern check at " + figures + ": " + compared + " km/h permitted, " +
                     (over ? "brakes" : "passes"),
                 "pattern " + compared + (over ? "" : " passes"));
        }
        signal_at_ = at.location + pattern_.distance;
        stop_point_at_ =
            answer_.evaluated ? signal_at_ - static_cast<double>(answer_.brake_offset) : NAN;
        passed_signal_ = false;
        patterns_.push_back({at.frame, pattern_.distance, pattern_.speed, answer_});
    }
    if (point_.due) {
        const bool over = at_or_above(point_.speed, static_cast<float>(point_.limit));
        const std::string compared =
            one_decimal(point_.speed) + (over ? " \u2265 " : " < ") + std::to_string(point_.limit);
        tell(at, told::check, "point check: " + compared + " km/h, " + (over ? "brakes" : "passes"),
             "point check " + compared + (over ? "" : " passes"));
    }
    if (alarm_check_.due) {
        const bool over = at_or_above(alarm_check_.speed, static_cast<float>(alarm_check_.limit));
        const std::string compared = one_decimal(alarm_check_.speed) + (over ? " \u2265 " : " < ") +
                                     std::to_string(alarm_check_.limit);
        tell(at, told::check,
             "alarm speed check: " + compared + " km/h, " + (over ? "the alarm rings" : "passes"),
             "alarm check " + compared + (over ? "" : " passes"));
        alarm_ = alarm_ || over;
    }
    if (!script_error_.empty() || (pattern_.due && evaluate_ && !answer_.evaluated)) {
        const std::string plain =
            !answer_.failure.empty() ? answer_.failure : std::string("the pattern script failed");
        tell(at, told::script,
             "script failed: " + plain +
                 (script_error_.empty() ? std::string()
                                        : " (the plug-in: \"" + script_error_ + "\")"),
             "script failed");
    }
}

void run_account::tell_gate(const frame_record& f, gate now, bool protection, bool vigilance) {
    // Handles that go on following the driver: nothing to tell, nothing to end (most frames).
    if (now == gate::follows && gate_ == gate::follows && gate_text_.empty()) return;
    const moment& at = f.at;
    const ats::handles& h = f.cab.acting;
    if (now == gate::brake && gate_ != gate::brake) {
        std::vector<demand> causes = causes_now(f, protection, vigilance);
        bool by_protection = false, by_vigilance = false;
        for (const demand& c : causes)
            (c.from == by::vigilance ? by_vigilance : by_protection) = true;
        std::string device = by_protection && by_vigilance ? "protection and vigilance"
                             : by_vigilance                ? "vigilance"
                             : protection                  ? "protection"
                                                           : "device";
        if (causes.empty()) {
            device = protection && vigilance ? "protection or vigilance" : device;
            causes.push_back({protection && vigilance
                                  ? "the outputs do not tell the protection from the vigilance"
                                  : "cause not shown by the outputs"});
        }
        for (const demand& c : causes)
            script_failures_ += c.from == by::script ? 1 : 0;
        cause_ = joined(causes);
        latched_ = causes;
        brakes_.push_back({at.frame, -1, device, cause_});
        tell(at, told::brake, "brake: " + cause_ + " (the host gets " + handles_of(h) + ")",
             "brake: " + cause_);
        gate_text_.clear();
    } else if (now == gate::brake && protection && demands_pending()) {
        // A further demand while the brake holds: told, and it joins the brake's cause.
        for (const demand& c : demands_now()) {
            if (holds(latched_, c)) continue;
            script_failures_ += c.from == by::script ? 1 : 0;
            latched_.push_back(c);
            cause_ += " and " + c.text;
            brakes_.back().cause = cause_;
            tell(at, told::brake, "the brake is also demanded: " + c.text, "also: " + c.text);
        }
    } else if (now != gate::brake) {
        if (gate_ == gate::brake) brakes_.back().to = at.frame - 1;
        if (now != gate::fail_safe) cause_.clear();
        std::string text;
        if (now == gate::withheld) {
            text = "traction withheld (doors open): power " + std::to_string(h.power) +
                   ", reverser " + std::to_string(h.reverser);
        } else if (now == gate::other) {
            text = "the host gets " + handles_of(h);
        } else if (now == gate::follows && gate_ != gate::follows && gate_ != gate::fail_safe) {
            text = "handles follow the driver again: " + handles_of(h);
        }
        if (!text.empty() && text != gate_text_) {
            tell(at, now == gate::withheld ? told::doors : told::handles, text,
                 now == gate::withheld ? "doors: traction withheld" : std::string());
        }
        gate_text_ = text;
    }
    if (now == gate::fail_safe && gate_ != gate::fail_safe) {
        cause_ = "fail-safe outputs";
        if (!failed_script_.empty()) cause_ += ": " + failed_script_;
        gate_text_.clear();
        brakes_.push_back({at.frame, -1, "fail-safe", cause_});
    }
    if (gate_ == gate::fail_safe && now != gate::fail_safe) brakes_.back().to = at.frame - 1;
    if (now == gate::withheld && gate_ != gate::withheld)
        interlocks_.push_back({at.frame, -1, "doors", "doors open: traction withheld"});
    if (gate_ == gate::withheld && now != gate::withheld) interlocks_.back().to = at.frame - 1;
}

void run_account::tell_stop(const frame_record& f) {
    const moment& at = f.at;
    if (std::isnan(signal_at_)) return;
    if (!passed_signal_ && at.location > signal_at_) {
        passed_signal_ = true;
        tell(at, told::stop,
             "passes the signal the pattern check announced at " + one_decimal(at.speed) + " km/h",
             "passes the signal");
    }
    if (moving_ && at.speed == 0.0) {
        const double margin = signal_at_ - at.location;
        std::string text = margin >= 0.0 ? "stands " + one_decimal(margin) + " m before the signal"
                                         : "ran " + one_decimal(-margin) + " m past the signal";
        text += " the pattern check announced";
        if (!std::isnan(stop_point_at_) && stop_point_at_ != signal_at_) {
            const double short_of = stop_point_at_ - at.location;
            text += short_of >= 0.0 ? " (" + one_decimal(short_of) + " m before its stop point)"
                                    : " (" + one_decimal(-short_of) + " m past its stop point)";
        }
        tell(at, told::stop, text,
             margin >= 0.0 ? "stands " + one_decimal(margin) + " m short"
                           : "ran " + one_decimal(-margin) + " m past");
        signal_at_ = stop_point_at_ = NAN;
    }
}

run_account::gate run_account::gate_of(const frame_record& f, bool failed) const {
    const ats::handles& h = f.cab.acting;
    const driver_state& d = f.driver;
    if (failed) return gate::fail_safe;
    if (h.brake == emergency_ && d.brake != emergency_) return gate::brake;
    if (!d.doors_closed && h.power == 0 && h.reverser == 0 && h.brake == d.brake &&
        (d.power != 0 || d.reverser != 0))
        return gate::withheld;
    if (h.power != d.power || h.brake != d.brake || h.reverser != d.reverser) return gate::other;
    return gate::follows;
}

bool run_account::repeats(gate now, bool failed, bool bell, bool red, bool vigilance,
                          bool protection) const {
    // Anything that came with this frame, or a frame the plug-in failed, is told in full.
    if (eventful_ || failed || failing_) return false;
    // The same lamps, bell and gate as before: handles that follow the driver (once that has
    // been told) or a brake that holds with nothing more demanded.
    if (bell != bell_ || vigilance != vigilance_lamp_ || now != gate_) return false;
    if (now == gate::follows ? !gate_text_.empty() : now != gate::brake) return false;
    // Nothing for a hidden brake to remember, and nothing to forget.
    return red ? now == gate::brake || !protection : latched_.empty();
}

void run_account::on_frame(const frame_record& f, const scenario&) {
    const cab_state& c = f.cab;
    const bool failed = is_fail_safe_frame(c);
    const bool bell = c.sound[cab_state::sound_slot<cab::sound::bell>()] == cab::sound_cmd::playing;
    const bool red = c.panel[cab_state::panel_slot<panel::red_lamp>()] == 1;
    // The protection brakes with its red lamp and bell, the vigilance device with its lamp.
    const bool protection = !failed && red && bell;
    const bool vigilance = c.panel[cab_state::panel_slot<panel::vigilance_lamp>()] == 1;
    const gate now = gate_of(f, failed);
    if (repeats(now, failed, bell, red, vigilance, protection)) {
        if (!std::isnan(signal_at_)) tell_stop(f);
        moving_ = f.at.speed != 0.0;
        return;
    }
    tell_frame(f, now, failed, bell, red, vigilance, protection);
}

void run_account::tell_frame(const frame_record& f, gate now, bool failed, bool bell, bool red,
                             bool vigilance, bool protection) {
    const moment& at = f.at;
    const std::int64_t k = at.frame;
    const driver_state& d = f.driver;
    const ats::handles& h = f.cab.acting;
    if (pattern_.due && evaluate_) {
        answer_ = evaluate_(pattern_.distance);
        answered_ = true;
    }
    // The channel's name is one for the whole machine: a script error heard there is the run's
    // own only on a pattern check's frame whose new brake nothing else explains: not the script
    // as evaluated here (it passes the train), nor a trip or a point check.
    const bool pattern_over =
        pattern_.due && answer_.evaluated && at_or_above(pattern_.speed, answer_.permitted);
    const bool point_over =
        point_.due && at_or_above(point_.speed, static_cast<float>(point_.limit));
    const bool unexplained = pattern_.due && protection && h.brake == emergency_ &&
                             d.brake != emergency_ && gate_ != gate::brake && !trip_ &&
                             !point_over && !pattern_over;
    if (!failed && !unexplained) script_error_.clear();

    if (failed != failing_) {
        std::string text = failed ? "the plug-in failed and answers with its fail-safe outputs "
                                    "(emergency brake, red lamp)"
                                  : "the plug-in completes its frames again";
        if (failed && !script_error_.empty()) {
            // The plug-in's words, where talvik-sim's own evaluation of the script fails too.
            if (evaluate_ && !pattern_.due) {
                answer_ = evaluate_(0.0);
                answered_ = true;
            }
            if (!evaluate_ || !answer_.evaluated) {
                failed_script_ = "script failed: " +
                                 (answer_.failure.empty() ? std::string() : answer_.failure + " ") +
                                 "(the plug-in: \"" + script_error_ + "\")";
                text += ": " + failed_script_;
            }
        }
        tell(at, told::fail_safe, text, failed ? "fail-safe" : std::string());
        if (!failed) failed_script_.clear();
        failing_ = failed;
    }
    // Checks are told on the frame of their beacon; most frames have none.
    if (!failed && (pattern_.due || point_.due || alarm_check_.due || !script_error_.empty()))
        tell_checks(f);

    // The alarm: from the frame its bell begins (or begins again) until the bell stops.
    if (alarm_ && bell) {
        if (alarm_from_ < 0 || !confirmed_) {
            if (alarm_from_ < 0)
                tell(at, told::alarm,
                     "alarm: bell and chime, confirm within " +
                         std::to_string(ats::ats_s_alarm::confirm_timeout_ms / 1000) + " s",
                     "alarm");
            alarm_from_ = k;
            confirmed_ = false;
        }
    }
    if (alarm_from_ >= 0 && confirm_) confirmed_ = true;

    // The vigilance warning: its lamp before any brake of its own.
    if (vigilance && !vigilance_lamp_) {
        vigilance_from_ = k;
        if (now != gate::brake || gate_ == gate::brake) {
            tell(at, told::vigilance,
                 "vigilance warning: no action for " + std::to_string(ats::eb::warning_ms / 1000) +
                     " s (vigilance lamp, vigilance buzzer)",
                 "vigilance warning");
        }
    }
    tell_gate(f, now, protection, vigilance);
    if (!vigilance && vigilance_lamp_) {
        if (gate_ != gate::brake) tell(at, told::vigilance, "vigilance warning acknowledged", {});
        vigilance_from_ = -1;
    }
    if (!bell && bell_ && alarm_from_ >= 0 && now != gate::brake) {
        tell(at, told::alarm, confirmed_ ? "alarm confirmed: the bell stops" : "the bell stops",
             confirmed_ ? "confirmed" : std::string());
        alarm_from_ = -1;
    }
    // What a brake hidden by the driver's emergency brake will be told as when it shows.
    if (!red) {
        latched_.clear();
    } else if (now != gate::brake && protection) {
        for (const demand& cause : causes_now(f, true, false))
            add_once(latched_, cause);
    }
    if (!std::isnan(signal_at_)) tell_stop(f);

    bell_ = bell;
    vigilance_lamp_ = vigilance;
    moving_ = at.speed != 0.0;
    gate_ = now;
    trip_ = alarm_ = confirm_ = false;
    pattern_.due = point_.due = alarm_check_.due = false;
    if (answered_) answer_ = {};
    answered_ = eventful_ = false;
    script_error_.clear();
}

void run_account::on_finish(const run_summary&, const scenario&) {
    // Lines heard after the last frame belong to no check of this run.
    script_error_.clear();
}

} // namespace sim
