// The debug channel: one message per send, switched off for good by a failed write.
#include "plugin/debug_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "plugin/platform.h"

namespace ats::debug {

namespace {
constexpr std::size_t buffer_size = 1024;
platform::channel_handle handle = platform::null_channel;
bool is_enabled = false;
char buffer[buffer_size];
} // namespace

void open() {
    // A second Load without a Dispose between would otherwise lose the open handle.
    platform::channel_close(handle);
    handle = platform::channel_open();
    is_enabled = handle != platform::invalid_channel;
}

void close() {
    platform::channel_close(handle);
    is_enabled = false;
    handle = platform::null_channel;
}

bool enabled() { return is_enabled; }

int dbg_printf(const char* format, ...) {
    if (!is_enabled) return 0;
    std::memset(buffer, 0, sizeof buffer);
    va_list args;
    va_start(args, format);
    // Bounded: an over-long message is cut at the buffer's end, never written past it.
    const int count = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const std::size_t length = std::strlen(buffer);
    is_enabled = platform::channel_write(handle, buffer, length);
    return count;
}

} // namespace ats::debug
