// binary!: the byte layer: reading and writing bytes, the makers, the byte of a poked value, and the
// byte-wise comparison.

#include "datatypes/binary.h"

#include <algorithm>
#include <cstring>

#include "datatypes/binary_private.h"
#include "datatypes/bitset.h"
#include "datatypes/compare.h"
#include "datatypes/integer.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::binary {

namespace detail {

SeriesBuffer* reserve(NodeId id, std::uint64_t extra)
{
    SeriesBuffer* buffer = node::buffer(id);
    std::uint64_t const needed = std::uint64_t { buffer->tail - buffer->head } + extra;
    if (needed > memory::max_capacity) fire_error(err::internal::no_memory);
    if (buffer->tail + extra <= buffer->capacity) return buffer;
    std::uint64_t const doubled = std::uint64_t { buffer->capacity } * 2;
    return series::expand(id, std::min<std::uint64_t>(std::max(doubled, needed), memory::max_capacity));
}

}

namespace {

std::uint32_t clamped_index(Cell const& value, SeriesBuffer const* buffer)
{
    return std::min(value.word1, buffer->tail - buffer->head);
}

}

// ---- Reading bytes ------------------------------------------------------------------------------------

std::uint32_t rs_length(Cell const& value)
{
    SeriesBuffer const* buffer = node::buffer(value.word2);
    return buffer->tail - buffer->head - clamped_index(value, buffer);
}

std::uint8_t* rs_head(Cell const& value)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    return reinterpret_cast<std::uint8_t*>(buffer->head_address()) + clamped_index(value, buffer);
}

std::uint8_t get_byte(Cell const& value, std::uint32_t offset)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    XOL_ASSERT(offset < buffer->tail - buffer->head, "binary get_byte past the tail");
    return std::to_integer<std::uint8_t>(buffer->head_address()[offset]);
}

// ---- Making binaries ----------------------------------------------------------------------------------

Cell make(std::uint32_t capacity)
{
    return cell::make(type_id, 0, series::alloc_bytes(capacity), 0);
}

void make_at(Cell& cell, std::uint32_t capacity)
{
    // The collection that the allocation may run scans the cell: it must hold a valid value meanwhile.
    cell.header = type_ids::unset;
    cell = make(capacity);
}

Cell load(std::span<std::uint8_t const> bytes)
{
    Cell const value = make(static_cast<std::uint32_t>(bytes.size()));
    SeriesBuffer* buffer = node::buffer(value.word2);
    if (!bytes.empty()) std::memcpy(buffer->head_address(), bytes.data(), bytes.size());
    buffer->tail = buffer->head + static_cast<std::uint32_t>(bytes.size());
    return value;
}

void load_at(std::span<std::uint8_t const> bytes, Cell const& block)
{
    Rooted target(block);
    Rooted loaded(load(bytes));
    *series::append_cell(*target) = *loaded;
}

// ---- Writing bytes ------------------------------------------------------------------------------------

std::uint8_t* append_space(Cell const& value, std::uint32_t count)
{
    SeriesBuffer* buffer = detail::reserve(value.word2, count);
    auto* place = reinterpret_cast<std::uint8_t*>(buffer->tail_address());
    buffer->tail += count;
    return place;
}

std::uint8_t* append_bytes(Cell const& value, std::span<std::uint8_t const> bytes)
{
    std::uint8_t* place = append_space(value, static_cast<std::uint32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(place, bytes.data(), bytes.size());
    return place;
}

void insert_bytes(Cell const& value, std::uint32_t offset, std::span<std::uint8_t const> bytes)
{
    Rooted kept(value);
    auto const count = static_cast<std::uint32_t>(bytes.size());
    SeriesBuffer* buffer = detail::reserve(kept->word2, count);
    std::uint32_t const length = buffer->tail - buffer->head;
    std::uint32_t const position
        = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t { kept->word1 } + offset, length));
    std::byte* place = buffer->head_address() + position;
    std::memmove(place + count, place, length - position);
    if (count != 0) std::memcpy(place, bytes.data(), count);
    buffer->tail += count;
}

void set_length(Cell const& value, std::uint32_t count)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint64_t const tail = std::uint64_t { buffer->head } + clamped_index(value, buffer) + count;
    XOL_ASSERT(tail <= buffer->capacity, "binary set_length past the capacity");
    buffer->tail = static_cast<std::uint32_t>(tail);
}

std::uint8_t byte_value(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    if (type != type_ids::integer && type != type_ids::char_) fire_error(err::script::invalid_arg, &value);
    return static_cast<std::uint8_t>(value.word2);
}

// ---- Comparing ----------------------------------------------------------------------------------------

std::int32_t compare_bytes(Cell const& binary, Cell const& other, CompareOp op, bool match)
{
    TypeId const other_type = cell::type_of(other);
    if (other_type != type_id && !type_ids::is_text(other_type)) return compare_incomparable;
    bool const same_place = binary.word2 == other.word2 && binary.word1 == other.word1;
    if (op == CompareOp::Same) return same_place ? 0 : 1;
    bool const equality = actions::is_equality(op);
    if (same_place && equality) return 0;

    SeriesBuffer* buffer2 = node::buffer(other.word2);
    std::uint32_t const unit2 = buffer2->unit();
    std::uint32_t const length1 = rs_length(binary);
    std::uint32_t const index2 = std::min(other.word1, buffer2->length());
    std::uint32_t const length2 = buffer2->length() - index2;
    std::uint32_t compared = length2;
    if (match) {
        if (length2 == 0) return equality ? 0 : 1;
        if (length1 < length2) return 1;
    } else if (length1 != length2) {
        if (equality) return 1;
        compared = std::min(length1, length2);
    } else if (length1 == 0) {
        return 0;
    }

    std::uint8_t const* bytes1 = rs_head(binary);
    std::byte const* units2 = buffer2->head_address() + (std::uint64_t { index2 } << buffer2->unit_shift());
    if (unit2 == 1) {
        int const order = compared == 0 ? 0 : std::memcmp(bytes1, units2, compared);
        if (order != 0) return equality ? 1 : order < 0 ? -1 : 1;
    } else {
        for (std::uint32_t i = 0; i < compared; ++i) {
            std::uint32_t unit = 0;
            std::memcpy(&unit, units2 + std::uint64_t { i } * unit2, unit2); // little-endian units
            if (bytes1[i] != unit) return equality ? 1 : bytes1[i] < unit ? -1 : 1;
        }
    }
    if (match) return 0;
    if (equality) return 0;
    return length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
}

bool in_bitset_q(Cell const& binary, Cell const& bitset)
{
    return rs_length(binary) != 0 && bitset::member_q(bitset, *rs_head(binary));
}

bool equal_to(Cell const& binary, Cell const& value, CompareOp op)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::char_) return rs_length(binary) != 0 && *rs_head(binary) == value.word2;
    if (type != type_id && !type_ids::is_text(type)) return false;
    return compare_bytes(binary, value, op, true) == 0;
}

}
