// The timeline's words: what a driver is told about lamps, sounds, handles and the monitor.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/sim/account.h"
#include "tools/sim/csv.h"
#include "tools/sim/timeline.h"

namespace {

sim::cab_state with_panel(sim::cab_state c, std::int32_t index, std::int32_t value) {
    for (std::size_t i = 0; i < sim::panel_indices.size(); ++i) {
        if (sim::panel_indices[i] == index) c.panel[i] = value;
    }
    return c;
}

sim::cab_state with_sound(sim::cab_state c, std::int32_t index, std::int32_t value) {
    for (std::size_t i = 0; i < sim::sound_indices.size(); ++i) {
        if (sim::sound_indices[i] == index) c.sound[i] = value;
    }
    return c;
}

TEST(TimelineWords, LampsAndSounds) {
    const sim::cab_state rest = sim::cab_state::resting();
    const struct {
        sim::cab_state after;
        std::vector<std::string> words;
    } table[] = {
        {with_panel(rest, 1, 1), {"red lamp on"}},
        {with_panel(rest, 0, 1), {"white lamp on"}},
        {with_panel(rest, 8, 1), {"vigilance lamp on"}},
        {with_panel(rest, 20, 1), {"emergency-brake lamp on"}},
        {with_panel(rest, 21, 1), {"one-man lamp on"}},
        {with_sound(rest, 0, -1), {"bell on"}},
        {with_sound(rest, 1, -1), {"chime on"}},
        {with_sound(rest, 13, -1), {"vigilance buzzer on"}},
        {with_sound(rest, 160, -1), {"section sound on"}},
        {with_sound(rest, 2, 1), {"bell reverberation (once)"}},
        {with_sound(rest, 21, 1), {"departure sound (once)"}},
        {with_sound(rest, 150, -1), {"stop-station indication blinking, stop-station sound on"}},
        // The blinking itself is not news while the stop-station sound plays.
        {with_panel(with_sound(rest, 150, -1), 150, 1),
         {"stop-station indication blinking, stop-station sound on"}},
        {with_panel(with_sound(rest, 0, -1), 1, 1), {"red lamp on", "bell on"}},
        {rest, {}},
    };
    for (const auto& row : table) {
        EXPECT_EQ(sim::describe_changes(rest, row.after), row.words);
    }
    // And the way back.
    EXPECT_EQ(sim::describe_changes(with_sound(rest, 13, -1), rest),
              std::vector<std::string>{"vigilance buzzer off"});
    EXPECT_EQ(sim::describe_changes(with_panel(rest, 1, 1), rest),
              std::vector<std::string>{"red lamp off"});
    // A one-shot sound back at "unchanged" says nothing.
    EXPECT_TRUE(sim::describe_changes(with_sound(rest, 2, 1), rest).empty());
}

TEST(TimelineWords, MonitorAsTheDriverReadsIt) {
    sim::cab_state c = sim::cab_state::resting();
    const std::pair<std::int32_t, std::int32_t> panel[] = {
        {116, 3}, {117, 14}, {118, 5}, {119, 7}, {113, 11}, {112, 1}, {111, 2}, {110, 3}, {140, 2},
        {141, 4}, {142, 6},  {143, 2}, {144, 0}, {145, 0},  {147, 1}, {148, 0}, {149, 0}, {121, 1}};
    for (const auto& [index, value] : panel)
        c = with_panel(c, index, value);
    EXPECT_EQ(sim::monitor_line(c),
              "monitor: 3/14 05:07 |  12.3 km | train 246200 | max 100 | traction: power");
    // Blank leading digits, and a negative digit shown as what it is.
    c = with_panel(with_panel(with_panel(c, 112, 11), 111, -1), 110, -5);
    c = with_panel(c, 121, 3);
    EXPECT_EQ(sim::monitor_line(c),
              "monitor: 3/14 05:07 |   [-1].[-5] km | train 246200 | max 100 | traction: brake, "
              "notch 1");
}

TEST(TimelineWords, Events) {
    sim::action a;
    a.kind = sim::action_kind::brake;
    a.value = 9;
    EXPECT_EQ(sim::describe_event(a, 9), "driver: brake 9 (emergency)");
    a.value = 4;
    EXPECT_EQ(sim::describe_event(a, 9), "driver: brake 4");
    a.kind = sim::action_kind::key_down;
    a.value = 0;
    EXPECT_EQ(sim::describe_event(a, 9), "driver: key 0 (protection confirm) down");
    a.kind = sim::action_kind::key_up;
    a.value = 12;
    EXPECT_EQ(sim::describe_event(a, 9), "driver: key 12 up");
    a.kind = sim::action_kind::beacon;
    a.beacon = {50, 0, 612.5f, 0};
    EXPECT_EQ(sim::describe_event(a, 9),
              "beacon 50 (pattern check): signal 0, distance 612.5, optional 0");
    a.beacon = {143, 0, 0.0f, 7};
    EXPECT_EQ(sim::describe_event(a, 9),
              "beacon 143 (train number digit): signal 0, distance 0.0, optional 7");
}

// The printer's lines, without their time, position and speed columns.
std::vector<std::string> printed(const std::vector<sim::frame_record>& frames) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    sim::run_account account;
    sim::timeline_printer printer(out, account);
    sim::scenario s;
    account.on_start(s, 0x20000);
    printer.on_start(s, 0x20000);
    for (const auto& f : frames) {
        account.on_frame(f, s);
        printer.on_frame(f, s);
    }
    std::fclose(out);
    std::vector<std::string> lines;
    std::string all(text, size);
    std::free(text);
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        const std::string line = all.substr(start, end - start);
        start = end + 1;
        if (line.find(" km/h  ") == std::string::npos) continue; // header lines
        const std::string words = line.substr(line.find(" km/h  ") + 9);
        if (words.rfind("monitor:", 0) != 0) lines.push_back(words);
    }
    return lines;
}

TEST(TimelineWords, HandlesTheHostGets) {
    sim::frame_record f;
    f.cab = sim::cab_state::resting();
    f.cab.panel[0] = 1; // white lamp, so the frames are not fail-safe ones
    f.driver = {3, 0, 1, true};
    std::vector<sim::frame_record> frames;

    f.cab.acting = {0, 3, 1, 2};
    frames.push_back(f); // the driver's handles pass: nothing to say
    f.cab.acting = {9, 0, 1, 2};
    frames.push_back(f);
    frames.push_back(f); // still braking: said once
    f.driver.brake = 9;
    f.driver.power = 0;
    f.cab.acting = {9, 0, 1, 2};
    frames.push_back(f);
    f.driver = {3, 0, 1, false};
    f.cab.acting = {0, 0, 0, 2};
    frames.push_back(f);
    f.driver.brake = 2;
    f.cab.acting = {2, 0, 0, 2};
    frames.push_back(f); // the brake passes with the doors open: nothing new to say

    EXPECT_EQ(printed(frames),
              (std::vector<std::string>{"white lamp on",
                                        "brake: cause not shown by the outputs (the host gets "
                                        "power 0, brake 9, reverser 1)",
                                        "handles follow the driver again: power 0, brake 9, "
                                        "reverser 1",
                                        "traction withheld (doors open): power 0, reverser 0"}));
}

TEST(TimelineWords, FailSafeFramesAreCalledOut) {
    sim::frame_record f;
    f.cab = sim::cab_state::resting();
    f.driver = {0, 0, 0, true};
    f.cab.acting = {9, 0, 0, 2};
    f.cab.panel[1] = 1; // red lamp without the bell: the plug-in's fail-safe answer
    ASSERT_TRUE(sim::is_fail_safe_frame(f.cab));
    const auto lines = printed({f, f});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("the plug-in failed"), std::string::npos);
}

// The account's causes where only the outputs speak: no guess where they cannot tell, the
// alarm's 5 s to the frame, and a brake the driver's own emergency brake hid named when it shows.
TEST(Account, CausesFromTheOutputsAlone) {
    namespace cab = ats::cab;
    sim::cab_state protection = sim::cab_state::resting();
    protection = with_panel(protection, cab::panel::red_lamp, 1);
    protection = with_sound(protection, cab::sound::bell, cab::sound_cmd::playing);
    const sim::cab_state both = with_panel(protection, cab::panel::vigilance_lamp, 1);
    sim::event alarm, trip;
    alarm.what.kind = trip.what.kind = sim::action_kind::beacon;
    alarm.what.beacon = {0, 0, 600.0f, 0};
    trip.what.beacon = {1, 0, 0.0f, 0};
    const struct {
        const char* what;
        const sim::event* at_first; // delivered before the first frame
        sim::cab_state cab;         // from the first frame on
        int hidden;                 // frames the driver's emergency brake hides the brake
        int braked_at;              // the frame the brake shows
        const char* cause;
    } table[] = {
        {"red lamp and bell, nothing said why", nullptr, protection, 0, 3,
         "cause not shown by the outputs"},
        {"both devices' lamps", nullptr, both, 0, 3,
         "the outputs do not tell the protection from the vigilance"},
        {"the alarm at 5 s", &alarm, protection, 0, 250, "unconfirmed alarm"},
        {"the alarm a frame short of 5 s", &alarm, protection, 0, 249,
         "cause not shown by the outputs"},
        {"a trip under the driver's emergency brake", &trip, protection, 100, 100,
         "trip at stop signal"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        sim::scenario s;
        s.frame_ms = 20;
        sim::run_account account;
        account.on_start(s, 0);
        std::string cause;
        for (int k = 0; k <= row.braked_at; ++k) {
            sim::frame_record f;
            f.at.frame = k;
            f.at.elapsed_ms = k * 20;
            f.cab = row.cab;
            f.driver = {0, k < row.hidden ? s.emergency_brake() : 0, 1, true};
            f.cab.acting = {k < row.braked_at && k >= row.hidden ? 0 : s.emergency_brake(), 0, 1,
                            2};
            if (k == 0 && row.at_first != nullptr) account.on_event(f.at, *row.at_first, s);
            account.on_frame(f, s);
            if (k + 1 == row.braked_at) {
                EXPECT_EQ(account.brake_cause(), "");
            }
            cause = account.brake_cause();
        }
        EXPECT_EQ(cause, row.cause);
    }
}

TEST(CsvNumbers, ThreeDecimalsEverywhere) {
    EXPECT_EQ(sim::fixed3(0.0), "0.000");
    EXPECT_EQ(sim::fixed3(1234.5678), "1234.568");
    EXPECT_EQ(sim::fixed3(-0.0004), "0.000");
    EXPECT_EQ(sim::fixed3(-12.5), "-12.500");
}

} // namespace
