// Loading a library, per platform.
#pragma once

#include <string>

namespace hostkit::os {

// A loaded library; null when the load failed, and `error` then says why.
void* open_library(const std::string& path, std::string& error);
void* find_symbol(void* library, const char* name);
void close_library(void* library);

} // namespace hostkit::os
