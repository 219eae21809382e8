// Compiled script code with random damage: every mutant of a compiled copy of the bundled script
// and of the fuzz corpus either runs or fails with a reason, and never takes the host down.
// TALVIK_MUTANTS sets how many (the long run: 10000), TALVIK_MUTANT_SEED where they start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protection/pattern_script.h"
#include "script_support.h"

namespace {

namespace fs = std::filesystem;
using ats::script_failure;
using ats::ScriptVM;
using ats::SquirrelError;

// A few seconds of the suite; AddressSanitizer (gcc says so one way, clang another) makes each
// mutant several times slower.
#if defined(__SANITIZE_ADDRESS__)
#define TALVIK_UNDER_ASAN 1
#elif defined(__has_feature)
#define TALVIK_UNDER_ASAN __has_feature(address_sanitizer)
#else
#define TALVIK_UNDER_ASAN 0
#endif
constexpr std::uint64_t share_in_the_suite = TALVIK_UNDER_ASAN ? 100 : 300;

std::uint64_t number_from_environment(const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : otherwise;
}

SQInteger append(SQUserPointer out, SQUserPointer bytes, SQInteger size) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(bytes),
                                           static_cast<std::size_t>(size));
    return size;
}

// The script at `path` as compiled script code of this build; empty when it does not compile.
std::string compiled(const fs::path& path) {
    ScriptVM::init();
    std::string code;
    try {
        const ats::SquirrelObject script = ScriptVM::compile_file(path.c_str());
        HSQUIRRELVM v = ScriptVM::vm();
        sq_pushobject(v, script.handle());
        if (SQ_FAILED(sq_writeclosure(v, append, &code))) code.clear();
        sq_pop(v, 1);
    } catch (const SquirrelError&) {
        code.clear();
    }
    ScriptVM::shutdown();
    return code;
}

// What one mutant did, as its child's exit status; a crash never gets to say, and a sanitizer's
// report exits with 1.
enum class outcome { ran = 40, refused, refused_as_something_else };

// Loads `path` and runs it as the protection does at a beacon and the frame after.
outcome run(const std::string& path, bool compiled) {
    ScriptVM::init();
    outcome result = outcome::ran;
    try {
        ats::pattern_script script(path.c_str());
        try {
            script.permitted_speed(600.0, script.arm());
        } catch (const SquirrelError&) {
            // Whatever damaged code does once it has passed the checks is the script's own
            // failure, and contained.
        }
    } catch (const SquirrelError& e) {
        // A mutant whose first two bytes changed is no longer compiled code but text.
        const bool named = e.kind() == script_failure::damaged_code ||
                           (!compiled && (e.kind() == script_failure::does_not_compile ||
                                          e.kind() == script_failure::unreadable));
        result = named ? outcome::refused : outcome::refused_as_something_else;
    }
    ScriptVM::shutdown();
    return result;
}

struct random_bytes {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
};

class CompiledCode : public talvik_test::script_vm_test {};

TEST_F(CompiledCode, RandomDamageRunsOrIsRefusedAndNeverCrashes) {
    ScriptVM::shutdown(); // every mutant opens a VM of its own
    testing::internal::CaptureStdout();
    std::vector<std::string> originals{compiled(talvik_test::bundled_script())};
    std::vector<fs::path> names{talvik_test::bundled_script()};
    ASSERT_FALSE(originals[0].empty());
    // Those of the fuzz corpus and of Squirrel's samples that compile (some are there to break
    // the compiler): between them they use every instruction.
    for (const fs::path& dir : {fs::path(TALVIK_SOURCE_DIR) / "tests/fuzz/scripts",
                                fs::path(TALVIK_SQUIRREL_DIR) / "samples"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::string code = compiled(entry.path());
            if (code.empty()) continue;
            originals.push_back(std::move(code));
            names.push_back(entry.path());
        }
    }
    testing::internal::GetCapturedStdout();

    const std::uint64_t count = number_from_environment("TALVIK_MUTANTS", share_in_the_suite);
    random_bytes random{number_from_environment("TALVIK_MUTANT_SEED", 1)};
    const std::string path = (dir_ / "mutant.cnut").string();
    int ran = 0, refused = 0, crashed = 0, misnamed = 0;
    // The originals first, unchanged: the checks refuse no honest code.
    for (std::uint64_t i = 0; i < originals.size() + count; ++i) {
        // Half the mutants from the bundled script, the rest spread over the others.
        std::string mutant = i < originals.size() ? originals[i]
                             : i % 2 == 0         ? originals[0]
                                          : originals[1 + random.next() % (originals.size() - 1)];
        const int changes = i < originals.size() ? 0 : 1 + static_cast<int>(random.next() % 3);
        for (int c = 0; c < changes; ++c)
            mutant[random.next() % mutant.size()] = static_cast<char>(random.next());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << mutant;

        // In a child of its own, so that a crash is counted and kept, not the end of the test.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::freopen("/dev/null", "w", stdout);
            alarm(300); // only a hang: every run is bounded in steps
            const bool tagged = mutant[0] == '\xFA' && mutant[1] == '\xFA';
            std::_Exit(static_cast<int>(run(path, tagged)));
        }
        int status = 0;
        waitpid(child, &status, 0);
        const auto is = [&](outcome o) {
            return WIFEXITED(status) && WEXITSTATUS(status) == static_cast<int>(o);
        };
        if (i < originals.size()) {
            EXPECT_TRUE(is(outcome::ran)) << "original " << names[i] << ": status " << status;
            continue;
        }
        if (is(outcome::ran) || is(outcome::refused)) {
            (is(outcome::ran) ? ran : refused) += 1;
            // A long run says how far it has come.
            if ((ran + refused) % 1000 == 0) {
                std::printf("%d mutants so far\n", ran + refused);
                std::fflush(stdout); // not a copy in every child
            }
            continue;
        }
        const bool misnamed_one = is(outcome::refused_as_something_else);
        (misnamed_one ? misnamed : crashed) += 1;
        const fs::path kept = fs::current_path() / ("mutant-" + std::to_string(i) + ".cnut");
        fs::copy_file(path, kept, fs::copy_options::overwrite_existing);
        ADD_FAILURE() << "mutant " << i
                      << (misnamed_one ? " refused as another failure" : " crashed") << " (status "
                      << status << "), kept as " << kept;
    }
    std::printf("%llu mutants: %d ran, %d refused as damaged, %d crashed, %d refused otherwise\n",
                static_cast<unsigned long long>(count), ran, refused, crashed, misnamed);
    EXPECT_EQ(crashed, 0);
    EXPECT_EQ(misnamed, 0);
    ScriptVM::init();
}

} // namespace
