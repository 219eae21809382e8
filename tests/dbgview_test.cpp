// talvik-dbgview on Linux: prints what the plug-in sends, stamped or raw, keeps up with a whole
// journey, stops cleanly when interrupted, and says so plainly when another listener holds the
// name.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "channel_listener.h"
#include "plugin_host.h"
#include "sim_process.h"

extern char** environ;

namespace {

// One run of the tool with its standard output and error captured.
class dbgview_process {
  public:
    explicit dbgview_process(std::vector<std::string> args) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        args.insert(args.begin(), TALVIK_DBGVIEW_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~dbgview_process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }
    dbgview_process(const dbgview_process&) = delete;
    dbgview_process& operator=(const dbgview_process&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits up to `limit` for the process to end; its exit status, or -1.
    int wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void interrupt() const { kill(pid_, SIGINT); }

    // Everything written to a stream, once the process has ended.
    std::string out() const { return drain(out_); }
    std::string err() const { return drain(err_); }

  private:
    static std::string drain(int fd) {
        std::string text;
        char buffer[4096];
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, 1000) > 0) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

bool wait_for_listener() {
    for (int i = 0; i < 500; ++i) {
        if (talvik_test::channel_has_listener()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void short_session() {
    talvik_test::host h;
    h.api.Initialize(-1);
    h.api.SetSignal(5);
}

const char* const session_text = "dll attached.\r\n"
                                 "QDX EC510/512 plug-in \"talvik\" \r\n"
                                 "talvik > instance created.\r\n"
                                 "talvik > initialized. param : -1\r\n"
                                 "talvik > changed signal. signal : 5\r\n"
                                 "talvik > bye.\r\n"
                                 "dll detached.\r\n";

class Dbgview : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!talvik_test::isolate_channel_name()) {
            GTEST_SKIP() << "no private network namespace here: the channel name would be "
                            "shared with every other process";
        }
    }
};

} // namespace

TEST_F(Dbgview, RawPrintsExactlyWhatArrivedAndASecondListenerIsTurnedAway) {
    dbgview_process viewer({"--raw"});
    ASSERT_TRUE(viewer.started());
    ASSERT_TRUE(wait_for_listener());
    short_session();

    dbgview_process second({"--raw"});
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.wait(), 1);
    EXPECT_NE(second.err().find("another listener already holds \\\\.\\mailslot\\"
                                "QUILLBAR_DBG_PRINTF"),
              std::string::npos)
        << second.err();

    viewer.interrupt();
    EXPECT_EQ(viewer.wait(), 0) << "an interruption is the normal end";
    EXPECT_EQ(viewer.out(), session_text);
    EXPECT_EQ(viewer.err(), "");
}

TEST_F(Dbgview, EachMessageIsStampedWithTheTimeOfArrival) {
    dbgview_process viewer({});
    ASSERT_TRUE(viewer.started());
    ASSERT_TRUE(wait_for_listener());
    short_session();
    viewer.interrupt();
    EXPECT_EQ(viewer.wait(), 0);

    const std::string out = viewer.out();
    const std::regex stamp("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3} ");
    std::string unstamped;
    std::size_t lines = 0;
    for (std::size_t at = 0; at < out.size(); ++lines) {
        const std::size_t end = out.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << out;
        const std::string line = out.substr(at, end + 2 - at);
        ASSERT_GE(line.size(), 13u);
        EXPECT_TRUE(std::regex_match(line.substr(0, 13), stamp)) << line;
        unstamped += line.substr(13);
        at = end + 2;
    }
    EXPECT_EQ(lines, 7u);
    EXPECT_EQ(unstamped, session_text);
}

// The default journey sends its lines in bursts (Load, Initialize, a signal change and a beacon
// alone are twelve): a listener that is not scheduled at once must still get every one, as
// talvik-sim --debug does, which drains the channel in its own frame loop.
TEST_F(Dbgview, SeesEveryLineOfTheDefaultJourneyAsTalvikSimDebugDoes) {
    dbgview_process viewer({"--raw"});
    ASSERT_TRUE(viewer.started());
    ASSERT_TRUE(wait_for_listener());
    std::string journey;
    ASSERT_EQ(talvik_test::run_sim("--quiet", journey), 0) << journey;
    viewer.interrupt();
    ASSERT_EQ(viewer.wait(), 0);
    std::vector<std::string> received;
    const std::string raw = viewer.out();
    for (std::size_t at = 0, end; (end = raw.find("\r\n", at)) != std::string::npos; at = end + 2)
        received.push_back(raw.substr(at, end - at));

    std::string timeline;
    ASSERT_EQ(talvik_test::run_sim("--debug", timeline), 0) << timeline;
    std::vector<std::string> shown;
    const std::string mark = "~ debug: ";
    for (std::size_t at = 0; (at = timeline.find(mark, at)) != std::string::npos;) {
        const std::size_t end = timeline.find('\n', at);
        shown.push_back(timeline.substr(at + mark.size(), end - at - mark.size()));
        at = end;
    }
    EXPECT_GT(shown.size(), 100u);
    EXPECT_EQ(received, shown);
}

TEST(DbgviewArguments, AnUnknownArgumentIsRefusedWithTheUsage) {
    dbgview_process viewer({"--rwa"});
    ASSERT_TRUE(viewer.started());
    EXPECT_EQ(viewer.wait(), 2);
    EXPECT_NE(viewer.err().find("usage: talvik-dbgview [--raw]"), std::string::npos);
}
