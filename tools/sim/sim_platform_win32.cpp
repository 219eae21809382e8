// Operating-system services on Windows: SearchPathA, _popen, file attributes and full names.
#include <windows.h>

#include <cctype>
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

path_kind kind_of(const std::string& path) {
    // Devices (NUL, CON, COM1) have full names in the device namespace.
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n > 4 && n < sizeof full && std::string(full, 4) == "\\\\.\\") return path_kind::other;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return path_kind::missing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return path_kind::directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return path_kind::other;
    return path_kind::file;
}

std::string file_identity(const std::string& path) {
    // Windows names are compared without case; links aside, the full name identifies the file.
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::string name = n > 0 && n < sizeof full ? std::string(full, n) : path;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "name " + name;
}

} // namespace sim::os
