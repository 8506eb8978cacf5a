// vector!: append, insert and change. Every edit encodes the elements it brings before the vector changes:
// a value of another type then leaves the vector as it was, and a vector put into itself goes in as it
// stood when the edit began.

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::vector {

namespace {

using Encoded = std::vector<std::byte>;

bool is_value_list(TypeId type)
{
    return type == type_ids::block || type == type_ids::paren || type == type_ids::hash;
}

void encode_one(Encoded& out, Cell const& value, std::uint32_t width, TypeId element)
{
    check_element(value, element);
    out.resize(out.size() + width);
    set_value(out.data() + out.size() - width, value, width, element);
}

// The elements of a list's values from its index, at most `limit` of them (all when negative), each checked.
void encode_list(Encoded& out, Cell const& list, std::int64_t limit, std::uint32_t width, TypeId element)
{
    std::uint32_t count = block::rs_length_q(list);
    if (limit >= 0) count = static_cast<std::uint32_t>(std::min<std::int64_t>(count, limit));
    for (std::uint32_t i = 0; i < count; ++i) encode_one(out, block::rs_head(list)[i], width, element);
}

// Another vector's elements from its index: of the same element type only; another width converts each.
void encode_vector(Encoded& out, Cell const& source, std::uint32_t width, TypeId element)
{
    if (element_type(source) != element) fire_error(err::script::not_same_type);
    std::uint32_t const count = rs_length(source);
    std::uint32_t const source_width = vector::width(source);
    SeriesBuffer* buffer = node::buffer(source.word2);
    std::byte const* from = buffer->head_address() + (std::uint64_t { source.word1 } << buffer->unit_shift());
    std::size_t const start = out.size();
    out.resize(start + std::size_t { count } * width);
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell const value = get_value(from + std::size_t { i } * source_width, source_width, element);
        set_value(out.data() + start + std::size_t { i } * width, value, width, element);
    }
}

std::uint64_t checked_total(std::size_t bytes, std::int32_t dup)
{
    std::uint64_t const total = std::uint64_t { bytes } * static_cast<std::uint32_t>(std::max(dup, 1));
    if (total > memory::max_capacity) fire_error(err::internal::no_memory);
    return total;
}

std::uint32_t clamped_index(Cell const& vector)
{
    return std::min(vector.word1, node::buffer(vector.word2)->length());
}

// Puts `dup` copies of the encoded elements in place of `replaced` elements at element `index`, moving
// what follows. The vector must be a rooted cell. May allocate.
void put_copies(
    Cell const& vector, std::uint32_t index, Encoded const& bytes, std::uint32_t dup, std::uint32_t replaced)
{
    SeriesBuffer* buffer = node::buffer(vector.word2);
    std::uint32_t const shift = buffer->unit_shift();
    std::uint64_t const total = std::uint64_t { bytes.size() } * dup;
    std::uint64_t const replaced_bytes = std::uint64_t { replaced } << shift;
    std::uint64_t const length = buffer->tail - buffer->head;
    std::uint64_t const needed = length - replaced_bytes + total;
    if (needed > memory::max_capacity) fire_error(err::internal::no_memory);
    if (buffer->head + needed > buffer->capacity) {
        std::uint64_t const doubled = std::uint64_t { buffer->capacity } * 2;
        buffer = series::expand(vector.word2, std::min<std::uint64_t>(std::max(doubled, needed), memory::max_capacity));
    }
    std::uint64_t const at = std::uint64_t { index } << shift;
    std::byte* place = buffer->head_address() + at;
    std::memmove(place + total, place + replaced_bytes, static_cast<std::size_t>(length - at - replaced_bytes));
    if (!bytes.empty()) {
        std::memcpy(place, bytes.data(), bytes.size());
        mem::replicate(place, static_cast<std::int64_t>(bytes.size()), dup);
    }
    buffer->tail = buffer->head + static_cast<std::uint32_t>(needed);
}

}

Cell insert(Cell const& series_value, Cell const& value_given, std::int32_t part, bool, std::int32_t dup, bool append)
{
    Rooted vector(series_value);
    Rooted value(value_given);
    std::uint32_t const width = vector::width(*vector);
    TypeId const element = element_type(*vector);
    Encoded bytes;
    if (is_value_list(cell::type_of(*value)))
        encode_list(bytes, *value, part, width, element);
    else
        encode_one(bytes, *value, width, element);
    if (bytes.empty()) return *vector;
    std::uint64_t const total = checked_total(bytes.size(), dup) / width;
    std::uint32_t index = append ? node::buffer(vector->word2)->length() : clamped_index(*vector);
    series::tell_owner(*vector, append ? "append" : "insert", &*value, static_cast<std::int32_t>(index), 0);
    // The owner's handler may have changed the vector.
    index = append ? node::buffer(vector->word2)->length() : clamped_index(*vector);
    put_copies(*vector, index, bytes, static_cast<std::uint32_t>(std::max(dup, 1)), 0);
    series::tell_owner(*vector, append ? "appended" : "inserted", nullptr, static_cast<std::int32_t>(index),
        static_cast<std::int32_t>(total));
    vector->word1 = append ? 0 : index + static_cast<std::uint32_t>(total);
    return *vector;
}

Cell change(Cell const& series_value, Cell const& value_given, std::int32_t part, bool, std::int32_t dup)
{
    Rooted vector(series_value);
    Rooted value(value_given);
    std::uint32_t const width = vector::width(*vector);
    TypeId const element = element_type(*vector);
    TypeId const type = cell::type_of(*value);
    Encoded bytes;
    if (is_value_list(type) || type_ids::is_path(type))
        encode_list(bytes, *value, -1, width, element);
    else if (type == type_id)
        encode_vector(bytes, *value, width, element);
    else
        encode_one(bytes, *value, width, element);
    std::uint64_t const total = checked_total(bytes.size(), dup) / width;
    auto replaced_span = [&](std::uint32_t index) {
        std::uint32_t const rest = node::buffer(vector->word2)->length() - index;
        std::uint64_t const wanted = part >= 0 ? static_cast<std::uint64_t>(part) : total;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, rest));
    };
    std::uint32_t index = clamped_index(*vector);
    series::tell_owner(
        *vector, "change", &*value, static_cast<std::int32_t>(index), static_cast<std::int32_t>(replaced_span(index)));
    index = clamped_index(*vector);
    put_copies(*vector, index, bytes, static_cast<std::uint32_t>(std::max(dup, 1)), replaced_span(index));
    series::tell_owner(*vector, "changed", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(total));
    vector->word1 = index + static_cast<std::uint32_t>(total);
    return *vector;
}

}
