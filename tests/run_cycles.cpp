// Whole runs of the plug-in in one process, for the leak checks.
//   talvik_run_cycles N                  N runs (default 100), for an outside checker (valgrind)
//   talvik_run_cycles N --max-pages P    after 200 warm-up runs, N runs may grow the resident
//                                        memory by at most P pages; exits 1 when they grow more
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "run_cycle.h"

namespace {
long resident_pages() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident;
}
} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    if (argc > 3 && std::strcmp(argv[2], "--max-pages") == 0) {
        const long allowed = std::atol(argv[3]);
        constexpr int warm_up = 200;
        for (int i = 0; i < warm_up; ++i)
            talvik_test::run_cycle();
        const long before = resident_pages();
        for (int i = 0; i < runs; ++i)
            talvik_test::run_cycle();
        const long grown = resident_pages() - before;
        std::printf("%d runs grew the resident memory by %ld pages (allowed: %ld)\n", runs, grown,
                    allowed);
        return grown <= allowed ? 0 : 1;
    }
    for (int i = 0; i < runs; ++i)
        talvik_test::run_cycle();
    return 0;
}
