// The two generic sorts behind the sort actions: a stable natural merge sort and an in-place quick sort.
// Both work on raw memory (`count` records of `width` bytes from `base`) and know nothing of cells or
// characters: a comparator orders two records.
//
// The records must not move while a sort runs. A comparator that may allocate (a user compare function)
// can make the collector move a series buffer; such callers sort a table of positions kept outside the
// series heap and apply the resulting order afterwards.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace xol::sort {

// Negative when `a` orders before `b`, 0 when they are equal, positive when `a` orders after `b`.
// `user1` and `user2` are passed through untouched.
using Comparator = std::int32_t (*)(void const* a, void const* b, void* user1, void* user2);

// Stable: equal records keep their order. Already sorted or reversed data sorts in one pass. Uses a scratch
// buffer of count / 2 records outside the series heap: raises script too-long when its size does not fit
// in 32 bits and internal no-memory when it cannot be had. The comparator may raise; the records are then
// in an unspecified order (none lost or duplicated) and the scratch buffer is released.
void merge(void* base, std::uint32_t count, std::uint32_t width, void* user1, void* user2, Comparator);

// In place, no allocation, not stable. Nearly sorted input is cheap.
void quick(void* base, std::uint32_t count, std::uint32_t width, void* user1, void* user2, Comparator);

// The same sorts over records of `width` bytes (a multiple of 4) ordered by the signed 32-bit key at byte
// `key_offset` of each, ascending or descending: the order a comparator reading that key gives, at the
// cost of an inlined comparison.
void merge_by_key(void* base, std::uint32_t count, std::uint32_t width, std::uint32_t key_offset, bool descending);
void quick_by_key(void* base, std::uint32_t count, std::uint32_t width, std::uint32_t key_offset, bool descending);

// The same over any callable `compare(void const* a, void const* b) -> int`.
template <typename Compare> void merge(void* base, std::uint32_t count, std::uint32_t width, Compare&& compare)
{
    using Callable = std::remove_reference_t<Compare>;
    merge(base, count, width, const_cast<void*>(static_cast<void const*>(&compare)), nullptr,
        [](void const* a, void const* b, void* user, void*) -> std::int32_t {
            return static_cast<std::int32_t>((*static_cast<Callable*>(user))(a, b));
        });
}

template <typename Compare> void quick(void* base, std::uint32_t count, std::uint32_t width, Compare&& compare)
{
    using Callable = std::remove_reference_t<Compare>;
    quick(base, count, width, const_cast<void*>(static_cast<void const*>(&compare)), nullptr,
        [](void const* a, void const* b, void* user, void*) -> std::int32_t {
            return static_cast<std::int32_t>((*static_cast<Callable*>(user))(a, b));
        });
}

}
