// The natives table's state: the language's built-in functions by index (1-based; slot i - 1), filled from
// the rows of table.h; and the shape every native entry shares.
#pragma once

#include <cstdint>

#include "datatypes/native.h"
#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xol::natives {

// A native's entry. `refinements` holds, per refinement of the spec in order, -1 when it is not used, else
// the position from the arguments base of the cell where its arguments begin. The arguments are the cells
// from the arguments base in spec order, already tested against the spec's types (the evaluator tests
// them; call_checked, for callers that do not, when the native's row asks); the result goes into the base
// cell.
using Entry = void (*)(std::int32_t const* refinements);

inline constexpr std::int32_t table_size = native::table_size;

struct NativesState {
    Entry entries[table_size] {};
    std::int32_t next_index = 1; // the next free index: one past the built-in natives once start-up is done
    Cell print_buffer = cell::make(type_ids::none); // print reduces into it; rooted
    Cell values = cell::make(type_ids::none); // block!: the built-in native! values, index i in cell i - 1; rooted
    bool last_line_ended = true; // whether the last print or prin ended its line
};

extern NativesState state;

// Allocates the print buffer and fills the table from the rows of table.h, in index order. Start-up calls
// it once. May allocate.
void register_natives();

// The entry of native `index` (1-based); nullptr for a slot without one.
inline Entry entry(std::int32_t index)
{
    return index < 1 || index > table_size ? nullptr : state.entries[index - 1];
}

// Runs native `index` for a caller that has not tested its argument cells: when the native's row asks for
// it, they are tested against the typesets of its spec first (refinement arguments only when used), and
// script expect-arg names the caller, the datatype and the argument. An index without an entry raises
// internal not-done. May allocate.
void call_checked(std::int32_t index, std::int32_t const* refinements);

// Stores the built-in native! value of `index`, as start-up makes it from its spec. May allocate.
void add_builtin(std::int32_t index, Cell const& native);
// The built-in native! value of `index`; unset! when none was added.
Cell builtin(std::int32_t index);

// Whether a catch with these names takes a throw of that name: the unwinding of a throw asks before it
// stops at a named catch. Allocates nothing.
bool catch_takes(Cell const& names, Cell const& thrown_name);

// Argument access inside an entry.
inline Cell* argument(std::uint32_t index)
{
    return stack::state.base + index;
}
inline Cell* refinement_argument(std::int32_t position)
{
    return position < 0 ? nullptr : stack::state.base + position;
}

}
