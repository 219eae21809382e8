// The listening end of the debug channel: owns the name while it runs, one message per receive.
#pragma once

#include <string>

namespace dbgview {

enum class listen_result { listening, name_taken, failed };

// Creates the mailslot (Windows) or binds the abstract socket (elsewhere). On failure `error`
// says why.
listen_result start_listening(std::string& error);

// Waits for the next message. False when interrupted or on an error, which `error` then names
// (empty for an interruption).
bool next_message(std::string& message, std::string& error);

void stop_listening();

} // namespace dbgview
