// The example scripts shipped with Squirrel run through the script host without an error: a
// smoke test of the embedding (libraries, error handlers, printing) against real scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "script_support.h"

namespace {

namespace fs = std::filesystem;

// Whether `text` calls one of the system library's functions, which the plug-in leaves out.
bool calls_system_library(const std::string& text) {
    for (const std::string name :
         {"clock", "time", "date", "getenv", "system", "remove", "rename"}) {
        for (std::size_t at = text.find(name + "("); at != std::string::npos;
             at = text.find(name + "(", at + 1)) {
            const bool starts_word =
                at == 0 ||
                !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
            if (starts_word) return true;
        }
    }
    return false;
}

std::vector<fs::path> samples_without_system_library() {
    std::vector<fs::path> samples;
    for (const auto& entry : fs::directory_iterator(fs::path(TALVIK_SQUIRREL_DIR) / "samples")) {
        if (entry.path().extension() != ".nut") continue;
        std::ifstream in(entry.path());
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (!calls_system_library(text)) samples.push_back(entry.path());
    }
    std::sort(samples.begin(), samples.end());
    return samples;
}

TEST(SquirrelSamples, RunWithoutError) {
    const std::vector<fs::path> samples = samples_without_system_library();
    ASSERT_GE(samples.size(), 12u) << "the sample set is smaller than expected";
    for (const fs::path& sample : samples) {
        ats::ScriptVM::init(); // each sample gets a fresh VM
        testing::internal::CaptureStdout();
        const std::string error = talvik_test::error_of(
            [&] { ats::ScriptVM::run(ats::ScriptVM::compile_file(sample.c_str())); });
        const std::string out = testing::internal::GetCapturedStdout();
        ats::ScriptVM::shutdown();
        EXPECT_EQ(error, "(nothing raised)") << sample.filename() << "\n" << out;
        EXPECT_FALSE(out.empty()) << sample.filename() << " printed nothing";
    }
}

} // namespace
