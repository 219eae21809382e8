// The vigilance device through the exports: timing, acknowledgements and the braking latch.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "plugin_host.h"

using namespace talvik_test;

namespace {
// A running train with the doors closed and no driver action after the first frame.
struct running : cab {
    explicit running(float v = 30.0f) {
        speed(v);
        close_doors();
    }
};
} // namespace

TEST(Vigilance, WarningAndBrakingFramesForEachFrameTime) {
    struct row {
        std::int32_t step_ms;
        int warning_frame, braking_frame;
    };
    for (const row r : {row{10, 6000, 6499}, row{16, 3750, 4062},
                        row{vigilance_step_ms, vigilance_warning_frame, vigilance_braking_frame},
                        row{50, 1819, 1970}}) {
        SCOPED_TRACE(r.step_ms);
        running h;
        h.api.SetPower(0);
        h.frames(r.warning_frame - 1, r.step_ms);
        EXPECT_TRUE(h.vigilance_quiet());
        h.frame(r.step_ms);
        EXPECT_TRUE(h.warning());
        EXPECT_EQ(h.out.brake, 0);
        h.frames(r.braking_frame - r.warning_frame - 1, r.step_ms);
        EXPECT_EQ(h.out.brake, 0) << "one frame before braking";
        h.frame(r.step_ms);
        EXPECT_TRUE(h.vigilance_braking());
    }
}

// The device counts while the absolute speed is not below 15: NaN runs its timers like any high
// speed.
TEST(Vigilance, CountsAtFifteenAndAboveEitherWay) {
    constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf_f = std::numeric_limits<float>::infinity();
    struct row {
        float speed;
        bool counts;
    };
    for (const row r : {row{14.9f, false},
                        {14.999999f, false},
                        {15.0f, true},
                        {-20.0f, true},
                        {nan_f, true},
                        {-nan_f, true},
                        {inf_f, true},
                        {-inf_f, true},
                        {FLT_MAX, true},
                        {-FLT_MAX, true},
                        {1e30f, true}}) {
        SCOPED_TRACE(r.speed);
        running h(r.speed);
        h.reach_vigilance_warning();
        EXPECT_EQ(h.warning(), r.counts);
        if (!r.counts) {
            h.frames(5000 - vigilance_warning_frame, vigilance_step_ms);
            EXPECT_TRUE(h.vigilance_quiet());
        }
    }
}

TEST(Vigilance, DriverActionsClearTheWarningInTheFrameTheyAreSeen) {
    struct action {
        const char* what;
        void (*apply)(host&);
        bool held; // keeps acknowledging every frame
    };
    const action actions[] = {
        {"horn", [](host& h) { h.api.HornBlow(1); }, false},
        {"power 0 to 1", [](host& h) { h.api.SetPower(1); }, false},
        {"brake 0 to 1", [](host& h) { h.api.SetBrake(1); }, false},
        {"key 2", [](host& h) { h.press(key::eb_acknowledge); }, true},
        {"brake to emergency", [](host& h) { h.api.SetBrake(emergency); }, true},
    };
    for (const auto& a : actions) {
        SCOPED_TRACE(a.what);
        running h;
        h.reach_vigilance_warning();
        ASSERT_TRUE(h.warning());
        a.apply(h);
        h.frame(33);
        EXPECT_TRUE(h.vigilance_quiet());
        h.frames(vigilance_warning_frame - 2, 33);
        if (a.held) {
            h.frames(500, 33);
            EXPECT_TRUE(h.vigilance_quiet()) << "held key or emergency handle keeps it quiet";
        } else {
            EXPECT_TRUE(h.vigilance_quiet()) << "counting restarted from 0";
            h.frame(33);
            EXPECT_TRUE(h.warning());
        }
    }
}

TEST(Vigilance, MovesThatKeepTheParityAreNoAction) {
    struct move {
        const char* what;
        std::int32_t power_from, power_to, brake_from, brake_to;
        bool acknowledges;
    };
    const move moves[] = {
        {"power 1 to 3", 1, 3, 0, 0, false},       {"brake 2 to 4", 0, 0, 2, 4, false},
        {"brake 1 to release", 0, 0, 1, 0, false}, {"brake 3 to 2", 0, 0, 3, 2, true},
        {"power 2 to 1", 2, 1, 0, 0, true},        {"power 1 to 0", 1, 0, 0, 0, true},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.what);
        running h;
        h.api.SetPower(m.power_from);
        h.api.SetBrake(m.brake_from);
        h.reach_vigilance_warning();
        ASSERT_TRUE(h.warning());
        h.api.SetPower(m.power_to);
        h.api.SetBrake(m.brake_to);
        h.frame(33);
        EXPECT_EQ(h.vigilance_quiet(), m.acknowledges);
    }
}

TEST(Vigilance, ActionsAfterFiveSecondsOfWarningDoNotStopTheBraking) {
    running h;
    h.reach_vigilance_braking();
    ASSERT_TRUE(h.vigilance_braking());
    h.api.HornBlow(0);
    h.api.SetPower(1);
    h.api.SetBrake(3);
    h.press(key::eb_acknowledge);
    h.frame(33);
    EXPECT_TRUE(h.vigilance_braking());
    h.release(key::eb_acknowledge);
    h.speed(0.0f);
    h.frames(100, 33);
    EXPECT_TRUE(h.vigilance_braking()) << "standstill keeps the latch";
    h.api.SetBrake(emergency);
    h.frame(33);
    EXPECT_TRUE(h.vigilance_quiet()) << "the emergency position releases in that very frame";
    EXPECT_EQ(h.out.brake, emergency); // the driver's own handle now
    h.api.SetBrake(0);
    h.frame(33);
    EXPECT_EQ(h.out.brake, 0);
}

TEST(Vigilance, HornDuringLateWarningClearsOnlyIdleTime) {
    // After 5 s of warning an action no longer clears the warning timer: braking follows.
    running h;
    h.reach_vigilance_warning().frames(150, 33); // alarm 151 * 33 = 4983 ms
    ASSERT_TRUE(h.warning());
    h.api.HornBlow(0);
    h.frame(33);
    EXPECT_TRUE(h.vigilance_quiet()) << "4983 ms < 5000: the horn still acknowledges";

    running late;
    late.reach_vigilance_warning().frames(152, 33);
    ASSERT_TRUE(late.vigilance_braking());
}

TEST(Vigilance, TimeGoingBackLowersTheIdleCount) {
    running h;
    h.frames(1800, 33); // 59400 ms
    h.frame(-10000);    // counts -10000
    h.frames(18, 33);
    EXPECT_TRUE(h.vigilance_quiet());
    h.frames(304, 33);
    EXPECT_TRUE(h.warning());
}

TEST(Vigilance, InitializeDuringBrakingStartsQuiet) {
    running h;
    h.reach_vigilance_braking();
    ASSERT_TRUE(h.vigilance_braking());
    h.api.Initialize(0);
    h.doors_closed(true);
    h.frame(33);
    EXPECT_TRUE(h.vigilance_quiet());
    EXPECT_EQ(h.out.brake, 0);
}

TEST(Vigilance, HugeTimeJumpsSaturateInsteadOfOverflowing) {
    running h;
    h.state.time = -2000000000;
    h.frame(0);
    for (int i = 0; i < 5; ++i) {
        h.state.time = (i % 2) ? 2000000000 : -2000000000;
        h.frame(0);
    }
    // Each backwards jump lowers the idle count by ~4e9, held at the int32 minimum; a long
    // run forwards must still reach the warning eventually without wrapping.
    EXPECT_TRUE(h.vigilance_quiet());
    h.api.HornBlow(0);
    h.frame(33);
    h.reach_vigilance_warning();
    EXPECT_TRUE(h.warning());
}
