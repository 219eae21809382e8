// Platform layer for Windows: the entry point records the plug-in's directory; the channel is
// the debug mailslot.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "plugin/channel_name.h"
#include "plugin/platform.h"

namespace ats::platform {

namespace {

constexpr DWORD path_size = 260;
char captured_dir[path_size] = {};

// Keeps the drive and directory of the module's file, the directory with its trailing
// backslash, as _splitpath splits them.
void capture_module_dir(HMODULE module) {
    char path[path_size];
    const DWORD length = GetModuleFileNameA(module, path, path_size);
    // A path cut at the buffer's end names some ancestor directory: keep nothing rather than that.
    if (length == 0 || length >= path_size) {
        captured_dir[0] = '\0';
        return;
    }
    std::size_t keep = (length >= 2 && path[1] == ':') ? 2 : 0;
    for (DWORD i = 0; i < length; ++i) {
        // In a double-byte code page a second byte may equal '\\' without being a separator.
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length) {
            ++i;
        } else if (path[i] == '\\' || path[i] == '/') {
            keep = i + 1;
        }
    }
    std::memcpy(captured_dir, path, keep);
    captured_dir[keep] = '\0';
}

} // namespace

const char* module_dir() { return captured_dir; }

channel_handle channel_open() {
    const HANDLE h = CreateFileA(debug_channel_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // INVALID_HANDLE_VALUE is -1, the layer's `invalid_channel`.
    static_assert(sizeof(HANDLE) == sizeof(channel_handle));
    return reinterpret_cast<channel_handle>(h);
}

bool channel_write(channel_handle h, const char* data, std::size_t size) {
    if (h == null_channel || h == invalid_channel) return false;
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(h), data, static_cast<DWORD>(size), &written,
                     nullptr) != FALSE;
}

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
        ats::platform::capture_module_dir(instance);
    }
    return TRUE;
}
