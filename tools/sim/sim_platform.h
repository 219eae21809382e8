// The few operating-system services the simulator needs beyond the host kit, behind one header:
// finding and piping to a program, and what a path names.
#pragma once

#include <cstdio>
#include <string>

namespace sim::os {

// Full path of a program found on the search path; empty when it is not there.
std::string find_program(const char* name);

// A pipe to a command's standard input, as popen(command, "w").
std::FILE* open_pipe_to(const std::string& command);
// Closes the pipe and returns the command's exit status (0 = success).
int close_pipe(std::FILE* pipe);

// A path quoted for the command interpreter.
std::string quote_for_shell(const std::string& path);

enum class path_kind {
    missing,   // nothing there, or nothing the program may look at
    file,      // a regular file
    pipe,      // a named pipe: readable once
    directory, // a directory
    other      // a device, a socket
};
path_kind kind_of(const std::string& path);

// A key that two paths share exactly when they name the same file: the file's identity where it
// exists, otherwise its full name.
std::string file_identity(const std::string& path);

} // namespace sim::os
