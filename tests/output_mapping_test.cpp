// The output mapping: the cab's layout, transforms and the handles' bus.
#include <gtest/gtest.h>

#include <set>

#include "wiring/cab.h"
#include "wiring/output_mapping.h"

// Every index of the cab's layout is mapped, and no other. Which indices a frame writes, and
// nothing else, is checked against the author's guide through the exports.
TEST(OutputMapping, MapsExactlyTheCabsIndices) {
    std::set<std::int32_t> panel, sound;
    for (const auto& row : ats::panel_outputs)
        panel.insert(row.index);
    for (const auto& row : ats::sound_outputs)
        sound.insert(row.index);
    EXPECT_EQ(panel, (std::set<std::int32_t>(ats::cab::panel_indices.begin(),
                                             ats::cab::panel_indices.end())));
    EXPECT_EQ(sound, (std::set<std::int32_t>(ats::cab::sound_indices.begin(),
                                             ats::cab::sound_indices.end())));
}

TEST(OutputMapping, PanelOneTwentyShowsAPositiveTractionState) {
    namespace panel = ats::cab::panel;
    ats::wiring w;
    w.register_signals();
    w.reset();
    std::int32_t shown[256] = {};
    std::int32_t sound[256] = {};
    ats::handles out{};
    for (const std::int32_t state : {0, 1, 2, 3, -1}) {
        w.panel.get(ats::sig::mon_cont_state) = state;
        ats::write_outputs(w, out, shown, sound);
        EXPECT_EQ(shown[panel::traction_shown], state > 0 ? 1 : 0) << state;
        EXPECT_EQ(shown[panel::traction_state], state);
    }
    w.panel.get(ats::sig::br) = 7;
    w.panel.get(ats::sig::sap) = 7;
    w.panel.get(ats::sig::mon_pos_tenth) = -5;
    ats::write_outputs(w, out, shown, sound);
    for (int i = 0; i < 256; ++i)
        EXPECT_NE(shown[i], 7);
    EXPECT_EQ(shown[panel::position_tenths], -5) << "negative digits pass through";
}

TEST(OutputMapping, HandlesComeFromTheOutputBusNotTheCommandBus) {
    ats::wiring w;
    w.register_signals();
    w.reset();
    w.command.get(ats::sig::power) = 5;
    w.output.get(ats::sig::brake) = 3;
    w.output.get(ats::sig::reverser) = -1;
    ats::handles out{};
    ats::write_outputs(w, out, nullptr, nullptr);
    EXPECT_EQ(out.power, 0);
    EXPECT_EQ(out.brake, 3);
    EXPECT_EQ(out.reverser, -1);
    EXPECT_EQ(out.const_speed, ats::cab::const_speed_resting);
}
