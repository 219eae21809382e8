// talvik-sim: drives the plug-in library offline, as the host would, and shows what the cab does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/account.h"
#include "tools/sim/check_script.h"
#include "tools/sim/csv.h"
#include "tools/sim/plot.h"
#include "tools/sim/replay.h"
#include "tools/sim/run.h"
#include "tools/sim/scenario.h"
#include "tools/sim/scenario_lexer.h"
#include "tools/sim/sim_platform.h"
#include "tools/sim/sweep.h"
#include "tools/sim/timeline.h"

namespace {

enum exit_status : int {
    completed = 0,
    output_failed = 1, // an output could not be written, the plug-in failed frames, or its
                       // pattern script failed
    bad_input = 2,     // usage or scenario error: nothing ran
    bad_library = 3,   // missing library, or one without the sixteen exports
    bad_script = 4,    // --check-script: unreadable script or one that breaks the contract
};

const char usage_text[] =
    "usage: talvik-sim [OPTIONS] [SCENARIO...]\n"
    "       talvik-sim --check-script FILE [DISTANCE...]\n"
    "\n"
    "Runs each scenario through the plug-in library's exports, as the host would, with the\n"
    "train's motion following the handles the plug-in returns, and prints what the cab shows.\n"
    "Without a scenario it runs the built-in journey, which exercises every device.\n"
    "\n"
    "  --library PATH      the plug-in library (default: %s beside talvik-sim,\n"
    "                      then the one of the build)\n"
    "  --csv FILE          one row per frame: time, location, speed, handles, panel, sounds\n"
    "  --csv-dir DIR       DIR/NAME.csv for each scenario NAME.txt (for several scenarios)\n"
    "  --plot FILE.png     speed, power and brake with the events marked (needs gnuplot)\n"
    "  --plot-x time|position   the plot's horizontal axis (default: time)\n"
    "  --html FILE.html    a page that replays the run in a browser: cab, chart, timeline,\n"
    "                      the panel and sound indices; self-contained, works offline\n"
    "  --html-dir DIR      DIR/NAME.html for each scenario NAME.txt (for several scenarios)\n"
    "  --debug             show the plug-in's debug channel's lines in the timeline (it is\n"
    "                      listened to on every run, to name a failing pattern script)\n"
    "  --quiet             no timeline\n"
    "  --print-default     print the built-in journey, a starting point for a scenario\n"
    "  --check-script FILE [DISTANCE...]\n"
    "                      check a signal_pattern.nut with the plug-in's script host and\n"
    "                      print its permitted speed at the distances (metres) given, or at a\n"
    "                      table of its own; warns where the curve rises toward the stop\n"
    "                      point or goes below zero\n"
    "  --sweep NAME=FROM:TO:STEP  run the scenario once for each value (one or two of them,\n"
    "                      as the scenario's 'sweep' statement does); --csv then writes a row\n"
    "                      per run and --html a map of the stopping margins. NAME: speed,\n"
    "                      location, beacon.distance, beacon.position, power, train.accel,\n"
    "                      train.decel, train.emergency, train.resistance, train.drag,\n"
    "                      train.power_notches (beacon@LINE.distance names a beacon by line)\n"
    "  --set NAME=VALUE    set one of those numbers (a swept one: runs that value alone)\n"
    "  --workers N         processes a sweep runs in (default: one per core)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 completed; 1 an output could not be written, the plug-in failed a\n"
    "frame or its pattern script failed; 2 usage or scenario error (nothing runs); 3 library\n"
    "missing or without the sixteen exports; 4 script unreadable or not fit for the plug-in.\n";

struct options {
    std::string library;
    std::string csv;
    std::string csv_dir;
    std::string plot;
    std::string html;
    std::string html_dir;
    sim::plot_axis plot_x = sim::plot_axis::time;
    std::string check_script;
    bool debug = false;
    bool quiet = false;
    bool print_default = false;
    std::vector<std::string> scenarios;
    std::vector<sim::sweep_statement> sweeps;
    std::vector<sim::setting> sets;
    int workers = 0; // 0: one per core
};

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "talvik-sim: %s\n", message.c_str());
    return status;
}

// Parses the command line; returns -1 to go on, otherwise the exit status.
int parse_options(int argc, char** argv, options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // An empty value would mean "none" further on: it is no value.
        auto value = [&](std::string& target) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
            target = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::printf(usage_text, hostkit::library_file_name());
            return completed;
        } else if (arg == "--version") {
            std::printf("talvik-sim %s\n", TALVIK_SIM_VERSION);
            return completed;
        } else if (arg == "--library") {
            ok = value(o.library);
        } else if (arg == "--csv") {
            ok = value(o.csv);
        } else if (arg == "--csv-dir") {
            ok = value(o.csv_dir);
        } else if (arg == "--plot") {
            ok = value(o.plot);
        } else if (arg == "--html") {
            ok = value(o.html);
        } else if (arg == "--html-dir") {
            ok = value(o.html_dir);
        } else if (arg == "--plot-x") {
            std::string axis;
            ok = value(axis);
            if (ok && axis == "time") {
                o.plot_x = sim::plot_axis::time;
            } else if (ok && axis == "position") {
                o.plot_x = sim::plot_axis::position;
            } else if (ok) {
                return fail(bad_input, "--plot-x takes 'time' or 'position', not '" +
                                           sim::quote_excerpt(axis) + "'");
            }
        } else if (arg == "--check-script") {
            ok = value(o.check_script);
        } else if (arg == "--sweep" || arg == "--set") {
            std::string text, error;
            ok = value(text);
            if (ok && arg == "--sweep") {
                o.sweeps.emplace_back();
                if (!sim::parse_sweep_option(text, o.sweeps.back(), error))
                    return fail(bad_input, error);
            } else if (ok) {
                o.sets.emplace_back();
                if (!sim::parse_set_option(text, o.sets.back(), error))
                    return fail(bad_input, error);
            }
        } else if (arg == "--workers") {
            std::string text;
            ok = value(text);
            char* end = nullptr;
            const long n = ok ? std::strtol(text.c_str(), &end, 10) : 0;
            if (ok && (*end != '\0' || n < 1 || n > 256)) {
                return fail(bad_input, "--workers takes a number from 1 to 256, not '" +
                                           sim::quote_excerpt(text) + "'");
            }
            o.workers = static_cast<int>(n);
        } else if (arg == "--debug") {
            o.debug = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--print-default") {
            o.print_default = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail(bad_input,
                        "unknown option " + sim::quote_excerpt(arg) + " (--help lists them)");
        } else {
            o.scenarios.push_back(arg);
        }
        if (!ok) return fail(bad_input, sim::quote_excerpt(arg) + " needs a value");
    }
    if (!o.csv.empty() && !o.csv_dir.empty()) {
        return fail(bad_input, "--csv and --csv-dir exclude each other");
    }
    if (!o.html.empty() && !o.html_dir.empty()) {
        return fail(bad_input, "--html and --html-dir exclude each other");
    }
    if (o.scenarios.size() > 1 && (!o.sweeps.empty() || !o.sets.empty())) {
        return fail(bad_input, "--sweep and --set take one scenario");
    }
    if (o.scenarios.size() > 1 && (!o.csv.empty() || !o.plot.empty() || !o.html.empty())) {
        return fail(bad_input, "--csv, --plot and --html take one scenario; use --csv-dir or "
                               "--html-dir for several");
    }
    return -1;
}

// "tools/scenarios/doors.txt" -> "doors"
std::string stem_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

struct closer {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using file_ptr = std::unique_ptr<std::FILE, closer>;

// Where each output of each scenario goes; empty where none is wanted.
struct output_paths {
    std::vector<std::string> csv, html;
    std::string plot;
};

std::string output_path(const std::string& file, const std::string& dir, const char* extension,
                        const std::string& stem) {
    return dir.empty() ? file : dir + "/" + stem + extension;
}

// Every output names a file of its own that is not an input, and can be created: otherwise one
// line says which, before anything is written.
bool check_outputs(const options& o, const output_paths& out, std::string& error) {
    for (const auto& [option, dir] :
         {std::pair<const char*, const std::string&>{"--csv-dir", o.csv_dir},
          {"--html-dir", o.html_dir}}) {
        if (!dir.empty() && sim::os::kind_of(dir) != sim::os::path_kind::directory) {
            error = std::string(option) + " needs a directory: " + dir;
            return false;
        }
    }
    struct named {
        std::string path;
        const char* option; // null for an input
        std::string from;   // the scenario of an output under a directory; an input's kind
    };
    std::vector<named> files;
    for (const std::string& path : o.scenarios)
        files.push_back({path, nullptr, "the scenario"});
    if (!o.library.empty()) files.push_back({o.library, nullptr, "the library"});
    for (std::size_t i = 0; i < out.csv.size(); ++i) {
        const std::string from = i < o.scenarios.size() ? o.scenarios[i] : std::string();
        if (!out.csv[i].empty())
            files.push_back({out.csv[i], o.csv_dir.empty() ? "--csv" : "--csv-dir", from});
        if (!out.html[i].empty())
            files.push_back({out.html[i], o.html_dir.empty() ? "--html" : "--html-dir", from});
    }
    if (!out.plot.empty()) files.push_back({out.plot, "--plot", {}});

    std::map<std::string, const named*> seen;
    for (const named& f : files) {
        const sim::os::path_kind kind = sim::os::kind_of(f.path);
        if (f.option != nullptr && kind == sim::os::path_kind::directory) {
            error = std::string(f.option) + " names a directory: " + f.path;
            return false;
        }
        // A device or a pipe (/dev/null, a terminal) takes whatever is written to it.
        if (f.option != nullptr &&
            (kind == sim::os::path_kind::other || kind == sim::os::path_kind::pipe))
            continue;
        const auto [at, added] = seen.emplace(sim::os::file_identity(f.path), &f);
        const named& first = *at->second;
        if (added || (f.option == nullptr && first.option == nullptr)) continue; // read twice
        if (first.option == nullptr) {
            error = std::string(f.option) + " would overwrite " + first.from + " " + first.path;
        } else if (std::strcmp(f.option, first.option) == 0) {
            error = first.from + " and " + f.from + " would both write " + f.path;
        } else {
            error =
                std::string(first.option) + " and " + f.option + " both name the file " + f.path;
        }
        return false;
    }
    return true;
}

// One output file for each scenario, opened before the first frame so that a bad path stops
// the run early; null where none is wanted.
bool open_outputs(const std::vector<std::string>& paths, std::vector<file_ptr>& files,
                  std::string& failed_path) {
    for (const std::string& path : paths) {
        if (path.empty()) {
            files.emplace_back();
            continue;
        }
        files.emplace_back(std::fopen(path.c_str(), "wb"));
        if (!files.back()) {
            failed_path = path;
            return false;
        }
    }
    return true;
}

// The pattern script the library reads: beside it, as in the simulator.
std::string script_beside(const std::string& library_path) {
    const std::size_t slash = library_path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : library_path.substr(0, slash + 1)) +
           "signal_pattern.nut";
}

// Where to look for the library when none is named: beside the simulator, then the build's.
std::vector<std::string> default_library_paths() {
    std::vector<std::string> paths;
    const std::string here = hostkit::program_dir();
    if (!here.empty()) paths.push_back(here + hostkit::library_file_name());
#ifdef TALVIK_BUILT_LIBRARY
    paths.push_back(TALVIK_BUILT_LIBRARY);
#endif
    return paths;
}

bool report(const std::vector<sim::parse_error>& errors) {
    for (const auto& e : errors)
        std::fprintf(stderr, "talvik-sim: %s\n", e.text().c_str());
    return errors.empty();
}

std::string read_whole(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string text;
    if (f == nullptr) return text;
    char piece[65536];
    std::size_t n = 0;
    while ((n = std::fread(piece, 1, sizeof piece, f)) > 0)
        text.append(piece, n);
    std::fclose(f);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

// A sweep: every cell run in the workers, then the CSV file, the page and the summary line.
int run_sweep(const options& o, const sim::scenario& scenario, sim::sweep_plan& plan,
              const hostkit::plugin_library& library, std::FILE* csv, std::FILE* html) {
    plan.scenario_path = o.scenarios.empty() ? std::string() : o.scenarios[0];
    plan.library_option = o.library;
    // The workers read the scenario as it was read here, with the --set values applied there.
    const std::string text = o.scenarios.empty() ? std::string(sim::default_scenario_text())
                                                 : read_whole(o.scenarios[0]);
    sim::scenario unset;
    if (!sim::parse_scenario(text, scenario.source, unset).empty())
        return fail(bad_input, scenario.source + ": changed while it was read");
    std::vector<sim::cell_result> cells;
    std::string error;
    const int workers = o.workers > 0 ? o.workers : sim::core_count();
    if (!sim::run_sweep(library, text, unset, plan, workers, cells, error))
        return fail(output_failed, "the sweep failed: " + error);
    sim::fill_permitted(cells, script_beside(library.path()));
    int status = completed;
    std::size_t failing = 0;
    for (const sim::cell_result& c : cells)
        failing += c.failed_frames > 0 ? 1 : 0;
    if (failing > 0) {
        std::fprintf(stderr, "talvik-sim: the plug-in failed frames in %s cell(s)\n",
                     std::to_string(failing).c_str());
        status = output_failed;
    }
    if (csv != nullptr && !sim::write_sweep_csv(csv, plan, cells)) {
        std::fprintf(stderr, "talvik-sim: writing the CSV file failed\n");
        status = output_failed;
    }
    if (html != nullptr && !sim::write_sweep_page(html, scenario, plan, cells)) {
        std::fprintf(stderr, "talvik-sim: writing the sweep page failed\n");
        status = output_failed;
    }
    std::printf("%s\n", sim::sweep_summary(plan, cells).c_str());
    return status;
}

int run(const options& o) {
    // Every scenario is read before anything runs: one bad line and nothing runs. Of several,
    // each is read again when its turn comes, so that memory holds one at a time.
    sim::scenario scenario;
    std::vector<std::string> stems;
    bool parse_failed = false;
    if (o.scenarios.empty()) {
        parse_failed = !report(sim::parse_scenario(sim::default_scenario_text(),
                                                   sim::default_scenario_source, scenario));
        stems.push_back("default");
    }
    for (const std::string& path : o.scenarios) {
        if (o.scenarios.size() > 1 && sim::os::kind_of(path) == sim::os::path_kind::pipe) {
            std::fprintf(stderr,
                         "talvik-sim: %s: a pipe can be read only once; give it as the "
                         "only scenario\n",
                         path.c_str());
            parse_failed = true;
            continue;
        }
        sim::scenario s;
        parse_failed = !report(sim::load_scenario_file(path, s)) || parse_failed;
        if (o.scenarios.size() > 1 && !s.sweeps.empty()) {
            std::fprintf(stderr, "talvik-sim: %s:%d: a scenario with a sweep runs alone\n",
                         path.c_str(), s.sweeps.front().line);
            parse_failed = true;
        }
        if (o.scenarios.size() == 1) scenario = std::move(s);
        stems.push_back(stem_of(path));
    }
    if (parse_failed) return bad_input;

    sim::sweep_plan plan;
    if (stems.size() == 1) {
        std::string error;
        if (!sim::make_sweep_plan(scenario, o.sweeps, o.sets, plan, error))
            return fail(bad_input, error);
        for (const sim::setting& v : plan.fixed) {
            if (!sim::apply_setting(scenario, v, error)) return fail(bad_input, error);
        }
        if (!plan.axes.empty() &&
            (!o.plot.empty() || !o.csv_dir.empty() || !o.html_dir.empty() || o.debug)) {
            return fail(bad_input, "a sweep writes --csv and --html; --plot, --csv-dir, "
                                   "--html-dir and --debug are for single runs");
        }
        // Its workers are handed the text again: a pipe has given it once.
        if (!plan.axes.empty() && !o.scenarios.empty() &&
            sim::os::kind_of(o.scenarios[0]) == sim::os::path_kind::pipe) {
            return fail(bad_input, o.scenarios[0] + ": a sweep reads its scenario twice; give a "
                                                    "file, not a pipe");
        }
    }

    output_paths out;
    for (const std::string& stem : stems) {
        out.csv.push_back(output_path(o.csv, o.csv_dir, ".csv", stem));
        out.html.push_back(output_path(o.html, o.html_dir, ".html", stem));
    }
    out.plot = o.plot;
    std::string error;
    if (!check_outputs(o, out, error)) return fail(bad_input, error);

    hostkit::plugin_library library;
    if (!o.library.empty()) {
        if (!library.open(o.library, error)) return fail(bad_library, error);
    } else {
        bool opened = false;
        for (const std::string& path : default_library_paths()) {
            if (!hostkit::file_exists(path)) continue;
            if (!library.open(path, error)) return fail(bad_library, error);
            opened = true;
            break;
        }
        if (!opened) {
            return fail(bad_library, std::string("plug-in library not found: no ") +
                                         hostkit::library_file_name() +
                                         " beside talvik-sim; name one with --library PATH");
        }
    }

    std::vector<file_ptr> csv_files, html_files;
    std::string failed_path;
    if (!open_outputs(out.csv, csv_files, failed_path) ||
        !open_outputs(out.html, html_files, failed_path)) {
        return fail(output_failed, "cannot write " + failed_path);
    }

    if (!plan.axes.empty()) {
        return run_sweep(o, scenario, plan, library, csv_files[0].get(), html_files[0].get());
    }

    // The channel is listened to on every run: the plug-in's own words for a script failure
    // come only there. Another listener may hold it; then only --debug insists, and a failure
    // is named from talvik-sim's own evaluation of the script.
    hostkit::debug_listener debug;
    std::string not_listening;
    if (debug.open(error) != hostkit::listen_result::listening) {
        if (o.debug) return fail(output_failed, "cannot listen on the debug channel: " + error);
        not_listening = "not listening on the debug channel (" + error +
                        "): a failing pattern script is named from talvik-sim's own evaluation";
    }
    const std::string script_path = script_beside(library.path());
    const sim::pattern_evaluator evaluate = [&script_path](double distance) {
        const sim::check_figures f = sim::evaluate_check(script_path, distance);
        return sim::pattern_answer{f.evaluated, f.brake_offset, f.permitted, f.failure};
    };

    int status = completed;
    for (std::size_t i = 0; i < stems.size(); ++i) {
        if (o.scenarios.size() > 1) {
            // The file was read once already; it may have changed since.
            sim::scenario s;
            if (!report(sim::load_scenario_file(o.scenarios[i], s))) {
                status = bad_input;
                continue;
            }
            scenario = std::move(s);
        }
        // The account comes first: every output after it tells what it worked out.
        sim::run_account account(evaluate);
        sim::timeline_printer timeline(stdout, account, nullptr, o.debug);
        timeline.set_heading_note(not_listening);
        sim::plot_collector plot(account);
        sim::replay_recorder replay(account, o.debug);
        std::unique_ptr<sim::csv_writer> csv;
        std::vector<sim::run_observer*> observers{&account};
        if (!o.quiet) observers.push_back(&timeline);
        if (csv_files[i]) {
            csv = std::make_unique<sim::csv_writer>(csv_files[i].get(), account);
            observers.push_back(csv.get());
        }
        if (!o.plot.empty()) observers.push_back(&plot);
        if (html_files[i]) observers.push_back(&replay);

        const sim::run_summary summary = sim::run_scenario(library.api(), scenario, observers,
                                                           debug.is_open() ? &debug : nullptr);
        if (account.script_failures() > 0) {
            std::fprintf(stderr,
                         "talvik-sim: %s: the pattern script failed: %lld brake(s) came from it, "
                         "not from the train (the timeline says which)\n",
                         scenario.name.c_str(), static_cast<long long>(account.script_failures()));
            status = output_failed;
        }
        if (summary.failed_frames > 0) {
            std::fprintf(stderr, "talvik-sim: %s: the plug-in failed %lld frame(s)\n",
                         scenario.name.c_str(), static_cast<long long>(summary.failed_frames));
            status = output_failed;
        }
        if (csv_files[i] &&
            (std::fflush(csv_files[i].get()) != 0 || std::ferror(csv_files[i].get()))) {
            std::fprintf(stderr, "talvik-sim: writing the CSV file failed\n");
            status = output_failed;
        }
        if (html_files[i]) {
            if (!replay.write_page(html_files[i].get(), script_path)) {
                std::fprintf(stderr, "talvik-sim: writing the replay page failed\n");
                status = output_failed;
            } else if (!o.quiet && !o.html.empty()) {
                std::printf("replay page written to %s\n", o.html.c_str());
            }
            if (replay.stopped()) {
                std::fprintf(stderr,
                             "talvik-sim: %s: the replay page holds the first %lld of %lld "
                             "frames: its data reached its ceiling of %zu MB (the timeline and "
                             "the CSV file have the whole run)\n",
                             scenario.name.c_str(), static_cast<long long>(replay.frames()),
                             static_cast<long long>(replay.run_frames()),
                             sim::replay_recorder::data_ceiling_bytes >> 20);
            }
        }
        if (!o.plot.empty()) {
            if (sim::render_with_gnuplot(plot.gnuplot_script(o.plot, o.plot_x), error)) {
                if (!o.quiet) std::printf("plot written to %s\n", o.plot.c_str());
            } else {
                std::fprintf(stderr, "talvik-sim: %s\n", error.c_str());
                status = output_failed;
            }
        }
        if (!o.quiet && i + 1 < stems.size()) std::printf("\n");
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--sweep-worker") == 0) return sim::sweep_worker_main();
    options o;
    const int parsed = parse_options(argc, argv, o);
    if (parsed >= 0) return parsed;
    if (o.print_default) {
        const std::string_view text = sim::default_scenario_text();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return completed;
    }
    if (!o.check_script.empty()) {
        // What follows the script are the author's distances, in metres.
        std::vector<double> distances;
        for (const std::string& word : o.scenarios) {
            char* end = nullptr;
            const double d = std::strtod(word.c_str(), &end);
            if (word.empty() || *end != '\0' || !(d >= 0.0 && d < 1.0e7)) {
                return fail(bad_input,
                            "--check-script takes distances in metres (0 or more), not " +
                                sim::quote_excerpt(word));
            }
            distances.push_back(d);
        }
        return sim::check_script(o.check_script, stdout, distances) ? completed : bad_script;
    }
    return run(o);
}
