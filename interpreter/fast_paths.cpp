// Integer operators computed in place: the common case of every loop counter and comparison.

#include "interpreter/fast_paths.h"

#include "datatypes/logic.h"
#include "runtime/operations.h"

namespace xol::interp::fast {

namespace {

Cell make_float(double number)
{
    Cell result = cell::make(type_ids::float_);
    cell::set_float_payload(result, number);
    return result;
}

// Overflowing integer arithmetic gives the exact float result, as the integer! action does; an inexact
// quotient gives the float quotient. False for a division the action refuses (by zero, or the one quotient
// past the integers): its own call raises the error.
bool integer_math(MathOp op, std::int32_t left, std::int32_t right, Cell& out)
{
    std::int32_t result = 0;
    switch (op) {
    case MathOp::Add:
        if (__builtin_add_overflow(left, right, &result)) {
            out = make_float(double(left) + double(right));
            return true;
        }
        break;
    case MathOp::Subtract:
        if (__builtin_sub_overflow(left, right, &result)) {
            out = make_float(double(left) - double(right));
            return true;
        }
        break;
    case MathOp::Multiply:
        if (__builtin_mul_overflow(left, right, &result)) {
            out = make_float(double(left) * double(right));
            return true;
        }
        break;
    case MathOp::Divide:
    case MathOp::Remainder:
        if (right == 0 || (left == INT32_MIN && right == -1)) return false;
        if (op == MathOp::Remainder) {
            result = left % right;
        } else if (left % right != 0) {
            out = make_float(static_cast<double>(left) / static_cast<double>(right));
            return true;
        } else {
            result = left / right;
        }
        break;
    case MathOp::And:
        result = left & right;
        break;
    case MathOp::Or:
        result = left | right;
        break;
    case MathOp::Xor:
        result = left ^ right;
        break;
    default:
        break;
    }
    out = cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(result), 0);
    return true;
}

template <typename Number> bool compare_numbers(CompareOp op, Number left, Number right)
{
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::StrictEqual:
        return left == right;
    case CompareOp::NotEqual:
        return left != right;
    case CompareOp::Lesser:
        return left < right;
    case CompareOp::LesserOrEqual:
        return left <= right;
    case CompareOp::Greater:
        return left > right;
    case CompareOp::GreaterOrEqual:
        return left >= right;
    default:
        return false;
    }
}

}

bool apply_code(std::uint8_t code, Cell& left, Cell const& right)
{
    std::int32_t const left_number = static_cast<std::int32_t>(left.word2);
    std::int32_t const right_number = static_cast<std::int32_t>(right.word2);
    if (code & 0x80) {
        left = logic::make(compare_numbers(static_cast<CompareOp>(code & 0x7F), left_number, right_number));
        return true;
    }
    return integer_math(static_cast<MathOp>(code - 1), left_number, right_number, left);
}

}
