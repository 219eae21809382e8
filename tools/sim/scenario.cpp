// The scenario language: one statement a line, '#' starts a comment.
#include "tools/sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <utility>

#include "tools/sim/scenario_lexer.h"
#include "tools/sim/sim_platform.h"

namespace sim {

namespace {

// The ranges in which the simulation means something. Within them no arithmetic of a run can
// overflow: the fastest train (every rate and notch at its largest) running for the longest
// time stays far inside the thousandths of the CSV file and the replay page.
constexpr double max_seconds = 24.0 * 3600.0;  // times and delays: one day
constexpr std::int32_t max_frame_ms = 1000;    // one frame a second at the slowest
constexpr double max_position_m = 1.0e7;       // positions and distances: 10,000 km either way
constexpr double max_speed_kmh = 1000.0;       // either direction
constexpr double max_rate_kmh_per_s = 20.0;    // accelerations and running resistance
constexpr double max_drag = 1.0;               // km/h per second per (km/h) squared
constexpr std::int32_t max_notches = 99;       // power or brake notches of a vehicle
constexpr std::int32_t max_key = 31;           // the plug-in holds 32 keys
constexpr std::int32_t max_aspect = 255;       // signal aspects
constexpr std::int32_t max_beacon_type = 9999; // beacon types
constexpr std::size_t max_name_length = 200;   // the run's title
constexpr std::int32_t any_low = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t any_high = std::numeric_limits<std::int32_t>::max();
// Lines with errors reported per file; the rest are counted.
constexpr std::size_t max_reported_errors = 20;

// "name value" pairs until the end of the line, each name taken from `fields`.
template <typename Known, typename Apply>
bool pairs(line_parser& p, const char* statement, const char* field_list, Known known,
           Apply apply) {
    if (p.at_end())
        return p.fail(std::string("a field of '") + statement + "' (" + field_list + ")");
    while (!p.at_end()) {
        const auto name = p.peek_text();
        if (!name || !known(*name)) {
            return p.fail(std::string("a field of '") + statement + "' (" + field_list + ")");
        }
        p.skip();
        apply(*name);
        if (p.failed()) return false;
    }
    return true;
}

// A number without a unit from `low` to `high`; `what` names it and its range.
bool ranged(line_parser& p, const std::string& what, double& target, double low, double high,
            std::initializer_list<const char*> units = {}) {
    double v = 0.0;
    if (!p.number(what, v, units)) return false;
    if (v < low || v > high) return p.reject(what);
    target = v;
    return true;
}

bool notches(line_parser& p, const std::string& what, std::int32_t& target) {
    return p.whole(what, target, 1, max_notches);
}

template <std::size_t N> auto one_of(const char* const (&names)[N]) {
    return [&names](const std::string& name) {
        for (const char* n : names) {
            if (name == n) return true;
        }
        return false;
    };
}

// "hh:mm" or "hh:mm:ss", one or two digits each.
bool parse_clock(const std::string& text, std::int32_t& ms) {
    int parts[3] = {0, 0, 0};
    int count = 0, digits = 0;
    for (const char c : text) {
        if (c == ':' && digits > 0 && count < 2) {
            ++count;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 2) {
            parts[count] = parts[count] * 10 + (c - '0');
            ++digits;
        } else {
            return false;
        }
    }
    if (count == 0 || digits == 0) return false;
    const int h = parts[0], m = parts[1], sec = parts[2];
    if (h > 23 || m > 59 || sec > 59) return false;
    ms = ((h * 60 + m) * 60 + sec) * 1000;
    return true;
}

bool parse_time(line_parser& p, const std::string& what, double& seconds) {
    std::string unit;
    double v = 0.0;
    if (!p.number(what, v, {"s", "ms"}, &unit)) return false;
    if (unit.empty()) return p.reject(what + " with its unit 's' or 'ms'");
    if (unit == "ms") v /= 1000.0;
    if (v < 0.0 || v > max_seconds) return p.reject(what + " from 0 to 86400 s");
    seconds = v;
    return true;
}

// --- settings

bool name(line_parser& p, scenario& s) {
    s.name = p.rest_as_text();
    if (s.name.size() > max_name_length) {
        return p.problem("a name of at most " + std::to_string(max_name_length) +
                         " characters is needed, not " + std::to_string(s.name.size()));
    }
    return true;
}

bool vehicle(line_parser& p, scenario& s) {
    static const char* const names[] = {"brake_notches", "ats_notch", "spec_aux_4", "spec_aux_12",
                                        "spec_aux_16"};
    return pairs(p, "vehicle", "brake_notches, ats_notch, spec_aux_4, spec_aux_12, spec_aux_16",
                 one_of(names), [&](const std::string& name) {
                     if (name == "brake_notches") {
                         notches(p, "a number of brake notches", s.spec.brake_notches);
                     } else if (name == "ats_notch") {
                         p.whole("a brake notch", s.spec.ats_notch, 0, max_notches + 1);
                     } else if (name == "spec_aux_4") {
                         p.whole("a whole number", s.spec.spec_aux_4, any_low, any_high);
                     } else if (name == "spec_aux_12") {
                         p.whole("a whole number", s.spec.spec_aux_12, any_low, any_high);
                     } else {
                         p.whole("a whole number", s.spec.spec_aux_16, any_low, any_high);
                     }
                 });
}

bool train(line_parser& p, scenario& s) {
    static const char* const names[] = {"power_notches", "accel",      "decel",
                                        "emergency",     "resistance", "drag"};
    train_model& m = s.train;
    return pairs(p, "train", "power_notches, accel, decel, emergency, resistance, drag",
                 one_of(names), [&](const std::string& name) {
                     const std::string rate = "a rate from 0 to 20 km/h per second";
                     if (name == "power_notches") {
                         notches(p, "a number of power notches", m.power_notches);
                     } else if (name == "accel") {
                         ranged(p, rate, m.accel, 0.0, max_rate_kmh_per_s);
                     } else if (name == "decel") {
                         ranged(p, rate, m.decel, 0.0, max_rate_kmh_per_s);
                     } else if (name == "emergency") {
                         ranged(p, rate, m.emergency, 0.0, max_rate_kmh_per_s);
                     } else if (name == "resistance") {
                         ranged(p, rate, m.resistance, 0.0, max_rate_kmh_per_s);
                     } else {
                         ranged(p, "a drag from 0 to 1", m.drag, 0.0, max_drag);
                     }
                 });
}

bool frame(line_parser& p, scenario& s) {
    double ms = 0.0;
    std::string unit;
    const std::string what = "a frame step from 1 to 1000 ms";
    if (!p.number(what, ms, {"ms"}, &unit)) return false;
    if (unit.empty() || ms != std::floor(ms) || ms < 1 || ms > max_frame_ms) return p.reject(what);
    s.frame_ms = static_cast<std::int32_t>(ms);
    return p.finish("frame");
}

bool start(line_parser& p, scenario& s) {
    const auto clock = p.peek_text();
    if (!clock || !parse_clock(*clock, s.start_ms)) {
        return p.fail("a time of day 'hh:mm' or 'hh:mm:ss'");
    }
    p.skip();
    return p.finish("start");
}

bool location(line_parser& p, scenario& s) {
    return ranged(p, "a location from -10000000 to 10000000 m", s.location, -max_position_m,
                  max_position_m, {"m"}) &&
           p.finish("location");
}

bool speed(line_parser& p, scenario& s) {
    return ranged(p, "a speed from -1000 to 1000 km/h", s.speed, -max_speed_kmh, max_speed_kmh,
                  {"km/h"}) &&
           p.finish("speed");
}

// The name and the range are checked against the scenario once it is read whole (sweep.cpp).
bool sweep(line_parser& p, scenario& s) {
    sweep_statement w;
    const auto name = p.peek_text();
    if (!name) return p.fail("the name of a number to sweep ('speed', 'beacon.distance', ...)");
    w.name = *name;
    p.skip();
    const std::initializer_list<const char*> units = {"km/h", "m"};
    if (!p.accept_word("from")) return p.fail("'from' after the name");
    if (!p.number("the first value", w.from, units)) return false;
    if (!p.accept_word("to")) return p.fail("'to' after the first value");
    if (!p.number("the last value", w.to, units)) return false;
    if (!p.accept_word("step")) return p.fail("'step' after the last value");
    if (!p.number("the step", w.step, units)) return false;
    s.sweeps.push_back(w);
    return p.finish("sweep");
}

bool initialize(line_parser& p, scenario& s) {
    return p.whole("an Initialize parameter", s.initialize_param, any_low, any_high) &&
           p.finish("initialize");
}

// --- triggers: "at 12 s", "at 600 m", "after 2 s", "when stopped"

bool at(line_parser& p, trigger& t) {
    std::string unit;
    double v = 0.0;
    const char* what = "a time ('at 12 s') or a position ('at 600 m')";
    if (!p.number(what, v, {"s", "ms", "m"}, &unit)) return false;
    if (unit.empty()) return p.reject(std::string(what) + " with its unit");
    if (unit == "m") {
        if (v < -max_position_m || v > max_position_m)
            return p.reject("a position from -10000000 to 10000000 m");
        t = {trigger_kind::at_position, v};
        return true;
    }
    if (unit == "ms") v /= 1000.0;
    if (v < 0.0 || v > max_seconds) return p.reject("a time from 0 to 86400 s");
    t = {trigger_kind::at_time, v};
    return true;
}

bool after(line_parser& p, trigger& t) {
    t.kind = trigger_kind::after;
    return parse_time(p, "a delay ('after 2 s')", t.value);
}

bool when(line_parser& p, trigger& t) {
    if (!p.accept_word("stopped")) return p.fail("'stopped' after 'when'");
    t = {trigger_kind::when_stopped, 0.0};
    return true;
}

bool end(line_parser& p, scenario& s) {
    end_condition& e = s.end;
    trigger t;
    if (p.accept_word("at")) {
        if (!at(p, t)) return false;
        e.kind = t.kind == trigger_kind::at_position ? end_kind::at_position : end_kind::at_time;
        e.value = t.value;
    } else if (p.accept_word("after")) {
        e.kind = end_kind::after_last_event;
        if (!parse_time(p, "a delay after the last event ('end after 5 s')", e.value)) {
            return false;
        }
    } else if (p.accept_word("when")) {
        if (!p.accept_word("stopped")) return p.fail("'stopped' after 'end when'");
        e.kind = end_kind::when_stopped;
    } else {
        return p.fail("'at', 'after' or 'when stopped' after 'end'");
    }
    return p.finish("end");
}

// --- actions

bool power(line_parser& p, action& a) {
    a.kind = action_kind::power;
    return p.whole("a power notch", a.value, 0, max_notches) && p.finish("power");
}

bool brake(line_parser& p, action& a) {
    a.kind = action_kind::brake;
    // Resolved against the vehicle's notches once the whole file is read.
    if (p.accept_word("emergency")) {
        a.text = "emergency";
        return p.finish("brake");
    }
    // Checked against the vehicle's emergency position once the whole file is read.
    return p.whole("a brake notch or 'emergency'", a.value, any_low, any_high) && p.finish("brake");
}

bool reverser(line_parser& p, action& a) {
    a.kind = action_kind::reverser;
    if (p.accept_word("forward")) {
        a.value = 1;
    } else if (p.accept_word("neutral")) {
        a.value = 0;
    } else if (p.accept_word("backward")) {
        a.value = -1;
    } else if (!p.whole("a reverser position (forward, neutral, backward or a number)", a.value, -1,
                        1)) {
        return false;
    }
    return p.finish("reverser");
}

bool key(line_parser& p, action& a) {
    bool named = false;
    std::string words;
    for (const auto& k : ats::cab::keys) {
        if (!named && p.accept_word(k.word)) {
            a.value = k.key;
            named = true;
        }
        words += (words.empty() ? "" : ", ") + std::string(k.word);
    }
    if (!named && !p.whole("a key number or name (" + words + ")", a.value, 0, max_key))
        return false;
    if (p.accept_word("down")) {
        a.kind = action_kind::key_down;
    } else if (p.accept_word("up")) {
        a.kind = action_kind::key_up;
    } else {
        return p.fail("'down' or 'up' after the key");
    }
    return p.finish("key");
}

bool horn(line_parser& p, action& a) {
    a.kind = action_kind::horn;
    if (!p.at_end() &&
        !p.whole("a horn kind (a number) or the end of the line", a.value, any_low, any_high)) {
        return false;
    }
    return p.finish("horn");
}

bool doors(line_parser& p, action& a) {
    if (p.accept_word("open")) {
        a.kind = action_kind::doors_open;
    } else if (p.accept_word("close")) {
        a.kind = action_kind::doors_close;
    } else {
        return p.fail("'open' or 'close' after 'doors'");
    }
    return p.finish("doors");
}

bool signal(line_parser& p, action& a) {
    a.kind = action_kind::signal;
    return p.whole("a signal aspect", a.value, 0, max_aspect) && p.finish("signal");
}

bool beacon(line_parser& p, action& a) {
    static const char* const names[4] = {"type", "signal", "distance", "optional"};
    a.kind = action_kind::beacon;
    ats::beacon_data& b = a.beacon;
    bool have[4] = {false, false, false, false};
    while (!p.at_end()) {
        const auto name = p.peek_text();
        int which = -1;
        for (int i = 0; i < 4; ++i) {
            if (name && *name == names[i]) which = i;
        }
        if (which < 0) return p.fail("a beacon field (type, signal, distance, optional)");
        if (have[which]) {
            return p.problem(std::string("the beacon field '") + names[which] + "' is given twice");
        }
        p.skip();
        have[which] = true;
        double distance = 0.0;
        switch (which) {
        case 0: p.whole("a beacon type", b.type, 0, max_beacon_type); break;
        case 1: p.whole("a signal aspect", b.signal, 0, max_aspect); break;
        case 2:
            if (ranged(p, "a distance from -10000000 to 10000000 m", distance, -max_position_m,
                       max_position_m, {"m"})) {
                b.distance = static_cast<float>(distance);
            }
            break;
        // Its meaning depends on the type (a speed, a digit, a flag): any value the host passes.
        default: p.whole("a whole number", b.optional, any_low, any_high); break;
        }
        if (p.failed()) return false;
    }
    std::string missing;
    for (int i = 0; i < 4; ++i) {
        if (!have[i]) missing += missing.empty() ? names[i] : std::string(", ") + names[i];
    }
    if (!missing.empty()) {
        return p.problem("a beacon needs all four fields: type, signal, distance, optional "
                         "(missing: " +
                         missing + ")");
    }
    return true;
}

bool note(line_parser& p, action& a) {
    a.kind = action_kind::note;
    a.text = p.rest_as_text();
    return true;
}

// The grammar: a line starts with a setting's word, or with an event's trigger followed by an
// action. The words of each part, in this order, are what an error says was expected.
enum class part { setting, trigger, action };

struct statement {
    std::string_view word;
    part kind;
    bool (*setting)(line_parser&, scenario&);
    bool (*trigger)(line_parser&, sim::trigger&);
    bool (*action)(line_parser&, sim::action&);
};

constexpr statement setting_of(std::string_view w, bool (*f)(line_parser&, scenario&)) {
    return {w, part::setting, f, nullptr, nullptr};
}
constexpr statement trigger_of(std::string_view w, bool (*f)(line_parser&, sim::trigger&)) {
    return {w, part::trigger, nullptr, f, nullptr};
}
constexpr statement action_of(std::string_view w, bool (*f)(line_parser&, sim::action&)) {
    return {w, part::action, nullptr, nullptr, f};
}

constexpr statement grammar[] = {
    setting_of("name", name),        setting_of("vehicle", vehicle),
    setting_of("train", train),      setting_of("frame", frame),
    setting_of("start", start),      setting_of("location", location),
    setting_of("speed", speed),      setting_of("initialize", initialize),
    setting_of("end", end),          trigger_of("at", at),
    trigger_of("after", after),      trigger_of("when", when),
    action_of("power", power),       action_of("brake", brake),
    action_of("reverser", reverser), action_of("key", key),
    action_of("horn", horn),         action_of("doors", doors),
    action_of("signal", signal),     action_of("beacon", beacon),
    action_of("note", note),         setting_of("sweep", sweep),
};

// "name, vehicle, train, ..."
std::string words_of(part kind) {
    std::string words;
    for (const statement& s : grammar) {
        if (s.kind != kind) continue;
        words += (words.empty() ? "" : ", ") + std::string(s.word);
    }
    return words;
}

// The row for the next word among `kinds`, taking the word; null when it is none of them.
const statement* next_statement(line_parser& p, std::initializer_list<part> kinds) {
    const auto word = p.peek_text();
    if (!word) return nullptr;
    for (const statement& s : grammar) {
        for (const part kind : kinds) {
            if (s.kind == kind && s.word == *word) {
                p.skip();
                return &s;
            }
        }
    }
    return nullptr;
}

bool parse_statement(line_parser& p, scenario& s, int line) {
    const statement* first = next_statement(p, {part::setting, part::trigger});
    if (first == nullptr) {
        return p.fail("a setting (" + words_of(part::setting) + ") or an event (" +
                      words_of(part::trigger) + ")");
    }
    if (first->kind == part::setting) {
        const std::size_t sweeps = s.sweeps.size();
        const bool ok = first->setting(p, s);
        if (s.sweeps.size() > sweeps) s.sweeps.back().line = line;
        return ok;
    }
    event e;
    e.line = line;
    if (!first->trigger(p, e.when)) return false;
    const statement* what = next_statement(p, {part::action});
    if (what == nullptr) return p.fail("an action (" + words_of(part::action) + ")");
    if (!what->action(p, e.what)) return false;
    s.events.push_back(e);
    return true;
}

// How many events `text` can hold at most: the lines that start with a trigger, and no more
// than one for each 10 characters ("at 0s horn"). Room made once, not grown by copying.
std::size_t event_lines(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t at = text.find_first_not_of(" \t", start);
        if (at == std::string_view::npos) break;
        for (const std::string_view trigger : {"at", "after", "when"}) {
            const std::size_t end = at + trigger.size();
            if (text.compare(at, trigger.size(), trigger) == 0 && end < text.size() &&
                (text[end] == ' ' || text[end] == '\t')) {
                ++count;
            }
        }
        const std::size_t next = text.find('\n', at);
        if (next == std::string_view::npos) break;
        start = next + 1;
    }
    return std::min(count, text.size() / 10);
}

} // namespace

std::string parse_error::text() const {
    std::ostringstream out;
    out << file;
    if (line > 0) out << ':' << line;
    out << ": " << message;
    return out.str();
}

std::vector<parse_error> parse_scenario(std::string_view text, const std::string& file,
                                        scenario& out) {
    scenario s;
    s.source = file;
    s.events.reserve(event_lines(text));
    std::vector<parse_error> errors;
    std::size_t unreported = 0;
    auto report = [&](int line, std::string message) {
        if (errors.size() < max_reported_errors) {
            errors.push_back({file, line, std::move(message)});
        } else {
            ++unreported;
        }
    };
    int line_number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        ++line_number;

        std::string problem;
        if (!line_parser::strings_closed(line, problem)) {
            report(line_number, problem);
            continue;
        }
        line_parser p(line);
        if (p.at_end()) continue;
        if (!parse_statement(p, s, line_number) || p.failed()) report(line_number, p.error());
    }
    // "brake emergency" means the vehicle's emergency position, wherever 'vehicle' stands, and
    // no notch lies beyond it.
    for (event& e : s.events) {
        if (e.what.kind != action_kind::brake) continue;
        if (e.what.text == "emergency") {
            e.what.value = s.emergency_brake();
        } else if (e.what.value < 0 || e.what.value > s.emergency_brake()) {
            report(e.line, "expected a brake notch from 0 to " +
                               std::to_string(s.emergency_brake()) +
                               " (the emergency position) or 'emergency', found '" +
                               std::to_string(e.what.value) + "'");
        }
    }
    if (unreported > 0) {
        errors.push_back(
            {file, 0, std::to_string(unreported) + " more line(s) with errors not shown"});
    }
    std::stable_sort(errors.begin(), errors.end(), [](const parse_error& a, const parse_error& b) {
        return a.line != 0 && (b.line == 0 || a.line < b.line);
    });
    if (s.name.empty()) {
        const std::size_t slash = file.find_last_of("/\\");
        s.name = slash == std::string::npos ? file : file.substr(slash + 1);
    }
    if (errors.empty()) out = std::move(s);
    return errors;
}

std::vector<parse_error> load_scenario_file(const std::string& path, scenario& out) {
    switch (os::kind_of(path)) {
    case os::path_kind::directory: return {{path, 0, "is a directory, not a scenario file"}};
    case os::path_kind::other: return {{path, 0, "is not a file that can be read as a scenario"}};
    default: break;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{path, 0, "cannot read the scenario file"}};
    // Read in pieces up to the limit, so that a pipe without end is refused like a huge file.
    std::string text;
    char piece[65536];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        text.append(piece, static_cast<std::size_t>(in.gcount()));
        if (text.size() > max_scenario_bytes) {
            return {{path, 0, "is larger than 16 MB, the most talvik-sim reads as a scenario"}};
        }
    }
    if (in.bad()) return {{path, 0, "cannot read the scenario file"}};
    // Editors on Windows often start a UTF-8 file with an invisible byte-order mark.
    const std::string_view utf8_mark = "\xEF\xBB\xBF";
    std::string_view all = text;
    if (all.substr(0, utf8_mark.size()) == utf8_mark) all.remove_prefix(utf8_mark.size());
    return parse_scenario(all, path, out);
}

} // namespace sim
