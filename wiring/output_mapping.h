// Copies the output, panel and sound buses into the host's handles record and arrays.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"
#include "wiring/wiring.h"

namespace ats {

// Fills all four handles and every panel and sound index of the signal table; touches nothing
// else.
void write_outputs(wiring& w, handles& out, std::int32_t* panel, std::int32_t* sound);

// What the host gets when the plug-in cannot run its devices: traction off, emergency brake,
// every lamp and sound at rest but the red lamp.
void write_fail_safe_outputs(handles& out, std::int32_t* panel, std::int32_t* sound,
                             std::int32_t emergency_brake);

} // namespace ats
