// Whole journeys through the built plug-in library: the train follows the handles it returns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/run.h"
#include "tools/sim/scenario.h"
#include "tools/sim/train_model.h"

namespace {

// Remembers every frame and when each event happened.
struct recorder : sim::run_observer {
    std::vector<sim::frame_record> frames;
    std::vector<std::pair<sim::event, sim::moment>> events;
    sim::run_summary summary;

    void on_event(const sim::moment& at, const sim::event& e, const sim::scenario&) override {
        events.emplace_back(e, at);
    }
    void on_frame(const sim::frame_record& f, const sim::scenario&) override {
        frames.push_back(f);
    }
    void on_finish(const sim::run_summary& s, const sim::scenario&) override { summary = s; }

    // When the first event of this kind happened.
    const sim::moment& first(sim::action_kind kind) const {
        for (const auto& [e, at] : events) {
            if (e.what.kind == kind) return at;
        }
        throw std::runtime_error("no such event happened");
    }
    const sim::moment& event_on_line(int line) const {
        for (const auto& [e, at] : events) {
            if (e.line == line) return at;
        }
        throw std::runtime_error("no event from line " + std::to_string(line));
    }
    // Did the host ever get the emergency brake that the driver did not ask for?
    bool protection_braked(std::int32_t emergency) const {
        for (const auto& f : frames) {
            if (f.cab.acting.brake == emergency && f.driver.brake != emergency) return true;
        }
        return false;
    }
};

const hostkit::plugin_api& built_plugin() {
    static hostkit::plugin_library library;
    static bool opened = [] {
        std::string error;
        const bool ok = library.open(TALVIK_LIBRARY_PATH, error);
        if (!ok) ADD_FAILURE() << error;
        return ok;
    }();
    EXPECT_TRUE(opened);
    return library.api();
}

sim::scenario from_text(const std::string& text) {
    sim::scenario s;
    for (const auto& e : sim::parse_scenario(text, "inline", s))
        ADD_FAILURE() << e.text();
    return s;
}

sim::scenario from_file(const std::string& name) {
    sim::scenario s;
    const std::string path = std::string(TALVIK_SOURCE_DIR) + "/tools/scenarios/" + name;
    for (const auto& e : sim::load_scenario_file(path, s))
        ADD_FAILURE() << e.text();
    return s;
}

recorder run(const sim::scenario& s) {
    recorder r;
    sim::run_scenario(built_plugin(), s, {&r});
    return r;
}

TEST(TrainModel, FollowsTheActingHandles) {
    const sim::train_model m; // 0.6 per power notch, 0.5 per brake notch, emergency 5.0
    const struct {
        ats::handles acting;
        double speed_before, speed_after_1s;
    } table[] = {
        {{0, 3, 1, 2}, 0.0, 1.75},   // 3 x 0.6, less the resistance of 0.05
        {{0, 3, -1, 2}, 0.0, -1.75}, // backward
        {{0, 3, 0, 2}, 0.0, 0.0},    // no reverser, no traction
        {{2, 0, 1, 2}, 10.0, 8.944}, // brake 2: 1.0, resistance 0.05 + drag 0.006
        {{9, 0, 1, 2}, 3.0, 0.0},    // the emergency brake stops and does not reverse
        {{9, 5, 1, 2}, 0.0, 0.0},    // nor does power against a stronger brake move it
    };
    for (const auto& row : table) {
        sim::train_motion motion{100.0, row.speed_before};
        sim::advance(m, 9, row.acting, 1.0, motion);
        EXPECT_NEAR(motion.speed, row.speed_after_1s, 1e-9) << "from " << row.speed_before;
        // Position advances by the mean speed over the step.
        EXPECT_NEAR(motion.location - 100.0, (row.speed_before + motion.speed) / 2 / 3.6, 1e-9);
    }
}

TEST(ClosedLoop, DoorsOpenTheTrainDoesNotMove) {
    const recorder r = run(from_text("at 0 s reverser forward\n"
                                     "at 0 s power 5\n"
                                     "end at 10 s\n"));
    ASSERT_FALSE(r.frames.empty());
    EXPECT_EQ(r.frames.back().at.location, 0.0);
    EXPECT_EQ(r.frames.back().cab.acting.power, 0);
}

TEST(ClosedLoop, VigilanceBrakeStopsTheTrain) {
    const sim::scenario s = from_file("vigilance-brake.txt");
    const recorder r = run(s);
    ASSERT_FALSE(r.frames.empty());
    EXPECT_TRUE(r.protection_braked(s.emergency_brake()));
    // The note comes at 120 s: by then the EB brake has held the train at a stand.
    const sim::moment& standing = r.first(sim::action_kind::note);
    EXPECT_EQ(standing.speed, 0.0);
    const sim::frame_record& at_note = r.frames[static_cast<std::size_t>(standing.frame)];
    EXPECT_EQ(at_note.cab.acting.brake, s.emergency_brake());
    EXPECT_EQ(at_note.driver.brake, 0);
    EXPECT_EQ(at_note.cab.panel_at(8), 1); // EB lamp
    // Brake handle to emergency, then release: the train may go again.
    EXPECT_EQ(r.frames.back().cab.acting.brake, 0);
    EXPECT_EQ(r.summary.ended_by, sim::run_end::condition);
    EXPECT_TRUE(r.summary.never_happened.empty());
}

TEST(ClosedLoop, TriggersByTimePositionDelayAndStandstill) {
    const sim::scenario s = from_text("frame 20 ms\n"
                                      "at 0 s doors close\n"
                                      "at 0 s reverser forward\n"
                                      "at 0 s power 5\n"
                                      "at 100 m power 0\n"
                                      "after 1.5 s brake 8\n"
                                      "when stopped note standing\n"
                                      "at 30 s horn\n"
                                      "end after 0 s\n");
    const recorder r = run(s);
    const sim::moment& at_100 = r.event_on_line(5);
    const sim::frame_record& before = r.frames[static_cast<std::size_t>(at_100.frame - 1)];
    EXPECT_GE(at_100.location, 100.0); // the first frame at or past 100 m
    EXPECT_LT(before.at.location, 100.0);
    EXPECT_EQ(r.event_on_line(6).elapsed_ms - at_100.elapsed_ms, 1500);
    const sim::moment& stopped = r.event_on_line(7);
    EXPECT_EQ(stopped.speed, 0.0);
    EXPECT_GT(r.frames[static_cast<std::size_t>(stopped.frame - 1)].at.speed, 0.0);
    EXPECT_EQ(r.event_on_line(8).elapsed_ms, 30000);
    EXPECT_EQ(r.summary.end.elapsed_ms, 30000); // 'end after 0 s' after the last event
    // Time of day: 10:00 plus the frames.
    EXPECT_EQ(r.frames[5].at.time_ms, 36000000 + 100);
}

TEST(ClosedLoop, ARunThatCannotGoOnEndsEarly) {
    // The doors never close: the beacon at 500 m can never be reached. The summary points into
    // the scenario's events, so the scenario has to outlive it.
    const sim::scenario s = from_text("at 0 s reverser forward\n"
                                      "at 0 s power 3\n"
                                      "at 500 m beacon type 0 signal 0 distance 1 optional 0\n");
    const recorder r = run(s);
    EXPECT_EQ(r.summary.ended_by, sim::run_end::stuck);
    ASSERT_EQ(r.summary.never_happened.size(), 1u);
    EXPECT_EQ(r.summary.never_happened[0]->line, 3);
    EXPECT_LT(r.summary.end.elapsed_ms, 1000);
}

TEST(ClosedLoop, StopSignalAlarmTripsWithoutConfirmation) {
    const sim::scenario s = from_file("stop-signal-trip.txt");
    const recorder r = run(s);
    const sim::moment& beacon = r.first(sim::action_kind::beacon);
    // The brake comes after 5 s of alarm (counted in frame steps capped at 33 ms).
    std::int64_t braked_at = -1;
    for (const auto& f : r.frames) {
        if (f.at.frame > beacon.frame && f.cab.acting.brake == s.emergency_brake()) {
            braked_at = f.at.elapsed_ms;
            break;
        }
    }
    ASSERT_GE(braked_at, 0);
    EXPECT_NEAR(static_cast<double>(braked_at - beacon.elapsed_ms), 5000.0, 40.0);
    // The driver acts only once the train stands; the reset then clears the latch.
    const sim::moment& handle_to_emergency = r.first(sim::action_kind::brake);
    EXPECT_EQ(handle_to_emergency.speed, 0.0);
    EXPECT_GT(r.frames[static_cast<std::size_t>(handle_to_emergency.frame - 1)].at.speed, 0.0);
    EXPECT_EQ(r.frames.back().at.speed, 0.0);
    EXPECT_EQ(r.frames.back().cab.panel_at(0), 1); // white lamp again
}

TEST(ClosedLoop, PatternCheckStopsTheTrainBeforeTheSignal) {
    const sim::scenario s = from_file("pattern-check.txt");
    const recorder r = run(s);
    const sim::moment& beacon = r.first(sim::action_kind::beacon);
    ASSERT_EQ(s.events.back().what.kind, sim::action_kind::beacon);
    const double signal_at = beacon.location + s.events.back().what.beacon.distance;
    EXPECT_TRUE(r.protection_braked(s.emergency_brake()));
    EXPECT_EQ(r.frames.back().at.speed, 0.0);
    EXPECT_LT(r.frames.back().at.location, signal_at);
    EXPECT_GT(r.frames.back().at.location, beacon.location);
}

TEST(ClosedLoop, PatternCheckPassedWithAConfirmedAlarmKeepsRunning) {
    const sim::scenario s = from_file("pattern-confirmed.txt");
    const recorder r = run(s);
    EXPECT_FALSE(r.protection_braked(s.emergency_brake()));
    EXPECT_TRUE(r.summary.never_happened.empty());
    EXPECT_GT(r.frames.back().at.speed, 15.0);
    EXPECT_EQ(r.frames.back().cab.panel_at(0), 1); // white lamp: quiet
}

TEST(ClosedLoop, TheDefaultJourneyUsesEveryDevice) {
    sim::scenario s;
    ASSERT_TRUE(sim::parse_scenario(sim::default_scenario_text(), "built-in", s).empty());
    const recorder r = run(s);
    EXPECT_TRUE(r.summary.never_happened.empty());
    EXPECT_EQ(r.summary.ended_by, sim::run_end::condition);
    EXPECT_EQ(r.summary.failed_frames, 0);
    // Something on every output the devices drive.
    auto ever_panel = [&](std::int32_t index, std::int32_t value) {
        for (const auto& f : r.frames) {
            if (f.cab.panel_at(index) == value) return true;
        }
        return false;
    };
    auto ever_sound = [&](std::int32_t index, std::int32_t value) {
        for (const auto& f : r.frames) {
            if (f.cab.sound_at(index) == value) return true;
        }
        return false;
    };
    EXPECT_TRUE(ever_panel(0, 1) && ever_panel(1, 1)); // white and red lamps
    EXPECT_TRUE(ever_panel(8, 1));                     // EB lamp
    EXPECT_TRUE(ever_panel(20, 1));                    // brake handle at emergency
    EXPECT_TRUE(ever_panel(150, 1));                   // stop-station blink
    EXPECT_TRUE(ever_panel(147, 0) && ever_panel(148, 9) && ever_panel(149, 5)); // max 095
    EXPECT_TRUE(ever_sound(0, -1) && ever_sound(1, -1) && ever_sound(2, 1));
    EXPECT_TRUE(ever_sound(13, -1));  // EB buzzer
    EXPECT_TRUE(ever_sound(21, 1));   // departure sound
    EXPECT_TRUE(ever_sound(150, -1)); // stop-station sound
    EXPECT_TRUE(ever_sound(160, -1)); // section sound
    EXPECT_TRUE(r.protection_braked(s.emergency_brake()));
    EXPECT_EQ(r.frames.back().at.speed, 0.0);
}

} // namespace
