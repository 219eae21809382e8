// Worker processes on POSIX systems: spawned from /proc/self/exe, read with poll().
#include "tools/sim/sweep_pool.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

extern char** environ;

namespace sim::os {

struct worker_pool::impl {
    struct worker {
        pid_t pid = -1;
        int in = -1, out = -1; // our ends: its standard input, its standard output
        std::string buffer;
    };
    std::vector<worker> workers;
};

worker_pool::worker_pool() : impl_(std::make_unique<impl>()) {}
worker_pool::~worker_pool() { finish(); }

int worker_pool::size() const { return static_cast<int>(impl_->workers.size()); }

bool worker_pool::start(int count, const char* argument, std::string& error) {
    // A worker that dies must not end us with SIGPIPE: a failed write says so.
    signal(SIGPIPE, SIG_IGN);
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        error = "cannot find this program to start workers";
        return false;
    }
    self[n] = '\0';
    for (int i = 0; i < count; ++i) {
        int to_child[2], from_child[2];
        if (pipe(to_child) != 0) {
            error = std::string("cannot start a worker: ") + std::strerror(errno);
            return false;
        }
        if (pipe(from_child) != 0) {
            error = std::string("cannot start a worker: ") + std::strerror(errno);
            close(to_child[0]);
            close(to_child[1]);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
        // The other workers' pipe ends stay ours: each worker sees only its own.
        for (const impl::worker& w : impl_->workers) {
            posix_spawn_file_actions_addclose(&actions, w.in);
            posix_spawn_file_actions_addclose(&actions, w.out);
        }
        for (const int fd : {to_child[0], to_child[1], from_child[0], from_child[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        char* argv[] = {self, const_cast<char*>(argument), nullptr};
        impl::worker w;
        const int failed = posix_spawn(&w.pid, self, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(to_child[0]);
        close(from_child[1]);
        w.in = to_child[1];
        w.out = from_child[0];
        if (failed != 0) {
            close(w.in);
            close(w.out);
            error = std::string("cannot start a worker: ") + std::strerror(failed);
            return false;
        }
        impl_->workers.push_back(std::move(w));
    }
    return true;
}

bool worker_pool::send(int worker, std::string_view text) {
    const int fd = impl_->workers[static_cast<std::size_t>(worker)].in;
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool worker_pool::next_line(int& worker, std::string& line) {
    auto& workers = impl_->workers;
    for (;;) {
        for (std::size_t i = 0; i < workers.size(); ++i) {
            std::string& b = workers[i].buffer;
            const std::size_t end = b.find('\n');
            if (end == std::string::npos) continue;
            line.assign(b, 0, end);
            b.erase(0, end + 1);
            worker = static_cast<int>(i);
            return true;
        }
        std::vector<pollfd> fds;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            if (workers[i].out < 0) continue;
            fds.push_back({workers[i].out, POLLIN, 0});
            which.push_back(i);
        }
        if (fds.empty()) return false;
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].revents == 0) continue;
            impl::worker& w = workers[which[k]];
            char piece[65536];
            const ssize_t n = read(w.out, piece, sizeof piece);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(w.out);
                w.out = -1;
                continue;
            }
            w.buffer.append(piece, static_cast<std::size_t>(n));
        }
    }
}

bool worker_pool::finish() {
    bool ok = true;
    for (impl::worker& w : impl_->workers) {
        if (w.in >= 0) close(w.in);
        w.in = -1;
    }
    for (impl::worker& w : impl_->workers) {
        if (w.out >= 0) close(w.out);
        w.out = -1;
        if (w.pid <= 0) continue;
        int status = 0;
        while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        w.pid = -1;
    }
    impl_->workers.clear();
    return ok;
}

int core_count() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool stderr_is_terminal() { return isatty(2) != 0; }

void binary_stdio() {}

} // namespace sim::os
