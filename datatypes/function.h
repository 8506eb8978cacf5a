// function!: a user-level function, a spec block, a body block and the context of its arguments,
// refinements and locals. Calling one is the evaluator's; this module makes the values, checks specs,
// collects the locals of `function`, and reflects, forms, molds and compares them.
//
// Cell: header type 24 with the attribute flags below; word 1 the node of the function's context (its
// values live on the value stack while a call runs; its owner cell holds a copy of the function); word 2
// the node of the spec block, which always starts at the first cell of its buffer; word 3 the node of the
// function record, five cells:
//   0 the body: a deep copy of the given body, or none! when there is none;
//   1 unset!, for the callers of later layers;
//   2 integer!: the entry of the compiled body, when the body exists as machine code; else unset!;
//   3 unset!, or a copy of the function once an op! is made from it;
//   4 integer!: a second entry when the maker is given one; else unset!.
// routine! shares the record layout and the reflection.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/memory.h"

namespace xol::function {

inline constexpr TypeId type_id = type_ids::function;

inline constexpr std::uint32_t trace_flag = 0x400; // the attribute word trace
inline constexpr std::uint32_t no_trace_flag = 0x200; // the attribute word no-trace
inline constexpr std::uint32_t attribute_flags_mask = trace_flag | no_trace_flag;

inline constexpr std::uint32_t record_size = 5;
inline constexpr std::uint32_t body_cell = 0;
inline constexpr std::uint32_t compiled_entry_cell = 2;
inline constexpr std::uint32_t op_value_cell = 3;
inline constexpr std::uint32_t second_entry_cell = 4;

inline NodeId context_of(Cell const& function)
{
    return function.word1;
}
inline NodeId spec_node(Cell const& function)
{
    return function.word2;
}
inline NodeId record_of(Cell const& function)
{
    return function.word3;
}

// A cell of the record (function! or routine!): valid until the next call that may allocate.
inline Cell& record_cell(Cell const& function, std::uint32_t index)
{
    return node::buffer(function.word3)->head_cell()[index];
}
// The spec as a block! at index 0 on the function's own spec (not a copy).
inline Cell spec_block(Cell const& function)
{
    return cell::make(type_ids::block, 0, function.word2, 0);
}

// Makes a function! and pushes it on the value stack; answers its context's node. A spec given at an index
// above 0 is copied from there first. `body` is a block! or none!. `context` is the function's context, or
// no_node to build one from the spec (the body copy is then bound to it). `entry` and `second_entry` are
// compiled entries, 0 for none. `flags` are the attribute flags. May allocate.
NodeId make_compiled(Cell const& spec, Cell const& body, NodeId context, std::int32_t entry, std::int32_t second_entry,
    std::uint32_t flags);

// Validates a spec from its index to its tail and answers its attribute flags. The first fault raises
// script bad-func-def with the spec (or invalid-type-spec with the offending value of a type block, or
// dup-vars with the second of two entries of one name). May allocate (a type word's value is read).
std::uint32_t check_spec(Cell const& spec);
// The flags of an attribute block: trace and no-trace (by canonical symbol; other words are ignored);
// -1 when the block holds a value that is not a word.
std::int32_t attribute_flags(Cell const& block);

// For the `function` native: collects the set-words of the body (and the words of foreach, remove-each
// and repeat) that the spec does not name, appends them after /local to the spec, and answers the block of
// them. /extern and the words after it leave the spec and are never collected. Changes `spec` in place
// (its buffer; the cell itself is not written). May allocate.
Cell collect_locals(Cell const& spec, Cell const& body);
// The walk behind it: appends each collected word to `list` and to `ignore`, once. May allocate.
void collect_body_words(Cell const& list, Cell const& ignore, Cell const& body);

// The k-th (0-based) argument or refinement word of a spec (its word!, get-word!, lit-word! and
// refinement! cells in order), as a word!; false when the spec has fewer. What argument errors name.
bool spec_word(NodeId spec, std::uint32_t k, Cell& word);

// The context slots from the /local refinement on (the refinement and the words after it), counted from
// `index`; 0 without /local, or -1 with `require_local`.
std::int32_t count_locals(NodeId spec, std::uint32_t index, bool require_local);
// For a refinement a call does not use: false, then n - 1 none! cells, pushed.
void push_unused_refinement(std::int32_t n);

// Calls a function! as the sort comparators do: in a call frame named <compare-callback>, with `first` and
// `second` as its two arguments (its other slots filled as for unused refinements); answers its result.
// Errors and throws of the function propagate. Without an evaluator to run it (the core alone, in unit
// tests) raises internal not-done. May allocate.
Cell call_comparator(Cell const& function, Cell const& first, Cell const& second);

// The compare answer of the callable types, which are equal only when they are the same built-in entry or
// share one record: the equality and sort codes order the two identities as signed numbers; the
// orderings (lesser? and the like) answer compare_incomparable.
std::int32_t compare_identities(std::uint32_t identity1, std::uint32_t identity2, CompareOp op);

// Actions; reflect serves routine! too.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell reflect(Cell const& value, SymbolId field);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // parent context!

}
