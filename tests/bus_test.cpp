// The bus's look-up rules, and every name the devices use registered where it is used.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "wiring/output_mapping.h"
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
    w.command.get(sig::power) = 4;
    EXPECT_EQ(w.output.get(sig::power), 0);
    w.panel.get(sig::mon_stop_station_150) = 1;
    EXPECT_EQ(w.sound.get(sig::mon_stop_station_150), 0);
}

TEST(Wiring, RegistersFortyEightSignalsAllZeroUntilTheFirstReset) {
    wiring w;
    w.register_signals();
    EXPECT_EQ(w.panel.size() + w.sound.size() + w.output.size() + w.command.size() + w.boolean.size(),
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

// A misspelt name is silent at run time, so every name a source file hands to a bus is
// checked here against the registration table of that bus.
TEST(Wiring, EveryNameUsedInTheSourcesIsRegisteredOnItsBus) {
    std::set<std::pair<std::string, std::string>> registered;
    const char* bus_names[] = {"panel", "sound", "output", "command", "boolean"};
    for (const auto& s : signal_table)
        registered.emplace(bus_names[static_cast<int>(s.bus)], std::string(s.name));

    std::map<std::string, std::string> constants; // sig::x -> "name"
    {
        std::ifstream in(std::string(TALVIK_SOURCE_DIR) + "/wiring/signals.h");
        std::stringstream text;
        text << in.rdbuf();
        const std::string src = text.str();
        const std::regex def(R"(string_view (\w+) = \"([^\"]+)\")");
        for (std::sregex_iterator it(src.begin(), src.end(), def), end; it != end; ++it)
            constants[(*it)[1]] = (*it)[2];
    }

    const std::regex use(R"(\.(panel|sound|output|command|boolean)\.get\((sig::(\w+)|\"([^\"]*)\")\))");
    int uses = 0;
    for (const char* file : TALVIK_DEVICE_SOURCES) {
        std::ifstream in(file);
        ASSERT_TRUE(in) << file;
        std::stringstream text;
        text << in.rdbuf();
        const std::string src = text.str();
        for (std::sregex_iterator it(src.begin(), src.end(), use), end; it != end; ++it) {
            const std::string bus = (*it)[1];
            std::string name = (*it)[4];
            if ((*it)[3].matched) {
                ASSERT_TRUE(constants.count((*it)[3])) << file << ": sig::" << (*it)[3];
                name = constants[(*it)[3]];
            }
            EXPECT_TRUE(registered.count({bus, name})) << file << ": " << bus << " \"" << name << "\"";
            ++uses;
        }
    }
    EXPECT_GT(uses, 10);

    for (const auto& row : panel_outputs) EXPECT_TRUE(registered.count({"panel", std::string(row.signal)}));
    for (const auto& row : sound_outputs) EXPECT_TRUE(registered.count({"sound", std::string(row.signal)}));
}
