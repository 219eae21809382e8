// What a talvik-sim run costs as it grows: three scenarios, each read from its file and run
// through the plug-in library with no output (talvik-sim --quiet), timed together. Times are the
// process's processor time, which a machine shared with other work disturbs least.
//   talvik_sim_cost [repetitions]
// A run must cost frames plus events: an hour with 100,000 events at most an hour with 10 events
// plus 5 us an event, and ten hours about ten times one hour.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/run.h"
#include "tools/sim/scenario.h"

namespace {

// A driver who keeps the train going; the hour's other events spread over time and position.
std::string scenario_text(int hours, int events) {
    std::string text = "end at " + std::to_string(hours * 3600) + " s\n";
    const char* start[] = {"at 0.5 s key release down", "after 0.2 s key release up",
                           "at 1 s doors close", "at 1 s reverser forward", "at 1 s power 3"};
    for (const char* line : start)
        text += std::string(line) + "\n";
    char line[160];
    for (int i = 0; i < events - 5; ++i) {
        const double seconds = 2.0 + 3590.0 * i / events;
        const double metres = 100.0 + 90000.0 * i / events;
        switch (i % 8) {
        case 0: std::snprintf(line, sizeof line, "at %.3f s note event %d", seconds, i); break;
        case 1:
            std::snprintf(line, sizeof line,
                          "at %.1f m beacon type 147 signal 0 distance 0 optional 120", metres);
            break;
        case 2: std::snprintf(line, sizeof line, "at %.3f s power %d", seconds, 2 + i % 2); break;
        case 3: std::snprintf(line, sizeof line, "after 0.1 s key release down"); break;
        case 4: std::snprintf(line, sizeof line, "after 0.1 s key release up"); break;
        case 5: std::snprintf(line, sizeof line, "at %.1f m signal %d", metres, i % 4); break;
        case 6: std::snprintf(line, sizeof line, "at %.3f s horn", seconds); break;
        default: std::snprintf(line, sizeof line, "at %.3f s brake 0", seconds); break;
        }
        text += std::string(line) + "\n";
    }
    return text;
}

struct measured {
    const char* what;
    int hours, events;
    std::string path;
    double seconds = 0.0; // median
    std::int64_t frames = 0;
};

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    hostkit::plugin_library library;
    std::string error;
    if (!library.open(TALVIK_LIBRARY_PATH, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<measured> runs = {{"1 h, 10 events", 1, 10, {}},
                                  {"1 h, 100,000 events", 1, 100000, {}},
                                  {"10 h, 10 events", 10, 10, {}}};
    for (measured& m : runs) {
        m.path =
            "talvik-sim-cost-" + std::to_string(m.hours) + "h-" + std::to_string(m.events) + ".txt";
        std::ofstream(m.path) << scenario_text(m.hours, m.events);
    }
    // Turn about, so that a busy moment of the machine spreads over all three.
    std::vector<std::vector<double>> times(runs.size());
    for (int r = 0; r < repetitions; ++r) {
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const std::clock_t start = std::clock();
            sim::scenario s;
            const auto errors = sim::load_scenario_file(runs[i].path, s);
            if (!errors.empty()) {
                std::fprintf(stderr, "%s\n", errors.front().text().c_str());
                return 1;
            }
            runs[i].frames = sim::run_scenario(library.api(), s, {}).frames;
            times[i].push_back(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
        }
    }
    std::printf("%-22s %10s %10s %12s %14s\n", "run (read and run)", "frames", "events",
                "median (s)", "per frame (us)");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::sort(times[i].begin(), times[i].end());
        runs[i].seconds = times[i][times[i].size() / 2];
        std::printf("%-22s %10lld %10d %12.4f %14.3f\n", runs[i].what,
                    static_cast<long long>(runs[i].frames), runs[i].events, runs[i].seconds,
                    runs[i].seconds * 1e6 / static_cast<double>(runs[i].frames));
        std::remove(runs[i].path.c_str());
    }
    const double per_event_us = (runs[1].seconds - runs[0].seconds) * 1e6 / (100000 - 10);
    std::printf("each of the 99,990 more events: %.2f us (at most 5)\n", per_event_us);
    std::printf("ten hours / one hour: %.2f (about 10)\n", runs[2].seconds / runs[0].seconds);
    return per_event_us <= 5.0 ? 0 : 1;
}
