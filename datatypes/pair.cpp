// pair!: arithmetic that stays in integers while it is exact, order by x then y, the coordinates by index or
// name, and the makers.

#include "datatypes/pair.h"

#include <charconv>
#include <cmath>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/number_shared.h"
#include "datatypes/point2d.h"
#include "datatypes/point_shared.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::pair {

void make_at(Cell& cell, std::int32_t x_value, std::int32_t y_value)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, static_cast<std::uint32_t>(x_value),
        static_cast<std::uint32_t>(y_value) };
}

Cell* make_in(Cell const& block, std::int32_t x_value, std::int32_t y_value)
{
    Cell* cell = series::append_cell(block);
    *cell = make(x_value, y_value);
    return cell;
}

Cell* push(std::int32_t x_value, std::int32_t y_value)
{
    return stack::push(make(x_value, y_value));
}

namespace {

// A number as a coordinate, cut toward zero. NaN, an infinity, or a number whose integer part leaves 32 bits
// has no coordinate: script invalid-arg with `culprit`.
std::int32_t truncated(double number, Cell const& culprit)
{
    if (!(number > -2147483649.0 && number < 2147483648.0)) fire_error(err::script::invalid_arg, &culprit);
    return static_cast<std::int32_t>(number);
}

std::int32_t truncated(Cell const& value)
{
    return truncated(cell::float_payload(value), value);
}

// The point2D! of a pair's coordinates.
Cell as_point(Cell const& value)
{
    return point2d::make(static_cast<float>(x(value)), static_cast<float>(y(value)));
}

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const type = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &type, &spec);
}

// A block of at least two values whose first two are integer! or float!.
Cell from_block(Cell const& spec)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::uint32_t const index = spec.word1;
    if (index >= buffer->length() || buffer->length() - index < 2) fire_error(err::syntax::malconstruct, &spec);
    std::int32_t coordinates[2];
    for (std::uint32_t i = 0; i < 2; ++i) {
        Cell const item = buffer->head_cell()[index + i];
        switch (cell::type_of(item)) {
        case type_ids::integer:
            coordinates[i] = integer::get(item);
            break;
        case type_ids::float_:
            coordinates[i] = truncated(item);
            break;
        default:
            fire_error(err::syntax::malconstruct, &spec);
        }
    }
    return make(coordinates[0], coordinates[1]);
}

// make and to (one operation): n gives nxn, a float both coordinates cut toward zero, a block its first two
// numbers, a text the pair it loads as.
Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    switch (cell::type_of(spec)) {
    case type_ids::integer:
        return make(integer::get(spec), integer::get(spec));
    case type_ids::float_: {
        std::int32_t const both = truncated(spec);
        return make(both, both);
    }
    case type_ids::block:
        return from_block(spec);
    case type_ids::string: {
        Rooted text(spec);
        Cell const loaded = services.load_single(*text);
        if (cell::type_of(loaded) != type_id) bad_to_arg(*text);
        return loaded;
    }
    case type_id:
        return spec;
    case type_ids::point2d:
        return make(truncated(point2d::x(spec), spec), truncated(point2d::y(spec), spec));
    default:
        bad_to_arg(spec);
    }
}

// The same text for form and mold, so a molded pair loads back as itself: 10x-20.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    constexpr std::ptrdiff_t widest = 11; // "-2147483648"
    char text[2 * widest + 1];
    char* end = std::to_chars(text, text + widest, x(value)).ptr;
    *end++ = 'x';
    end = std::to_chars(end, end + widest, y(value)).ptr;
    return string::append_ascii(buffer, { text, end }, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

bool is_coordinate_word(Cell const& word, words::Symbol name)
{
    return symbol::resolve(word.word2) == symbol::resolve(words::symbol_of(name));
}

// 1 or 2 for a coordinate selector (the integers 1 and 2, the words x and y), 0 for any other.
std::int32_t coordinate_of(Cell const& selector)
{
    TypeId const type = cell::type_of(selector);
    if (type == type_ids::integer) {
        std::int32_t const index = integer::get(selector);
        return index == 1 || index == 2 ? index : 0;
    }
    if (word::is_any_word(type)) {
        if (is_coordinate_word(selector, words::Symbol::x)) return 1;
        if (is_coordinate_word(selector, words::Symbol::y)) return 2;
    }
    return 0;
}

Cell pick(Cell const& value, std::int32_t, Cell const& index_value)
{
    std::int32_t const which = coordinate_of(index_value);
    if (which == 0) {
        if (word::is_any_word(cell::type_of(index_value))) {
            Cell const word = index_value;
            Cell const pair = value;
            fire_error(err::script::cannot_use, &word, &pair);
        }
        fire_error(err::script::out_of_range, &index_value);
    }
    return integer::make(which == 1 ? x(value) : y(value));
}

// A coordinate read, or set to an integer!: the set step answers the changed pair, which the evaluator
// stores back where the pair is kept.
Cell eval_path(PathStep const& step)
{
    TypeId const element_type = cell::type_of(step.element);
    std::int32_t const which
        = element_type == type_ids::integer || element_type == type_ids::word ? coordinate_of(step.element) : 0;
    if (which == 0) fire_error(err::script::invalid_path, step.path ? step.path : &step.value, &step.element);
    if (!step.new_value) return integer::make(which == 1 ? x(step.value) : y(step.value));
    Cell const new_value = *step.new_value;
    if (cell::type_of(new_value) != type_ids::integer) {
        Cell const type = datatype::make(cell::type_of(new_value));
        fire_error(err::script::invalid_type, &type);
    }
    Cell changed = step.value;
    (which == 1 ? changed.word2 : changed.word3) = new_value.word2;
    return changed;
}

// x decides, then y, whatever the operation.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) == type_ids::point2d) return point::compare(as_point(value1), value2, op);
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    auto const order = [](std::int32_t a, std::int32_t b) { return (a > b) - (a < b); };
    std::int32_t const by_x = order(x(value1), x(value2));
    return by_x != 0 ? by_x : order(y(value1), y(value2));
}

void absolute()
{
    Cell& value = *stack::state.base;
    make_at(value, integer::abs(x(value)), integer::abs(y(value)));
}

// Each coordinate in 32-bit two's complement: -2147483648 stays itself.
Cell negate(Cell const& value)
{
    Cell result = value;
    result.word2 = 0u - value.word2;
    result.word3 = 0u - value.word3;
    return result;
}

// The arithmetic and the bitwise operations, with the second operand a pair!, an integer! or a float!
// (percent! too) on both coordinates. Each coordinate is the integer! operation's; a result that is not an
// exact 32-bit integer (an overflow, a division with a remainder) belongs to point2D!, whose arithmetic redoes
// the operation on both operands as points; so does a product or quotient by a float.
void redo_as_points(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell& right = stack::state.base[1];
    if (cell::type_of(right) == type_id) right = as_point(right);
    left = as_point(left);
    point2d::do_math(op);
}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    std::int32_t right_x = 0;
    std::int32_t right_y = 0;
    switch (cell::type_of(right)) {
    case type_id:
        right_x = x(right);
        right_y = y(right);
        break;
    case type_ids::integer:
        right_x = right_y = integer::get(right);
        break;
    case type_ids::float_:
    case type_ids::percent: {
        double const number = cell::float_payload(right);
        if (op == MathOp::Multiply || op == MathOp::Divide) {
            if (float_::infinite_q(number) && (op == MathOp::Divide || !std::isnan(number)))
                fire_error(err::script::invalid_arg, &right);
            double const a = x(left);
            double const b = y(left);
            left = op == MathOp::Multiply
                ? point2d::make(static_cast<float>(a * number), static_cast<float>(b * number))
                : point2d::make(static_cast<float>(a / number), static_cast<float>(b / number));
            return;
        }
        right_x = right_y = truncated(right);
        break;
    }
    case type_ids::point2d:
        redo_as_points(op);
        return;
    default:
        number::invalid_type(right);
    }
    Cell exact_x = integer::make(0);
    Cell exact_y = integer::make(0);
    std::int32_t const result_x = integer::do_math_op(x(left), right_x, op, &exact_x);
    std::int32_t const result_y = integer::do_math_op(y(left), right_y, op, &exact_y);
    if (cell::type_of(exact_x) != type_ids::integer || cell::type_of(exact_y) != type_ids::integer) {
        redo_as_points(op);
        return;
    }
    make_at(left, result_x, result_y);
}

// Each coordinate by integer!'s round, to a multiple of the scale (a pair! scale: x by its x, y by its y). A
// result that comes back as a float! is cut toward zero; one that leaves 32 bits raises math overflow.
Cell round(Cell const& value, RoundOptions const& options)
{
    if (options.to && cell::type_of(*options.to) == type_ids::money) number::not_related_to_caller(type_ids::money);
    action_types::Round const round_integer = datatype::actions(type_ids::integer).round;
    auto const coordinate = [&](std::int32_t number, Cell const* scale) {
        RoundOptions each = options;
        each.to = scale;
        Cell const rounded = round_integer(integer::make(number), each);
        if (cell::type_of(rounded) == type_ids::integer) return integer::get(rounded);
        double const result = cell::float_payload(rounded);
        if (!(result > -2147483649.0 && result < 2147483648.0)) fire_error(err::math::overflow);
        return static_cast<std::int32_t>(result);
    };
    Cell scale_x = none_value;
    Cell scale_y = none_value;
    Cell const* to_x = options.to;
    Cell const* to_y = options.to;
    if (options.to && cell::type_of(*options.to) == type_id) {
        scale_x = integer::make(x(*options.to));
        scale_y = integer::make(y(*options.to));
        to_x = &scale_x;
        to_y = &scale_y;
    }
    Cell result = value;
    std::int32_t const rounded_x = coordinate(x(value), to_x);
    std::int32_t const rounded_y = coordinate(y(value), to_y);
    make_at(result, rounded_x, rounded_y);
    return result;
}

// /part and /skip change nothing.
Cell reverse(Cell const& value, Refinement, Refinement)
{
    Cell result = value;
    make_at(result, y(value), x(value));
    return result;
}

// With /seed the generator takes x xor y; otherwise each coordinate n becomes a draw from 1 to n (-1 to n
// when negative), x first; a zero coordinate stays zero.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        random::seed(x(value) ^ y(value));
        return unset_value;
    }
    Cell drawn = value;
    std::int32_t const new_x = random::int_(x(value), secure);
    std::int32_t const new_y = random::int_(y(value), secure);
    make_at(drawn, new_x, new_y);
    return drawn;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "pair!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = make_action,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .absolute = absolute,
        .add = number::math_slot<do_math, MathOp::Add>,
        .divide = number::math_slot<do_math, MathOp::Divide>,
        .multiply = number::math_slot<do_math, MathOp::Multiply>,
        .negate = negate,
        .remainder = number::math_slot<do_math, MathOp::Remainder>,
        .round = round,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .and_ = number::math_slot<do_math, MathOp::And>,
        .or_ = number::math_slot<do_math, MathOp::Or>,
        .xor_ = number::math_slot<do_math, MathOp::Xor>,
        .pick = pick,
        .reverse = reverse,
    },
};

}
