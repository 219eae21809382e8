// Records a run for the replay page and fills the page's template with it.
#include "tools/sim/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "tools/sim/check_script.h"
#include "tools/sim/csv.h"

namespace sim {

namespace {

namespace beacon = ats::cab::beacon;
// Points of each permitted-speed curve, from the arming beacon to the stop point.
constexpr int curve_steps = 100;
// Where the run's data goes in the template.
constexpr std::string_view data_slot = "@REPLAY_DATA@";

void append_number(std::string& out, std::int64_t value) { out += std::to_string(value); }

// Beyond this a number's thousandths, and the difference of two of them, would not fit 64 bits.
constexpr double largest_number = 4.0e15;

// JSON has no NaN or infinity: a script may return them, or numbers past any chart.
void append_number(std::string& out, double value) {
    out += std::isfinite(value) && std::fabs(value) < largest_number ? fixed3(value) : "null";
}

template <typename T> void append_value(std::string& out, const T& value) {
    if constexpr (std::is_floating_point_v<T>) {
        append_number(out, static_cast<double>(value));
    } else if constexpr (std::is_integral_v<T>) {
        append_number(out, static_cast<std::int64_t>(value));
    } else {
        append_quoted(out, value);
    }
}

// One line of a list: "[a,b,...]", after a comma unless it is the list's first.
template <typename... T> void append_row(std::string& out, bool first, const T&... values) {
    out += first ? "\n[" : ",\n[";
    bool head = true;
    ((out += head ? "" : ",", head = false, append_value(out, values)), ...);
    out += ']';
}

// Thousandths as the CSV file rounds them. An accepted scenario's run keeps far inside the
// bound, which keeps the differences of differences exact in the page's numbers (2^53).
constexpr double largest_thousandths = 1.0e15;
std::int64_t thousandths(double value) {
    if (std::isnan(value)) return 0;
    return std::llround(std::clamp(value * 1000.0, -largest_thousandths, largest_thousandths));
}

bool write_all(std::FILE* out, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

// Characters of `value` in the data.
std::size_t number_length(std::int64_t value) {
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::size_t n = value < 0 ? 2 : 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++n;
    }
    return n;
}

// Characters of `text` quoted in the data.
std::size_t quoted_length(std::string_view text) {
    std::size_t n = 2;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        n += c == '"' || c == '\\' ? 2 : u < 0x20 || c == '<' || c == '>' || c == '&' ? 6 : 1;
    }
    return n;
}

void append_listed(chunked_text& list, std::int64_t value) {
    char text[24];
    const int n = std::snprintf(text, sizeof text, list.empty() ? "%lld" : ",%lld",
                                static_cast<long long>(value));
    list.append(std::string_view(text, static_cast<std::size_t>(n)));
}

template <typename... T> void append_row(chunked_text& list, const T&... values) {
    std::string row;
    append_row(row, list.empty(), values...);
    list.append(row);
}

// What a check adds to the data at most: its fields and a curve of numbers of up to 20
// characters each.
constexpr std::size_t pattern_check_bytes = 128 + (curve_steps + 1) * 42;
constexpr std::size_t speed_check_bytes = 48;

// The outputs and the driver's handles of one frame, in the order of the page's channels.
template <typename Each> void each_channel(const frame_record& f, Each each) {
    const cab_state& cab = f.cab;
    std::size_t c = 0;
    for (const std::int32_t v :
         {cab.acting.brake, cab.acting.power, cab.acting.reverser, cab.acting.const_speed})
        each(c++, v);
    for (const std::int32_t v : cab.panel)
        each(c++, v);
    for (const std::int32_t v : cab.sound)
        each(c++, v);
    for (const std::int32_t v : {f.driver.power, f.driver.brake, f.driver.reverser,
                                 static_cast<std::int32_t>(f.driver.doors_closed)})
        each(c++, v);
}

} // namespace

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
            // '<' escaped too, so nothing in the data can close the script element it sits in.
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", u);
            out += code;
        } else {
            out += c;
        }
    }
    out += '"';
}

namespace {

// A small second difference is one letter: 'a' is -26, 'z' -1, 'A' 0, 'Z' 25; any other goes as
// "(value)". A run of the same value is its letter and "~more" (how many more times).
constexpr std::string_view difference_letters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::int64_t smallest_letter = -26;

std::string difference_token(std::int64_t value) {
    const std::int64_t i = value - smallest_letter;
    if (i >= 0 && i < static_cast<std::int64_t>(difference_letters.size()))
        return std::string(1, difference_letters[static_cast<std::size_t>(i)]);
    return "(" + std::to_string(value) + ")";
}

} // namespace

std::string replay_recorder::second_differences::pending() const {
    if (run_count == 0) return {};
    const std::string token = difference_token(run_value);
    if (run_count == 2 && token.size() == 1) return token + token;
    return run_count == 1 ? token : token + "~" + std::to_string(run_count - 1);
}

std::size_t replay_recorder::second_differences::cost(std::int64_t value) const {
    const std::int64_t second = (value - last) - last_delta;
    // A run that grows by a digit at most, or a new token and the run before it closed.
    return run_count > 0 && second == run_value ? 1 : number_length(second) + 3;
}

void replay_recorder::second_differences::add(std::int64_t value) {
    const std::int64_t delta = value - last;
    const std::int64_t second = delta - last_delta;
    last = value;
    last_delta = delta;
    if (run_count > 0 && second == run_value) {
        ++run_count;
        return;
    }
    text.append(pending());
    run_value = second;
    run_count = 1;
}

void chunked_text::append(std::string_view text) {
    if (pieces_.empty() || pieces_.back().size() + text.size() > piece_bytes)
        pieces_.emplace_back();
    pieces_.back() += text;
    size_ += text.size();
}

void chunked_text::truncate(std::size_t size) {
    while (!pieces_.empty() && size_ - pieces_.back().size() >= size) {
        size_ -= pieces_.back().size();
        pieces_.pop_back();
    }
    if (size_ > size) {
        pieces_.back().resize(pieces_.back().size() - (size_ - size));
        size_ = size;
    }
}

bool chunked_text::write(std::FILE* out) const {
    for (const std::string& piece : pieces_) {
        if (!write_all(out, piece)) return false;
    }
    return true;
}

bool replay_recorder::room(std::size_t bytes) {
    if (bytes > data_ceiling_bytes - data_bytes_) return false;
    data_bytes_ += bytes;
    return true;
}

bool replay_recorder::take_lines() {
    std::size_t bytes = 0;
    for (const timeline_line& line : lines_)
        bytes += number_length(line.frame) + quoted_length(line.text) + 4;
    // The account's new marks, and a brake's span, count against the ceiling too.
    const std::vector<account_entry>& entries = account_.entries();
    for (; marks_seen_ < entries.size(); ++marks_seen_) {
        const account_entry& e = entries[marks_seen_];
        if (!e.label.empty())
            bytes += number_length(e.at.frame) + quoted_length(e.label) + 16 +
                     (e.kind == told::brake ? 2 * quoted_length(e.label) + 40 : 0);
    }
    const bool fits = room(bytes);
    if (fits) {
        for (const timeline_line& line : lines_)
            append_row(timeline_rows_, line.frame, line.text);
    }
    lines_.clear();
    return fits;
}

void replay_recorder::keep() {
    kept_.bytes = data_bytes_;
    kept_.rows = timeline_rows_.size();
    kept_.pattern_checks = pattern_checks_.size();
    kept_.speed_checks = speed_checks_.size();
}

void replay_recorder::stop() {
    // What came after the last whole frame goes, so the page ends with that frame.
    data_bytes_ = kept_.bytes;
    timeline_rows_.truncate(kept_.rows);
    pattern_checks_.resize(kept_.pattern_checks);
    speed_checks_.resize(kept_.speed_checks);
    stopped_ = true;
    append_row(timeline_rows_, std::max<std::int64_t>(frames_ - 1, 0),
               std::string("   the page stops here: its data reached the ") +
                   std::to_string(data_ceiling_bytes >> 20) +
                   " MB it may hold; the text timeline and the CSV file have the whole run");
}

void replay_recorder::on_start(const scenario& s, std::int32_t plugin_version) {
    timeline_.on_start(s, plugin_version);
    marks_seen_ = account_.entries().size();
    name_ = s.name;
    source_ = s.source;
    plugin_version_ = plugin_version;
    brake_notches_ = s.spec.brake_notches;
    emergency_ = s.emergency_brake();
    ats_notch_ = s.spec.ats_notch;
    power_notches_ = s.train.power_notches;
    frame_ms_ = s.frame_ms;
    start_ms_ = s.start_ms;
    channels_.clear();
    for (const char* name : {"brake", "power", "reverser", "const_speed"})
        channels_.push_back({name, {}, 0, false});
    for (const std::int32_t index : panel_indices)
        channels_.push_back({"panel_" + std::to_string(index), {}, 0, false});
    for (const std::int32_t index : sound_indices)
        channels_.push_back({"sound_" + std::to_string(index), {}, 0, false});
    for (const char* name : {"driver_power", "driver_brake", "driver_reverser", "doors_closed"})
        channels_.push_back({name, {}, 0, false});
    data_bytes_ = quoted_length(name_) + quoted_length(source_);
    take_lines();
    keep();
}

void replay_recorder::on_event(const moment& at, const event& e, const scenario& s) {
    if (stopped_) return;
    timeline_.on_event(at, e, s);
    if (!take_lines()) return stop();
    if (e.what.kind != action_kind::beacon) return;
    const ats::beacon_data& b = e.what.beacon;
    if (b.type == beacon::pattern_check && b.signal == 0) {
        // A second beacon before the frame replaces the first: one check runs.
        if (pattern_checks_.size() > kept_.pattern_checks &&
            pattern_checks_.back().frame == at.frame) {
            pattern_checks_.pop_back();
        } else if (!room(pattern_check_bytes)) {
            return stop();
        }
        pattern_checks_.push_back(
            {at.frame, static_cast<double>(b.distance), static_cast<float>(at.speed)});
    } else if ((b.type == beacon::braking_speed_check || b.type == beacon::alarm_speed_check) &&
               b.optional >= 0) {
        if (!room(speed_check_bytes)) return stop();
        speed_checks_.push_back({at.frame, b.type, b.optional});
    }
}

void replay_recorder::on_frame(const frame_record& f, const scenario& s) {
    // A page shows at least one frame, whatever came before it.
    if (stopped_ && frames_ > 0) return;
    if (!stopped_) timeline_.on_frame(f, s);
    const std::int64_t k = f.at.frame;
    const std::int64_t location = thousandths(f.at.location);
    const std::int64_t speed = thousandths(f.at.speed);

    std::size_t bytes = location_mm_.cost(location) + speed_.cost(speed);
    each_channel(f, [&](std::size_t c, std::int32_t v) {
        if (!channels_[c].any || channels_[c].last != v)
            bytes += number_length(k) + number_length(v) + 2;
    });
    const bool fits = !stopped_ && take_lines() && room(bytes);
    if (!fits && !stopped_) stop();
    if (!fits && k > 0) return;
    location_mm_.add(location);
    speed_.add(speed);
    each_channel(f, [&](std::size_t c, std::int32_t v) {
        channel& ch = channels_[c];
        if (ch.any && ch.last == v) return;
        append_listed(ch.changes, k);
        append_listed(ch.changes, v);
        ch.last = v;
        ch.any = true;
    });
    frames_ = k + 1;
    if (fits) keep();
}

void replay_recorder::on_debug(const moment& at, const std::string& line) {
    if (stopped_) return;
    timeline_.on_debug(at, line);
    if (!take_lines()) stop();
}

void replay_recorder::on_finish(const run_summary& summary, const scenario& s) {
    failed_frames_ = summary.failed_frames;
    run_frames_ = summary.frames;
    if (stopped_) return;
    timeline_.on_finish(summary, s);
    // The closing lines belong to the last frame: past the ceiling they go, and the page says so.
    if (!take_lines()) stop();
}

bool replay_recorder::write_data(std::FILE* file, const std::string& script_path) const {
    // The run's large parts go out as they are, never copied: `out` holds the text between them.
    bool written = true;
    std::string out;
    auto put = [&](const chunked_text& large) {
        written = written && write_all(file, out) && large.write(file);
        out.clear();
    };
    out += "{\"format\":1,\"run\":{\"name\":";
    append_quoted(out, name_);
    out += ",\"source\":";
    append_quoted(out, source_);
    for (const auto& [key, value] :
         {std::pair<const char*, std::int64_t>{"plugin_version", plugin_version_},
          {"brake_notches", brake_notches_},
          {"emergency", emergency_},
          {"ats_notch", ats_notch_},
          {"power_notches", power_notches_},
          {"frame_ms", frame_ms_},
          {"start_ms", start_ms_},
          {"frames", frames_},
          {"failed_frames", failed_frames_}}) {
        out += ",\"";
        out += key;
        out += "\":";
        append_number(out, value);
    }
    // Letters and digits only: nothing in them needs escaping.
    out += "},\n\"location_mm\":\"";
    put(location_mm_.text);
    out += location_mm_.pending();
    out += "\",\n\"speed\":\"";
    put(speed_.text);
    out += speed_.pending();
    out += '"';
    out += ",\n\"channels\":{";
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        append_quoted(out, channels_[i].name);
        out += ":[";
        put(channels_[i].changes);
        out += ']';
    }
    // Each index as [column, name, meaning, values]; the page keys everything by the column.
    out += "},\n\"indices\":[";
    for (const ats::cab::index_meaning& m : ats::cab::panel_layout) {
        append_row(out, &m == ats::cab::panel_layout.data(), "panel_" + std::to_string(m.index),
                   m.name, m.meaning, m.values);
    }
    for (const ats::cab::index_meaning& m : ats::cab::sound_layout) {
        append_row(out, false, "sound_" + std::to_string(m.index), m.name, m.meaning,
                   m.kind == ats::cab::shows::one_shot_sound ? "one-shot" : "continuous");
    }
    out += "],\n\"timeline\":[";
    put(timeline_rows_);

    // Each check's curve, from the beacon's distance down to the stop point; the first point is
    // the permitted speed the check compared with.
    std::vector<double> distances;
    for (const pattern_check& p : pattern_checks_) {
        for (int i = 0; i <= curve_steps; ++i)
            distances.push_back(p.distance * (curve_steps - i) / curve_steps);
    }
    pattern_curve curve;
    if (!distances.empty()) curve = evaluate_pattern(script_path, distances);
    out += "],\n\"pattern_checks\":[";
    // The verdict is the account's; the curve beyond the compared point is drawn for reading.
    const std::vector<pattern_made>& made = account_.pattern_checks();
    std::size_t m = 0;
    for (std::size_t i = 0; i < pattern_checks_.size(); ++i) {
        const pattern_check& p = pattern_checks_[i];
        while (m < made.size() && made[m].frame < p.frame)
            ++m;
        const pattern_answer* answer =
            m < made.size() && made[m].frame == p.frame && made[m].answer.evaluated
                ? &made[m].answer
                : nullptr;
        out += i == 0 ? "\n{\"frame\":" : ",\n{\"frame\":";
        append_number(out, p.frame);
        out += ",\"distance\":";
        append_number(out, p.distance);
        out += ",\"speed\":";
        append_number(out, static_cast<double>(p.speed));
        if (answer != nullptr) {
            out += ",\"permitted\":";
            append_number(out, static_cast<double>(answer->permitted));
            out += ",\"braked\":";
            out += answer->permitted <= p.speed ? "true" : "false";
        }
        if (curve.error.empty()) {
            const std::size_t at = i * (curve_steps + 1);
            out += ",\"curve\":[";
            for (std::size_t j = at; j <= at + curve_steps; ++j) {
                if (j > at) out += ',';
                append_number(out, distances[j]);
                out += ',';
                append_number(out, static_cast<double>(curve.permitted[j]));
            }
            out += ']';
        }
        out += '}';
    }
    out += "],\n\"script_error\":";
    if (curve.error.empty()) {
        out += "null";
    } else {
        append_quoted(out, curve.error);
    }
    out += ",\n\"speed_checks\":[";
    for (const speed_check& c : speed_checks_)
        append_row(out, &c == speed_checks_.data(), c.frame, c.type, c.speed);
    // The account: its marks for the chart, its brakes and interlocks as spans of frames.
    out += "],\n\"marks\":[";
    bool first = true;
    for (const account_entry& e : account_.entries()) {
        if (e.label.empty() || e.at.frame >= frames_) continue;
        append_row(out, first, e.at.frame, told_name(e.kind), e.label);
        first = false;
    }
    for (const auto& [key, spans] :
         {std::pair<const char*, const std::vector<brake_span>*>{"brakes", &account_.brakes()},
          {"interlocks", &account_.interlocks()}}) {
        out += "],\n\"";
        out += key;
        out += "\":[";
        first = true;
        for (const brake_span& b : *spans) {
            if (b.from >= frames_) continue;
            const std::int64_t to = b.to < 0 || b.to >= frames_ ? frames_ - 1 : b.to;
            append_row(out, first, b.from, to, b.device, b.cause);
            first = false;
        }
    }
    // Where the page's cab finds each index: by the name the code gives it, not its number.
    {
        namespace panel = ats::cab::panel;
        namespace sound = ats::cab::sound;
        const std::pair<std::string, std::int32_t> panels[] = {
            {"white_lamp", panel::white_lamp},
            {"red_lamp", panel::red_lamp},
            {"vigilance_lamp", panel::vigilance_lamp},
            {"emergency_brake_lamp", panel::emergency_brake_lamp},
            {"one_man_lamp", panel::one_man_lamp},
            {"stop_station_lamp", panel::stop_station_lamp},
            {"month", panel::month},
            {"day", panel::day},
            {"minutes", panel::minutes},
            {"seconds", panel::seconds},
            {"position_hundreds", panel::position_hundreds},
            {"position_tens", panel::position_tens},
            {"position_units", panel::position_units},
            {"position_tenths", panel::position_tenths},
            {"max_speed_hundreds", panel::max_speed_hundreds},
            {"max_speed_tens", panel::max_speed_tens},
            {"max_speed_units", panel::max_speed_units},
            {"traction_shown", panel::traction_shown},
            {"traction_state", panel::traction_state},
        };
        const std::pair<std::string, std::int32_t> sounds[] = {
            {"bell", sound::bell},
            {"chime", sound::chime},
            {"bell_reverb", sound::bell_reverb},
            {"vigilance_buzzer", sound::vigilance_buzzer},
            {"departure", sound::departure},
            {"stop_station", sound::stop_station},
            {"section", sound::section},
            {"lb_on", sound::lb_on},
            {"lb_off", sound::lb_off},
        };
        out += "],\n\"cab\":{";
        bool head = true;
        auto entry = [&](const std::string& name, const std::string& column) {
            out += head ? "" : ",";
            head = false;
            append_quoted(out, name);
            out += ':';
            append_quoted(out, column);
        };
        for (const auto& [name, index] : panels)
            entry("panel." + name, "panel_" + std::to_string(index));
        for (std::int32_t d = 0; d < panel::train_number_digits; ++d) {
            entry("panel.train_number_" + std::to_string(d + 1),
                  "panel_" + std::to_string(panel::train_number + d));
        }
        for (const auto& [name, index] : sounds)
            entry("sound." + name, "sound_" + std::to_string(index));
        out += '}';
    }
    // The cab's constants, so the page repeats none of them.
    out += ",\n\"constants\":{\"silent\":";
    append_number(out, static_cast<std::int64_t>(ats::cab::sound_cmd::silent));
    out += ",\"playing\":";
    append_number(out, static_cast<std::int64_t>(ats::cab::sound_cmd::playing));
    out += ",\"start_once\":";
    append_number(out, static_cast<std::int64_t>(ats::cab::sound_cmd::start_once));
    out += ",\"unchanged\":";
    append_number(out, static_cast<std::int64_t>(ats::cab::sound_cmd::unchanged));
    out += ",\"blank_digit\":";
    append_number(out, static_cast<std::int64_t>(ats::cab::blank_digit));
    out += ",\"traction_state\":\"panel_";
    out += std::to_string(ats::cab::panel::traction_state);
    out += "\",\"clock\":[\"panel_";
    out += std::to_string(ats::cab::panel::minutes);
    out += "\",\"panel_";
    out += std::to_string(ats::cab::panel::seconds);
    out += "\"],\"traction\":[";
    for (std::int32_t v = 0; ats::cab::traction_state_meaning(v) != nullptr; ++v) {
        if (v > 0) out += ',';
        append_quoted(out, ats::cab::traction_state_meaning(v));
    }
    out += "]}";
    out += "}\n";
    put(chunked_text());
    return written;
}

bool replay_recorder::write_page(std::FILE* out, const std::string& script_path) const {
    const std::string_view page = replay_page_template();
    std::size_t at = page.find(data_slot);
    if (at == std::string_view::npos) at = page.size();
    const std::string_view after = page.substr(std::min(at + data_slot.size(), page.size()));
    return write_all(out, page.substr(0, at)) && write_data(out, script_path) &&
           write_all(out, after) && std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace sim
