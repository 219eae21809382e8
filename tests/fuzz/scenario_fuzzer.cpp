// Fuzz target: its input is a scenario file, any bytes. The scenario reader takes it or refuses it
// line by line; a scenario it takes runs, at most a few hundred frames, through the plug-in
// library with every output of talvik-sim watching (timeline, CSV file, plot, replay page).
// Whatever the text, a refusal names its line in a short message, and a run stays in bounds.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/csv.h"
#include "tools/sim/plot.h"
#include "tools/sim/replay.h"
#include "tools/sim/run.h"
#include "tools/sim/scenario.h"
#include "tools/sim/timeline.h"

namespace {

// Long enough for events, checks and brakes to meet; short enough for thousands of runs a minute.
constexpr std::int64_t frames_per_run = 256;
// The longest refusal: the longest expectation and a quote cut at about 60 characters, each of
// up to four bytes.
constexpr std::size_t longest_message = 420;

hostkit::plugin_library* library = nullptr;
std::FILE* sink = nullptr;
std::string script;

void check(bool holds) {
    if (!holds) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The pattern script may print; standard output is not the fuzzer's.
    if (std::getenv("TALVIK_FUZZ_VERBOSE") == nullptr) {
        const int null_out = open("/dev/null", O_WRONLY);
        if (null_out >= 0) dup2(null_out, STDOUT_FILENO);
    }
    sink = std::fopen("/dev/null", "w");
    library = new hostkit::plugin_library;
    std::string error;
    if (sink == nullptr || !library->open(TALVIK_LIBRARY_PATH, error)) {
        std::fprintf(stderr, "scenario fuzzer: %s\n", error.c_str());
        std::abort();
    }
    const std::string& path = library->path();
    script = path.substr(0, path.find_last_of('/') + 1) + "signal_pattern.nut";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::scenario s;
    const auto errors = sim::parse_scenario(text, "fuzz.txt", s);
    for (const sim::parse_error& e : errors)
        check(e.message.size() <= longest_message && !e.message.empty());
    if (!errors.empty()) return 0;

    sim::run_account account;
    sim::timeline_printer timeline(sink, account);
    sim::csv_writer csv(sink, account);
    sim::plot_collector plot(account);
    sim::replay_recorder replay(account);
    const sim::run_summary summary = sim::run_scenario(
        library->api(), s, {&account, &timeline, &csv, &plot, &replay}, nullptr, frames_per_run);
    check(summary.frames >= 1 && summary.frames <= frames_per_run);
    check(replay.frames() == summary.frames);
    check(replay.write_page(sink, script));
    plot.gnuplot_script("fuzz.png",
                        summary.end.location > 0 ? sim::plot_axis::position : sim::plot_axis::time);
    return 0;
}
