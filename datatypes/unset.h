// unset!: the absence of a value, the result of expressions that return nothing. It carries no payload.
#pragma once

#include "datatypes/action_table.h"

namespace xol {

// The shared unset! cell: code that needs the value in a cell copies it.
inline constexpr Cell unset_value { type_ids::unset, 0, 0, 0 };

namespace unset {

inline constexpr TypeId type_id = type_ids::unset;

void make_at(Cell& cell); // keeps the cell's header flags
Cell* push(); // a new unset! on the value stack
Cell* make_in(Cell const& block); // appended at the block's tail. May allocate.
Cell* set_result(); // the current call's result cell becomes unset!

extern DatatypeRecord const record; // no parent

}

}
