// block!: sort of records whose compared cell is an integer! or a float!, by a radix sort of keys whose
// unsigned order is the numbers' order. It gives the order the comparison sorts give: the stable order under
// /stable, and where equal keys sit in identical cells (the common block of plain numbers) any order of them
// is the same block.

#include <cmath>
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

// integer!: the payload with its sign bit flipped.
struct IntegerKeys {
    using Key = std::uint32_t;
    static constexpr unsigned bits = 32;
    static constexpr Key sign_bit = 0x8000'0000u;

    static bool accepts(Cell const& cell) { return cell::type_of(cell) == type_ids::integer; }
    static Key key_of(Cell const& cell) { return cell.word2 ^ sign_bit; }
    // Whether two cells of equal keys are the same cell.
    static bool same_but_key(Cell const& a, Cell const& b)
    {
        return a.header == b.header && a.word1 == b.word1 && a.word3 == b.word3;
    }
    static void set_key(Cell& cell, Key key) { cell.word2 = key ^ sign_bit; }
};

// float!: the double's bits, negative numbers inverted, positive ones with the sign bit set; -0.0 is 0.0, as
// the compare action has it. NaN, equal to everything there, has no such key.
struct FloatKeys {
    using Key = std::uint64_t;
    static constexpr unsigned bits = 64;
    static constexpr Key sign_bit = Key { 1 } << 63;

    static bool accepts(Cell const& cell)
    {
        return cell::type_of(cell) == type_ids::float_ && !std::isnan(cell::float_payload(cell));
    }
    static Key bits_of(Cell const& cell) { return Key { cell.word3 } << 32 | cell.word2; }
    static Key key_of(Cell const& cell)
    {
        Key const value = bits_of(cell) << 1 == 0 ? 0 : bits_of(cell);
        return value & sign_bit ? ~value : value | sign_bit;
    }
    static bool same_but_key(Cell const& a, Cell const& b)
    {
        return a.header == b.header && a.word1 == b.word1 && bits_of(b) != sign_bit;
    }
    static void set_key(Cell& cell, Key key)
    {
        Key const value = key & sign_bit ? key & ~sign_bit : ~key;
        cell.word2 = static_cast<std::uint32_t>(value);
        cell.word3 = static_cast<std::uint32_t>(value >> 32);
    }
};

template <typename Keys>
bool all_accepted(Cell const* base, std::uint32_t count, std::uint32_t size, std::uint32_t field)
{
    for (std::uint32_t k = 0; k < count; ++k)
        if (!Keys::accepts(base[std::size_t { k } * size + field])) return false;
    return true;
}

// Whether the cells differ in nothing but their key: then a key alone stands for its cell.
template <typename Keys> bool same_but_keys(Cell const* base, std::uint32_t count)
{
    if (!Keys::same_but_key(base[0], base[0])) return false;
    for (std::uint32_t k = 1; k < count; ++k)
        if (!Keys::same_but_key(base[0], base[k])) return false;
    return true;
}

// The keys sorted, then written back into the cells in order (backwards for a descending sort: equal keys
// being equal cells, that is the descending order).
template <typename Keys> bool sort_plain(Cell* base, std::uint32_t count, bool descending)
{
    using Key = typename Keys::Key;
    std::unique_ptr<Key[]> keys(new (std::nothrow) Key[std::size_t { count } * 2]);
    if (!keys) return false;
    std::uint32_t breaks = 0;
    Key previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        Key const key = Keys::key_of(base[k]);
        breaks += key < previous;
        previous = key;
        keys[k] = key;
    }
    if (breaks == 0 && !descending) return true;
    Key const* sorted = sort::radix<Keys::bits>(keys.get(), keys.get() + count, count, [](Key key) { return key; });
    Cell cell = base[0];
    for (std::uint32_t k = 0; k < count; ++k) {
        Keys::set_key(cell, sorted[k]);
        base[descending ? count - 1 - k : k] = cell;
    }
    return true;
}

template <typename Key> struct Tagged {
    Key key;
    std::uint32_t record;
};

// Each record's key with its number, sorted stably, then the records gathered in that order from a copy.
template <typename Keys>
bool sort_stably(Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending)
{
    using Key = typename Keys::Key;
    std::size_t const cells = std::size_t { count } * size;
    std::unique_ptr<Tagged<Key>[]> entries(new (std::nothrow) Tagged<Key>[std::size_t { count } * 2]);
    std::unique_ptr<Cell[]> copy(new (std::nothrow) Cell[cells]);
    if (!entries || !copy) return false;
    std::uint32_t breaks = 0;
    Key previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        Key key = Keys::key_of(base[std::size_t { k } * size + field]);
        if (descending) key = ~key;
        breaks += key < previous;
        previous = key;
        entries[k] = Tagged<Key> { key, k };
    }
    if (breaks == 0) return true; // already in order: a stable sort leaves it as it is
    Tagged<Key> const* sorted = sort::radix<Keys::bits>(
        entries.get(), entries.get() + count, count, [](Tagged<Key> const& entry) { return entry.key; });
    std::memcpy(copy.get(), base, cells * sizeof(Cell));
    std::size_t const record_bytes = std::size_t { size } * sizeof(Cell);
    for (std::uint32_t k = 0; k < count; ++k)
        std::memcpy(
            base + std::size_t { k } * size, copy.get() + std::size_t { sorted[k].record } * size, record_bytes);
    return true;
}

template <typename Keys>
bool sort_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable)
{
    if (count < radix_minimum || !all_accepted<Keys>(base, count, size, field)) return false;
    if (size == 1 && same_but_keys<Keys>(base, count)) return sort_plain<Keys>(base, count, descending);
    if (stable) return sort_stably<Keys>(base, count, size, field, descending);
    return false;
}

}

bool sort_integer_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable)
{
    return sort_records<IntegerKeys>(base, count, size, field, descending, stable);
}

bool sort_float_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable)
{
    return sort_records<FloatKeys>(base, count, size, field, descending, stable);
}

}
