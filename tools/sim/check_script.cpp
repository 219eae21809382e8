// The pattern script contract, checked through the plug-in's script host: three global
// functions, numeric results, top-level code that may run again and again.
#include "tools/sim/check_script.h"

#include <algorithm>
#include <cstdarg>
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

// Where the VM's printing goes while the tool evaluates a script: kept, so that its error
// report is shown once rather than once per distance, or not at all.
std::string* vm_printing = nullptr;

void keep_printing(HSQUIRRELVM, const SQChar* format, ...) {
    if (vm_printing == nullptr) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) *vm_printing += std::string(text, std::min<std::size_t>(n, sizeof text - 1)) + "\n";
}

// Keeps the VM open for the check and closes it on every way out; the VM's printing goes to
// `printing`.
struct vm_session {
    explicit vm_session(std::string* printing = nullptr) {
        ats::ScriptVM::init();
        vm_printing = printing;
        if (ats::ScriptVM::is_open())
            sq_setprintfunc(ats::ScriptVM::vm(), keep_printing, keep_printing);
    }
    ~vm_session() {
        ats::ScriptVM::shutdown();
        vm_printing = nullptr;
    }
    vm_session(const vm_session&) = delete;
    vm_session& operator=(const vm_session&) = delete;
};

bool complain(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "talvik-sim: %s: %s\n", path.c_str(), message.c_str());
    return false;
}

const char* type_name(SQObjectType type) {
    switch (type) {
    case OT_NULL: return "null";
    case OT_BOOL: return "a bool";
    case OT_STRING: return "a string";
    case OT_TABLE: return "a table";
    case OT_ARRAY: return "an array";
    case OT_CLOSURE:
    case OT_NATIVECLOSURE: return "a function";
    case OT_INSTANCE: return "an instance";
    case OT_CLASS: return "a class";
    default: return "";
    }
}

// What `function` returns when called again with `arguments`, by its type; empty when that
// cannot be seen (the call fails, or the VM is gone).
std::string returned_type(const char* function, const std::vector<double>& arguments) {
    if (!ats::ScriptVM::is_open()) return {};
    HSQUIRRELVM v = ats::ScriptVM::vm();
    const SQInteger top = sq_gettop(v);
    std::string type;
    sq_pushroottable(v);
    sq_pushstring(v, function, -1);
    if (SQ_SUCCEEDED(sq_get(v, -2))) {
        sq_pushroottable(v);
        for (const double a : arguments)
            sq_pushfloat(v, static_cast<SQFloat>(a));
        if (SQ_SUCCEEDED(sq_call(v, static_cast<SQInteger>(arguments.size()) + 1, SQTrue, SQFalse)))
            type = type_name(sq_gettype(v, -1)); // a number this time: not said
    }
    sq_settop(v, top);
    return type;
}

// Why a call of `function` failed, in plain words: which function, and what went wrong.
std::string call_failure(const char* function, const ats::SquirrelError& e,
                         const std::vector<double>& arguments) {
    using ats::script_failure;
    switch (e.kind()) {
    case script_failure::missing_function: return std::string(function) + " is missing";
    case script_failure::wrong_type: {
        const std::string type = returned_type(function, arguments);
        return std::string(function) +
               (type.empty() ? " does not return a number" : " returned " + type);
    }
    case script_failure::not_a_number: return std::string(function) + " returned NaN";
    case script_failure::throws:
        return std::string(function) + " raised an error" +
               (std::string(e.what()) == "SquirrelFunction<> call failed"
                    ? std::string()
                    : std::string(": ") + e.what());
    default: return e.what(); // a limit's description names the function already
    }
}

// Plain words for a failure outside the three functions: loading or the top-level code.
std::string load_failure(const ats::SquirrelError& e) {
    using ats::script_failure;
    switch (e.kind()) {
    case script_failure::unreadable: return std::string("the script cannot be read: ") + e.what();
    case script_failure::does_not_compile:
    case script_failure::damaged_code:
        return std::string("the script does not compile: ") + e.what();
    case script_failure::throws:
        return std::string("its top-level code raised an error: ") + e.what();
    default: return e.what();
    }
}

} // namespace

bool check_script(const std::string& path, std::FILE* out, const std::vector<double>& distances) {
    using ats::pattern_script;
    // The VM's error reports are kept and the first shown once, beside the summary.
    std::string printing;
    vm_session session(&printing);
    auto report_once = [&] {
        if (!printing.empty()) std::fprintf(stderr, "%s", printing.c_str());
        printing.clear();
    };
    std::optional<pattern_script> script;
    try {
        script.emplace(path.c_str());
    } catch (const ats::SquirrelError& e) {
        report_once();
        return complain(path, load_failure(e));
    }

    for (int run = 1; run <= repeated_runs; ++run) {
        try {
            script->run_top_level();
        } catch (const ats::SquirrelError& e) {
            report_once();
            return complain(path, load_failure(e) + " (on run " + std::to_string(run) + ")");
        }
        if (const char* name = pattern_script::missing_function()) {
            return complain(path, std::string(name) +
                                      " is missing: the script defines no global "
                                      "function of that name (after top-level run " +
                                      std::to_string(run) + ")");
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
        const std::string failure = call_failure(current, e, {0.0});
        report_once();
        return complain(path, failure);
    }

    // A distance whose speed is not a number, or whose run fails, breaks the contract.
    struct row {
        double distance;
        float permitted = 0.0f;
        std::string failure; // empty: a number
    };
    std::vector<double> wanted(distances);
    if (wanted.empty()) wanted.assign(std::begin(table_distances), std::end(table_distances));
    std::sort(wanted.begin(), wanted.end());
    std::vector<row> rows;
    std::string first_report;
    for (double distance : wanted) {
        row r{distance, 0.0f, {}};
        if (!ats::ScriptVM::is_open()) {
            r.failure = "not run: the script's VM was lost";
        } else {
            try {
                r.permitted = script->permitted_speed(distance, brake_offset);
            } catch (const ats::SquirrelError& e) {
                r.failure = call_failure(pattern_script::lookup_function, e,
                                         {0.0, 0.0, distance, brake_offset});
            }
        }
        if (first_report.empty()) first_report = printing;
        printing.clear();
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
            std::fprintf(out, "  %12g  %16.1f\n", r.distance, static_cast<double>(r.permitted));
        } else {
            std::fprintf(out, "  %12g  %16s  <- %s\n", r.distance, "FAILS", r.failure.c_str());
        }
    }
    // Warnings, not failures: a curve that rises toward the stop point lets a train that was
    // slow enough at one beacon be too fast at the next; one below zero brakes every train.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const row& r = rows[i];
        if (!r.failure.empty()) continue;
        if (r.permitted < 0.0f) {
            std::fprintf(out, "  warning: at %g m the permitted speed %.1f is below zero\n",
                         r.distance, static_cast<double>(r.permitted));
        }
        if (i + 1 < rows.size() && rows[i + 1].failure.empty() &&
            r.permitted > rows[i + 1].permitted) {
            std::fprintf(out,
                         "  warning: the curve rises toward the stop point: %.1f at %g m, "
                         "%.1f at %g m\n",
                         static_cast<double>(r.permitted), r.distance,
                         static_cast<double>(rows[i + 1].permitted), rows[i + 1].distance);
        }
    }
    std::fflush(out);
    if (!fits) {
        if (!first_report.empty()) std::fprintf(stderr, "%s", first_report.c_str());
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

check_figures evaluate_check(const std::string& path, double distance) {
    using ats::pattern_script;
    check_figures f;
    vm_session session(&f.report);
    const char* current = nullptr;
    try {
        ats::pattern_script script(path.c_str());
        script.run_top_level();
        current = pattern_script::brake_offset_function;
        f.brake_offset = script.brake_offset();
        current = pattern_script::incoming_offset_function;
        script.incoming_offset();
        current = nullptr;
        script.run_top_level();
        current = pattern_script::lookup_function;
        f.permitted = script.lookup(distance, f.brake_offset);
        f.evaluated = true;
    } catch (const ats::SquirrelError& e) {
        f.error = e.what();
        const bool lookup = current == pattern_script::lookup_function;
        f.failure =
            current == nullptr
                ? load_failure(e)
                : call_failure(current, e,
                               lookup ? std::vector<double>{0.0, 0.0, distance, f.brake_offset}
                                      : std::vector<double>{0.0});
    }
    return f;
}

pattern_curve evaluate_pattern(const std::string& path, const std::vector<double>& distances) {
    pattern_curve curve;
    std::string printing; // the page says why a curve is missing; the report is not shown
    vm_session session(&printing);
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
