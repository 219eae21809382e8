// Long running: ten million frames (46 hours at 60 frames a second) of random driving with
// beacons, alarms and resets, then a check that the outputs are still exactly right; and the
// timers that grow all the time held at their limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "devices/eb.h"
#include "plugin/host/environment.h"
#include "plugin_host.h"
#include "protection/alarm.h"
#include "wiring/wiring.h"

using namespace talvik_test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer);
#else
constexpr bool sanitized = false;
#endif

// Ten million natively; the sanitizer build, some twenty times slower, runs one million.
// TALVIK_SOAK_FRAMES sets another count.
long soak_frames() {
    if (const char* n = std::getenv("TALVIK_SOAK_FRAMES")) return std::atol(n);
    return sanitized ? 1000000 : 10000000;
}

// What the cab monitor was told, to check its digits at the end.
struct monitor_model {
    std::array<std::int32_t, 6> train{{2, 4, 6, 2, 0, 0}};
    std::int32_t max_speed = 100;
    bool one_man = true;
};

} // namespace

TEST(Soak, TenMillionFramesOfRandomDrivingEndWithTheRightOutputs) {
    const long frames = soak_frames();
    RecordProperty("frames", static_cast<int>(frames));
    cab h;
    h.doors_closed(true);
    monitor_model model;
    std::mt19937 rng(20261207);
    const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::array<bool, 4> held{};
    std::int32_t power = 0;
    std::int32_t brake = 0;
    int whole_speed = 0;

    for (long i = 0; i < frames; ++i) {
        // About one event in fifty frames.
        switch (below(1000)) {
        case 0: h.beacon(beacon::alarm, 0, 0.0f, 0); break;
        case 1: h.beacon(beacon::trip, below(2), 0.0f, 0); break; // at aspect 0 only
        case 2: h.beacon(beacon::pattern_check, 0, static_cast<float>(below(1200)), 0); break;
        case 3: h.beacon(beacon::braking_speed_check, 0, 0.0f, below(130) - 5); break;
        case 4: h.beacon(beacon::alarm_speed_check, 0, 0.0f, below(130) - 5); break;
        case 5: {
            const int optional = below(2);
            h.beacon(beacon::crew, 0, 0.0f, optional);
            model.one_man = optional == 0;
            break;
        }
        case 6: {
            const int digit = below(6);
            const int value = below(10);
            h.beacon(beacon::train_number + digit, 0, 0.0f, value);
            model.train[static_cast<std::size_t>(digit)] = value;
            break;
        }
        case 7:
            model.max_speed = below(200);
            h.beacon(beacon::max_speed, 0, 0.0f, model.max_speed);
            break;
        case 8: h.beacon(beacon::stop_station, 0, 0.0f, 0); break;
        case 9: h.beacon(beacon::section, 0, 0.0f, 0); break;
        case 10:
        case 11:
        case 12:
        case 13: {
            const int key = below(4);
            held[static_cast<std::size_t>(key)] ? h.release(key) : h.press(key);
            held[static_cast<std::size_t>(key)] = !held[static_cast<std::size_t>(key)];
            break;
        }
        case 14:
            brake = below(10);
            h.api.SetBrake(brake);
            break;
        case 15:
            power = below(6);
            h.api.SetPower(power);
            break;
        case 16: h.doors_closed(false); break;
        case 17: h.doors_closed(true); break;
        case 18: h.api.HornBlow(below(3)); break;
        case 19:
            whole_speed = below(121);
            h.speed(static_cast<float>(whole_speed));
            break;
        case 20: h.state.traction_value = static_cast<float>(below(3) - 1); break;
        case 21:
            // A new run now and then: about ten in the whole soak.
            if (below(100) == 0) {
                h.api.Initialize(0);
                model = monitor_model{};
            }
            break;
        default: break;
        }
        // 60 frames a second; the location moves in exact binary fractions of a metre, so that
        // the monitor's sum of differences stays the location itself.
        const std::int32_t step = i % 3 == 0 ? 16 : 17;
        h.state.location += whole_speed * step / 4096.0;
        const ats::handles out = h.frame(step);

        bool ok = out.const_speed == 2 && (out.power == 0 || out.power == power) &&
                  (out.brake == brake || out.brake == emergency) &&
                  h.panel[panel::white_lamp] + h.panel[panel::red_lamp] == 1;
        for (const auto& s : ats::cab::sound_layout)
            ok = ok && is_sound_command(h.sound[s.index]);
        if (!ok) FAIL() << "odd outputs at frame " << i;
    }

    // Settle: driver to the emergency position, keys up, standing, doors cycled, then a reset.
    for (int key = 0; key < 4; ++key) {
        if (held[static_cast<std::size_t>(key)]) h.release(key);
    }
    h.api.SetBrake(emergency);
    h.api.SetPower(0);
    h.speed(0.0f);
    h.state.traction_value = 0.0f;
    h.doors_closed(false);
    h.frames(2, 16);
    h.doors_closed(true);
    h.frames(2, 16);
    h.press(key::reset);
    h.frame(16);
    h.release(key::reset);
    h.frames(3, 16);
    EXPECT_EQ(h.out.brake, emergency);
    EXPECT_EQ(h.panel[panel::emergency_brake_lamp], 1);
    // Driving off.
    h.api.SetBrake(0);
    h.api.SetPower(3);
    h.api.SetReverser(1);
    h.state.location = 123456.7;
    h.frames(100, 16);

    EXPECT_EQ(h.out.power, 3);
    EXPECT_EQ(h.out.brake, 0);
    EXPECT_EQ(h.out.reverser, 1);
    // Protection quiet: its up-time, grown over the whole soak, has not wrapped into the
    // power-up test.
    EXPECT_TRUE(h.quiet());
    EXPECT_EQ(h.sound[sound::bell_reverb], unchanged);
    EXPECT_TRUE(h.vigilance_quiet());
    EXPECT_EQ(h.panel[panel::emergency_brake_lamp], 0);
    // The monitor.
    const std::int32_t time_s = h.state.time / 1000;
    EXPECT_EQ(h.panel[panel::minutes], time_s / 60 % 60);
    EXPECT_EQ(h.panel[panel::seconds], time_s % 60);
    EXPECT_EQ((std::array<std::int32_t, 4>{
                  h.panel[panel::position_hundreds], h.panel[panel::position_tens],
                  h.panel[panel::position_units], h.panel[panel::position_tenths]}),
              (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    for (int d = 0; d < panel::train_number_digits; ++d) {
        EXPECT_EQ(h.panel[panel::train_number + d], model.train[static_cast<std::size_t>(d)]);
    }
    EXPECT_EQ(h.panel[panel::max_speed_hundreds], model.max_speed / 100 % 10);
    EXPECT_EQ(h.panel[panel::max_speed_tens], model.max_speed / 10 % 10);
    EXPECT_EQ(h.panel[panel::max_speed_units], model.max_speed % 10);
    EXPECT_EQ(h.panel[panel::one_man_lamp], model.one_man ? 1 : 0);
    EXPECT_EQ(h.panel[panel::stop_station_lamp], 0);
    EXPECT_EQ(h.sound[sound::stop_station], silent);
    EXPECT_EQ(h.sound[sound::section], silent);
    EXPECT_EQ(h.sound[sound::departure], unchanged);
    EXPECT_EQ(h.panel[panel::traction_shown], 0);
    EXPECT_EQ(h.panel[panel::traction_state], 0);
}

// The counts that grow while nothing stops them are held at the int32 limits, both ways.
TEST(Soak, TimersThatGrowAllTheTimeSaturate) {
    constexpr std::int32_t max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t min = std::numeric_limits<std::int32_t>::min();

    ats::ats_s_alarm alarm;
    alarm.uptime_ms = max - 10;
    alarm.start();
    alarm.confirm_ms = max - 5;
    ats::ats_s_alarm::outputs out = alarm.elapse(false, false, false, 33);
    EXPECT_EQ(alarm.uptime_ms, max);
    EXPECT_EQ(alarm.confirm_ms, max);
    EXPECT_TRUE(out.brake);
    out = alarm.elapse(false, false, true, 33);
    EXPECT_EQ(alarm.uptime_ms, max);
    EXPECT_FALSE(out.bell) << "a saturated up-time is not the power-up test";
    alarm.uptime_ms = min + 5;
    alarm.elapse(false, false, false, min);
    EXPECT_EQ(alarm.uptime_ms, min);

    // Braking latched while running on: the warning count keeps growing.
    ats::environment e;
    e.current.abs_speed = 40.0f;
    e.current.emergency_brake = emergency;
    e.current.time = 1033;
    e.previous.time = 1000;
    ats::wiring w;
    w.register_signals();
    w.reset();
    ats::eb vigilance;
    vigilance.idle_ms = max - 1;
    vigilance.alarm_ms = max - 1;
    vigilance.braking = true;
    vigilance.elapse(e, w);
    EXPECT_EQ(vigilance.idle_ms, max);
    EXPECT_EQ(vigilance.alarm_ms, max);
    EXPECT_EQ(w.command.get(ats::sig::brake), emergency);
}
