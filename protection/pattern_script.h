// The pattern script's contract: the three functions the plug-in calls, what each is given and
// what it must return, and the order of one armed check.
#pragma once

#include "protection/script_host.h"

namespace ats {

class pattern_script {
  public:
    // Global functions (slots of the root table once the top-level code has run), called with
    // the root table as `this` and script floats as arguments; each must return a number, an
    // integer or a float.
    //   get_brake_pattern_offset(0.0): the brake offset, handed back to every look-up.
    //   get_incoming_pattern_offset(0.0): only its being a number matters.
    //   lookup_brake_pattern(0.0, 0.0, distance, brake offset): the permitted speed at the
    //   beacon's distance, in the host's units, and not NaN; at or below the train's speed it
    //   brakes the train.
    static constexpr const char* brake_offset_function = "get_brake_pattern_offset";
    static constexpr const char* incoming_offset_function = "get_incoming_pattern_offset";
    static constexpr const char* lookup_function = "lookup_brake_pattern";
    static constexpr const char* functions[] = {brake_offset_function, incoming_offset_function,
                                                lookup_function};

    // Compiles the script at `path` (it does not run yet).
    explicit pattern_script(const char* path);

    // At an arming beacon: the top-level code runs, then both offsets are asked for. Returns
    // the brake offset.
    float arm();
    // On the frame after the arming: the top-level code runs again, then the look-up.
    float permitted_speed(double distance, double brake_offset);

    // The steps of those, for a checker that looks between them. Every failure, a look-up that
    // is not a number included, raises SquirrelError.
    void run_top_level();
    float brake_offset();
    float incoming_offset();
    float lookup(double distance, double brake_offset);
    // The first of the three that the root table does not hold as a function, or nullptr.
    static const char* missing_function();

    // False once the script's VM is gone (its memory passed the ceiling).
    bool live() const { return script_.live(); }

  private:
    SquirrelObject script_;
};

} // namespace ats
