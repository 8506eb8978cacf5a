// integer!: the 32-bit signed integer (word 2). Its arithmetic never wraps: an add, subtract or multiply
// that overflows answers a float! with the exact result, an inexact division a float!, and an overflowing
// power is redone in floating point. Only results that have no float answer raise math overflow.
// char! inherits the actions; pair!, tuple!, vector! and char! call the operation core directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "datatypes/action_table.h"

namespace xol::integer {

inline constexpr TypeId type_id = type_ids::integer;

inline std::int32_t get(Cell const& value)
{
    return static_cast<std::int32_t>(value.word2);
}
inline Cell make(std::int32_t number)
{
    return Cell { type_id, 0, static_cast<std::uint32_t>(number), 0 };
}
void make_at(Cell& cell, std::int32_t number); // keeps the cell's header flags
Cell* push(std::int32_t number); // a new integer! on the value stack
Cell* make_in(Cell const& block, std::int32_t number); // appended at the block's tail. May allocate.
std::int32_t get_result(); // word 2 of the current call's result cell
std::int32_t result_or_zero(); // the result cell's integer, 0 when not an integer!
void set_result(std::int32_t number);

inline std::int32_t sign(std::int32_t number)
{
    return (number > 0) - (number < 0);
}
std::int32_t abs(std::int32_t number); // math overflow for -2147483648

// The decimal text, NUL-terminated, in a buffer shared by all callers: valid until the next call.
std::string_view form_signed(std::int32_t number);

// The arithmetic core for add, subtract, multiply, divide, remainder, or, and, xor. With a result cell,
// an overflowing add, subtract or multiply, and an inexact division, turn the cell into a float! with the
// double-precision result (answering 0); an integer result goes into word 2 of the cell, whose header is
// kept (a char! stays a char!). Division and remainder by 0 raise math zero-divide; -2147483648 by -1
// raises math overflow. Without a result cell overflow wraps and division truncates.
std::int32_t do_math_op(std::int32_t left, std::int32_t right, MathOp, Cell* result);

// The action body for an integer! left operand in the call's result cell and any right operand after it;
// mixed operands go to the right operand's type.
void do_math(MathOp);

// The frame slot of `type` for an arithmetic or bitwise operation: how mixed arithmetic hands an operation
// to the other operand's type. nullptr when that type does not have it.
action_types::FromFrame arithmetic_slot(TypeId type, MathOp);

// base to the power exponent (0 or more) by squaring; nullopt when a step overflows.
std::optional<std::int32_t> int_power(std::int32_t base, std::int32_t exponent);

// True when the double has no integer! value: NaN, above 2147483647.0 or below -2147483648.0.
bool check_float_range(double number);

extern DatatypeRecord const record; // no parent

}
