// A point-mass train: traction per power notch, braking per brake notch, running resistance.
#include "tools/sim/train_model.h"

#include <algorithm>

namespace sim {

namespace {
constexpr double kmh_to_ms = 1.0 / 3.6;

double brake_rate(const train_model& model, std::int32_t emergency_brake, std::int32_t brake) {
    if (brake <= 0) return 0.0;
    if (brake >= emergency_brake) return model.emergency;
    return model.decel * brake;
}
} // namespace

void advance(const train_model& model, std::int32_t emergency_brake, const ats::handles& acting,
             double dt_s, train_motion& motion) {
    const double v = motion.speed;
    const int direction = acting.reverser > 0 ? 1 : acting.reverser < 0 ? -1 : 0;
    const std::int32_t notch = std::min(acting.power, model.power_notches);
    const double traction = notch > 0 ? model.accel * notch * direction : 0.0;

    // Brakes and resistance act against the motion and never reverse it.
    double next = v + traction * dt_s;
    const double opposing =
        brake_rate(model, emergency_brake, acting.brake) + model.resistance + model.drag * v * v;
    double magnitude = (next < 0.0 ? -next : next) - opposing * dt_s;
    if (magnitude < 0.0) magnitude = 0.0;
    next = next < 0.0 ? -magnitude : magnitude;

    motion.location += (v + next) * 0.5 * kmh_to_ms * dt_s;
    motion.speed = next;
}

float traction_value(const ats::handles& acting, double speed) {
    if (acting.power > 0 && acting.reverser != 0) return static_cast<float>(acting.power);
    if (acting.brake > 0 && speed != 0.0) return -static_cast<float>(acting.brake);
    return 0.0f;
}

} // namespace sim
