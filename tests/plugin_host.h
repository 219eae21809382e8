// A small host for the tests: loads the plug-in library like the simulator does and drives it
// through its sixteen exports.
#pragma once

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "plugin/host_types.h"

namespace talvik_test {

// Path of the freshly built plug-in library, set by the build.
inline std::string built_library() { return TALVIK_LIBRARY_PATH; }

struct plugin_api {
    void (*Load)();
    void (*Dispose)();
    std::int32_t (*GetPluginVersion)();
    void (*SetVehicleSpec)(ats::vehicle_spec);
    void (*Initialize)(std::int32_t);
    ats::handles (*Elapse)(ats::vehicle_state, std::int32_t*, std::int32_t*);
    void (*SetPower)(std::int32_t);
    void (*SetBrake)(std::int32_t);
    void (*SetReverser)(std::int32_t);
    void (*KeyDown)(std::int32_t);
    void (*KeyUp)(std::int32_t);
    void (*HornBlow)(std::int32_t);
    void (*DoorOpen)();
    void (*DoorClose)();
    void (*SetSignal)(std::int32_t);
    void (*SetBeaconData)(ats::beacon_data);
};

// The library, opened once per path for the whole test process.
class plugin_library {
public:
    explicit plugin_library(const std::string& path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
        bind(api.Load, "Load");
        bind(api.Dispose, "Dispose");
        bind(api.GetPluginVersion, "GetPluginVersion");
        bind(api.SetVehicleSpec, "SetVehicleSpec");
        bind(api.Initialize, "Initialize");
        bind(api.Elapse, "Elapse");
        bind(api.SetPower, "SetPower");
        bind(api.SetBrake, "SetBrake");
        bind(api.SetReverser, "SetReverser");
        bind(api.KeyDown, "KeyDown");
        bind(api.KeyUp, "KeyUp");
        bind(api.HornBlow, "HornBlow");
        bind(api.DoorOpen, "DoorOpen");
        bind(api.DoorClose, "DoorClose");
        bind(api.SetSignal, "SetSignal");
        bind(api.SetBeaconData, "SetBeaconData");
    }
    plugin_library(const plugin_library&) = delete;
    plugin_library& operator=(const plugin_library&) = delete;
    void* raw() const { return handle_; }

    plugin_api api{};

    // The built library, opened once.
    static plugin_library& built() {
        static plugin_library lib(built_library());
        return lib;
    }

private:
    template <typename Fn>
    void bind(Fn& fn, const char* name) {
        void* sym = dlsym(handle_, name);
        if (sym == nullptr) throw std::runtime_error(std::string("missing export ") + name);
        fn = reinterpret_cast<Fn>(sym);
    }
    void* handle_ = nullptr;
};

constexpr std::int32_t sentinel = 0x5A5A5A5A;

// Drives one run: Load on construction, Dispose on destruction.
class host {
public:
    explicit host(plugin_library& lib = plugin_library::built()) : api(lib.api) {
        panel.fill(sentinel);
        sound.fill(sentinel);
        api.Load();
    }
    ~host() { api.Dispose(); }
    host(const host&) = delete;
    host& operator=(const host&) = delete;

    // SetVehicleSpec with `notches` service notches and the confirm notch, then Initialize; frames
    // continue from `time_ms` (10:00 by default: a time of 0 has a meaning of its own).
    host& start(std::int32_t notches = 8, std::int32_t ats_notch = 2, std::int32_t time_ms = 36000000) {
        api.SetVehicleSpec(ats::vehicle_spec{notches, 0, ats_notch, 0, 0});
        api.Initialize(0);
        state.time = time_ms;
        return *this;
    }

    // One frame `step_ms` after the last one.
    ats::handles frame(std::int32_t step_ms = 20) {
        state.time += step_ms;
        out = api.Elapse(state, panel.data(), sound.data());
        return out;
    }
    // n frames; returns the last result.
    ats::handles frames(int n, std::int32_t step_ms = 20) {
        for (int i = 0; i < n; ++i) frame(step_ms);
        return out;
    }

    host& speed(float v) {
        state.speed = v;
        return *this;
    }
    host& doors_closed(bool closed) {
        closed ? api.DoorClose() : api.DoorOpen();
        return *this;
    }
    void beacon(std::int32_t type, std::int32_t signal, float distance, std::int32_t optional) {
        api.SetBeaconData(ats::beacon_data{type, signal, distance, optional});
    }
    void press(std::int32_t key) { api.KeyDown(key); }
    void release(std::int32_t key) { api.KeyUp(key); }

    plugin_api& api;
    ats::vehicle_state state{};
    ats::handles out{};
    std::array<std::int32_t, 256> panel{};
    std::array<std::int32_t, 256> sound{};
};

} // namespace talvik_test
