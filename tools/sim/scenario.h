// A scripted journey: the vehicle, the train model, the frame step and the host's events.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/host/host_types.h"
#include "tools/sim/train_model.h"
#include "wiring/cab.h"

namespace sim {

enum class trigger_kind {
    at_time,     // seconds since the first frame
    at_position, // metres, reached while running forward
    after,       // seconds after the event before it in the file
    when_stopped // the train stands, once the event before it in the file has happened
};

struct trigger {
    trigger_kind kind = trigger_kind::at_time;
    double value = 0.0;
};

enum class action_kind {
    power,
    brake,
    reverser,
    key_down,
    key_up,
    horn,
    doors_open,
    doors_close,
    signal,
    beacon,
    note
};

struct action {
    action_kind kind = action_kind::note;
    std::int32_t value = 0; // notch, position, key, horn kind or aspect
    ats::beacon_data beacon{};
    std::string text; // a note's words
};

struct event {
    int line = 0;
    trigger when;
    action what;
};

enum class end_kind { after_last_event, at_time, at_position, when_stopped };

// 'sweep NAME from A to B step S': one of the scenario's numbers taken through a range, each
// value one run (see sweep.h).
struct sweep_statement {
    int line = 0;
    std::string name;
    double from = 0.0, to = 0.0, step = 0.0;
};

struct end_condition {
    end_kind kind = end_kind::after_last_event;
    double value = 5.0; // seconds or metres
};

struct scenario {
    std::string name;
    std::string source; // the file it came from
    ats::vehicle_spec spec{8, 0, 2, 0, 0};
    train_model train;
    std::int32_t frame_ms = 20;
    std::int32_t start_ms = 10 * 3600 * 1000; // simulated time of day of the first frame
    double location = 0.0;
    double speed = 0.0;
    std::int32_t initialize_param = 0;
    end_condition end;
    std::vector<event> events;
    std::vector<sweep_statement> sweeps;

    std::int32_t emergency_brake() const {
        return ats::cab::emergency_position(spec.brake_notches);
    }
};

struct parse_error {
    std::string file;
    int line = 0; // 0: the file as a whole
    std::string message;

    // "file:line: message"
    std::string text() const;
};

// Parses scenario text; every malformed line gives one error. `out` is usable only when the
// result is empty.
std::vector<parse_error> parse_scenario(std::string_view text, const std::string& file,
                                        scenario& out);

// Reads and parses a scenario file.
std::vector<parse_error> load_scenario_file(const std::string& path, scenario& out);

// The journey used when no scenario is given.
std::string_view default_scenario_text();
constexpr const char* default_scenario_source = "built-in journey";

// The largest scenario text read, so that no file can exhaust memory.
constexpr std::size_t max_scenario_bytes = 16u << 20;

} // namespace sim
