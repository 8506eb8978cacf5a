// The shared comparison entry: what the comparison natives, searches and the datatypes themselves call to
// compare two values of any types. A type's compare slot answers a raw order; these entries add the
// types compared without their slot and turn the raw answer into a truth value.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol::actions {

// The equality codes, searches and same? included; the sort codes are neither these nor orderings.
constexpr bool is_equality(CompareOp op)
{
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::FindPathEqual:
    case CompareOp::FindStrictPathEqual:
    case CompareOp::FindEqual:
        return true;
    default:
        return false;
    }
}

// lesser?, lesser-or-equal?, greater?, greater-or-equal?: what a type without an order cannot answer.
constexpr bool is_ordering(CompareOp op)
{
    return op == CompareOp::Lesser || op == CompareOp::LesserOrEqual || op == CompareOp::Greater
        || op == CompareOp::GreaterOrEqual;
}

// The raw answer of value 1's type: 0 equal (or 1 unequal) for the equality codes, -1/0/1 for the
// orderings, compare_incomparable when the two cannot be compared. The function types (op!, action!,
// native!, function!, routine!) are answered here without a slot. A type without a compare
// slot answers compare_incomparable.
// Never allocates (debug builds check every slot's answer), so its callers may hold buffer addresses across
// it: the in-place sorts, find and select, the set operations. A compare slot keeps it so; it may raise (a
// walk too deep), which unwinds past those addresses.
std::int32_t compare_typed(Cell const& value1, Cell const& value2, CompareOp);

// The key comparison of the hash tables: compare_typed, except that two vectors of different element
// types are different keys, where comparing them raises script not-same-type.
std::int32_t compare_keys(Cell const& stored, Cell const& probe, CompareOp);

// value 1 against value 2 as value 2's type sees it: its compare slot runs with the operands swapped (and
// the ordering code mirrored), and the answer is turned around. For a type that knows how to compare with
// another one only from its own side.
std::int32_t compare_swapped(Cell const& value1, Cell const& value2, CompareOp);

// The truth of `value1 op value2`. An incomparable pair raises script invalid-compare with both values
// for the ordering codes and is simply unequal for the equality codes. Not for the sort codes: sorting
// calls compare_typed (or the slots) itself.
bool compare(Cell const& value1, Cell const& value2, CompareOp);

// The comparison natives' body: compares the first two argument cells of the current call and stores a
// logic! in the result cell.
void compare_op(CompareOp);

}
