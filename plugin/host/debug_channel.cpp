// The debug channel: one message per send. Lines a live listener has no room for yet wait in a
// bounded queue and follow in order; a listener that has gone switches the channel off for good.
#include "plugin/host/debug_channel.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "plugin/host/platform.h"

namespace ats::debug {

namespace {
constexpr std::size_t buffer_size = 1024;
// Holds some two thousand lines of a listener that is not scheduled yet; allocated once.
constexpr std::size_t queue_size = 64 * 1024;
// Dispose hands the last lines over for at most this long.
constexpr auto close_wait = std::chrono::milliseconds(50);

// on: lines go out (or wait in the queue); overflowed: the queue was full, new lines are lost
// and counted until it has drained; off: nothing goes out until the next open.
enum class state { off, on, overflowed };

platform::channel_handle handle = platform::null_channel;
state channel_state = state::off;
long lost_lines = 0;
char buffer[buffer_size];

// Waiting messages in arrival order, each a two-byte length and its text, in a ring.
class message_queue {
  public:
    bool empty() const { return used_ == 0; }
    void clear() { head_ = used_ = 0; }

    bool push(const char* data, std::size_t size) {
        if (used_ + 2 + size > queue_size) return false;
        const unsigned char length[2] = {static_cast<unsigned char>(size & 0xFF),
                                         static_cast<unsigned char>(size >> 8)};
        put(reinterpret_cast<const char*>(length), 2);
        put(data, size);
        return true;
    }

    // Copies the oldest message into `out` (at least buffer_size bytes); returns its size.
    std::size_t front(char* out) const {
        unsigned char length[2];
        get(head_, reinterpret_cast<char*>(length), 2);
        const std::size_t size = length[0] | (std::size_t(length[1]) << 8);
        get((head_ + 2) % queue_size, out, size);
        return size;
    }

    void pop(std::size_t size) {
        head_ = (head_ + 2 + size) % queue_size;
        used_ -= 2 + size;
    }

  private:
    void put(const char* data, std::size_t size) {
        std::size_t at = (head_ + used_) % queue_size;
        for (std::size_t i = 0; i < size; ++i, at = (at + 1) % queue_size)
            ring_[at] = data[i];
        used_ += size;
    }
    void get(std::size_t at, char* out, std::size_t size) const {
        for (std::size_t i = 0; i < size; ++i, at = (at + 1) % queue_size)
            out[i] = ring_[at];
    }

    char ring_[queue_size];
    std::size_t head_ = 0;
    std::size_t used_ = 0;
};

message_queue waiting;

void switch_off() {
    channel_state = state::off;
    waiting.clear();
    lost_lines = 0;
}

bool pending() { return channel_state != state::off && (!waiting.empty() || lost_lines > 0); }

// Sends one message; false when it must wait (busy) or the channel went off (gone).
bool send_now(const char* data, std::size_t size) {
    switch (platform::channel_write(handle, data, size)) {
    case platform::channel_result::sent: return true;
    case platform::channel_result::busy: return false;
    case platform::channel_result::gone: break;
    }
    switch_off();
    return false;
}

// Queues a message behind the waiting ones; when it does not fit, the channel overflows.
void queue(const char* data, std::size_t size) {
    if (waiting.push(data, size)) return;
    channel_state = state::overflowed;
    lost_lines = 1;
}

// The queue's own copy buffer: `buffer` may hold the message being sent.
char front_buffer[buffer_size];

} // namespace

void open() {
    // A second Load without a Dispose between would otherwise lose the open handle.
    platform::channel_close(handle);
    handle = platform::channel_open();
    waiting.clear();
    lost_lines = 0;
    channel_state = handle != platform::invalid_channel ? state::on : state::off;
}

void hand_over() {
    while (pending()) {
        if (!waiting.empty()) {
            const std::size_t size = waiting.front(front_buffer);
            if (!send_now(front_buffer, size)) return;
            waiting.pop(size);
            continue;
        }
        // Drained after an overflow: say once how much was lost, then carry on.
        const int length = std::snprintf(front_buffer, sizeof front_buffer,
                                         "talvik > %ld line%s lost: the listener fell behind.\r\n",
                                         lost_lines, lost_lines == 1 ? "" : "s");
        if (!send_now(front_buffer, static_cast<std::size_t>(length))) return;
        lost_lines = 0;
        channel_state = state::on;
    }
}

void close() {
    // The last lines may still be waiting for a listener that is about to read them.
    const auto until = std::chrono::steady_clock::now() + close_wait;
    for (hand_over(); pending(); hand_over()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        platform::channel_wait_for_room(handle, static_cast<int>(left.count()));
    }
    platform::channel_close(handle);
    switch_off();
    handle = platform::null_channel;
}

bool enabled() { return channel_state == state::on; }

int dbg_printf(const char* format, ...) {
    if (channel_state != state::on) {
        if (channel_state == state::overflowed) ++lost_lines;
        return 0;
    }
    std::memset(buffer, 0, sizeof buffer);
    va_list args;
    va_start(args, format);
    // Bounded: an over-long message is cut at the buffer's end, never written past it.
    const int count = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const std::size_t length = std::strlen(buffer);
    // Earlier lines go first; this one waits behind them if they cannot all go now.
    hand_over();
    if (channel_state != state::on) return count;
    if (waiting.empty() && send_now(buffer, length)) return count;
    if (channel_state == state::on) queue(buffer, length);
    return count;
}

} // namespace ats::debug
