// Loading the plug-in library and binding its exports by their plain names.
#include "tools/sim/plugin_api.h"

#include "tools/sim/sim_platform.h"

namespace sim {

namespace {

template <typename Fn> void bind(void* library, Fn& fn, const char* name, std::string& missing) {
    void* symbol = os::find_symbol(library, name);
    if (symbol == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
        return;
    }
    fn = reinterpret_cast<Fn>(symbol);
}

} // namespace

plugin_library::~plugin_library() { os::close_library(library_); }

bool plugin_library::open(const std::string& path, std::string& error) {
    if (!os::file_exists(path)) {
        error = "plug-in library not found: " + path;
        return false;
    }
    std::string why;
    void* library = os::open_library(path, why);
    if (library == nullptr) {
        error = "cannot load the plug-in library " + path + ": " + why;
        return false;
    }
    plugin_api api{};
    std::string missing;
    bind(library, api.Load, "Load", missing);
    bind(library, api.Dispose, "Dispose", missing);
    bind(library, api.GetPluginVersion, "GetPluginVersion", missing);
    bind(library, api.SetVehicleSpec, "SetVehicleSpec", missing);
    bind(library, api.Initialize, "Initialize", missing);
    bind(library, api.Elapse, "Elapse", missing);
    bind(library, api.SetPower, "SetPower", missing);
    bind(library, api.SetBrake, "SetBrake", missing);
    bind(library, api.SetReverser, "SetReverser", missing);
    bind(library, api.KeyDown, "KeyDown", missing);
    bind(library, api.KeyUp, "KeyUp", missing);
    bind(library, api.HornBlow, "HornBlow", missing);
    bind(library, api.DoorOpen, "DoorOpen", missing);
    bind(library, api.DoorClose, "DoorClose", missing);
    bind(library, api.SetSignal, "SetSignal", missing);
    bind(library, api.SetBeaconData, "SetBeaconData", missing);
    if (!missing.empty()) {
        os::close_library(library);
        error = path + " is not a talvik plug-in: it lacks the export(s) " + missing;
        return false;
    }
    os::close_library(library_);
    library_ = library;
    path_ = path;
    api_ = api;
    return true;
}

std::vector<std::string> default_library_paths() {
    std::vector<std::string> paths;
    const std::string here = os::executable_dir();
    if (!here.empty()) paths.push_back(here + os::library_file_name());
#ifdef TALVIK_BUILT_LIBRARY
    paths.push_back(TALVIK_BUILT_LIBRARY);
#endif
    return paths;
}

} // namespace sim
