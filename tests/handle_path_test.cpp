// The handle path: what the host receives for the driver's handles, doors open and closed.
#include <gtest/gtest.h>

#include "plugin_host.h"

using namespace talvik_test;

TEST(HandlePath, DoorsDecideWhetherTractionAndReverserPass) {
    struct row {
        bool doors_closed;
        std::int32_t power, brake, reverser;
        ats::handles expected; // brake, power, reverser, const_speed
    };
    const row rows[] = {
        {true, 3, 0, 1, {0, 3, 1, 2}},     {false, 3, 0, 1, {0, 0, 0, 2}},
        {false, 0, 4, 1, {4, 0, 0, 2}},    {true, 0, 4, -1, {4, 0, -1, 2}},
        {true, 2, 0, 5, {0, 2, 5, 2}}, // out-of-range values pass unchanged
        {true, -7, -3, 0, {-3, -7, 0, 2}},
    };
    for (const auto& r : rows) {
        cab h;
        h.doors_closed(r.doors_closed);
        h.api.SetPower(r.power);
        h.api.SetBrake(r.brake);
        h.api.SetReverser(r.reverser);
        const ats::handles out = h.frame();
        EXPECT_EQ(out.brake, r.expected.brake);
        EXPECT_EQ(out.power, r.expected.power);
        EXPECT_EQ(out.reverser, r.expected.reverser);
        EXPECT_EQ(out.const_speed, ats::cab::const_speed_resting);
    }
}

TEST(HandlePath, DoorsOpenUntilTheFirstDoorCloseAfterInitialize) {
    cab h;
    h.api.SetPower(4);
    h.api.SetReverser(1);
    EXPECT_EQ(h.frame().power, 0);
    EXPECT_EQ(h.frame().reverser, 0);
    h.doors_closed(true);
    EXPECT_EQ(h.frame().power, 4);
    h.doors_closed(false);
    EXPECT_EQ(h.frame().power, 0);
}

// The vigilance device brakes in the emergency position, one beyond the vehicle's service notches,
// and cuts the power; the reverser still follows the doors.
TEST(HandlePath, VigilanceBrakingIsTheEmergencyPositionWithDoorsOpenOrClosed) {
    struct row {
        std::int32_t notches;
        bool doors_closed;
    };
    for (const row r : {row{0, true}, row{7, true}, row{7, false}, row{8, true}}) {
        SCOPED_TRACE(testing::Message() << r.notches << (r.doors_closed ? " closed" : " open"));
        cab h({r.notches});
        h.speed(40.0f).doors_closed(r.doors_closed);
        h.api.SetPower(5);
        h.api.SetReverser(1);
        h.frame(0); // the first frame counts nothing either way
        h.reach_vigilance_braking();
        EXPECT_EQ(h.out.power, 0);
        EXPECT_EQ(h.out.brake, r.notches + 1);
        EXPECT_EQ(h.out.reverser, r.doors_closed ? 1 : 0);
    }
}
