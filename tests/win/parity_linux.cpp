// Runs the shared scripted session and the broken-script table through the Linux library and
// writes their outputs as CSV, for comparison with the same runs through the Windows DLLs.
#include <cstdio>
#include <exception>
#include <string>

#include "plugin_host.h"
#include "scripted_library.h"
#include "win/parity_session.h"

namespace {

// Runs `session` on the rows written to `path`.
template <typename Session> bool write_csv(const char* path, Session&& session) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) {
        std::perror(path);
        return false;
    }
    session(out);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: talvik_parity LIBRARY OUT.csv SCRIPTS.csv\n");
        return 2;
    }
    try {
        talvik_test::plugin_library library(argv[1]);
        const bool day = write_csv(argv[2], [&](std::FILE* out) {
            talvik_test::parity_session(library.api(), out).run();
        });
        // A copy of the library with the table's scripts beside it in turn.
        talvik_test::scripted_library scripted(nullptr, argv[1]);
        const bool scripts = write_csv(argv[3], [&](std::FILE* out) {
            talvik_test::parity_session(scripted.library().api(), out)
                .run_broken_scripts([&](const std::string& text) { scripted.write_script(text); },
                                    [](const char*) {});
        });
        return day && scripts ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "talvik_parity: %s\n", error.what());
        return 1;
    }
}
