// Operating-system services on Linux: the search path, popen, stat.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "tools/hostkit/hostkit.h"
#include "tools/sim/sim_platform.h"

namespace sim::os {

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
        if (hostkit::file_exists(candidate) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
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

path_kind kind_of(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return path_kind::missing;
    if (S_ISREG(st.st_mode)) return path_kind::file;
    if (S_ISFIFO(st.st_mode)) return path_kind::pipe;
    if (S_ISDIR(st.st_mode)) return path_kind::directory;
    return path_kind::other;
}

std::string file_identity(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    // Not there yet: its directory's full name and its own.
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char full[PATH_MAX];
    if (realpath(dir.c_str(), full) == nullptr) return "name " + path;
    return "name " + std::string(full) + "/" + name;
}

} // namespace sim::os
