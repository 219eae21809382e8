// The console on Windows: binary standard output; Ctrl+C ends the process, mailslot and all.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/dbgview/console.h"

namespace dbgview {

// The messages carry their own line ends: a text-mode stdout would double the "\r".
void prepare_console() { _setmode(_fileno(stdout), _O_BINARY); }

bool interrupted() { return false; }

} // namespace dbgview
