// Series and buffer operations through nodes.

#include "runtime/series.h"

#include <cmath>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol {

namespace series {

Cell* append_cell_raw(NodeId id)
{
    SeriesBuffer* buffer = node::buffer(id);
    if (buffer->tail + sizeof(Cell) > buffer->capacity) buffer = expand(id, 0);
    Cell* cell = buffer->tail_cell();
    cell->header = type_ids::unset;
    buffer->tail += sizeof(Cell);
    return cell;
}

Cell* append_cell(Cell const& block)
{
    return append_cell_raw(block.word2);
}

std::byte* append_bytes(NodeId id, std::uint32_t count)
{
    SeriesBuffer* buffer = node::buffer(id);
    if (std::uint64_t { buffer->tail } + count > buffer->capacity) {
        std::uint64_t const capacity = buffer->capacity;
        buffer = expand(id, count > capacity ? std::uint64_t { count } * 2 : capacity * 2);
    }
    std::byte* place = buffer->tail_address();
    buffer->tail += count;
    return place;
}

LibraryState library_state;

std::uint32_t dropped_flags(std::uint32_t flags)
{
    return library_state.running ? flags & ~series_flags::library : flags;
}

NodeId copy_part(NodeId id, std::uint32_t offset, std::uint32_t count)
{
    RootedNode source(id);
    std::uint32_t const unit = node::buffer(id)->unit();
    NodeId const copy = alloc_with_node(count, unit);
    SeriesBuffer const* from = node::buffer(*source);
    SeriesBuffer* to = node::buffer(copy);
    std::uint32_t const kept_flags = dropped_flags(series_flags::owned | series_flags::library | series_flags::big
                                         | series_flags::on_heap | series_flags::marked)
        | series_flags::image_literal;
    to->flags = (from->flags & ~kept_flags) | (to->flags & series_flags::big);
    std::uint32_t const bytes = count * unit;
    std::memcpy(to->data(), from->data() + from->head + std::uint64_t { offset } * unit, bytes);
    to->tail = bytes;
    return copy;
}

NodeId copy_buffer(NodeId id)
{
    RootedNode source(id);
    SeriesBuffer const* original = node::buffer(id);
    NodeId const copy = alloc_with_node(original->capacity / original->unit(), original->unit());
    original = node::buffer(*source);
    SeriesBuffer* to = node::buffer(copy);
    std::uint32_t const kept_flags
        = dropped_flags(series_flags::library | series_flags::big | series_flags::on_heap | series_flags::marked)
        | series_flags::image_literal;
    to->flags = (original->flags & ~kept_flags) | (to->flags & series_flags::big);
    std::memcpy(to->data(), original->data() + original->head, original->capacity - original->head);
    to->tail = original->tail - original->head;
    return copy;
}

}

namespace buffer {

NodeId make(std::uint32_t count, std::uint32_t unit)
{
    std::uint64_t const bytes = std::uint64_t { count } * unit;
    NodeId const id = series::alloc_with_node(bytes == 0 ? 16 : bytes, 1);
    SeriesBuffer* buffer = node::buffer(id);
    buffer->flags = (buffer->flags & ~series_flags::unit_mask) | unit;
    return id;
}

std::uint32_t length(NodeId id)
{
    return node::buffer(id)->length();
}

void clear(NodeId id)
{
    SeriesBuffer* buffer = node::buffer(id);
    buffer->tail = buffer->head;
}

void set_tail_at(NodeId id, std::uint32_t index)
{
    SeriesBuffer* buffer = node::buffer(id);
    buffer->tail = buffer->head + (index - 1) * buffer->unit();
}

NodeId copy(NodeId id)
{
    return series::copy_buffer(id);
}

std::uint32_t flags(NodeId id)
{
    return node::buffer(id)->flags;
}

void append_byte(NodeId id, std::uint8_t value)
{
    *series::append_bytes(id, 1) = std::byte { value };
}

std::byte* append_bytes(NodeId id, void const* source, std::uint32_t count)
{
    std::byte* place = series::append_bytes(id, count);
    std::memcpy(place, source, count);
    return place;
}

void append_int32(NodeId id, std::uint32_t value)
{
    std::memcpy(series::append_bytes(id, 4), &value, 4);
}

std::uint8_t pick_byte(NodeId id, std::uint32_t index)
{
    return std::to_integer<std::uint8_t>(node::buffer(id)->head_address()[index - 1]);
}

std::uint32_t pick(NodeId id, std::uint32_t index)
{
    std::uint32_t value;
    std::memcpy(&value, node::buffer(id)->head_address() + (index - 1) * 4, 4);
    return value;
}

void poke(NodeId id, std::uint32_t index, std::uint32_t value)
{
    std::memcpy(node::buffer(id)->head_address() + (index - 1) * 4, &value, 4);
}

std::int64_t find_ptr(NodeId id, std::uint32_t value)
{
    SeriesBuffer* buffer = node::buffer(id);
    for (std::uint32_t offset = 0; offset + 4 <= buffer->tail - buffer->head; offset += 4) {
        std::uint32_t word;
        std::memcpy(&word, buffer->head_address() + offset, 4);
        if (word == value) return offset;
    }
    return -1;
}

void insert_int32(NodeId id, std::uint32_t value, std::uint32_t element)
{
    SeriesBuffer* buffer = node::buffer(id);
    if (buffer->capacity - buffer->tail < 4) buffer = series::expand(id, 0);
    std::byte* place = buffer->head_address() + std::uint64_t { element } * 4;
    std::memmove(place + 4, place, static_cast<std::size_t>(buffer->tail_address() - place));
    std::memcpy(place, &value, 4);
    buffer->tail += 4;
}

void remove_bytes(NodeId id, std::uint32_t offset, std::uint32_t count)
{
    SeriesBuffer* buffer = node::buffer(id);
    std::byte* place = buffer->head_address() + offset;
    std::memmove(place, place + count, static_cast<std::size_t>(buffer->tail_address() - place - count));
    buffer->tail -= count;
}

std::int64_t remove_ptr(NodeId id, std::uint32_t value)
{
    std::int64_t const offset = find_ptr(id, value);
    if (offset >= 0) remove_bytes(id, static_cast<std::uint32_t>(offset), 4);
    return offset;
}

}

namespace number {

std::int32_t to_int_checked(Cell const& value)
{
    if (cell::type_of(value) != type_ids::float_) return static_cast<std::int32_t>(value.word2);
    double const number = cell::float_payload(value);
    if (std::isnan(number) || number > 2147483647.0 || number < -2147483648.0)
        fire_error(err::script::out_of_range, &value);
    return static_cast<std::int32_t>(number);
}

}

}
