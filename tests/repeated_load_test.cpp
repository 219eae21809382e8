// Load called again without a Dispose between, with a debug listener present: nothing is lost.
#include <gtest/gtest.h>

#include "channel_listener.h"
#include "open_descriptors.h"
#include "plugin_host.h"

TEST(RepeatedLoad, SecondLoadKeepsNoStaleChannelOpen) {
    if (!talvik_test::isolate_channel_name()) GTEST_SKIP() << "no private network namespace";
    talvik_test::channel_listener listener;
    ASSERT_TRUE(listener.is_open()) << listener.error();
    auto& api = talvik_test::plugin_library::built().api();
    const int before = talvik_test::open_descriptors();
    for (int i = 0; i < 5; ++i) {
        api.Load();
        listener.collect();
    }
    api.Dispose();
    EXPECT_EQ(talvik_test::open_descriptors(), before);
}
