// The bundled signal_pattern.nut: installed beside the library, meets the script contract, and
// gives a braking curve a driver would recognise.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "script_support.h"

using ats::ScriptVM;
using ats::SquirrelFunction;
using ats::SquirrelObject;

namespace {

std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class PatternScript : public talvik_test::script_vm_test {
protected:
    void SetUp() override {
        script_vm_test::SetUp();
        script = ScriptVM::compile_file(talvik_test::bundled_script().c_str());
        ScriptVM::run(script);
        brake_offset = SquirrelFunction("get_brake_pattern_offset")(0.0f);
    }
    // The permitted speed at `distance` metres, called as the protection calls it.
    float pattern(float distance) {
        return SquirrelFunction("lookup_brake_pattern")(0.0f, 0.0, distance, brake_offset);
    }

    SquirrelObject script;
    float brake_offset = 0.0f;
};

TEST_F(PatternScript, InstalledCopyIsTheSource) {
    EXPECT_EQ(file_text(talvik_test::bundled_script()),
              file_text(std::filesystem::path(TALVIK_SOURCE_DIR) / "scripts/signal_pattern.nut"));
}

TEST_F(PatternScript, MeetsTheContractRunAfterRun) {
    // The order of one armed check, repeated: the results never drift between runs.
    const float at_600 = pattern(600.0f);
    testing::internal::CaptureStdout();
    for (int run = 0; run < 5; ++run) {
        ScriptVM::run(script);
        EXPECT_EQ(SquirrelFunction("get_brake_pattern_offset")(0.0f), brake_offset);
        SquirrelFunction("get_incoming_pattern_offset")(0.0f); // must be a number
        ScriptVM::run(script);
        EXPECT_EQ(pattern(600.0f), at_600);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a quiet script: nothing printed";
    EXPECT_GE(brake_offset, 0.0f);
    EXPECT_GT(SquirrelFunction("get_incoming_pattern_offset")(0.0f), 0.0f);
}

TEST_F(PatternScript, FallsToZeroAtTheStopPointAndRisesWithDistance) {
    EXPECT_LE(pattern(brake_offset), 0.0f);
    EXPECT_LE(pattern(0.0f), 0.0f);
    EXPECT_LE(pattern(-50.0f), 0.0f) << "a beacon past the stop point";
    float previous = pattern(0.0f);
    for (float d = 1.0f; d <= 5000.0f; d += 1.0f) {
        const float v = pattern(d);
        ASSERT_GE(v, previous) << "at " << d << " m";
        if (d > brake_offset) {
            ASSERT_GT(v, 0.0f) << "at " << d << " m";
        }
        previous = v;
    }
}

TEST_F(PatternScript, GivesSensibleSpeedsAtBeaconDistances) {
    // km/h at the usual beacon distances: walking pace near the signal, line speed far out.
    EXPECT_GT(pattern(600.0f), 80.0f);
    EXPECT_LT(pattern(600.0f), 130.0f);
    EXPECT_GT(pattern(100.0f), 25.0f);
    EXPECT_LT(pattern(100.0f), 60.0f);
    EXPECT_LT(pattern(brake_offset + 5.0f), 15.0f);
    // Halving the distance left lowers the speed by about sqrt(2): constant deceleration.
    const float far = pattern(brake_offset + 400.0f);
    const float near = pattern(brake_offset + 200.0f);
    EXPECT_NEAR(far / near, 1.41421f, 0.001f);
}

} // namespace
