// Platform layer for Linux: the channel is an abstract-namespace datagram socket named like the
// mailslot.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/host/channel_address_posix.h"
#include "plugin/host/platform.h"

namespace ats::platform {

namespace {

char captured_dir[260] = {};

void capture_module_dir() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&capture_module_dir), &info) == 0 ||
        info.dli_fname == nullptr) {
        return;
    }
    // dladdr reports the path as given to dlopen: it may be relative or a symbolic link.
    char resolved[PATH_MAX];
    const char* path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return;
    const std::size_t len = static_cast<std::size_t>(slash - path) + 1;
    if (len >= sizeof captured_dir) return; // too long to hold with its terminator: leave empty
    std::memcpy(captured_dir, path, len);
    captured_dir[len] = '\0';
}

// Runs when the library is loaded, like the Windows entry point.
__attribute__((constructor)) void on_library_load() { capture_module_dir(); }

} // namespace

const char* module_dir() { return captured_dir; }

std::FILE* open_for_reading(const char* path) {
    // A regular file only: a FIFO or a terminal in the script's place would block the host's
    // thread, on opening and on reading. Regular files ignore O_NONBLOCK.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}

channel_handle channel_open() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return invalid_channel;
    sockaddr_un addr;
    const socklen_t addr_len = ats::debug_channel_address(addr);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), addr_len) != 0) {
        close(fd);
        return invalid_channel;
    }
    return fd + 1; // keeps 0 free for the null handle
}

channel_result channel_write(channel_handle h, const char* data, std::size_t size) {
    if (h == null_channel || h == invalid_channel) return channel_result::gone;
    // Never block the host's frame: a full queue at the listener says "busy" at once.
    const ssize_t sent = send(static_cast<int>(h - 1), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(size)) return channel_result::sent;
    const bool full = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS);
    return full ? channel_result::busy : channel_result::gone;
}

bool channel_wait_for_room(channel_handle h, int ms) {
    if (h == null_channel || h == invalid_channel) return false;
    // A connected datagram socket polls writable once the listener's queue has room.
    pollfd p{static_cast<int>(h - 1), POLLOUT, 0};
    return poll(&p, 1, ms) > 0 && (p.revents & POLLOUT) != 0;
}

void channel_close(channel_handle h) {
    if (h != null_channel && h != invalid_channel) close(static_cast<int>(h - 1));
}

bool local_date(int& month, int& day) {
    const time_t now = time(nullptr);
    struct tm local {};
    if (now == static_cast<time_t>(-1) || localtime_r(&now, &local) == nullptr) return false;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    return true;
}

void write_stdout(const char* data, std::size_t size) {
    std::fwrite(data, 1, size, stdout);
    std::fflush(stdout);
}

} // namespace ats::platform
