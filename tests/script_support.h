// Helpers for tests of the script host itself: an open VM per test, script files in a private
// directory, and the path of the pattern script the build puts beside the library.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "protection/script_host.h"

namespace talvik_test {

// The pattern script as installed beside the built library.
inline std::filesystem::path bundled_script() {
    return std::filesystem::path(TALVIK_LIBRARY_PATH).parent_path() / "signal_pattern.nut";
}

// The description of the SquirrelError that `operation` raises, or "(nothing raised)".
template <typename Operation> std::string error_of(Operation&& operation) {
    try {
        operation();
    } catch (const ats::SquirrelError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

// The kind of the SquirrelError that `operation` raises; nothing when it raises none.
template <typename Operation> std::optional<ats::script_failure> failure_of(Operation&& operation) {
    try {
        operation();
    } catch (const ats::SquirrelError& error) {
        return error.kind();
    }
    return std::nullopt;
}

// Opens the VM for each test and closes it afterwards; scripts go into a fresh directory.
// Standard input as a pipe whose writing end stays open while this lives: a read of it waits
// for ever, as one of the host's might (a test that reads it hangs until its timeout).
class held_stdin {
  public:
    held_stdin() {
        int ends[2];
        if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
        saved_ = dup(STDIN_FILENO);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        writer_ = ends[1];
    }
    ~held_stdin() {
        if (saved_ >= 0) {
            dup2(saved_, STDIN_FILENO);
            close(saved_);
        } else {
            close(STDIN_FILENO);
        }
        close(writer_);
    }
    held_stdin(const held_stdin&) = delete;
    held_stdin& operator=(const held_stdin&) = delete;

  private:
    int saved_ = -1;
    int writer_ = -1;
};

class script_vm_test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "talvik-scripts-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ats::ScriptVM::init();
    }
    void TearDown() override {
        ats::ScriptVM::shutdown();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes `text` to a file of the private directory and returns its path.
    std::string script_file(const std::string& name, const std::string& text) const {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return path.string();
    }
    // Compiles and runs a script given as text.
    ats::SquirrelObject load(const std::string& text, const std::string& name = "test.nut") {
        ats::SquirrelObject script = ats::ScriptVM::compile_file(script_file(name, text).c_str());
        ats::ScriptVM::run(script);
        return script;
    }
    static SQInteger top() { return sq_gettop(ats::ScriptVM::vm()); }

    std::filesystem::path dir_;
};

} // namespace talvik_test
