// A short session whose debug lines a listener checks byte for byte, on Linux and on Windows,
// in the test process and through talvik-dbgview.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"
#include "wiring/cab.h"

namespace talvik_test {

using lines = std::vector<std::string>;

inline const lines load_lines = {
    "dll attached.\r\n",
    "QDX EC510/512 plug-in \"talvik\" \r\n",
    "talvik > instance created.\r\n",
};
inline const lines dispose_lines = {"talvik > bye.\r\n", "dll detached.\r\n"};

inline lines joined(std::initializer_list<lines> parts) {
    lines all;
    for (const lines& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Load, SetVehicleSpec, Initialize(-1), three frames at 1234.5 m, signal 3, a stop-signal beacon,
// two frames, Dispose. `between` runs after each step that sends lines: a listener in the same
// thread reads there, as one in another thread or process would.
template <typename Between>
void run_short_session(const hostkit::plugin_api& api, Between between) {
    std::int32_t panel[256] = {};
    std::int32_t sound[256] = {};
    ats::vehicle_state state{};
    const auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            state.time += 20;
            api.Elapse(state, panel, sound);
        }
    };
    api.Load();
    between();
    api.SetVehicleSpec(ats::vehicle_spec{8, 0, 2, 0, 0});
    api.Initialize(-1);
    state.time = 36000000;
    state.location = 1234.5;
    frames(3);
    api.SetSignal(3);
    between();
    api.SetBeaconData(ats::beacon_data{ats::cab::beacon::alarm, 2, 12.5f, 7});
    between();
    frames(2);
    api.Dispose();
}
inline void run_short_session(const hostkit::plugin_api& api) {
    run_short_session(api, [] {});
}

// What a listener receives from the short session, one string per message.
inline lines short_session_lines() {
    return joined(
        {load_lines,
         {"talvik > initialized. param : -1\r\n", "talvik > changed signal. signal : 3\r\n",
          "talvik > passed beacon.------\r\n", "location : 1234.500000\r\n", "   type : 0\r\n",
          "   signal : 2\r\n", "   distance : 12.500000\r\n", "   optional : 7\r\n",
          "-----------------------------\r\n"},
         dispose_lines});
}

} // namespace talvik_test
