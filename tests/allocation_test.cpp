// A steady frame allocates nothing: counted by replacing the global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "plugin_host.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(Allocation, SteadyFramesAllocateNothing) {
    const long at_load = allocations.load();
    talvik_test::cab h;
    ASSERT_GT(allocations.load() - at_load, 0) << "the counter must see the library's allocations";
    h.doors_closed(true).speed(40.0f);
    h.api.SetPower(3);
    h.frames(10);
    const long before = allocations.load();
    h.frames(1000);
    h.api.HornBlow(0);
    h.press(talvik_test::key::eb_acknowledge);
    h.frames(1000, 33);
    h.release(talvik_test::key::eb_acknowledge);
    h.frames(1000, 33);
    EXPECT_EQ(allocations.load() - before, 0);
}
