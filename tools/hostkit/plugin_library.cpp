// Binding the sixteen exports by their plain names.
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/os.h"

namespace hostkit {

namespace {

template <typename Fn> void bind(void* module, Fn& fn, const char* name, std::string& missing) {
    void* symbol = os::find_symbol(module, name);
    if (symbol == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
        return;
    }
    fn = reinterpret_cast<Fn>(symbol);
}

} // namespace

plugin_library::~plugin_library() { os::close_library(module_); }

bool plugin_library::open(const std::string& path, std::string& error) {
    if (!file_exists(path)) {
        error = "plug-in library not found: " + path;
        return false;
    }
    std::string why;
    if (!os::check_library_file(path, why)) {
        error = "cannot load the plug-in library " + path + ": " + why;
        return false;
    }
    void* module = os::open_library(path, why);
    if (module == nullptr) {
        error = "cannot load the plug-in library " + path + ": " + why;
        return false;
    }
    return adopt(module, path, error);
}

bool plugin_library::adopt(void* module, const std::string& path, std::string& error) {
    plugin_api api{};
    std::string missing;
    bind(module, api.Load, "Load", missing);
    bind(module, api.Dispose, "Dispose", missing);
    bind(module, api.GetPluginVersion, "GetPluginVersion", missing);
    bind(module, api.SetVehicleSpec, "SetVehicleSpec", missing);
    bind(module, api.Initialize, "Initialize", missing);
    bind(module, api.Elapse, "Elapse", missing);
    bind(module, api.SetPower, "SetPower", missing);
    bind(module, api.SetBrake, "SetBrake", missing);
    bind(module, api.SetReverser, "SetReverser", missing);
    bind(module, api.KeyDown, "KeyDown", missing);
    bind(module, api.KeyUp, "KeyUp", missing);
    bind(module, api.HornBlow, "HornBlow", missing);
    bind(module, api.DoorOpen, "DoorOpen", missing);
    bind(module, api.DoorClose, "DoorClose", missing);
    bind(module, api.SetSignal, "SetSignal", missing);
    bind(module, api.SetBeaconData, "SetBeaconData", missing);
    if (!missing.empty()) {
        os::close_library(module);
        error = path + " is not a talvik plug-in: it lacks the export(s) " + missing;
        return false;
    }
    os::close_library(module_);
    module_ = module;
    path_ = path;
    api_ = api;
    return true;
}

} // namespace hostkit
