// none!: the empty value, also the answer of searches that find nothing. It carries no payload. The
// series actions that find, take or remove accept none! and answer none!, so a failed search can flow on.
#pragma once

#include "datatypes/action_table.h"

namespace xol {

// The shared none! cell: code that needs the value in a cell copies it.
inline constexpr Cell none_value { type_ids::none, 0, 0, 0 };

namespace none {

inline constexpr TypeId type_id = type_ids::none;

void make_at(Cell& cell); // keeps the cell's header flags
Cell* push(); // a new none! on the value stack
Cell* make_in(Cell const& block); // appended at the block's tail. May allocate.
Cell* set_result(); // the current call's result cell becomes none!; answers it

extern DatatypeRecord const record; // no parent

}

}
