// The scenario language: what each statement means, and what a malformed line is told.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/sim/scenario.h"

namespace {

using sim::action_kind;
using sim::trigger_kind;

sim::scenario parse_ok(const std::string& text) {
    sim::scenario s;
    const auto errors = sim::parse_scenario(text, "test.txt", s);
    for (const auto& e : errors)
        ADD_FAILURE() << e.text();
    return s;
}

std::vector<std::string> errors_of(const std::string& text) {
    sim::scenario s;
    std::vector<std::string> out;
    for (const auto& e : sim::parse_scenario(text, "test.txt", s))
        out.push_back(e.text());
    return out;
}

TEST(ScenarioLanguage, SettingsReachTheScenario) {
    const sim::scenario s = parse_ok("# a comment line\n"
                                     "name Up the hill   # trailing comment\n"
                                     "vehicle brake_notches 7 ats_notch 3 spec_aux_16 9\n"
                                     "train power_notches 4 accel 0.8 decel 0.6\n"
                                     "train emergency 4.5 resistance 0.1 drag 0.0001\n"
                                     "frame 16 ms\n"
                                     "start 23:59:30\n"
                                     "location 1500.5 m\n"
                                     "speed 40 km/h\n"
                                     "initialize 2\n"
                                     "end at 5000 m\n");
    EXPECT_EQ(s.name, "Up the hill");
    EXPECT_EQ(s.spec.brake_notches, 7);
    EXPECT_EQ(s.spec.ats_notch, 3);
    EXPECT_EQ(s.spec.spec_aux_16, 9);
    EXPECT_EQ(s.emergency_brake(), 8);
    EXPECT_EQ(s.train.power_notches, 4);
    EXPECT_DOUBLE_EQ(s.train.accel, 0.8);
    EXPECT_DOUBLE_EQ(s.train.decel, 0.6);
    EXPECT_DOUBLE_EQ(s.train.emergency, 4.5); // a second 'train' line adds to the first
    EXPECT_DOUBLE_EQ(s.train.drag, 0.0001);
    EXPECT_EQ(s.frame_ms, 16);
    EXPECT_EQ(s.start_ms, ((23 * 60 + 59) * 60 + 30) * 1000);
    EXPECT_DOUBLE_EQ(s.location, 1500.5);
    EXPECT_DOUBLE_EQ(s.speed, 40.0);
    EXPECT_EQ(s.initialize_param, 2);
    EXPECT_EQ(s.end.kind, sim::end_kind::at_position);
    EXPECT_DOUBLE_EQ(s.end.value, 5000.0);
}

TEST(ScenarioLanguage, EveryEventKind) {
    const sim::scenario s =
        parse_ok("at 0 s power 3\n"
                 "at 1.5s brake 2\n"
                 "at 250ms reverser backward\n"
                 "at 600 m key confirm down\n"
                 "at 600m key 7 up\n"
                 "after 2 s horn\n"
                 "after 0 s horn 1\n"
                 "when stopped doors open\n"
                 "after 10 s doors close\n"
                 "at 700 m signal 0\n"
                 "at 700 m beacon optional 5 distance 612.5 m signal 0 type 50\n"
                 "at 800 m note \"the signal clears\" # not part of it\n");
    struct expected {
        trigger_kind when;
        double at;
        action_kind what;
        int value;
    };
    const expected table[] = {
        {trigger_kind::at_time, 0.0, action_kind::power, 3},
        {trigger_kind::at_time, 1.5, action_kind::brake, 2},
        {trigger_kind::at_time, 0.25, action_kind::reverser, -1},
        {trigger_kind::at_position, 600.0, action_kind::key_down, 0},
        {trigger_kind::at_position, 600.0, action_kind::key_up, 7},
        {trigger_kind::after, 2.0, action_kind::horn, 0},
        {trigger_kind::after, 0.0, action_kind::horn, 1},
        {trigger_kind::when_stopped, 0.0, action_kind::doors_open, 0},
        {trigger_kind::after, 10.0, action_kind::doors_close, 0},
        {trigger_kind::at_position, 700.0, action_kind::signal, 0},
        {trigger_kind::at_position, 700.0, action_kind::beacon, 0},
        {trigger_kind::at_position, 800.0, action_kind::note, 0},
    };
    ASSERT_EQ(s.events.size(), std::size(table));
    for (std::size_t i = 0; i < s.events.size(); ++i) {
        SCOPED_TRACE("event on line " + std::to_string(i + 1));
        EXPECT_EQ(s.events[i].line, static_cast<int>(i + 1));
        EXPECT_EQ(s.events[i].when.kind, table[i].when);
        EXPECT_DOUBLE_EQ(s.events[i].when.value, table[i].at);
        EXPECT_EQ(s.events[i].what.kind, table[i].what);
        if (table[i].what != action_kind::beacon && table[i].what != action_kind::note) {
            EXPECT_EQ(s.events[i].what.value, table[i].value);
        }
    }
    const ats::beacon_data& b = s.events[10].what.beacon;
    EXPECT_EQ(b.type, 50);
    EXPECT_EQ(b.signal, 0);
    EXPECT_FLOAT_EQ(b.distance, 612.5f);
    EXPECT_EQ(b.optional, 5);
    EXPECT_EQ(s.events[11].what.text, "the signal clears");
}

TEST(ScenarioLanguage, KeyNamesAndEmergencyBrake) {
    // "brake emergency" is the vehicle's emergency position, even when 'vehicle' comes later.
    const sim::scenario s = parse_ok("at 0 s key release down\n"
                                     "at 0 s key eb down\n"
                                     "at 0 s key reset up\n"
                                     "at 1 s brake emergency\n"
                                     "vehicle brake_notches 5\n");
    EXPECT_EQ(s.events[0].what.value, 1);
    EXPECT_EQ(s.events[1].what.value, 2);
    EXPECT_EQ(s.events[2].what.value, 3);
    EXPECT_EQ(s.events[3].what.value, 6);
}

TEST(ScenarioLanguage, DefaultsWithoutSettings) {
    const sim::scenario s = parse_ok("\r\n   \n# nothing but comments\r\n");
    EXPECT_EQ(s.spec.brake_notches, 8);
    EXPECT_EQ(s.frame_ms, 20);
    EXPECT_EQ(s.start_ms, 10 * 3600 * 1000); // a time of 0 means something to the plug-in
    EXPECT_EQ(s.end.kind, sim::end_kind::after_last_event);
    EXPECT_EQ(s.name, "test.txt");
    EXPECT_TRUE(s.events.empty());
}

TEST(ScenarioLanguage, MalformedLinesNameFileLineAndWhatWasExpected) {
    std::string x80; // bytes that are no UTF-8, shown by their code, four characters each
    for (int i = 0; i < 14; ++i)
        x80 += "\\x80";
    const struct {
        std::string line;
        std::string message;
    } table[] = {
        {"teleport 5", "expected a setting (name, vehicle, train, frame, start, location, speed, "
                       "initialize, end, sweep) or an event (at, after, when), found 'teleport'"},
        {"at soon power 3", "expected a time ('at 12 s') or a position ('at 600 m'), found 'soon'"},
        {"at 5 power 3", "expected a time ('at 12 s') or a position ('at 600 m') with its unit, "
                         "found '5'"},
        {"at 5km power 3", "expected a time ('at 12 s') or a position ('at 600 m') with 's' or "
                           "'ms' or 'm', found '5km'"},
        {"at 5 s", "expected an action (power, brake, reverser, key, horn, doors, signal, beacon, "
                   "note), found the end of the line"},
        {"at 5 s jump", "expected an action (power, brake, reverser, key, horn, doors, signal, "
                        "beacon, note), found 'jump'"},
        {"at 5 s power", "expected a power notch, found the end of the line"},
        {"at 5 s power 2.5", "expected a power notch, found '2.5'"},
        {"at 5 s power 3 4", "unexpected '4' after the power statement"},
        {"at 5 s brake full", "expected a brake notch or 'emergency', found 'full'"},
        {"at 5 s key confirm", "expected 'down' or 'up' after the key, found the end of the line"},
        {"at 5 s key push down",
         "expected a key number or name (confirm, release, eb, reset), found 'push'"},
        {"at 5 s doors ajar", "expected 'open' or 'close' after 'doors', found 'ajar'"},
        {"at 5 s beacon type 0 signal 0 distance 10",
         "a beacon needs all four fields: type, signal, distance, optional (missing: optional)"},
        {"at 5 s beacon type 0 type 1", "the beacon field 'type' is given twice"},
        {"at 5 s beacon kind 0", "expected a beacon field (type, signal, distance, optional), "
                                 "found 'kind'"},
        {"when moving horn", "expected 'stopped' after 'when', found 'moving'"},
        {"after -1 s horn", "expected a delay ('after 2 s') from 0 to 86400 s, found '-1'"},
        {"frame 0 ms", "expected a frame step from 1 to 1000 ms, found '0'"},
        {"frame 20", "expected a frame step from 1 to 1000 ms, found '20'"},
        {"start 25:00", "expected a time of day 'hh:mm' or 'hh:mm:ss', found '25:00'"},
        {"vehicle notches 8", "expected a field of 'vehicle' (brake_notches, ats_notch, "
                              "spec_aux_4, spec_aux_12, spec_aux_16), found 'notches'"},
        {"vehicle brake_notches 0", "expected a number of brake notches from 1 to 99, found '0'"},
        {"train accel -1", "expected a rate from 0 to 20 km/h per second, found '-1'"},
        {"end sometime", "expected 'at', 'after' or 'when stopped' after 'end', found 'sometime'"},
        {"sweep speed to 90 step 10", "expected 'from' after the name, found 'to'"},
        {"sweep speed from 30 to 90 by 10", "expected 'step' after the last value, found 'by'"},
        {"sweep speed from 30s to 90 step 10", "expected the first value with 'km/h' or 'm', "
                                               "found '30s'"},
        {"at 5 s note \"unclosed", "expected a closing '\"' before the end of the line"},
        // Numbers outside the range in which the simulation means something.
        {"speed 1e16", "expected a speed from -1000 to 1000 km/h, found '1e16'"},
        {"location 2e7 m", "expected a location from -10000000 to 10000000 m, found '2e7'"},
        {"at -1e8 m horn", "expected a position from -10000000 to 10000000 m, found '-1e8'"},
        {"end at 86401 s", "expected a time from 0 to 86400 s, found '86401'"},
        {"train drag 2 power_notches 100", "expected a drag from 0 to 1, found '2'"},
        {"train power_notches 100", "expected a number of power notches from 1 to 99, found '100'"},
        {"vehicle ats_notch 101", "expected a brake notch from 0 to 100, found '101'"},
        {"start 99999999999:00", "expected a time of day 'hh:mm' or 'hh:mm:ss', found "
                                 "'99999999999:00'"},
        {"at 5 s power -1", "expected a power notch from 0 to 99, found '-1'"},
        {"at 5 s brake 10", "expected a brake notch from 0 to 9 (the emergency position) or "
                            "'emergency', found '10'"},
        {"at 5 s reverser 2", "expected a reverser position (forward, neutral, backward or a "
                              "number) from -1 to 1, found '2'"},
        {"at 5 s key 32 down", "expected a key number or name (confirm, release, eb, reset) from "
                               "0 to 31, found '32'"},
        {"at 5 s signal 256", "expected a signal aspect from 0 to 255, found '256'"},
        {"at 5 s beacon type 10000 signal 0 distance 0 optional 0",
         "expected a beacon type from 0 to 9999, found '10000'"},
        {"at 5 s beacon type 0 signal 0 distance 1e30 optional 0",
         "expected a distance from -10000000 to 10000000 m, found '1e30'"},
        {"at 5 s horn 1e10", "expected a horn kind (a number) or the end of the line, found "
                             "'1e10'"},
        // What a message quotes is cut short, and shows control characters.
        {"at 5 s brake 0123456789012345678901234567890123456789012345678901234567890123456789",
         "expected a brake notch or 'emergency', found "
         "'012345678901234567890123456789012345678901234567890123456789...'"},
        {"at 5 s brake \x1b[2J", "expected a brake notch or 'emergency', found '\\x1B[2J'"},
        {"at 5 s brake \xC3\xA9\xFF\x80" + std::string(100, '\x80'),
         "expected a brake notch or 'emergency', found '\xC3\xA9\\xFF" + x80 + "...'"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.line);
        const std::vector<std::string> errors = errors_of("\n\n" + row.line + "\n");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], "test.txt:3: " + row.message);
    }
    const std::vector<std::string> errors = errors_of("name " + std::string(201, 'x') + "\n");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "test.txt:1: a name of at most 200 characters is needed, not 201");
}

TEST(ScenarioLanguage, EveryBadLineIsReportedAndNothingIsKept) {
    sim::scenario s;
    s.name = "untouched";
    const auto errors =
        sim::parse_scenario("at 1 s power 1\nat x\nframe 5 ms\nat 2 s fly\n", "trip.txt", s);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].line, 2);
    EXPECT_EQ(errors[1].line, 4);
    EXPECT_EQ(s.name, "untouched");
    // Of many, the first 20 are shown and the rest counted.
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += "at x\n";
    const auto first = sim::parse_scenario(many, "trip.txt", s);
    ASSERT_EQ(first.size(), 21u);
    EXPECT_EQ(first[19].line, 20);
    EXPECT_EQ(first[20].text(), "trip.txt: 5 more line(s) with errors not shown");
}

TEST(ScenarioLanguage, UnreadableFile) {
    sim::scenario s;
    const auto errors = sim::load_scenario_file("/nonexistent/route.txt", s);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text(), "/nonexistent/route.txt: cannot read the scenario file");
}

TEST(ScenarioLanguage, AFileSavedWithAUtf8ByteOrderMarkReadsAsWithout) {
    const std::string path = testing::TempDir() + "talvik-marked-route.txt";
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBFname Marked route\n";
    sim::scenario s;
    const auto errors = sim::load_scenario_file(path, s);
    std::remove(path.c_str());
    EXPECT_TRUE(errors.empty()) << errors.front().text();
    EXPECT_EQ(s.name, "Marked route");
}

TEST(ScenarioLanguage, ShippedScenariosParse) {
    sim::scenario s;
    for (const auto& e : sim::parse_scenario(sim::default_scenario_text(), "built-in", s)) {
        ADD_FAILURE() << e.text();
    }
    const std::string dir = std::string(TALVIK_SOURCE_DIR) + "/tools/scenarios";
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int files = 0;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".txt") continue;
        ++files;
        for (const auto& e : sim::load_scenario_file(dir + "/" + name, s))
            ADD_FAILURE() << e.text();
    }
    closedir(d);
    EXPECT_GE(files, 10);
}

} // namespace
