// Integer and float operators computed in place: the common case of every loop counter and comparison.

#include "interpreter/fast_paths.h"

#include "datatypes/logic.h"
#include "datatypes/op.h"
#include "interpreter/calls.h"
#include "runtime/memory.h"
#include "runtime/operations.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::interp::fast {

namespace {

enum class Family : std::uint8_t { None, Math, Compare };

struct Operation {
    Family family = Family::None;
    MathOp math = MathOp::Add;
    CompareOp compare = CompareOp::Equal;
};

// The action and native indexes of the operators that have a fast case.
Operation operation_of(Cell const& op_value)
{
    TypeId const wrapped = op::wrapped_type(op_value);
    std::uint32_t const index = op_value.word1 + 1;
    if (wrapped == type_ids::action) {
        switch (index) {
        case 11:
            return { Family::Math, MathOp::Add };
        case 12:
            return { Family::Math, MathOp::Divide };
        case 16:
            return { Family::Math, MathOp::Remainder };
        case 18:
            return { Family::Math, MathOp::Subtract };
        case 13:
            return { Family::Math, MathOp::Multiply };
        case 21:
            return { Family::Math, MathOp::And };
        case 23:
            return { Family::Math, MathOp::Or };
        case 24:
            return { Family::Math, MathOp::Xor };
        default:
            return {};
        }
    }
    if (wrapped == type_ids::native) {
        switch (index) {
        case 25:
            return { Family::Compare, MathOp::Add, CompareOp::Equal };
        case 26:
            return { Family::Compare, MathOp::Add, CompareOp::NotEqual };
        case 27:
            return { Family::Compare, MathOp::Add, CompareOp::StrictEqual };
        case 28:
            return { Family::Compare, MathOp::Add, CompareOp::Lesser };
        case 29:
            return { Family::Compare, MathOp::Add, CompareOp::Greater };
        case 30:
            return { Family::Compare, MathOp::Add, CompareOp::LesserOrEqual };
        case 31:
            return { Family::Compare, MathOp::Add, CompareOp::GreaterOrEqual };
        default:
            return {};
        }
    }
    return {};
}

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

std::uint8_t operation_code(Cell const& op_value)
{
    Operation const operation = operation_of(op_value);
    switch (operation.family) {
    case Family::Math:
        return static_cast<std::uint8_t>(1 + static_cast<unsigned>(operation.math));
    case Family::Compare:
        return static_cast<std::uint8_t>(0x80 | static_cast<unsigned>(operation.compare));
    default:
        return 0;
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

bool apply_integers(Cell const& op_value, Cell& left, Cell const& right)
{
    Operation const operation = operation_of(op_value);
    if (operation.family == Family::None) return false;
    std::int32_t const left_number = static_cast<std::int32_t>(left.word2);
    std::int32_t const right_number = static_cast<std::int32_t>(right.word2);
    if (operation.family == Family::Math) return integer_math(operation.math, left_number, right_number, left);
    left = logic::make(compare_numbers(operation.compare, left_number, right_number));
    return true;
}

std::uint32_t try_infix(Cell const& op_value, Cell const& word, Code const& code, std::uint32_t position, Cell* operand)
{
    Operation const operation = operation_of(op_value);
    if (operation.family == Family::None) return 0;
    TypeId const left_type = cell::type_of(*operand);
    if (left_type != type_ids::integer) return 0;
    if (code.at_end(position)) return 0;

    // The operand's evaluation may move the operator's record and spec: the function is kept rooted.
    Rooted function(Cell { op::wrapped_type(op_value), op_value.word1, op_value.word2, op_value.word3 });
    Rooted name(word);
    std::uint32_t const after = eval_expression_deferred(code, position, true, true, false);
    if (stack::has_pending()) return after;
    Cell const& right = stack::state.top[-1];
    if (cell::type_of(right) == type_ids::integer) {
        std::int32_t const left_number = static_cast<std::int32_t>(operand->word2);
        std::int32_t const right_number = static_cast<std::int32_t>(right.word2);
        bool done = true;
        if (operation.family == Family::Math)
            done = integer_math(operation.math, left_number, right_number, *operand);
        else
            *operand = logic::make(compare_numbers(operation.compare, left_number, right_number));
        if (done) {
            stack::cut_to(operand + 1);
            return after;
        }
    }
    // Both operands are on the stack: the operator's own call takes them from there.
    call_pushed(*function, *name);
    return after;
}

}
