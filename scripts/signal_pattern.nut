/*
 * signal_pattern.nut - the braking pattern of the cab's pattern train protection.
 *
 * The plug-in reads this file from its own directory once, when it is loaded; edit it and reload
 * the train to try a change. Everything printed here goes to the simulator's standard output.
 *
 * When a beacon at a signal showing stop arms a pattern check, the plug-in
 *   1. runs the top-level code of this file, then calls get_brake_pattern_offset(0.0) and
 *      get_incoming_pattern_offset(0.0);
 *   2. on the next frame runs the top-level code again and calls
 *      lookup_brake_pattern(0.0, 0.0, distance, brake_offset), where `distance` is the distance
 *      the beacon reported (metres to the signal) and `brake_offset` is what
 *      get_brake_pattern_offset returned. If the train's speed is at or above the result, the
 *      protection applies the emergency brake.
 *
 * The functions:
 *   get_brake_pattern_offset(reserved)      -> metres short of the signal where the pattern
 *                                              reaches zero (the safety margin)
 *   get_incoming_pattern_offset(reserved)   -> metres by which an approach warning would run
 *                                              ahead of the braking pattern; the plug-in only
 *                                              checks that it is a number
 *   lookup_brake_pattern(reserved, reserved, distance, brake_offset)
 *                                           -> the permitted speed at `distance`, in the
 *                                              simulator's speed unit (km/h unless the
 *                                              simulator reports another unit)
 * The `reserved` arguments are always 0.0.
 *
 * Rules the plug-in relies on:
 *   - the top-level code runs again before every use, so it must be safe to run any number of
 *     times: define values with `<-`, which creates a global or overwrites it;
 *   - the three functions must be globals and every one must return a number (an integer or a
 *     float), and the permitted speed must not be NaN; anything else, an error raised here, or
 *     a run that does not end within its million steps, stops the check and brakes the train;
 *   - the io, blob, math and string libraries are available; the system library is not.
 *
 * The curve is one of constant deceleration, v = sqrt(2 * a * s), where s is the distance left
 * before the point where the train must have stopped. To change it, change the constants
 * below: a gentler brake gives a lower deceleration, a longer margin stops the train further
 * from the signal, and a simulator reporting mph needs SPEED_UNIT_PER_MPS = 2.23694.
 */

// Service-brake deceleration the pattern assumes, in m/s^2 (0.70 is about 2.5 km/h per second).
PATTERN_DECELERATION_MPS2 <- 0.70;

// The simulator's speed unit per metre per second: 3.6 for km/h.
SPEED_UNIT_PER_MPS <- 3.6;

// Safety margin: the pattern reaches zero this many metres before the signal.
STOP_MARGIN_M <- 20.0;

// An approach warning, where a cab shows one, would start this many metres ahead of the pattern.
APPROACH_WARNING_M <- 50.0;

function get_brake_pattern_offset(reserved)
{
    return STOP_MARGIN_M;
}

function get_incoming_pattern_offset(reserved)
{
    return APPROACH_WARNING_M;
}

function lookup_brake_pattern(reserved_a, reserved_b, distance, brake_offset)
{
    local remaining_m = distance - brake_offset;
    // At and beyond the stop point nothing may move: the pattern is zero.
    if (!(remaining_m > 0.0)) return 0.0;
    local speed_mps = sqrt(2.0 * PATTERN_DECELERATION_MPS2 * remaining_m);
    return speed_mps * SPEED_UNIT_PER_MPS;
}
