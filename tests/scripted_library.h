// A copy of the built plug-in in a fresh directory, with a pattern script of the test's own
// beside it (or none): a new path loads as a separate instance of the library.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "plugin_host.h"

namespace talvik_test {

class scripted_library {
  public:
    // `script` is the text of signal_pattern.nut; nullptr leaves the file out. `library` is the
    // file copied (a fuzzer's long run names a copy that rebuilding leaves alone).
    explicit scripted_library(const char* script, const std::string& library = built_library()) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "talvik-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        const fs::path copy = fs::path(dir_) / hostkit::library_file_name();
        fs::copy_file(library, copy);
        if (script != nullptr) write_script(script);
        library_ = std::make_unique<plugin_library>(copy.string());
    }
    // `bytes` is the file exactly as it lies on disk.
    explicit scripted_library(const std::string& bytes) : scripted_library(nullptr) {
        write_script(bytes);
    }
    ~scripted_library() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // Replaces or removes the script beside the copy; a vehicle built later reads the new state.
    void write_script(std::string_view script) const {
        std::ofstream(std::filesystem::path(dir_) / "signal_pattern.nut",
                      std::ios::binary | std::ios::trunc)
            .write(script.data(), static_cast<std::streamsize>(script.size()));
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
