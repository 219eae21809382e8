// The cab monitor's beacons and its per-frame digits, lamps and sounds.
#include "monitor/monitor.h"

#include <cmath>

#include "plugin/host/platform.h"
#include "plugin/host/timing.h"

namespace ats {

namespace {

// Last digit of trunc(x) for a finite x, with the sign of x. Worked out in floating point
// beyond 2^53 km: a position beyond the integer range still shows its true digits instead of an
// undefined conversion. Below it the integer remainder is the same digit, at a frame's cost.
std::int32_t digit(double x) {
    constexpr double exact = 9007199254740992.0; // 2^53: every integer below is a double
    if (x > -exact && x < exact)
        return static_cast<std::int32_t>(static_cast<std::int64_t>(x) % 10);
    return static_cast<std::int32_t>(std::fmod(std::trunc(x), 10.0));
}

// Traction 1, braking at notch 1 gives 3, braking harder 2, anything else 0.
std::int32_t traction_code(float traction_value, std::int32_t brake) {
    if (traction_value > 0.0f) return 1;
    if (traction_value < 0.0f) {
        if (brake == 1) return 3;
        if (brake > 1) return 2;
    }
    return 0;
}

} // namespace

void monitor::read_date() {
    int m = 0;
    int d = 0;
    if (!platform::local_date(m, d)) m = d = 0; // nothing stale or half-read on the display
    month = m;
    day = d;
}

void monitor::beacon(const beacon_data& b) {
    constexpr std::int32_t first_digit = cab::beacon::train_number;
    if (b.type >= first_digit && b.type < first_digit + cab::panel::train_number_digits) {
        train_number[static_cast<std::size_t>(b.type - first_digit)] = b.optional;
        return;
    }
    switch (b.type) {
    case cab::beacon::crew: one_man = b.optional == 0; break;
    case cab::beacon::max_speed: max_speed = b.optional; break;
    case cab::beacon::stop_station: stop_station = true; break;
    case cab::beacon::section: section = !section; break;
    default: break;
    }
}

void monitor::elapse(const environment& e, wiring& w) {
    const environment_block& now = e.current;
    const environment_block& before = e.previous;
    const std::int32_t dt = counted_step_ms(e);

    // Position follows the host's location by differences. A position that is not a number
    // (a non-finite location reached it) counts as not taken, so the next sound location
    // puts the display right again.
    if (position == position_not_taken || !std::isfinite(position)) {
        position = now.location;
    } else {
        position += now.location - before.location;
    }

    w.panel.at<sig::mon_time_month>() = month;
    w.panel.at<sig::mon_time_day>() = day;

    const std::int32_t seconds = now.time / 1000;
    w.panel.at<sig::mon_time_min>() = seconds / 60 % 60;
    w.panel.at<sig::mon_time_sec>() = seconds % 60;

    if (std::isfinite(position)) {
        const double km = position / 1000.0;
        const std::int32_t hundreds = digit(km / 100.0);
        const std::int32_t tens = digit(km / 10.0);
        w.panel.at<sig::mon_pos_100>() = hundreds == 0 ? cab::blank_digit : hundreds;
        w.panel.at<sig::mon_pos_10>() = hundreds == 0 && tens == 0 ? cab::blank_digit : tens;
        w.panel.at<sig::mon_pos_1>() = digit(km);
        w.panel.at<sig::mon_pos_tenth>() = digit(km * 10.0);
    } else {
        // No position to show: every digit dark.
        w.panel.at<sig::mon_pos_100>() = cab::blank_digit;
        w.panel.at<sig::mon_pos_10>() = cab::blank_digit;
        w.panel.at<sig::mon_pos_1>() = cab::blank_digit;
        w.panel.at<sig::mon_pos_tenth>() = cab::blank_digit;
    }

    // Open doors end the stop and the section before this frame shows them.
    if (!now.doors_closed) {
        stop_station = false;
        section = false;
    }

    // The driver's handle, not a brake some device commands.
    if (now.brake_handle == now.emergency_brake) w.panel.at<sig::emergency_brake_lamp>() = 1;

    if (one_man) {
        w.panel.at<sig::oneman>() = 1;
    } else if (now.doors_closed && !before.doors_closed) {
        w.sound.at<sig::leave>() = cab::sound_cmd::start_once;
    }

    w.panel.at<sig::mon_retsuban_140>() = train_number[0];
    w.panel.at<sig::mon_retsuban_141>() = train_number[1];
    w.panel.at<sig::mon_retsuban_142>() = train_number[2];
    w.panel.at<sig::mon_retsuban_143>() = train_number[3];
    w.panel.at<sig::mon_retsuban_144>() = train_number[4];
    w.panel.at<sig::mon_retsuban_145>() = train_number[5];

    w.panel.at<sig::mon_max_speed_147>() = max_speed / 100 % 10;
    w.panel.at<sig::mon_max_speed_148>() = max_speed / 10 % 10;
    w.panel.at<sig::mon_max_speed_149>() = max_speed % 10;

    if (stop_station) {
        w.sound.at<sig::mon_stop_station_150>() = cab::sound_cmd::playing;
        if (blink_ms > blink_cycle_ms) {
            blink_ms = 0;
        } else if (blink_ms >= 1 && blink_ms <= blink_lit_ms) {
            w.panel.at<sig::mon_stop_station_150>() = 1;
        }
        advance(blink_ms, dt);
    } else {
        blink_ms = 0;
    }

    if (section) w.sound.at<sig::mon_section_160>() = cab::sound_cmd::playing;

    // The count runs on while the computed state wanders among other values; whatever is
    // computed when it passes the delay is shown.
    const std::int32_t q = traction_code(now.traction_value, w.output.at<sig::brake>());
    if (q == cont_state) {
        cont_ms = 0;
    } else {
        advance(cont_ms, dt);
    }
    if (cont_ms > cont_delay_ms) cont_state = q;
    w.panel.at<sig::mon_cont_state>() = cont_state;
}

} // namespace ats
