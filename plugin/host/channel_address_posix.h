// The debug channel's socket address on POSIX systems: an abstract-namespace datagram socket
// whose name is the mailslot name's bytes. Shared by the plug-in, the listeners and the tests.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>

#include "plugin/host/channel_name.h"

namespace ats {

// Fills `addr` and returns its length: the leading NUL of an abstract name, then the name.
inline socklen_t debug_channel_address(sockaddr_un& addr) {
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    constexpr std::size_t name_len = sizeof debug_channel_name - 1;
    std::memcpy(addr.sun_path + 1, debug_channel_name, name_len);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_len);
}

} // namespace ats
