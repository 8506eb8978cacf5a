// Fast paths of the evaluator: an infix operator between two integers (or two floats) is computed in
// place, without a call frame, with the results the operator's action gives.
#pragma once

#include <cstdint>

#include "interpreter/evaluator.h"
#include "runtime/cell.h"

namespace xol::interp::fast {

// Applies the operator `op_value` to the left operand at `operand` and the expression at `position`, when
// both are integers or both floats and the operator is one of the arithmetic, bitwise or comparison
// actions and natives; answers the position after the right operand, or 0 when the general call must run
// (nothing has been evaluated then).
std::uint32_t try_infix(
    Cell const& op_value, Cell const& word, Code const& code, std::uint32_t position, Cell* operand);

// Applies the operator `op_value` to two integer! cells already read, the result replacing `left`, when the
// operator has a fast case; answers false (nothing changed) when the general call must run. Allocates
// nothing.
bool apply_integers(Cell const& op_value, Cell& left, Cell const& right);

// The operator's fast case as one byte, 0 when it has none: what an analysed body keeps instead of the op!
// value it read.
std::uint8_t operation_code(Cell const& op_value);
// Applies a fast case (operation_code, not 0) to two integer! cells as apply_integers does.
bool apply_code(std::uint8_t code, Cell& left, Cell const& right);

}
