// A test listener on the Linux debug channel, in a network namespace of its own: other test
// processes, and an author's talvik-dbgview, share the abstract socket name otherwise.
#pragma once

#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/channel_address_posix.h"

namespace talvik_test {

// Moves this process into a private network namespace, once. False when the system refuses
// both as root and through a user namespace.
inline bool isolate_channel_name() {
    static const bool isolated =
        unshare(CLONE_NEWNET) == 0 || unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
    return isolated;
}

inline sockaddr_un channel_address(socklen_t& length) {
    sockaddr_un addr;
    length = ats::debug_channel_address(addr);
    return addr;
}

// True when something is bound to the channel name (a connect then succeeds).
inline bool channel_has_listener() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    socklen_t length = 0;
    const sockaddr_un addr = channel_address(length);
    const bool bound = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
    close(fd);
    return bound;
}

class channel_listener {
  public:
    channel_listener() {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        socklen_t length = 0;
        const sockaddr_un addr = channel_address(length);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
            error_ = std::strerror(errno);
            close(fd_);
            fd_ = -1;
        }
    }
    ~channel_listener() { stop(); }
    channel_listener(const channel_listener&) = delete;
    channel_listener& operator=(const channel_listener&) = delete;

    bool bound() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    // Moves the queued messages into the listener's log. The socket holds only a few datagrams
    // (ten by default) before sends fail, so a long session is collected as it goes, like a
    // reading listener would.
    channel_listener& collect() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) break;
            log_.emplace_back(buffer, static_cast<std::size_t>(n));
        }
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

    // The listener goes away: the name is free again.
    void stop() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    std::string error_;
    std::vector<std::string> log_;
};

} // namespace talvik_test
