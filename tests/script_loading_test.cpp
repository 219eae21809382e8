// Through the exports: Load compiles signal_pattern.nut from the plug-in's own directory, and a
// missing or broken script leaves the plug-in without a vehicle instead of crashing the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "plugin_host.h"
#include "script_support.h"

using talvik_test::host;
using talvik_test::scratch_plugin;
using testing::HasSubstr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::string bundled_text() {
    std::ifstream in(talvik_test::bundled_script(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Whether the vehicle exists: only a vehicle writes the host's outputs (constant speed 2 = off).
bool has_vehicle(host& h) {
    h.start();
    return h.frame().const_speed == 2;
}

TEST(ScriptLoading, LoadBuildsTheVehicleWithTheScriptBesideTheLibrary) {
    scratch_plugin plugin(bundled_text());
    host h(plugin.library());
    EXPECT_TRUE(has_vehicle(h));
}

TEST(ScriptLoading, WithoutAUsableScriptLoadBuildsNoVehicle) {
    struct case_t {
        const char* what;
        std::optional<std::string> script;
        const char* printed; // what the compiler handler prints, if anything
    };
    const case_t cases[] = {
        {"missing", std::nullopt, ""},
        {"syntax error", std::string("function lookup_brake_pattern(a, b, c {\n"),
         "signal_pattern.nut line = (1) column = (39) : error expected ')' or ','\n"},
        {"binary junk", std::string("\x01\x02\x03 \xff", 5), "signal_pattern.nut line = (1)"},
    };
    for (const case_t& c : cases) {
        scratch_plugin plugin(c.script);
        CaptureStdout();
        {
            host h(plugin.library());
            EXPECT_FALSE(has_vehicle(h)) << c.what;
            EXPECT_EQ(h.panel[0], talvik_test::sentinel) << c.what << ": nothing written";
        }
        const std::string out = GetCapturedStdout();
        if (*c.printed == '\0') {
            EXPECT_EQ(out, "") << c.what;
        } else {
            EXPECT_THAT(out, HasSubstr(c.printed)) << c.what;
        }
    }
}

TEST(ScriptLoading, TheScriptIsCompiledButNotRunAtLoad) {
    // Top-level code that prints and then fails: harmless until the protection runs it.
    scratch_plugin plugin(std::string("print(\"top level ran\");\nthrow \"should not run\";\n"));
    CaptureStdout();
    {
        host h(plugin.library());
        EXPECT_TRUE(has_vehicle(h));
    }
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(ScriptLoading, EachLoadReadsTheScriptAgain) {
    scratch_plugin plugin(std::string("this is not squirrel\n"));
    CaptureStdout();
    {
        host h(plugin.library());
        EXPECT_FALSE(has_vehicle(h));
        // Every call that needs the vehicle tries to build it again, reading the file anew.
        plugin.write_script(bundled_text());
        EXPECT_TRUE(has_vehicle(h));
    }
    GetCapturedStdout();
    for (int run = 0; run < 3; ++run) {
        host h(plugin.library());
        EXPECT_TRUE(has_vehicle(h)) << "run " << run;
    }
    plugin.remove_script();
    host h(plugin.library());
    EXPECT_FALSE(has_vehicle(h)) << "the script is read at every Load";
}

TEST(ScriptLoading, AVehicleAskedForBeforeLoadIsBuiltAtLoad) {
    scratch_plugin plugin(bundled_text());
    talvik_test::plugin_api& api = plugin.library().api;
    api.Initialize(0); // no VM yet: the vehicle cannot be built
    api.SetBeaconData(ats::beacon_data{50, 0, 600.0f, 0});
    api.Load();
    api.Load(); // a second Load keeps the VM and the vehicle it has
    {
        std::int32_t panel[256] = {};
        std::int32_t sound[256] = {};
        api.SetVehicleSpec(ats::vehicle_spec{8, 0, 2, 0, 0});
        api.Initialize(0);
        ats::vehicle_state state{};
        state.time = 1000;
        EXPECT_EQ(api.Elapse(state, panel, sound).const_speed, 2);
    }
    api.Dispose();
    api.Dispose();
    host h(plugin.library());
    EXPECT_TRUE(has_vehicle(h));
}

} // namespace
