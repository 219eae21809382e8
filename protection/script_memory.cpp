// The Squirrel VM's allocator: each block carries a header that links it into one list, so the
// total is exact and an abandoned VM can be freed whole, without touching its structures.
#include "protection/script_memory.h"

#include "protection/script_limits.h"

#include <cstdlib>

namespace ats::script_memory {

namespace {

struct links {
    links* prev;
    links* next;
    std::size_t size; // the request, as counted against the ceiling
};

// A multiple of 16 keeps the payload as aligned as malloc's own result.
constexpr std::size_t header_size = (sizeof(links) + 15) / 16 * 16;

links blocks{&blocks, &blocks, 0}; // the list's head, never a block
std::size_t used = 0;
// The count that pays for allocations: the open VM's, or one that stays 0 (sq_open and sq_close
// allocate too, and no script runs then).
SQInteger no_account = 0;
SQInteger* steps_left = &no_account;

// Requests until one is refused on purpose (0: none), and whether it was.
std::size_t refuse_countdown = 0;
bool refused_on_purpose = false;

bool refused_now() {
    if (refuse_countdown == 0 || --refuse_countdown != 0) return false;
    refused_on_purpose = true;
    return true;
}

// Takes the steps of `bytes` new bytes from the count, down to 0 at most: the next instruction
// then fails. A count already exhausted stays as it is. Most blocks are smaller than a step:
// they cost a shift and a test.
inline void charge(std::size_t bytes) {
    const SQInteger steps = SQ_STEPS_OF_BYTES(bytes);
    if (steps == 0) return;
    const SQInteger left = *steps_left;
    if (left > 0) *steps_left = steps < left ? left - steps : 0;
}

links* header_of(void* payload) {
    return reinterpret_cast<links*>(static_cast<char*>(payload) - header_size);
}

void* payload_of(links* block) { return reinterpret_cast<char*>(block) + header_size; }

void link(links* block, std::size_t size) {
    block->size = size;
    block->prev = &blocks;
    block->next = blocks.next;
    blocks.next->prev = block;
    blocks.next = block;
    used += size;
}

void unlink(links* block) {
    block->prev->next = block->next;
    block->next->prev = block->prev;
    used -= block->size;
}

// Whether `more` bytes still fit under the ceiling.
bool fits(std::size_t more) { return more <= script_limits::memory_bytes - used; }

void* allocate(std::size_t size) {
    if (!fits(size) || refused_now()) throw refused{};
    void* raw = std::malloc(header_size + size);
    if (raw == nullptr) throw refused{};
    links* block = static_cast<links*>(raw);
    link(block, size);
    charge(size);
    return payload_of(block);
}

} // namespace

std::size_t in_use() { return used; }

void charge_steps_to(HSQUIRRELVM vm) {
    steps_left = vm != nullptr ? sq_stepcounter(vm) : &no_account;
}

void refuse_request(std::size_t n) {
    refuse_countdown = n;
    refused_on_purpose = false;
}

bool request_refused() { return refused_on_purpose; }

void release_all() {
    links* block = blocks.next;
    while (block != &blocks) {
        links* next = block->next;
        std::free(block);
        block = next;
    }
    blocks.prev = blocks.next = &blocks;
    used = 0;
}

} // namespace ats::script_memory

using namespace ats::script_memory;

void* sq_vm_malloc(SQUnsignedInteger size) { return allocate(size); }

void* sq_vm_realloc(void* p, SQUnsignedInteger, SQUnsignedInteger size) {
    if (p == nullptr) return allocate(size);
    links* block = header_of(p);
    const std::size_t old_size = block->size;
    if (size > old_size && (!fits(size - old_size) || refused_now())) throw refused{};
    unlink(block);
    void* raw = std::realloc(block, header_size + size);
    if (raw == nullptr) {
        // The old block is untouched. A shrink that fails keeps it: it is large enough, and a
        // shrink may come from a destructor, which must not throw.
        link(block, old_size);
        if (size > old_size) throw refused{};
        return p;
    }
    block = static_cast<links*>(raw);
    link(block, size);
    if (size > old_size) charge(size - old_size);
    return payload_of(block);
}

void sq_vm_free(void* p, SQUnsignedInteger) {
    if (p == nullptr) return;
    links* block = header_of(p);
    unlink(block);
    std::free(block);
}
