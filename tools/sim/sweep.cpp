// Sweeps of a scenario: the plan of cells, one cell's run and what it showed, the workers, and
// the CSV file, page and summary line.
#include "tools/sim/sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>

#include "tools/sim/check_script.h"
#include "tools/sim/csv.h"
#include "tools/sim/replay.h"
#include "tools/sim/scenario_lexer.h"
#include "tools/sim/sweep_pool.h"

namespace sim {

namespace {

namespace beacon = ats::cab::beacon;

// The numbers a sweep or --set can change, with the ranges the scenario language allows them.
enum class target_kind {
    speed,
    location,
    beacon_distance,
    beacon_position,
    power,
    accel,
    decel,
    emergency,
    resistance,
    drag,
    power_notches
};

struct target {
    target_kind kind = target_kind::speed;
    std::size_t event = 0; // the beacon or power event
    double low = 0.0, high = 0.0;
    bool whole = false;
};

const char known_names[] =
    "speed, location, beacon.distance, beacon.position, power, train.accel, train.decel, "
    "train.emergency, train.resistance, train.drag, train.power_notches; beacon@LINE.distance, "
    "beacon@LINE.position and power@LINE name the event on a line";

// The beacon a plain 'beacon.' name means: the first pattern-check beacon, else the first beacon.
bool default_beacon(const scenario& s, std::size_t& index) {
    bool found = false;
    for (std::size_t i = 0; i < s.events.size(); ++i) {
        const action& a = s.events[i].what;
        if (a.kind != action_kind::beacon) continue;
        if (a.beacon.type == beacon::pattern_check) {
            index = i;
            return true;
        }
        if (!found) index = i;
        found = true;
    }
    return found;
}

// "beacon@12.distance" -> line 12 and "distance"; "beacon.distance" -> line 0.
bool split_at_line(const std::string& name, const std::string& head, int& line, std::string& tail) {
    if (name.compare(0, head.size(), head) != 0) return false;
    std::size_t at = head.size();
    line = 0;
    if (at < name.size() && name[at] == '@') {
        std::size_t digits = 0;
        ++at;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9' && digits < 9) {
            line = line * 10 + (name[at++] - '0');
            ++digits;
        }
        if (digits == 0 || line == 0) return false;
    }
    tail = name.substr(at);
    return true;
}

bool resolve(const scenario& s, const std::string& name, target& t, std::string& error) {
    static const struct {
        const char* name;
        target_kind kind;
        double low, high;
        bool whole;
    } plain[] = {
        {"speed", target_kind::speed, -1000.0, 1000.0, false},
        {"location", target_kind::location, -1.0e7, 1.0e7, false},
        {"train.accel", target_kind::accel, 0.0, 20.0, false},
        {"train.decel", target_kind::decel, 0.0, 20.0, false},
        {"train.emergency", target_kind::emergency, 0.0, 20.0, false},
        {"train.resistance", target_kind::resistance, 0.0, 20.0, false},
        {"train.drag", target_kind::drag, 0.0, 1.0, false},
        {"train.power_notches", target_kind::power_notches, 1.0, 99.0, true},
    };
    for (const auto& p : plain) {
        if (name == p.name) {
            t = {p.kind, 0, p.low, p.high, p.whole};
            return true;
        }
    }
    int line = 0;
    std::string tail;
    const bool is_beacon =
        split_at_line(name, "beacon", line, tail) && (tail == ".distance" || tail == ".position");
    const bool is_power = !is_beacon && split_at_line(name, "power", line, tail) && tail.empty();
    if (!is_beacon && !is_power) {
        error = "no number '" + quote_excerpt(name) + "' to set (" + known_names + ")";
        return false;
    }
    const action_kind kind = is_beacon ? action_kind::beacon : action_kind::power;
    const char* what = is_beacon ? "beacon" : "'power' event";
    bool found = false;
    if (line == 0 && is_beacon) {
        found = default_beacon(s, t.event);
    } else {
        for (std::size_t i = 0; i < s.events.size() && !found; ++i) {
            if (s.events[i].what.kind == kind && (line == 0 || s.events[i].line == line)) {
                t.event = i;
                found = true;
            }
        }
    }
    if (!found) {
        error = line == 0 ? std::string("the scenario has no ") + what + " for '" + name + "'"
                          : "line " + std::to_string(line) + " of the scenario is no " + what +
                                " (for '" + name + "')";
        return false;
    }
    if (is_power) {
        t = {target_kind::power, t.event, 0.0, 99.0, true};
    } else if (tail == ".distance") {
        t = {target_kind::beacon_distance, t.event, -1.0e7, 1.0e7, false};
    } else {
        if (s.events[t.event].when.kind != trigger_kind::at_position) {
            error = "the beacon on line " + std::to_string(s.events[t.event].line) +
                    " is not placed 'at' a position, so '" + name + "' cannot move it";
            return false;
        }
        t = {target_kind::beacon_position, t.event, -1.0e7, 1.0e7, false};
    }
    return true;
}

// "80" rather than "80.000000000000014": a value as few digits write it, read back exactly.
setting make_setting(const std::string& name, double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    setting s{name, text, std::strtod(text, nullptr)};
    if (s.value == 0.0) s = {name, "0", 0.0}; // no "-0"
    return s;
}

bool in_range(const target& t, double v) {
    return std::isfinite(v) && v >= t.low && v <= t.high && (!t.whole || v == std::floor(v));
}

std::string range_text(const target& t) {
    return (t.whole ? "a whole number" : "a value") + std::string(" from ") +
           make_setting("", t.low).text + " to " + make_setting("", t.high).text;
}

void apply(scenario& s, const target& t, double v) {
    switch (t.kind) {
    case target_kind::speed: s.speed = v; break;
    case target_kind::location: s.location = v; break;
    case target_kind::beacon_distance:
        s.events[t.event].what.beacon.distance = static_cast<float>(v);
        break;
    case target_kind::beacon_position: s.events[t.event].when.value = v; break;
    case target_kind::power: s.events[t.event].what.value = static_cast<std::int32_t>(v); break;
    case target_kind::accel: s.train.accel = v; break;
    case target_kind::decel: s.train.decel = v; break;
    case target_kind::emergency: s.train.emergency = v; break;
    case target_kind::resistance: s.train.resistance = v; break;
    case target_kind::drag: s.train.drag = v; break;
    case target_kind::power_notches: s.train.power_notches = static_cast<std::int32_t>(v); break;
    }
}

// Splits "NAME=REST".
bool split_assignment(const std::string& text, std::string& name, std::string& rest) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    name = text.substr(0, eq);
    rest = text.substr(eq + 1);
    return true;
}

bool read_number(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Everything about a range that does not depend on the scenario.
bool check_range(const sweep_statement& w, std::size_t& count, std::string& error) {
    if (!std::isfinite(w.from) || !std::isfinite(w.to) || !std::isfinite(w.step)) {
        error = "the range needs finite numbers";
        return false;
    }
    if (w.step <= 0.0) {
        error = "the step must be above 0, not " + make_setting("", w.step).text;
        return false;
    }
    if (w.to < w.from) {
        error = "the range runs backward: " + make_setting("", w.from).text + " is above " +
                make_setting("", w.to).text;
        return false;
    }
    // A last value within a millionth of a step of the end counts, whatever the rounding.
    const double steps = std::floor((w.to - w.from) / w.step + 1e-6);
    if (steps >= static_cast<double>(max_sweep_cells)) {
        error = "the range has more than " + std::to_string(max_sweep_cells) + " values";
        return false;
    }
    count = static_cast<std::size_t>(steps) + 1;
    return true;
}

// A word of the replay command, quoted when a shell would split or read it.
std::string command_word(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./:=@+-,", c);
    });
    if (plain) return word;
    std::string quoted = "\"";
    for (const char c : word) {
#ifdef _WIN32
        // The command interpreter takes a path's backslashes as they are.
        if (c == '"') quoted += '"';
#else
        if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
#endif
        quoted += c;
    }
    return quoted + "\"";
}

bool write_all(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

// Watches one cell's run: the swept beacon, the account's brakes, where the train stood.
class cell_watch : public run_observer {
  public:
    cell_watch(int beacon_line, const run_account& account)
        : line_(beacon_line), account_(account) {}

    void on_event(const moment& at, const event& e, const scenario& s) override {
        if (r.checked || e.line != line_ || e.what.kind != action_kind::beacon) return;
        r.checked = true;
        check_frame_ = at.frame;
        r.check_at = at.location;
        r.check_speed = static_cast<float>(at.speed); // as the host reports it
        r.distance = static_cast<double>(e.what.beacon.distance);
        r.stop_point = at.location + r.distance;
        const double rate = s.train.emergency;
        const double need = rate > 0.0 ? r.check_speed * r.check_speed / (7.2 * rate)
                                       : std::numeric_limits<double>::infinity();
        r.physics_margin = r.distance - need;
        // A brake already on as the train passes is the brake of this check.
        const std::vector<brake_span>& brakes = account_.brakes();
        if (!brakes.empty() && brakes.back().to < 0) {
            brake_ = brakes.size() - 1;
            r.brake_at = at.location;
        }
    }

    void on_frame(const frame_record& f, const scenario&) override {
        // The account has seen this frame first: a brake that began on it is its last.
        const std::size_t count = account_.brakes().size();
        if (count > seen_) {
            if (first_ == none) {
                first_ = seen_;
                first_at_ = f.at.location;
            }
            if (r.checked && brake_ == none && f.at.frame >= check_frame_) {
                brake_ = seen_;
                r.brake_at = f.at.location;
            }
            seen_ = count;
        }
        if (!r.checked || r.stop != cell_result::no_check) return;
        if (f.at.speed == 0.0) {
            r.stop = cell_result::stopped;
            r.stopped_at = f.at.location;
        } else if (f.at.location > r.stop_point + ran_on_m && f.cab.acting.brake == 0) {
            r.stop = cell_result::did_not_stop;
            r.stopped_at = f.at.location;
        }
    }

    void on_finish(const run_summary& summary, const scenario&) override {
        r.frames = summary.frames;
        r.failed_frames = summary.failed_frames;
        if (!r.checked && first_ != none) {
            brake_ = first_;
            r.brake_at = first_at_;
        }
        // A cause may be told after the brake's first frame: read once the run is over.
        if (brake_ != none && brake_ < account_.brakes().size()) {
            r.brake_by = account_.brakes()[brake_].device;
            r.brake_cause = account_.brakes()[brake_].cause;
        }
        if (r.checked && r.stop == cell_result::no_check) {
            r.stop = summary.end.speed == 0.0 ? cell_result::stopped : cell_result::did_not_stop;
            r.stopped_at = summary.end.location;
        }
    }

    bool settled() const override { return r.stop != cell_result::no_check; }

    cell_result r;

  private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    int line_;
    const run_account& account_;
    std::int64_t check_frame_ = 0;
    std::size_t seen_ = 0, brake_ = none, first_ = none;
    double first_at_ = 0.0;
};

const char* stop_word(cell_result::stop_kind k) {
    return k == cell_result::stopped        ? "stopped"
           : k == cell_result::did_not_stop ? "did-not-stop"
                                            : "no-check";
}

// A number as the CSV file and the page write it; empty when there is none.
std::string figure(double v, bool present = true) {
    return present && std::isfinite(v) ? fixed3(v) : std::string();
}

// The cell's figures in the CSV file's columns after its settings.
std::vector<std::string> figures(const cell_result& c) {
    const bool stood = c.stop == cell_result::stopped;
    return {c.brake_by,
            c.brake_cause,
            figure(c.brake_at, !c.brake_by.empty()),
            figure(c.check_at, c.checked),
            figure(c.check_speed, c.checked),
            figure(c.permitted, c.checked),
            figure(c.stop_point, c.checked),
            stop_word(c.stop),
            figure(c.stopped_at, stood),
            figure(c.margin(), stood),
            figure(c.physics_margin, c.checked),
            std::to_string(c.frames)};
}

const char* const figure_columns[] = {
    "brake_by",        "brake_cause",   "brake_at_m",       "check_at_m",
    "check_speed_kmh", "permitted_kmh", "stop_point_m",     "stop",
    "stopped_at_m",    "margin_m",      "physics_margin_m", "frames"};

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// The worst cell: one that did not stop (the fastest at the check), else the largest overrun.
std::size_t worst_cell(const std::vector<cell_result>& cells) {
    std::size_t worst = cells.size();
    auto rank = [](const cell_result& c) {
        if (c.stop == cell_result::did_not_stop) return 1.0e12 + c.check_speed;
        if (c.stop == cell_result::stopped) return -c.margin();
        return -std::numeric_limits<double>::infinity();
    };
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].stop == cell_result::no_check) continue;
        if (worst == cells.size() || rank(cells[i]) > rank(cells[worst])) worst = i;
    }
    return worst;
}

// Bits of a double as hexadecimal: exact on every platform and every printf.
void put_double(std::string& out, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    char text[24];
    std::snprintf(text, sizeof text, " %016llx", static_cast<unsigned long long>(bits));
    out += text;
}

// A text as one word of the pipe's line: '%', spaces and line ends by their code.
std::string put_word(const std::string& text) {
    if (text.empty()) return "-";
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == ' ' || c == '\n' || c == '\r' || c == '-') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string get_word(const std::string& word) {
    if (word == "-") return {};
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 2 < word.size()) {
            out += static_cast<char>(std::strtol(word.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += word[i];
        }
    }
    return out;
}

bool get_double(const char*& p, double& v) {
    char* end = nullptr;
    const unsigned long long bits = std::strtoull(p, &end, 16);
    if (end == p) return false;
    std::uint64_t b = bits;
    std::memcpy(&v, &b, sizeof v);
    p = end;
    return true;
}

// The pattern script the library reads: beside it.
std::string script_beside(const std::string& library_path) {
    const std::size_t slash = library_path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : library_path.substr(0, slash + 1)) +
           "signal_pattern.nut";
}

} // namespace

bool parse_sweep_option(const std::string& text, sweep_statement& out, std::string& error) {
    std::string name, rest;
    const std::string form = "--sweep takes NAME=FROM:TO:STEP";
    if (!split_assignment(text, name, rest)) {
        error = form + ", not '" + quote_excerpt(text) + "'";
        return false;
    }
    const std::size_t a = rest.find(':');
    const std::size_t b = a == std::string::npos ? a : rest.find(':', a + 1);
    if (b == std::string::npos || rest.find(':', b + 1) != std::string::npos ||
        !read_number(rest.substr(0, a), out.from) ||
        !read_number(rest.substr(a + 1, b - a - 1), out.to) ||
        !read_number(rest.substr(b + 1), out.step)) {
        error = form + " with three numbers, not '" + quote_excerpt(text) + "'";
        return false;
    }
    out.name = name;
    out.line = 0;
    return true;
}

bool parse_set_option(const std::string& text, setting& out, std::string& error) {
    std::string name, rest;
    double value = 0.0;
    if (!split_assignment(text, name, rest) || !read_number(rest, value)) {
        error = "--set takes NAME=VALUE, not '" + quote_excerpt(text) + "'";
        return false;
    }
    out = {name, rest, value};
    return true;
}

bool apply_setting(scenario& s, const setting& value, std::string& error) {
    target t;
    if (!resolve(s, value.name, t, error)) return false;
    if (!in_range(t, value.value)) {
        error = value.name + " takes " + range_text(t) + ", not " + value.text;
        return false;
    }
    apply(s, t, value.value);
    return true;
}

std::size_t sweep_plan::cells() const {
    std::size_t n = axes.empty() ? 0 : 1;
    for (const sweep_axis& a : axes)
        n *= a.values.size();
    return n;
}

std::vector<setting> sweep_plan::cell_settings(std::size_t cell) const {
    std::vector<setting> out(axes.size());
    for (std::size_t k = axes.size(); k-- > 0;) {
        out[k] = axes[k].values[cell % axes[k].values.size()];
        cell /= axes[k].values.size();
    }
    return out;
}

std::string sweep_plan::replay_command(std::size_t cell) const {
    std::string command = "talvik-sim";
    if (!library_option.empty()) command += " --library " + command_word(library_option);
    for (const setting& s : fixed)
        command += " --set " + command_word(s.name + "=" + s.text);
    for (const setting& s : cell_settings(cell))
        command += " --set " + command_word(s.name + "=" + s.text);
    if (!scenario_path.empty()) command += " " + command_word(scenario_path);
    return command + " --html cell.html";
}

bool make_sweep_plan(const scenario& s, const std::vector<sweep_statement>& sweeps,
                     const std::vector<setting>& sets, sweep_plan& plan, std::string& error) {
    // The file's statements, then the command line's: a name given again takes the later range.
    std::vector<sweep_statement> all;
    for (const std::vector<sweep_statement>* list : {&s.sweeps, &sweeps}) {
        for (const sweep_statement& w : *list) {
            auto same = std::find_if(all.begin(), all.end(),
                                     [&](const sweep_statement& o) { return o.name == w.name; });
            if (same != all.end()) all.erase(same);
            all.push_back(w);
        }
    }
    // Where a sweep was asked for, for its error line.
    auto where = [&](const sweep_statement& w) {
        return w.line > 0 ? s.source + ":" + std::to_string(w.line) + ": sweep " + w.name + ": "
                          : "--sweep " + w.name + ": ";
    };
    plan.fixed.clear();
    plan.axes.clear();
    for (const setting& v : sets) {
        target t;
        if (!resolve(s, v.name, t, error)) {
            error = "--set " + quote_excerpt(v.name) + ": " + error;
            return false;
        }
        if (!in_range(t, v.value)) {
            error = "--set " + v.name + ": " + range_text(t) + " is needed, not " + v.text;
            return false;
        }
        plan.fixed.push_back(v);
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [&](const sweep_statement& w) { return w.name == v.name; }),
                  all.end());
    }
    if (all.size() > 2) {
        error = where(all[2]) + "a sweep takes one or two numbers, and this is a third";
        return false;
    }
    std::size_t total = 1;
    std::vector<target> targets;
    for (const sweep_statement& w : all) {
        target t;
        std::size_t count = 0;
        if (!resolve(s, w.name, t, error) || !check_range(w, count, error)) {
            error = where(w) + error;
            return false;
        }
        total *= count;
        if (total > max_sweep_cells) {
            error = where(w) + "the sweep would run more than " + std::to_string(max_sweep_cells) +
                    " cells";
            return false;
        }
        sweep_axis axis{w.name, {}};
        for (std::size_t i = 0; i < count; ++i) {
            axis.values.push_back(make_setting(w.name, w.from + static_cast<double>(i) * w.step));
            if (!in_range(t, axis.values.back().value)) {
                error = where(w) + range_text(t) + " is needed, not " + axis.values.back().text;
                return false;
            }
        }
        // Two names for one number would sweep it twice over.
        for (std::size_t k = 0; k < targets.size(); ++k) {
            if (targets[k].kind == t.kind && targets[k].event == t.event) {
                error = where(w) + "names the same number as " + plan.axes[k].name;
                return false;
            }
        }
        targets.push_back(t);
        plan.axes.push_back(std::move(axis));
    }
    // The measured beacon: the swept or set one, else the scenario's pattern beacon.
    plan.measured_line = 0;
    std::vector<std::string> names;
    for (const sweep_axis& a : plan.axes)
        names.push_back(a.name);
    for (const setting& v : plan.fixed)
        names.push_back(v.name);
    for (const std::string& name : names) {
        target t;
        std::string ignored;
        if (plan.measured_line == 0 && resolve(s, name, t, ignored) &&
            (t.kind == target_kind::beacon_distance || t.kind == target_kind::beacon_position))
            plan.measured_line = s.events[t.event].line;
    }
    std::size_t b = 0;
    if (plan.measured_line == 0 && default_beacon(s, b)) plan.measured_line = s.events[b].line;
    return true;
}

std::string cell_result::encode() const {
    std::string out = put_word(brake_by) + " " + put_word(brake_cause);
    out += checked ? " 1" : " 0";
    out += " " + std::to_string(static_cast<int>(stop));
    for (const double v :
         {brake_at, check_at, check_speed, distance, stop_point, stopped_at, physics_margin})
        put_double(out, v);
    out += " " + std::to_string(frames) + " " + std::to_string(failed_frames);
    return out;
}

bool cell_result::decode(const std::string& text) {
    const std::size_t first = text.find(' ');
    const std::size_t space = first == std::string::npos ? first : text.find(' ', first + 1);
    if (space == std::string::npos) return false;
    brake_by = get_word(text.substr(0, first));
    brake_cause = get_word(text.substr(first + 1, space - first - 1));
    const char* p = text.c_str() + space;
    char* end = nullptr;
    checked = std::strtol(p, &end, 10) != 0;
    p = end;
    const long kind = std::strtol(p, &end, 10);
    if (end == p || kind < 0 || kind > 2) return false;
    stop = static_cast<stop_kind>(kind);
    p = end;
    for (double* v : {&brake_at, &check_at, &check_speed, &distance, &stop_point, &stopped_at,
                      &physics_margin}) {
        if (!get_double(p, *v)) return false;
    }
    frames = std::strtoll(p, &end, 10);
    if (end == p) return false;
    p = end;
    failed_frames = std::strtoll(p, &end, 10);
    return end != p;
}

pattern_evaluator remembered_pattern(const std::string& script_path) {
    auto seen = std::make_shared<std::map<double, pattern_answer>>();
    return [seen, script_path](double distance) {
        const auto at = seen->find(distance);
        if (at != seen->end()) return at->second;
        const check_figures f = evaluate_check(script_path, distance);
        const pattern_answer answer{f.evaluated, f.brake_offset, f.permitted, f.failure};
        seen->emplace(distance, answer);
        return answer;
    };
}

cell_result run_cell(const hostkit::plugin_api& api, const scenario& base, const sweep_plan& plan,
                     std::size_t cell, const pattern_evaluator& evaluate) {
    scenario s = base;
    for (const setting& v : plan.cell_settings(cell)) {
        std::string error;
        apply_setting(s, v, error); // checked when the plan was made
    }
    run_account account(evaluate);
    cell_watch watch(plan.measured_line, account);
    const std::vector<run_observer*> observers{&account, &watch};
    run_scenario(api, s, observers);
    return watch.r;
}

void fill_permitted(std::vector<cell_result>& cells, const std::string& script_path) {
    std::vector<double> distances;
    for (const cell_result& c : cells) {
        if (c.checked) distances.push_back(c.distance);
    }
    std::sort(distances.begin(), distances.end());
    distances.erase(std::unique(distances.begin(), distances.end()), distances.end());
    pattern_curve curve;
    if (!distances.empty()) curve = evaluate_pattern(script_path, distances);
    for (cell_result& c : cells) {
        c.permitted = std::numeric_limits<double>::quiet_NaN();
        if (!c.checked || !curve.error.empty()) continue;
        const auto at = std::lower_bound(distances.begin(), distances.end(), c.distance);
        c.permitted = curve.permitted[static_cast<std::size_t>(at - distances.begin())];
    }
}

bool write_sweep_csv(std::FILE* out, const sweep_plan& plan,
                     const std::vector<cell_result>& cells) {
    std::string text = "cell";
    for (const sweep_axis& a : plan.axes)
        text += "," + csv_field(a.name);
    for (const char* c : figure_columns)
        text += std::string(",") + c;
    text += ",replay\n";
    bool ok = write_all(out, text);
    for (std::size_t i = 0; i < cells.size() && ok; ++i) {
        text = std::to_string(i);
        for (const setting& v : plan.cell_settings(i))
            text += "," + v.text;
        for (const std::string& f : figures(cells[i]))
            text += "," + csv_field(f);
        text += "," + csv_field(plan.replay_command(i)) + "\n";
        ok = write_all(out, text);
    }
    return ok && std::fflush(out) == 0 && !std::ferror(out);
}

bool write_sweep_page(std::FILE* out, const scenario& s, const sweep_plan& plan,
                      const std::vector<cell_result>& cells) {
    std::string data = "{\"format\":1,\"name\":";
    append_quoted(data, s.name);
    data += ",\"source\":";
    append_quoted(data, s.source);
    data += ",\"emergency\":" + fixed3(s.train.emergency);
    data += ",\"ran_on_m\":" + fixed3(ran_on_m);
    // The replay command of a cell: before, its settings as "--set NAME=VALUE", after.
    std::string before = "talvik-sim";
    if (!plan.library_option.empty()) before += " --library " + command_word(plan.library_option);
    for (const setting& v : plan.fixed)
        before += " --set " + command_word(v.name + "=" + v.text);
    std::string after = (plan.scenario_path.empty() ? "" : " " + command_word(plan.scenario_path)) +
                        " --html cell.html";
    data += ",\"replay\":[";
    append_quoted(data, before);
    data += ",";
    append_quoted(data, after);
    data += "],\"axes\":[";
    for (std::size_t k = 0; k < plan.axes.size(); ++k) {
        data += k == 0 ? "{\"name\":" : ",{\"name\":";
        append_quoted(data, plan.axes[k].name);
        data += ",\"values\":[";
        for (std::size_t i = 0; i < plan.axes[k].values.size(); ++i) {
            if (i > 0) data += ',';
            append_quoted(data, plan.axes[k].values[i].text);
        }
        data += "]}";
    }
    data += "],\"columns\":[";
    for (const char* c : figure_columns) {
        if (c != figure_columns[0]) data += ',';
        append_quoted(data, c);
    }
    data += "],\"cells\":[";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        data += i == 0 ? "\n[" : ",\n[";
        bool first = true;
        for (const std::string& f : figures(cells[i])) {
            if (!first) data += ',';
            first = false;
            append_quoted(data, f);
        }
        data += ']';
    }
    data += "],\"summary\":";
    append_quoted(data, sweep_summary(plan, cells));
    data += "}\n";

    const std::string_view page = sweep_page_template();
    const std::string_view slot = "@SWEEP_DATA@";
    std::size_t at = page.find(slot);
    if (at == std::string_view::npos) at = page.size();
    const std::string head(page.substr(0, at));
    const std::string tail(page.substr(std::min(at + slot.size(), page.size())));
    return write_all(out, head) && write_all(out, data) && write_all(out, tail) &&
           std::fflush(out) == 0 && !std::ferror(out);
}

std::string sweep_summary(const sweep_plan& plan, const std::vector<cell_result>& cells) {
    std::size_t overran = 0, ran_on = 0, unchecked = 0;
    for (const cell_result& c : cells) {
        if (c.stop == cell_result::did_not_stop) ++ran_on;
        if (c.stop == cell_result::stopped && c.margin() < 0.0) ++overran;
        if (c.stop == cell_result::no_check) ++unchecked;
    }
    std::string names;
    for (const sweep_axis& a : plan.axes)
        names += (names.empty() ? "" : " x ") + a.name;
    std::string line = "sweep of " + std::to_string(cells.size()) + " cells (" + names +
                       "): " + std::to_string(overran + ran_on) + " overran the stop point";
    if (ran_on > 0) line += " (" + std::to_string(ran_on) + " did not stop)";
    if (unchecked > 0) line += ", " + std::to_string(unchecked) + " never passed the beacon";
    const std::size_t w = worst_cell(cells);
    if (w < cells.size() && (overran + ran_on) > 0) {
        std::string at;
        for (const setting& v : plan.cell_settings(w))
            at += " " + v.name + "=" + v.text;
        const cell_result& c = cells[w];
        line += "; the worst:" + at + ", " +
                (c.stop == cell_result::did_not_stop
                     ? "did not stop (" + fixed3(c.check_speed) + " km/h at the beacon)"
                     : fixed3(-c.margin()) + " m past the stop point");
    }
    return line;
}

namespace {

// A progress bar on a terminal: redrawn when a cell ends, at most every hundredth of the cells.
class progress {
  public:
    explicit progress(std::size_t total) : total_(total), shown_(os::stderr_is_terminal()) {}
    void cell_done() {
        ++done_;
        if (!shown_ || (done_ != total_ && done_ < next_)) return;
        next_ = done_ + std::max<std::size_t>(1, total_ / 100);
        constexpr int width = 40;
        const int filled = static_cast<int>(done_ * width / std::max<std::size_t>(total_, 1));
        std::fprintf(stderr, "\r[%s%s] %s/%s cells", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), std::to_string(done_).c_str(),
                     std::to_string(total_).c_str());
        if (done_ == total_) std::fprintf(stderr, "\r%*s\r", width + 40, "");
        std::fflush(stderr);
    }

  private:
    std::size_t total_, done_ = 0, next_ = 0;
    bool shown_;
};

// Cells go out in batches, one message each way per batch: smaller as the sweep nears its
// end, so no worker is left with a long batch while the others stand idle.
constexpr std::size_t largest_batch = 32;
std::size_t batch_size(std::size_t left, int workers) {
    return std::clamp<std::size_t>(left / (static_cast<std::size_t>(workers) * 4), 1,
                                   largest_batch);
}

} // namespace

bool run_sweep(const hostkit::plugin_library& library, const std::string& scenario_text,
               const scenario& s, const sweep_plan& plan, int workers,
               std::vector<cell_result>& cells, std::string& error) {
    const std::size_t total = plan.cells();
    cells.assign(total, cell_result{});
    progress bar(total);
    scenario base = s;
    for (const setting& v : plan.fixed) {
        if (!apply_setting(base, v, error)) return false;
    }
    workers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(workers), total));
    if (workers <= 1) {
        const pattern_evaluator evaluate = remembered_pattern(script_beside(library.path()));
        for (std::size_t i = 0; i < total; ++i) {
            cells[i] = run_cell(library.api(), base, plan, i, evaluate);
            bar.cell_done();
        }
        return true;
    }
    os::worker_pool pool;
    if (!pool.start(workers, "--sweep-worker", error)) return false;
    // The task: the library, the scenario as text, its settings; then cells by number.
    std::string task = "library " + library.path() + "\nsource " + s.source + "\nmeasure " +
                       std::to_string(plan.measured_line) + "\n";
    for (const setting& v : plan.fixed)
        task += "set " + v.name + "=" + v.text + "\n";
    for (const sweep_axis& a : plan.axes) {
        task += "axis " + a.name + " " + std::to_string(a.values.size()) + "\n";
        for (const setting& v : a.values)
            task += v.text + "\n";
    }
    task += "text " + std::to_string(scenario_text.size()) + "\n" + scenario_text + "\n";
    std::size_t next = 0, done = 0;
    // Each worker holds a batch and the next, so it never waits for us between them.
    std::vector<std::size_t> held(static_cast<std::size_t>(workers), 0), last(held);
    auto give = [&](int w) {
        if (next >= total) return true;
        const std::size_t count = std::min(batch_size(total - next, workers), total - next);
        const auto k = static_cast<std::size_t>(w);
        held[k] += count;
        last[k] = count;
        const std::string message =
            "cells " + std::to_string(next) + " " + std::to_string(count) + "\n";
        next += count;
        return pool.send(w, message);
    };
    for (int w = 0; w < workers; ++w) {
        if (!pool.send(w, task) || !give(w) || !give(w)) {
            error = "a worker could not be given its task";
            return false;
        }
    }
    int w = 0;
    std::string line;
    while (done < total && pool.next_line(w, line)) {
        if (line.rfind("error ", 0) == 0) {
            error = line.substr(6);
            return false;
        }
        if (line.rfind("cell ", 0) != 0) continue;
        char* end = nullptr;
        const unsigned long long i = std::strtoull(line.c_str() + 5, &end, 10);
        if (i >= total || *end != ' ' || !cells[i].decode(end + 1)) {
            error = "a worker answered '" + quote_excerpt(line) + "'";
            return false;
        }
        ++done;
        bar.cell_done();
        // Its older batch done: the next goes out while it works on the newer one.
        const auto k = static_cast<std::size_t>(w);
        if (held[k] > 0) --held[k];
        if (held[k] <= last[k] && !give(w)) {
            error = "a worker stopped taking cells";
            return false;
        }
    }
    const bool exited = pool.finish();
    if (done < total) {
        error = "a worker ended before its cells were done";
        return false;
    }
    if (!exited) {
        error = "a worker failed";
        return false;
    }
    return true;
}

namespace {
int worker_main() {
    os::binary_stdio();
    auto fail = [](const std::string& message) {
        std::printf("error %s\n", message.c_str());
        std::fflush(stdout);
        return 1;
    };
    std::string library_path, source, line;
    sweep_plan plan;
    auto read_line = [&](std::string& out) {
        out.clear();
        int c = 0;
        while ((c = std::getchar()) != EOF && c != '\n')
            out += static_cast<char>(c);
        return c != EOF || !out.empty();
    };
    std::string text;
    while (read_line(line)) {
        if (line.rfind("library ", 0) == 0) {
            library_path = line.substr(8);
        } else if (line.rfind("source ", 0) == 0) {
            source = line.substr(7);
        } else if (line.rfind("measure ", 0) == 0) {
            plan.measured_line = std::atoi(line.c_str() + 8);
        } else if (line.rfind("set ", 0) == 0) {
            setting v;
            std::string error;
            if (!parse_set_option(line.substr(4), v, error)) return fail(error);
            plan.fixed.push_back(v);
        } else if (line.rfind("axis ", 0) == 0) {
            const std::size_t space = line.rfind(' ');
            sweep_axis axis{line.substr(5, space - 5), {}};
            const long count = std::atol(line.c_str() + space + 1);
            if (count < 1 || static_cast<unsigned long>(count) > max_sweep_cells)
                return fail("an axis of " + quote_excerpt(line.substr(space + 1)) + " values");
            for (long i = 0; i < count && read_line(line); ++i) {
                setting v;
                std::string error;
                if (!parse_set_option(axis.name + "=" + line, v, error)) return fail(error);
                axis.values.push_back(v);
            }
            plan.axes.push_back(std::move(axis));
        } else if (line.rfind("text ", 0) == 0) {
            const std::size_t size = std::strtoull(line.c_str() + 5, nullptr, 10);
            if (size > max_scenario_bytes) return fail("a scenario larger than any file read");
            text.resize(size);
            if (std::fread(&text[0], 1, size, stdin) != size) return fail("the task ended early");
            read_line(line);
            break;
        } else {
            return fail("a task line not understood: " + quote_excerpt(line));
        }
    }
    scenario s;
    const std::vector<parse_error> errors = parse_scenario(text, source, s);
    if (!errors.empty()) return fail(errors.front().text());
    for (const setting& v : plan.fixed) {
        std::string error;
        if (!apply_setting(s, v, error)) return fail(error);
    }
    hostkit::plugin_library library;
    std::string error;
    if (!library.open(library_path, error)) return fail(error);
    const std::size_t total = plan.cells();
    const pattern_evaluator evaluate = remembered_pattern(script_beside(library.path()));
    while (read_line(line)) {
        // "cells FIRST COUNT": the results go back together, one line each.
        if (line.rfind("cells ", 0) != 0) return fail("a cell line not understood");
        char* end = nullptr;
        const std::size_t first = std::strtoull(line.c_str() + 6, &end, 10);
        const std::size_t count = std::strtoull(end, &end, 10);
        if (*end != '\0' || count == 0) return fail("a cell line not understood");
        if (first >= total || count > total - first) return fail("no cells " + line.substr(6));
        for (std::size_t cell = first; cell < first + count; ++cell) {
            const cell_result r = run_cell(library.api(), s, plan, cell, evaluate);
            std::printf("cell %s %s\n", std::to_string(cell).c_str(), r.encode().c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}
} // namespace

int sweep_worker_main() {
    // Its task comes down a pipe; whatever it holds ends in one line, not an abort.
    try {
        return worker_main();
    } catch (const std::exception& e) {
        std::printf("error the worker stopped: %s\n", e.what());
        std::fflush(stdout);
        return 1;
    }
}

int core_count() { return os::core_count(); }

} // namespace sim
