// The bus's look-up rules for names that arrive at run time, and the per-frame reset.
#include <gtest/gtest.h>

#include "wiring/wiring.h"

using namespace ats;

TEST(Bus, UnknownNamesShareOneSpareCellThatSurvivesTheReset) {
    wiring w;
    w.register_signals();
    w.reset();
    w.panel.get("no_such_lamp") = 5;
    EXPECT_EQ(w.panel.get("another_unknown"), 5);
    EXPECT_EQ(w.panel.get(sig::white_lamp), 0);
    w.reset();
    EXPECT_EQ(w.panel.get("no_such_lamp"), 5);
    EXPECT_EQ(w.panel.size(), 26u) << "a look-up must never add a name";
}

TEST(Bus, AddingARegisteredNameKeepsItsValue) {
    wiring w;
    w.register_signals();
    w.panel.get(sig::white_lamp) = 1;
    w.panel.add(sig::white_lamp);
    EXPECT_EQ(w.panel.get(sig::white_lamp), 1);
    EXPECT_EQ(w.panel.size(), 26u);
}

TEST(Bus, SameNameOnTwoBusesIsTwoSignals) {
    wiring w;
    w.register_signals();
    w.command.at<sig::power>() = 4;
    EXPECT_EQ(w.command.get(sig::power), 4) << "the compiler's slot and the run-time look-up agree";
    EXPECT_EQ(w.output.get(sig::power), 0);
    w.panel.get(sig::mon_stop_station_150) = 1;
    EXPECT_EQ(w.sound.get(sig::mon_stop_station_150), 0);
}

TEST(Wiring, RegistersFortyEightSignalsAllZeroUntilTheFirstReset) {
    wiring w;
    w.register_signals();
    EXPECT_EQ(w.panel.size() + w.sound.size() + w.output.size() + w.command.size() +
                  w.boolean.size(),
              48u);
    EXPECT_EQ(w.sound.get(sig::ebbz), 0);
    EXPECT_FALSE(w.boolean.get(sig::lv));
}

TEST(Wiring, ResetRestoresEveryRestingValue) {
    wiring w;
    w.register_signals();
    w.panel.get(sig::eblp) = 1;
    w.sound.get(sig::leave) = 1;
    w.boolean.get(sig::cs) = true;
    w.reset();
    EXPECT_EQ(w.panel.get(sig::eblp), 0);
    EXPECT_EQ(w.command.get(sig::const_speed), 2);
    EXPECT_EQ(w.output.get(sig::const_speed), 2);
    EXPECT_EQ(w.sound.get(sig::leave), 2);
    EXPECT_EQ(w.sound.get(sig::ebbz), -10000);
    EXPECT_EQ(w.sound.get(sig::ats_s_bell_reverb), 2);
    EXPECT_TRUE(w.boolean.get(sig::lv));
    EXPECT_FALSE(w.boolean.get(sig::cs));
}
