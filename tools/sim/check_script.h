// Checks a pattern script with the plug-in's own script host, before anyone drives with it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace sim {

// Compiles and runs `path` as the plug-in would, checks the three functions and their numeric
// results, and prints the permitted speed for the author's `distances` (a table of its own when
// none are given), with warnings where the curve rises toward the stop point or goes below
// zero. False (with the VM's report once and the reason on stderr) when the script cannot be
// read or breaks the contract.
bool check_script(const std::string& path, std::FILE* out,
                  const std::vector<double>& distances = {});

// The permitted speeds the script at `path` gives for `distances`, each evaluated as on the frame
// after an arming beacon. On failure `permitted` is empty and `error` says why.
struct pattern_curve {
    std::vector<float> permitted;
    std::string error;
};
pattern_curve evaluate_pattern(const std::string& path, const std::vector<double>& distances);

// One pattern check as the plug-in makes it: armed (top-level code, both offsets), then the
// permitted speed at `distance`. `failure` says in plain words which function failed and how
// ("lookup_brake_pattern is missing", "get_brake_pattern_offset returned a string"); `error`
// is the script host's own text. The VM's printing is kept in `report`, not shown.
struct check_figures {
    bool evaluated = false;
    float brake_offset = 0.0f;
    float permitted = 0.0f;
    std::string failure, error, report;
};
check_figures evaluate_check(const std::string& path, double distance);

} // namespace sim
