// The pattern protection's frame, its beacons and its calls into the pattern script.
#include "protection/signal_pattern.h"

#include <cstdio>
#include <string>

#include "plugin/host/debug_channel.h"
#include "plugin/host/timing.h"

namespace ats {

namespace {

constexpr char script_name[] = "signal_pattern.nut";

std::string script_path(const char* module_dir) {
    // Without its own directory the plug-in would read a script relative to the host's working
    // directory, which may be another train's: better no protection run at all (fail safe).
    if (module_dir[0] == '\0') {
        throw SquirrelError(script_failure::no_directory, "the plug-in's directory is unknown");
    }
    return std::string(module_dir) + script_name;
}

} // namespace

signal_pattern::signal_pattern(const char* module_dir)
    : script(script_path(module_dir).c_str()) {}

void signal_pattern::reset() {
    brake_check_speed = no_check;
    alarm_check_speed = no_check;
    active = true;
    last_bell = cab::sound_cmd::silent;
    brake_latch = script_lost;
    alarm = ats_s_alarm{};
    // check_pending, check_distance and brake_offset stay: a check armed before the reset
    // still runs on the next frame.
}

void signal_pattern::elapse(const environment& e, wiring& w) {
    const float v = e.current.speed; // signed: running backwards never reaches a check speed
    const std::int32_t emergency = e.current.emergency_brake;

    const bool over_pattern = run_check(v);
    brake_latch = brake_latch || over_pattern;

    if (brake_check_speed >= 0.0f) {
        brake_latch = brake_latch || brake_check_speed <= v;
        brake_check_speed = no_check;
    }
    if (alarm_check_speed >= 0.0f) {
        if (alarm_check_speed <= v) alarm.start();
        alarm_check_speed = no_check;
    }

    const bool confirm = w.command.at<sig::atscpb>() != 0;
    const bool release = w.command.at<sig::atswrpb>() != 0;
    const bool reset_pressed = w.command.at<sig::atsresw>() != 0;
    const ats_s_alarm::outputs out =
        alarm.elapse(confirm, release, reset_pressed, counted_step_ms(e));
    brake_latch = brake_latch || out.brake;

    // The latch lets go only to the reset switch with the brake in the emergency position, and
    // never once the script is lost with its VM: no pattern could be checked any more.
    if (w.command.at<sig::atsresw>() == 1 && w.command.at<sig::brake>() == emergency) {
        if (!script_lost) brake_latch = false;
    }

    if (brake_latch) {
        w.command.at<sig::power>() = 0;
        w.command.at<sig::brake>() = emergency;
        w.panel.at<sig::white_lamp>() = 0;
        w.panel.at<sig::red_lamp>() = 1;
        w.sound.at<sig::ats_s_bell>() = cab::sound_cmd::playing;
        w.sound.at<sig::ats_s_chime>() = cab::sound_cmd::playing;
    } else {
        w.panel.at<sig::white_lamp>() = out.white ? 1 : 0;
        w.panel.at<sig::red_lamp>() = out.red ? 1 : 0;
        w.sound.at<sig::ats_s_bell>() = out.bell ? cab::sound_cmd::playing : cab::sound_cmd::silent;
        w.sound.at<sig::ats_s_chime>() =
            out.chime ? cab::sound_cmd::playing : cab::sound_cmd::silent;
    }

    // When the bell stops it rings one frame more and its reverberation starts.
    std::int32_t& bell = w.sound.at<sig::ats_s_bell>();
    const std::int32_t b = bell;
    if (last_bell == cab::sound_cmd::playing && b == cab::sound_cmd::silent) {
        bell = cab::sound_cmd::playing;
        w.sound.at<sig::ats_s_bell_reverb>() = cab::sound_cmd::start_once;
    }
    last_bell = b;
}

void signal_pattern::beacon(const beacon_data& b) {
    if (!active) return;
    switch (b.type) {
    case cab::beacon::alarm:
        if (b.signal == 0) alarm.start();
        break;
    case cab::beacon::trip:
        if (b.signal == 0) alarm.trip();
        break;
    case cab::beacon::pattern_check:
        if (b.signal == 0) arm_check(b.distance);
        break;
    case cab::beacon::braking_speed_check:
        brake_check_speed = static_cast<float>(b.optional);
        break;
    case cab::beacon::alarm_speed_check: alarm_check_speed = static_cast<float>(b.optional); break;
    default: break;
    }
}

bool signal_pattern::run_check(float speed) {
    if (!check_pending) return false;
    try {
        const float pattern = script.permitted_speed(check_distance, brake_offset);
        check_pending = false;
        return pattern <= speed;
    } catch (const SquirrelError& error) {
        fail_safe(error);
        return true;
    }
}

void signal_pattern::arm_check(float distance) {
    // A lost script was reported when it went; the protection brakes until the next Load.
    if (script_lost) {
        brake_latch = true;
        return;
    }
    try {
        brake_offset = script.arm();
        check_distance = distance;
        check_pending = true;
    } catch (const SquirrelError& error) {
        fail_safe(error);
    }
}

void signal_pattern::fail_safe(const SquirrelError& error) {
    brake_latch = true;
    check_pending = false;
    // A script whose memory passed the ceiling is gone with its VM.
    script_lost = !script.live();
    ScriptVM::close_files();
    debug::dbg_printf("talvik > script error: %s\r\n", error.what());
}

} // namespace ats
