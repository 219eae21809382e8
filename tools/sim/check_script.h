// Checks a pattern script with the plug-in's own script host, before anyone drives with it.
#pragma once

#include <cstdio>
#include <string>

namespace sim {

// Compiles and runs `path` as the plug-in would, checks the three functions and their numeric
// results, and prints the permitted speed for a table of distances. False (with the reason
// printed to stderr) when the script cannot be read or breaks the contract.
bool check_script(const std::string& path, std::FILE* out);

} // namespace sim
