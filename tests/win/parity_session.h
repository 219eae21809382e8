// One scripted run of the plug-in, the same for every build: a driver's day in a few thousand
// frames. Its outputs, written as CSV rows whenever anything changes, must match between the
// Linux library and both Windows DLLs. The same for the broken-script table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "broken_scripts.h"

#include "plugin/host/host_types.h"
#include "tools/hostkit/hostkit.h"
#include "wiring/cab.h"

namespace talvik_test {

namespace beacon = ats::cab::beacon;
namespace key = ats::cab::key;

class parity_session {
  public:
    parity_session(const hostkit::plugin_api& api, std::FILE* out) : api_(api), out_(out) {}

    void run() {
        write_header();
        api_.Load();
        api_.SetVehicleSpec(ats::vehicle_spec{8, 1, 2, 3, 4});
        api_.Initialize(0);
        state_.time = 36000000; // 10:00
        state_.location = 1000.0;
        frames(5, 20);

        // Doors closed, forward, power: the train sets off and accelerates.
        api_.DoorClose();
        api_.SetReverser(1);
        api_.SetPower(3);
        state_.traction_value = 1.5f;
        for (int i = 0; i < 300; ++i)
            drive(0.05f, 20);

        // Doors open on the move: traction and reverser are withheld, the brake is not.
        api_.DoorOpen();
        api_.SetBrake(2);
        frames(5, 20);
        api_.DoorClose();
        api_.SetBrake(0);
        frames(5, 20);

        // Monitor beacons: train number, stop station, section sound and the like.
        const auto monitor_beacon = [this](std::int32_t type) {
            api_.SetBeaconData(ats::beacon_data{type, 0, 0.0f, type * 7 + 3});
            frames(3, 20);
        };
        monitor_beacon(beacon::crew);
        for (int digit = 0; digit < ats::cab::panel::train_number_digits; ++digit)
            monitor_beacon(beacon::train_number + digit);
        for (const std::int32_t type : {beacon::max_speed, beacon::stop_station, beacon::section})
            monitor_beacon(type);

        // A stop signal: alarm, confirmation with the brake applied, then the pattern checks.
        api_.SetSignal(0);
        api_.SetBeaconData(ats::beacon_data{beacon::alarm, 0, 620.0f, 0});
        frames(40, 33);
        api_.SetBrake(3);
        frames(2, 20);
        tap(key::confirm, 3, 20);
        api_.SetBeaconData(ats::beacon_data{beacon::trip, 0, 400.0f, 0});
        api_.SetBeaconData(ats::beacon_data{beacon::pattern_check, 0, 300.0f, 45});
        api_.SetBeaconData(ats::beacon_data{beacon::braking_speed_check, 0, 0.0f, 60});
        api_.SetBeaconData(ats::beacon_data{beacon::alarm_speed_check, 0, 0.0f, 30});
        api_.SetBrake(0);
        api_.SetPower(5);
        state_.traction_value = 2.0f;
        for (int i = 0; i < 400; ++i)
            drive(0.08f, 33);
        for (const int pressed : {key::release, key::reset, key::confirm})
            tap(pressed, 2, 20);

        // Vigilance: more than a minute without a driver action while moving.
        api_.SetPower(0);
        state_.traction_value = 0.0f;
        frames(2000, 33);
        api_.HornBlow(1);
        frames(200, 33);
        tap(key::eb_acknowledge, 3, 33);

        // Braking to a stop, reversing slowly, and a restart of the run.
        api_.SetBrake(6);
        state_.traction_value = -1.0f;
        for (int i = 0; i < 200 && state_.speed > 0.0f; ++i)
            drive(-0.3f, 33);
        state_.speed = 0.0f;
        api_.SetReverser(-1);
        api_.SetBrake(0);
        api_.SetPower(1);
        for (int i = 0; i < 50; ++i)
            drive(-0.05f, 33);
        api_.SetSignal(3);
        api_.Initialize(1);
        state_.time = 0; // a frame at exactly 0 has a meaning of its own
        frames(1, 0);
        frames(10, 50);
        tap(key::reset + 32, 2, 20); // bit 3 again
        api_.Dispose();
        write_row(true);
    }

    // Each broken script in turn beside the library (`write_script(text)` puts it there): a
    // Load, a pattern check armed and run, a reset tried; then a Load with the sound functions,
    // which must run normally. `after_run(report)` follows every Dispose, with the broken
    // script's report or nullptr after the sound one.
    template <typename WriteScript, typename AfterRun>
    void run_broken_scripts(WriteScript&& write_script, AfterRun&& after_run) {
        write_header();
        for (const broken_script& broken : broken_scripts) {
            write_script(std::string(sound_functions) + broken.script + "\n");
            check_pattern_at_45();
            after_run(broken.report);
            write_script(sound_functions);
            check_pattern_at_45();
            after_run(nullptr);
        }
    }

  private:
    static constexpr int array_size = 256;

    void write_header() {
        std::fprintf(out_, "frame,brake,power,reverser,const_speed");
        for (int i = 0; i < array_size; ++i)
            std::fprintf(out_, ",p%d", i);
        for (int i = 0; i < array_size; ++i)
            std::fprintf(out_, ",s%d", i);
        std::fprintf(out_, "\n");
    }

    // One run at 45 km/h over a pattern check 600 m before a stop signal, with the reset tried
    // once the check has run.
    void check_pattern_at_45() {
        api_.Load();
        api_.SetVehicleSpec(ats::vehicle_spec{8, 1, 2, 3, 4});
        api_.Initialize(0);
        state_ = ats::vehicle_state{};
        state_.time = 36000000;
        api_.DoorClose();
        frames(10, 20);
        state_.speed = 45.0f;
        api_.SetBeaconData(ats::beacon_data{beacon::pattern_check, 0, 600.0f, 0});
        frames(2, 20);
        api_.SetBrake(ats::cab::emergency_position(8));
        tap(key::reset, 2, 20);
        api_.SetBrake(0);
        frames(2, 20);
        api_.Dispose();
        write_row(true);
    }

    void frames(int n, std::int32_t step_ms) {
        for (int i = 0; i < n; ++i) {
            state_.time += step_ms;
            frame();
        }
    }
    // The key held for `n` frames of `step_ms`, then released for as many.
    void tap(std::int32_t k, int n, std::int32_t step_ms) {
        api_.KeyDown(k);
        frames(n, step_ms);
        api_.KeyUp(k);
        frames(n, step_ms);
    }
    // One frame of `step_ms` with the speed changed by `dv` (m/s per frame).
    void drive(float dv, std::int32_t step_ms) {
        state_.speed += dv;
        state_.location += static_cast<double>(state_.speed) * step_ms / 1000.0;
        state_.time += step_ms;
        frame();
    }
    void frame() {
        out_handles_ = api_.Elapse(state_, panel_, sound_);
        ++frame_;
        write_row(false);
    }
    // A row whenever the handles, the panel or the sound changed, and the last one always.
    void write_row(bool last) {
        bool changed = last || frame_ == 1 || out_handles_.brake != last_handles_.brake ||
                       out_handles_.power != last_handles_.power ||
                       out_handles_.reverser != last_handles_.reverser ||
                       out_handles_.const_speed != last_handles_.const_speed;
        for (int i = 0; i < array_size && !changed; ++i) {
            changed = panel_[i] != last_panel_[i] || sound_[i] != last_sound_[i];
        }
        if (!changed) return;
        std::fprintf(out_, "%d,%d,%d,%d,%d", frame_, static_cast<int>(out_handles_.brake),
                     static_cast<int>(out_handles_.power), static_cast<int>(out_handles_.reverser),
                     static_cast<int>(out_handles_.const_speed));
        for (int i = 0; i < array_size; ++i)
            std::fprintf(out_, ",%d", static_cast<int>(panel_[i]));
        for (int i = 0; i < array_size; ++i)
            std::fprintf(out_, ",%d", static_cast<int>(sound_[i]));
        std::fprintf(out_, "\n");
        last_handles_ = out_handles_;
        for (int i = 0; i < array_size; ++i) {
            last_panel_[i] = panel_[i];
            last_sound_[i] = sound_[i];
        }
    }

    const hostkit::plugin_api& api_;
    std::FILE* out_;
    ats::vehicle_state state_{};
    ats::handles out_handles_{};
    ats::handles last_handles_{};
    std::int32_t panel_[array_size] = {};
    std::int32_t sound_[array_size] = {};
    std::int32_t last_panel_[array_size] = {};
    std::int32_t last_sound_[array_size] = {};
    int frame_ = 0;
};

} // namespace talvik_test
