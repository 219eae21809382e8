// The few places where the Squirrel API of 2.1.1 and 3.x differ. Everything else in the script
// host uses calls that both releases share, with the same meaning.
#pragma once

#include <squirrel.h>

// 3.x numbers its releases; 2.x only has the version string.
#if defined(SQUIRREL_VERSION_NUMBER) && SQUIRREL_VERSION_NUMBER >= 300
#define TALVIK_SQUIRREL3 1
#else
#define TALVIK_SQUIRREL3 0
#endif

#if defined(SQUNICODE)
// The host passes narrow file names and format strings.
#error "build Squirrel without SQUNICODE"
#endif

namespace ats::sq_compat {

// 2.x has one print function for everything. 3.x adds an error function, and its default error
// handlers print through that one, so both get the same writer.
inline void set_print_functions(HSQUIRRELVM v, SQPRINTFUNCTION print) {
#if TALVIK_SQUIRREL3
    sq_setprintfunc(v, print, print);
#else
    sq_setprintfunc(v, print);
#endif
}

} // namespace ats::sq_compat
