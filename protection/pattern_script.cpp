// The pattern script's contract, called through the script host.
#include "protection/pattern_script.h"

#include <cmath>

namespace ats {

pattern_script::pattern_script(const char* path) : script_(ScriptVM::compile_file(path)) {}

float pattern_script::arm() {
    run_top_level();
    const float offset = brake_offset();
    incoming_offset();
    return offset;
}

float pattern_script::permitted_speed(double distance, double brake_offset) {
    run_top_level();
    return lookup(distance, brake_offset);
}

void pattern_script::run_top_level() { ScriptVM::run(script_); }

float pattern_script::brake_offset() { return SquirrelFunction(brake_offset_function)(0.0f); }

float pattern_script::incoming_offset() { return SquirrelFunction(incoming_offset_function)(0.0f); }

float pattern_script::lookup(double distance, double brake_offset) {
    const float speed = SquirrelFunction(lookup_function)(0.0f, 0.0, distance, brake_offset);
    // NaN would never brake, at or below the speed or not: it is a failure of the script.
    if (std::isnan(speed)) {
        throw SquirrelError(script_failure::not_a_number, "the pattern speed is not a number");
    }
    return speed;
}

const char* pattern_script::missing_function() {
    for (const char* name : functions) {
        const SQObjectType type = ScriptVM::root().get_value(name).handle()._type;
        if (type != OT_CLOSURE && type != OT_NATIVECLOSURE) return name;
    }
    return nullptr;
}

} // namespace ats
