// Worker processes on Windows: started with CreateProcess on anonymous pipes, which cannot be
// waited on together; the pipes are looked into in turn, with a short sleep when all are empty
// (each worker holds a few cells ahead, so it never waits for that sleep).
#include "tools/sim/sweep_pool.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <vector>

namespace sim::os {

struct worker_pool::impl {
    struct worker {
        HANDLE process = nullptr;
        HANDLE in = nullptr, out = nullptr; // our ends: its standard input, its standard output
        std::string buffer;
    };
    std::vector<worker> workers;
};

worker_pool::worker_pool() : impl_(std::make_unique<impl>()) {}
worker_pool::~worker_pool() { finish(); }

int worker_pool::size() const { return static_cast<int>(impl_->workers.size()); }

namespace {
std::string last_error_text() { return "error " + std::to_string(GetLastError()); }
} // namespace

bool worker_pool::start(int count, const char* argument, std::string& error) {
    wchar_t self[32768];
    const DWORD n = GetModuleFileNameW(nullptr, self, 32768);
    if (n == 0 || n >= 32768) {
        error = "cannot find this program to start workers";
        return false;
    }
    std::wstring command = L"\"" + std::wstring(self, n) + L"\" ";
    for (const char* c = argument; *c != '\0'; ++c)
        command += static_cast<wchar_t>(*c);
    for (int i = 0; i < count; ++i) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE child_in = nullptr, ours_in = nullptr, ours_out = nullptr, child_out = nullptr;
        if (!CreatePipe(&child_in, &ours_in, &inherit, 1 << 16)) {
            error = "cannot start a worker: " + last_error_text();
            return false;
        }
        if (!CreatePipe(&ours_out, &child_out, &inherit, 1 << 16)) {
            error = "cannot start a worker: " + last_error_text();
            CloseHandle(child_in);
            CloseHandle(ours_in);
            return false;
        }
        SetHandleInformation(ours_in, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(ours_out, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = child_in;
        start.hStdOutput = child_out;
        start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        const BOOL started = CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &start, &info);
        CloseHandle(child_in);
        CloseHandle(child_out);
        if (!started) {
            error = "cannot start a worker: " + last_error_text();
            CloseHandle(ours_in);
            CloseHandle(ours_out);
            return false;
        }
        CloseHandle(info.hThread);
        impl::worker w;
        w.process = info.hProcess;
        w.in = ours_in;
        w.out = ours_out;
        impl_->workers.push_back(std::move(w));
    }
    return true;
}

bool worker_pool::send(int worker, std::string_view text) {
    const HANDLE h = impl_->workers[static_cast<std::size_t>(worker)].in;
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

bool worker_pool::next_line(int& worker, std::string& line) {
    auto& workers = impl_->workers;
    for (;;) {
        bool open = false, read_any = false;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            impl::worker& w = workers[i];
            const std::size_t end = w.buffer.find('\n');
            if (end != std::string::npos) {
                line.assign(w.buffer, 0, end);
                w.buffer.erase(0, end + 1);
                worker = static_cast<int>(i);
                return true;
            }
            if (w.out == nullptr) continue;
            DWORD waiting = 0;
            if (!PeekNamedPipe(w.out, nullptr, 0, nullptr, &waiting, nullptr)) {
                CloseHandle(w.out);
                w.out = nullptr;
                continue;
            }
            open = true;
            if (waiting == 0) continue;
            char piece[65536];
            DWORD got = 0;
            if (!ReadFile(w.out, piece, waiting < sizeof piece ? waiting : sizeof piece, &got,
                          nullptr) ||
                got == 0) {
                CloseHandle(w.out);
                w.out = nullptr;
                continue;
            }
            w.buffer.append(piece, got);
            read_any = true;
        }
        if (!open && !read_any) {
            for (const impl::worker& w : workers) {
                if (w.buffer.find('\n') != std::string::npos) open = true;
            }
            if (!open) return false;
        }
        if (!read_any) Sleep(1);
    }
}

bool worker_pool::finish() {
    bool ok = true;
    for (impl::worker& w : impl_->workers) {
        if (w.in != nullptr) CloseHandle(w.in);
        w.in = nullptr;
    }
    for (impl::worker& w : impl_->workers) {
        if (w.out != nullptr) CloseHandle(w.out);
        w.out = nullptr;
        if (w.process == nullptr) continue;
        WaitForSingleObject(w.process, INFINITE);
        DWORD code = 1;
        ok = ok && GetExitCodeProcess(w.process, &code) && code == 0;
        CloseHandle(w.process);
        w.process = nullptr;
    }
    impl_->workers.clear();
    return ok;
}

int core_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

void binary_stdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace sim::os
