// Virtual memory from the OS on Linux: anonymous private mappings, reserved without access and committed by mprotect.

#include "runtime/platform/memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <sys/resource.h>

namespace xol::platform {

namespace {

// Whole pages covering `bytes`, or 0 when the rounding would overflow, which every caller treats as a refusal.
std::size_t round_to_pages(std::size_t bytes)
{
    if (bytes > SIZE_MAX - (page_size - 1)) return 0;
    return (bytes + page_size - 1) & ~(page_size - 1);
}

void* map_anonymous(std::size_t bytes, int protection, int extra_flags)
{
    std::size_t length = round_to_pages(bytes);
    if (length == 0) return nullptr;
    void* block = mmap(nullptr, length, protection, MAP_PRIVATE | MAP_ANONYMOUS | extra_flags, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

bool unmap(void* block, std::size_t bytes)
{
    if (block == nullptr) return true;
    std::size_t length = round_to_pages(bytes);
    if (length == 0) return false;
    return munmap(block, length) == 0;
}

}

std::uint64_t address_space_limit()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return no_address_space_limit;
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

void* os_alloc(std::size_t bytes)
{
    return map_anonymous(bytes, PROT_READ | PROT_WRITE, 0);
}

bool os_free(void* block, std::size_t bytes)
{
    return unmap(block, bytes);
}

void* reserve(std::size_t bytes)
{
    // MAP_NORESERVE keeps large reservations from counting against the overcommit limit before they are used.
    return map_anonymous(bytes, PROT_NONE, MAP_NORESERVE);
}

bool commit(void* address, std::size_t bytes)
{
    std::size_t length = round_to_pages(bytes);
    if (address == nullptr || length == 0) return false;
    // Pages never touched are zero; pages given back by decommit were dropped with MADV_DONTNEED, so they are too.
    return mprotect(address, length, PROT_READ | PROT_WRITE) == 0;
}

bool decommit(void* address, std::size_t bytes)
{
    std::size_t length = round_to_pages(bytes);
    if (address == nullptr || length == 0) return false;
    // Dropping the pages frees the physical memory and makes a later commit read zeros; PROT_NONE traps stray use.
    if (madvise(address, length, MADV_DONTNEED) != 0) return false;
    return mprotect(address, length, PROT_NONE) == 0;
}

bool release(void* address, std::size_t bytes)
{
    return unmap(address, bytes);
}

void prefault(void* address, std::size_t bytes)
{
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23; // Linux 5.14
#endif
    std::size_t length = round_to_pages(bytes);
    auto const start = reinterpret_cast<std::uintptr_t>(address);
    if (address == nullptr || length == 0 || start % page_size != 0) return;
    madvise(address, length, MADV_POPULATE_WRITE);
}

}
