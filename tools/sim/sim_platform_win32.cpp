// Operating-system services on Windows: SearchPathA, _popen.
#include <windows.h>

#include <cstdio>

#include "tools/sim/sim_platform.h"

namespace sim::os {

std::string find_program(const char* name) {
    char found[MAX_PATH];
    const DWORD n = SearchPathA(nullptr, name, ".exe", MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(found, n) : std::string();
}

std::FILE* open_pipe_to(const std::string& command) { return _popen(command.c_str(), "w"); }

int close_pipe(std::FILE* pipe) { return _pclose(pipe); }

std::string quote_for_shell(const std::string& path) { return "\"" + path + "\""; }

} // namespace sim::os
