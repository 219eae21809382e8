// What a frame, a beacon and a Load cost, measured through the exports of the built library.
#include <benchmark/benchmark.h>

#include <chrono>

#include "plugin_host.h"

namespace {

using talvik_test::host;

// Running at 40 with power 3 and the acknowledge key held: no device changes state.
void steady(host& h) {
    h.start().doors_closed(true).speed(40.0f);
    h.api.SetPower(3);
    h.api.KeyDown(2);
    h.frames(200);
}

void BM_SteadyFrame(benchmark::State& state) {
    host h;
    steady(h);
    for (auto _ : state)
        benchmark::DoNotOptimize(h.frame());
}
BENCHMARK(BM_SteadyFrame);

// The frame after an arming beacon: the script's top-level code runs and the pattern is looked
// up. Only the frame is timed.
void BM_PatternCheckFrame(benchmark::State& state) {
    host h;
    steady(h);
    h.speed(0.0f); // never over the pattern, so the latch stays off
    for (auto _ : state) {
        h.beacon(50, 0, 500.0f, 0);
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(h.frame());
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}
BENCHMARK(BM_PatternCheckFrame)->UseManualTime();

// A beacon that only sets state, and one that arms a pattern check (two script calls).
void BM_Beacon(benchmark::State& state) {
    host h;
    steady(h);
    const std::int32_t type = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state)
        h.beacon(type, 0, 500.0f, 0);
}
BENCHMARK(BM_Beacon)->Arg(0)->Arg(50)->ArgName("type");

// Load: the VM opens and the pattern script is read and compiled. Dispose is not timed.
void BM_LoadWithCompile(benchmark::State& state) {
    auto& api = talvik_test::plugin_library::built().api();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        api.Load();
        const auto t1 = std::chrono::steady_clock::now();
        api.Dispose();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}
BENCHMARK(BM_LoadWithCompile)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
