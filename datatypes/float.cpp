// float!: hardware arithmetic, tolerant equality, the number former, and the arithmetic body that
// percent! and time! share.

#include "datatypes/float.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/compare.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/number_shared.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "runtime/float_text.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::float_ {

FloatState state;

void make_at(Cell& cell, double number)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, 0, 0 };
    cell::set_float_payload(cell, number);
}

Cell* push(double number)
{
    return stack::push(make(number));
}

Cell* push_raw(std::uint32_t low, std::uint32_t high)
{
    return stack::push(Cell { type_id, 0, low, high });
}

Cell* make_in(Cell const& block, double number)
{
    Cell* cell = series::append_cell(block);
    *cell = make(number);
    return cell;
}

void set_result(double number)
{
    stack::set_last(make(number));
}

// The secure form spreads two 31-bit draws over the scale, so it has more than 31 bits of randomness.
double random_value(double scale, bool secure)
{
    if (!secure) return random::next() / 2147483647.0 * scale;
    double const fraction = random::secure() / 2147483647.0;
    double const whole = random::secure();
    return (whole + fraction) / (2147483648.0 / scale);
}

namespace {

constexpr std::uint64_t sign_bit = 0x8000'0000'0000'0000;
constexpr std::uint64_t exponent_bits = 0x7FF0'0000'0000'0000;
constexpr std::uint64_t mantissa_bits = 0x000F'FFFF'FFFF'FFFF;
constexpr double epsilon = 2.220446049250313e-16;

std::uint64_t bits_of(std::uint32_t low, std::uint32_t high)
{
    return (std::uint64_t { high } << 32) | low;
}

}

double abs_bits(std::uint32_t low, std::uint32_t high)
{
    return std::bit_cast<double>(bits_of(low, high) & ~sign_bit);
}

bool nan_bits_q(std::uint32_t low, std::uint32_t high)
{
    std::uint64_t const bits = bits_of(low, high);
    return (bits & exponent_bits) == exponent_bits && (bits & mantissa_bits) != 0;
}

bool nan32_q(float number)
{
    return std::isnan(number);
}

bool infinite_q(double number)
{
    return !std::isfinite(number);
}

// Ordered keys: the bit patterns of doubles mapped so that unsigned order is numeric order and adjacent
// doubles are adjacent keys (both zeros share one key).
bool almost_equal_q(double a, double b)
{
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    if (std::fabs(a - b) < epsilon) return true;
    auto const key = [](double number) {
        std::uint64_t const bits = std::bit_cast<std::uint64_t>(number);
        return (bits & sign_bit) != 0 ? ~bits + 1 : bits | sign_bit;
    };
    std::uint64_t const key_a = key(a);
    std::uint64_t const key_b = key(b);
    return (key_a > key_b ? key_a - key_b : key_b - key_a) <= 10;
}

bool almost_equal32_q(float a, float b)
{
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    std::uint32_t const bits_a = std::bit_cast<std::uint32_t>(a);
    std::uint32_t const bits_b = std::bit_cast<std::uint32_t>(b);
    if (std::isinf(a) || std::isinf(b)) {
        std::uint32_t const magnitude_a = bits_a & 0x7FFF'FFFF;
        std::uint32_t const magnitude_b = bits_b & 0x7FFF'FFFF;
        std::uint32_t const distance
            = magnitude_a > magnitude_b ? magnitude_a - magnitude_b : magnitude_b - magnitude_a;
        return (bits_a >> 31) == (bits_b >> 31) && distance < 0x100000;
    }
    auto const key = [](std::uint32_t bits) {
        std::int64_t const magnitude = bits & 0x7FFF'FFFF;
        return (bits >> 31) != 0 ? -magnitude : magnitude;
    };
    std::int64_t const distance = key(bits_a) - key(bits_b);
    return distance >= -10 && distance <= 10;
}

// ---- The number former --------------------------------------------------------------------------------

namespace {

struct FormFormats {
    char const* first;
    char const* retry;
    bool percent_sign;
    bool point_zero;
};

constexpr FormFormats formats[6] = {
    { "%.7g", "%.5g", false, true },
    { "%.16g", "%.14g", false, true },
    { "%.7g", "%.14g", true, false },
    { "%.13g", "%.14g", true, false },
    { nullptr, "%.5g", false, false }, // six significant digits, correctly rounded
    { "%.7g", "%.5g", false, false },
};

// Room for 17 digits, a sign, a point, an exponent, the ".0" or "%" and the NUL.
char text_buffer[32];

std::size_t print_first(double number, int kind)
{
    if (formats[kind].first == nullptr) {
        std::string_view const text = format_precision(number, 6, KeepZero::No);
        std::memcpy(text_buffer, text.data(), text.size());
        text_buffer[text.size()] = '\0';
        return text.size();
    }
    return static_cast<std::size_t>(std::snprintf(text_buffer, sizeof text_buffer, formats[kind].first, number));
}

struct Scan {
    bool has_point = false;
    std::size_t exponent = 0; // position of the "e"; 0 when none
};

Scan scan(std::size_t length)
{
    Scan result;
    for (std::size_t i = 0; i < length; ++i) {
        if (text_buffer[i] == '.') result.has_point = true;
        if (text_buffer[i] == 'e') result.exponent = i;
    }
    return result;
}

// A text printed to the full precision that ends in ...01 or ...99 carries the noise of binary fractions:
// fewer digits give the value as written.
bool needs_retry(std::size_t length, Scan const& found)
{
    std::size_t end = length;
    if (found.exponent == 0) {
        std::size_t const first_digit = text_buffer[0] == '-' ? 1 : 0;
        if (length <= 16 || (text_buffer[first_digit] == '0' && length <= 17)) return false;
    } else {
        if (found.exponent <= 16) return false;
        end = found.exponent;
    }
    char const last = text_buffer[end - 1];
    char const before = text_buffer[end - 2];
    return (before == '0' && last == '1') || (before == '9' && last == '9');
}

// e+020 becomes e20, e-007 e-7.
std::size_t tidy_exponent(std::size_t length, std::size_t exponent)
{
    std::size_t source = exponent + 1;
    std::size_t target = exponent + 1;
    if (text_buffer[source] == '+') {
        ++source;
    } else if (text_buffer[source] == '-') {
        ++source;
        ++target;
    }
    while (source + 1 < length && text_buffer[source] == '0') ++source;
    std::memmove(text_buffer + target, text_buffer + source, length - source);
    length -= source - target;
    text_buffer[length] = '\0';
    return length;
}

}

std::string_view form_number(double number, int kind)
{
    std::uint64_t const bits = std::bit_cast<std::uint64_t>(number);
    if ((bits & exponent_bits) == exponent_bits) {
        if ((bits & mantissa_bits) != 0) return "1.#NaN";
        return (bits & sign_bit) != 0 ? "-1.#INF" : "1.#INF";
    }
    if (state.pretty && std::fabs(number) < epsilon) return kind == 2 || kind == 3 ? "0%" : kind == 5 ? "0" : "0.0";

    std::size_t length = print_first(number, kind);
    Scan found = scan(length);
    if (state.pretty && needs_retry(length, found)) {
        length = static_cast<std::size_t>(std::snprintf(text_buffer, sizeof text_buffer, formats[kind].retry, number));
        found = scan(length);
    }
    if (found.exponent != 0) length = tidy_exponent(length, found.exponent);
    if (formats[kind].percent_sign) {
        text_buffer[length++] = '%';
    } else if (formats[kind].point_zero && !found.has_point) {
        std::size_t const at = found.exponent != 0 ? found.exponent : length;
        std::memmove(text_buffer + at + 2, text_buffer + at, length - at);
        text_buffer[at] = '.';
        text_buffer[at + 1] = '0';
        length += 2;
    }
    text_buffer[length] = '\0';
    return { text_buffer, length };
}

// ---- Arithmetic ---------------------------------------------------------------------------------------

namespace {

using number::invalid_type;
using number::not_related;
using number::run_slot_of;
using number::swap_operands;

double number_of(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    return type == type_ids::integer || type == type_ids::char_ ? integer::get(value) : get(value);
}

}

double do_math(double left, double right, MathOp op)
{
    switch (op) {
    case MathOp::Add:
        return left + right;
    case MathOp::Subtract:
        return left - right;
    case MathOp::Multiply:
        return left * right;
    case MathOp::Divide:
        return left / right;
    case MathOp::Remainder:
        if (right * 0.0 == 0.0) return std::fmod(left, right);
        if (std::isnan(right)) return nan;
        return std::isfinite(left) ? left : nan; // by an infinity
    default: {
        Cell const word = stack::caller_word();
        Cell const type = datatype::make(type_id);
        fire_error(err::script::cannot_use, &word, &type);
    }
    }
}

void do_math_op(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    TypeId const left_type = cell::type_of(left);
    TypeId const right_type = cell::type_of(right);
    switch (right_type) {
    case type_ids::money:
        run_slot_of(right, op); // money!'s arithmetic takes a number on either side
        return;
    case type_ids::tuple:
        // The tuple's arithmetic takes the tuple on the left: only the operations that commute may swap.
        if (op != MathOp::Add && op != MathOp::Multiply) not_related(op, left_type);
        swap_operands();
        run_slot_of(stack::state.base[0], op);
        return;
    case type_ids::pair:
    case type_ids::point2d:
    case type_ids::point3d:
        if (left_type == type_ids::time) invalid_type(right);
        if (op == MathOp::Subtract || op == MathOp::Divide || op == MathOp::Remainder) not_related(op, right_type);
        swap_operands();
        run_slot_of(stack::state.base[0], op);
        return;
    case type_ids::char_:
        if (left_type == type_ids::time || left_type == type_ids::percent) invalid_type(right);
        break;
    case type_ids::integer:
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time:
        break;
    case type_ids::vector:
        // Each element of the vector takes the number as its left operand, in place; a time! has no vector.
        if (left_type == type_ids::time) invalid_type(right);
        stack::set_last(vector::do_math_scalar_left(op, left, right));
        return;
    default:
        invalid_type(right);
    }
    // time! on either side makes a time!; otherwise the left operand's type stays (an integer! left
    // becomes a float!).
    double const result = do_math(number_of(left), number_of(right), op);
    TypeId const result_type = right_type == type_ids::time ? type_ids::time
        : left_type == type_ids::integer                    ? type_id
                                                            : left_type;
    cell::set_type(left, result_type);
    cell::set_float_payload(left, result);
}

// ---- Conversions --------------------------------------------------------------------------------------

double from_binary(Cell const& binary)
{
    return std::bit_cast<double>(number::leading_bytes(binary, 8));
}

double from_block(Cell const& block)
{
    Cell const* cells = node::buffer(block.word2)->head_cell() + block.word1;
    for (int i = 0; i < 2; ++i) {
        TypeId const type = cell::type_of(cells[i]);
        if (type != type_ids::integer && type != type_ids::float_) {
            Cell const datatype = datatype::make(type_id);
            Cell const value = cells[i];
            fire_error(err::script::bad_to_arg, &datatype, &value);
        }
    }
    return number_of(cells[0]) * std::pow(10.0, std::trunc(number_of(cells[1])));
}

namespace {

[[noreturn]] void bad_to_arg(TypeId target, Cell const& spec)
{
    Cell const datatype = datatype::make(target);
    fire_error(err::script::bad_to_arg, &datatype, &spec);
}

// A text from its index through the lexer's decimal-float scanner ("," read as the decimal mark); an empty
// text or anything but one float raises bad-to-arg.
double scanned(Cell const& text)
{
    SeriesBuffer* const buffer = node::buffer(text.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const index = std::min(text.word1, length);
    std::int32_t error = 0;
    double const number = services.scan_float(buffer->head_address() + (std::size_t { index } << buffer->unit_shift()),
        length - index, buffer->unit(), error);
    if (error != 0 || index == length) bad_to_arg(type_id, text);
    return number;
}

// A percent's text loads as one number: "50%" is 50%, and "50" is 5000% as the integer 50 is.
double percent_from_text(Cell const& text)
{
    Rooted kept(text);
    Cell const loaded = services.load_single(*kept);
    switch (cell::type_of(loaded)) {
    case type_ids::integer:
        return integer::get(loaded);
    case type_ids::float_:
    case type_ids::percent:
        return get(loaded);
    default:
        bad_to_arg(type_ids::percent, *kept);
    }
}

Cell to(Cell const&, Cell const& spec, TypeId type)
{
    Cell result { type, 0, 0, 0 };
    switch (cell::type_of(spec)) {
    case type_ids::integer:
    case type_ids::char_:
        cell::set_float_payload(result, integer::get(spec));
        return result;
    case type_ids::time:
    case type_ids::float_:
    case type_ids::percent:
        cell::set_float_payload(result, get(spec));
        return result;
    case type_ids::binary:
        cell::set_float_payload(result, from_binary(spec));
        return result;
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash: {
        SeriesBuffer* buffer = node::buffer(spec.word2);
        std::uint32_t const length = buffer->length();
        if (spec.word1 >= length || length - spec.word1 != 2) bad_to_arg(type, spec);
        cell::set_float_payload(result, from_block(spec));
        return result;
    }
    case type_ids::money:
        cell::set_float_payload(result, money::to_float(spec));
        return result;
    default:
        if (!type_ids::is_text(cell::type_of(spec))) bad_to_arg(type, spec);
        cell::set_float_payload(result, type == type_ids::percent ? percent_from_text(spec) : scanned(spec));
        return result;
    }
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, form_number(get(value), 1), limit);
}

// The shortest text that reads back as the same double, whatever the pretty flag says.
std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, format_precision(get(value), 0, KeepZero::Yes), limit);
}

void absolute()
{
    Cell& value = *stack::state.base;
    cell::set_float_payload(value, abs_bits(value.word2, value.word3));
}

Cell negate(Cell const& value)
{
    Cell result = value;
    cell::set_float_payload(result, 0.0 - get(value));
    return result;
}

// Parity of the whole part; infinities and NaN are neither even nor odd.
bool odd_q(Cell const& value)
{
    return std::isfinite(get(value)) && std::fmod(std::trunc(get(value)), 2.0) != 0.0;
}
bool even_q(Cell const& value)
{
    return std::isfinite(get(value)) && !odd_q(value);
}

void power()
{
    Cell& base = stack::state.base[0];
    Cell const& exponent = stack::state.base[1];
    number::check_exponent(exponent);
    cell::set_float_payload(base, std::pow(get(base), number_of(exponent)));
}

// The seed is the XOR of the double's two halves, so every bit of the value counts.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        random::seed(static_cast<std::int32_t>(value.word2 ^ value.word3));
        return unset_value;
    }
    Cell drawn = value;
    cell::set_float_payload(drawn, random_value(get(value), secure));
    return drawn;
}

}

// ---- Comparison and rounding --------------------------------------------------------------------------

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const other = cell::type_of(value2);
    if ((op == CompareOp::StrictEqual || op == CompareOp::Same || op == CompareOp::FindEqual)
        && other != cell::type_of(value1))
        return 1;
    double b;
    switch (other) {
    case type_ids::integer:
        b = integer::get(value2);
        break;
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time:
        b = get(value2);
        break;
    case type_ids::money:
        return actions::compare_swapped(value1, value2, op);
    default:
        return compare_incomparable;
    }
    double const a = get(value1);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
        return almost_equal_q(a, b) ? 0 : 1;
    case CompareOp::StrictEqual:
        return a == b ? 0 : 1;
    case CompareOp::Same:
        return value1.word2 == value2.word2 && value1.word3 == value2.word3 ? 0 : 1;
    default:
        break;
    }
    if (std::isnan(a) || std::isnan(b)) {
        // Every ordering test with NaN is false, and no search finds it.
        switch (op) {
        case CompareOp::Lesser:
        case CompareOp::LesserOrEqual:
        case CompareOp::FindPathEqual:
        case CompareOp::FindStrictPathEqual:
        case CompareOp::FindEqual:
            return 1;
        case CompareOp::Greater:
        case CompareOp::GreaterOrEqual:
            return -1;
        default:
            return 0;
        }
    }
    return (a > b) - (a < b);
}

Cell round(Cell const& value, RoundOptions const& options)
{
    Cell const* scale = options.to;
    if (scale && cell::type_of(*scale) == type_ids::money) number::not_related_to_caller(type_ids::money);
    bool const percent = cell::type_of(value) == type_ids::percent;
    double const d = get(value);
    double s = percent ? 0.01 : 1.0;
    if (scale) {
        // A number scale on a percent counts in percents; a percent scale is a fraction already.
        s = std::fabs(number_of(*scale));
        if (percent && cell::type_of(*scale) != type_ids::percent) s /= 100.0;
    }
    bool const integer_scale = scale && cell::type_of(*scale) == type_ids::integer;
    // A zero unit has no multiples: the value stays as it is, like one too small to round. An integer! unit
    // is at least 1, so a value it is too small for (infinities included) lies far outside the 32-bit range.
    if (s == 0.0) return value;
    if (s < std::fabs(d) * 0x1p-53) {
        if (integer_scale) fire_error(err::math::overflow);
        return value;
    }

    // 1 / s overflows for the tiniest units: their binary exponent is applied apart.
    int exponent = 0;
    double unit = s;
    if (s < 1.0 && s <= 0x1p-1022) unit = std::frexp(s, &exponent);
    double const v = s >= 1.0 ? d / s : std::ldexp(d * (1.0 / unit), -exponent);

    double const magnitude = std::fabs(v);
    double const toward_zero = std::copysign(std::floor(magnitude), v);
    double const away = std::copysign(std::ceil(magnitude), v);
    double const half = std::floor(magnitude) + 0.5;
    double r;
    if (options.down)
        r = toward_zero;
    else if (options.floor)
        r = std::floor(v);
    else if (options.ceiling)
        r = std::ceil(v);
    else if (magnitude > half)
        r = away;
    else if (magnitude < half)
        r = toward_zero;
    else if (options.even)
        r = std::fmod(magnitude, 2.0) < 1.0 ? toward_zero : away;
    else if (options.half_down)
        r = toward_zero;
    else if (options.half_ceiling)
        r = std::ceil(v);
    else
        r = away;

    double const result = s >= 1.0 ? r * s : std::ldexp(r / (1.0 / unit), exponent);
    if (!std::isfinite(result) && std::isfinite(d)) fire_error(err::math::overflow);

    if (integer_scale) {
        if (integer::check_float_range(result)) fire_error(err::math::overflow);
        Cell rounded = value;
        integer::make_at(rounded, static_cast<std::int32_t>(result));
        return rounded;
    }
    Cell rounded = value;
    if (scale) cell::set_type(rounded, cell::type_of(*scale));
    cell::set_float_payload(rounded, result);
    return rounded;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "float!",
    .actions = {
        .make = to,
        .random = random,
        .to = to,
        .form = form,
        .mold = mold,
        .compare = compare,
        .absolute = absolute,
        .add = number::math_slot<do_math_op, MathOp::Add>,
        .divide = number::math_slot<do_math_op, MathOp::Divide>,
        .multiply = number::math_slot<do_math_op, MathOp::Multiply>,
        .negate = negate,
        .power = power,
        .remainder = number::math_slot<do_math_op, MathOp::Remainder>,
        .round = round,
        .subtract = number::math_slot<do_math_op, MathOp::Subtract>,
        .even_q = even_q,
        .odd_q = odd_q,
    },
};

}
