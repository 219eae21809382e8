// Checks a pattern script with the plug-in's own script host, before anyone drives with it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace sim {

// Compiles and runs `path` as the plug-in would, checks the three functions and their numeric
// results, and prints the permitted speed for a table of distances. False (with the reason
// printed to stderr) when the script cannot be read or breaks the contract.
bool check_script(const std::string& path, std::FILE* out);

// The permitted speeds the script at `path` gives for `distances`, each evaluated as on the frame
// after an arming beacon. On failure `permitted` is empty and `error` says why.
struct pattern_curve {
    std::vector<float> permitted;
    std::string error;
};
pattern_curve evaluate_pattern(const std::string& path, const std::vector<double>& distances);

} // namespace sim
