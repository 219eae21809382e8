// Exact costs for callgrind, and the heap allocations of steady frames.
//   talvik_frame_cost [steady|check|beacon|arm|load] [count]
// `load` loads the built library, or the copy TALVIK_PROBE_LIBRARY names (with a script of one's
// own beside it: compiled script code, say).
// Under `valgrind --tool=callgrind --collect-atstart=no` only the measured calls are collected
// (bench/callgrind.sh divides by the count). Every malloc, operator new's included, goes through
// the counters below; steady frames must make none.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

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

namespace {

// Running at 40 with power 3 and the acknowledge key held: no device changes state.
void steady(talvik_test::host& h) {
    h.start().doors_closed(true).speed(40.0f);
    h.api.SetPower(3);
    h.api.KeyDown(2);
    h.frames(200);
}

} // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "steady";
    const long count = argc > 2 ? std::atol(argv[2]) : 100000;
    if (std::strcmp(mode, "load") == 0) {
        const char* copy = std::getenv("TALVIK_PROBE_LIBRARY");
        std::optional<talvik_test::plugin_library> other;
        if (copy != nullptr) other.emplace(copy);
        auto& api = other ? other->api() : talvik_test::plugin_library::built().api();
        for (long i = 0; i < count; ++i) {
            CALLGRIND_TOGGLE_COLLECT;
            api.Load();
            CALLGRIND_TOGGLE_COLLECT;
            api.Dispose();
        }
        std::printf("load: %ld\n", count);
        return 0;
    }
    talvik_test::host h;
    steady(h);
    h.speed(0.0f); // under every pattern: the latch stays off
    const long before = allocations;
    for (long i = 0; i < count; ++i) {
        if (std::strcmp(mode, "steady") == 0) {
            CALLGRIND_TOGGLE_COLLECT;
            h.frame();
            CALLGRIND_TOGGLE_COLLECT;
        } else if (std::strcmp(mode, "check") == 0) {
            h.beacon(50, 0, 500.0f, 0);
            CALLGRIND_TOGGLE_COLLECT;
            h.frame();
            CALLGRIND_TOGGLE_COLLECT;
        } else {
            // A beacon that only sets state (type 0), or one that arms a check (type 50).
            const std::int32_t type = std::strcmp(mode, "arm") == 0 ? 50 : 0;
            CALLGRIND_TOGGLE_COLLECT;
            h.beacon(type, 0, 500.0f, 0);
            CALLGRIND_TOGGLE_COLLECT;
            h.frame();
        }
    }
    const long made = allocations - before;
    std::printf("%s: %ld, heap allocations during them: %ld\n", mode, count, made);
    return std::strcmp(mode, "steady") == 0 && made != 0 ? 1 : 0;
}
