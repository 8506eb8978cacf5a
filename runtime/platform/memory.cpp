// Virtual memory from the OS on Linux: anonymous private mappings, reserved without access and committed by mprotect.

#include "runtime/platform/memory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

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

// Blocks freed by os_free stay mapped here, oldest first, for the next os_alloc they can hold: a
// collector that empties frames and then fills as many again would otherwise fault every page of them in
// anew each cycle. The bytes held never pass the limit, and a request no block fits gives back at least
// as many bytes first, so the pages resident never exceed what they were before the frees.
struct CachedBlock {
    void* block;
    std::size_t length;
};

struct FreeCache {
    std::mutex mutex;
    CachedBlock blocks[free_cache_slots];
    std::size_t count = 0;
    std::size_t bytes = 0;
    std::size_t limit = default_free_cache_limit;
};

FreeCache& free_cache()
{
    static FreeCache cache;
    return cache;
}

// Unmaps the oldest blocks until at most `keep` bytes stay; the caller holds the mutex.
void trim_to(FreeCache& cache, std::size_t keep)
{
    std::size_t dropped = 0;
    while (dropped < cache.count && cache.bytes > keep) {
        munmap(cache.blocks[dropped].block, cache.blocks[dropped].length);
        cache.bytes -= cache.blocks[dropped].length;
        ++dropped;
    }
    if (dropped == 0) return;
    std::memmove(cache.blocks, cache.blocks + dropped, (cache.count - dropped) * sizeof(CachedBlock));
    cache.count -= dropped;
}

// A cached block of `length` bytes, zeroed as a fresh mapping is, or nullptr. The one that fits best is
// taken, and the pages past `length` of a longer one stay cached as a block of their own. When none is long
// enough, the cache gives back at least `length` bytes so that the new mapping takes their place.
void* take_cached(std::size_t length)
{
    FreeCache& cache = free_cache();
    std::lock_guard const lock(cache.mutex);
    std::size_t best = cache.count;
    for (std::size_t i = cache.count; i-- > 0;) {
        std::size_t const candidate = cache.blocks[i].length;
        if (candidate >= length && (best == cache.count || candidate < cache.blocks[best].length)) best = i;
        if (candidate == length) break;
    }
    if (best == cache.count) {
        trim_to(cache, cache.bytes > length ? cache.bytes - length : 0);
        return nullptr;
    }
    CachedBlock& taken = cache.blocks[best];
    void* block = taken.block;
    if (taken.length > length) {
        taken.block = static_cast<std::byte*>(block) + length;
        taken.length -= length;
    } else {
        std::memmove(cache.blocks + best, cache.blocks + best + 1, (cache.count - best - 1) * sizeof(CachedBlock));
        --cache.count;
    }
    cache.bytes -= length;
    std::memset(block, 0, length);
    return block;
}

// The OS may refuse a mapping for lack of the room the cache holds: all of it goes back, and the caller
// asks once more when there was any.
bool empty_cache()
{
    FreeCache& cache = free_cache();
    std::lock_guard const lock(cache.mutex);
    if (cache.bytes == 0) return false;
    trim_to(cache, 0);
    return true;
}

bool keep_cached(void* block, std::size_t length)
{
    FreeCache& cache = free_cache();
    std::lock_guard const lock(cache.mutex);
    if (length > cache.limit) return false;
    trim_to(cache, cache.limit - length);
    if (cache.count == free_cache_slots) trim_to(cache, cache.bytes - cache.blocks[0].length);
    cache.blocks[cache.count++] = { block, length };
    cache.bytes += length;
    return true;
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
    std::size_t const length = round_to_pages(bytes);
    if (length == 0) return nullptr;
    if (void* block = take_cached(length)) return block;
    if (void* block = map_anonymous(length, PROT_READ | PROT_WRITE, 0)) return block;
    if (!empty_cache()) return nullptr;
    return map_anonymous(length, PROT_READ | PROT_WRITE, 0);
}

bool os_free(void* block, std::size_t bytes)
{
    if (block == nullptr) return true;
    std::size_t const length = round_to_pages(bytes);
    if (length == 0) return false;
    if (keep_cached(block, length)) return true;
    return munmap(block, length) == 0;
}

void* os_grow(void* block, std::size_t old_bytes, std::size_t new_bytes)
{
    std::size_t const old_length = round_to_pages(old_bytes);
    std::size_t const new_length = round_to_pages(new_bytes);
    if (block == nullptr || old_length == 0 || new_length < old_length) return nullptr;
    if (new_length == old_length) return block;
    void* grown = mremap(block, old_length, new_length, MREMAP_MAYMOVE);
    return grown == MAP_FAILED ? nullptr : grown;
}

void limit_free_cache(std::size_t bytes)
{
    FreeCache& cache = free_cache();
    std::lock_guard const lock(cache.mutex);
    cache.limit = bytes;
    trim_to(cache, bytes);
}

std::size_t free_cache_bytes()
{
    FreeCache& cache = free_cache();
    std::lock_guard const lock(cache.mutex);
    return cache.bytes;
}

void* reserve(std::size_t bytes)
{
    // MAP_NORESERVE keeps large reservations from counting against the overcommit limit before they are used.
    if (void* block = map_anonymous(bytes, PROT_NONE, MAP_NORESERVE)) return block;
    if (!empty_cache()) return nullptr;
    return map_anonymous(bytes, PROT_NONE, MAP_NORESERVE);
}

bool commit(void* address, std::size_t bytes)
{
    std::size_t length = round_to_pages(bytes);
    if (address == nullptr || length == 0) return false;
    // Pages never touched are zero; pages given back by decommit were dropped with MADV_DONTNEED, so they are too.
    if (mprotect(address, length, PROT_READ | PROT_WRITE) == 0) return true;
    return empty_cache() && mprotect(address, length, PROT_READ | PROT_WRITE) == 0;
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
