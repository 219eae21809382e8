// Listener on Windows: creates the debug mailslot and reads its messages.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include <vector>

#include "plugin/channel_name.h"
#include "tools/dbgview/listener.h"

namespace dbgview {

namespace {

HANDLE slot = INVALID_HANDLE_VALUE;

std::string describe(DWORD code) {
    char text[256] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text, nullptr) == 0) {
        return "error " + std::to_string(code);
    }
    std::string s(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

listen_result start_listening(std::string& error) {
    slot = CreateMailslotA(ats::debug_channel_name, 0, MAILSLOT_WAIT_FOREVER, nullptr);
    if (slot != INVALID_HANDLE_VALUE) {
        // The messages carry their own line ends: a text-mode stdout would double the "\r".
        _setmode(_fileno(stdout), _O_BINARY);
        return listen_result::listening;
    }
    const DWORD why = GetLastError();
    if (why == ERROR_ALREADY_EXISTS) return listen_result::name_taken;
    error = describe(why);
    return listen_result::failed;
}

bool next_message(std::string& message, std::string& error) {
    // Ctrl+C ends the process while it waits here; the mailslot goes with it.
    static std::vector<char> buffer(4096);
    for (;;) {
        DWORD got = 0;
        if (ReadFile(slot, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            message.assign(buffer.data(), got);
            return true;
        }
        const DWORD why = GetLastError();
        DWORD next = MAILSLOT_NO_MESSAGE;
        if (why == ERROR_INSUFFICIENT_BUFFER &&
            GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr) &&
            next != MAILSLOT_NO_MESSAGE && next > buffer.size()) {
            buffer.resize(next);
            continue;
        }
        error = describe(why);
        return false;
    }
}

void stop_listening() {
    if (slot != INVALID_HANDLE_VALUE) CloseHandle(slot);
    slot = INVALID_HANDLE_VALUE;
}

} // namespace dbgview
