// A test listener on the debug channel, which keeps what it receives until taken. On Linux in a
// network namespace of its own: other test processes, and an author's talvik-dbgview, share the
// abstract socket name otherwise.
#pragma once

#include <string>
#include <vector>

#include "tools/hostkit/hostkit.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace talvik_test {

#if defined(__linux__)
// Moves this process into a private network namespace, once. False when the system refuses
// both as root and through a user namespace.
inline bool isolate_channel_name() {
    static const bool isolated =
        unshare(CLONE_NEWNET) == 0 || unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
    return isolated;
}
#endif

using hostkit::channel_has_listener;

// Listens from construction.
class channel_listener : public hostkit::debug_listener {
  public:
    channel_listener() { open(error_); }

    // Why the listener could not open.
    const std::string& error() const { return error_; }

    // Moves the queued messages into the listener's log. The socket holds only a few datagrams
    // (ten by default) before sends fail, so a long session is collected as it goes, like a
    // reading listener would.
    channel_listener& collect() {
        for (std::string message; receive(message);)
            log_.push_back(message);
        return *this;
    }

    // Messages received so far and not yet taken.
    std::size_t size() const { return log_.size(); }
    // Whether a message received so far and not yet taken contains `text`.
    bool holds(const std::string& text) const {
        for (const std::string& m : log_) {
            if (m.find(text) != std::string::npos) return true;
        }
        return false;
    }

    // Every message received so far, one string per datagram; empties the log. A send completes
    // into the queue before the export returns, so nothing is still on its way.
    std::vector<std::string> take() {
        collect();
        std::vector<std::string> got;
        got.swap(log_);
        return got;
    }

  private:
    std::string error_;
    std::vector<std::string> log_;
};

} // namespace talvik_test
