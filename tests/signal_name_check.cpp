// Compiles with a right signal name; with a misspelt one, or one of another bus, it must not.
#include "wiring/wiring.h"

namespace {
[[maybe_unused]] constexpr std::string_view whte_lamp = "whte_lamp";
} // namespace

std::int32_t white_lamp_of(ats::wiring& w) {
#if defined(SIGNAL_NAME_Misspelt)
    return w.panel.at<whte_lamp>();
#elif defined(SIGNAL_NAME_OtherBus)
    return w.panel.at<ats::sig::power>();
#else
    return w.panel.at<ats::sig::white_lamp>();
#endif
}
