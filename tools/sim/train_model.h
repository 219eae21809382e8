// The train model, and its motion under the handles the plug-in returned.
#pragma once

#include <algorithm>
#include <cstdint>

#include "plugin/host/host_types.h"

namespace sim {

// Speeds in the host's unit (km/h), accelerations in km/h per second.
struct train_model {
    std::int32_t power_notches = 5;
    double accel = 0.6;       // per power notch
    double decel = 0.5;       // per service brake notch
    double emergency = 5.0;   // at the emergency brake position and beyond
    double resistance = 0.05; // constant part of the running resistance
    double drag = 0.00006;    // part that grows with the square of the speed
};

struct train_motion {
    double location = 0.0; // m
    double speed = 0.0;    // km/h, signed: negative runs backward
};

namespace detail {
inline double brake_rate(const train_model& model, std::int32_t emergency_brake,
                         std::int32_t brake) {
    if (brake <= 0) return 0.0;
    if (brake >= emergency_brake) return model.emergency;
    return model.decel * brake;
}
} // namespace detail

// Advances the train by `dt_s` seconds under the handles the host acts on. Only exactly
// rounded arithmetic is used, so every platform computes the same journey. Inline: it runs
// once a frame, in the host loop of every run and sweep.
inline void advance(const train_model& model, std::int32_t emergency_brake,
                    const ats::handles& acting, double dt_s, train_motion& motion) {
    constexpr double kmh_to_ms = 1.0 / 3.6;
    const double v = motion.speed;
    const int direction = acting.reverser > 0 ? 1 : acting.reverser < 0 ? -1 : 0;
    const std::int32_t notch = std::min(acting.power, model.power_notches);
    const double traction = notch > 0 ? model.accel * notch * direction : 0.0;

    // Brakes and resistance act against the motion and never reverse it.
    double next = v + traction * dt_s;
    const double opposing = detail::brake_rate(model, emergency_brake, acting.brake) +
                            model.resistance + model.drag * v * v;
    double magnitude = (next < 0.0 ? -next : next) - opposing * dt_s;
    if (magnitude < 0.0) magnitude = 0.0;
    next = next < 0.0 ? -magnitude : magnitude;

    motion.location += (v + next) * 0.5 * kmh_to_ms * dt_s;
    motion.speed = next;
}

// The host's traction indication: positive while powering, negative while braking a moving
// train, 0 otherwise.
inline float traction_value(const ats::handles& acting, double speed) {
    if (acting.power > 0 && acting.reverser != 0) return static_cast<float>(acting.power);
    if (acting.brake > 0 && speed != 0.0) return -static_cast<float>(acting.brake);
    return 0.0f;
}

} // namespace sim
