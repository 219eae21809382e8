// The thin platform layer: module directory, debug channel transport, local date, stdout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ats::platform {

// Directory of the plug-in file with its trailing separator, captured when the library loaded.
const char* module_dir();

// Debug channel transport. A handle is null (0) when closed and `invalid_channel` after a
// failed open.
using channel_handle = std::intptr_t;
constexpr channel_handle null_channel = 0;
constexpr channel_handle invalid_channel = -1;
channel_handle channel_open();
bool channel_write(channel_handle h, const char* data, std::size_t size);
void channel_close(channel_handle h);

// Today's local date; false when the platform cannot tell.
bool local_date(int& month, int& day);

// Writes text to the process's standard output.
void write_stdout(const char* data, std::size_t size);

} // namespace ats::platform
