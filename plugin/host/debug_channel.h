// Diagnostic lines to the debug mailslot; silent when nobody listens.
#pragma once

namespace ats::debug {

// Opens the channel; it is enabled only when a listener exists.
void open();
// Closes the channel and disables it, after handing over what still waits (briefly, bounded).
void close();
// Hands over the lines that had to wait for the listener; the frame calls it. Never blocks.
void hand_over();
bool enabled();

// Formats one message (at most 1023 characters, longer text is cut) and sends it if enabled.
// Returns the formatter's count, or 0 when disabled.
int dbg_printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace ats::debug
