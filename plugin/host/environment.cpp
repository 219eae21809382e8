// The environment singleton, its frame copy and its reset for a new run.
#include "plugin/host/environment.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace ats {

namespace {
std::unique_ptr<environment> the_environment;
}

environment& env() {
    if (!the_environment) the_environment = std::make_unique<environment>();
    return *the_environment;
}

void destroy_environment() { the_environment.reset(); }

void environment_block::set_spec(const vehicle_spec& spec) {
    brake_notches = spec.brake_notches;
    spec_aux_4 = spec.spec_aux_4;
    ats_notch = spec.ats_notch;
    spec_aux_12 = spec.spec_aux_12;
    spec_aux_16 = spec.spec_aux_16;
    emergency_brake = emergency_position(brake_notches);
}

void environment_block::set_state(const vehicle_state& state) {
    location = state.location;
    speed = state.speed;
    time = state.time;
    state_aux_16 = state.state_aux_16;
    state_aux_20 = state.state_aux_20;
    state_aux_24 = state.state_aux_24;
    state_aux_28 = state.state_aux_28;
    state_aux_32 = state.state_aux_32;
    traction_value = state.traction_value;
}

void environment_block::reset_frame_values() {
    set_state(vehicle_state{});
    abs_speed = 0.0f;
    doors_closed = false;
}

void environment::begin_frame(const vehicle_state& state) {
    const bool first_frame = previous.time == 0;
    current.set_state(state);
    current.abs_speed = std::fabs(current.speed);
    if (first_frame) previous.time = current.time;
}

void environment::reset() {
    current.reset_frame_values();
    previous.reset_frame_values();
}

void environment::set_module_dir(const char* dir) {
    // Always zero-terminated, however long the path.
    std::strncpy(module_dir, dir, module_dir_size - 1);
    module_dir[module_dir_size - 1] = '\0';
}

} // namespace ats
