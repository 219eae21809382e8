// The console talvik-dbgview writes to, and the interruption that ends it.
#pragma once

namespace dbgview {

// Messages go to standard output byte for byte; an interruption (Ctrl+C) ends a wait.
void prepare_console();
// True once the user has interrupted.
bool interrupted();

} // namespace dbgview
