// money!: making, text, paths, comparison, rounding and the arithmetic dispatcher over the decimal engine.

#include "datatypes/money.h"

#include <cmath>

#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/number_shared.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::money {

namespace {

void keep_flags(Cell& cell, Cell const& made)
{
    cell = Cell { (cell.header & ~(cell::type_mask | sign_flag)) | made.header, made.word1, made.word2, made.word3 };
}

Cell without_sign(Cell value)
{
    set_negative(value, false);
    return value;
}

Cell with_sign(Cell value, bool negative)
{
    set_negative(value, negative && !zero_q(value));
    return value;
}

// ---- Making -------------------------------------------------------------------------------------------

[[noreturn]] void bad_make_arg(Cell const& spec)
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::bad_make_arg, &datatype, &spec);
}

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &datatype, &spec);
}

// [currency amount fraction]: an optional currency word, an integer! or float! amount, and after an
// integer! amount an optional fraction in units of 0.00001, signed like the amount.
Cell from_block(Cell const& spec)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const count = spec.word1 < length ? length - spec.word1 : 0;
    if (count < 1 || count > 3) bad_make_arg(spec);
    Cell values[3];
    for (std::uint32_t i = 0; i < count; ++i) values[i] = buffer->head_cell()[spec.word1 + i];

    std::uint32_t next = 0;
    std::uint32_t currency = 0;
    if (cell::type_of(values[0]) == type_ids::word) {
        std::int32_t const index = currency_index(values[0].word2);
        if (index < 0 || count < 2) bad_make_arg(spec);
        currency = static_cast<std::uint32_t>(index);
        next = 1;
    }
    Cell const given = values[next++];
    Cell amount;
    TypeId const amount_type = cell::type_of(given);
    if (amount_type == type_ids::integer)
        amount = from_integer(integer::get(given));
    else if (amount_type == type_ids::float_)
        amount = from_float(float_::get(given), FloatMode::Strict);
    else
        bad_make_arg(spec);
    if (next < count) {
        if (amount_type != type_ids::integer || next + 1 != count || cell::type_of(values[next]) != type_ids::integer)
            bad_make_arg(spec);
        std::int32_t const fraction = integer::get(values[next]);
        if (fraction < 0 || fraction > largest_fraction) bad_make_arg(spec);
        Cell part = zero();
        for (int position = digit_count, rest = fraction; rest != 0; --position, rest /= 10)
            set_digit(part, position, rest % 10);
        amount = add(amount, with_sign(part, integer::get(given) < 0));
    }
    set_currency(amount, currency);
    return amount;
}

Cell to(Cell const&, Cell const& spec, TypeId)
{
    TypeId const type = cell::type_of(spec);
    switch (type) {
    case type_id:
        return spec;
    case type_ids::integer:
        return from_integer(integer::get(spec));
    case type_ids::float_:
        return from_float(float_::get(spec), FloatMode::Strict);
    default:
        if (type_ids::is_text(type)) {
            Rooted kept(spec);
            Cell const scanned = services.scan_money(*kept);
            if (cell::type_of(scanned) == type_id) return scanned;
            bad_to_arg(*kept);
        }
        bad_to_arg(spec);
    }
}

// A currency word alone makes a zero amount of that currency.
Cell make_action(Cell const& prototype, Cell const& spec, TypeId type)
{
    switch (cell::type_of(spec)) {
    case type_ids::word: {
        std::int32_t const index = currency_index(spec.word2);
        if (index < 0) bad_make_arg(spec);
        return zero(static_cast<std::uint32_t>(index));
    }
    case type_ids::block:
        return from_block(spec);
    default:
        return to(prototype, spec, type);
    }
}

// ---- Text ---------------------------------------------------------------------------------------------

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return format(value, buffer, limit, false, true);
}

// Without separators, so that the text loads back; /all writes every decimal.
std::int32_t mold(Cell const& value, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return format(value, buffer, limit, all, false);
}

// ---- Paths and pick -----------------------------------------------------------------------------------

enum class Selector { none = 0, code = 1, amount = 2 };

Selector selector_of(Cell const& element)
{
    TypeId const type = cell::type_of(element);
    if (type == type_ids::word) {
        SymbolId const name = symbol::resolve(element.word2);
        if (name == symbol::resolve(words::symbol_of(words::Symbol::code))) return Selector::code;
        if (name == symbol::resolve(words::symbol_of(words::Symbol::amount))) return Selector::amount;
    } else if (type == type_ids::integer) {
        std::int32_t const index = integer::get(element);
        if (index == 1 || index == 2) return static_cast<Selector>(index);
    }
    return Selector::none;
}

Cell select(Cell const& value, Selector selector)
{
    if (selector == Selector::code) return currency_word(currency_of(value));
    Cell amount = value;
    set_currency(amount, 0);
    return amount;
}

Cell eval_path(PathStep const& step)
{
    Cell const path = step.path ? *step.path : step.value;
    if (step.new_value) fire_error(err::script::bad_path_set, &path, &step.element);
    Selector const selector = selector_of(step.element);
    if (selector == Selector::none) fire_error(err::script::invalid_path, &path, &step.element);
    return select(step.value, selector);
}

Cell pick(Cell const& value, std::int32_t, Cell const& index_value)
{
    Selector const selector = selector_of(index_value);
    if (selector == Selector::none) fire_error(err::script::out_of_range, &index_value);
    return select(value, selector);
}

// ---- Comparison ---------------------------------------------------------------------------------------

// A float money! cannot hold: NaN answers every ordering test false; a huge float lies beyond every
// amount, on its own side of zero; a tiny one lies between zero and every amount that is not zero.
std::int32_t order_against_float(Cell const& value, double number, CompareOp op)
{
    if (actions::is_equality(op)) return 1;
    if (std::isnan(number)) {
        if (op == CompareOp::Lesser || op == CompareOp::LesserOrEqual) return 1;
        if (op == CompareOp::Greater || op == CompareOp::GreaterOrEqual) return -1;
        return 0;
    }
    if (float_too_big_q(number)) return number > 0 ? -1 : 1;
    std::int32_t const sign = sign_of(value);
    if (sign != 0) return sign;
    return number > 0 ? -1 : 1;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const other = cell::type_of(value2);
    bool const strict = op == CompareOp::StrictEqual || op == CompareOp::Same || op == CompareOp::FindEqual;
    if (strict && other != type_id) return 1;
    std::int32_t order;
    switch (other) {
    case type_id:
        if (op == CompareOp::Sort || op == CompareOp::CaseSort) return compare_with_currency(value1, value2);
        if (!actions::is_equality(op)) {
            if (!same_currency_q(value1, value2, false)) fire_error(err::script::wrong_denom, &value1, &value2);
        } else {
            bool const strict_currency = op == CompareOp::StrictEqual || op == CompareOp::Same
                || (op == CompareOp::FindEqual && currency_of(value2) != 0);
            if (!same_currency_q(value1, value2, strict_currency)) return 1;
        }
        order = compare_amounts(value1, value2);
        break;
    case type_ids::integer:
        order = compare_amounts(value1, from_integer(integer::get(value2)));
        break;
    case type_ids::float_:
    case type_ids::percent: {
        double const number = float_::get(value2);
        if (std::isnan(number) || float_too_big_q(number) || float_too_small_q(number))
            return order_against_float(value1, number, op);
        order = compare_amounts(value1, from_float(number, FloatMode::Strict));
        break;
    }
    default:
        return compare_incomparable;
    }
    if (actions::is_equality(op)) return order == 0 ? 0 : 1;
    return order;
}

// ---- Arithmetic ---------------------------------------------------------------------------------------

void absolute()
{
    set_negative(stack::state.base[0], false);
}

Cell negate(Cell const& value)
{
    return with_sign(value, !negative_bit(value));
}

// An operand of the arithmetic as money!: integers exactly, floats and percents with extra decimals dropped.
Cell as_money(Cell const& value)
{
    switch (cell::type_of(value)) {
    case type_id:
        return value;
    case type_ids::integer:
        return from_integer(integer::get(value));
    case type_ids::float_:
    case type_ids::percent:
        return from_float(float_::get(value), FloatMode::Lenient);
    default:
        number::invalid_type(value);
    }
}

// The scale of round: 1 without /to; a money! as it is, an integer! exactly, a float! strictly.
Cell scale_of(Refinement to)
{
    if (!to) return from_integer(1);
    switch (cell::type_of(*to)) {
    case type_id:
        return without_sign(*to);
    case type_ids::integer:
        return without_sign(from_integer(integer::get(*to)));
    case type_ids::float_:
        return without_sign(from_float(float_::get(*to), FloatMode::Strict));
    default:
        number::not_related_to_caller(cell::type_of(*to));
    }
}

// To a multiple of the scale: down is the multiple below the magnitude, up the one above. A tie is a
// remainder of exactly half the scale.
Cell round(Cell const& value, RoundOptions const& options)
{
    if (zero_q(value)) return value;
    Cell const scale = scale_of(options.to);
    if (zero_q(scale)) return value;
    bool const negative = sign_of(value) < 0;
    Cell const magnitude = without_sign(value);
    Cell const rest = remainder(magnitude, scale);
    if (zero_q(rest)) return value;
    Cell const missing = subtract(scale, rest);
    std::int32_t const half = compare_amounts(rest, missing); // below, at or above half the scale
    bool up;
    if (options.down)
        up = false;
    else if (options.floor)
        up = negative;
    else if (options.ceiling)
        up = !negative;
    else if (half != 0)
        up = half > 0;
    else if (options.even)
        up = !even_multiple_q(subtract(magnitude, rest), scale);
    else if (options.half_down)
        up = false;
    else if (options.half_ceiling)
        up = !negative;
    else
        up = true;
    Cell result = up ? add(magnitude, missing) : subtract(magnitude, rest);
    result = with_sign(result, negative);
    set_currency(result, currency_of(value));
    Cell rounded = value;
    keep_flags(rounded, result);
    return rounded;
}

// The parity of the units digit: the fraction is not looked at.
bool odd_q(Cell const& value)
{
    return (get_digit(value, integral_digits) & 1) != 0;
}
bool even_q(Cell const& value)
{
    return !odd_q(value);
}

// The generator's next number, taken as unsigned.
std::uint32_t next_draw()
{
    return static_cast<std::uint32_t>(random::next());
}

// A place drawn equal to the value's digit stands only when two further draws agree, so results that keep
// following the value's digits grow rare.
bool equal_draw_stands()
{
    std::uint32_t const first = next_draw() % 1000;
    return first == next_draw() % 1000;
}

// With /seed the generator takes the payload words and the sign bit, exclusive-ored. Otherwise the digits
// are drawn from the value's most significant one down, each at most the value's digit at its place: a
// draw below it frees every later place (any digit), one equal to it holds the next place to the value's
// digit, so the result never exceeds the value. The sign and currency stay. /secure and /only play no part.
Cell random(Cell const& value, bool seed, bool, bool)
{
    if (seed) {
        random::seed(static_cast<std::int32_t>(value.word1 ^ value.word2 ^ value.word3 ^ (value.header & sign_flag)));
        return unset_value;
    }
    Cell drawn = value;
    for (int position = digit_count - significant_digits(value) + 1; position <= digit_count; ++position) {
        auto const limit = static_cast<std::uint32_t>(get_digit(value, position));
        std::uint32_t digit = 0;
        do {
            digit = next_draw() % (limit + 1);
        } while (digit == limit && !equal_draw_stands());
        set_digit(drawn, position, static_cast<std::int32_t>(digit));
        if (digit < limit) {
            while (++position <= digit_count) set_digit(drawn, position, static_cast<std::int32_t>(next_draw() % 10));
        }
    }
    set_negative(drawn, negative_bit(value) && !zero_q(drawn));
    return drawn;
}

}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    bool const left_money = cell::type_of(left) == type_id;
    bool const right_money = cell::type_of(right) == type_id;
    if (op == MathOp::Multiply && left_money && right_money) number::invalid_type(left);
    if ((op == MathOp::Divide || op == MathOp::Remainder) && !left_money) number::invalid_type(left);
    Cell const a = as_money(left);
    Cell const b = as_money(right);
    if (!same_currency_q(a, b, false)) fire_error(err::script::wrong_denom, &left, &right);
    std::uint32_t const currency = currency_of(b) != 0 ? currency_of(b) : currency_of(a);
    Cell result;
    switch (op) {
    case MathOp::Add:
        result = add(a, b);
        break;
    case MathOp::Subtract:
        result = subtract(a, b);
        break;
    case MathOp::Multiply:
        result = multiply(a, b);
        break;
    case MathOp::Divide:
        result = divide(a, b);
        if (right_money) {
            float_::make_at(left, to_float(result));
            return;
        }
        break;
    case MathOp::Remainder:
        result = remainder(a, b);
        break;
    default:
        number::invalid_type(right);
    }
    set_currency(result, currency);
    keep_flags(left, result);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "money!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = to,
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
        .even_q = even_q,
        .odd_q = odd_q,
        .pick = pick,
    },
};

}
