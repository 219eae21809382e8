// The Linux debug channel as a listener sees it: whole lines one per message, silence without a
// listener, off for good when the listener goes, a slow listener served in order, never blocking
// the host, never past its buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "channel_listener.h"
#include "plugin/host/debug_channel.h"
#include "plugin_host.h"
#include "short_session.h"

using namespace talvik_test;
using strings = lines;

namespace {

class DebugChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!isolate_channel_name()) {
            GTEST_SKIP() << "no private network namespace here: the channel name would be "
                            "shared with every other process";
        }
    }
};

std::string signal_line(int aspect) {
    return "talvik > changed signal. signal : " + std::to_string(aspect) + "\r\n";
}

} // namespace

TEST_F(DebugChannel, AListenerReceivesEveryLineOfASessionAsOneMessage) {
    channel_listener listener;
    ASSERT_TRUE(listener.is_open()) << listener.error();
    run_short_session(plugin_library::built().api(), [&] { listener.collect(); });
    EXPECT_EQ(listener.take(), short_session_lines());
}

TEST_F(DebugChannel, WithoutAListenerAtLoadTheRunStaysSilentUntilTheNextLoad) {
    auto& api = plugin_library::built().api();
    api.Load();
    channel_listener listener; // arrives after Load: the channel is already off
    ASSERT_TRUE(listener.is_open()) << listener.error();
    api.Initialize(0);
    api.SetSignal(1);
    api.SetBeaconData(ats::beacon_data{beacon::alarm, 0, 10.0f, 0});
    api.Dispose();
    EXPECT_EQ(listener.take(), strings{});

    api.Load();
    api.Dispose();
    EXPECT_EQ(listener.take(), joined({load_lines, dispose_lines}));
}

TEST_F(DebugChannel, AListenerThatGoesAwaySwitchesTheChannelOffForTheRestOfTheRun) {
    auto listener = std::make_unique<channel_listener>();
    ASSERT_TRUE(listener->is_open()) << listener->error();
    auto& api = plugin_library::built().api();
    api.Load();
    EXPECT_EQ(listener->take(), load_lines);

    listener.reset();
    api.SetSignal(1); // lost, and the channel turns off
    channel_listener newcomer;
    ASSERT_TRUE(newcomer.is_open()) << newcomer.error();
    api.SetSignal(2);
    api.Initialize(0);
    api.Dispose();
    EXPECT_EQ(newcomer.take(), strings{}) << "no reopening and no retry before the next Load";

    api.Load();
    api.SetSignal(4);
    api.Dispose();
    EXPECT_EQ(newcomer.take(), joined({load_lines, {signal_line(4)}, dispose_lines}));
}

// The socket queues only ten datagrams: a listener that is not scheduled at once would
// otherwise lose all but the start of a burst.
TEST_F(DebugChannel, ABurstWhileTheListenerSleepsArrivesCompleteAndInOrder) {
    channel_listener listener;
    ASSERT_TRUE(listener.is_open()) << listener.error();
    strings expected = joined({load_lines, {"talvik > initialized. param : 0\r\n"}});
    {
        cab h;
        constexpr int burst = 300;
        for (int i = 0; i < burst; ++i) {
            h.api.SetSignal(i);
            expected.push_back(signal_line(i));
        }
        // The listener wakes up and reads; every frame hands over what it has made room for.
        for (int frame = 0; frame < 2 * burst && listener.size() < expected.size(); ++frame) {
            listener.collect();
            h.frame();
        }
        h.api.SetSignal(-1);
        expected.push_back(signal_line(-1));
        listener.collect();
    }
    EXPECT_EQ(listener.take(), joined({expected, dispose_lines}));
}

TEST_F(DebugChannel, AnOverflowLosesTheLinesThatDoNotFitAndSaysHowManyOnceDrained) {
    channel_listener listener;
    ASSERT_TRUE(listener.is_open()) << listener.error();
    cab h;
    const strings before = joined({load_lines, {"talvik > initialized. param : 0\r\n"}});
    constexpr int burst = 3000; // some 120 KB of lines: more than the plug-in keeps waiting
    for (int i = 0; i < burst; ++i)
        h.api.SetSignal(i);
    for (int frame = 0; frame < burst && !listener.holds("lines lost"); ++frame) {
        listener.collect();
        h.frame();
    }
    h.api.SetSignal(-1); // the channel is back once the note is out
    strings got = listener.take();

    ASSERT_GE(got.size(), before.size() + 2);
    EXPECT_EQ(got.back(), signal_line(-1));
    const std::string note = got[got.size() - 2];
    long lost = 0;
    ASSERT_EQ(
        std::sscanf(note.c_str(), "talvik > %ld lines lost: the listener fell behind.\r\n", &lost),
        1)
        << note;
    const std::size_t kept = got.size() - 2 - before.size();
    EXPECT_GT(kept, 1000u) << "the waiting lines are handed over, not dropped";
    EXPECT_EQ(static_cast<long>(kept) + lost, burst) << "every line is either kept or counted";
    for (std::size_t i = 0; i < before.size() + kept; ++i) {
        ASSERT_EQ(got[i], i < before.size() ? before[i] : signal_line(int(i - before.size()))) << i;
    }
}

TEST_F(DebugChannel, DisposeHandsOverTheLastLinesButWaitsOnlyBriefly) {
    auto& api = plugin_library::built().api();
    for (const bool reading : {true, false}) {
        SCOPED_TRACE(reading ? "a listener that reads" : "a listener that never reads");
        channel_listener listener;
        ASSERT_TRUE(listener.is_open()) << listener.error();
        api.Load();
        for (int i = 0; i < 12; ++i) // the socket holds ten: five lines wait in the plug-in
            api.SetSignal(i);
        if (reading) listener.collect();
        const auto start = std::chrono::steady_clock::now();
        api.Dispose();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
        if (reading) {
            EXPECT_EQ(listener.take().size(), load_lines.size() + 12 + 2) << "all, in time";
        }
    }
}

TEST_F(DebugChannel, AnOverLongMessageIsCutAtTheBufferNotWrittenPastIt) {
    channel_listener listener;
    ASSERT_TRUE(listener.is_open()) << listener.error();
    ats::debug::open();
    ASSERT_TRUE(ats::debug::enabled());

    const struct {
        std::size_t length;
        std::size_t arrives;
    } cases[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {5000, 1023}};
    for (const auto& c : cases) {
        const std::string text(c.length, 'x');
        EXPECT_EQ(ats::debug::dbg_printf("%s", text.c_str()), static_cast<int>(c.length))
            << "the formatter's count, not the bytes sent";
        EXPECT_EQ(listener.take(), strings{std::string(c.arrives, 'x')}) << c.length;
    }
    ats::debug::close();
    EXPECT_FALSE(ats::debug::enabled());
    EXPECT_EQ(ats::debug::dbg_printf("after close\r\n"), 0);
    EXPECT_EQ(listener.take(), strings{});
}
