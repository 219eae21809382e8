// Operating-system services on Windows: LoadLibraryA, a mailslot for the debug channel, _popen.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <io.h>

#include "plugin/channel_name.h"
#include "plugin/module_path_win32.h"
#include "tools/sim/sim_platform.h"

namespace sim::os {

namespace {

std::string last_error_text() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
    std::string message = n > 0 ? std::string(text, n) : "Windows error " + std::to_string(code);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

HANDLE as_handle(long long h) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(h)); }

// talvik-sim's own folder: the library beside it is found even in a folder whose name the ANSI
// code page cannot spell.
ats::platform::module_directory here;

} // namespace

const char* library_file_name() { return "talvik.dll"; }

std::string executable_dir() {
    here.capture(nullptr);
    return here.ansi;
}

bool file_exists(const std::string& path) {
    wchar_t full[2 * ats::platform::module_directory::path_size];
    const DWORD attributes = here.widen(path.c_str(), full, sizeof full / sizeof full[0])
                                 ? GetFileAttributesW(full)
                                 : GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void* open_library(const std::string& path, std::string& error) {
    wchar_t full[2 * ats::platform::module_directory::path_size];
    HMODULE library = here.widen(path.c_str(), full, sizeof full / sizeof full[0])
                          ? LoadLibraryW(full)
                          : LoadLibraryA(path.c_str());
    if (library == nullptr) error = last_error_text();
    return reinterpret_cast<void*>(library);
}

void* find_symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void close_library(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

debug_listener::~debug_listener() { close(); }

bool debug_listener::open(std::string& error) {
    HANDLE slot = CreateMailslotA(ats::debug_channel_name, 0, 0, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        error = GetLastError() == ERROR_ALREADY_EXISTS ? "another listener has the debug channel"
                                                       : last_error_text();
        return false;
    }
    handle_ = static_cast<long long>(reinterpret_cast<INT_PTR>(slot));
    return true;
}

bool debug_listener::receive(std::string& message) {
    if (handle_ == -1) return false;
    DWORD next_size = 0;
    DWORD waiting = 0;
    if (!GetMailslotInfo(as_handle(handle_), nullptr, &next_size, &waiting, nullptr) ||
        next_size == MAILSLOT_NO_MESSAGE) {
        return false;
    }
    message.assign(next_size, '\0');
    DWORD read = 0;
    if (!ReadFile(as_handle(handle_), message.data(), next_size, &read, nullptr)) return false;
    message.resize(read);
    return true;
}

void debug_listener::close() {
    if (handle_ != -1) CloseHandle(as_handle(handle_));
    handle_ = -1;
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
