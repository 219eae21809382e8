// The scenario language: one statement a line, '#' starts a comment.
#include "tools/sim/scenario.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>

namespace sim {

namespace {

// Simulated time of day wraps at 24 h; the whole run must stay inside one int32 of ms.
constexpr double max_seconds = 24.0 * 3600.0;
constexpr std::int32_t max_frame_ms = 1000;

struct token {
    enum kind_t { word, number, string } kind = word;
    std::string text;
    double value = 0.0;
    std::string unit; // letters glued to a number: "600m", "20ms"
};

bool parse_double(std::string_view s, double& value, std::size_t& used) {
    const char* first = s.data();
    if (!s.empty() && s[0] == '+') ++first; // from_chars takes no plus sign
    const auto result = std::from_chars(first, s.data() + s.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) return false;
    used = static_cast<std::size_t>(result.ptr - s.data());
    return true;
}

bool is_unit_text(std::string_view s) {
    for (char c : s) {
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != '/') return false;
    }
    return !s.empty();
}

// Splits one line into tokens; false with `problem` set for an unterminated string.
bool tokenize(std::string_view line, std::vector<token>& out, std::string& problem) {
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '#') break;
        if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                problem = "expected a closing '\"' before the end of the line";
                return false;
            }
            token t;
            t.kind = token::string;
            t.text = std::string(line.substr(i + 1, close - i - 1));
            out.push_back(t);
            i = close + 1;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) &&
               line[end] != '#' && line[end] != '"') {
            ++end;
        }
        token t;
        t.text = std::string(line.substr(i, end - i));
        double value = 0.0;
        std::size_t used = 0;
        if (parse_double(t.text, value, used) &&
            (used == t.text.size() || is_unit_text(std::string_view(t.text).substr(used)))) {
            t.kind = token::number;
            t.value = value;
            t.unit = t.text.substr(used);
        }
        out.push_back(t);
        i = end;
    }
    return true;
}

class line_parser {
  public:
    explicit line_parser(std::vector<token> tokens) : tokens_(std::move(tokens)) {}

    bool at_end() const { return pos_ >= tokens_.size(); }
    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }

    std::string found() const {
        if (at_end()) return "the end of the line";
        const token& t = tokens_[pos_];
        return t.kind == token::string ? "\"" + t.text + "\"" : "'" + t.text + "'";
    }

    bool fail(const std::string& expected) {
        if (error_.empty()) error_ = "expected " + expected + ", found " + found();
        return false;
    }

    // The next token if it is a word (or a number written as a word, like "10:00:00").
    std::optional<std::string> word() {
        auto w = peek_text();
        if (w) ++pos_;
        return w;
    }
    std::optional<std::string> peek_text() const {
        if (at_end() || tokens_[pos_].kind == token::string) return std::nullopt;
        return tokens_[pos_].text;
    }
    void skip() { ++pos_; }
    void back() { --pos_; }
    // A message that is not of the "expected ..., found ..." kind.
    bool problem(const std::string& message) {
        if (error_.empty()) error_ = message;
        return false;
    }

    bool peek_word(const char* w) const {
        return !at_end() && tokens_[pos_].kind == token::word && tokens_[pos_].text == w;
    }
    bool accept_word(const char* w) {
        if (!peek_word(w)) return false;
        ++pos_;
        return true;
    }
    bool peek_number() const { return !at_end() && tokens_[pos_].kind == token::number; }

    // A number with an optional unit among `units` (written glued or as the next word).
    bool number(const std::string& what, double& value, std::initializer_list<const char*> units,
                std::string* unit_out = nullptr) {
        if (!peek_number()) return fail(what);
        const token& t = tokens_[pos_];
        std::string unit = t.unit;
        last_value_ = pos_;
        ++pos_;
        if (unit.empty() && !at_end() && tokens_[pos_].kind == token::word) {
            for (const char* u : units) {
                if (tokens_[pos_].text == u) {
                    unit = u;
                    ++pos_;
                    break;
                }
            }
        }
        if (!unit.empty()) {
            bool known = false;
            for (const char* u : units)
                known = known || unit == u;
            if (!known) {
                --pos_;
                return fail(what + " with " + unit_list(units));
            }
        }
        value = t.value;
        if (unit_out != nullptr) *unit_out = unit;
        return true;
    }

    bool whole(const std::string& what, std::int32_t& value) {
        if (!peek_number() || !tokens_[pos_].unit.empty()) return fail(what);
        const double v = tokens_[pos_].value;
        if (v != std::floor(v) || v < std::numeric_limits<std::int32_t>::min() ||
            v > std::numeric_limits<std::int32_t>::max()) {
            return fail(what);
        }
        value = static_cast<std::int32_t>(v);
        ++pos_;
        return true;
    }

    // Refuses the number just read: "expected <what>, found '<number>'".
    bool reject(const std::string& what) {
        if (error_.empty() && last_value_ < tokens_.size()) {
            error_ = "expected " + what + ", found '" + tokens_[last_value_].text + "'";
        }
        return false;
    }

    bool finish(const char* statement) {
        if (failed()) return false;
        if (at_end()) return true;
        error_ = "unexpected " + found() + " after the " + statement + " statement";
        return false;
    }

    std::string rest_as_text() {
        std::string text;
        while (!at_end()) {
            if (!text.empty()) text += ' ';
            text += tokens_[pos_++].text;
        }
        return text;
    }

  private:
    static std::string unit_list(std::initializer_list<const char*> units) {
        std::string list;
        for (const char* u : units) {
            if (!list.empty()) list += " or ";
            list += "'" + std::string(u) + "'";
        }
        return list;
    }

    std::vector<token> tokens_;
    std::size_t pos_ = 0;
    std::size_t last_value_ = static_cast<std::size_t>(-1);
    std::string error_;
};

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

bool parse_vehicle(line_parser& p, scenario& s) {
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

bool parse_train(line_parser& p, scenario& s) {
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

bool parse_key(line_parser& p, std::int32_t& key) {
    static const struct {
        const char* name;
        std::int32_t key;
    } names[] = {{"confirm", 0}, {"release", 1}, {"eb", 2}, {"reset", 3}};
    for (const auto& n : names) {
        if (p.accept_word(n.name)) {
            key = n.key;
            return true;
        }
    }
    return p.whole("a key number or name (confirm, release, eb, reset)", key);
}

bool parse_beacon(line_parser& p, ats::beacon_data& b) {
    static const char* const names[4] = {"type", "signal", "distance", "optional"};
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

bool parse_action(line_parser& p, action& a) {
    const char* actions =
        "an action (power, brake, reverser, key, horn, doors, signal, beacon, note)";
    const auto verb = p.peek_text();
    if (!verb) return p.fail(actions);
    const std::string& v = *verb;
    p.skip();
    if (v == "power") {
        a.kind = action_kind::power;
        return p.whole("a power notch", a.value) && p.finish("power");
    }
    if (v == "brake") {
        a.kind = action_kind::brake;
        // Resolved against the vehicle's notches once the whole file is read.
        if (p.accept_word("emergency")) {
            a.text = "emergency";
            return p.finish("brake");
        }
        return p.whole("a brake notch or 'emergency'", a.value) && p.finish("brake");
    }
    if (v == "reverser") {
        a.kind = action_kind::reverser;
        if (p.accept_word("forward")) {
            a.value = 1;
        } else if (p.accept_word("neutral")) {
            a.value = 0;
        } else if (p.accept_word("backward")) {
            a.value = -1;
        } else if (!p.whole("a reverser position (forward, neutral, backward or a number)",
                            a.value)) {
            return false;
        }
        return p.finish("reverser");
    }
    if (v == "key") {
        if (!parse_key(p, a.value)) return false;
        if (p.accept_word("down")) {
            a.kind = action_kind::key_down;
        } else if (p.accept_word("up")) {
            a.kind = action_kind::key_up;
        } else {
            return p.fail("'down' or 'up' after the key");
        }
        return p.finish("key");
    }
    if (v == "horn") {
        a.kind = action_kind::horn;
        if (!p.at_end() && !p.whole("a horn kind (a number) or the end of the line", a.value)) {
            return false;
        }
        return p.finish("horn");
    }
    if (v == "doors") {
        if (p.accept_word("open")) {
            a.kind = action_kind::doors_open;
        } else if (p.accept_word("close")) {
            a.kind = action_kind::doors_close;
        } else {
            return p.fail("'open' or 'close' after 'doors'");
        }
        return p.finish("doors");
    }
    if (v == "signal") {
        a.kind = action_kind::signal;
        return p.whole("a signal aspect", a.value) && p.finish("signal");
    }
    if (v == "beacon") {
        a.kind = action_kind::beacon;
        return parse_beacon(p, a.beacon);
    }
    if (v == "note") {
        a.kind = action_kind::note;
        a.text = p.rest_as_text();
        return true;
    }
    p.back();
    return p.fail(actions);
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

// "at 12 s", "at 600 m", "after 2 s", "when stopped"
bool parse_trigger(line_parser& p, const std::string& first, trigger& t) {
    if (first == "at") {
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
    if (first == "after") {
        t.kind = trigger_kind::after;
        return parse_time(p, "a delay ('after 2 s')", t.value);
    }
    if (!p.accept_word("stopped")) return p.fail("'stopped' after 'when'");
    t = {trigger_kind::when_stopped, 0.0};
    return true;
}

bool parse_end(line_parser& p, end_condition& e) {
    const auto first = p.peek_text();
    if (first && (*first == "at" || *first == "after" || *first == "when")) p.skip();
    if (first && *first == "at") {
        trigger t;
        if (!parse_trigger(p, "at", t)) return false;
        e.kind = t.kind == trigger_kind::at_position ? end_kind::at_position : end_kind::at_time;
        e.value = t.value;
    } else if (first && *first == "after") {
        e.kind = end_kind::after_last_event;
        if (!parse_time(p, "a delay after the last event ('end after 5 s')", e.value)) {
            return false;
        }
    } else if (first && *first == "when") {
        if (!p.accept_word("stopped")) return p.fail("'stopped' after 'end when'");
        e.kind = end_kind::when_stopped;
    } else {
        return p.fail("'at', 'after' or 'when stopped' after 'end'");
    }
    return p.finish("end");
}

bool parse_statement(line_parser& p, scenario& s, int line) {
    const char* statements = "a setting (name, vehicle, train, frame, start, location, speed, "
                             "initialize, end) or an event (at, after, when)";
    const auto first = p.peek_text();
    if (!first) return p.fail(statements);
    const std::string& w = *first;
    p.skip();
    if (w == "at" || w == "after" || w == "when") {
        event e;
        e.line = line;
        return parse_trigger(p, w, e.when) && parse_action(p, e.what) &&
               (s.events.push_back(e), true);
    }
    if (w == "name") {
        s.name = p.rest_as_text();
        return true;
    }
    if (w == "vehicle") return parse_vehicle(p, s);
    if (w == "train") return parse_train(p, s);
    if (w == "frame") {
        double ms = 0.0;
        std::string unit;
        const std::string what = "a frame step from 1 to 1000 ms";
        if (!p.number(what, ms, {"ms"}, &unit)) return false;
        if (unit.empty() || ms != std::floor(ms) || ms < 1 || ms > max_frame_ms) {
            return p.reject(what);
        }
        s.frame_ms = static_cast<std::int32_t>(ms);
        return p.finish("frame");
    }
    if (w == "start") {
        const auto clock = p.peek_text();
        if (!clock || !parse_clock(*clock, s.start_ms)) {
            return p.fail("a time of day 'hh:mm' or 'hh:mm:ss'");
        }
        p.skip();
        return p.finish("start");
    }
    if (w == "location")
        return p.number("a location in m", s.location, {"m"}) && p.finish("location");
    if (w == "speed") {
        return p.number("a speed in km/h", s.speed, {"km/h"}) && p.finish("speed");
    }
    if (w == "initialize")
        return p.whole("an Initialize parameter", s.initialize_param) && p.finish("initialize");
    if (w == "end") return parse_end(p, s.end);
    p.back();
    return p.fail(statements);
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

const char* key_name(std::int32_t key) {
    switch (key) {
    case 0: return "confirm";
    case 1: return "release";
    case 2: return "EB acknowledge";
    case 3: return "reset";
    default: return nullptr;
    }
}

} // namespace sim
