// The host's side of the plug-in, for the programs that load it or listen to it (talvik-sim,
// talvik-dbgview, the tests, the Windows test host, the fuzzer): the library file with its
// sixteen exports bound by their plain names, and the listening end of the debug channel.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/host/host_types.h"

#if defined(_WIN32)
#define HOSTKIT_CALL __stdcall
#else
#define HOSTKIT_CALL
#endif

namespace hostkit {

struct plugin_api {
    void(HOSTKIT_CALL* Load)();
    void(HOSTKIT_CALL* Dispose)();
    std::int32_t(HOSTKIT_CALL* GetPluginVersion)();
    void(HOSTKIT_CALL* SetVehicleSpec)(ats::vehicle_spec);
    void(HOSTKIT_CALL* Initialize)(std::int32_t);
    ats::handles(HOSTKIT_CALL* Elapse)(ats::vehicle_state, std::int32_t*, std::int32_t*);
    void(HOSTKIT_CALL* SetPower)(std::int32_t);
    void(HOSTKIT_CALL* SetBrake)(std::int32_t);
    void(HOSTKIT_CALL* SetReverser)(std::int32_t);
    void(HOSTKIT_CALL* KeyDown)(std::int32_t);
    void(HOSTKIT_CALL* KeyUp)(std::int32_t);
    void(HOSTKIT_CALL* HornBlow)(std::int32_t);
    void(HOSTKIT_CALL* DoorOpen)();
    void(HOSTKIT_CALL* DoorClose)();
    void(HOSTKIT_CALL* SetSignal)(std::int32_t);
    void(HOSTKIT_CALL* SetBeaconData)(ats::beacon_data);
};

// File name of the plug-in library on this platform ("libtalvik.so" or "talvik.dll").
const char* library_file_name();

// Directory of the running program, with a trailing separator; empty when unknown. On Windows
// as the ANSI code page spells it: a path below it opens by its full name here even where that
// spelling lost characters.
std::string program_dir();

// True for a regular file.
bool file_exists(const std::string& path);

// The plug-in library, loaded as the host loads it; unloaded on destruction.
class plugin_library {
  public:
    plugin_library() = default;
    ~plugin_library();
    plugin_library(const plugin_library&) = delete;
    plugin_library& operator=(const plugin_library&) = delete;

    // Loads `path` and binds the exports; false with `error` set (one line) when the file
    // cannot be loaded or lacks any of the sixteen exports.
    bool open(const std::string& path, std::string& error);
    // Binds the exports of a module loaded elsewhere (by its wide name, say) and takes it over;
    // false with `error` set, and the module unloaded, when it lacks any of them.
    bool adopt(void* module, const std::string& path, std::string& error);
    const plugin_api& api() const { return api_; }
    const std::string& path() const { return path_; }
    // The loaded module (an HMODULE on Windows); null before a successful open.
    void* module() const { return module_; }

  private:
    void* module_ = nullptr;
    std::string path_;
    plugin_api api_{};
};

enum class listen_result { listening, name_taken, failed };

// The listening end of the debug channel, as a debug viewer creates it: a mailslot on Windows,
// an abstract-namespace datagram socket elsewhere. One message per receive.
class debug_listener {
  public:
    debug_listener() = default;
    ~debug_listener() { close(); }
    debug_listener(const debug_listener&) = delete;
    debug_listener& operator=(const debug_listener&) = delete;

    // Takes the channel's name; otherwise `error` says why ("another listener has the debug
    // channel" when the name is taken).
    listen_result open(std::string& error);
    bool is_open() const { return handle_ != closed; }
    // The next waiting message, without waiting; false when none is waiting.
    bool receive(std::string& message);
    // Waits for the next message. False on an error, which `error` names, or when a signal
    // ended the wait (`error` empty).
    bool wait(std::string& message, std::string& error);
    void close();

  private:
    static constexpr std::intptr_t closed = -1;
    std::intptr_t handle_ = closed;
};

// True when a listener holds the debug channel's name.
bool channel_has_listener();

} // namespace hostkit
