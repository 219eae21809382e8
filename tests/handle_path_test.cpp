// The handle path: what the host receives for the driver's handles, doors open and closed.
#include <gtest/gtest.h>

#include "plugin_host.h"

using talvik_test::host;

TEST(HandlePath, DoorsDecideWhetherTractionAndReverserPass) {
    struct row {
        bool doors_closed;
        std::int32_t power, brake, reverser;
        ats::handles expected; // brake, power, reverser, const_speed
    };
    const row rows[] = {
        {true, 3, 0, 1, {0, 3, 1, 2}},
        {false, 3, 0, 1, {0, 0, 0, 2}},
        {false, 0, 4, 1, {4, 0, 0, 2}},
        {true, 0, 4, -1, {4, 0, -1, 2}},
        {true, 2, 0, 5, {0, 2, 5, 2}}, // out-of-range values pass unchanged
        {true, -7, -3, 0, {-3, -7, 0, 2}},
    };
    for (const auto& r : rows) {
        host h;
        h.start().doors_closed(r.doors_closed);
        h.api.SetPower(r.power);
        h.api.SetBrake(r.brake);
        h.api.SetReverser(r.reverser);
        const ats::handles out = h.frame();
        EXPECT_EQ(out.brake, r.expected.brake);
        EXPECT_EQ(out.power, r.expected.power);
        EXPECT_EQ(out.reverser, r.expected.reverser);
        EXPECT_EQ(out.const_speed, 2);
    }
}

TEST(HandlePath, DoorsOpenUntilTheFirstDoorCloseAfterInitialize) {
    host h;
    h.start();
    h.api.SetPower(4);
    h.api.SetReverser(1);
    EXPECT_EQ(h.frame().power, 0);
    EXPECT_EQ(h.frame().reverser, 0);
    h.doors_closed(true);
    EXPECT_EQ(h.frame().power, 4);
    h.doors_closed(false);
    EXPECT_EQ(h.frame().power, 0);
}

TEST(HandlePath, ProtectionBrakingOverridesTheDriverWithDoorsOpenOrClosed) {
    for (const bool closed : {true, false}) {
        host h;
        h.start(7).speed(40.0f).doors_closed(closed);
        h.api.SetPower(5);
        h.api.SetReverser(1);
        h.frames(2000, 33); // vigilance braking latched
        EXPECT_EQ(h.out.power, 0);
        EXPECT_EQ(h.out.brake, 8);
        EXPECT_EQ(h.out.reverser, closed ? 1 : 0);
    }
}
