// Fast paths of the evaluator: an infix operator between two integers is computed in place, without a
// call frame, with the results the operator's action gives.
#pragma once

#include <array>
#include <cstdint>

#include "datatypes/logic.h"
#include "datatypes/op.h"
#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol::interp::fast {

// Applies a fast case (operation_code, not 0) to two integer! cells as apply_integers does; the cases
// inline_code leaves (overflow, division) are here.
bool apply_code(std::uint8_t code, Cell& left, Cell const& right);

namespace detail {

// A fast case as one byte: 1 + the MathOp of an arithmetic or bitwise action, 0x80 | the CompareOp of a
// comparison native.
constexpr std::uint8_t math_code(MathOp op)
{
    return static_cast<std::uint8_t>(1 + static_cast<unsigned>(op));
}
constexpr std::uint8_t compare_code(CompareOp op)
{
    return static_cast<std::uint8_t>(0x80 | static_cast<unsigned>(op));
}

inline constexpr std::uint32_t coded_indexes = 32;

// The fast case of each action index, then of each native index, below coded_indexes; 0 for none.
inline constexpr std::array<std::uint8_t, coded_indexes> action_codes = [] {
    std::array<std::uint8_t, coded_indexes> codes {};
    codes[11] = math_code(MathOp::Add);
    codes[12] = math_code(MathOp::Divide);
    codes[13] = math_code(MathOp::Multiply);
    codes[16] = math_code(MathOp::Remainder);
    codes[18] = math_code(MathOp::Subtract);
    codes[21] = math_code(MathOp::And);
    codes[23] = math_code(MathOp::Or);
    codes[24] = math_code(MathOp::Xor);
    return codes;
}();
inline constexpr std::array<std::uint8_t, coded_indexes> native_codes = [] {
    std::array<std::uint8_t, coded_indexes> codes {};
    codes[25] = compare_code(CompareOp::Equal);
    codes[26] = compare_code(CompareOp::NotEqual);
    codes[27] = compare_code(CompareOp::StrictEqual);
    codes[28] = compare_code(CompareOp::Lesser);
    codes[29] = compare_code(CompareOp::Greater);
    codes[30] = compare_code(CompareOp::LesserOrEqual);
    codes[31] = compare_code(CompareOp::GreaterOrEqual);
    return codes;
}();

}

// The operator's fast case as one byte, 0 when it has none: what an analysed body keeps instead of the op!
// value it read. One table look-up: the infix lookahead asks it of every operator it meets.
inline std::uint8_t operation_code(Cell const& op_value)
{
    std::uint32_t const index = op_value.word1 + 1;
    if (index >= detail::coded_indexes) return 0;
    TypeId const wrapped = op::wrapped_type(op_value);
    if (wrapped == type_ids::action) return detail::action_codes[index];
    if (wrapped == type_ids::native) return detail::native_codes[index];
    return 0;
}

// A fast case on two integer! cells, the result replacing `left`: the common ones in place, the rest
// through apply_code. False (nothing changed) for a division the action refuses.
[[gnu::always_inline]] inline bool apply_known(std::uint8_t code, Cell& left, Cell const& right)
{
    std::int32_t const a = static_cast<std::int32_t>(left.word2);
    std::int32_t const b = static_cast<std::int32_t>(right.word2);
    std::int32_t result = 0;
    switch (code) {
    case detail::math_code(MathOp::Add):
        if (__builtin_add_overflow(a, b, &result)) return apply_code(code, left, right);
        break;
    case detail::math_code(MathOp::Subtract):
        if (__builtin_sub_overflow(a, b, &result)) return apply_code(code, left, right);
        break;
    case detail::math_code(MathOp::Multiply):
        if (__builtin_mul_overflow(a, b, &result)) return apply_code(code, left, right);
        break;
    case detail::math_code(MathOp::And):
        result = a & b;
        break;
    case detail::math_code(MathOp::Or):
        result = a | b;
        break;
    case detail::math_code(MathOp::Xor):
        result = a ^ b;
        break;
    case detail::compare_code(CompareOp::Equal):
    case detail::compare_code(CompareOp::StrictEqual):
        left = logic::make(a == b);
        return true;
    case detail::compare_code(CompareOp::NotEqual):
        left = logic::make(a != b);
        return true;
    case detail::compare_code(CompareOp::Lesser):
        left = logic::make(a < b);
        return true;
    case detail::compare_code(CompareOp::Greater):
        left = logic::make(a > b);
        return true;
    case detail::compare_code(CompareOp::LesserOrEqual):
        left = logic::make(a <= b);
        return true;
    case detail::compare_code(CompareOp::GreaterOrEqual):
        left = logic::make(a >= b);
        return true;
    default:
        return apply_code(code, left, right);
    }
    left = cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(result), 0);
    return true;
}

// Applies the operator `op_value` to two integer! cells already read, the result replacing `left`, when the
// operator has a fast case; answers false (nothing changed) when the general call must run. Allocates
// nothing.
inline bool apply_integers(Cell const& op_value, Cell& left, Cell const& right)
{
    std::uint8_t const code = operation_code(op_value);
    return code != 0 && apply_known(code, left, right);
}

}
