// native! and action!: the values through which the language reaches built-in code, one entry of the
// natives table (120 slots, the first ones built in) or of the action table. op! (datatypes/op.h) wraps
// them and user functions.
//
// Cell: header type 21 or 22; word 1 the entry's index in its table, 0-based; word 2 the node of the spec
// block (shared, never copied); word 3 the node of a 2-cell record: a context! cell of the spec's words,
// then none! (made by make) or unset! (made by the loaders).
//
// A made native or action can only ever reach its entry with the arguments that entry reads: make accepts
// a spec only when it has the built-in spec's shape (the same arguments and refinements in the same order
// and kinds, no type wider than the built-in one). The built-in shapes are fixed once at start-up, so
// changing a spec through spec-of changes what reflection shows, never what a call pushes.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::native {

inline constexpr TypeId type_id = type_ids::native;
inline constexpr std::int32_t table_size = 120; // slots of the natives table
inline constexpr std::int32_t action_table_size = action_count;

// The 1-based index of the entry in its table.
inline std::int32_t index_of(Cell const& value)
{
    return static_cast<std::int32_t>(value.word1) + 1;
}

// Roots the table of built-in shapes. Start-up calls it once, before the natives and actions register
// their shapes. May allocate.
void init();

// Fixes the shape of the built-in spec of entry `index` (1-based) of the natives table (`type` native!) or
// of the action table (`type` action!). A later make of that index must match it. May allocate; a type
// block that names no type raises script invalid-type-spec.
void set_builtin_shape(TypeId type, std::int32_t index, Cell const& spec);

// Makes a native! or action! of the spec and 1-based index, with no shape check (start-up and the loaders,
// which build the built-in values themselves); `loaded` marks record cell 1 unset!. May allocate.
Cell make_value(TypeId type, Cell const& spec, std::int32_t index, bool loaded);

// Whether a loader may make the native! or action! of this 1-based index from this spec: the entry is a
// built-in one and the spec has its shape. Never raises: a type block naming anything but datatypes,
// typesets and global words holding them answers false, as does an index outside the table.
bool loadable_q(TypeId type, std::int32_t index, Cell const& spec);
// Actions of native! (reflect is shared with action! and op!).
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell reflect(Cell const& value, SymbolId field);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // no parent

}

namespace xol::action {

inline constexpr TypeId type_id = type_ids::action;

extern DatatypeRecord const record; // parent native!

}
