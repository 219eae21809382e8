// Sweeps: one or two of a scenario's numbers taken through ranges, each combination (a cell) one
// closed-loop run through the plug-in, and what each cell's train did at the swept beacon.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/account.h"
#include "tools/sim/run.h"
#include "tools/sim/scenario.h"

namespace sim {

// More cells than this is a mistake in a range, not a sweep anyone waits for.
constexpr std::size_t max_sweep_cells = 100000;
// A train this far past the stop point, moving with no brake acting, did not stop: its cell ends.
constexpr double ran_on_m = 1000.0;

// One of the scenario's numbers set to a value: "speed=80", "beacon.distance=250".
struct setting {
    std::string name;
    std::string text; // the value as written; the cell's value is this text read back
    double value = 0.0;
};

// "NAME=FROM:TO:STEP" and "NAME=VALUE" from the command line; false with `error` set.
bool parse_sweep_option(const std::string& text, sweep_statement& out, std::string& error);
bool parse_set_option(const std::string& text, setting& out, std::string& error);

// Gives the scenario's number `name` the value; false with `error` when the scenario has no
// such number or the value is out of its range.
bool apply_setting(scenario& s, const setting& value, std::string& error);

struct sweep_axis {
    std::string name;
    std::vector<setting> values;
};

// What a sweep runs: its axes (the first varies slowest), the fixed settings, and the beacon
// whose announced stop point the cells are measured against.
struct sweep_plan {
    std::vector<sweep_axis> axes;
    std::vector<setting> fixed;
    int measured_line = 0;      // the beacon event's line; 0 when the scenario has none
    std::string scenario_path;  // as given; empty for the built-in journey
    std::string library_option; // the --library given, for the replay command

    std::size_t cells() const;
    std::vector<setting> cell_settings(std::size_t cell) const;
    // The command that runs one cell alone, with its replay page.
    std::string replay_command(std::size_t cell) const;
};

// Builds the plan from the scenario's sweep statements and the command line's --sweep and --set
// (a --set of a swept name fixes it: that is how a cell is run alone). No sweep at all leaves
// `plan.axes` empty. False with one line in `error` for a bad name or range.
bool make_sweep_plan(const scenario& s, const std::vector<sweep_statement>& sweeps,
                     const std::vector<setting>& sets, sweep_plan& plan, std::string& error);

// What one cell's run showed.
struct cell_result {
    // The brake the run's account tells, the first to begin at or after the check (or on at
    // the check): its device ("protection", "vigilance", ...) and cause; empty: none.
    std::string brake_by, brake_cause;
    double brake_at = 0.0;
    bool checked = false; // the swept beacon was passed
    double check_at = 0.0, check_speed = 0.0, distance = 0.0, stop_point = 0.0;
    enum stop_kind : int { no_check, stopped, did_not_stop } stop = no_check;
    double stopped_at = 0.0;
    double physics_margin = 0.0; // room left braking at the emergency rate from the check
    std::int64_t frames = 0, failed_frames = 0;
    double permitted = 0.0; // the script's permitted speed at the check; NaN when unknown

    double margin() const { return stop_point - stopped_at; }
    // One line for the workers' pipe, exact on every platform, and back.
    std::string encode() const;
    bool decode(const std::string& text);
};

// A pattern check's figures from the script at `script_path`, each distance evaluated once in
// this process: a sweep's cells share few distances.
pattern_evaluator remembered_pattern(const std::string& script_path);

// Runs one cell through the library, exactly as a single run of that scenario would run, ending
// once the cell's figures are settled (the train stood after the beacon, or ran on past it).
cell_result run_cell(const hostkit::plugin_api& api, const scenario& base, const sweep_plan& plan,
                     std::size_t cell, const pattern_evaluator& evaluate);

// The script's permitted speed for every checked cell, from the script at `script_path`.
void fill_permitted(std::vector<cell_result>& cells, const std::string& script_path);

// The sweep's outputs: one CSV row per cell, the page, the one-line summary.
bool write_sweep_csv(std::FILE* out, const sweep_plan& plan, const std::vector<cell_result>& cells);
bool write_sweep_page(std::FILE* out, const scenario& s, const sweep_plan& plan,
                      const std::vector<cell_result>& cells);
std::string sweep_summary(const sweep_plan& plan, const std::vector<cell_result>& cells);

// The page template (page/sweep.html with its style and script inlined), generated at build time.
std::string_view sweep_page_template();

// Runs every cell: in this process with one worker, otherwise in `workers` copies of this program
// started with --sweep-worker, each loading the library once and taking cells as it finishes
// them. A progress bar goes to standard error when it is a terminal. False with `error` set when
// a worker fails.
bool run_sweep(const hostkit::plugin_library& library, const std::string& scenario_text,
               const scenario& s, const sweep_plan& plan, int workers,
               std::vector<cell_result>& cells, std::string& error);

// The worker's side: reads its task from standard input, answers on standard output.
int sweep_worker_main();

// The cores of this machine.
int core_count();

} // namespace sim
