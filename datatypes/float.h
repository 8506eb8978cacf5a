// float!: the IEEE-754 double (words 2 and 3, low half first). Arithmetic follows the hardware (division
// by zero gives an infinity or NaN); equal? is tolerant to 10 units in the last place, strict-equal?
// exact. The module also holds the arithmetic body shared by percent! and time!, the number former used
// by percent!, time!, vector!, point2D! and point3D!, and the tolerant comparisons of the point types.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "datatypes/action_table.h"

namespace xol::float_ {

inline constexpr TypeId type_id = type_ids::float_;

inline constexpr double max_value = std::numeric_limits<double>::max();
inline constexpr double infinity = std::numeric_limits<double>::infinity();
inline constexpr double negative_infinity = -std::numeric_limits<double>::infinity();
inline constexpr double nan = std::numeric_limits<double>::quiet_NaN(); // bits 0x7FF8000000000000

// The pretty flag: the value of system/options/float/pretty?, kept here by that field's change handler.
// The field starts true, so the flag does too: it never disagrees with the field, even before the options
// object exists.
struct FloatState {
    bool pretty = true;
};
extern FloatState state;

inline double get(Cell const& value)
{
    return cell::float_payload(value);
}
inline Cell make(double number)
{
    Cell value { type_id, 0, 0, 0 };
    cell::set_float_payload(value, number);
    return value;
}
void make_at(Cell& cell, double number); // keeps the cell's header flags
Cell* push(double number); // a new float! on the value stack
Cell* push_raw(std::uint32_t low, std::uint32_t high);
Cell* make_in(Cell const& block, double number); // appended at the block's tail. May allocate.
void set_result(double number); // into the current call's result cell

double abs_bits(std::uint32_t low, std::uint32_t high); // the double with its sign bit cleared
bool nan_bits_q(std::uint32_t low, std::uint32_t high);
bool nan32_q(float number);
bool infinite_q(double number); // not finite: an infinity or NaN

// Tolerant equality: NaN never; equal or closer than the double epsilon; else at most 10 units in the
// last place apart.
bool almost_equal_q(double a, double b);
// The same for single-precision values (the point types).
bool almost_equal32_q(float a, float b);

// The number's text for a kind of value, in a buffer shared by all callers: valid until the next call.
// Kinds: 0 "%.7g" with ".0", 1 "%.16g" with ".0" (float!), 2 "%.7g" with "%", 3 "%.13g" with "%",
// 4 six significant digits, 5 "%.7g". The pretty flag retries a text that ends in "01" or "99" with
// fewer digits and writes tiny magnitudes as zero.
std::string_view form_number(double number, int kind);

// The double result of add, subtract, multiply, divide or remainder; other codes raise script cannot-use.
double do_math(double left, double right, MathOp);

// The action body of add, subtract, multiply, divide and remainder for float!, percent! and time! left
// operands (and integer! ones whose right operand is one of those): left in the call's result cell, right
// after it.
void do_math_op(MathOp);

// float!'s compare and round, which integer! hands mixed cases to.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
Cell round(Cell const& value, RoundOptions const&);

// A random double: a draw of the generator over 2^31 - 1, times the scale; with `secure`, two draws of the
// secure source combined, (b + a / (2^31 - 1)) / (2^31 / scale).
double random_value(double scale, bool secure);
double from_binary(Cell const& binary); // up to 8 bytes from the index, big-endian; fewer act as leading zeros
double from_block(Cell const& block); // [mantissa exponent]: m x 10^e

extern DatatypeRecord const record; // no parent

}
