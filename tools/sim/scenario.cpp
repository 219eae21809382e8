// The scenario language: one statement a line, '#' starts a comment.
#include "tools/sim/scenario.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>

#include "tools/sim/scenario_lexer.h"

namespace sim {

namespace {

// Simulated time of day wraps at 24 h; the whole run must stay inside one int32 of ms.
constexpr double max_seconds = 24.0 * 3600.0;
constexpr std::int32_t max_frame_ms = 1000;

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

bool non_negative(line_parser& p, const std::string& what, double& target) {
    double v = 0.0;
    if (!p.number(what, v, {})) return false;
    if (v < 0.0) return p.reject(what);
    target = v;
    return true;
}

bool at_least_one(line_parser& p, const std::string& what, std::int32_t& target) {
    std::int32_t n = 0;
    if (!p.whole(what, n)) return false;
    if (n < 1) return p.problem(what + " is needed, not " + std::to_string(n));
    target = n;
    return true;
}

template <std::size_t N> auto one_of(const char* const (&names)[N]) {
    return [&names](const std::string& name) {
        for (const char* n : names) {
            if (name == n) return true;
        }
        return false;
    };
}

bool parse_clock(const std::string& text, std::int32_t& ms) {
    int h = 0, m = 0, sec = 0;
    char extra = 0;
    const int n = std::sscanf(text.c_str(), "%d:%d:%d%c", &h, &m, &sec, &extra);
    if (n == 2 && std::sscanf(text.c_str(), "%d:%d%c", &h, &m, &extra) == 2) {
        sec = 0;
    } else if (n != 3) {
        return false;
    }
    if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return false;
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
    return true;
}

bool vehicle(line_parser& p, scenario& s) {
    static const char* const names[] = {"brake_notches", "ats_notch", "spec_aux_4", "spec_aux_12",
                                        "spec_aux_16"};
    return pairs(p, "vehicle", "brake_notches, ats_notch, spec_aux_4, spec_aux_12, spec_aux_16",
                 one_of(names), [&](const std::string& name) {
                     if (name == "brake_notches") {
                         at_least_one(p, "a number of brake notches from 1", s.spec.brake_notches);
                     } else if (name == "ats_notch") {
                         p.whole("a brake notch", s.spec.ats_notch);
                     } else if (name == "spec_aux_4") {
                         p.whole("a whole number", s.spec.spec_aux_4);
                     } else if (name == "spec_aux_12") {
                         p.whole("a whole number", s.spec.spec_aux_12);
                     } else {
                         p.whole("a whole number", s.spec.spec_aux_16);
                     }
                 });
}

bool train(line_parser& p, scenario& s) {
    static const char* const names[] = {"power_notches", "accel",      "decel",
                                        "emergency",     "resistance", "drag"};
    train_model& m = s.train;
    return pairs(p, "train", "power_notches, accel, decel, emergency, resistance, drag",
                 one_of(names), [&](const std::string& name) {
                     const std::string rate = "a rate of 0 or more in km/h per second";
                     if (name == "power_notches") {
                         at_least_one(p, "a number of power notches from 1", m.power_notches);
                     } else if (name == "accel") {
                         non_negative(p, rate, m.accel);
                     } else if (name == "decel") {
                         non_negative(p, rate, m.decel);
                     } else if (name == "emergency") {
                         non_negative(p, rate, m.emergency);
                     } else if (name == "resistance") {
                         non_negative(p, rate, m.resistance);
                     } else {
                         non_negative(p, "a drag of 0 or more", m.drag);
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
    return p.number("a location in m", s.location, {"m"}) && p.finish("location");
}

bool speed(line_parser& p, scenario& s) {
    return p.number("a speed in km/h", s.speed, {"km/h"}) && p.finish("speed");
}

bool initialize(line_parser& p, scenario& s) {
    return p.whole("an Initialize parameter", s.initialize_param) && p.finish("initialize");
}

// --- triggers: "at 12 s", "at 600 m", "after 2 s", "when stopped"

bool at(line_parser& p, trigger& t) {
    std::string unit;
    double v = 0.0;
    const char* what = "a time ('at 12 s') or a position ('at 600 m')";
    if (!p.number(what, v, {"s", "ms", "m"}, &unit)) return false;
    if (unit.empty()) return p.reject(std::string(what) + " with its unit");
    if (unit == "m") {
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
    return p.whole("a power notch", a.value) && p.finish("power");
}

bool brake(line_parser& p, action& a) {
    a.kind = action_kind::brake;
    // Resolved against the vehicle's notches once the whole file is read.
    if (p.accept_word("emergency")) {
        a.text = "emergency";
        return p.finish("brake");
    }
    return p.whole("a brake notch or 'emergency'", a.value) && p.finish("brake");
}

bool reverser(line_parser& p, action& a) {
    a.kind = action_kind::reverser;
    if (p.accept_word("forward")) {
        a.value = 1;
    } else if (p.accept_word("neutral")) {
        a.value = 0;
    } else if (p.accept_word("backward")) {
        a.value = -1;
    } else if (!p.whole("a reverser position (forward, neutral, backward or a number)", a.value)) {
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
    if (!named && !p.whole("a key number or name (" + words + ")", a.value)) return false;
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
    if (!p.at_end() && !p.whole("a horn kind (a number) or the end of the line", a.value)) {
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
    return p.whole("a signal aspect", a.value) && p.finish("signal");
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
        case 0: p.whole("a beacon type", b.type); break;
        case 1: p.whole("a signal aspect", b.signal); break;
        case 2:
            if (p.number("a distance", distance, {"m"})) {
                if (std::fabs(distance) > std::numeric_limits<float>::max()) {
                    return p.problem("the distance does not fit a float");
                }
                b.distance = static_cast<float>(distance);
            }
            break;
        default: p.whole("a whole number", b.optional); break;
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
    action_of("note", note),
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
    if (first->kind == part::setting) return first->setting(p, s);
    event e;
    e.line = line;
    if (!first->trigger(p, e.when)) return false;
    const statement* what = next_statement(p, {part::action});
    if (what == nullptr) return p.fail("an action (" + words_of(part::action) + ")");
    if (!what->action(p, e.what)) return false;
    s.events.push_back(e);
    return true;
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
    std::vector<parse_error> errors;
    int line_number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        ++line_number;

        std::vector<token> tokens;
        std::string problem;
        if (!tokenize(line, tokens, problem)) {
            errors.push_back({file, line_number, problem});
            continue;
        }
        if (tokens.empty()) continue;
        line_parser p(std::move(tokens));
        if (!parse_statement(p, s, line_number) || p.failed()) {
            errors.push_back({file, line_number, p.error()});
        }
    }
    // "brake emergency" means the vehicle's emergency position, wherever 'vehicle' stands.
    for (event& e : s.events) {
        if (e.what.kind == action_kind::brake && e.what.text == "emergency") {
            e.what.value = s.emergency_brake();
        }
    }
    if (s.name.empty()) {
        const std::size_t slash = file.find_last_of("/\\");
        s.name = slash == std::string::npos ? file : file.substr(slash + 1);
    }
    if (errors.empty()) out = std::move(s);
    return errors;
}

std::vector<parse_error> load_scenario_file(const std::string& path, scenario& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{path, 0, "cannot read the scenario file"}};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return {{path, 0, "cannot read the scenario file"}};
    // Editors on Windows often start a UTF-8 file with an invisible byte-order mark.
    const std::string_view utf8_mark = "\xEF\xBB\xBF";
    const std::string whole = text.str();
    std::string_view all = whole;
    if (all.substr(0, utf8_mark.size()) == utf8_mark) all.remove_prefix(utf8_mark.size());
    return parse_scenario(all, path, out);
}

} // namespace sim
