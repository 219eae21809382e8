// The snapshot of everything the host has told the plug-in, this frame and the previous one.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"

namespace ats {

constexpr std::size_t module_dir_size = 260;

// `signal` and the aux fields are kept because the host's records carry them; nothing reads them.
struct environment_block {
    std::int32_t brake_notches = 0;
    std::int32_t spec_aux_4 = 0;
    std::int32_t ats_notch = 0;
    std::int32_t spec_aux_12 = 0;
    std::int32_t spec_aux_16 = 0;
    std::int32_t emergency_brake = 0;
    double location = 0.0;
    float speed = 0.0f;
    std::int32_t time = 0;
    float state_aux_16 = 0.0f;
    float state_aux_20 = 0.0f;
    float state_aux_24 = 0.0f;
    float state_aux_28 = 0.0f;
    float state_aux_32 = 0.0f;
    float traction_value = 0.0f;
    std::int32_t brake_handle = 0;
    std::int32_t power_handle = 0;
    std::int32_t reverser_handle = 0;
    bool doors_closed = false;
    float abs_speed = 0.0f;
    std::int32_t keys = 0;
    std::int32_t signal = 0;

    void set_spec(const vehicle_spec& spec);
    void set_state(const vehicle_state& state);
    // Clears the frame values for a new run; vehicle data, handles, keys and signal survive.
    void reset_frame_values();
};

class environment {
  public:
    environment_block current;
    environment_block previous;
    char module_dir[module_dir_size] = {};

    // Frame copy, first half: the host's state goes into the current block.
    void begin_frame(const vehicle_state& state);
    // Frame copy, second half: the current block becomes the previous one.
    void end_frame() { previous = current; }
    void reset();
    void set_module_dir(const char* dir);
};

// The process-wide environment, created on first use.
environment& env();
// Destroys the environment if it exists.
void destroy_environment();

// Key k is held while bit k of `keys` is set.
constexpr bool key_held(std::int32_t keys, int key) { return (keys & (1 << key)) != 0; }

} // namespace ats
