// The output mapping: resting values at every mapped index, nothing else touched.
#include <gtest/gtest.h>

#include <set>

#include "plugin_host.h"
#include "wiring/output_mapping.h"

using talvik_test::host;
using talvik_test::sentinel;

namespace {
const std::set<int> panel_indices = {0,   1,   8,   20,  21,  110, 111, 112, 113,
                                     116, 117, 118, 119, 120, 121, 140, 141, 142,
                                     143, 144, 145, 147, 148, 149, 150};
const std::set<int> sound_indices = {0, 1, 2, 13, 21, 150, 160, 211, 212};
} // namespace

TEST(OutputMapping, WritesExactlyTheMappedIndices) {
    std::set<int> panel, sound;
    for (const auto& row : ats::panel_outputs) panel.insert(row.index);
    for (const auto& row : ats::sound_outputs) sound.insert(row.index);
    EXPECT_EQ(panel, panel_indices);
    EXPECT_EQ(sound, sound_indices);

    host h;
    h.start();
    h.frame();
    for (int i = 0; i < 256; ++i) {
        if (!panel_indices.count(i)) {
            EXPECT_EQ(h.panel[i], sentinel) << "panel " << i;
        }
        if (!sound_indices.count(i)) {
            EXPECT_EQ(h.sound[i], sentinel) << "sound " << i;
        }
    }
    for (int i : {211, 212}) EXPECT_EQ(h.sound[i], 2);
}

TEST(OutputMapping, PanelOneTwentyShowsAPositiveTractionState) {
    ats::wiring w;
    w.register_signals();
    w.reset();
    std::int32_t panel[256] = {};
    std::int32_t sound[256] = {};
    ats::handles out{};
    for (const std::int32_t state : {0, 1, 2, 3, -1}) {
        w.panel.get(ats::sig::mon_cont_state) = state;
        ats::write_outputs(w, out, panel, sound);
        EXPECT_EQ(panel[120], state > 0 ? 1 : 0) << state;
        EXPECT_EQ(panel[121], state);
    }
    w.panel.get(ats::sig::br) = 7;
    w.panel.get(ats::sig::sap) = 7;
    w.panel.get(ats::sig::mon_pos_tenth) = -5;
    ats::write_outputs(w, out, panel, sound);
    for (int i = 0; i < 256; ++i) EXPECT_NE(panel[i], 7);
    EXPECT_EQ(panel[110], -5) << "negative digits pass through";
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
    EXPECT_EQ(out.const_speed, 2);
}
