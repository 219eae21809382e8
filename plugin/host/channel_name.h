// The name under which a listener receives the plug-in's diagnostic lines.
#pragma once

namespace ats {

// A mailslot on Windows; elsewhere the same bytes name an abstract-namespace datagram socket.
constexpr char debug_channel_name[] = "\\\\.\\mailslot\\QUILLBAR_DBG_PRINTF";

} // namespace ats
