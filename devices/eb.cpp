// Vigilance: warn after 60 s of counted running without a driver action, brake 5 s later.
#include "devices/eb.h"

#include "plugin/host/timing.h"

namespace ats {

void eb::elapse(const environment& e, wiring& w) {
    const environment_block& now = e.current;
    const bool moving = !(now.abs_speed < moving_speed);

    // Handles count by parity: a one-notch move is an action, a two-notch move is not.
    const std::int32_t b = now.brake_handle;
    if (b >= 1 && b != now.emergency_brake) {
        if (b % 2 != brake_parity) {
            acknowledge();
            brake_parity = b % 2;
        }
    } else {
        if (b == now.emergency_brake) {
            idle_ms = 0;
            alarm_ms = 0;
            braking = false;
        }
        brake_parity = b % 2;
    }

    const std::int32_t p = now.power_handle;
    if (p % 2 != power_parity) {
        acknowledge();
        power_parity = p % 2;
    }

    // The key acts on its level: held down, it acknowledges every frame.
    if (key_held(now.keys, cab::key::eb_acknowledge)) acknowledge();

    if (moving) {
        const std::int32_t step = counted_step_ms(e);
        advance(idle_ms, step);
        if (idle_ms >= warning_ms) {
            advance(alarm_ms, step);
            w.panel.at<sig::eblp>() = 1;
            w.sound.at<sig::ebbz>() = cab::sound_cmd::playing;
        }
        if (alarm_ms >= braking_ms) braking = true;
    } else {
        idle_ms = 0;
        alarm_ms = 0;
    }

    if (braking) {
        w.command.at<sig::power>() = 0;
        w.command.at<sig::brake>() = now.emergency_brake;
        w.panel.at<sig::eblp>() = 1;
        w.sound.at<sig::ebbz>() = cab::sound_cmd::playing;
    }
}

} // namespace ats
