// The plug-in as the host sees it: a library file and its sixteen exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/host_types.h"

#if defined(_WIN32)
#define SIM_PLUGIN_CALL __stdcall
#else
#define SIM_PLUGIN_CALL
#endif

namespace sim {

struct plugin_api {
    void(SIM_PLUGIN_CALL* Load)();
    void(SIM_PLUGIN_CALL* Dispose)();
    std::int32_t(SIM_PLUGIN_CALL* GetPluginVersion)();
    void(SIM_PLUGIN_CALL* SetVehicleSpec)(ats::vehicle_spec);
    void(SIM_PLUGIN_CALL* Initialize)(std::int32_t);
    ats::handles(SIM_PLUGIN_CALL* Elapse)(ats::vehicle_state, std::int32_t*, std::int32_t*);
    void(SIM_PLUGIN_CALL* SetPower)(std::int32_t);
    void(SIM_PLUGIN_CALL* SetBrake)(std::int32_t);
    void(SIM_PLUGIN_CALL* SetReverser)(std::int32_t);
    void(SIM_PLUGIN_CALL* KeyDown)(std::int32_t);
    void(SIM_PLUGIN_CALL* KeyUp)(std::int32_t);
    void(SIM_PLUGIN_CALL* HornBlow)(std::int32_t);
    void(SIM_PLUGIN_CALL* DoorOpen)();
    void(SIM_PLUGIN_CALL* DoorClose)();
    void(SIM_PLUGIN_CALL* SetSignal)(std::int32_t);
    void(SIM_PLUGIN_CALL* SetBeaconData)(ats::beacon_data);
};

// The plug-in library, loaded like the host loads it; unloaded on destruction.
class plugin_library {
  public:
    plugin_library() = default;
    ~plugin_library();
    plugin_library(const plugin_library&) = delete;
    plugin_library& operator=(const plugin_library&) = delete;

    // Loads `path` and binds the exports; false with `error` set (one line) when the file
    // cannot be loaded or lacks any of the sixteen exports.
    bool open(const std::string& path, std::string& error);
    const plugin_api& api() const { return api_; }
    const std::string& path() const { return path_; }

  private:
    void* library_ = nullptr;
    std::string path_;
    plugin_api api_{};
};

// Where to look for the library when none is named: beside the simulator, then the build's.
std::vector<std::string> default_library_paths();

} // namespace sim
