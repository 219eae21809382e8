// Lifecycle and event calls through the exports: version, keys, first frame, Initialize.
#include <gtest/gtest.h>

#include "plugin_host.h"

using namespace talvik_test;

TEST(Lifecycle, VersionIsTheSameBeforeAndAfterLoad) {
    auto& api = plugin_library::built().api();
    EXPECT_EQ(api.GetPluginVersion(), 131072);
    {
        host h;
        EXPECT_EQ(api.GetPluginVersion(), 0x20000);
    }
    EXPECT_EQ(api.GetPluginVersion(), 0x20000);
}

TEST(Lifecycle, ExportsCalledOutOfOrderDoNotCrash) {
    auto& api = plugin_library::built().api();
    api.Dispose();
    api.Dispose();
    api.SetPower(3);
    api.KeyDown(key::eb_acknowledge);
    api.KeyUp(key::eb_acknowledge);
    api.HornBlow(0);
    api.SetSignal(0);
    api.SetBeaconData(ats::beacon_data{beacon::alarm, 0, 100.0f, 0});
    std::int32_t panel[256] = {};
    std::int32_t sound[256] = {};
    ats::vehicle_state state{};
    state.time = 1000;
    // Before Load the script VM is closed, so no vehicle can be built: the frame fails safe.
    const ats::handles out = api.Elapse(state, panel, sound);
    EXPECT_EQ(out.power, 0);
    EXPECT_EQ(out.const_speed, ats::cab::const_speed_resting);
    EXPECT_EQ(panel[panel::red_lamp], 1);
    api.Dispose();
    api.Initialize(0);
    api.Dispose();
    // A proper run afterwards is unaffected.
    cab h;
    EXPECT_EQ(h.frame().const_speed, ats::cab::const_speed_resting);
}

TEST(Lifecycle, ReloadAfterDisposeStartsAFreshRun) {
    for (int run = 0; run < 3; ++run) {
        cab h;
        h.doors_closed(true);
        h.api.SetPower(2);
        EXPECT_EQ(h.frame().power, 2);
    }
}

TEST(Lifecycle, KeyUpTogglesTheKeysLowFiveBits) {
    // Key 2 held is an acknowledgement each frame; its bit shows in whether the warning comes.
    cab h;
    h.speed(30.0f);
    h.close_doors();
    h.api.KeyUp(key::eb_acknowledge); // a release with no press before it sets the bit
    h.reach_vigilance_braking();
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 0) << "key 2 held keeps the warning away";
    h.api.KeyUp(key::eb_acknowledge + 32); // bit 2 again: clears it
    h.reach_vigilance_warning();
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 1) << "released key: warning after 60 s";
    h.api.KeyDown(key::eb_acknowledge + 64);
    h.frame(33);
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 0);
}

TEST(Lifecycle, FirstFrameAfterInitializeCountsNoTime) {
    // The vigilance warning needs 60000 counted ms; a non-zero first time must count 0.
    cab h({8, 2, 5000000});
    h.speed(20.0f).doors_closed(true);
    h.reach_vigilance_warning();
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 0)
        << "the first frame after Initialize must count 0 ms";
    h.frame(33);
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 1);
}

TEST(Lifecycle, FrameAtTimeZeroMakesTheNextStepZero) {
    // Frames run through time 0: the frame after the one at exactly 0 counts 0 ms, so the
    // warning (1819 counted 33 ms steps) comes one frame later than it otherwise would.
    cab h({8, 2, -3333});
    h.speed(20.0f).doors_closed(true);
    h.frames(101, 33); // times -3300 .. 0: 100 counted steps
    ASSERT_EQ(h.state.time, 0);
    h.frames(1 + 1718, 33); // the frame at 33 counts 0, then 1718 counted steps
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 0);
    h.frame(33);
    EXPECT_EQ(h.panel[panel::vigilance_lamp], 1);
}

TEST(Lifecycle, InitializeKeepsHandlesKeysAndSpecButOpensTheDoors) {
    cab h;
    h.doors_closed(true);
    h.api.SetPower(3);
    h.api.SetReverser(1);
    h.api.SetBrake(emergency);
    h.frame();
    h.api.Initialize(1);
    h.state.time = 0;
    ats::handles out = h.frame();
    EXPECT_EQ(out.power, 0) << "doors count as open after Initialize";
    EXPECT_EQ(out.reverser, 0);
    EXPECT_EQ(out.brake, emergency);
    EXPECT_EQ(h.panel[panel::emergency_brake_lamp], 1)
        << "the handle at emergency survives Initialize and lights the lamp";
    h.doors_closed(true);
    out = h.frame();
    EXPECT_EQ(out.power, 3);
    EXPECT_EQ(out.reverser, 1);
}
