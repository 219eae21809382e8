// Listener on Linux: binds the abstract-namespace datagram socket named like the mailslot.
#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "plugin/channel_address_posix.h"
#include "tools/dbgview/listener.h"

namespace dbgview {

namespace {

int socket_fd = -1;
volatile sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

// Without SA_RESTART, a signal ends the blocking receive so that the loop can stop cleanly.
void catch_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

listen_result start_listening(std::string& error) {
    catch_interrupts();
    socket_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_fd < 0) {
        error = std::strerror(errno);
        return listen_result::failed;
    }
    sockaddr_un addr;
    const socklen_t addr_len = ats::debug_channel_address(addr);
    if (bind(socket_fd, reinterpret_cast<const sockaddr*>(&addr), addr_len) != 0) {
        const int why = errno;
        close(socket_fd);
        socket_fd = -1;
        if (why == EADDRINUSE) return listen_result::name_taken;
        error = std::strerror(why);
        return listen_result::failed;
    }
    return listen_result::listening;
}

bool next_message(std::string& message, std::string& error) {
    char buffer[65536];
    for (;;) {
        // Once interrupted, what had already arrived is still shown, then the loop ends.
        const ssize_t got = recv(socket_fd, buffer, sizeof buffer, interrupted ? MSG_DONTWAIT : 0);
        if (got >= 0) {
            message.assign(buffer, static_cast<std::size_t>(got));
            return true;
        }
        if (interrupted && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
        if (errno != EINTR) {
            error = std::strerror(errno);
            return false;
        }
    }
}

void stop_listening() {
    if (socket_fd >= 0) close(socket_fd);
    socket_fd = -1;
}

} // namespace dbgview
