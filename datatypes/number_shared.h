// What the number types (integer!, float!, char!) share: the hand-off of a mixed operation to the other
// operand's type, the errors that hand-off raises, the action slots over one arithmetic body, and reading
// a binary!'s bytes as a number.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::number {

// script invalid-type, naming the value's type.
[[noreturn]] void invalid_type(Cell const& value);

// script not-related, naming the operation by its word (add, subtract, multiply, divide, remainder) and
// `type`. May allocate.
[[noreturn]] void not_related(MathOp op, TypeId type);
// script not-related, naming the operation by the caller's word and `type`: for a refinement's argument.
[[noreturn]] void not_related_to_caller(TypeId type);

// Runs the frame slot of the value's type for `op` on the call's two frame cells; a type without that slot
// raises script invalid-type with the value.
void run_slot_of(Cell const& value, MathOp op);

// The call's two operands trade places, so that a compound value becomes the left operand its type's
// arithmetic expects.
void swap_operands();

// power's exponent must be an integer! or a float!; anything else raises script expect-arg naming the
// exponent argument.
void check_exponent(Cell const& exponent);

// Up to `most` bytes (8 at the most) from the binary!'s index, big-endian: fewer bytes give a smaller number.
std::uint64_t leading_bytes(Cell const& binary, std::uint32_t most);

// The action slot of operation `op` for a type whose arithmetic is one body taking the operation:
// `.add = number::math_slot<do_math, MathOp::Add>`.
template <void (*body)(MathOp), MathOp op> void math_slot()
{
    body(op);
}

}
