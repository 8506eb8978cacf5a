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

// Read-write memory, committed, page aligned; nullptr when the OS refuses. `bytes` is rounded up to pages.
void* os_alloc(std::size_t bytes);
bool os_free(void* block, std::size_t bytes);

// Address space only: no access until committed. nullptr when the OS refuses.
void* reserve(std::size_t bytes);
bool commit(void* address, std::size_t bytes); // page-aligned range inside a reservation; zero-filled
bool decommit(void* address, std::size_t bytes); // gives the pages back; the range stays reserved
bool release(void* address, std::size_t bytes); // a whole reservation

// Faults in at once the pages of a committed range that are about to be written anyway: one call instead of
// a fault per page. A hint only: where the OS cannot, the pages fault in one by one as before.
void prefault(void* address, std::size_t bytes);

}
