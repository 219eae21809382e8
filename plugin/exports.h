// The sixteen functions the host calls, with C linkage and the host's calling convention.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"

#if defined(_WIN32)
#define TALVIK_CALL __stdcall
// Exported by plugin/talvik.def under plain names; dllexport would add the decorated ones too.
#define TALVIK_API extern "C"
#else
#define TALVIK_CALL
#define TALVIK_API extern "C" __attribute__((visibility("default")))
#endif

TALVIK_API void TALVIK_CALL Load();
TALVIK_API void TALVIK_CALL Dispose();
TALVIK_API std::int32_t TALVIK_CALL GetPluginVersion();
TALVIK_API void TALVIK_CALL SetVehicleSpec(ats::vehicle_spec spec);
TALVIK_API void TALVIK_CALL Initialize(std::int32_t param);
TALVIK_API ats::handles TALVIK_CALL Elapse(ats::vehicle_state state, std::int32_t* panel,
                                           std::int32_t* sound);
TALVIK_API void TALVIK_CALL SetPower(std::int32_t notch);
TALVIK_API void TALVIK_CALL SetBrake(std::int32_t notch);
TALVIK_API void TALVIK_CALL SetReverser(std::int32_t position);
TALVIK_API void TALVIK_CALL KeyDown(std::int32_t key);
TALVIK_API void TALVIK_CALL KeyUp(std::int32_t key);
TALVIK_API void TALVIK_CALL HornBlow(std::int32_t kind);
TALVIK_API void TALVIK_CALL DoorOpen();
TALVIK_API void TALVIK_CALL DoorClose();
TALVIK_API void TALVIK_CALL SetSignal(std::int32_t aspect);
TALVIK_API void TALVIK_CALL SetBeaconData(ats::beacon_data beacon);
