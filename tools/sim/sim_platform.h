// The few operating-system services the simulator needs, behind one header: loading the
// plug-in library, listening on the debug channel, finding and piping to a program.
#pragma once

#include <cstdio>
#include <string>

namespace sim::os {

// File name of the plug-in library on this platform ("libtalvik.so" or "talvik.dll").
const char* library_file_name();

// Directory of the running executable, with a trailing separator; empty when unknown.
std::string executable_dir();

bool file_exists(const std::string& path);

// A loaded library; null when the load failed, and `error` then says why.
void* open_library(const std::string& path, std::string& error);
void* find_symbol(void* library, const char* name);
void close_library(void* library);

// The listening end of the plug-in's debug channel.
class debug_listener {
  public:
    debug_listener() = default;
    ~debug_listener();
    debug_listener(const debug_listener&) = delete;
    debug_listener& operator=(const debug_listener&) = delete;

    // Creates the channel; false with `error` set when it cannot (another listener has it).
    bool open(std::string& error);
    // Takes the next waiting message, without waiting; false when none is waiting.
    bool receive(std::string& message);
    void close();
    bool is_open() const { return handle_ != -1; }

  private:
    long long handle_ = -1;
};

// Full path of a program found on the search path; empty when it is not there.
std::string find_program(const char* name);

// A pipe to a command's standard input, as popen(command, "w").
std::FILE* open_pipe_to(const std::string& command);
// Closes the pipe and returns the command's exit status (0 = success).
int close_pipe(std::FILE* pipe);

// A path quoted for the command interpreter.
std::string quote_for_shell(const std::string& path);

} // namespace sim::os
