// Operating-system services on Windows: the module's file name, SearchPathA, _popen.
#include <windows.h>

#include <cstdio>

#include "tools/sim/sim_platform.h"

namespace sim::os {

std::string executable_dir() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string dir(path, n);
    const std::size_t cut = dir.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : dir.substr(0, cut + 1);
}

std::string find_program(const char* name) {
    char found[MAX_PATH];
    const DWORD n = SearchPathA(nullptr, name, ".exe", MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(found, n) : std::string();
}

std::FILE* open_pipe_to(const std::string& command) { return _popen(command.c_str(), "w"); }

int close_pipe(std::FILE* pipe) { return _pclose(pipe); }

std::string quote_for_shell(const std::string& path) { return "\"" + path + "\""; }

} // namespace sim::os
