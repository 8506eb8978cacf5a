// block!: helpers shared by the block module's own files and by its children (paren!, the path types).
#pragma once

#include <cstdint>

#include "datatypes/block.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"

namespace xol::block::detail {

struct BlockState {
    std::int32_t mold_nesting = 0;
    // make_in without a parent leaves its block here; the caller copies it out at once.
    Cell scratch {};
};
extern BlockState state;

inline SeriesBuffer* buffer_of(Cell const& value)
{
    return series::buffer_of(value);
}
inline std::uint32_t total_of(Cell const& value)
{
    return series::rs_total_length(value);
}
// The index, or the tail when the index lies past it.
inline std::uint32_t position_of(Cell const& value)
{
    std::uint32_t const total = total_of(value);
    return value.word1 < total ? value.word1 : total;
}
// Cell n counted from the head. Valid until the next allocation.
inline Cell& cell_at(Cell const& value, std::uint32_t n)
{
    return buffer_of(value)->head_cell()[n];
}

// A walk's entry on the cycle stack, popped however the walk ends.
struct CycleEntry {
    explicit CycleEntry(NodeId node) { cycles::push(node); }
    ~CycleEntry() { cycles::pop(); }
    CycleEntry(CycleEntry const&) = delete;
    CycleEntry& operator=(CycleEntry const&) = delete;
};

// Makes room for `extra` more cells in the buffer of `node`: to twice the needed size when `double_growth`,
// else exactly the needed size. The node may move: callers read it again from a rooted value. May allocate.
void reserve(NodeId node, std::uint64_t extra, bool double_growth);

// Opens `count` cells at `place` (cells from the head), moving the later cells up; the tail grows. The new
// cells hold whatever was there. The node may move, as for reserve. May allocate.
void open_gap(NodeId node, std::uint32_t place, std::uint32_t count, bool double_growth);
// Closes `count` cells at `place`, moving the later cells down.
void close_gap(NodeId node, std::uint32_t place, std::uint32_t count);

// Equality of a series cell and a searched value under a search code.
bool search_equal(Cell const& cell, Cell const& value, CompareOp);

// Where a search found its value: the place (cells from the head) and how many cells matched; -1 when
// nothing was found.
struct Found {
    std::int64_t place;
    std::uint32_t length; // the run's length, 1 for a single value
    std::uint32_t step; // the /skip size, 1 without
    bool run; // the value was matched as a run of its cells
};
// The search of find and select (both share every refinement but /tail and /match, which only change
// what find answers).
Found search(Cell const& series, Cell const& value, FindOptions const&);

// The code a search compares with: same?, strict equality with /case, else the ordinary search equality.
inline CompareOp search_op(bool case_sensitive, bool same)
{
    return same ? CompareOp::Same : case_sensitive ? CompareOp::StrictEqual : CompareOp::FindEqual;
}

// The cells a block-like value brings to insert, append and change: its cells from its index (unless
// `only`), else the value itself as one cell.
inline bool splices(Cell const& value, bool only)
{
    return !only && is_any_block(cell::type_of(value));
}

// Type id t of a typeset! is bit 0x80 >> (t & 7) of byte t >> 3 of words 1-3, in memory order.
bool typeset_has(Cell const& typeset, TypeId);

// A type that copy-typed replaces by its copy in deep copies: the series, bitset!, object!, error!, map!.
bool is_copyable(TypeId);

// Copies `value` through its type's copy slot. May allocate.
Cell copy_typed(Cell const& value, bool deep, Refinement types);

// Sorts `count` records of `size` cells from `base` whose cell `field` is an integer! in each, by that integer,
// when it can do so with a radix sort and give the order the comparison sorts give (the stable one when
// `stable`). Answers false, having changed nothing, when it cannot. Allocates nothing in the series heap.
bool sort_integer_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable);
// The same for records whose cell `field` is a float! other than NaN in each.
bool sort_float_records(
    Cell* base, std::uint32_t count, std::uint32_t size, std::uint32_t field, bool descending, bool stable);

// Sorts `count` cells from `base` when all are string! values of one byte a character, in the order and with
// the moves of the comparison sorts over the cells themselves. False, having changed nothing, otherwise.
// Allocates nothing in the series heap.
bool sort_latin1_strings(Cell* base, std::uint32_t count, bool case_sensitive, bool descending, bool stable);

// The passes of the set operation `op` over `first` and `second` (nullptr when there is none), whatever holds
// the members: `make_set(count)` gives an empty set for about `count` heads, `heads_of(series, set)` fills one
// with the first cells of a series' records, and `collect(series, set, keep_members)` copies every record
// whose first cell is new to the answer and, with a set, is (keep_members) or is not in it.
template <typename Series, typename MakeSet, typename HeadsOf, typename Collect>
void run_set_passes(MathOp op, Series const& first, Series const* second, std::uint32_t length1, std::uint32_t length2,
    std::uint32_t size, MakeSet make_set, HeadsOf heads_of, Collect collect)
{
    switch (op) {
    case MathOp::Union:
        collect(first, nullptr, true);
        if (second) collect(*second, nullptr, true);
        break;
    case MathOp::Intersect:
    case MathOp::Exclude:
        if (second) {
            auto others = make_set(length2 / size + 1);
            heads_of(*second, others);
            collect(first, &others, op == MathOp::Intersect);
        } else if (op == MathOp::Exclude) {
            collect(first, nullptr, true);
        }
        break;
    case MathOp::Difference:
        if (second) {
            auto firsts = make_set(length1 / size + 1);
            heads_of(first, firsts);
            auto seconds = make_set(length2 / size + 1);
            heads_of(*second, seconds);
            collect(first, &seconds, false);
            collect(*second, &firsts, false);
        } else {
            collect(first, nullptr, true);
        }
        break;
    default: // unique
        collect(first, nullptr, true);
        break;
    }
}

// The set operation `op` (unique, union, intersect, exclude, difference) over records of `size` cells when
// the first cell of every record of both operands is an integer!: the kept records are appended to `result`,
// a new block held in a root (its node may change), and the answer is true. False, with nothing done, for
// records of other first cells. May allocate.
bool integer_set_op(Cell const& result, Cell const& first, Cell const* second, std::uint32_t size, MathOp op);

}
