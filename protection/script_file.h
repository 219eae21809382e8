// Reading a pattern script as editors save it, and compiling it from memory.
#pragma once

#include <squirrel.h>

#include "protection/script_host.h"

namespace ats {

// Reads the file at `path` and pushes its compiled closure. The bytes reach the compiler as
// they are, except that a UTF-8 byte-order mark is skipped and UTF-16 with its mark (either
// byte order) becomes UTF-8; compiled script code is loaded as it is. On failure nothing is
// pushed, the VM's last error says why and `failure` what kind of failure it is.
SQRESULT load_script_file(HSQUIRRELVM v, const char* path, script_failure& failure);

} // namespace ats
