// The cab monitor through the exports: digits, clock, date, traction filter, blink, beacons,
// lamps and sounds.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <ctime>
#include <limits>
#include <utility>

#include "plugin_host.h"

using namespace talvik_test;

namespace {
using digits = std::array<std::int32_t, 4>;
constexpr std::int32_t blank = blank_digit;
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();

// The train at `metres` for one frame: hundreds, tens, units, tenths of a kilometre shown.
digits position_at(host& h, double metres) {
    h.state.location = metres;
    h.frame();
    return {h.panel[panel::position_hundreds], h.panel[panel::position_tens],
            h.panel[panel::position_units], h.panel[panel::position_tenths]};
}
} // namespace

TEST(Monitor, PositionDigitsWithBlankLeadingDigits) {
    struct row {
        double metres;
        digits expected;
    };
    // 1000 km wraps to 0. Beyond the int range in tenths the digits are still true, worked out
    // without overflow, and are those of the doubles themselves (1e30 m / 1000 / 100 is the
    // double 10000000000000000905969664, whose last digit is 4).
    const row rows[] = {
        {12345.6, {blank, 1, 2, 3}},
        {5000.0, {blank, blank, 5, 0}},
        {105340.0, {1, 0, 5, 3}},
        {50.0, {blank, blank, 0, 0}},
        {-1500.0, {blank, blank, -1, -5}},
        {999999.0, {9, 9, 9, 9}},
        {1000000.0, {blank, blank, 0, 0}},
        {-123456.0, {-1, -2, -3, -4}},
        {4294967296123.4, {2, 9, 6, 1}},
        {1e30, {4, 4, 2, 2}},
        {-1e30, {-4, -4, -2, -2}},
        {DBL_MAX, {blank, 6, 8, 8}},
        {9.3e18, {blank, blank, 0, 0}},
        // Either side of 2^53 tenths, where the digits stop being worked out in integers.
        {9.007199254740991e17, {blank, 9, 9, 1}},
        {9.007199254740992e17, {blank, 9, 9, 2}},
        {-9.007199254740991e17, {blank, -9, -9, -1}},
        {9.007199254741e17, {1, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.metres);
        cab h;
        EXPECT_EQ(position_at(h, r.metres), r.expected);
    }
}

TEST(Monitor, PositionFollowsLocationDifferencesIncludingJumps) {
    cab h;
    struct step {
        double metres;
        digits expected;
    };
    const step steps[] = {
        {1000.0, {blank, blank, 1, 0}},    {1550.0, {blank, blank, 1, 5}},
        {250100.0, {2, 5, 0, 1}},          {5000.0, {blank, blank, 5, 0}},
        {-1500.0, {blank, blank, -1, -5}}, {-1000.0, {blank, blank, -1, 0}},
        {20000.0, {blank, 2, 0, 0}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.metres);
        EXPECT_EQ(position_at(h, s.metres), s.expected);
    }

    // The position is a running sum of location changes, so the sum's rounding shows:
    // -1999.7 m followed by 1000 m gives 999.9999999999998 m, 0.9 km.
    h.start();
    position_at(h, -1999.7);
    EXPECT_EQ(position_at(h, 1000.0), (digits{blank, blank, 0, 9}));

    // A new run takes the first location afresh, whatever the last run showed.
    h.start();
    EXPECT_EQ(position_at(h, 73400.0), (digits{blank, 7, 3, 4}));
}

// trunc() of a location that is not a number has no integer value: such a position shows blank
// digits, and the next finite location is taken afresh.
TEST(Monitor, LocationThatIsNotANumberBlanksThePositionUntilASoundOneArrives) {
    const digits blanks{blank, blank, blank, blank};
    for (const double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        cab h;
        position_at(h, 2000.0);
        EXPECT_EQ(position_at(h, bad), blanks);
        EXPECT_EQ(position_at(h, 2100.0), (digits{blank, blank, 2, 1}));
        EXPECT_EQ(position_at(h, 2300.0), (digits{blank, blank, 2, 3}));

        // Also on the first frame of a run.
        h.start();
        EXPECT_EQ(position_at(h, bad), blanks);
        EXPECT_EQ(position_at(h, 450.0), (digits{blank, blank, 0, 4}));
    }
    // From the largest double to its negative the step is infinite.
    cab h;
    position_at(h, DBL_MAX);
    EXPECT_EQ(position_at(h, -DBL_MAX)[2], blank);
    EXPECT_EQ(position_at(h, 7300.0)[2], 7);
}

TEST(Monitor, ClockShowsMinutesAndSecondsOfTheSimulationTime) {
    struct row {
        std::int32_t time_ms;
        std::int32_t minutes, seconds;
    };
    const row rows[] = {{49527500, 45, 27}, {36000000, 0, 0}, {3599999, 59, 59}, {-61500, -1, -1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.time_ms);
        cab h({8, 2, r.time_ms});
        h.frame(0);
        EXPECT_EQ(h.panel[panel::minutes], r.minutes);
        EXPECT_EQ(h.panel[panel::seconds], r.seconds);
    }
}

TEST(Monitor, DateIsTheComputersLocalDateAtInitialize) {
    const auto today = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return std::pair<int, int>{local.tm_mon + 1, local.tm_mday};
    };
    const auto before = today();
    cab h;
    h.frame();
    const auto after = today();
    const std::pair<int, int> shown{h.panel[panel::month], h.panel[panel::day]};
    EXPECT_TRUE(shown == before || shown == after) << shown.first << "/" << shown.second;
    EXPECT_GE(shown.first, 1);
    EXPECT_LE(shown.first, 12);
}

TEST(Monitor, TractionStateShownOnlyAfterMoreThanOneSecondOfCountedTime) {
    struct row {
        std::int32_t step_ms;
        int shown_frame;
    };
    for (const row r : {row{20, 51}, row{50, 31}, row{33, 31}}) {
        SCOPED_TRACE(r.step_ms);
        cab h;
        h.close_doors();
        h.state.traction_value = 0.5f;
        h.frames(r.shown_frame - 1, r.step_ms);
        EXPECT_EQ(h.panel[panel::traction_state], 0) << "one frame before";
        EXPECT_EQ(h.panel[panel::traction_shown], 0);
        h.frame(r.step_ms);
        EXPECT_EQ(h.panel[panel::traction_state], 1);
        EXPECT_EQ(h.panel[panel::traction_shown], 1);
    }
}

TEST(Monitor, TractionChangeThatNeverLastsLongEnoughIsNeverShown) {
    cab h;
    h.close_doors();
    for (int i = 0; i < 3; ++i) {
        h.state.traction_value = 1.0f;
        h.frames(50); // exactly 1000 ms: not more
        EXPECT_EQ(h.panel[panel::traction_state], 0);
        h.state.traction_value = 0.0f;
        h.frame();
        EXPECT_EQ(h.panel[panel::traction_state], 0)
            << "back to the shown state: the count restarts";
    }
    // Counted time is capped: 30 frames of 100 ms count 990 ms.
    h.state.traction_value = 1.0f;
    h.frames(30, 100);
    EXPECT_EQ(h.panel[panel::traction_state], 0);
}

TEST(Monitor, TractionCodesAndTheStateComputedWhenTheCountPasses) {
    struct row {
        float traction;
        std::int32_t brake;
        std::int32_t code;
    };
    // The state takes the sign of the traction value: NaN has none.
    const row rows[] = {
        {-1.0f, 1, 3},   {-1.0f, 5, 2},    {-1.0f, 0, 0},
        {1.0f, 5, 1},    {nan_f, 0, 0},    {nan_f, 1, 0},
        {inf_f, 0, 1},   {-inf_f, 1, 3},   {-inf_f, 5, 2},
        {FLT_MAX, 0, 1}, {-FLT_MIN, 1, 3}, {std::numeric_limits<float>::denorm_min(), 0, 1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.traction << " " << r.brake);
        cab h;
        h.close_doors();
        h.state.traction_value = r.traction;
        h.api.SetBrake(r.brake);
        h.frames(51);
        EXPECT_EQ(h.panel[panel::traction_state], r.code);
        EXPECT_EQ(h.panel[panel::traction_shown], r.code > 0 ? 1 : 0);
    }

    // The count does not restart when the computed state moves among other values.
    cab h;
    h.close_doors();
    h.state.traction_value = 1.0f;
    h.frames(30);
    h.state.traction_value = -1.0f;
    h.api.SetBrake(1);
    h.frames(20);
    EXPECT_EQ(h.panel[panel::traction_state], 0);
    h.frame();
    EXPECT_EQ(h.panel[panel::traction_state], 3);
}

TEST(Monitor, TractionCodeUsesTheBrakeTheHostReceives) {
    // The vigilance device brakes in the emergency position while the driver's handle is released.
    cab h;
    h.close_doors();
    h.speed(30.0f);
    h.reach_vigilance_braking();
    ASSERT_EQ(h.out.brake, emergency);
    h.state.traction_value = -1.0f;
    h.frames(31, 33);
    EXPECT_EQ(h.panel[panel::traction_state], 2);
}

TEST(Monitor, EmergencyBrakeLampOnlyFromTheDriversHandle) {
    cab h;
    h.close_doors();
    h.speed(30.0f);
    h.reach_vigilance_braking();
    ASSERT_EQ(h.out.brake, emergency) << "the vigilance device commands the emergency brake";
    EXPECT_EQ(h.panel[panel::emergency_brake_lamp], 0);

    const std::pair<std::int32_t, std::int32_t> handle_lamp[] = {
        {emergency, 1}, {emergency - 1, 0}, {emergency + 1, 0}, {emergency, 1}, {0, 0}};
    for (const auto& [handle, lamp] : handle_lamp) {
        SCOPED_TRACE(handle);
        h.api.SetBrake(handle);
        h.frame();
        EXPECT_EQ(h.panel[panel::emergency_brake_lamp], lamp);
    }
}

TEST(Monitor, StopStationBlinksAtExactFrames) {
    struct row {
        std::int32_t step_ms;
        int lit_frames, dark_frames;
    };
    // 50 ms frames count 33 ms: lit from 33 to 495, dark from 528 to 990 and the restart.
    for (const row r : {row{20, 25, 26}, row{50, 15, 16}}) {
        SCOPED_TRACE(r.step_ms);
        cab h;
        h.close_doors();
        h.beacon(beacon::stop_station, 0, 0.0f, 0);
        h.frame(r.step_ms);
        EXPECT_EQ(h.sound[sound::stop_station], playing);
        EXPECT_EQ(h.panel[panel::stop_station_lamp], 0) << "dark on the first frame";
        for (int cycle = 0; cycle < 3; ++cycle) {
            SCOPED_TRACE(cycle);
            for (int i = 0; i < r.lit_frames; ++i) {
                h.frame(r.step_ms);
                ASSERT_EQ(h.panel[panel::stop_station_lamp], 1) << "lit frame " << i;
            }
            for (int i = 0; i < r.dark_frames; ++i) {
                h.frame(r.step_ms);
                ASSERT_EQ(h.panel[panel::stop_station_lamp], 0) << "dark frame " << i;
                ASSERT_EQ(h.sound[sound::stop_station], playing);
            }
        }
    }
}

TEST(Monitor, StopStationEndsWhenTheDoorsOpen) {
    cab h;
    h.close_doors();
    h.beacon(beacon::stop_station, 0, 0.0f, 0);
    h.frames(20);
    ASSERT_EQ(h.panel[panel::stop_station_lamp], 1);

    // A second beacon 150 does not restart the phase (a restart would show a dark frame).
    h.beacon(beacon::stop_station, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.panel[panel::stop_station_lamp], 1);

    // Opening the doors puts lamp and sound out on that very frame, for good.
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.panel[panel::stop_station_lamp], 0);
    EXPECT_EQ(h.sound[sound::stop_station], silent);
    h.doors_closed(true);
    h.frames(60);
    EXPECT_EQ(h.sound[sound::stop_station], silent);
}

TEST(Monitor, SectionSoundTogglesWithEachBeacon) {
    cab h;
    h.close_doors();
    h.frame();
    EXPECT_EQ(h.sound[sound::section], silent);
    h.beacon(beacon::section, 0, 0.0f, 7);
    h.frames(3);
    EXPECT_EQ(h.sound[sound::section], playing);
    h.beacon(beacon::section, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[sound::section], silent);
    h.beacon(beacon::section, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[sound::section], playing);
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.sound[sound::section], silent);
}

TEST(Monitor, StopAndSectionBeaconsWhileDoorsAreOpenChangeNothing) {
    cab h; // doors count as open after Initialize
    h.frame();
    h.beacon(beacon::stop_station, 0, 0.0f, 0);
    h.beacon(beacon::section, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[sound::stop_station], silent);
    EXPECT_EQ(h.sound[sound::section], silent);
    EXPECT_EQ(h.panel[panel::stop_station_lamp], 0);
    h.doors_closed(true);
    h.frames(30);
    EXPECT_EQ(h.sound[sound::stop_station], silent);
    EXPECT_EQ(h.sound[sound::section], silent);
    EXPECT_EQ(h.panel[panel::stop_station_lamp], 0);
}

TEST(Monitor, OneManLampAndDepartureSound) {
    // One-man operation (the default): lamp lit, no departure sound.
    {
        cab h;
        h.frame();
        EXPECT_EQ(h.panel[panel::one_man_lamp], 1);
        h.doors_closed(true);
        h.frame();
        EXPECT_EQ(h.sound[sound::departure], unchanged);
        EXPECT_EQ(h.panel[panel::one_man_lamp], 1);
    }
    // Two-person operation: the sound starts on exactly the frame the doors close.
    cab h;
    h.beacon(beacon::crew, 0, 0.0f, 1);
    h.frame();
    EXPECT_EQ(h.panel[panel::one_man_lamp], 0);
    EXPECT_EQ(h.sound[sound::departure], unchanged);
    h.doors_closed(true); // the first DoorClose after Initialize counts
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], start_once);
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], unchanged);
    h.frames(10);
    EXPECT_EQ(h.sound[sound::departure], unchanged);
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], unchanged);
    h.doors_closed(true);
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], start_once);
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], unchanged);

    // Beacon 21 with 0 returns to one-man operation; Initialize does as well.
    h.beacon(beacon::crew, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.panel[panel::one_man_lamp], 1);
    h.beacon(beacon::crew, 0, 0.0f, -3);
    h.frame();
    EXPECT_EQ(h.panel[panel::one_man_lamp], 0);
    h.start();
    h.frame();
    EXPECT_EQ(h.panel[panel::one_man_lamp], 1);
    h.doors_closed(true);
    h.frame();
    EXPECT_EQ(h.sound[sound::departure], unchanged);
}

TEST(Monitor, TrainNumberAndMaximumSpeedFromBeaconsWithoutRangeChecks) {
    cab h;
    h.frame();
    const std::int32_t default_number[] = {2, 4, 6, 2, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(h.panel[panel::train_number + i], default_number[i]);
    EXPECT_EQ(h.panel[panel::max_speed_hundreds], 1);
    EXPECT_EQ(h.panel[panel::max_speed_tens], 0);
    EXPECT_EQ(h.panel[panel::max_speed_units], 0);

    for (int i = 0; i < 6; ++i)
        h.beacon(beacon::train_number + i, 0, 0.0f, 9 - i);
    h.beacon(beacon::train_number + 2, 0, 0.0f, 12);
    // Types next to the monitor's change nothing.
    for (const int other : {139, 146, 148, 149, 151, 159, 161})
        h.beacon(other, 0, 0.0f, 7);
    h.frame();
    const std::int32_t number[] = {9, 8, 12, 6, 5, 4};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(h.panel[panel::train_number + i], number[i]) << i;
    EXPECT_EQ(h.panel[146], sentinel);
    EXPECT_EQ(h.panel[panel::max_speed_hundreds], 1);

    struct row {
        std::int32_t speed;
        std::int32_t d100, d10, d1;
    };
    for (const row r :
         {row{1234, 2, 3, 4}, row{-5, 0, 0, -5}, row{-345, -3, -4, -5}, row{85, 0, 8, 5}}) {
        SCOPED_TRACE(r.speed);
        h.beacon(beacon::max_speed, 0, 0.0f, r.speed);
        h.frame();
        EXPECT_EQ(h.panel[panel::max_speed_hundreds], r.d100);
        EXPECT_EQ(h.panel[panel::max_speed_tens], r.d10);
        EXPECT_EQ(h.panel[panel::max_speed_units], r.d1);
    }

    // A new run brings back the defaults.
    h.start();
    h.frame();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(h.panel[panel::train_number + i], default_number[i]);
    EXPECT_EQ(h.panel[panel::max_speed_hundreds], 1);
}
