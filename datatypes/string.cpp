// string!: the text buffer layer: makers, unit access, widening, one-unit edits, splicing and literals.

#include "datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/string_private.h"
#include "datatypes/symbol.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/text_encoding.h"

namespace xol::string {

namespace {

// A unit other than 1, 2 or 4 in a text buffer is a corrupted buffer, never an input: the process ends.
std::uint32_t checked_unit(SeriesBuffer const* buffer)
{
    std::uint32_t const unit = buffer->unit();
    if (unit != 1 && unit != 2 && unit != 4) runtime::no_switch_matched();
    return unit;
}

std::uint32_t shift_of(std::uint32_t unit)
{
    return unit == 1 ? 0 : unit == 2 ? 1 : 2;
}

void set_unit_field(SeriesBuffer* buffer, std::uint32_t unit)
{
    buffer->flags = (buffer->flags & ~series_flags::unit_mask) | unit;
}

// Grows the buffer so that its data area holds at least `bytes` from its head. May allocate.
SeriesBuffer* reserve(NodeId id, std::uint64_t bytes)
{
    SeriesBuffer* buffer = node::buffer(id);
    if (buffer->head + bytes <= buffer->capacity) return buffer;
    std::uint64_t const doubled = std::uint64_t { buffer->capacity } * 2;
    return series::expand(id, std::max(doubled, bytes));
}

// The unit a positional write needs: 1-byte buffers keep code points up to 255.
std::uint32_t positional_unit(std::uint32_t code_point)
{
    return code_point <= 0xFF ? 1 : code_point <= 0xFFFF ? 2 : 4;
}

// Widens when the unit cannot hold `needed` and answers the buffer's node: the collection that widening
// may run can move the node to another frame, so callers use the answer, never the id they passed.
NodeId widened(NodeId id, std::uint32_t needed)
{
    if (needed <= checked_unit(node::buffer(id))) return id;
    RootedNode node(id);
    widen_to(*node, needed);
    return *node;
}

}

// ---- Makers -------------------------------------------------------------------------------------------

Cell make(std::uint32_t capacity_units)
{
    NodeId const id = series::alloc_units(capacity_units == 0 ? 1 : capacity_units, 1);
    return cell::make(type_id, 0, id, 0);
}

void make_at(Cell& cell, std::uint32_t units)
{
    // The cell may be scanned by the collection that the allocation runs: it must hold a valid value.
    cell.header = type_ids::unset;
    NodeId const id = series::alloc_units(units == 0 ? 1 : units, 1);
    cell = cell::make(type_id, 0, id, 0);
}

void make_at_unit(Cell& cell, std::uint32_t units, std::uint32_t unit)
{
    cell.header = type_ids::unset;
    NodeId const id = series::alloc_units(units, unit);
    cell = cell::make(type_id, 0, id, 0);
}

Cell* push(Cell const& value)
{
    Cell const copy = value;
    return stack::push(copy);
}

// ---- Accessors ----------------------------------------------------------------------------------------

std::uint32_t rs_length_all(Cell const& value)
{
    return node::buffer(value.word2)->length();
}

std::uint32_t clamped_index(Cell const& value)
{
    return std::min(value.word1, rs_length_all(value));
}

std::uint32_t rs_length_q(Cell const& value)
{
    std::uint32_t const total = rs_length_all(value);
    return value.word1 >= total ? 0 : total - value.word1;
}

bool rs_skip(Cell& value, std::int32_t n)
{
    std::int64_t const moved = std::int64_t { value.word1 } + n;
    std::uint32_t const total = rs_length_all(value);
    if (moved >= 0 && moved <= total) value.word1 = static_cast<std::uint32_t>(moved);
    return moved >= total;
}

bool rs_next(Cell& value)
{
    return rs_skip(value, 1);
}

std::byte* rs_head(Cell& value)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const shift = shift_of(checked_unit(buffer));
    if (buffer->head + (std::uint64_t { value.word1 } << shift) > buffer->tail)
        value.word1 = (buffer->tail - buffer->head) >> shift;
    return buffer->head_address() + (std::uint64_t { value.word1 } << shift);
}

std::byte* rs_tail(Cell const& value)
{
    return node::buffer(value.word2)->tail_address();
}

bool rs_tail_q(Cell const& value)
{
    return value.word1 >= rs_length_all(value);
}

std::uint32_t get_char(std::byte const* position, std::uint32_t unit)
{
    switch (unit) {
    case 1:
        return std::to_integer<std::uint32_t>(position[0]);
    case 2:
        return std::to_integer<std::uint32_t>(position[0]) | (std::to_integer<std::uint32_t>(position[1]) << 8);
    case 4: {
        std::uint32_t code_point;
        std::memcpy(&code_point, position, 4);
        return code_point;
    }
    default:
        runtime::no_switch_matched();
    }
}

void set_unit(std::byte* position, std::uint32_t unit, std::uint32_t code_point)
{
    switch (unit) {
    case 1:
        position[0] = static_cast<std::byte>(code_point);
        return;
    case 2:
        position[0] = static_cast<std::byte>(code_point);
        position[1] = static_cast<std::byte>(code_point >> 8);
        return;
    case 4:
        std::memcpy(position, &code_point, 4);
        return;
    default:
        runtime::no_switch_matched();
    }
}

std::uint32_t char_at(Cell const& value, std::uint32_t offset)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const unit = checked_unit(buffer);
    std::uint64_t const index = std::uint64_t { clamped_index(value) } + offset;
    XOL_ASSERT(buffer->head + (index << shift_of(unit)) < buffer->tail, "string char_at past the tail");
    return get_char(buffer->head_address() + (index << shift_of(unit)), unit);
}

void rs_reset(Cell& value)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    buffer->tail = buffer->head;
    set_unit_field(buffer, 1);
    value.word1 = 0;
}

std::int32_t find_char(Cell const& value, std::uint32_t code_point)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const unit = checked_unit(buffer);
    std::uint32_t const total = buffer->length();
    for (std::uint32_t index = clamped_index(value); index < total; ++index)
        if (get_char(buffer->head_address() + (index << shift_of(unit)), unit) == code_point)
            return static_cast<std::int32_t>(index - clamped_index(value));
    return -1;
}

// ---- Editing one unit or a run ------------------------------------------------------------------------

void widen_to(NodeId id, std::uint32_t unit)
{
    std::uint32_t const old_unit = checked_unit(node::buffer(id));
    if (old_unit == 1 && unit == 2)
        widen_1_to_2(id);
    else if (old_unit == 1 && unit == 4)
        widen_1_to_4(id);
    else if (old_unit == 2 && unit == 4)
        widen_2_to_4(id);
    else
        runtime::no_switch_matched();
}

void append_char(NodeId id, std::uint32_t code_point)
{
    id = widened(id, unit_for(code_point));
    std::uint32_t const unit = node::buffer(id)->unit();
    set_unit(series::append_bytes(id, unit), unit, code_point);
}

void write_char(NodeId id, std::uint32_t offset, std::uint32_t code_point)
{
    id = widened(id, positional_unit(code_point));
    std::uint32_t const unit = node::buffer(id)->unit();
    std::uint64_t const end = (std::uint64_t { offset } + 1) * unit;
    SeriesBuffer* buffer = reserve(id, end);
    std::byte* place = buffer->head_address() + std::uint64_t { offset } * unit;
    if (place >= buffer->tail_address()) {
        // Units skipped between the old tail and the write hold 0 rather than whatever the buffer held.
        std::memset(buffer->tail_address(), 0, static_cast<std::size_t>(place - buffer->tail_address()));
        buffer->tail = static_cast<std::uint32_t>(buffer->head + end);
    }
    set_unit(place, unit, code_point);
}

void insert_char_at(NodeId id, std::uint32_t offset, std::uint32_t code_point)
{
    id = widened(id, positional_unit(code_point));
    SeriesBuffer* buffer = node::buffer(id);
    std::uint32_t const unit = buffer->unit();
    if (buffer->tail + unit > buffer->capacity) buffer = series::expand(id, 0);
    offset = std::min(offset, buffer->length());
    std::byte* place = buffer->head_address() + std::uint64_t { offset } * unit;
    std::memmove(place + unit, place, static_cast<std::size_t>(buffer->tail_address() - place));
    set_unit(place, unit, code_point);
    buffer->tail += unit;
}

void put_char(NodeId id, std::uint32_t offset, std::uint32_t code_point)
{
    id = widened(id, positional_unit(code_point));
    SeriesBuffer* buffer = node::buffer(id);
    std::uint32_t const unit = buffer->unit();
    XOL_ASSERT(
        buffer->head + (std::uint64_t { offset } + 1) * unit <= buffer->capacity, "string put_char past the capacity");
    set_unit(buffer->head_address() + std::uint64_t { offset } * unit, unit, code_point);
}

void remove_at(Cell const& value, std::uint32_t offset, std::uint32_t n)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const length = buffer->length();
    if (offset >= length || n == 0) return;
    n = std::min(n, length - offset);
    std::uint32_t const unit = checked_unit(buffer);
    std::byte* place = buffer->head_address() + std::uint64_t { offset } * unit;
    std::uint32_t const bytes = n * unit;
    std::memmove(place, place + bytes, static_cast<std::size_t>(buffer->tail_address() - (place + bytes)));
    buffer->tail -= bytes;
}

void remove_unit(Cell const& value, std::uint32_t offset)
{
    remove_at(value, offset, 1);
}

void truncate_at(NodeId id, std::uint32_t offset)
{
    SeriesBuffer* buffer = node::buffer(id);
    std::uint64_t const tail = buffer->head + (std::uint64_t { offset } << shift_of(checked_unit(buffer)));
    if (tail <= buffer->capacity && tail < buffer->tail) buffer->tail = static_cast<std::uint32_t>(tail);
}

void move_units(Cell const& source, Cell const& target, std::uint32_t byte_count)
{
    Rooted from(source);
    Rooted to(target);
    std::uint32_t const unit = unit_of(*from);
    std::uint32_t const count = std::min(byte_count / unit, rs_length_q(*from));
    std::uint32_t const from_index = clamped_index(*from);
    std::uint32_t to_index = clamped_index(*to);
    bool const same = from->word2 == to->word2;
    for (std::uint32_t i = 0; i < count; ++i) {
        // On one buffer, a move forward inserts behind the source run and a move back shifts it up.
        std::uint32_t const read = same && to_index <= from_index ? from_index + 2 * i : from_index + i;
        std::uint32_t const code_point = char_at(cell::make(type_id, 0, from->word2), read);
        insert_char_at(to->word2, to_index + i, code_point);
    }
    std::uint32_t const remove_from = same && to_index <= from_index ? from_index + count : from_index;
    remove_at(*from, remove_from, count);
}

namespace {

struct ScratchState {
    std::vector<std::byte> buffer;
};
ScratchState scratch;

inline constexpr std::size_t scratch_size = 65'536;

}

// The scratch buffer grows on first use: most runs never rotate a run, and its pages would be touched for nothing.
void init()
{
    scratch.buffer.clear();
}

void rotate_runs(NodeId id, std::uint32_t offset, std::uint32_t length1, std::uint32_t length2, std::uint32_t gap)
{
    std::byte* start = node::buffer(id)->head_address() + offset;
    std::byte* end = start + length1 + gap + length2;
    if (gap != 0) {
        // [1][gap][2] -> [2][1][gap] -> [2][gap][1]
        std::rotate(start, start + length1 + gap, end);
        std::rotate(start + length2, start + length2 + length1, end);
        return;
    }
    std::uint32_t const shorter = std::min(length1, length2);
    // A run larger than the scratch buffer gets a larger one for this call only.
    if (scratch.buffer.size() < shorter) scratch.buffer.resize(std::max<std::size_t>(shorter, scratch_size));
    std::byte* saved = scratch.buffer.data();
    if (length1 <= length2) {
        std::memcpy(saved, start, length1);
        std::memmove(start, start + length1, length2);
        std::memcpy(start + length2, saved, length1);
    } else {
        std::memcpy(saved, start + length1, length2);
        std::memmove(start + length2, start, length1);
        std::memcpy(start, saved, length2);
    }
    if (scratch.buffer.size() > scratch_size) {
        scratch.buffer.resize(scratch_size);
        scratch.buffer.shrink_to_fit();
    }
}

// ---- Splicing and literals ----------------------------------------------------------------------------

namespace {

// Takes the room for `bytes` at `place` (units from the head) as the mode says: a gap opened there (Insert),
// the tail (Append) or the place itself (Overwrite); sets the new tail and answers where the units go. The
// capacity is there already: nothing here allocates.
std::byte* take_room(
    SeriesBuffer* buffer, std::uint64_t place, std::uint32_t shift, std::uint64_t bytes, SpliceMode mode)
{
    std::uint32_t const old_tail = buffer->tail;
    std::uint64_t const position = std::min<std::uint64_t>(buffer->head + (place << shift), old_tail);
    if (mode == SpliceMode::Insert) {
        std::byte* gap = buffer->data() + position;
        std::memmove(gap + bytes, gap, old_tail - position);
    }
    std::uint64_t const destination = mode == SpliceMode::Append ? old_tail : position;
    buffer->tail = static_cast<std::uint32_t>(
        mode == SpliceMode::Overwrite ? std::max<std::uint64_t>(destination + bytes, old_tail) : old_tail + bytes);
    return buffer->data() + destination;
}

// The commonest splice, a text of the target's unit from another buffer into a target with room for it,
// done at once: nothing allocates, so neither side needs a root. Answers false, having done nothing, for
// any other.
bool splice_in_room(Cell const& target, Cell const& source, std::int32_t part, std::uint32_t offset, SpliceMode mode)
{
    if (source.word2 == target.word2 || cell::type_of(source) == type_ids::symbol
        || cell::type_of(target) == type_ids::symbol)
        return false;
    SeriesBuffer* buffer = node::buffer(target.word2);
    SeriesBuffer* from = node::buffer(source.word2);
    std::uint32_t const unit = buffer->unit();
    if (from->unit() != unit || (unit != 1 && unit != 2 && unit != 4)) return false;
    std::uint32_t const source_length = from->length();
    std::uint32_t const source_index = std::min(source.word1, source_length);
    std::uint32_t count = source_length - source_index;
    if (part >= 0 && static_cast<std::uint32_t>(part) < count) count = static_cast<std::uint32_t>(part);
    std::uint32_t const shift = shift_of(unit);
    std::uint64_t const bytes = std::uint64_t { count } << shift;
    if (buffer->tail + bytes > buffer->capacity) return false;
    if (bytes == 0) return true;
    std::uint64_t const place = std::uint64_t { std::min(target.word1, buffer->length()) } + offset;
    std::byte* write = take_room(buffer, place, shift, bytes, mode);
    std::memcpy(write, from->head_address() + (std::uint64_t { source_index } << shift), bytes);
    return true;
}

}

void splice(Cell const& target_value, Cell const& source_value, std::int32_t part, std::uint32_t offset,
    bool keep_source, SpliceMode mode)
{
    if (splice_in_room(target_value, source_value, part, offset, mode)) return;
    Rooted target(target_value);
    Rooted source(source_value);
    // A symbol! on either side stands for its spelling's string.
    if (cell::type_of(*source) == type_ids::symbol) *source = symbol::text_of(*source);
    if (cell::type_of(*target) == type_ids::symbol) *target = symbol::text_of(*target);
    // Node ids are read from the rooted cells after every call that may allocate: a collection can move
    // nodes as well as buffers.
    std::uint32_t target_unit = checked_unit(node::buffer(target->word2));
    std::uint32_t source_unit = checked_unit(node::buffer(source->word2));
    if (target_unit < source_unit) {
        widen_to(target->word2, source_unit);
        target_unit = source_unit;
    } else if (source_unit < target_unit && !keep_source) {
        widen_to(source->word2, target_unit);
        source_unit = target_unit;
    }

    std::uint32_t count = rs_length_q(*source);
    if (part >= 0 && static_cast<std::uint32_t>(part) < count) count = static_cast<std::uint32_t>(part);
    std::uint64_t const bytes = std::uint64_t { count } * target_unit;
    if (bytes == 0) return;

    // A source on the target's own buffer is read before the target moves anything: an insertion gap
    // would otherwise split it.
    std::vector<std::byte> own_copy;
    if (source->word2 == target->word2) {
        SeriesBuffer* buffer = node::buffer(source->word2);
        std::byte const* from
            = buffer->head_address() + (std::uint64_t { clamped_index(*source) } << shift_of(source_unit));
        own_copy.assign(from, from + bytes);
    }

    SeriesBuffer* buffer = node::buffer(target->word2);
    if (buffer->tail + bytes > buffer->capacity) buffer = series::expand(target->word2, 2 * (buffer->tail + bytes));
    // Nothing below allocates: the addresses stay valid.
    std::byte* write
        = take_room(buffer, std::uint64_t { clamped_index(*target) } + offset, shift_of(target_unit), bytes, mode);
    SeriesBuffer* from_buffer = node::buffer(source->word2);
    std::byte const* read = own_copy.empty()
        ? from_buffer->head_address() + (std::uint64_t { clamped_index(*source) } << shift_of(source_unit))
        : own_copy.data();
    if (source_unit != target_unit) {
        // Only a kept narrower source reaches here: its code points fit the target's unit.
        for (std::uint32_t i = 0; i < count; ++i)
            set_unit(write + std::uint64_t { i } * target_unit, target_unit,
                get_char(read + std::uint64_t { i } * source_unit, source_unit));
    } else {
        std::memmove(write, read, bytes);
    }
}

void concatenate(
    Cell const& target, Cell const& source, std::int32_t part, std::uint32_t offset, bool keep_source, SpliceMode mode)
{
    splice(target, source, part, offset, keep_source, mode);
}

void concatenate_literal_part(Cell const& string, char const* bytes, std::uint32_t n)
{
    Rooted target(string);
    bool ascii = true;
    for (std::uint32_t i = 0; i < n; ++i) ascii = ascii && static_cast<unsigned char>(bytes[i]) < 0x80;
    if (!ascii) {
        for (std::uint32_t i = 0; i < n; ++i) append_char(target->word2, static_cast<unsigned char>(bytes[i]));
        return;
    }
    // ASCII never widens: one reservation, then the units in place.
    std::uint32_t const unit = checked_unit(node::buffer(target->word2));
    std::byte* place = series::append_bytes(target->word2, n * unit);
    if (unit == 1) {
        std::memcpy(place, bytes, n); // the commonest case: formed numbers appended to byte text
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i) set_unit(place + i * unit, unit, static_cast<unsigned char>(bytes[i]));
}

void concatenate_literal(Cell const& string, std::string_view bytes)
{
    concatenate_literal_part(string, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::int32_t append_ascii(Cell const& string, std::string_view text, std::int32_t limit)
{
    concatenate_literal(string, text);
    return limit - static_cast<std::int32_t>(text.size());
}

bool append_cycle_marker(Cell const& value, Cell const& output, std::int32_t& remaining, bool mold)
{
    if (!cycles::find(cycles::node_of(value))) return false;
    remaining = append_ascii(output, cycles::marker_text(cell::type_of(value), mold), remaining);
    return true;
}

bool with_c_string(Cell const& value, std::string_view bytes)
{
    if (rs_length_q(value) < bytes.size()) return false;
    for (std::uint32_t i = 0; i < bytes.size(); ++i)
        if (char_at(value, i) != static_cast<unsigned char>(bytes[i])) return false;
    return true;
}

}
