// Virtual memory from the OS: whole blocks of pages, reserved and committed, and released whole.
// Failures are answered by a value; the memory manager turns them into language errors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::platform {

inline constexpr std::size_t page_size = 4096;

// The address space the process may map (the soft limit an administrator or `ulimit -v` set), in bytes;
// no_address_space_limit when there is none. Reservations count against it whole, touched or not.
inline constexpr std::uint64_t no_address_space_limit = UINT64_MAX;
std::uint64_t address_space_limit();

// Read-write memory, committed, zeroed, page aligned; nullptr when the OS refuses. `bytes` is rounded up to
// pages. os_free keeps freed blocks mapped, up to a limit, and os_alloc hands them back for the same length.
void* os_alloc(std::size_t bytes);
bool os_free(void* block, std::size_t bytes);
// A block from os_alloc made `new_bytes` long with its contents kept: the OS extends it where it lies or
// moves its pages elsewhere, so nothing is copied and the pages already in stay in. The new part is zeroed.
// nullptr when the OS refuses; the block is then unchanged.
void* os_grow(void* block, std::size_t old_bytes, std::size_t new_bytes);

// The bytes of freed blocks kept for reuse, at most `bytes` from now on; the rest goes back to the OS now.
inline constexpr std::size_t default_free_cache_limit = std::size_t { 8 } << 20;
inline constexpr std::size_t free_cache_slots = 64;
void limit_free_cache(std::size_t bytes);
std::size_t free_cache_bytes();

// Address space only: no access until committed. nullptr when the OS refuses.
void* reserve(std::size_t bytes);
bool commit(void* address, std::size_t bytes); // page-aligned range inside a reservation; zero-filled
bool decommit(void* address, std::size_t bytes); // gives the pages back; the range stays reserved
bool release(void* address, std::size_t bytes); // a whole reservation

// Faults in at once the pages of a committed range that are about to be written anyway: one call instead of
// a fault per page. A hint only: where the OS cannot, the pages fault in one by one as before.
void prefault(void* address, std::size_t bytes);

}
