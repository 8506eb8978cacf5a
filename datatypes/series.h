// series!: the parent of every series type. No value has this type; its module holds what all series
// share whatever their unit: navigation, element access, and the modifiers that move raw units.
// A series value: word 1 the index in units from the buffer's head (it may lie past the tail after another
// value on the same node shortened it), word 2 the node, word 3 type-specific.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/memory.h"
#include "runtime/series.h"
#include "runtime/type_families.h"

namespace xol::series {

inline constexpr TypeId type_id = type_ids::series;

inline NodeId node_of(Cell const& value)
{
    return value.word2;
}
inline std::uint32_t index_of(Cell const& value)
{
    return value.word1;
}
inline void set_index(Cell& value, std::uint32_t index)
{
    value.word1 = index;
}
inline SeriesBuffer* buffer_of(Cell const& value)
{
    return node::buffer(value.word2);
}

// Units of the whole buffer.
inline std::uint32_t rs_total_length(Cell const& value)
{
    return buffer_of(value)->length();
}

// An index past the tail counts as at the tail.
inline bool rs_tail_q(Cell const& value)
{
    return index_of(value) >= rs_total_length(value);
}

// Moves the index by `count` when the new place is not past the tail, stopping at the head (index 0) below
// it; answers whether index + count is at or past the tail.
bool rs_skip(Cell& value, std::int32_t count);

// Units from the position (from the head with `from_head`). An index past the tail is put back to the
// tail, and 0 answered.
std::uint32_t rs_length_from(Cell& value, bool from_head);

// Units from the position without touching the value: 0 when the index lies past the tail.
inline std::uint32_t length_of(Cell const& value)
{
    std::uint32_t const total = rs_total_length(value);
    return index_of(value) >= total ? 0 : total - index_of(value);
}

// The types whose buffers hold cells: the block family (block!, paren!, hash!) and the path family.
inline bool is_cell_series(TypeId type)
{
    return type_ids::is_any_block(type);
}
// Every type with a series buffer: cells, text, binary!, vector!, image!.
inline bool is_series_type(TypeId type)
{
    return type_ids::is_series(type);
}

// How many units a /part argument covers from the series' position: an integer! as it is, or a
// position on the same node and of the same type as the distance to it (negative when before).
// Raises script invalid-refine-arg with /part and the value otherwise.
std::int32_t part_length(Cell const& series, Cell const& part);

// A refinement! cell for the error arguments that name a refinement ("/part", "/skip", "/compare"). May allocate.
Cell refinement_word(char const* name);

// Tells the owner of an owned series (an object that hears of deep changes) about a change: modifiers call
// it before the change with the action word, then after it with the past-tense word, with the position and
// the count of units. A series that has no owner, the common case, costs one flag test. May allocate, may
// raise (the owner's on-deep-change* handler runs).
void tell_owned_series_owner(
    Cell const& series, char const* action, Cell const* new_value, std::int32_t index, std::int32_t part);
inline void tell_owner(
    Cell const& series, char const* action, Cell const* new_value, std::int32_t index, std::int32_t part)
{
    if (buffer_of(series)->flags & series_flags::owned) tell_owned_series_owner(series, action, new_value, index, part);
}

// The shared body of at and skip on the call frame: the series in the result cell, the offset in the
// next argument.
void do_at_skip(bool at);

// Action implementations that the series types call (often before doing more of their own).
Cell copy(Cell const& value, Refinement part, bool deep, Refinement types); // May allocate.
Cell pick(Cell const& series, std::int32_t index, Cell const& index_value);
Cell poke(Cell const& series, std::int32_t index, Cell const& index_value, Cell const& value);
Cell clear(Cell const& series);
Cell remove(Cell const& series, Refinement part, Refinement key);
Cell reverse(Cell const& series, Refinement part, Refinement skip); // May allocate.
Cell take(Cell const& series, Refinement part, bool deep, bool last); // May allocate.
Cell move(Cell const& origin, Cell const& target, Refinement part); // May allocate.
Cell random(Cell const& series, bool seed, bool secure, bool only);
std::int32_t length_q(Cell const& series);
// The field `owned`, for every value whose node sits in word 2 (bitset! too): reflect answers the owner
// object or none!; modify with none! releases the value, with a block of an object and a word binds it to
// that object under that word, and answers the value given. May allocate.
Cell reflect(Cell const& value, SymbolId field);
Cell modify(Cell const& series, Cell const& field, Cell const& value, bool case_sensitive);

extern DatatypeRecord const record; // registered before every series type

}
