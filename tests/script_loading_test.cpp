// Through the exports: Load compiles signal_pattern.nut from the plug-in's own directory (without
// running it), reports a broken one on standard output, and reads the file again at every Load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "plugin_host.h"
#include "script_support.h"
#include "scripted_library.h"

using namespace talvik_test;
using testing::HasSubstr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::string bundled_text() {
    std::ifstream in(talvik_test::bundled_script(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Whether the vehicle exists: without one every frame brakes in the emergency position, with
// one and the brake handle released the first frame does not.
bool has_vehicle(host& h) {
    h.start();
    return h.frame().brake == 0;
}

TEST(ScriptLoading, ABrokenScriptIsReportedOnStandardOutput) {
    enum class made { text, fifo, directory };
    struct row {
        const char* what;
        const char* script; // nullptr: no file
        const char* printed;
        made as = made::text;
    };
    const row rows[] = {
        {"missing", nullptr, ""},
        // Nothing writes to the FIFO: opening or reading it must not wait for a writer.
        {"a FIFO", nullptr, "", made::fifo},
        {"a directory", nullptr, "", made::directory},
        {"syntax error", "function lookup_brake_pattern(a, b, c {\n",
         "signal_pattern.nut line = (1) column = (39) : error expected ')' or ','\n"},
        {"not a script", "\x01\x02\x03 \xff",
         "signal_pattern.nut line = (1) column = (0) : error unexpected character(control)\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        scripted_library lib(r.script);
        const std::string in_place = lib.dir() + "/signal_pattern.nut";
        if (r.as == made::fifo) {
            ASSERT_EQ(mkfifo(in_place.c_str(), 0600), 0);
        }
        if (r.as == made::directory) {
            ASSERT_EQ(mkdir(in_place.c_str(), 0700), 0);
        }
        CaptureStdout();
        {
            host h(lib.library());
            EXPECT_FALSE(has_vehicle(h));
            h.frames(3);
        }
        const std::string out = GetCapturedStdout();
        if (*r.printed == '\0') {
            EXPECT_EQ(out, "");
        } else {
            EXPECT_THAT(out, HasSubstr(lib.dir() + "/" + r.printed));
            EXPECT_EQ(out.find(r.printed), out.rfind(r.printed)) << "reported once, not per frame";
        }
    }
}

TEST(ScriptLoading, TheScriptIsCompiledButNotRunAtLoad) {
    // Top-level code that prints and then fails: harmless until the protection runs it.
    scripted_library lib("print(\"top level ran\");\nthrow \"should not run\";\n");
    CaptureStdout();
    {
        host h(lib.library());
        EXPECT_TRUE(has_vehicle(h));
        h.frames(10);
    }
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(ScriptLoading, EveryLoadReadsTheScriptAgain) {
    scripted_library lib("this is not squirrel\n");
    CaptureStdout();
    {
        host h(lib.library());
        EXPECT_FALSE(has_vehicle(h));
        lib.write_script(bundled_text().c_str());
        EXPECT_FALSE(has_vehicle(h)) << "mended while loaded: no effect before the next Load";
    }
    GetCapturedStdout();
    for (int run = 0; run < 3; ++run) {
        host h(lib.library());
        EXPECT_TRUE(has_vehicle(h)) << "run " << run;
    }
    lib.remove_script();
    CaptureStdout();
    {
        host h(lib.library());
        EXPECT_FALSE(has_vehicle(h)) << "removed between runs";
    }
    GetCapturedStdout();
}

TEST(ScriptLoading, AVehicleAskedForBeforeLoadIsBuiltAtLoad) {
    scripted_library lib(bundled_text().c_str());
    const talvik_test::plugin_api& api = lib.library().api();
    api.Initialize(0); // the VM is not open yet: no vehicle
    api.SetBeaconData(ats::beacon_data{ats::cab::beacon::pattern_check, 0, 600.0f, 0});
    api.Load();
    api.Load(); // a second Load keeps the VM and the vehicle it has
    {
        host h(lib.library()); // Load once more, Dispose at the end
        EXPECT_TRUE(has_vehicle(h));
    }
    api.Dispose();
    host h(lib.library());
    EXPECT_TRUE(has_vehicle(h));
}

} // namespace
