// The train's motion: speed and position follow the handles the plug-in returned.
#pragma once

#include <cstdint>

#include "plugin/host_types.h"
#include "tools/sim/scenario.h"

namespace sim {

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
