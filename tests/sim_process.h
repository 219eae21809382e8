// Runs the built talvik-sim, against the built library, as a user would.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "plugin_host.h"

namespace talvik_test {

// Runs talvik-sim with `arguments`; returns its exit status and fills `out` with its output.
inline int run_sim(const std::string& arguments, std::string& out) {
    const std::string command = std::string(TALVIK_SIM_PATH) + " --library " +
                                talvik_test::built_library() + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace talvik_test
