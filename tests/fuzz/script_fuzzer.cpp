// Fuzz target: its input is the file signal_pattern.nut, any bytes. A host loads the plug-in
// beside it, a type-50 beacon arms a pattern check and the next frame evaluates it, twice: the
// script is compiled, its top-level code runs four times and its three functions are called.
// Whatever the text, every frame must reach the host with its handles. With TALVIK_FUZZ_COMPILED
// set, every input is compiled script code (its first two bytes become the tag), seeded with
// compiled scripts (compile_scripts.cpp); otherwise compiled code is left to that mode.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "plugin_host.h"
#include "scripted_library.h"

namespace {

std::unique_ptr<talvik_test::scripted_library> library;
bool compiled_mode = false;

// Runs one frame and checks what every frame must give the host.
void frame(talvik_test::cab& h) {
    if (h.frame().const_speed != ats::cab::const_speed_resting) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Scripts print on standard output and may read standard input: neither is the fuzzer's.
    if (std::getenv("TALVIK_FUZZ_VERBOSE") == nullptr) {
        const int null_out = open("/dev/null", O_WRONLY);
        if (null_out >= 0) dup2(null_out, STDOUT_FILENO);
    }
    const int null_in = open("/dev/null", O_RDONLY);
    if (null_in >= 0) dup2(null_in, STDIN_FILENO);
    compiled_mode = std::getenv("TALVIK_FUZZ_COMPILED") != nullptr;
    const char* copy = std::getenv("TALVIK_FUZZ_LIBRARY");
    library = std::make_unique<talvik_test::scripted_library>(
        nullptr, copy ? std::string(copy) : talvik_test::built_library());
    // Files a script writes through the io library land in the working directory (the test
    // suite runs this in the build tree's fuzz directory).
    std::atexit([] { library.reset(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool tagged = size >= 2 && data[0] == 0xFA && data[1] == 0xFA;
    if (compiled_mode && !tagged) {
        if (size < 2) return -1;
        library->write_script("\xFA\xFA" + std::string(bytes.substr(2)));
    } else if (!compiled_mode && tagged) {
        return -1;
    } else {
        library->write_script(bytes);
    }
    talvik_test::cab h(library->library());
    h.speed(60.0f).doors_closed(true);
    frame(h);
    for (const float distance : {600.0f, 25.0f}) {
        h.beacon(talvik_test::beacon::pattern_check, 0, distance, 0);
        frame(h);
    }
    return 0;
}
