// The buses' look-up rules for names that arrive at run time, their per-frame reset, and the
// output mapping's transforms and sources.
#include <gtest/gtest.h>

#include "wiring/output_mapping.h"
#include "wiring/wiring.h"

using namespace ats;
using cab::sound_cmd::silent;
using cab::sound_cmd::unchanged;

TEST(Wiring, RegistersLooksUpAndResetsByTheTable) {
    wiring w;
    w.register_signals();
    EXPECT_EQ(w.sound.get(sig::ebbz), 0) << "every cell zero until the first reset";
    EXPECT_FALSE(w.boolean.get(sig::lv));
    const std::size_t registered = w.panel.size();
    EXPECT_EQ(registered, signals_on(bus_id::panel));

    // Unknown names share one spare cell, which the reset leaves alone; nothing adds a name.
    w.reset();
    w.panel.get("no_such_lamp") = 5;
    EXPECT_EQ(w.panel.get("another_unknown"), 5);
    EXPECT_EQ(w.panel.get(sig::white_lamp), 0);
    w.reset();
    EXPECT_EQ(w.panel.get("no_such_lamp"), 5);
    w.panel.get(sig::white_lamp) = 1;
    w.panel.add(sig::white_lamp);
    EXPECT_EQ(w.panel.get(sig::white_lamp), 1) << "adding a registered name keeps its value";
    EXPECT_EQ(w.panel.size(), registered);

    // One name on two buses is two signals; the compiler's slot and the look-up agree.
    w.command.at<sig::power>() = 4;
    EXPECT_EQ(w.command.get(sig::power), 4);
    EXPECT_EQ(w.output.get(sig::power), 0);
    w.panel.get(sig::mon_stop_station_150) = 1;
    EXPECT_EQ(w.sound.get(sig::mon_stop_station_150), silent);

    // The resting values the devices rely on inside the vehicle, where the host does not see them.
    w.panel.get(sig::eblp) = 1;
    w.sound.get(sig::leave) = 1;
    w.boolean.get(sig::cs) = true;
    w.reset();
    EXPECT_EQ(w.panel.get(sig::eblp), 0);
    EXPECT_EQ(w.command.get(sig::const_speed), cab::const_speed_resting);
    EXPECT_EQ(w.output.get(sig::const_speed), cab::const_speed_resting);
    EXPECT_EQ(w.sound.get(sig::leave), unchanged);
    EXPECT_EQ(w.sound.get(sig::ebbz), silent);
    EXPECT_EQ(w.sound.get(sig::ats_s_bell_reverb), unchanged);
    EXPECT_TRUE(w.boolean.get(sig::lv));
    EXPECT_FALSE(w.boolean.get(sig::cs));
}

TEST(OutputMapping, TractionLampShowsAPositiveStateAndUnmappedSignalsStayHidden) {
    namespace panel = cab::panel;
    wiring w;
    w.register_signals();
    w.reset();
    std::int32_t shown[256] = {};
    std::int32_t sound[256] = {};
    handles out{};
    for (const std::int32_t state : {0, 1, 2, 3, -1}) {
        w.panel.get(sig::mon_cont_state) = state;
        write_outputs(w, out, shown, sound);
        EXPECT_EQ(shown[panel::traction_shown], state > 0 ? 1 : 0) << state;
        EXPECT_EQ(shown[panel::traction_state], state);
    }
    w.panel.get(sig::br) = 7;
    w.panel.get(sig::sap) = 7;
    w.panel.get(sig::mon_pos_tenth) = -5;
    write_outputs(w, out, shown, sound);
    for (int i = 0; i < 256; ++i)
        EXPECT_NE(shown[i], 7);
    EXPECT_EQ(shown[panel::position_tenths], -5) << "negative digits pass through";
}

TEST(OutputMapping, HandlesComeFromTheOutputBusNotTheCommandBus) {
    wiring w;
    w.register_signals();
    w.reset();
    w.command.get(sig::power) = 5;
    w.output.get(sig::brake) = 3;
    w.output.get(sig::reverser) = -1;
    handles out{};
    write_outputs(w, out, nullptr, nullptr);
    EXPECT_EQ(out.power, 0);
    EXPECT_EQ(out.brake, 3);
    EXPECT_EQ(out.reverser, -1);
    EXPECT_EQ(out.const_speed, cab::const_speed_resting);
}
