// Operating-system services on Linux: dlopen, an abstract-namespace datagram socket for the
// debug channel, popen.
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "plugin/channel_address_posix.h"
#include "tools/sim/sim_platform.h"

namespace sim::os {

const char* library_file_name() { return "libtalvik.so"; }

std::string executable_dir() {
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

debug_listener::~debug_listener() { close(); }

bool debug_listener::open(std::string& error) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    sockaddr_un addr;
    const socklen_t addr_len = ats::debug_channel_address(addr);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), addr_len) != 0) {
        error =
            errno == EADDRINUSE ? "another listener has the debug channel" : std::strerror(errno);
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool debug_listener::receive(std::string& message) {
    if (handle_ < 0) return false;
    char buffer[2048];
    const ssize_t n = recv(static_cast<int>(handle_), buffer, sizeof buffer, 0);
    if (n < 0) return false;
    message.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

void debug_listener::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

std::string find_program(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (file_exists(candidate) && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

std::FILE* open_pipe_to(const std::string& command) {
    // A program that quits early must fail the write, not end the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    return popen(command.c_str(), "w");
}

int close_pipe(std::FILE* pipe) {
    const int status = pclose(pipe);
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quote_for_shell(const std::string& path) {
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

} // namespace sim::os
