// The exports: each stores a value or calls the vehicle, inside one guard that stops every
// exception before it reaches the host.
#include "plugin/exports.h"

#include <exception>

#include "plugin/host/debug_channel.h"
#include "plugin/host/environment.h"
#include "plugin/host/platform.h"
#include "plugin/vehicle.h"
#include "protection/script_host.h"
#include "wiring/output_mapping.h"

namespace {

constexpr std::int32_t plugin_version = 0x20000;

// The emergency position of the last vehicle data, kept outside the environment so that a frame can
// brake even when the environment itself could not be built.
std::int32_t last_emergency_brake = 1;

// Runs `body`; anything it throws is reported on the debug channel and goes no further.
// Returns false when it threw.
template <typename Body> bool guarded(const char* where, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const ats::SquirrelError& error) {
        ats::debug::dbg_printf("talvik > script error: %s\r\n", error.what());
    } catch (const std::exception& error) {
        ats::debug::dbg_printf("talvik > error in %s: %s\r\n", where, error.what());
    } catch (...) {
        ats::debug::dbg_printf("talvik > error in %s\r\n", where);
    }
    return false;
}

// The bit of a key: its index's low five bits.
std::int32_t key_bit(std::int32_t key) {
    return static_cast<std::int32_t>(1u << (static_cast<std::uint32_t>(key) & 31u));
}

} // namespace

TALVIK_API void TALVIK_CALL Load() {
    const bool loaded = guarded("Load", [] {
        ats::debug::open();
        ats::debug::dbg_printf("dll attached.\r\n");
        ats::env().set_module_dir(ats::platform::module_dir());
        // The vehicle compiles its script from module_dir through the running VM.
        ats::ScriptVM::init();
        ats::allow_vehicle_build();
        ats::the_vehicle();
    });
    if (!loaded) ats::refuse_vehicle_build();
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
    guarded("SetVehicleSpec", [&] {
        ats::environment_block& now = ats::env().current;
        now.set_spec(spec);
        last_emergency_brake = now.emergency_brake;
    });
}

TALVIK_API void TALVIK_CALL Initialize(std::int32_t param) {
    guarded("Initialize", [&] {
        ats::env().reset();
        if (ats::vehicle* v = ats::the_vehicle()) v->initialize(param);
    });
}

TALVIK_API ats::handles TALVIK_CALL Elapse(ats::vehicle_state state, std::int32_t* panel,
                                           std::int32_t* sound) {
    // Lines a slow listener had no room for go out as soon as it makes room.
    ats::debug::hand_over();
    ats::handles out{};
    const bool ran = guarded("Elapse", [&] {
        ats::environment& e = ats::env();
        e.begin_frame(state);
        ats::vehicle* v = ats::the_vehicle();
        if (v == nullptr) {
            // Without its devices the train must not run unprotected.
            ats::write_fail_safe_outputs(out, panel, sound, e.current.emergency_brake);
        } else {
            v->elapse(e, out, panel, sound);
        }
        e.end_frame();
    });
    if (!ran) ats::write_fail_safe_outputs(out, panel, sound, last_emergency_brake);
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
    guarded("HornBlow", [] {
        if (ats::vehicle* v = ats::the_vehicle()) v->horn_blow();
    });
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
    guarded("SetBeaconData", [&] {
        if (ats::vehicle* v = ats::the_vehicle()) v->beacon(ats::env(), beacon);
    });
}
