// The pattern protection through the exports: alarm, confirmation, checks, latch and reset.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "broken_scripts.h"
#include "channel_listener.h"
#include "plugin_host.h"
#include "script_support.h"
#include "scripted_library.h"

using namespace talvik_test;

namespace {
constexpr std::int32_t notches = cab_spec{}.notches, ats_notch = cab_spec{}.ats_notch;
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();
} // namespace

TEST(Protection, PowerUpTestRingsThenLeavesTheChimeUntilReleased) {
    cab h;
    h.doors_closed(true);
    // Frame 1 counts 0 ms; the bell rings while less than 100 ms have been counted.
    for (int f = 1; f <= 6; ++f) {
        h.frame();
        EXPECT_EQ(h.sound[sound::bell], playing) << f;
        EXPECT_EQ(h.panel[panel::red_lamp], 1) << f;
        EXPECT_EQ(h.sound[sound::bell_reverb], unchanged) << f;
        EXPECT_EQ(h.sound[sound::chime], f >= 3 ? playing : silent) << f;
    }
    h.frame(); // bell off: one more bell frame with the reverberation
    EXPECT_EQ(h.sound[sound::bell], playing);
    EXPECT_EQ(h.sound[sound::bell_reverb], start_once);
    EXPECT_EQ(h.panel[panel::white_lamp], 1);
    EXPECT_EQ(h.panel[panel::red_lamp], 0);
    h.frame();
    EXPECT_EQ(h.sound[sound::bell], silent);
    EXPECT_EQ(h.sound[sound::bell_reverb], unchanged);
    h.frames(500);
    EXPECT_EQ(h.sound[sound::chime], playing) << "the chime stays until release";
    h.press(key::release);
    h.frame();
    EXPECT_EQ(h.sound[sound::chime], silent);
}

TEST(Protection, UnconfirmedAlarmTripsAfterFiveCountedSeconds) {
    struct row {
        std::int32_t step_ms;
        int trip_frame;
    };
    for (const row r : {row{20, 251}, row{33, 153}, row{50, 153}}) {
        SCOPED_TRACE(r.step_ms);
        quiet_cab h;
        h.beacon(beacon::alarm, 0, 0.0f, 0);
        h.frames(r.trip_frame - 1, r.step_ms);
        EXPECT_TRUE(h.ringing());
        EXPECT_EQ(h.out.brake, 0);
        h.frame(r.step_ms);
        EXPECT_TRUE(h.latched());
    }
}

TEST(Protection, ConfirmCountsOnlyWithTheBrakeAtTheProtectionNotch) {
    quiet_cab h;
    h.ring_alarm().frames(9);
    h.api.SetBrake(ats_notch - 1);
    h.press(key::confirm);
    h.frame();
    EXPECT_TRUE(h.ringing()) << "a confirm below the notch does nothing";
    h.api.SetBrake(ats_notch);
    h.frame();
    EXPECT_TRUE(h.ringing()) << "and is not remembered once the brake is applied";
    h.release(key::confirm);
    h.frame();
    h.press(key::confirm);
    h.frame();
    // Confirmed: the bell rings one frame more with its reverberation; the chime stays.
    EXPECT_EQ(h.sound[sound::bell], playing);
    EXPECT_EQ(h.sound[sound::bell_reverb], start_once);
    EXPECT_EQ(h.sound[sound::chime], playing);
    EXPECT_EQ(h.panel[panel::white_lamp], 1);
    h.frames(400);
    EXPECT_EQ(h.sound[sound::bell], silent);
    EXPECT_EQ(h.out.brake, ats_notch) << "a confirmed alarm never trips";
    h.release(key::confirm);
    h.tap(key::release);
    EXPECT_TRUE(h.quiet());
}

TEST(Protection, ReleaseDoesNothingBeforeConfirmation) {
    quiet_cab h;
    h.ring_alarm().tap(key::release);
    EXPECT_TRUE(h.ringing());
}

TEST(Protection, ResetClearsTheAlarmButTheLatchOnlyAtTheEmergencyPosition) {
    quiet_cab h;
    h.latch();
    ASSERT_TRUE(h.latched());
    h.api.SetBrake(notches);
    h.tap(key::reset);
    EXPECT_TRUE(h.latched()) << "reset below the emergency position keeps the latch";
    h.api.SetBrake(emergency);
    h.press(key::reset);
    h.frame();
    EXPECT_EQ(h.panel[panel::red_lamp], 0);
    EXPECT_EQ(h.sound[sound::chime], silent);
    EXPECT_EQ(h.sound[sound::bell], playing) << "the bell's one extra frame";
    EXPECT_EQ(h.sound[sound::bell_reverb], start_once);
    h.release(key::reset);
    h.api.SetBrake(0);
    h.frame();
    EXPECT_TRUE(h.quiet());
    EXPECT_EQ(h.out.brake, 0);
}

TEST(Protection, OneResetPressClearsAlarmAndLatchTogether) {
    quiet_cab h;
    h.ring_alarm().frames(259); // tripped and latched
    ASSERT_TRUE(h.latched());
    h.api.SetBrake(emergency);
    h.frame();
    h.press(key::reset);
    h.frame();
    EXPECT_EQ(h.panel[panel::red_lamp], 0);
    EXPECT_EQ(h.panel[panel::white_lamp], 1);
    h.frame();
    EXPECT_TRUE(h.quiet());
    h.frames(100);
    EXPECT_TRUE(h.quiet()) << "held reset key gives one press";
}

TEST(Protection, VigilanceBrakingIsTheEmergencyPositionTheResetSees) {
    // The vigilance device commands the emergency brake; the protection's reset then releases
    // its own latch without the driver's handle being at emergency.
    quiet_cab h;
    h.speed(30.0f);
    h.latch().reach_vigilance_braking();
    ASSERT_TRUE(h.latched());
    ASSERT_TRUE(h.vigilance_braking());
    h.press(key::reset);
    h.frame(33);
    EXPECT_EQ(h.panel[panel::red_lamp], 0)
        << "command brake is at emergency through the vigilance brake";
    EXPECT_EQ(h.out.brake, emergency) << "vigilance still brakes";
}

TEST(Protection, BeaconsAtAnAspectOtherThanZeroOrBeforeInitializeDoNothing) {
    {
        quiet_cab h;
        for (const std::int32_t type : {beacon::alarm, beacon::trip, beacon::pattern_check})
            h.beacon(type, 1, 100.0f, 0);
        h.beacon(-1, 0, 0.0f, 0);
        h.beacon(2, 0, 0.0f, 0);
        h.frames(300);
        EXPECT_TRUE(h.quiet());
    }
    {
        host h;
        h.beacon(beacon::trip, 0, 0.0f, 0); // before the first Initialize
        h.start().doors_closed(true);
        h.frames(10);
        h.press(key::release);
        h.frame();
        EXPECT_EQ(h.panel[panel::white_lamp], 1);
        EXPECT_EQ(h.sound[sound::bell], silent);
        EXPECT_EQ(h.out.brake, 0);
    }
}

TEST(Protection, TypeZeroBeaconRestartsTheConfirmationTypeOneKeepsIt) {
    quiet_cab h;
    h.ring_alarm().frames(199);
    h.beacon(beacon::alarm, 0, 0.0f, 0); // restart: 250 more frames needed
    h.frames(250);
    EXPECT_EQ(h.out.brake, 0);
    h.frame();
    EXPECT_TRUE(h.latched());
}

TEST(Protection, SpeedChecksAreOneShotAndTriggerAtOrAboveTheirSpeed) {
    struct row {
        std::int32_t type, check;
        float speed;
        bool brakes, rings;
    };
    const row rows[] = {
        {beacon::braking_speed_check, 60, 60.0f, true, false},
        {beacon::braking_speed_check, 60, 59.9f, false, false},
        {beacon::braking_speed_check, 0, 0.0f, true, false},
        {beacon::braking_speed_check, -1, 100.0f, false, false},
        {beacon::braking_speed_check, 10, -50.0f, false, false},
        {beacon::alarm_speed_check, 40, 40.0f, false, true},
        {beacon::alarm_speed_check, 40, 39.0f, false, false},
        // The check compares with <=, which is false for NaN: a speed that is not a number
        // reaches no check speed; an infinite one reaches it.
        {beacon::braking_speed_check, 10, nan_f, false, false},
        {beacon::braking_speed_check, 10, -nan_f, false, false},
        {beacon::braking_speed_check, 10, inf_f, true, false},
        {beacon::braking_speed_check, 10, -inf_f, false, false},
        {beacon::braking_speed_check, 10, FLT_MAX, true, false},
        {beacon::braking_speed_check, 10, -FLT_MAX, false, false},
        {beacon::braking_speed_check, 10, 1e30f, true, false},
        {beacon::braking_speed_check, 10, 14.999999f, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.type << " " << r.check << " " << r.speed);
        quiet_cab h;
        h.speed(r.speed);
        h.beacon(r.type, 5, 0.0f, r.check); // any aspect
        h.frame();
        EXPECT_EQ(h.latched(), r.brakes);
        EXPECT_EQ(!r.brakes && h.ringing(), r.rings);
        if (!r.brakes && !r.rings) {
            h.speed(200.0f);
            h.frame();
            EXPECT_TRUE(h.quiet()) << "a check is used once";
        }
    }
}

namespace {
// Pattern speed = the beacon's distance / 10; counts its evaluations in `lookups`.
const char* distance_script = R"(
if (!("lookups" in getroottable())) ::lookups <- 0;
if (!("top_runs" in getroottable())) ::top_runs <- 0;
::top_runs += 1;
function get_brake_pattern_offset(x) { return 0; }
function get_incoming_pattern_offset(x) { return 0.0; }
function lookup_brake_pattern(a, b, distance, offset) {
    ::lookups += 1;
    if (::lookups > 1) return -1000.0; // a second evaluation would always brake
    return distance / 10.0;
}
)";
} // namespace

TEST(Protection, PatternCheckBrakesAtOrAboveThePatternSpeedOnce) {
    scripted_library lib(distance_script);
    struct row {
        float distance, speed;
        bool brakes;
    };
    for (const row r :
         {row{600.0f, 60.0f, true}, row{600.0f, 59.0f, false}, row{600.0f, -70.0f, false}}) {
        SCOPED_TRACE(r.speed);
        quiet_cab h(lib.library());
        h.speed(r.speed);
        h.beacon(beacon::pattern_check, 0, r.distance, 0);
        h.frame();
        EXPECT_EQ(h.latched(), r.brakes);
        if (!r.brakes) {
            h.frames(5);
            EXPECT_TRUE(h.quiet()) << "one evaluation per arming";
        }
    }
}

TEST(Protection, SecondArmingBeforeTheFrameWinsAndInitializeKeepsItArmed) {
    scripted_library lib(distance_script);
    {
        quiet_cab h(lib.library());
        h.speed(50.0f);
        h.beacon(beacon::pattern_check, 0, 100.0f, 0);  // pattern 10: would brake
        h.beacon(beacon::pattern_check, 0, 1000.0f, 0); // pattern 100: does not
        h.frame();
        EXPECT_TRUE(h.quiet());
    }
    {
        quiet_cab h(lib.library());
        h.speed(50.0f);
        h.beacon(beacon::pattern_check, 0, 100.0f, 0);
        h.api.Initialize(0);
        h.doors_closed(true);
        h.frame();
        EXPECT_EQ(h.out.brake, emergency) << "the armed check survives Initialize";
    }
}

TEST(Protection, BrokenScriptsBrakeWithTheirReportAndTheNextLoadRunsNormally) {
    const bool listening = isolate_channel_name();
    const held_stdin input; // a script that reads it would hang the test
    for (const broken_script& r : broken_scripts) {
        SCOPED_TRACE(r.what);
        scripted_library lib((std::string(sound_functions) + r.script + "\n").c_str());
        channel_listener listener; // before Load: the channel opens only then
        {
            quiet_cab h(lib.library());
            // The socket queues only a few lines: collected as a reading listener would.
            listener.collect();
            h.beacon(beacon::pattern_check, 0, 600.0f, 0);
            listener.collect();
            // Still reaches the monitor after a failed arming.
            h.beacon(beacon::max_speed, 0, 0.0f, 95);
            listener.collect();
            h.frame();
            EXPECT_TRUE(h.latched());
            EXPECT_EQ(h.out.const_speed, ats::cab::const_speed_resting)
                << "the rest of the frame ran";
            EXPECT_EQ(h.panel[panel::max_speed_tens] * 10 + h.panel[panel::max_speed_units], 95)
                << "the beacon reached the monitor";
            h.api.SetBrake(emergency);
            h.tap(key::reset);
            h.api.SetBrake(0);
            h.frames(3);
            if (r.lost) {
                EXPECT_TRUE(h.latched()) << "no reset releases a protection without its script";
                h.start().doors_closed(true);
                listener.collect();
                h.beacon(beacon::pattern_check, 0, 600.0f, 0);
                listener.collect();
                h.frame();
                EXPECT_TRUE(h.latched()) << "nor does Initialize";
            } else {
                EXPECT_TRUE(h.quiet()) << "the broken check is not retried every frame";
            }
        }
        if (listening) {
            const std::vector<std::string> lines = listener.take();
            const std::string report = std::string("talvik > script error: ") + r.report + "\r\n";
            EXPECT_EQ(std::count(lines.begin(), lines.end(), report), 1) << "reported once";
        }
        // Mended beside the library: the next Load runs normally.
        lib.write_script(sound_functions);
        quiet_cab h(lib.library());
        h.speed(80.0f);
        h.beacon(beacon::pattern_check, 0, 600.0f, 0);
        h.frames(3);
        EXPECT_TRUE(h.quiet());
    }
}

// As the author's guide describes the fail-safe cab.
TEST(Protection, WithoutAUsableScriptEveryFrameBrakesWithTheRedLamp) {
    const char* broken = "function lookup_brake_pattern( {";
    for (const char* script : {static_cast<const char*>(nullptr), broken}) {
        scripted_library lib(script);
        cab h(lib.library());
        h.doors_closed(true);
        h.api.SetPower(4);
        h.api.SetReverser(1);
        h.api.HornBlow(0);
        h.beacon(beacon::pattern_check, 0, 100.0f, 0);
        h.api.SetSignal(0);
        for (int i = 0; i < 3; ++i) {
            const ats::handles out = h.frame();
            EXPECT_EQ(out.power, 0);
            EXPECT_EQ(out.brake, emergency);
            EXPECT_EQ(out.reverser, 0);
            EXPECT_EQ(out.const_speed, ats::cab::const_speed_resting);
        }
        // The red lamp lit, every other lamp and digit 0, every sound at rest.
        for (const auto& p : ats::cab::panel_layout)
            EXPECT_EQ(h.panel[p.index], p.index == panel::red_lamp ? 1 : 0) << p.meaning;
        for (const auto& s : ats::cab::sound_layout)
            EXPECT_EQ(h.sound[s.index], ats::cab::resting(s.kind)) << s.meaning;
    }
}

TEST(Protection, APluginWhoseDirectoryIsTooLongToHoldReadsNoScriptFromElsewhere) {
    // The directory does not fit the 260-character buffer: the plug-in must not fall back to a
    // signal_pattern.nut in the host's working directory, which could belong to another train.
    namespace fs = std::filesystem;
    scripted_library outer("function get_brake_pattern_offset(x) { return 0; }\n"
                           "function get_incoming_pattern_offset(x) { return 0; }\n"
                           "function lookup_brake_pattern(a, b, d, o) { return 1000; }\n");
    fs::path deep = outer.dir();
    while (deep.string().size() < 300)
        deep /= "a-rather-long-folder-name";
    fs::create_directories(deep);
    fs::copy_file(built_library(), deep / hostkit::library_file_name());
    fs::copy_file(fs::path(outer.dir()) / "signal_pattern.nut", deep / "signal_pattern.nut");
    ASSERT_EQ(chdir(outer.dir().c_str()), 0); // a usable script in the working directory
    plugin_library lib((deep / hostkit::library_file_name()).string());
    cab h(lib);
    h.doors_closed(true);
    h.api.SetPower(3);
    const ats::handles out = h.frame();
    EXPECT_EQ(out.brake, emergency);
    EXPECT_EQ(out.power, 0);
    EXPECT_EQ(h.panel[panel::red_lamp], 1);
}
