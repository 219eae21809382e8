// Operating-system services on Linux: the search path, popen.
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace sim::os
