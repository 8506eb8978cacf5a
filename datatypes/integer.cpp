// integer!: arithmetic that moves to float! where a 32-bit result would be wrong, and raises only where
// no float answer exists.

#include "datatypes/integer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <iterator>

#include "datatypes/compare.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/logic.h"
#include "datatypes/money.h"
#include "datatypes/number_shared.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "runtime/quit.h"
#include "runtime/random.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol::integer {

void make_at(Cell& cell, std::int32_t number)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, static_cast<std::uint32_t>(number), 0 };
}

Cell* push(std::int32_t number)
{
    return stack::push(make(number));
}

Cell* make_in(Cell const& block, std::int32_t number)
{
    Cell* cell = series::append_cell(block);
    *cell = make(number);
    return cell;
}

std::int32_t get_result()
{
    return get(*stack::state.base);
}

std::int32_t result_or_zero()
{
    return cell::type_of(*stack::state.base) == type_id ? get(*stack::state.base) : 0;
}

void set_result(std::int32_t number)
{
    stack::set_last(make(number));
}

std::int32_t abs(std::int32_t number)
{
    if (number == INT32_MIN) fire_error(err::math::overflow);
    return number < 0 ? -number : number;
}

std::string_view form_signed(std::int32_t number)
{
    static char text[16]; // "-2147483648" and its NUL
    char* end = std::to_chars(text, std::end(text) - 1, number).ptr;
    *end = '\0';
    return { text, end };
}

namespace {

void write_float(Cell& result, double number)
{
    cell::set_type(result, float_::type_id);
    cell::set_float_payload(result, number);
}

}

std::int32_t do_math_op(std::int32_t left, std::int32_t right, MathOp op, Cell* result)
{
    std::int32_t answer = 0;
    switch (op) {
    case MathOp::Add:
    case MathOp::Subtract:
    case MathOp::Multiply: {
        bool const overflowed = op == MathOp::Add ? __builtin_add_overflow(left, right, &answer)
            : op == MathOp::Subtract              ? __builtin_sub_overflow(left, right, &answer)
                                                  : __builtin_mul_overflow(left, right, &answer);
        if (overflowed && result) {
            double const l = left;
            double const r = right;
            write_float(*result, op == MathOp::Add ? l + r : op == MathOp::Subtract ? l - r : l * r);
            return 0;
        }
        break;
    }
    case MathOp::Divide:
    case MathOp::Remainder:
        if (right == 0) fire_error(err::math::zero_divide);
        if (left == INT32_MIN && right == -1) fire_error(err::math::overflow);
        if (op == MathOp::Remainder) {
            answer = left % right;
        } else if (result && left % right != 0) {
            write_float(*result, static_cast<double>(left) / static_cast<double>(right));
            return 0;
        } else {
            answer = left / right;
        }
        break;
    case MathOp::Or:
        answer = left | right;
        break;
    case MathOp::And:
        answer = left & right;
        break;
    case MathOp::Xor:
        answer = left ^ right;
        break;
    default:
        runtime::no_switch_matched();
    }
    if (result) result->word2 = static_cast<std::uint32_t>(answer);
    return answer;
}

action_types::FromFrame arithmetic_slot(TypeId type, MathOp op)
{
    if (!datatype::is_registered(type)) return nullptr;
    TypeActions const& actions = datatype::actions(type);
    switch (op) {
    case MathOp::Add:
        return actions.add;
    case MathOp::Subtract:
        return actions.subtract;
    case MathOp::Multiply:
        return actions.multiply;
    case MathOp::Divide:
        return actions.divide;
    case MathOp::Remainder:
        return actions.remainder;
    case MathOp::Or:
        return actions.or_;
    case MathOp::And:
        return actions.and_;
    case MathOp::Xor:
        return actions.xor_;
    default:
        return nullptr;
    }
}

namespace {

using number::invalid_type;
using number::not_related;
using number::run_slot_of;
using number::swap_operands;

}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    switch (cell::type_of(right)) {
    case type_ids::integer:
    case type_ids::char_:
        do_math_op(get(left), get(right), op, &left);
        return;
    case type_ids::money:
        run_slot_of(right, op); // money!'s arithmetic takes a number on either side
        return;
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time:
        float_::do_math_op(op);
        return;
    case type_ids::pair:
    case type_ids::point2d:
    case type_ids::point3d: {
        TypeId const type = cell::type_of(right);
        // The operands trade places: a remainder would come out of the wrong division.
        if (op == MathOp::Divide || op == MathOp::Remainder) not_related(op, type_id);
        swap_operands();
        if (op == MathOp::Subtract) {
            // n - compound is -compound + n.
            action_types::Unary const negate = datatype::actions(type).negate;
            if (!negate) invalid_type(stack::state.base[0]);
            stack::state.base[0] = negate(stack::state.base[0]);
            op = MathOp::Add;
        }
        run_slot_of(stack::state.base[0], op);
        return;
    }
    case type_ids::tuple:
        if (op == MathOp::Subtract || op == MathOp::Divide || op == MathOp::Remainder) not_related(op, type_id);
        swap_operands();
        run_slot_of(stack::state.base[0], op);
        return;
    case type_ids::date:
        // A date's arithmetic with an integer on its left is only an addition: anything else is a subtraction.
        if (op != MathOp::Add) not_related(MathOp::Subtract, type_id);
        swap_operands();
        run_slot_of(stack::state.base[0], op);
        return;
    case type_ids::vector:
        // Each element of the vector takes the integer as its left operand, in place.
        stack::set_last(vector::do_math_scalar_left(op, stack::state.base[0], right));
        return;
    default:
        invalid_type(right);
    }
}

std::optional<std::int32_t> int_power(std::int32_t base, std::int32_t exponent)
{
    std::int32_t result = 1;
    while (exponent != 0) {
        if ((exponent & 1) != 0 && __builtin_mul_overflow(result, base, &result)) return std::nullopt;
        exponent >>= 1;
        if (exponent != 0 && __builtin_mul_overflow(base, base, &base)) return std::nullopt;
    }
    return result;
}

bool check_float_range(double number)
{
    return std::isnan(number) || number > 2147483647.0 || number < -2147483648.0;
}

namespace {

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const type = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &type, &spec);
}

// The first up to 4 bytes from the index, big-endian: fewer bytes give a smaller number.
std::int32_t from_binary(Cell const& binary)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(number::leading_bytes(binary, 4)));
}

// An issue's spelling read as hexadecimal: up to 8 digits, so 8 digits may give a negative number. An empty
// spelling, a longer one, or anything but a digit raises invalid-data; a character beyond ASCII is never a
// digit, whatever its low bits.
std::int32_t from_issue(Cell const& issue)
{
    std::string_view const spelling = symbol::spelling(issue.word2);
    auto const* position = reinterpret_cast<std::uint8_t const*>(spelling.data());
    auto const* const end = position + spelling.size();
    std::uint32_t number = 0;
    std::uint32_t digits = 0;
    while (position < end) {
        std::int32_t code_point = 0;
        position = unicode::utf8_decode(position, end, code_point);
        std::uint32_t digit = 16;
        if (code_point >= '0' && code_point <= '9') digit = static_cast<std::uint32_t>(code_point - '0');
        if (code_point >= 'A' && code_point <= 'F') digit = static_cast<std::uint32_t>(code_point - 'A' + 10);
        if (code_point >= 'a' && code_point <= 'f') digit = static_cast<std::uint32_t>(code_point - 'a' + 10);
        if (digit == 16 || ++digits > 8) fire_error(err::script::invalid_data, &issue);
        number = (number << 4) | digit;
    }
    if (digits == 0) fire_error(err::script::invalid_data, &issue);
    return static_cast<std::int32_t>(number);
}

// The text from its index through the lexer's decimal-integer scanner: an optional sign, digits with "'"
// separators. Anything else, an empty text or a lone sign included, and a number beyond 32 bits raise
// bad-to-arg.
std::int32_t from_text(Cell const& text)
{
    SeriesBuffer* const buffer = node::buffer(text.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const index = std::min(text.word1, length);
    std::int32_t error = 0;
    std::int32_t const number
        = services.scan_integer(buffer->head_address() + (std::size_t { index } << buffer->unit_shift()),
            length - index, buffer->unit(), error);
    if (error != 0) bad_to_arg(text);
    return number;
}

Cell to(Cell const&, Cell const& spec, TypeId)
{
    if (type_ids::is_text(cell::type_of(spec))) return make(from_text(spec));
    switch (cell::type_of(spec)) {
    case type_ids::integer:
        return spec;
    case type_ids::char_:
        return make(get(spec));
    case type_ids::float_:
    case type_ids::percent: {
        double const number = float_::get(spec);
        if (check_float_range(number)) {
            Cell const type = datatype::make(type_id);
            fire_error(err::script::type_limit, &type);
        }
        return make(static_cast<std::int32_t>(number)); // a percent is a fraction: 50% gives 0
    }
    case type_ids::time: {
        double const seconds = float_::get(spec) + 0.5;
        if (check_float_range(seconds)) {
            Cell const type = datatype::make(type_id);
            fire_error(err::script::type_limit, &type);
        }
        return make(static_cast<std::int32_t>(seconds));
    }
    case type_ids::binary:
        return make(from_binary(spec));
    case type_ids::issue:
        return make(from_issue(spec));
    case type_ids::money:
        return make(money::to_integer(spec));
    case type_ids::date: {
        std::int64_t const seconds = date::to_epoch_seconds(spec);
        if (seconds < INT32_MIN || seconds > INT32_MAX) {
            Cell const type = datatype::make(type_id);
            fire_error(err::script::type_limit, &type);
        }
        return make(static_cast<std::int32_t>(seconds));
    }
    default:
        bad_to_arg(spec);
    }
}

Cell make_action(Cell const& prototype, Cell const& spec, TypeId type)
{
    if (cell::type_of(spec) == type_ids::logic) return make(logic::get(spec) ? 1 : 0);
    return to(prototype, spec, type);
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, form_signed(get(value)), limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, form_signed(get(value)), limit);
}

std::int32_t order_of(std::int32_t a, std::int32_t b)
{
    return (a > b) - (a < b);
}

// The strict and the search equalities, and same?, never equate an integer with another type.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const other = cell::type_of(value2);
    if ((op == CompareOp::StrictEqual || op == CompareOp::FindEqual || op == CompareOp::Same) && other != type_id)
        return 1;
    switch (other) {
    case type_ids::integer:
    case type_ids::char_:
        return order_of(get(value1), get(value2));
    case type_ids::money:
        return actions::compare_swapped(value1, value2, op);
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time:
        return float_::compare(float_::make(get(value1)), value2, op);
    default:
        return compare_incomparable;
    }
}

void absolute()
{
    stack::state.base->word2 = static_cast<std::uint32_t>(abs(get(*stack::state.base)));
}

Cell negate(Cell const& value)
{
    if (get(value) == INT32_MIN) fire_error(err::math::overflow);
    Cell result = value;
    result.word2 = static_cast<std::uint32_t>(-get(value));
    return result;
}

Cell complement(Cell const& value)
{
    Cell result = value;
    result.word2 = ~value.word2;
    return result;
}

bool even_q(Cell const& value)
{
    return (value.word2 & 1) == 0;
}
bool odd_q(Cell const& value)
{
    return (value.word2 & 1) != 0;
}

void power()
{
    Cell& base = stack::state.base[0];
    Cell const& exponent = stack::state.base[1];
    number::check_exponent(exponent);
    TypeId const exponent_type = cell::type_of(exponent);
    if (exponent_type == type_ids::integer && get(exponent) >= 0) {
        if (std::optional<std::int32_t> const result = int_power(get(base), get(exponent))) {
            base.word2 = static_cast<std::uint32_t>(*result);
            return;
        }
    }
    double const power = exponent_type == type_ids::integer ? get(exponent) : float_::get(exponent);
    write_float(base, std::pow(static_cast<double>(get(base)), power));
}

// Rounding to a multiple of s, in 64 bits so that -2147483648 and a scale of -2147483648 need no special
// case: r is how far |n| lies above the multiple below it, d how far below the one above. A result outside
// the 32-bit range raises math overflow.
Cell round(Cell const& value, RoundOptions const& options)
{
    if (options.to && cell::type_of(*options.to) == type_ids::money) number::not_related_to_caller(type_ids::money);
    std::int32_t const n = get(value);
    std::int64_t s = 1;
    if (options.to) {
        if (cell::type_of(*options.to) != type_id) return float_::round(float_::make(n), options);
        std::int64_t const scale = get(*options.to);
        s = scale < 0 ? -scale : scale;
    }
    if (s == 0) return value;
    std::int64_t const a = n < 0 ? -std::int64_t { n } : n;
    std::int64_t const r = a % s;
    if (r == 0) return value;
    std::int64_t const d = s - r;
    std::int64_t const sign = n < 0 ? -1 : 1;
    std::int64_t const toward_zero = sign * (a - r);
    std::int64_t const away = sign * (a + d);
    std::int64_t const up = n > 0 ? away : toward_zero; // toward plus infinity
    std::int64_t const down = n > 0 ? toward_zero : away; // toward minus infinity
    std::int64_t result;
    if (options.down)
        result = toward_zero;
    else if (options.floor)
        result = down;
    else if (options.ceiling)
        result = up;
    else if (r < d)
        result = toward_zero;
    else if (r > d)
        result = away;
    else if (options.even)
        result = (a / s) % 2 == 0 ? toward_zero : away;
    else if (options.half_down)
        result = toward_zero;
    else if (options.half_ceiling)
        result = up;
    else
        result = away;
    if (result < INT32_MIN || result > INT32_MAX) fire_error(err::math::overflow);
    Cell rounded = value;
    rounded.word2 = static_cast<std::uint32_t>(static_cast<std::int32_t>(result));
    return rounded;
}

// A char! inherits this slot: the code point is drawn in its cell, so the answer stays a char!.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        random::seed(get(value));
        return unset_value;
    }
    Cell drawn = value;
    drawn.word2 = static_cast<std::uint32_t>(random::int_(get(value), secure));
    return drawn;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "integer!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = to,
        .form = form,
        .mold = mold,
        .compare = compare,
        .absolute = absolute,
        .add = number::math_slot<do_math, MathOp::Add>,
        .divide = number::math_slot<do_math, MathOp::Divide>,
        .multiply = number::math_slot<do_math, MathOp::Multiply>,
        .negate = negate,
        .power = power,
        .remainder = number::math_slot<do_math, MathOp::Remainder>,
        .round = round,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .even_q = even_q,
        .odd_q = odd_q,
        .and_ = number::math_slot<do_math, MathOp::And>,
        .complement = complement,
        .or_ = number::math_slot<do_math, MathOp::Or>,
        .xor_ = number::math_slot<do_math, MathOp::Xor>,
    },
};

}
