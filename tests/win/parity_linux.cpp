// Runs the shared scripted session through the Linux library and writes its outputs as CSV, for
// comparison with the same session through the Windows DLLs.
#include <cstdio>
#include <exception>

#include "plugin_host.h"
#include "win/parity_session.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: talvik_parity LIBRARY OUT.csv\n");
        return 2;
    }
    try {
        talvik_test::plugin_library library(argv[1]);
        std::FILE* out = std::fopen(argv[2], "w");
        if (out == nullptr) {
            std::perror(argv[2]);
            return 1;
        }
        talvik_test::parity_session(library.api(), out).run();
        return std::fclose(out) == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "talvik_parity: %s\n", error.what());
        return 1;
    }
}
