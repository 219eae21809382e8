// Host floats at their edges (NaN, infinities, huge values) give defined, repeatable outputs.
// The sanitizer build runs these with float-cast-overflow checking on.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <limits>
#include <vector>

#include "plugin_host.h"

using talvik_test::host;

namespace {
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();
constexpr double nan_d = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_d = std::numeric_limits<double>::infinity();
constexpr std::int32_t emergency = 9;
constexpr int red = 1, eblp = 8; // panel
constexpr int pos_tenth = 110, pos_1 = 111, pos_10 = 112, pos_100 = 113, cont = 121;
constexpr int blank = 11;

struct cab : host {
    cab() {
        start(8, 2).doors_closed(true);
        frames(10);
        press(1); // the power-up chime off
        frame();
        release(1);
        frame();
    }
    bool braking() const { return out.brake == emergency && out.power == 0 && panel[red] == 1; }
};
} // namespace

// The checks compare with <=, which is false for NaN: a speed that is not a number reaches no
// check speed and no pattern; an infinite one reaches them all. The vigilance device counts
// "not below 15" as moving, so NaN runs its timers like any high speed.
TEST(FloatInputs, SpeedsAtTheEdgesMeetTheChecksAsComparisonsSay) {
    struct row {
        float speed;
        bool speed_check_brakes;
        bool pattern_brakes;
        bool vigilance_counts;
    };
    const row rows[] = {
        {nan_f, false, false, true}, {-nan_f, false, false, true},
        {inf_f, true, true, true},   {-inf_f, false, false, true},
        {FLT_MAX, true, true, true}, {-FLT_MAX, false, false, true},
        {1e30f, true, true, true},   {14.999999f, true, false, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.speed);
        {
            cab h;
            h.speed(r.speed).beacon(55, 0, 0.0f, 10);
            h.frame();
            EXPECT_EQ(h.braking(), r.speed_check_brakes);
        }
        {
            cab h;
            h.speed(r.speed).beacon(50, 0, 500.0f, 0); // pattern about 95 at 480 m to go
            h.frame();
            EXPECT_EQ(h.braking(), r.pattern_brakes);
        }
        {
            cab h;
            h.speed(r.speed);
            h.frames(1819, 33);
            EXPECT_EQ(h.panel[eblp], r.vigilance_counts ? 1 : 0);
        }
    }
}

// The position digits would convert trunc(k) of a non-finite k to an integer, which has no
// value: such a position shows blank digits and the next finite location is taken afresh.
// A huge finite position shows the digits of its value, worked out without integer overflow.
TEST(FloatInputs, LocationsAtTheEdgesShowBlankOrTrueDigits) {
    struct row {
        double location;
        std::array<std::int32_t, 4> digits; // hundreds, tens, units, tenths of km
    };
    const row rows[] = {
        {nan_d, {blank, blank, blank, blank}},
        {inf_d, {blank, blank, blank, blank}},
        {-inf_d, {blank, blank, blank, blank}},
        // The digits of the doubles themselves: 1e30 m / 1000 / 100 is the double
        // 10000000000000000905969664, whose last digit is 4.
        {1e30, {4, 4, 2, 2}},
        {-1e30, {-4, -4, -2, -2}},
        {DBL_MAX, {blank, 6, 8, 8}},
        {9.3e18, {blank, blank, 0, 0}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.location);
        host h;
        h.start();
        h.state.location = r.location;
        h.frame();
        EXPECT_EQ((std::array<std::int32_t, 4>{h.panel[pos_100], h.panel[pos_10], h.panel[pos_1],
                                               h.panel[pos_tenth]}),
                  r.digits);
    }
    // Following the host by differences: from the largest double to its negative the step is
    // infinite, which blanks the digits until the next location.
    host h;
    h.start();
    h.state.location = DBL_MAX;
    h.frame();
    h.state.location = -DBL_MAX;
    h.frame();
    EXPECT_EQ(h.panel[pos_1], blank);
    h.state.location = 7300.0;
    h.frame();
    EXPECT_EQ(h.panel[pos_1], 7);
}

// The traction state takes the sign of traction_value: NaN has none, so it shows 0.
TEST(FloatInputs, TractionValueAtTheEdges) {
    struct row {
        float traction;
        std::int32_t brake;
        std::int32_t shown;
    };
    const row rows[] = {{nan_f, 0, 0},    {nan_f, 1, 0},
                        {inf_f, 0, 1},    {-inf_f, 1, 3},
                        {-inf_f, 5, 2},   {FLT_MAX, 0, 1},
                        {-FLT_MIN, 1, 3}, {std::numeric_limits<float>::denorm_min(), 0, 1}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.traction);
        host h;
        h.start().doors_closed(true);
        h.api.SetBrake(r.brake);
        h.state.traction_value = r.traction;
        h.frames(60);
        EXPECT_EQ(h.panel[cont], r.shown);
    }
}

// A beacon distance that is not a number, or infinite, reaches the script as it is. The bundled
// pattern is zero (stop) at -inf and infinite (no limit) at +inf. At NaN it is NaN: Squirrel
// orders NaN above every number, so the script's "remaining > 0" holds, and a pattern that is
// not a number is a script failure: the protection brakes.
TEST(FloatInputs, BeaconDistancesAtTheEdges) {
    struct row {
        float distance;
        float speed;
        bool brakes;
    };
    const row rows[] = {{nan_f, 0.0f, true},    {nan_f, inf_f, true},  {-inf_f, 0.0f, true},
                        {inf_f, 300.0f, false}, {inf_f, inf_f, true},  {FLT_MAX, 300.0f, false},
                        {-FLT_MAX, 0.0f, true}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.distance);
        cab h;
        h.speed(r.speed).beacon(50, 0, r.distance, 0);
        h.frame();
        EXPECT_EQ(h.braking(), r.brakes);
    }
}

// The same odd inputs twice give the same outputs, frame by frame.
TEST(FloatInputs, OddValuesGiveRepeatableOutputs) {
    const auto run = [] {
        std::vector<std::int32_t> seen;
        host h;
        h.start().doors_closed(true);
        h.api.SetPower(2);
        const float speeds[] = {nan_f, inf_f, -inf_f, FLT_MAX, -0.0f, 1e-45f, 40.0f};
        const double locations[] = {nan_d, 1e300, -inf_d, 12345.6, DBL_MAX, -DBL_MAX, 0.0};
        for (int i = 0; i < 700; ++i) {
            h.speed(speeds[i % 7]);
            h.state.location = locations[(i / 7) % 7];
            h.state.traction_value = speeds[(i / 49) % 7];
            if (i % 50 == 0) h.beacon(50, 0, speeds[(i / 50) % 7], 0);
            if (i % 70 == 0) h.beacon(55, 0, 0.0f, i);
            h.frame(i % 3 == 0 ? 33 : 1000);
            seen.insert(seen.end(), {h.out.brake, h.out.power});
            seen.insert(seen.end(), h.panel.begin(), h.panel.end());
            seen.insert(seen.end(), h.sound.begin(), h.sound.end());
        }
        return seen;
    };
    EXPECT_EQ(run(), run());
}
