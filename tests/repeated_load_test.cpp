// Load called again without a Dispose between, with a debug listener present: nothing is lost.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "plugin_host.h"

namespace {

// A listener on the debug channel's name, as a debug viewer creates it.
class listener {
  public:
    listener() {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        static constexpr char name[] = "\\\\.\\mailslot\\QUILLBAR_DBG_PRINTF";
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + 1, name, sizeof name - 1);
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + sizeof name);
        bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<const sockaddr*>(&addr), len) == 0;
    }
    ~listener() {
        if (fd_ >= 0) close(fd_);
    }
    bool bound() const { return bound_; }

  private:
    int fd_ = -1;
    bool bound_ = false;
};

int open_descriptors() {
    int count = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++count;
        closedir(d);
    }
    return count;
}

} // namespace

TEST(RepeatedLoad, SecondLoadKeepsNoStaleChannelOpen) {
    listener l;
    if (!l.bound()) GTEST_SKIP() << "another process listens on the debug channel";
    auto& api = talvik_test::plugin_library::built().api;
    const int before = open_descriptors();
    for (int i = 0; i < 5; ++i)
        api.Load();
    api.Dispose();
    EXPECT_EQ(open_descriptors(), before);
}
