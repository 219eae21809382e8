// Platform layer for Windows: the entry point records the plug-in's directory (and its full name
// where the ANSI code page cannot spell it); the channel is the debug mailslot.
#include <windows.h>

#include <cstdio>
#include <ctime>

#include "plugin/host/channel_name.h"
#include "plugin/host/module_path_win32.h"
#include "plugin/host/platform.h"

namespace ats::platform {

namespace {
module_directory captured;
} // namespace

const char* module_dir() { return captured.ansi; }

std::FILE* open_for_reading(const char* path) {
    // Linked into a program (talvik-sim) rather than the plug-in, no entry point recorded the
    // directory: the program's own, where it keeps the script, then stands in for it.
    if (captured.ansi[0] == '\0') {
        HMODULE self = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&captured), &self)) {
            captured.capture(self);
        }
    }
    wchar_t full[2 * module_directory::path_size];
    if (captured.widen(path, full, sizeof full / sizeof full[0])) return _wfopen(full, L"rb");
    return std::fopen(path, "rb");
}

channel_handle channel_open() {
    const HANDLE h = CreateFileA(debug_channel_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // INVALID_HANDLE_VALUE is -1, the layer's `invalid_channel`.
    static_assert(sizeof(HANDLE) == sizeof(channel_handle));
    return reinterpret_cast<channel_handle>(h);
}

channel_result channel_write(channel_handle h, const char* data, std::size_t size) {
    if (h == null_channel || h == invalid_channel) return channel_result::gone;
    DWORD written = 0;
    // A mailslot takes every message while its listener lives: a failed write means it has gone.
    return WriteFile(reinterpret_cast<HANDLE>(h), data, static_cast<DWORD>(size), &written,
                     nullptr) != FALSE
               ? channel_result::sent
               : channel_result::gone;
}

bool channel_wait_for_room(channel_handle, int) { return false; }

void channel_close(channel_handle h) {
    if (h != null_channel && h != invalid_channel) CloseHandle(reinterpret_cast<HANDLE>(h));
}

bool local_date(int& month, int& day) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_s(&local, &now) != 0) return false;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    return true;
}

void write_stdout(const char* data, std::size_t size) {
    std::fwrite(data, 1, size, stdout);
    std::fflush(stdout);
}

} // namespace ats::platform

// Records the directory on process and thread attach, and does nothing else.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_THREAD_ATTACH) {
        ats::platform::captured.capture(instance);
    }
    return TRUE;
}
