// The pattern train protection.
#pragma once

#include <cstdio>

#include "plugin/environment.h"
#include "plugin/host_types.h"
#include "protection/script_host.h"
#include "wiring/wiring.h"

namespace ats {

class signal_pattern {
public:
    // The pattern script, compiled from the plug-in's directory when the vehicle is built.
    static constexpr char script_name[] = "signal_pattern.nut";

    // Compiles the script (it is not run yet); a failure raises SquirrelError, and the vehicle
    // is then not built.
    signal_pattern() {
        char path[module_dir_size + sizeof script_name];
        std::snprintf(path, sizeof path, "%s%s", env().module_dir, script_name);
        script = ScriptVM::compile_file(path);
    }

    SquirrelObject script;

    void reset() {}
    void elapse(wiring&) {}
    void beacon(const beacon_data&) {}
};

} // namespace ats
