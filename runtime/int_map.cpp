// The collector's integer map: open addressing with triangular probing over a power-of-two bucket array.
// Invariant: occupied (in use + deleted buckets) stays below the bucket count, so every probe meets an
// empty bucket; triangular steps over a power of two visit every bucket, so a probe always ends.

#include "runtime/int_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/heap.h"

namespace xol::hashmap {

namespace {

constexpr double load_limit = 0.77;
constexpr std::uint32_t minimum_buckets = 4;

constexpr std::int64_t absent = -1;

// Four buckets share a byte; the smallest table still needs one.
std::size_t flags_bytes(std::uint32_t bucket_count)
{
    return std::max<std::size_t>(bucket_count / 4, 1);
}

std::uint8_t* make_flags(std::uint32_t bucket_count)
{
    std::size_t const bytes = flags_bytes(bucket_count);
    auto* flags = static_cast<std::uint8_t*>(heap::allocate(bytes));
    std::memset(flags, bucket_flags::fresh_byte, bytes);
    return flags;
}

IntMapSlot* make_slots(std::uint32_t bucket_count)
{
    return static_cast<IntMapSlot*>(heap::allocate(std::size_t { bucket_count } * sizeof(IntMapSlot)));
}

std::uint32_t power_of_two_at_least(std::uint64_t count)
{
    XOL_ASSERT(count <= 0x8000'0000u, "integer map too large");
    return std::bit_ceil(static_cast<std::uint32_t>(std::max<std::uint64_t>(count, minimum_buckets)));
}

std::uint32_t first_bucket(std::uint32_t key, std::uint32_t bucket_count)
{
    return hash::mix32(key) & (bucket_count - 1);
}

struct Probe {
    std::int64_t found; // the key's bucket, or absent
    std::uint32_t place; // where a new key goes: the first deleted bucket met, else the empty one
    bool place_was_empty;
};

Probe probe(IntMap const* map, std::uint32_t key)
{
    std::uint32_t const mask = map->bucket_count - 1;
    std::uint32_t bucket = first_bucket(key, map->bucket_count);
    std::int64_t first_deleted = absent;
    for (std::uint32_t step = 1; step <= map->bucket_count; ++step) {
        std::uint32_t const flag = bucket_flags::flag_of(map->flags, bucket);
        if (flag == bucket_flags::empty) {
            if (first_deleted != absent) return { absent, static_cast<std::uint32_t>(first_deleted), false };
            return { absent, bucket, true };
        }
        if (flag == bucket_flags::deleted) {
            if (first_deleted == absent) first_deleted = bucket;
        } else if (map->slots[bucket].key == key) {
            return { bucket, bucket, false };
        }
        bucket = (bucket + step) & mask;
    }
    XOL_ASSERT(first_deleted != absent, "integer map without an empty bucket");
    return { absent, static_cast<std::uint32_t>(first_deleted), false };
}

}

IntMap* make(std::uint32_t expected)
{
    auto const wanted = static_cast<std::uint64_t>(std::max<std::uint32_t>(expected, minimum_buckets) / load_limit);
    std::uint32_t const bucket_count = power_of_two_at_least(wanted);
    auto* map = static_cast<IntMap*>(heap::allocate(sizeof(IntMap)));
    map->size = 0;
    map->occupied = 0;
    map->bucket_count = bucket_count;
    map->upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit);
    map->flags = make_flags(bucket_count);
    map->slots = make_slots(bucket_count);
    return map;
}

bool put(IntMap* map, std::uint32_t key, std::uint32_t value)
{
    if (map->occupied >= map->upper_bound) {
        // Many deleted buckets: rehashing at the same size reclaims them; otherwise the table doubles.
        std::uint32_t const count = map->bucket_count > 2 * map->size ? map->bucket_count - 1 : map->bucket_count + 1;
        resize(map, count);
    }
    Probe const found = probe(map, key);
    if (found.found != absent) {
        map->slots[found.found].value = value;
        return true;
    }
    map->slots[found.place] = { key, value };
    bucket_flags::set_flag(map->flags, found.place, bucket_flags::in_use);
    ++map->size;
    if (found.place_was_empty) ++map->occupied;
    return false;
}

std::int64_t find(IntMap const* map, std::uint32_t key)
{
    return probe(map, key).found;
}

std::uint32_t* value_ptr(IntMap* map, std::uint32_t key)
{
    std::int64_t const bucket = find(map, key);
    return bucket == absent ? nullptr : &map->slots[bucket].value;
}

void remove(IntMap* map, std::uint32_t key)
{
    std::int64_t const bucket = find(map, key);
    if (bucket == absent) return;
    // The bucket stays occupied: probes for other keys may pass through it.
    bucket_flags::set_flag(map->flags, static_cast<std::uint32_t>(bucket), bucket_flags::deleted);
    --map->size;
}

bool resize(IntMap* map, std::uint32_t new_count)
{
    std::uint32_t const bucket_count = power_of_two_at_least(new_count);
    auto const upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit + 0.5);
    if (map->size >= upper_bound) return true;

    std::uint8_t* flags = make_flags(bucket_count);
    IntMapSlot* slots = make_slots(bucket_count);
    std::uint32_t const mask = bucket_count - 1;
    for (std::uint32_t old_bucket = 0; old_bucket < map->bucket_count; ++old_bucket) {
        if (bucket_flags::flag_of(map->flags, old_bucket) != bucket_flags::in_use) continue;
        IntMapSlot const pair = map->slots[old_bucket];
        // Keys are distinct and the new table holds no deleted buckets: the first empty bucket is the place.
        std::uint32_t bucket = first_bucket(pair.key, bucket_count);
        for (std::uint32_t step = 1; bucket_flags::flag_of(flags, bucket) != bucket_flags::empty; ++step)
            bucket = (bucket + step) & mask;
        slots[bucket] = pair;
        bucket_flags::set_flag(flags, bucket, bucket_flags::in_use);
    }
    heap::free(map->flags);
    heap::free(map->slots);
    map->flags = flags;
    map->slots = slots;
    map->bucket_count = bucket_count;
    map->upper_bound = upper_bound;
    map->occupied = map->size;
    // The tracked heap ends the process when memory runs out, so a resize that returns has succeeded.
    return true;
}

IntMapSlot* next_live(IntMap* map, IntMapSlot* after)
{
    std::uint32_t bucket = after ? static_cast<std::uint32_t>(after - map->slots) + 1 : 0;
    for (; bucket < map->bucket_count; ++bucket)
        if (bucket_flags::flag_of(map->flags, bucket) == bucket_flags::in_use) return &map->slots[bucket];
    return nullptr;
}

std::uint32_t size(IntMap const* map)
{
    return map->size;
}

void clear(IntMap* map)
{
    std::memset(map->flags, bucket_flags::fresh_byte, flags_bytes(map->bucket_count));
    map->size = 0;
    map->occupied = 0;
}

void free(IntMap* map)
{
    if (!map) return;
    heap::free(map->flags);
    heap::free(map->slots);
    heap::free(map);
}

}
