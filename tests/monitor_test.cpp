// The cab monitor through the exports: digits, clock, date, traction filter, blink, beacons,
// lamps and sounds.
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <limits>
#include <utility>

#include "plugin_host.h"

using talvik_test::host;

namespace {
// panel indices
constexpr int emergency_brake_lamp = 20;
constexpr int oneman = 21;
constexpr int pos_tenth = 110, pos_1 = 111, pos_10 = 112, pos_100 = 113;
constexpr int month = 116, day = 117, minutes = 118, seconds = 119;
constexpr int cont_lit = 120, cont_state = 121;
constexpr int retsuban = 140; // to 145
constexpr int max_speed = 147; // to 149
constexpr int stop_lamp = 150;
// sound indices
constexpr int leave = 21;
constexpr int stop_sound = 150;
constexpr int section_sound = 160;

constexpr int blank = 11;

// Hundreds, tens, units, tenths of a kilometre as the host sees them.
std::array<std::int32_t, 4> position_digits(const host& h) {
    return {h.panel[pos_100], h.panel[pos_10], h.panel[pos_1], h.panel[pos_tenth]};
}
using digits = std::array<std::int32_t, 4>;

// Started, doors closed, one frame run so that the next frame counts its full step.
struct cab : host {
    explicit cab(std::int32_t notches = 8) {
        start(notches).doors_closed(true);
        frame(0);
    }
};
} // namespace

TEST(Monitor, PositionDigitsWithBlankLeadingDigits) {
    struct row {
        double metres;
        digits expected;
    };
    const row rows[] = {
        {12345.6, {blank, 1, 2, 3}}, {5000.0, {blank, blank, 5, 0}}, {105340.0, {1, 0, 5, 3}},
        {50.0, {blank, blank, 0, 0}}, {-1500.0, {blank, blank, -1, -5}},
        {999999.0, {9, 9, 9, 9}},    {1000000.0, {blank, blank, 0, 0}}, // wraps past 999.9 km
        {-123456.0, {-1, -2, -3, -4}},
        // beyond the int range in tenths: still the true digits
        {4294967296123.4, {2, 9, 6, 1}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.metres);
        host h;
        h.start();
        h.state.location = r.metres;
        h.frame();
        EXPECT_EQ(position_digits(h), r.expected);
    }
}

TEST(Monitor, PositionFollowsLocationDifferencesIncludingJumps) {
    host h;
    h.start();
    struct step {
        double metres;
        digits expected;
    };
    const step steps[] = {
        {1000.0, {blank, blank, 1, 0}},   {1550.0, {blank, blank, 1, 5}},
        {250100.0, {2, 5, 0, 1}},         {5000.0, {blank, blank, 5, 0}},
        {-1500.0, {blank, blank, -1, -5}}, {-1000.0, {blank, blank, -1, 0}},
        {20000.0, {blank, 2, 0, 0}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.metres);
        h.state.location = s.metres;
        h.frame();
        EXPECT_EQ(position_digits(h), s.expected);
    }

    // The position is a running sum of location changes, so the sum's rounding shows:
    // -1999.7 m followed by 1000 m gives 999.9999999999998 m, 0.9 km.
    h.start();
    h.state.location = -1999.7;
    h.frame();
    h.state.location = 1000.0;
    h.frame();
    EXPECT_EQ(position_digits(h), (digits{blank, blank, 0, 9}));

    // A new run takes the first location afresh, whatever the last run showed.
    h.start();
    h.state.location = 73400.0;
    h.frame();
    EXPECT_EQ(position_digits(h), (digits{blank, 7, 3, 4}));
}

TEST(Monitor, LocationThatIsNotANumberBlanksThePositionUntilASoundOneArrives) {
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        host h;
        h.start();
        h.state.location = 2000.0;
        h.frame();
        h.state.location = bad;
        h.frame();
        EXPECT_EQ(position_digits(h), (digits{blank, blank, blank, blank}));
        h.state.location = 2100.0;
        h.frame();
        EXPECT_EQ(position_digits(h), (digits{blank, blank, 2, 1}));
        h.state.location = 2300.0;
        h.frame();
        EXPECT_EQ(position_digits(h), (digits{blank, blank, 2, 3}));

        // Also on the first frame of a run.
        h.start();
        h.state.location = bad;
        h.frame();
        EXPECT_EQ(position_digits(h), (digits{blank, blank, blank, blank}));
        h.state.location = 450.0;
        h.frame();
        EXPECT_EQ(position_digits(h), (digits{blank, blank, 0, 4}));
    }
}

TEST(Monitor, ClockShowsMinutesAndSecondsOfTheSimulationTime) {
    struct row {
        std::int32_t time_ms;
        std::int32_t minutes, seconds;
    };
    const row rows[] = {
        {49527500, 45, 27}, {36000000, 0, 0}, {3599999, 59, 59}, {-61500, -1, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.time_ms);
        host h;
        h.start(8, 2, r.time_ms);
        h.frame(0);
        EXPECT_EQ(h.panel[minutes], r.minutes);
        EXPECT_EQ(h.panel[seconds], r.seconds);
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
    host h;
    h.start();
    h.frame();
    const auto after = today();
    const std::pair<int, int> shown{h.panel[month], h.panel[day]};
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
        h.state.traction_value = 0.5f;
        h.frames(r.shown_frame - 1, r.step_ms);
        EXPECT_EQ(h.panel[cont_state], 0) << "one frame before";
        EXPECT_EQ(h.panel[cont_lit], 0);
        h.frame(r.step_ms);
        EXPECT_EQ(h.panel[cont_state], 1);
        EXPECT_EQ(h.panel[cont_lit], 1);
    }
}

TEST(Monitor, TractionChangeThatNeverLastsLongEnoughIsNeverShown) {
    cab h;
    for (int i = 0; i < 3; ++i) {
        h.state.traction_value = 1.0f;
        h.frames(50); // exactly 1000 ms: not more
        EXPECT_EQ(h.panel[cont_state], 0);
        h.state.traction_value = 0.0f;
        h.frame();
        EXPECT_EQ(h.panel[cont_state], 0) << "back to the shown state: the count restarts";
    }
    // Counted time is capped: 30 frames of 100 ms count 990 ms.
    h.state.traction_value = 1.0f;
    h.frames(30, 100);
    EXPECT_EQ(h.panel[cont_state], 0);
}

TEST(Monitor, TractionCodesAndTheStateComputedWhenTheCountPasses) {
    struct row {
        float traction;
        std::int32_t brake;
        std::int32_t code;
    };
    const row rows[] = {{-1.0f, 1, 3}, {-1.0f, 5, 2}, {-1.0f, 0, 0}, {1.0f, 5, 1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.brake);
        cab h;
        h.state.traction_value = r.traction;
        h.api.SetBrake(r.brake);
        h.frames(51);
        EXPECT_EQ(h.panel[cont_state], r.code);
        EXPECT_EQ(h.panel[cont_lit], r.code > 0 ? 1 : 0);
    }

    // The count does not restart when the computed state moves among other values.
    cab h;
    h.state.traction_value = 1.0f;
    h.frames(30);
    h.state.traction_value = -1.0f;
    h.api.SetBrake(1);
    h.frames(20);
    EXPECT_EQ(h.panel[cont_state], 0);
    h.frame();
    EXPECT_EQ(h.panel[cont_state], 3);
}

TEST(Monitor, TractionCodeUsesTheBrakeTheHostReceives) {
    // The vigilance device brakes at notch 9 while the driver's handle is released.
    cab h;
    h.speed(30.0f);
    h.frames(1970, 33);
    ASSERT_EQ(h.out.brake, 9);
    h.state.traction_value = -1.0f;
    h.frames(31, 33);
    EXPECT_EQ(h.panel[cont_state], 2);
}

TEST(Monitor, EmergencyBrakeLampOnlyFromTheDriversHandle) {
    cab h;
    h.speed(30.0f);
    h.frames(1970, 33);
    ASSERT_EQ(h.out.brake, 9) << "the vigilance device commands the emergency brake";
    EXPECT_EQ(h.panel[emergency_brake_lamp], 0);

    for (const auto& [handle, lamp] : {std::pair{9, 1}, {8, 0}, {10, 0}, {9, 1}, {0, 0}}) {
        SCOPED_TRACE(handle);
        h.api.SetBrake(handle);
        h.frame();
        EXPECT_EQ(h.panel[emergency_brake_lamp], lamp);
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
        h.beacon(150, 0, 0.0f, 0);
        h.frame(r.step_ms);
        EXPECT_EQ(h.sound[stop_sound], -1);
        EXPECT_EQ(h.panel[stop_lamp], 0) << "dark on the first frame";
        for (int cycle = 0; cycle < 3; ++cycle) {
            SCOPED_TRACE(cycle);
            for (int i = 0; i < r.lit_frames; ++i) {
                h.frame(r.step_ms);
                ASSERT_EQ(h.panel[stop_lamp], 1) << "lit frame " << i;
            }
            for (int i = 0; i < r.dark_frames; ++i) {
                h.frame(r.step_ms);
                ASSERT_EQ(h.panel[stop_lamp], 0) << "dark frame " << i;
                ASSERT_EQ(h.sound[stop_sound], -1);
            }
        }
    }
}

TEST(Monitor, StopStationEndsWhenTheDoorsOpen) {
    cab h;
    h.beacon(150, 0, 0.0f, 0);
    h.frames(20);
    ASSERT_EQ(h.panel[stop_lamp], 1);

    // A second beacon 150 does not restart the phase (a restart would show a dark frame).
    h.beacon(150, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.panel[stop_lamp], 1);

    // Opening the doors puts lamp and sound out on that very frame, for good.
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.panel[stop_lamp], 0);
    EXPECT_EQ(h.sound[stop_sound], -10000);
    h.doors_closed(true);
    h.frames(60);
    EXPECT_EQ(h.sound[stop_sound], -10000);
}

TEST(Monitor, SectionSoundTogglesWithEachBeacon) {
    cab h;
    h.frame();
    EXPECT_EQ(h.sound[section_sound], -10000);
    h.beacon(160, 0, 0.0f, 7);
    h.frames(3);
    EXPECT_EQ(h.sound[section_sound], -1);
    h.beacon(160, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[section_sound], -10000);
    h.beacon(160, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[section_sound], -1);
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.sound[section_sound], -10000);
}

TEST(Monitor, StopAndSectionBeaconsWhileDoorsAreOpenChangeNothing) {
    host h;
    h.start(); // doors count as open after Initialize
    h.frame();
    h.beacon(150, 0, 0.0f, 0);
    h.beacon(160, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.sound[stop_sound], -10000);
    EXPECT_EQ(h.sound[section_sound], -10000);
    EXPECT_EQ(h.panel[stop_lamp], 0);
    h.doors_closed(true);
    h.frames(30);
    EXPECT_EQ(h.sound[stop_sound], -10000);
    EXPECT_EQ(h.sound[section_sound], -10000);
    EXPECT_EQ(h.panel[stop_lamp], 0);
}

TEST(Monitor, OneManLampAndDepartureSound) {
    // One-man operation (the default): lamp lit, no departure sound.
    {
        host h;
        h.start();
        h.frame();
        EXPECT_EQ(h.panel[oneman], 1);
        h.doors_closed(true);
        h.frame();
        EXPECT_EQ(h.sound[leave], 2);
        EXPECT_EQ(h.panel[oneman], 1);
    }
    // Two-person operation: the sound starts on exactly the frame the doors close.
    host h;
    h.start();
    h.beacon(21, 0, 0.0f, 1);
    h.frame();
    EXPECT_EQ(h.panel[oneman], 0);
    EXPECT_EQ(h.sound[leave], 2);
    h.doors_closed(true); // the first DoorClose after Initialize counts
    h.frame();
    EXPECT_EQ(h.sound[leave], 1);
    h.frame();
    EXPECT_EQ(h.sound[leave], 2);
    h.frames(10);
    EXPECT_EQ(h.sound[leave], 2);
    h.doors_closed(false);
    h.frame();
    EXPECT_EQ(h.sound[leave], 2);
    h.doors_closed(true);
    h.frame();
    EXPECT_EQ(h.sound[leave], 1);
    h.frame();
    EXPECT_EQ(h.sound[leave], 2);

    // Beacon 21 with 0 returns to one-man operation; Initialize does as well.
    h.beacon(21, 0, 0.0f, 0);
    h.frame();
    EXPECT_EQ(h.panel[oneman], 1);
    h.beacon(21, 0, 0.0f, -3);
    h.frame();
    EXPECT_EQ(h.panel[oneman], 0);
    h.start();
    h.frame();
    EXPECT_EQ(h.panel[oneman], 1);
    h.doors_closed(true);
    h.frame();
    EXPECT_EQ(h.sound[leave], 2);
}

TEST(Monitor, TrainNumberAndMaximumSpeedFromBeaconsWithoutRangeChecks) {
    host h;
    h.start();
    h.frame();
    const std::int32_t default_number[] = {2, 4, 6, 2, 0, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(h.panel[retsuban + i], default_number[i]);
    EXPECT_EQ(h.panel[max_speed], 1);
    EXPECT_EQ(h.panel[max_speed + 1], 0);
    EXPECT_EQ(h.panel[max_speed + 2], 0);

    for (int i = 0; i < 6; ++i) h.beacon(140 + i, 0, 0.0f, 9 - i);
    h.beacon(142, 0, 0.0f, 12);
    // Types next to the monitor's change nothing.
    for (const int other : {139, 146, 148, 149, 151, 159, 161})
        h.beacon(other, 0, 0.0f, 7);
    h.frame();
    const std::int32_t number[] = {9, 8, 12, 6, 5, 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(h.panel[retsuban + i], number[i]) << i;
    EXPECT_EQ(h.panel[146], talvik_test::sentinel);
    EXPECT_EQ(h.panel[max_speed], 1);

    struct row {
        std::int32_t speed;
        std::int32_t d100, d10, d1;
    };
    for (const row r : {row{1234, 2, 3, 4}, row{-5, 0, 0, -5}, row{-345, -3, -4, -5},
                        row{85, 0, 8, 5}}) {
        SCOPED_TRACE(r.speed);
        h.beacon(147, 0, 0.0f, r.speed);
        h.frame();
        EXPECT_EQ(h.panel[max_speed], r.d100);
        EXPECT_EQ(h.panel[max_speed + 1], r.d10);
        EXPECT_EQ(h.panel[max_speed + 2], r.d1);
    }

    // A new run brings back the defaults.
    h.start();
    h.frame();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(h.panel[retsuban + i], default_number[i]);
    EXPECT_EQ(h.panel[max_speed], 1);
}
