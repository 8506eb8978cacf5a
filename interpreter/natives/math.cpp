// The math natives: sign tests, max and min, shift, trigonometry in degrees or radians, logarithms and
// the NaN and zero tests. Floating point follows the hardware with every exception masked: overflow and
// invalid operations give infinities and NaN, never errors, and logarithms take no domain checks.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/point_shared.h"
#include "datatypes/tuple.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/math.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

constexpr double epsilon = 2.220446049250313e-16;
constexpr double pi = 3.141592653589793;
constexpr double ln_2 = 0.6931471805599453;
constexpr double e = 2.718281828459045;

static_assert(pi == std::numbers::pi && ln_2 == std::numbers::ln2 && e == std::numbers::e);

// The caller, the value's datatype and the native's first argument word.
[[noreturn]] void fire_expect_first_arg(Cell const& value)
{
    Cell const caller = stack::caller_word();
    Cell const type = datatype::make(cell::type_of(value));
    Cell const argument_word = error::function_arg_word(0);
    fire_error(err::script::expect_arg, &caller, &type, &argument_word);
}

// The types whose number is a double in words 2 and 3.
bool holds_double(TypeId type)
{
    return type == type_ids::float_ || type == type_ids::percent || type == type_ids::time;
}

// -1, 0 or 1 for a signed number; NaN and both zeros are 0, and so is a zero amount whatever its sign bit.
std::int32_t sign_of(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::integer) return integer::sign(integer::get(value));
    if (holds_double(type)) {
        double const number = float_::get(value);
        return (number > 0.0) - (number < 0.0);
    }
    if (type == type_ids::money) return money::sign_of(value);
    fire_expect_first_arg(value);
}

// The argument as a double: an integer! converted, a float! or percent! as it is.
double number_of(Cell const& value)
{
    if (cell::type_of(value) == type_ids::integer) return integer::get(value);
    return float_::get(value);
}

// Turns the first argument cell into a float! of its number: an integer! converted, a percent! retyped.
double to_float_result()
{
    Cell& value = *argument(0);
    double const number = number_of(value);
    float_::make_at(value, number);
    return number;
}

bool used(std::int32_t refinement)
{
    return refinement >= 0;
}

// The angle of a trigonometric native in radians: as given with /radians, else reduced from degrees and
// folded for the function.
double prepared_angle(std::int32_t const* refinements, math::AngleFold fold)
{
    double const angle = to_float_result();
    return used(refinements[0]) ? angle : math::degrees_to_radians(angle, fold);
}

// sine and cosine answer exactly 0.0 where the result is only rounding noise (sine 180, cosine 90).
double without_noise(double result)
{
    return std::fabs(result) < epsilon ? 0.0 : result;
}

// An inverse function's result, in degrees unless /radians.
void set_arc_result(std::int32_t const* refinements, double radians)
{
    float_::set_result(used(refinements[0]) ? radians : radians * 180.0 / pi);
}

bool nan_value_q(Cell const& value)
{
    return (cell::type_of(value) == type_ids::float_ || cell::type_of(value) == type_ids::percent)
        && float_::nan_bits_q(value.word2, value.word3);
}

bool plain_number_q(TypeId type)
{
    return type == type_ids::integer || type == type_ids::float_ || type == type_ids::percent;
}

bool scalar_q(TypeId type)
{
    return type == type_ids::integer || type == type_ids::float_;
}

// The compound types that max and min compare coordinate by coordinate against a scalar.
bool compound_q(TypeId type)
{
    return type == type_ids::pair || type == type_ids::tuple || type == type_ids::point2d || type == type_ids::point3d;
}

std::int32_t pick(bool max, std::int32_t a, std::int32_t b)
{
    return max ? (b > a ? b : a) : (b < a ? b : a);
}

// b's coordinate where it is larger (max) or smaller (min) than a's, or NaN.
float pick_coordinate(bool max, float a, float b)
{
    if (std::isnan(b)) return b;
    return (max ? b > a : b < a) ? b : a;
}

Cell pair_as_point(Cell const& pair)
{
    return point2d::make(static_cast<float>(pair::x(pair)), static_cast<float>(pair::y(pair)));
}

// A point2D! against a number, a pair or a point2D!; a point3D! against a number or a point3D!. A scalar
// stands for every coordinate, as a 32-bit float.
void max_min_points(bool max, Cell const& a, Cell const& b)
{
    TypeId const type_b = cell::type_of(b);
    if (cell::type_of(a) == type_ids::point3d) {
        float bx = 0;
        float by = 0;
        float bz = 0;
        if (type_b == type_ids::point3d) {
            bx = point3d::x(b);
            by = point3d::y(b);
            bz = point3d::z(b);
        } else {
            bx = by = bz = point::coordinate_of(b);
        }
        stack::set_last(point3d::make(pick_coordinate(max, point3d::x(a), bx), pick_coordinate(max, point3d::y(a), by),
            pick_coordinate(max, point3d::z(a), bz)));
        return;
    }
    Cell const other = type_b == type_ids::pair ? pair_as_point(b) : b;
    float bx = 0;
    float by = 0;
    if (cell::type_of(other) == type_ids::point2d) {
        bx = point2d::x(other);
        by = point2d::y(other);
    } else {
        bx = by = point::coordinate_of(other);
    }
    stack::set_last(point2d::make(pick_coordinate(max, point2d::x(a), bx), pick_coordinate(max, point2d::y(a), by)));
}

// A pair against a scalar or a pair, coordinate by coordinate. A float scalar counts truncated toward zero;
// one without an integer! value (NaN included, which no coordinate can hold) makes the comparison one of
// point2D! values.
void max_min_pair(bool max, Cell const& a, Cell const& b)
{
    std::int32_t bx = 0;
    std::int32_t by = 0;
    if (cell::type_of(b) == type_ids::pair) {
        bx = pair::x(b);
        by = pair::y(b);
    } else if (cell::type_of(b) == type_ids::integer) {
        bx = by = integer::get(b);
    } else {
        double const number = float_::get(b);
        if (std::isinf(number) || integer::check_float_range(std::trunc(number))) {
            auto const coordinate = static_cast<float>(number);
            max_min_points(max, pair_as_point(a), point2d::make(coordinate, coordinate));
            return;
        }
        bx = by = static_cast<std::int32_t>(number);
    }
    stack::set_last(pair::make(pick(max, pair::x(a), bx), pick(max, pair::y(a), by)));
}

// A tuple against a scalar or a tuple of its length, byte by byte. A float scalar counts truncated toward
// zero and must have an integer! value; the scalar is clamped to 0..255 before the bytes meet it.
void max_min_tuple(bool max, Cell const& a, Cell const& b)
{
    tuple::Bytes components = tuple::bytes(a);
    std::uint32_t const count = tuple::count(a);
    tuple::Bytes other;
    if (cell::type_of(b) == type_ids::tuple) {
        other = tuple::bytes(b);
    } else {
        std::int32_t scalar = 0;
        if (cell::type_of(b) == type_ids::integer) {
            scalar = integer::get(b);
        } else {
            double const number = float_::get(b);
            if (std::isinf(number) || integer::check_float_range(std::trunc(number))) {
                Cell const datatype = datatype::make(type_ids::integer);
                fire_error(err::script::type_limit, &datatype);
            }
            scalar = static_cast<std::int32_t>(number);
        }
        auto const byte = static_cast<std::uint8_t>(std::clamp(scalar, 0, 255));
        for (std::uint32_t i = 0; i < count; ++i) other.at[i] = byte;
    }
    for (std::uint32_t i = 0; i < count; ++i)
        components.at[i] = static_cast<std::uint8_t>(pick(max, components.at[i], other.at[i]));
    stack::set_last(tuple::make(components.at, count));
}

// max and min: a NaN among plain numbers wins; a compound value goes coordinate by coordinate (a scalar
// first given is swapped behind it); otherwise lesser? decides, and values it cannot order raise
// invalid-compare. On equal values max keeps the first argument and min the second.
void max_min(bool max)
{
    Cell a = *argument(0);
    Cell b = *argument(1);
    TypeId type_a = cell::type_of(a);
    TypeId type_b = cell::type_of(b);
    if (plain_number_q(type_a) && plain_number_q(type_b)) {
        if (nan_value_q(a)) return; // the result cell holds a already
        if (nan_value_q(b)) {
            stack::set_last(b);
            return;
        }
    }
    if (compound_q(type_b) && scalar_q(type_a)) {
        std::swap(a, b);
        std::swap(type_a, type_b);
    }
    if (type_a == type_ids::pair && (scalar_q(type_b) || type_b == type_ids::pair)) {
        max_min_pair(max, a, b);
        return;
    }
    if (type_a == type_ids::pair && type_b == type_ids::point2d) {
        max_min_points(max, pair_as_point(a), b);
        return;
    }
    if ((type_a == type_ids::point2d && (scalar_q(type_b) || type_b == type_ids::pair || type_b == type_ids::point2d))
        || (type_a == type_ids::point3d && (scalar_q(type_b) || type_b == type_ids::point3d))) {
        max_min_points(max, a, b);
        return;
    }
    if (type_a == type_ids::tuple
        && (scalar_q(type_b) || (type_b == type_ids::tuple && tuple::count(a) == tuple::count(b)))) {
        max_min_tuple(max, a, b);
        return;
    }
    bool const a_lesser = actions::compare(a, b, CompareOp::Lesser);
    stack::set_last(max == a_lesser ? b : a);
}

}

void negative_q(std::int32_t const*)
{
    logic::set_result(sign_of(*argument(0)) < 0);
}

void positive_q(std::int32_t const*)
{
    logic::set_result(sign_of(*argument(0)) > 0);
}

void sign_q(std::int32_t const*)
{
    integer::set_result(sign_of(*argument(0)));
}

void max(std::int32_t const*)
{
    max_min(true);
}

void min(std::int32_t const*)
{
    max_min(false);
}

std::int32_t shift_bits(std::int32_t value, std::int32_t bits, ShiftDirection direction)
{
    bits = std::max(bits, 0);
    switch (direction) {
    case ShiftDirection::Left:
        return bits <= 31 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << bits) : 0;
    case ShiftDirection::RightLogical:
        return bits <= 31 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(value) >> bits) : 0;
    case ShiftDirection::Right:
        break;
    }
    return bits <= 31 ? value >> bits : (value < 0 ? -1 : 0);
}

// Refinements: /left /logical. /left wins over /logical.
void shift(std::int32_t const* refinements)
{
    ShiftDirection const direction = used(refinements[0]) ? ShiftDirection::Left
        : used(refinements[1])                            ? ShiftDirection::RightLogical
                                                          : ShiftDirection::Right;
    integer::set_result(shift_bits(integer::get(*argument(0)), integer::get(*argument(1)), direction));
}

// Refinement of each trigonometric native: /radians.
void sine(std::int32_t const* refinements)
{
    float_::set_result(without_noise(std::sin(prepared_angle(refinements, math::AngleFold::Sine))));
}

void cosine(std::int32_t const* refinements)
{
    float_::set_result(without_noise(std::cos(prepared_angle(refinements, math::AngleFold::Cosine))));
}

// Infinite exactly at a quarter turn either way, where tan of the rounded angle would give a large finite
// number.
void tangent(std::int32_t const* refinements)
{
    double const angle = prepared_angle(refinements, math::AngleFold::Tangent);
    if (angle == pi / 2.0)
        float_::set_result(float_::infinity);
    else if (angle == pi / -2.0)
        float_::set_result(float_::negative_infinity);
    else
        float_::set_result(std::tan(angle));
}

void arcsine(std::int32_t const* refinements)
{
    set_arc_result(refinements, std::asin(to_float_result()));
}

void arccosine(std::int32_t const* refinements)
{
    set_arc_result(refinements, std::acos(to_float_result()));
}

void arctangent(std::int32_t const* refinements)
{
    set_arc_result(refinements, std::atan(to_float_result()));
}

// y comes first, x second.
void arctangent2(std::int32_t const* refinements)
{
    double const radians = std::atan2(number_of(*argument(0)), number_of(*argument(1)));
    float_::set_result(used(refinements[0]) ? radians : radians * (180.0 / pi));
}

// Infinities are numbers: only a NaN's bits answer true.
void nan_q(std::int32_t const*)
{
    logic::set_result(nan_value_q(*argument(0)));
}

void log_2(std::int32_t const*)
{
    float_::set_result(std::log(to_float_result()) / ln_2);
}

void log_10(std::int32_t const*)
{
    float_::set_result(std::log10(to_float_result()));
}

void log_e(std::int32_t const*)
{
    float_::set_result(std::log(to_float_result()));
}

void exp(std::int32_t const*)
{
    float_::set_result(std::pow(e, to_float_result()));
}

void square_root(std::int32_t const*)
{
    float_::set_result(std::sqrt(to_float_result()));
}

// A value that is not a number is simply not zero.
void zero_q(std::int32_t const*)
{
    Cell const& value = *argument(0);
    TypeId const type = cell::type_of(value);
    bool zero = false;
    if (type == type_ids::integer || type == type_ids::char_)
        zero = value.word2 == 0;
    else if (holds_double(type))
        zero = float_::get(value) == 0.0;
    else if (type == type_ids::pair)
        zero = pair::x(value) == 0 && pair::y(value) == 0;
    else if (type == type_ids::money)
        zero = money::zero_q(value);
    else if (type == type_ids::point2d || type == type_ids::point3d)
        zero = point2d::x(value) == 0.0f && point2d::y(value) == 0.0f
            && (type == type_ids::point2d || point3d::z(value) == 0.0f);
    else if (type == type_ids::tuple)
        zero = tuple::zero_q(value);
    logic::set_result(zero);
}

}
