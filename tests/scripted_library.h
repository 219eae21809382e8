// A copy of the built plug-in in a fresh directory, with a pattern script of the test's own
// beside it (or none): a new path loads as a separate instance of the library.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "plugin_host.h"

namespace talvik_test {

class scripted_library {
  public:
    // `script` is the text of signal_pattern.nut; nullptr leaves the file out.
    explicit scripted_library(const char* script) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "talvik-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        const fs::path copy = fs::path(dir_) / hostkit::library_file_name();
        fs::copy_file(built_library(), copy);
        if (script != nullptr) std::ofstream(fs::path(dir_) / "signal_pattern.nut") << script;
        library_ = std::make_unique<plugin_library>(copy.string());
    }
    // `bytes` is the file exactly as it lies on disk.
    explicit scripted_library(const std::string& bytes) : scripted_library(nullptr) {
        std::ofstream(std::filesystem::path(dir_) / "signal_pattern.nut", std::ios::binary)
            << bytes;
    }
    ~scripted_library() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // Replaces or removes the script beside the copy; a vehicle built later reads the new state.
    void write_script(const char* script) const {
        std::ofstream(std::filesystem::path(dir_) / "signal_pattern.nut", std::ios::trunc)
            << script;
    }
    void remove_script() const {
        std::filesystem::remove(std::filesystem::path(dir_) / "signal_pattern.nut");
    }

    plugin_library& library() { return *library_; }
    const std::string& dir() const { return dir_; }

  private:
    std::string dir_;
    std::unique_ptr<plugin_library> library_;
};

} // namespace talvik_test
