// The thin platform layer: module directory, reading files, debug channel transport, local
// date, stdout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace ats::platform {

// Directory of the plug-in file with its trailing separator, captured when the library loaded.
const char* module_dir();

// Opens a file for reading bytes; null when it cannot. A file of the plug-in's own directory is
// opened by its full name even where the ANSI code page cannot spell that directory.
std::FILE* open_for_reading(const char* path);

// Debug channel transport. A handle is null (0) when closed and `invalid_channel` after a
// failed open.
using channel_handle = std::intptr_t;
constexpr channel_handle null_channel = 0;
constexpr channel_handle invalid_channel = -1;
channel_handle channel_open();
// `busy`: the listener is there but has no room for the message now (only the Linux stand-in
// says so; a mailslot takes every message of a live listener).
enum class channel_result { sent, busy, gone };
channel_result channel_write(channel_handle h, const char* data, std::size_t size);
// Waits at most `ms` for room at the listener; false when none came.
bool channel_wait_for_room(channel_handle h, int ms);
void channel_close(channel_handle h);

// Today's local date; false when the platform cannot tell.
bool local_date(int& month, int& day);

// Writes text to the process's standard output.
void write_stdout(const char* data, std::size_t size);

} // namespace ats::platform
