// Loading a library, per platform.
#pragma once

#include <string>

namespace hostkit::os {

// False, with `error` saying why, for a file the system loader must not be handed: on Linux one
// that is not a whole shared library for this program's class and machine (the loader maps a
// file cut short and dies reading past its end). On Windows the loader checks for itself.
bool check_library_file(const std::string& path, std::string& error);

// A loaded library; null when the load failed, and `error` then says why.
void* open_library(const std::string& path, std::string& error);
void* find_symbol(void* library, const char* name);
void close_library(void* library);

} // namespace hostkit::os
