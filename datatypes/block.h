// block!: the series of value cells, code and data of the language. Besides its actions this module holds
// the runtime functions on cell series that the whole runtime uses (rs_head, rs_append, insert_value...),
// and the makers. paren!, the path types and hash! have the same cell and inherit most of it.
// A block value: word 1 the index in cells, word 2 the node of a buffer of 16-byte units, word 3 0 (a
// hash! keeps its table there); header bit 30 the new-line marker, which mold honours.
//
// Addresses answered here point into a series buffer: they are valid until the next call that may allocate.
#pragma once

#include <cstdint>
#include <type_traits>

#include "datatypes/action_table.h"
#include "datatypes/series.h"

namespace xol::block {

inline constexpr TypeId type_id = type_ids::block;

// The block family (block!, paren!, hash!) and the path family: the types whose buffers hold cells.
inline bool is_any_block(TypeId type)
{
    return series::is_cell_series(type);
}

// Runtime functions on cell series. The position is head + index cells.

// Cells from the index to the tail; 0 when the index lies past the tail.
inline std::uint32_t rs_length_q(Cell const& value)
{
    return series::length_of(value);
}
// The cell at the position; an index past the tail reads as the tail.
inline Cell* rs_head(Cell const& value)
{
    SeriesBuffer* buffer = series::buffer_of(value);
    std::uint32_t const total = buffer->length();
    return buffer->head_cell() + (value.word1 < total ? value.word1 : total);
}
// Just past the last cell.
inline Cell* rs_tail(Cell const& value)
{
    return series::buffer_of(value)->tail_cell();
}
inline bool rs_tail_q(Cell const& value)
{
    return series::rs_tail_q(value);
}
// Cell n counted from the head, not from the index.
inline Cell* rs_abs_at(Cell const& value, std::uint32_t n)
{
    return series::buffer_of(value)->head_cell() + n;
}
// Adds 1 to the index unless that passes the tail; answers whether the new position is the tail.
bool rs_next(Cell& value);
// tail := position.
void clear_at_index(Cell const& value);
// tail := head + n cells.
void rs_set_tail_at(Cell const& value, std::uint32_t n);
// Appends a copy of `value` at the tail and answers the new cell. May allocate.
Cell* rs_append(Cell const& block, Cell const& value);
// Drops the last cell; an index that would lie past the new tail moves to it.
void remove_last(Cell& block);
// Appends a copy of each cell of `source` from its index. May allocate.
void append_cells(Cell const& target, Cell const& source);
// Appends copies of `count` cells that do not lie in a series buffer (the value stack, a C++ array).
// May allocate.
void append_run(Cell const& target, Cell const* cells, std::uint32_t count);
// The cell after the first one equal to `value` (the search equality) from the position, or none! when
// there is none or the match is the last cell.
Cell select_value(Cell const& block, Cell const& value);
// The cell after the first word (word!, set-word!, lit-word!, get-word!) with the word's symbol (case-folded
// unless `case_sensitive`), or none! when absent or last.
Cell select_word(Cell const& block, Cell const& word, bool case_sensitive);
// Removes the first cell equal to `value` (from the head with `from_head`); answers whether the removed cell
// stood at or before the block's position.
bool remove_value(Cell const& block, Cell const& value, bool from_head);
// Inserts a copy of `value` at the position (at the head with `at_head`); with `advance` the index moves past
// it. `block` itself is written after the buffer grows: it must not lie in a series buffer. May allocate.
void insert_value(Cell& block, Cell const& value, bool advance, bool at_head);
// Inserts each cell of `source` from its index, in order, advancing past each; `block` as for insert_value.
// May allocate.
void insert_cells(Cell& block, Cell const& source);
// On the value stack: insert the result cell into the block below it; append the second argument to the
// block in the result cell; append the result cell to the block below it. May allocate.
void insert_result();
void append_second_arg();
void append_result();
// A new series of the source's type pushed on the value stack, holding copies of its cells from the position
// (room for at least one cell); `deep` clones nested block! cells, with `any_block` paren! and path cells too.
// Answers the stack cell. May allocate.
Cell* clone(Cell const& value, bool deep, bool any_block);
// Replaces each `step`-th cell from `first` to `end` whose type is the datatype! or is in the typeset!
// `types`, and that is a series, bitset!, object!, error! or map!, by its copy. Cells are given as indexes
// into `block`'s buffer because copying allocates. May allocate.
void find_type(
    Cell const& block, std::uint32_t first, std::uint32_t end, std::uint32_t step, bool deep, Cell const& types);
// Clears the new-line marker of every cell of the buffer.
void clear_cells_bit30(NodeId);

// Value makers.

// An empty block! (index 0) with room for n cells (below 1 counts as 1). The cell reads unset! while the
// buffer is allocated. May allocate.
void make_at(Cell& cell, std::int32_t n);
// As make_at; `on_heap` puts the buffer on the tracked heap, outside the collector's frames (the runtime's
// root blocks), otherwise every cell of the capacity starts unset!. May allocate.
void make_at_sized(Cell& cell, std::int32_t n, bool on_heap);
// A block with its buffer on the tracked heap, in a new cell appended to `parent`, or in the module's
// scratch cell when `parent` is null. May allocate.
Cell* make_in(Cell const* parent, std::int32_t n);
// An empty block in a new cell appended to `container` when that is a cell series or a map!, else in the
// module's scratch cell. May allocate.
Cell* make_at_from(Cell const& container, std::int32_t n);
// A new series of `type` in `target` holding copies of `count` cells that do not lie in a series buffer.
// May allocate.
void make_from_run(Cell& target, Cell const* cells, std::uint32_t count, TypeId type);
Cell* push(Cell const& block);
Cell* push_new(std::int32_t n); // 0 counts as 1. May allocate.
// paren! and the path family are blocks under another type id: these make one as a block, then give the
// cell that type. push_as sets the type of `cell` itself and pushes a copy of it; make_at_as may allocate.
Cell* push_as(Cell& cell, TypeId type);
void make_at_as(Cell& cell, std::int32_t n, TypeId type);

// Actions, for the types that inherit them and for the interpreter.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell to(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
// The cells of a block or paren! from its position, with their new-line markers and indentation.
std::int32_t mold_each(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
Cell eval_path(PathStep const& step);
// The commonest append, done at once: one value (a block's cells go the long way unless `only`) at the
// tail of a block with room for it and no owner or index to hear of it. Nothing allocates. Answers false,
// having done nothing, for any other; insert then does the work.
bool append_in_room(Cell const& series, Cell const& value, bool only);
Cell insert(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
Cell change(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup);
Cell copy(Cell const& value, Refinement part, bool deep, Refinement types);
Cell find(Cell const& series, Cell const& value, FindOptions const&);
Cell select(Cell const& series, Cell const& value, FindOptions const&);
Cell put(Cell const& series, Cell const& key, Cell const& value, bool case_sensitive);
Cell sort(Cell const& series, SortOptions const&);

// A record comparator that may run any code, as a user /compare function does: it may allocate, raise,
// change the series being sorted, or answer inconsistently. `a` and `b` are records of `size` cells, valid
// until the comparator first allocates (it roots what it keeps). Negative orders `a` first.
using RecordComparator = std::int32_t (*)(Cell const* a, Cell const* b, std::uint32_t size, void* user);
// Sorts `records` records of `size` cells from cell `first` of the series with such a comparator. Memory-safe
// whatever it does: the records are read from a rooted copy, ordered through a table of record numbers outside
// the series heap, and written back only when the series still has its node and its length; the table is
// released however the sort ends, and an error leaves the series as it was. May allocate.
void sort_by(Cell const& series, std::uint32_t first, std::uint32_t records, std::uint32_t size, bool stable,
    RecordComparator, void* user);
// The same over any callable `compare(Cell const* a, Cell const* b, std::uint32_t size) -> int`.
template <typename Compare>
void sort_by(
    Cell const& series, std::uint32_t first, std::uint32_t records, std::uint32_t size, bool stable, Compare&& compare)
{
    using Callable = std::remove_reference_t<Compare>;
    sort_by(
        series, first, records, size, stable,
        [](Cell const* a, Cell const* b, std::uint32_t record_size, void* user) -> std::int32_t {
            return static_cast<std::int32_t>((*static_cast<Callable*>(user))(a, b, record_size));
        },
        const_cast<void*>(static_cast<void const*>(&compare)));
}
// The order a user /compare function's answer gives (it was called with b then a): logic! true 1, false -1;
// an integer! itself; a float! 1 when positive, 0 when zero or NaN, -1 when negative; none! -1; anything else 1.
std::int32_t function_order(Cell const& answer);
Cell swap(Cell const& series1, Cell const& series2);
Cell take(Cell const& series, Refinement part, bool deep, bool last);
Cell trim(Cell const& series, TrimOptions const&);
// unique, union, intersect, exclude and difference on cell series: records of /skip cells compared by their
// first cell; `second` is null for unique. The answer has the first argument's type. May allocate.
Cell do_set_op(Cell const& first, Cell const* second, bool case_sensitive, Refinement skip, MathOp op);

// How deep molding currently is: raised around the molding of each cell.
std::int32_t mold_nesting();

extern DatatypeRecord const record;

}
