// Records exchanged with the host simulator: fixed wire layouts, checked at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ats {

struct vehicle_spec {
    std::int32_t brake_notches;
    std::int32_t spec_aux_4;
    std::int32_t ats_notch;
    std::int32_t spec_aux_12;
    std::int32_t spec_aux_16;
};

// The brake notch of the emergency position, one past the service notches. Wraps rather than
// overflows for a host that reports INT32_MAX notches.
constexpr std::int32_t emergency_position(std::int32_t brake_notches) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(brake_notches) + 1u);
}

// The float64 comes first, so the natural layout is the same 40 bytes on every target.
struct vehicle_state {
    double location;
    float speed;
    std::int32_t time;
    float state_aux_16;
    float state_aux_20;
    float state_aux_24;
    float state_aux_28;
    float state_aux_32;
    float traction_value;
};

struct handles {
    std::int32_t brake;
    std::int32_t power;
    std::int32_t reverser;
    std::int32_t const_speed;
};

struct beacon_data {
    std::int32_t type;
    std::int32_t signal;
    float distance;
    std::int32_t optional;
};

static_assert(sizeof(float) == 4 && sizeof(double) == 8, "IEEE single and double expected");

static_assert(sizeof(vehicle_spec) == 20, "vehicle_spec is 20 bytes");
static_assert(offsetof(vehicle_spec, brake_notches) == 0);
static_assert(offsetof(vehicle_spec, spec_aux_4) == 4);
static_assert(offsetof(vehicle_spec, ats_notch) == 8);
static_assert(offsetof(vehicle_spec, spec_aux_12) == 12);
static_assert(offsetof(vehicle_spec, spec_aux_16) == 16);

static_assert(sizeof(vehicle_state) == 40, "vehicle_state is 40 bytes");
static_assert(offsetof(vehicle_state, location) == 0);
static_assert(offsetof(vehicle_state, speed) == 8);
static_assert(offsetof(vehicle_state, time) == 12);
static_assert(offsetof(vehicle_state, state_aux_16) == 16);
static_assert(offsetof(vehicle_state, state_aux_20) == 20);
static_assert(offsetof(vehicle_state, state_aux_24) == 24);
static_assert(offsetof(vehicle_state, state_aux_28) == 28);
static_assert(offsetof(vehicle_state, state_aux_32) == 32);
static_assert(offsetof(vehicle_state, traction_value) == 36);

static_assert(sizeof(handles) == 16, "handles is 16 bytes");
static_assert(offsetof(handles, brake) == 0);
static_assert(offsetof(handles, power) == 4);
static_assert(offsetof(handles, reverser) == 8);
static_assert(offsetof(handles, const_speed) == 12);

static_assert(sizeof(beacon_data) == 16, "beacon_data is 16 bytes");
static_assert(offsetof(beacon_data, type) == 0);
static_assert(offsetof(beacon_data, signal) == 4);
static_assert(offsetof(beacon_data, distance) == 8);
static_assert(offsetof(beacon_data, optional) == 12);

} // namespace ats
