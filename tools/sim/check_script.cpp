// The pattern script contract, checked through the plug-in's script host: three global
// functions, numeric results, top-level code that may run again and again.
#include "tools/sim/check_script.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "protection/pattern_script.h"
#include "protection/script_host.h"

namespace sim {

namespace {

// Distances an author wants to see the curve at, in metres.
constexpr double table_distances[] = {0,   10,  25,  50,  75,  100,  150,  200,
                                      300, 400, 500, 600, 800, 1000, 1500, 2000};
// Top-level runs before the table: the plug-in runs it twice for every armed check.
constexpr int repeated_runs = 3;

// Keeps the VM open for the check and closes it on every way out.
struct vm_session {
    vm_session() { ats::ScriptVM::init(); }
    ~vm_session() { ats::ScriptVM::shutdown(); }
    vm_session(const vm_session&) = delete;
    vm_session& operator=(const vm_session&) = delete;
};

bool complain(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "talvik-sim: %s: %s\n", path.c_str(), message.c_str());
    return false;
}

// Why a call of `function` failed, in a driver's words.
std::string call_failure(const char* function, const ats::SquirrelError& e) {
    switch (e.kind()) {
    case ats::script_failure::wrong_type:
        return std::string(function) + " does not return a number";
    case ats::script_failure::too_long:
    case ats::script_failure::too_deep:
    case ats::script_failure::too_much_memory:
        return e.what(); // a limit's description names the function already
    default: return std::string(function) + " fails: " + e.what();
    }
}

} // namespace

bool check_script(const std::string& path, std::FILE* out) {
    using ats::pattern_script;
    vm_session session;
    std::optional<pattern_script> script;
    try {
        script.emplace(path.c_str());
    } catch (const ats::SquirrelError& e) {
        return complain(path, std::string("cannot be loaded: ") + e.what());
    }

    for (int run = 1; run <= repeated_runs; ++run) {
        try {
            script->run_top_level();
        } catch (const ats::SquirrelError& e) {
            return complain(path, "its top-level code fails on run " + std::to_string(run) + ": " +
                                      e.what());
        }
        if (const char* name = pattern_script::missing_function()) {
            return complain(path, std::string("does not define the global function ") + name +
                                      " (after top-level run " + std::to_string(run) + ")");
        }
    }

    float brake_offset = 0.0f;
    float incoming_offset = 0.0f;
    const char* current = pattern_script::brake_offset_function;
    try {
        brake_offset = script->brake_offset();
        current = pattern_script::incoming_offset_function;
        incoming_offset = script->incoming_offset();
    } catch (const ats::SquirrelError& e) {
        return complain(path, call_failure(current, e));
    }

    // A distance whose speed is not a number, or whose run fails, breaks the contract.
    struct row {
        double distance;
        float permitted = 0.0f;
        std::string failure; // empty: a number
    };
    std::vector<row> rows;
    for (double distance : table_distances) {
        row r{distance, 0.0f, {}};
        if (!ats::ScriptVM::is_open()) {
            r.failure = "not run: the script's VM was lost";
        } else {
            try {
                r.permitted = script->permitted_speed(distance, brake_offset);
            } catch (const ats::SquirrelError& e) {
                r.failure = call_failure(pattern_script::lookup_function, e);
            }
        }
        rows.push_back(r);
    }
    const auto first_failure =
        std::find_if(rows.begin(), rows.end(), [](const row& r) { return !r.failure.empty(); });
    const bool fits = first_failure == rows.end();

    std::fprintf(out, "%s %s the plug-in's script contract.\n", path.c_str(),
                 fits ? "fits" : "breaks");
    std::fprintf(out, "  get_brake_pattern_offset(0.0)    = %g\n", brake_offset);
    std::fprintf(out, "  get_incoming_pattern_offset(0.0) = %g\n", incoming_offset);
    std::fprintf(out, "  A train is braked when its speed is at or above the permitted speed:\n");
    std::fprintf(out, "  %12s  %16s\n", "distance (m)", "permitted speed");
    for (const row& r : rows) {
        if (r.failure.empty()) {
            std::fprintf(out, "  %12.0f  %16.1f\n", r.distance, static_cast<double>(r.permitted));
        } else {
            std::fprintf(out, "  %12.0f  %16s  <- %s\n", r.distance, "FAILS", r.failure.c_str());
        }
    }
    std::fflush(out);
    if (!fits) {
        const auto failing = std::count_if(rows.begin(), rows.end(),
                                           [](const row& r) { return !r.failure.empty(); });
        std::string reason = first_failure->failure + " at distance " +
                             std::to_string(static_cast<int>(first_failure->distance)) + " m";
        if (failing > 1) {
            reason += " (" + std::to_string(failing) + " of " + std::to_string(rows.size()) +
                      " distances fail)";
        }
        return complain(path, reason);
    }
    return true;
}

pattern_curve evaluate_pattern(const std::string& path, const std::vector<double>& distances) {
    pattern_curve curve;
    vm_session session;
    try {
        ats::pattern_script script(path.c_str());
        script.run_top_level();
        const float brake_offset = script.brake_offset();
        for (double distance : distances)
            curve.permitted.push_back(script.permitted_speed(distance, brake_offset));
    } catch (const ats::SquirrelError& e) {
        curve.permitted.clear();
        curve.error = e.what();
    }
    return curve;
}

} // namespace sim
