// The value makers of a type whose every value is one constant cell with no payload (none!, unset!).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol::constant_value {

void make_at(Cell& cell, TypeId type); // keeps the cell's header flags
Cell* make_in(Cell const& block, Cell const& value); // a copy appended at the block's tail. May allocate.
Cell* set_result(Cell const& value); // the current call's result cell; answers it

// The compare action: two values of the type are equal and sort together; the type has no order, and
// nothing of another type equals it.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

}
