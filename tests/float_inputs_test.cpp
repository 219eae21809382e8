// Host floats at their edges (NaN, infinities, huge values) give defined, repeatable outputs.
// The sanitizer build runs these with float-cast-overflow checking on.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <limits>
#include <vector>

#include "plugin_host.h"

using namespace talvik_test;

namespace {
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();
constexpr double nan_d = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_d = std::numeric_limits<double>::infinity();

// The protection brakes: emergency brake, no power, red lamp.
bool braking(const host& h) { return h.brakes() && h.panel[panel::red_lamp] == 1; }
} // namespace

// A speed or a beacon distance at its edge reaches the pattern check as it is (the speed checks
// and the vigilance device at these speeds: protection_test, eb_test). The check compares with
// <=, which is false for NaN: a speed that is not a number reaches no pattern, an infinite one
// reaches it. The bundled pattern is zero (stop) at a distance of -inf and infinite (no limit) at
// +inf. At NaN it is NaN: Squirrel orders NaN above every number, so the script's
// "remaining > 0" holds, and a pattern that is not a number is a script failure: the protection
// brakes.
TEST(FloatInputs, PatternCheckAtTheEdges) {
    struct row {
        float distance;
        float speed;
        bool brakes;
    };
    // At 500 m the pattern is about 95 (480 m to go).
    const row rows[] = {
        {500.0f, nan_f, false},  {500.0f, -nan_f, false},     {500.0f, inf_f, true},
        {500.0f, -inf_f, false}, {500.0f, FLT_MAX, true},     {500.0f, -FLT_MAX, false},
        {500.0f, 1e30f, true},   {500.0f, 14.999999f, false}, {nan_f, 0.0f, true},
        {nan_f, inf_f, true},    {-inf_f, 0.0f, true},        {inf_f, 300.0f, false},
        {inf_f, inf_f, true},    {FLT_MAX, 300.0f, false},    {-FLT_MAX, 0.0f, true}};
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.distance << " m at " << r.speed);
        quiet_cab h;
        h.speed(r.speed).beacon(beacon::pattern_check, 0, r.distance, 0);
        h.frame();
        EXPECT_EQ(braking(h), r.brakes);
    }
}

// The same odd inputs twice give the same outputs, frame by frame.
TEST(FloatInputs, OddValuesGiveRepeatableOutputs) {
    const auto run = [] {
        std::vector<std::int32_t> seen;
        cab h;
        h.doors_closed(true);
        h.api.SetPower(2);
        const float speeds[] = {nan_f, inf_f, -inf_f, FLT_MAX, -0.0f, 1e-45f, 40.0f};
        const double locations[] = {nan_d, 1e300, -inf_d, 12345.6, DBL_MAX, -DBL_MAX, 0.0};
        for (int i = 0; i < 700; ++i) {
            h.speed(speeds[i % 7]);
            h.state.location = locations[(i / 7) % 7];
            h.state.traction_value = speeds[(i / 49) % 7];
            if (i % 50 == 0) h.beacon(beacon::pattern_check, 0, speeds[(i / 50) % 7], 0);
            if (i % 70 == 0) h.beacon(beacon::braking_speed_check, 0, 0.0f, i);
            h.frame(i % 3 == 0 ? 33 : 1000);
            seen.insert(seen.end(), {h.out.brake, h.out.power});
            seen.insert(seen.end(), h.panel.begin(), h.panel.end());
            seen.insert(seen.end(), h.sound.begin(), h.sound.end());
        }
        return seen;
    };
    EXPECT_EQ(run(), run());
}
