// block!: sort of records whose compared cell is an integer!, by a radix sort of the keys. It gives the order
// the comparison sorts give: the stable order under /stable, and where equal keys sit in identical cells
// (the common block of plain integers) any order of them is the same block.

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "datatypes/block_private.h"
#include "runtime/radix_sorting.h"

namespace xol::block::detail {

namespace {

// Below this many records the comparison sorts are as quick and need no buffers.
constexpr std::uint32_t radix_minimum = 64;

// Signed order as unsigned order.
constexpr std::uint32_t sign_bit = 0x8000'0000u;

// Whether the cells differ in nothing but their integer: then a key alone stands for its cell.
bool same_but_payload(Cell const* base, std::uint32_t count)
{
    Cell const first = base[0];
    for (std::uint32_t k = 1; k < count; ++k)
        if (base[k].header != first.header || base[k].word1 != first.word1 || base[k].word3 != first.word3)
            return false;
    return true;
}

// The keys sorted, then written back into the cells in order (backwards for a descending sort: equal keys
// being equal cells, that is the descending order).
bool sort_plain_integers(Cell* base, std::uint32_t count, bool descending)
{
    std::unique_ptr<std::uint32_t[]> keys(new (std::nothrow) std::uint32_t[std::size_t { count } * 2]);
    if (!keys) return false;
    std::uint32_t ascending_breaks = 0;
    std::uint32_t previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t const key = base[k].word2 ^ sign_bit;
        ascending_breaks += key < previous;
        previous = key;
        keys[k] = key;
    }
    if (ascending_breaks == 0 && !descending) return true;
    std::uint32_t const* sorted
        = sort::radix<32>(keys.get(), keys.get() + count, count, [](std::uint32_t key) { return key; });
    Cell cell = base[0];
    for (std::uint32_t k = 0; k < count; ++k) {
        cell.word2 = sorted[k] ^ sign_bit;
        base[descending ? count - 1 - k : k] = cell;
    }
    return true;
}

// Each record's key with its number, sorted stably, then the records gathered in that order from a copy.
bool sort_records_stably(Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending)
{
    std::size_t const cells = std::size_t { count } * size;
    std::unique_ptr<std::uint64_t[]> entries(new (std::nothrow) std::uint64_t[std::size_t { count } * 2]);
    std::unique_ptr<Cell[]> copy(new (std::nothrow) Cell[cells]);
    if (!entries || !copy) return false;
    std::uint32_t const flip = descending ? ~sign_bit : sign_bit;
    std::uint32_t breaks = 0;
    std::uint32_t previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t const key = base[std::size_t { k } * size + field].word2 ^ flip;
        breaks += key < previous;
        previous = key;
        entries[k] = std::uint64_t { key } << 32 | k;
    }
    if (breaks == 0) return true; // already in order: a stable sort leaves it as it is
    std::uint64_t const* sorted = sort::radix<32>(entries.get(), entries.get() + count, count,
        [](std::uint64_t entry) { return static_cast<std::uint32_t>(entry >> 32); });
    std::memcpy(copy.get(), base, cells * sizeof(Cell));
    std::size_t const record_bytes = std::size_t { size } * sizeof(Cell);
    for (std::uint32_t k = 0; k < count; ++k) {
        auto const from = static_cast<std::uint32_t>(sorted[k]);
        std::memcpy(base + std::size_t { k } * size, copy.get() + std::size_t { from } * size, record_bytes);
    }
    return true;
}

}

bool sort_integer_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable)
{
    if (count < radix_minimum) return false;
    if (size == 1 && same_but_payload(base, count)) return sort_plain_integers(base, count, descending);
    if (stable) return sort_records_stably(base, count, size, field, descending);
    return false;
}

}
