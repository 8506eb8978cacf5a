// A least-significant-digit radix sort over unsigned keys: stable, linear in the count, no comparison. The
// block sorts use it where every record's key is a machine number whose order the key's bits can carry.
#pragma once

#include <cstdint>
#include <utility>

namespace xol::sort {

// Orders `count` entries by `key_of(entry)`, an unsigned key of at most `KeyBits` bits, ascending; equal keys
// keep their order. `scratch` has room for `count` entries. Answers where the sorted entries lie: `data` or
// `scratch`, whichever the last pass wrote. A digit that is the same in every key costs no pass.
template <unsigned KeyBits, typename Entry, typename KeyOf>
Entry* radix(Entry* data, Entry* scratch, std::uint32_t count, KeyOf key_of)
{
    constexpr unsigned digit_bits = 11;
    constexpr unsigned digits = (KeyBits + digit_bits - 1) / digit_bits;
    constexpr std::uint32_t buckets = 1u << digit_bits;
    constexpr std::uint32_t mask = buckets - 1;
    if (count < 2) return data;

    // Every digit's histogram in one read of the keys.
    std::uint32_t counts[digits][buckets] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        auto const key = key_of(data[i]);
        for (unsigned d = 0; d < digits; ++d) ++counts[d][(key >> (d * digit_bits)) & mask];
    }

    Entry* from = data;
    Entry* to = scratch;
    for (unsigned d = 0; d < digits; ++d) {
        unsigned const shift = d * digit_bits;
        std::uint32_t* const offsets = counts[d];
        if (offsets[(key_of(from[0]) >> shift) & mask] == count) continue;
        std::uint32_t sum = 0;
        for (std::uint32_t b = 0; b < buckets; ++b) {
            std::uint32_t const here = offsets[b];
            offsets[b] = sum;
            sum += here;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            Entry const entry = from[i];
            to[offsets[(key_of(entry) >> shift) & mask]++] = entry;
        }
        std::swap(from, to);
    }
    return from;
}

}
