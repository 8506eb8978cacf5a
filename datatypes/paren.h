// paren!: a block that the evaluator evaluates in place. It molds in parentheses and inherits everything
// else from block!, sort included; trim is not available.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::paren {

inline constexpr TypeId type_id = type_ids::paren;

// Sets the type of `cell` to paren! and pushes a copy of it on the value stack.
Cell* push(Cell& cell);
// An empty paren! (index 0) with room for n cells (below 1 counts as 1). May allocate.
void make_at(Cell& cell, std::int32_t n);

extern DatatypeRecord const record; // registered after block!

}
