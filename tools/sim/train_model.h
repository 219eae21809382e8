// The train model, and its motion under the handles the plug-in returned.
#pragma once

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

// Advances the train by `dt_s` seconds under the handles the host acts on. Only exactly
// rounded arithmetic is used, so every platform computes the same journey.
void advance(const train_model& model, std::int32_t emergency_brake, const ats::handles& acting,
             double dt_s, train_motion& motion);

// The host's traction indication: positive while powering, negative while braking a moving
// train, 0 otherwise.
float traction_value(const ats::handles& acting, double speed);

} // namespace sim
