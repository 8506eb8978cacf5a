// The collector's integer map: 32-bit keys to 32-bit values, open addressing with triangular probing and
// a load limit of 0.77, on the tracked heap so that the collector can use it while series move.
// Buckets carry two flag bits: 2 empty, 1 deleted, 0 in use.
#pragma once

#include <cstdint>

namespace xol {

struct IntMapSlot {
    std::uint32_t key;
    std::uint32_t value;
};

struct IntMap {
    std::uint32_t size; // live keys
    std::uint8_t* flags; // 2 bits a bucket, 0xAA bytes when fresh
    IntMapSlot* slots; // one a bucket
    std::uint32_t occupied; // buckets not empty
    std::uint32_t bucket_count; // a power of two, at least 4
    std::uint32_t upper_bound; // occupied buckets that trigger a resize
};

namespace hash {

// The final mix of the 32-bit MurmurHash3.
inline std::uint32_t mix32(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}

}

namespace hashmap {

IntMap* make(std::uint32_t expected); // buckets: the next power of two of max(expected, 4) / 0.77
bool put(IntMap*, std::uint32_t key, std::uint32_t value); // true when the key was present
std::int64_t find(IntMap const*, std::uint32_t key); // the bucket, -1 when absent
std::uint32_t* value_ptr(IntMap*, std::uint32_t key); // nullptr when absent
void remove(IntMap*, std::uint32_t key); // nothing when absent
bool resize(IntMap*, std::uint32_t new_count); // false when memory failed
IntMapSlot* next_live(IntMap*, IntMapSlot* after); // bucket order; nullptr starts, nullptr ends
std::uint32_t size(IntMap const*);
void clear(IntMap*);
void free(IntMap*);

}

}
