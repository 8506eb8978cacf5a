// The natives table: the language's built-in functions by index (1-based; slot i - 1), and the shape every
// native entry shares.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xol::natives {

// A native's entry. `check` asks it to test its argument cells against its spec first (the evaluator has
// already tested them and passes false). `refinements` holds, per refinement of the spec in order, -1 when
// it is not used, else the position from the arguments base of the cell where its arguments begin. The
// arguments are the cells from the arguments base in spec order; the result goes into the base cell.
using Entry = void (*)(bool check, std::int32_t const* refinements);

inline constexpr std::int32_t table_size = 120;
inline constexpr std::int32_t builtin_count = 107;

struct NativesState {
    Entry entries[table_size] {};
    std::int32_t next_index = 1; // the next free index: 108 once start-up is done
    Cell print_buffer = cell::make(type_ids::none); // print reduces into it; rooted
    Cell values = cell::make(type_ids::none); // block!: the built-in native! values, index i in cell i - 1; rooted
    bool last_line_ended = true; // whether the last print or prin ended its line
};

extern NativesState state;

// Allocates the print buffer and fills the table in index order. Start-up calls it once. May allocate.
void register_natives();

// The entry of native `index` (1-based); nullptr for a slot without one.
Entry entry(std::int32_t index);

// Stores the built-in native! value of `index`, as start-up makes it from its spec. May allocate.
void add_builtin(std::int32_t index, Cell const& native);
// The built-in native! value of `index`; unset! when none was added.
Cell builtin(std::int32_t index);

// Appends the built-in entries in index order (table.cpp).
void fill_table();

// Tests the argument cells of the running native `index` against the typesets of its spec (refinement
// arguments only when used): script expect-arg names the caller, the datatype and the argument. May allocate.
void check_arguments(std::int32_t index, std::int32_t const* refinements);

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
