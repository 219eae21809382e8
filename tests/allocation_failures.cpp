// Every allocation may fail: a run of the plug-in (Load, a pattern beacon, its checking frame,
// Dispose) is repeated with its N-th allocation refused, for every N, first in the script VM's
// allocator and then in the plug-in's own (operator new). Each run must end without a crash or a
// leak (the sanitizer build checks both), brake at the checking frame and report once when the
// refusal came before it, and leave the next Load with the bundled script running normally.
// The exports are built into this program, so both allocators are its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "channel_listener.h"
#include "plugin/exports.h"
#include "protection/script_memory.h"
#include "wiring/cab.h"

namespace {

// operator new refuses its `refuse_at`-th request while counting; 0: never.
std::atomic<bool> counting{false};
std::size_t new_countdown = 0;
bool new_refused = false;

void* allocate(std::size_t size) {
    if (counting && new_countdown != 0 && --new_countdown == 0) {
        new_refused = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace cab = ats::cab;
constexpr std::int32_t notches = 8;
constexpr std::int32_t emergency = cab::emergency_position(notches);

enum class allocator { vm, plugin };

void refuse(allocator which, std::size_t n) {
    if (which == allocator::vm) {
        ats::script_memory::refuse_request(n);
    } else {
        new_countdown = n;
        new_refused = false;
    }
}
bool refused(allocator which) {
    return which == allocator::vm ? ats::script_memory::request_refused() : new_refused;
}

struct run_result {
    bool refused_before_check = false; // the refusal came before the checking frame
    bool refused = false;
    ats::handles check{}; // the checking frame's handles
};

// One run through the exports with the plug-in's allocations counted; nothing the test itself
// allocates between the calls is. The listener reads as it goes: the channel holds a few lines.
run_result run(allocator which, std::size_t n, talvik_test::channel_listener& listener) {
    std::vector<std::int32_t> panel(256), sound(256);
    ats::vehicle_state state{};
    state.time = 36000000;
    const auto frame = [&] {
        state.time += 20;
        return Elapse(state, panel.data(), sound.data());
    };
    const auto read_channel = [&] {
        counting = false;
        listener.collect();
        counting = true;
    };
    run_result result;
    refuse(which, n);
    counting = true;
    Load();
    read_channel();
    SetVehicleSpec(ats::vehicle_spec{notches, 0, 2, 0, 0});
    Initialize(0);
    read_channel();
    DoorClose();
    for (int i = 0; i < 10; ++i)
        frame();
    KeyDown(cab::key::release);
    frame();
    KeyUp(cab::key::release);
    frame();
    state.speed = 10.0f;
    SetBeaconData(ats::beacon_data{cab::beacon::pattern_check, 0, 600.0f, 0});
    result.refused_before_check = refused(which);
    result.check = frame();
    frame();
    read_channel();
    Dispose();
    counting = false;
    result.refused = refused(which);
    refuse(which, 0);
    return result;
}

// The failure reports the run sent, one a line.
std::string reports(talvik_test::channel_listener& listener) {
    std::string got;
    for (const std::string& line : listener.take()) {
        if (line.rfind("talvik > script error", 0) == 0 || line.rfind("talvik > error", 0) == 0)
            got += line;
    }
    return got;
}

std::size_t lines_in(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void walk_every_allocation(allocator which) {
    const bool listening = talvik_test::isolate_channel_name();
    talvik_test::channel_listener listener;
    std::size_t n = 1;
    for (;; ++n) {
        const run_result failed = run(which, n, listener);
        // The socket queues a few lines: a run reports less than that.
        const std::string failed_reports = reports(listener);
        if (!failed.refused) break; // past the run's last allocation
        if (failed.refused_before_check) {
            EXPECT_EQ(failed.check.brake, emergency) << "allocation " << n;
            EXPECT_EQ(failed.check.power, 0) << "allocation " << n;
        }
        if (listening) {
            EXPECT_EQ(lines_in(failed_reports), 1u) << "allocation " << n << ":\n" << failed_reports;
        }

        const run_result next = run(which, 0, listener);
        EXPECT_EQ(next.check.brake, 0) << "the Load after allocation " << n;
        if (listening) {
            EXPECT_EQ(reports(listener), "") << "the Load after allocation " << n;
        }
        if (testing::Test::HasFailure()) break;
    }
    if (testing::Test::HasFailure()) return;
    EXPECT_GT(n, 1u) << "the run allocates";
    std::printf("%zu allocations refused in turn\n", n - 1);
}

TEST(AllocationFailure, EveryScriptVMAllocationMayFail) { walk_every_allocation(allocator::vm); }

TEST(AllocationFailure, EveryPluginAllocationMayFail) { walk_every_allocation(allocator::plugin); }

} // namespace
