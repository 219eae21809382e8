// The cab monitor: date, clock, position, train number, maximum speed, lamps and sounds.
#pragma once

#include <array>
#include <cstdint>

#include "plugin/host/environment.h"
#include "plugin/host/host_types.h"
#include "wiring/wiring.h"

namespace ats {

struct monitor {
    // Marks a position that the next frame takes from the host's location directly.
    static constexpr double position_not_taken = -1000.0;
    // Longer than this, a new traction state is shown.
    static constexpr std::int32_t cont_delay_ms = 1000;
    // Blink phase: lit from 1 to 500 ms, restarted after 1000 ms.
    static constexpr std::int32_t blink_lit_ms = 500;
    static constexpr std::int32_t blink_cycle_ms = 1000;

    std::int32_t month = 0; // 0 with `day` 0: the platform could not tell the date
    std::int32_t day = 0;
    double position = position_not_taken;
    bool one_man = true;
    std::array<std::int32_t, cab::panel::train_number_digits> train_number{{2, 4, 6, 2, 0, 0}};
    std::int32_t max_speed = 100;
    bool stop_station = false;
    bool section = false;
    std::int32_t cont_state = 0;
    std::int32_t cont_ms = 0;
    std::int32_t blink_ms = 0;

    // Starts with the values of `reset`, the date included.
    monitor() { read_date(); }

    void reset() { *this = monitor(); }
    void beacon(const beacon_data& b);
    void elapse(const environment& e, wiring& w);

  private:
    void read_date();
};

} // namespace ats
