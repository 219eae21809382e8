// The host's side on Windows: LoadLibraryA, and the debug channel as the mailslot itself.
#include <windows.h>

#include <vector>

#include "plugin/host/channel_name.h"
#include "plugin/host/module_path_win32.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/os.h"

namespace hostkit {

namespace {

std::string last_error_text(DWORD code = GetLastError()) {
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

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The program's own folder: the library beside it is found even in a folder whose name the ANSI
// code page cannot spell.
const ats::platform::module_directory& here() {
    static const ats::platform::module_directory dir = [] {
        ats::platform::module_directory d;
        d.capture(nullptr);
        return d;
    }();
    return dir;
}

using wide_path = wchar_t[2 * ats::platform::module_directory::path_size];

} // namespace

const char* library_file_name() { return "talvik.dll"; }

std::string program_dir() { return here().ansi; }

bool file_exists(const std::string& path) {
    wide_path full;
    const DWORD attributes = here().widen(path.c_str(), full, sizeof full / sizeof full[0])
                                 ? GetFileAttributesW(full)
                                 : GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace os {

// LoadLibrary refuses a file that is not a whole DLL of this program's width, and says why.
bool check_library_file(const std::string&, std::string&) { return true; }

void* open_library(const std::string& path, std::string& error) {
    wide_path full;
    HMODULE library = here().widen(path.c_str(), full, sizeof full / sizeof full[0])
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

} // namespace os

listen_result debug_listener::open(std::string& error) {
    close();
    // Reads wait; receive() looks first whether a message is there.
    const HANDLE slot = CreateMailslotA(ats::debug_channel_name, 0, MAILSLOT_WAIT_FOREVER, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        if (why == ERROR_ALREADY_EXISTS) {
            error = "another listener has the debug channel";
            return listen_result::name_taken;
        }
        error = last_error_text(why);
        return listen_result::failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(slot);
    return listen_result::listening;
}

bool debug_listener::receive(std::string& message) {
    DWORD next_size = MAILSLOT_NO_MESSAGE;
    if (!is_open() || !GetMailslotInfo(as_handle(handle_), nullptr, &next_size, nullptr, nullptr) ||
        next_size == MAILSLOT_NO_MESSAGE) {
        return false;
    }
    message.assign(next_size, '\0');
    DWORD read = 0;
    if (!ReadFile(as_handle(handle_), message.data(), next_size, &read, nullptr)) return false;
    message.resize(read);
    return true;
}

bool debug_listener::wait(std::string& message, std::string& error) {
    if (!is_open()) {
        error = "the debug channel is not open";
        return false;
    }
    // Ctrl+C ends the process while it waits here; the mailslot goes with it.
    std::vector<char> buffer(4096);
    for (;;) {
        DWORD got = 0;
        if (ReadFile(as_handle(handle_), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                     nullptr)) {
            message.assign(buffer.data(), got);
            return true;
        }
        const DWORD why = GetLastError();
        DWORD next = MAILSLOT_NO_MESSAGE;
        if (why == ERROR_INSUFFICIENT_BUFFER &&
            GetMailslotInfo(as_handle(handle_), nullptr, &next, nullptr, nullptr) &&
            next != MAILSLOT_NO_MESSAGE && next > buffer.size()) {
            buffer.resize(next);
            continue;
        }
        error = last_error_text(why);
        return false;
    }
}

void debug_listener::close() {
    if (is_open()) CloseHandle(as_handle(handle_));
    handle_ = closed;
}

bool channel_has_listener() {
    const HANDLE h = CreateFileA(ats::debug_channel_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

} // namespace hostkit
