// Stand-in for builds without the plug-in's script host.
#include <cstdio>

#include "tools/sim/check_script.h"

namespace sim {

bool check_script(const std::string&, std::FILE*) {
    std::fprintf(stderr, "talvik-sim: --check-script is not available: this build has no script "
                         "host (protection/script_host.cpp)\n");
    return false;
}

pattern_curve evaluate_pattern(const std::string&, const std::vector<double>&) {
    return {{}, "this build has no script host"};
}

} // namespace sim
