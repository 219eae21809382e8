// The script VM's memory: every block Squirrel allocates, counted against its ceiling
// (script_limits::memory_bytes).
#pragma once

#include <squirrel.h>

#include <cstddef>

namespace ats::script_memory {

// Thrown by the VM's allocator instead of returning nothing: a request past the ceiling, or
// one the system refuses. Squirrel checks no allocation, so the VM it interrupts cannot be
// trusted again; the script host then abandons it with `release_all`.
struct refused {};

// Bytes Squirrel holds now (its requests, without the allocator's own headers).
std::size_t in_use();

// The VM whose steps pay for allocations: a step per 64 bytes, so that copying and filling
// large data counts as work even where no instruction or native call counts it (a string
// concatenated, an array created or cloned). Null: nothing is charged.
void charge_steps_to(HSQUIRRELVM vm);

// Refuses the `n`-th request from now (1: the next one) as if the system had refused it, once;
// 0 refuses none. Every allocation may fail: the allocation-failure test walks them all.
void refuse_request(std::size_t n);
// Whether the request chosen by `refuse_request` has been refused.
bool request_refused();

// Frees every block at once without running any code of the VM: after a refused request the
// VM's own structures may be half-changed, so they are not walked.
void release_all();

} // namespace ats::script_memory
