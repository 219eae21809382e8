// The pattern script as editors save it: the library (through the exports) and talvik-sim
// --check-script read every encoding alike, and refuse a file that makes no sense with a clear
// description instead of crashing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "plugin_host.h"
#include "protection/script_host.h"
#include "script_encodings.h"
#include "scripted_library.h"
#include "sim_process.h"
#include <sqstdio.h>

using talvik_test::encoding_case;
using testing::HasSubstr;

namespace {

constexpr std::int32_t notches = 8, emergency = 9, ats_notch = 2;
constexpr float speed = 45.0f; // between the pattern speeds 40 and 50 of the table

// The script compiled to script code by this build's script host.
std::string compiled(const std::string& text) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string source = (dir / "talvik-encoding-source.nut").string();
    const std::string code = (dir / "talvik-encoding-code.cnut").string();
    std::ofstream(source, std::ios::binary) << text;
    ats::ScriptVM::init();
    HSQUIRRELVM v = ats::ScriptVM::vm();
    const bool written = SQ_SUCCEEDED(sqstd_loadfile(v, source.c_str(), SQFalse)) &&
                         SQ_SUCCEEDED(sqstd_writeclosuretofile(v, code.c_str()));
    ats::ScriptVM::shutdown();
    std::ifstream in(code, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(source);
    std::filesystem::remove(code);
    return written ? bytes : std::string();
}

// The table of all builds, with script code of this build added: whole, cut short, with a
// count far beyond the file (Squirrel would allocate by it), and from a build of other widths.
std::vector<encoding_case> cases() {
    std::vector<encoding_case> all = talvik_test::encoding_cases();
    const std::string code = compiled(all.front().bytes);
    std::string huge_count = code;
    // The first count (literals) follows the second part tag.
    const std::size_t part = huge_count.find("TRAP", huge_count.find("TRAP") + 4);
    if (part != std::string::npos) std::memset(&huge_count[part + 4], 0x7F, sizeof(SQInteger));
    std::string other_widths = code;
    other_widths[10] = static_cast<char>(sizeof(SQInteger) == 8 ? 4 : 8);
    all.push_back({"script code", code, 6, nullptr});
    all.push_back({"script code cut short", code.substr(0, code.size() / 2), 0, "cut short"});
    all.push_back({"script code with a count beyond the file", huge_count, 0, "cut short"});
    all.push_back({"script code of another build", other_widths, 0, "another build"});
    return all;
}

TEST(ScriptEncodings, TheLibraryAndTheCheckerReadEveryEncodingAlike) {
    for (const encoding_case& c : cases()) {
        SCOPED_TRACE(c.name);
        talvik_test::scripted_library lib(c.bytes);
        {
            // A pattern check at `speed`: the pattern is ten times the script's brake offset.
            talvik_test::host h(lib.library());
            h.start(notches, ats_notch).doors_closed(true);
            h.frames(10);
            h.speed(speed);
            h.beacon(50, 0, 600.0f, 0);
            h.frame();
            const bool refused = c.refusal != nullptr;
            EXPECT_EQ(h.out.brake == emergency, refused || c.offset * 10 <= speed)
                << (refused ? "a refused script fails safe" : "the pattern follows the offset");
        }
        std::string out;
        const int status =
            talvik_test::run_sim("--check-script " + lib.dir() + "/signal_pattern.nut", out);
        if (c.refusal != nullptr) {
            EXPECT_EQ(status, 4) << out;
            EXPECT_THAT(out, HasSubstr(c.refusal));
        } else {
            EXPECT_EQ(status, 0) << out;
            EXPECT_THAT(out, HasSubstr("get_brake_pattern_offset(0.0)    = " +
                                       std::to_string(c.offset) + "\n"));
        }
    }
}

} // namespace
