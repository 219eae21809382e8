// Runs steady frames for callgrind (instructions per frame) and counts the heap allocations they
// make. Usage: talvik_frame_cost [frames]
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect=Elapse talvik_frame_cost
// Every malloc, operator new's included, goes through the counters below.
#include <cstdio>
#include <cstdlib>

#include "plugin_host.h"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* __libc_memalign(std::size_t, std::size_t);

namespace {
long allocations = 0;
}

extern "C" void* malloc(std::size_t size) {
    ++allocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
    ++allocations;
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    ++allocations;
    return __libc_realloc(p, size);
}
extern "C" void* memalign(std::size_t alignment, std::size_t size) {
    ++allocations;
    return __libc_memalign(alignment, size);
}

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 100000;
    talvik_test::host h;
    h.start().doors_closed(true).speed(40.0f);
    h.api.SetPower(3);
    h.api.KeyDown(2);
    h.frames(200);
    const long before = allocations;
    for (long i = 0; i < frames; ++i)
        h.frame();
    const long made = allocations - before;
    std::printf("steady frames: %ld (+200 warm-up), heap allocations during them: %ld\n", frames,
                made);
    return made == 0 ? 0 : 1;
}
