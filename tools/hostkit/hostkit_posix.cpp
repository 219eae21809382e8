// The host's side on Linux: dlopen, and the debug channel as an abstract-namespace datagram
// socket named like the mailslot.
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>

#include "plugin/host/channel_address_posix.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/os.h"

namespace hostkit {

const char* library_file_name() { return "libtalvik.so"; }

std::string program_dir() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? std::string()
                            : std::string(path, static_cast<std::size_t>(slash + 1 - path));
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace os {

void* open_library(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name: a file here is meant instead.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "cannot load the library";
    }
    return library;
}

void* find_symbol(void* library, const char* name) { return dlsym(library, name); }

void close_library(void* library) {
    if (library != nullptr) dlclose(library);
}

} // namespace os

listen_result debug_listener::open(std::string& error) {
    close();
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return listen_result::failed;
    }
    sockaddr_un addr;
    const socklen_t length = ats::debug_channel_address(addr);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        const int why = errno;
        ::close(fd);
        if (why == EADDRINUSE) {
            error = "another listener has the debug channel";
            return listen_result::name_taken;
        }
        error = std::strerror(why);
        return listen_result::failed;
    }
    handle_ = fd;
    return listen_result::listening;
}

namespace {

// One datagram into `message`; recv's result.
ssize_t take_one(int fd, std::string& message, int flags) {
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, flags);
    if (n >= 0) message.assign(buffer, static_cast<std::size_t>(n));
    return n;
}

} // namespace

bool debug_listener::receive(std::string& message) {
    return is_open() && take_one(static_cast<int>(handle_), message, MSG_DONTWAIT) >= 0;
}

bool debug_listener::wait(std::string& message, std::string& error) {
    if (!is_open()) {
        error = "the debug channel is not open";
        return false;
    }
    if (take_one(static_cast<int>(handle_), message, 0) >= 0) return true;
    if (errno != EINTR) error = std::strerror(errno);
    return false;
}

void debug_listener::close() {
    if (is_open()) ::close(static_cast<int>(handle_));
    handle_ = closed;
}

bool channel_has_listener() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr;
    const socklen_t length = ats::debug_channel_address(addr);
    const bool bound = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
    ::close(fd);
    return bound;
}

} // namespace hostkit
