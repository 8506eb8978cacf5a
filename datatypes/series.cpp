// series!: navigation, element access and the unit-level modifiers every series type inherits. Lengths
// and places count units of the buffer (1, 2, 4 or 16 bytes), so the same code moves text, bytes and cells.

#include "datatypes/series.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/int_map.h"
#include "runtime/ownership.h"
#include "runtime/quit.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::series {

namespace {

std::uint32_t total_of(Cell const& value)
{
    return rs_total_length(value);
}

std::byte* unit_address(Cell const& value, std::uint32_t place)
{
    SeriesBuffer* buffer = buffer_of(value);
    return buffer->head_address() + (std::uint64_t { place } << buffer->unit_shift());
}

// The absolute place that pick and poke address: n counts from 1 at the position, -1 is the unit before it.
// Answers -1 for n = 0 and for places outside the buffer.
std::int64_t element_place(Cell const& series, std::int32_t n)
{
    if (n == 0) return -1;
    std::int64_t const place = std::int64_t { index_of(series) } + n + (n > 0 ? -1 : 0);
    if (place < 0 || place >= total_of(series)) return -1;
    return place;
}

// A position on the same node and of the same type, as /part accepts it.
bool is_same_series(Cell const& series, Cell const& other)
{
    return cell::type_of(series) == cell::type_of(other) && node_of(series) == node_of(other);
}

[[noreturn]] void bad_part(Cell const& part)
{
    Cell const word = refinement_word("part");
    fire_error(err::script::invalid_refine_arg, &word, &part);
}

// The shuffle: each unit from the front is swapped with one drawn from the rest (itself included), so every
// order is equally likely. The width is a constant for the common unit sizes, which makes each swap a
// few moves. Drawing allocates nothing, so the addresses stay valid throughout.
template <std::uint32_t width> void shuffle_units(std::byte* front, std::uint32_t length, bool secure)
{
    for (std::uint32_t remaining = length; remaining > 1; --remaining) {
        auto const r = static_cast<std::uint32_t>(random::int_(static_cast<std::int32_t>(remaining), secure));
        if (r > 1) {
            std::byte scratch[width];
            std::byte* const other = front + std::size_t { r - 1 } * width;
            std::memcpy(scratch, front, width);
            std::memcpy(front, other, width);
            std::memcpy(other, scratch, width);
        }
        front += width;
    }
}

// Navigation from the call frame: the series is in the result cell.
Cell& frame_series()
{
    return stack::state.base[0];
}

void head()
{
    set_index(frame_series(), 0);
}
void tail()
{
    set_index(frame_series(), total_of(frame_series()));
}
void head_q()
{
    frame_series() = logic::make(index_of(frame_series()) == 0);
}
void tail_q()
{
    frame_series() = logic::make(rs_tail_q(frame_series()));
}
void index_q()
{
    frame_series() = integer::make(static_cast<std::int32_t>(index_of(frame_series()) + 1));
}

// At the tail, next stays where it is.
void next()
{
    Cell& value = frame_series();
    if (index_of(value) + 1 <= total_of(value)) set_index(value, index_of(value) + 1);
}

void back()
{
    Cell& value = frame_series();
    if (index_of(value) > 0) set_index(value, index_of(value) - 1);
}

void at()
{
    do_at_skip(true);
}
void skip()
{
    do_at_skip(false);
}

}

namespace {

bool is_owned_field(SymbolId field)
{
    return symbol::resolve(field) == symbol::resolve(words::symbol_of(words::Symbol::owned));
}

}

// Only `owned` is a field of series: the object that owns the series, or none!.
Cell reflect(Cell const& value, SymbolId field)
{
    if (!is_owned_field(field)) fire_error(err::internal::not_done);
    Cell const* owner = ownership::find(value.word2);
    return owner ? *owner : none_value;
}

// The field `owned`: none! releases the series from its owner; a block of an object and a word binds the
// series to that object under that word. Anything else changes nothing.
Cell modify(Cell const& series, Cell const& field, Cell const& value, bool)
{
    if (!word::is_any_word(cell::type_of(field)) || !is_owned_field(field.word2)) return value;
    Rooted kept(series);
    Rooted kept_value(value);
    if (cell::type_of(*kept_value) == type_ids::none) {
        ownership::unbind(*kept);
    } else if (cell::type_of(*kept_value) == type_ids::block && block::rs_length_q(*kept_value) >= 2) {
        Rooted owner(block::rs_head(*kept_value)[0]);
        Rooted word(block::rs_head(*kept_value)[1]);
        if (cell::type_of(*owner) == type_ids::object) ownership::bind(*kept, *owner, *word);
    }
    return *kept_value;
}

namespace {

// Swaps two runs of `width` bytes.
void swap_units(std::byte* a, std::byte* b, std::uint32_t width)
{
    std::byte scratch[16];
    if (width <= sizeof scratch) {
        std::memcpy(scratch, a, width);
        std::memcpy(a, b, width);
        std::memcpy(b, scratch, width);
        return;
    }
    std::vector<std::byte> record(a, a + width);
    std::memcpy(a, b, width);
    std::memcpy(b, record.data(), width);
}

// Reverses the records of `Width` bytes from `front` to `back` (the last record), inclusive: copies of a
// constant size, which compile to plain loads and stores.
template <std::uint32_t Width> void reverse_records(std::byte* front, std::byte* back)
{
    while (front < back) {
        std::byte first[Width];
        std::byte last[Width];
        std::memcpy(first, front, Width);
        std::memcpy(last, back, Width);
        std::memcpy(front, last, Width);
        std::memcpy(back, first, Width);
        front += Width;
        back -= Width;
    }
}

// Within one buffer: moves `count` units from `from` so that they start at `to`, counted before the move;
// the units between the two places shift to close and open the gap.
void move_within(Cell const& value, std::uint32_t from, std::uint32_t to, std::uint32_t count)
{
    SeriesBuffer* buffer = buffer_of(value);
    std::uint32_t const shift = buffer->unit_shift();
    std::byte* base = buffer->head_address();
    std::size_t const bytes = std::size_t { count } << shift;
    std::vector<std::byte> moved(
        base + (std::size_t { from } << shift), base + (std::size_t { from } << shift) + bytes);
    if (to < from) {
        std::memmove(base + ((std::size_t { to } + count) << shift), base + (std::size_t { to } << shift),
            std::size_t { from - to } << shift);
        std::memcpy(base + (std::size_t { to } << shift), moved.data(), bytes);
    } else {
        std::memmove(base + (std::size_t { from } << shift), base + ((std::size_t { from } + count) << shift),
            std::size_t { to - from } << shift);
        std::memcpy(base + (std::size_t { to } << shift), moved.data(), bytes);
    }
}

}

bool rs_skip(Cell& value, std::int32_t count)
{
    std::int64_t const moved = std::int64_t { index_of(value) } + count;
    std::uint32_t const total = total_of(value);
    // Below the head the index stops at 0: a negative index would make later reads start before the buffer.
    if (moved < 0)
        set_index(value, 0);
    else if (moved <= total)
        set_index(value, static_cast<std::uint32_t>(moved));
    return moved >= total;
}

std::uint32_t rs_length_from(Cell& value, bool from_head)
{
    std::uint32_t const start = from_head ? 0 : index_of(value);
    std::uint32_t const total = total_of(value);
    if (start > total) {
        set_index(value, total);
        return 0;
    }
    return total - start;
}

std::int32_t part_length(Cell const& series, Cell const& part)
{
    if (cell::type_of(part) == type_ids::integer) return integer::get(part);
    if (!is_same_series(series, part)) bad_part(part);
    return static_cast<std::int32_t>(std::int64_t { index_of(part) } - index_of(series));
}

Cell refinement_word(char const* name)
{
    return refinement::make(name);
}

void tell_owned_series_owner(
    Cell const& series, char const* action, Cell const* new_value, std::int32_t index, std::int32_t part)
{
    // Interning may allocate: the series and the new value are rooted first.
    Rooted kept_series(series);
    Rooted kept_value(new_value ? *new_value : cell::make(type_ids::unset));
    SymbolId const action_symbol = symbol::make(action);
    ownership::check(*kept_series, action_symbol, new_value ? &*kept_value : nullptr, index, part);
}

void do_at_skip(bool at)
{
    Cell& value = frame_series();
    Cell const& offset_cell = stack::state.base[1];
    if (cell::type_of(offset_cell) != type_ids::integer) fire_error(err::script::invalid_arg, &offset_cell);
    std::int64_t offset = integer::get(offset_cell);
    if (at && offset >= 1) --offset;
    std::int64_t const moved = std::clamp<std::int64_t>(std::int64_t { index_of(value) } + offset, 0, total_of(value));
    set_index(value, static_cast<std::uint32_t>(moved));
}

std::int32_t length_q(Cell const& series)
{
    return static_cast<std::int32_t>(length_of(series));
}

Cell pick(Cell const& series, std::int32_t index, Cell const&)
{
    std::int64_t const place = element_place(series, index);
    if (place < 0) return none_value;
    auto const unit_place = static_cast<std::uint32_t>(place);
    TypeId const type = cell::type_of(series);
    if (is_cell_series(type)) return buffer_of(series)->head_cell()[unit_place];
    if (type == type_ids::binary)
        return integer::make(std::to_integer<std::int32_t>(*unit_address(series, unit_place)));
    if (type == type_ids::vector)
        return vector::get_value(
            unit_address(series, unit_place), buffer_of(series)->unit(), vector::element_type(series));
    return char_::make(string::get_char(unit_address(series, unit_place), buffer_of(series)->unit()));
}

Cell poke(Cell const& series, std::int32_t index, Cell const& index_value, Cell const& value)
{
    std::int64_t const place = element_place(series, index);
    if (place < 0) fire_error(err::script::out_of_range, &index_value);
    auto const unit_place = static_cast<std::uint32_t>(place);
    TypeId const type = cell::type_of(series);
    if (!is_cell_series(type) && type != type_ids::binary && type != type_ids::vector
        && cell::type_of(value) != type_ids::char_)
        fire_error(err::script::invalid_arg, &value);
    Rooted kept_series(series);
    Rooted kept_value(value);
    tell_owner(*kept_series, "poke", &*kept_value, static_cast<std::int32_t>(unit_place), 1);
    if (is_cell_series(type)) {
        buffer_of(*kept_series)->head_cell()[unit_place] = *kept_value;
        hash_::replaced(*kept_series, unit_place, 1, 1, total_of(*kept_series));
    } else if (type == type_ids::binary) {
        *unit_address(*kept_series, unit_place) = std::byte { binary::byte_value(*kept_value) };
    } else if (type == type_ids::vector) {
        vector::set_value(unit_address(*kept_series, unit_place), *kept_value, buffer_of(*kept_series)->unit(),
            vector::element_type(*kept_series));
    } else {
        string::put_char(node_of(*kept_series), unit_place, kept_value->word2);
    }
    tell_owner(*kept_series, "poked", &*kept_value, static_cast<std::int32_t>(unit_place), 1);
    return *kept_value;
}

Cell clear(Cell const& series)
{
    Rooted kept(series);
    std::uint32_t const length = length_of(series);
    if (length >= 1) {
        auto const index = static_cast<std::int32_t>(index_of(series));
        tell_owner(*kept, "clear", nullptr, index, static_cast<std::int32_t>(length));
        SeriesBuffer* buffer = buffer_of(*kept);
        std::uint32_t const before = buffer->length();
        buffer->tail = buffer->head + (index_of(*kept) << buffer->unit_shift());
        hash_::replaced(*kept, index_of(*kept), before - index_of(*kept), 0, before);
        tell_owner(*kept, "cleared", nullptr, index, 0);
    }
    return *kept;
}

Cell remove(Cell const& series, Refinement part, Refinement key)
{
    Rooted kept(series);
    std::int64_t count = 1;
    if (part) {
        count = part_length(series, *part);
        if (count < 1) return series;
    }
    std::uint32_t place = index_of(series);
    if (key) {
        FindOptions options {};
        options.case_sensitive = true;
        Cell const found = datatype::actions(cell::type_of(series)).find(series, *key, options);
        if (cell::type_of(found) == type_ids::none) return none_value;
        place = index_of(found);
        ++count;
    }
    std::uint32_t const total = total_of(*kept);
    if (place < total) {
        tell_owner(*kept, "remove", nullptr, static_cast<std::int32_t>(place), static_cast<std::int32_t>(count));
        SeriesBuffer* buffer = buffer_of(*kept);
        std::uint32_t const shift = buffer->unit_shift();
        if (place + count >= total) {
            buffer->tail = buffer->head + (place << shift);
        } else {
            auto const removed = static_cast<std::uint32_t>(count);
            std::byte* start = buffer->head_address() + (std::size_t { place } << shift);
            std::size_t const bytes = std::size_t { removed } << shift;
            std::memmove(start, start + bytes, static_cast<std::size_t>(buffer->tail_address() - start) - bytes);
            buffer->tail -= static_cast<std::uint32_t>(bytes);
        }
        hash_::replaced(
            *kept, place, static_cast<std::uint32_t>(std::min<std::int64_t>(count, total - place)), 0, total);
        tell_owner(*kept, "removed", nullptr, static_cast<std::int32_t>(place), static_cast<std::int32_t>(count));
    }
    return *kept;
}

Cell reverse(Cell const& series, Refinement part, Refinement skip)
{
    if (rs_tail_q(series)) return series;
    std::uint32_t const length = length_of(series);
    std::int64_t count = length;
    if (part) {
        count = part_length(series, *part);
        if (count < 1) return series;
        // A /part beyond the tail reverses up to the tail.
        count = std::min<std::int64_t>(count, length);
    }
    std::int64_t size = 1;
    if (skip) {
        Cell const word = refinement_word("skip");
        if (cell::type_of(*skip) != type_ids::integer) fire_error(err::script::invalid_refine_arg, &word, skip);
        size = integer::get(*skip);
        if (size == count) return series;
        if (size < 1) fire_error(err::script::out_of_range, skip);
        if (count < size || count % size != 0) fire_error(err::script::invalid_refine_arg, &word, skip);
    }
    Rooted kept(series);
    auto const index = static_cast<std::int32_t>(index_of(series));
    tell_owner(*kept, "reverse", nullptr, index, static_cast<std::int32_t>(count));
    SeriesBuffer* buffer = buffer_of(*kept);
    std::uint32_t const shift = buffer->unit_shift();
    auto const width = static_cast<std::uint32_t>(size << shift);
    std::byte* front = buffer->head_address() + (std::size_t { index_of(*kept) } << shift);
    std::byte* back = front + (static_cast<std::size_t>(count) << shift) - width;
    switch (width) {
    case 1:
        reverse_records<1>(front, back);
        break;
    case 2:
        reverse_records<2>(front, back);
        break;
    case 4:
        reverse_records<4>(front, back);
        break;
    case 8:
        reverse_records<8>(front, back);
        break;
    case sizeof(Cell):
        reverse_records<sizeof(Cell)>(front, back);
        break;
    default:
        while (front < back) {
            swap_units(front, back, width);
            front += width;
            back -= width;
        }
    }
    hash_::replaced(
        *kept, index_of(*kept), static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(count), total_of(*kept));
    tell_owner(*kept, "reversed", nullptr, index, static_cast<std::int32_t>(count));
    return *kept;
}

// A zero count (an integer! 0, or a position before the series') takes nothing: the answer is empty.
Cell take(Cell const& series, Refinement part, bool, bool last)
{
    Rooted source(series);
    std::uint32_t const length = length_of(series);
    if (length < 1) return none_value;
    std::uint32_t const index = index_of(series);
    std::int64_t count = 1;
    std::int64_t available = length;
    if (part) {
        if (cell::type_of(*part) == type_ids::integer) {
            count = integer::get(*part);
        } else {
            if (!is_same_series(series, *part)) bad_part(*part);
            std::int64_t const distance = std::int64_t { index_of(*part) } - index;
            if (distance < 0)
                count = 0;
            else
                count = last ? length - distance : distance;
        }
        if (count < 0) {
            available = index;
            count = last ? 1 : -count;
            // Negative: the units just before the position.
            count = -std::min(count, available);
        }
    }
    if (count > 0) count = std::min(count, available);

    std::uint32_t const unit = buffer_of(*source)->unit();
    // Every take answers a series of its own: a shared scratch buffer would change under earlier answers.
    std::uint64_t const taken_count
        = count < 0 ? static_cast<std::uint64_t>(-count) : static_cast<std::uint64_t>(count);
    // Taking nothing changes nothing, so the owner hears of nothing.
    bool const nothing = count == 0 || (count < 0 && last);
    NodeId const taken = series::alloc_units(nothing ? 0 : taken_count, unit);
    Cell result { static_cast<std::uint32_t>(cell::type_of(*source)), 0, taken, 0 };
    if (cell::type_of(*source) == type_ids::vector || cell::type_of(*source) == type_ids::hash)
        result.word3 = source->word3;
    if (nothing) return result;
    tell_owner(*source, "take", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));

    SeriesBuffer* buffer = buffer_of(*source);
    std::uint32_t const shift = buffer->unit_shift();
    std::uint32_t const total = buffer->length();
    std::uint32_t start;
    if (count > 0 && last)
        start = total - static_cast<std::uint32_t>(count);
    else if (count > 0)
        start = index;
    else
        start = index - static_cast<std::uint32_t>(taken_count);
    std::size_t const bytes = static_cast<std::size_t>(taken_count) << shift;
    std::byte* from = buffer->head_address() + (std::size_t { start } << shift);
    SeriesBuffer* target = node::buffer(taken);
    std::memcpy(target->head_address(), from, bytes);
    target->tail = target->head + static_cast<std::uint32_t>(bytes);
    std::memmove(from, from + bytes, static_cast<std::size_t>(buffer->tail_address() - from) - bytes);
    buffer->tail -= static_cast<std::uint32_t>(bytes);
    if (cell::type_of(*source) == type_ids::hash) {
        Rooted answer(result);
        hash_::replaced(*source, start, static_cast<std::uint32_t>(taken_count), 0, total);
        hash_::index_cells(*answer);
        result = *answer;
    }
    tell_owner(*source, "taken", nullptr, static_cast<std::int32_t>(start), static_cast<std::int32_t>(taken_count));
    return result;
}

Cell move(Cell const& origin, Cell const& target, Refinement part)
{
    Rooted source(origin);
    Rooted destination(target);
    TypeId const source_type = cell::type_of(origin);
    TypeId const destination_type = cell::type_of(target);
    if (!is_series_type(destination_type)) {
        Cell const action = word::make_global("move");
        Cell const type = datatype::make(destination_type);
        Cell const argument = word::make_global("target");
        fire_error(err::script::expect_arg, &action, &type, &argument);
    }
    if (rs_tail_q(*source)) return *destination;
    std::uint32_t const length = length_of(origin);
    std::int64_t count = 1;
    if (part) {
        if (cell::type_of(*part) != type_ids::integer) bad_part(*part);
        count = integer::get(*part);
        if (count < 1) return *destination;
        count = std::min<std::int64_t>(count, length);
    }
    auto const moved = static_cast<std::uint32_t>(count);
    std::uint32_t const from = index_of(origin);

    if (node_of(origin) != node_of(target)) {
        Cell const destination_datatype = datatype::make(destination_type);
        Cell const source_datatype = datatype::make(source_type);
        bool const source_cells = is_cell_series(source_type);
        bool const destination_cells = is_cell_series(destination_type);
        if (source_cells != destination_cells)
            fire_error(err::script::move_bad, &destination_datatype, &source_datatype);
        std::uint32_t const source_unit = buffer_of(origin)->unit();
        std::uint32_t const destination_unit = buffer_of(target)->unit();
        if (source_unit != destination_unit) {
            if (!type_ids::is_text(source_type) || !type_ids::is_text(destination_type))
                fire_error(err::script::move_bad, &destination_datatype, &source_datatype);
            string::move_units(*source, *destination, moved << buffer_of(origin)->unit_shift());
            return *destination;
        }
        std::uint32_t const shift = buffer_of(origin)->unit_shift();
        std::uint32_t const to = std::min(index_of(target), total_of(target));
        tell_owner(*source, "move", nullptr, static_cast<std::int32_t>(from), static_cast<std::int32_t>(moved));
        tell_owner(*destination, "move", nullptr, static_cast<std::int32_t>(to), static_cast<std::int32_t>(moved));
        std::size_t const bytes = std::size_t { moved } << shift;
        std::uint32_t const source_before = total_of(*source);
        std::uint32_t const destination_before = total_of(*destination);
        SeriesBuffer* into = buffer_of(*destination);
        if (std::uint64_t { into->tail } + bytes > into->capacity) {
            std::uint64_t const needed = std::uint64_t { into->tail - into->head } + bytes;
            into = series::expand(node_of(*destination), needed * 2);
        }
        SeriesBuffer* out = buffer_of(*source);
        std::byte* gap = into->head_address() + (std::size_t { to } << shift);
        std::memmove(gap + bytes, gap, static_cast<std::size_t>(into->tail_address() - gap));
        std::byte* taken = out->head_address() + (std::size_t { from } << shift);
        std::memcpy(gap, taken, bytes);
        into->tail += static_cast<std::uint32_t>(bytes);
        std::memmove(taken, taken + bytes, static_cast<std::size_t>(out->tail_address() - taken) - bytes);
        out->tail -= static_cast<std::uint32_t>(bytes);
        hash_::replaced(*source, from, moved, 0, source_before);
        hash_::replaced(*destination, to, 0, moved, destination_before);
        tell_owner(*source, "moved", nullptr, static_cast<std::int32_t>(from), static_cast<std::int32_t>(moved));
        tell_owner(*destination, "moved", nullptr, static_cast<std::int32_t>(to), static_cast<std::int32_t>(moved));
        return *destination;
    }

    std::uint32_t const total = total_of(*source);
    std::uint32_t to = std::min(index_of(*destination), total);
    if (to == from) return *destination;
    if (to > from) {
        if (to < total && total - to < moved) return *source;
        // A destination inside the moved run has nowhere to go: nothing changes, as when too few units follow it.
        if (to < from + moved) return *source;
        // Forward, the moved units end up starting at the destination; at the tail they end the series.
        to = to == total ? total - moved : to;
    }
    tell_owner(*source, "move", nullptr, static_cast<std::int32_t>(from), static_cast<std::int32_t>(moved));
    move_within(*source, from, to, moved);
    hash_::moved(*source, to, from, moved);
    tell_owner(*source, "moved", nullptr, static_cast<std::int32_t>(to), static_cast<std::int32_t>(moved));
    return *destination;
}

Cell random(Cell const& series, bool seed, bool secure, bool only)
{
    if (seed) {
        // The bytes from the position to the tail, whatever their unit: equal contents seed alike.
        SeriesBuffer* buffer = buffer_of(series);
        std::byte const* start = unit_address(series, std::min(index_of(series), buffer->length()));
        auto const count = static_cast<std::uint32_t>(buffer->tail_address() - start);
        random::seed(static_cast<std::int32_t>(hash::string(start, count)));
        return unset_value;
    }
    std::uint32_t const length = length_of(series);
    if (only) {
        if (length == 0) return none_value;
        std::int32_t const n = random::int_(static_cast<std::int32_t>(length), secure);
        return pick(series, n, integer::make(n));
    }
    if (length == 0) return series;
    Rooted kept(series);
    auto const index = static_cast<std::int32_t>(index_of(series));
    tell_owner(*kept, "random", nullptr, index, static_cast<std::int32_t>(length));
    // The owner's handler may have changed the series: the length is taken again, and the front too.
    std::uint32_t const now = length_of(*kept);
    std::byte* const front = unit_address(*kept, std::min(index_of(*kept), total_of(*kept)));
    switch (buffer_of(*kept)->unit()) {
    case 1:
        shuffle_units<1>(front, now, secure);
        break;
    case 2:
        shuffle_units<2>(front, now, secure);
        break;
    case 4:
        shuffle_units<4>(front, now, secure);
        break;
    case 16:
        shuffle_units<16>(front, now, secure);
        break;
    default:
        runtime::no_switch_matched();
    }
    hash_::reindex(*kept);
    tell_owner(*kept, "randomized", nullptr, index, static_cast<std::int32_t>(length));
    return *kept;
}

Cell copy(Cell const& value, Refinement part, bool, Refinement)
{
    std::int64_t const index = index_of(value);
    std::int64_t start = index;
    std::int64_t count = length_of(value);
    if (part) {
        if (cell::type_of(*part) == type_ids::pair) {
            std::int64_t const x = static_cast<std::int32_t>(part->word2);
            std::int64_t const y = static_cast<std::int32_t>(part->word3);
            start = std::max<std::int64_t>(0, index + x + (x < 0 ? 0 : -1));
            count = y < x ? 0 : y - x;
        } else {
            count = part_length(value, *part);
            if (count < 0) {
                start = index + count;
                count = -count;
                if (start < 0) {
                    start = 0;
                    count = index;
                }
            }
        }
    }
    std::int64_t const total = total_of(value);
    if (start > total) {
        start = total;
        count = 0;
    }
    count = std::min(count, total - start);
    TypeId const type = cell::type_of(value);
    std::uint32_t const header = value.header & (cell::type_mask | cell::new_line_flag);
    std::uint32_t const word3 = type == type_ids::vector ? value.word3 : 0;
    NodeId const copied
        = series::copy_part(node_of(value), static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(count));
    return Cell { header, 0, copied, word3 };
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "series!",
    .actions = {
        .random = random,
        .reflect = reflect,
        .at = at,
        .back = back,
        .clear = clear,
        .copy = copy,
        .head = head,
        .head_q = head_q,
        .index_q = index_q,
        .length_q = length_q,
        .move = move,
        .next = next,
        .pick = pick,
        .poke = poke,
        .remove = remove,
        .reverse = reverse,
        .skip = skip,
        .tail = tail,
        .tail_q = tail_q,
        .take = take,
        .modify = modify,
    },
};

}
