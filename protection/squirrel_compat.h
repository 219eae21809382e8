// What the script host asks of the Squirrel build it is compiled against.
#pragma once

#include <squirrel.h>

#if !defined(SQUIRREL_VERSION_NUMBER) || SQUIRREL_VERSION_NUMBER < 300
#error "the script host is written for Squirrel 3"
#endif

#if defined(SQUNICODE)
// The host passes narrow file names and format strings.
#error "build Squirrel without SQUNICODE"
#endif

namespace ats::sq_compat {

// The default error handlers print through the error function, so both get the same writer.
inline void set_print_functions(HSQUIRRELVM v, SQPRINTFUNCTION print) {
    sq_setprintfunc(v, print, print);
}

} // namespace ats::sq_compat
