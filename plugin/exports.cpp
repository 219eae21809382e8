// The exports: each stores a value or calls the vehicle, inside one guard that stops every
// exception before it reaches the host.
#include "plugin/exports.h"

#include <exception>

#include "plugin/debug_channel.h"
#include "plugin/environment.h"
#include "plugin/platform.h"
#include "plugin/vehicle.h"
#include "protection/script_host.h"

namespace {

constexpr std::int32_t plugin_version = 0x20000;

// Runs `body`; anything it throws is reported on the debug channel and goes no further.
template <typename Body>
void guarded(const char* where, Body&& body) noexcept {
    try {
        body();
    } catch (const ats::SquirrelError& error) {
        ats::debug::dbg_printf("talvik > script error in %s: %s\r\n", where,
                               error.desc != nullptr ? error.desc : "");
    } catch (const std::exception& error) {
        ats::debug::dbg_printf("talvik > error in %s: %s\r\n", where, error.what());
    } catch (...) {
        ats::debug::dbg_printf("talvik > error in %s\r\n", where);
    }
}

// The bit of a key: its index's low five bits.
std::int32_t key_bit(std::int32_t key) {
    return static_cast<std::int32_t>(1u << (static_cast<std::uint32_t>(key) & 31u));
}

} // namespace

TALVIK_API void TALVIK_CALL Load() {
    guarded("Load", [] {
        ats::debug::open();
        ats::debug::dbg_printf("dll attached.\r\n");
        ats::env().set_module_dir(ats::platform::module_dir());
        // The vehicle compiles its script from module_dir through the running VM.
        ats::ScriptVM::init();
        ats::the_vehicle();
    });
}

TALVIK_API void TALVIK_CALL Dispose() {
    guarded("Dispose", [] {
        // The vehicle goes first: its script must be released while the script host runs.
        ats::destroy_vehicle();
        ats::ScriptVM::shutdown();
        ats::destroy_environment();
        ats::debug::dbg_printf("dll detached.\r\n");
        ats::debug::close();
    });
}

TALVIK_API std::int32_t TALVIK_CALL GetPluginVersion() { return plugin_version; }

TALVIK_API void TALVIK_CALL SetVehicleSpec(ats::vehicle_spec spec) {
    guarded("SetVehicleSpec", [&] { ats::env().current.set_spec(spec); });
}

TALVIK_API void TALVIK_CALL Initialize(std::int32_t param) {
    guarded("Initialize", [&] {
        ats::env().reset();
        ats::the_vehicle().initialize(param);
    });
}

TALVIK_API ats::handles TALVIK_CALL Elapse(ats::vehicle_state state, std::int32_t* panel,
                                           std::int32_t* sound) {
    ats::handles out{};
    guarded("Elapse", [&] {
        ats::environment& e = ats::env();
        e.begin_frame(state);
        ats::the_vehicle().elapse(out, panel, sound);
        e.end_frame();
    });
    return out;
}

TALVIK_API void TALVIK_CALL SetPower(std::int32_t notch) {
    guarded("SetPower", [&] { ats::env().current.power_handle = notch; });
}

TALVIK_API void TALVIK_CALL SetBrake(std::int32_t notch) {
    guarded("SetBrake", [&] { ats::env().current.brake_handle = notch; });
}

TALVIK_API void TALVIK_CALL SetReverser(std::int32_t position) {
    guarded("SetReverser", [&] { ats::env().current.reverser_handle = position; });
}

TALVIK_API void TALVIK_CALL KeyDown(std::int32_t key) {
    guarded("KeyDown", [&] { ats::env().current.keys |= key_bit(key); });
}

TALVIK_API void TALVIK_CALL KeyUp(std::int32_t key) {
    // Exclusive or: a release that follows its press clears the bit.
    guarded("KeyUp", [&] { ats::env().current.keys ^= key_bit(key); });
}

TALVIK_API void TALVIK_CALL HornBlow(std::int32_t) {
    guarded("HornBlow", [] { ats::the_vehicle().horn_blow(); });
}

TALVIK_API void TALVIK_CALL DoorOpen() {
    guarded("DoorOpen", [] { ats::env().current.doors_closed = false; });
}

TALVIK_API void TALVIK_CALL DoorClose() {
    guarded("DoorClose", [] { ats::env().current.doors_closed = true; });
}

TALVIK_API void TALVIK_CALL SetSignal(std::int32_t aspect) {
    guarded("SetSignal", [&] {
        ats::env().current.signal = aspect;
        ats::the_vehicle();
        ats::debug::dbg_printf("talvik > changed signal. signal : %d\r\n", aspect);
    });
}

TALVIK_API void TALVIK_CALL SetBeaconData(ats::beacon_data beacon) {
    guarded("SetBeaconData", [&] { ats::the_vehicle().beacon(beacon); });
}
