// money!: an exact decimal amount with an optional currency: 22 decimal digits, 17 before the point and 5
// after it, packed two to a byte inside the cell, a sign and a currency index.
//
// Cell: header type 49, bit 14 (sign_flag) set for a negative amount; cell byte 4 (the low byte of word 1)
// the currency index, 0 for none, else the 1-based position of the currency's word in
// system/locale/currencies/list; cell bytes 5 to 15 the digits. Digit positions run 1 to 22 from the most
// significant: position p is in digit byte (p - 1) / 2, an odd position in the high nibble. Position 17 is
// the units digit. The amount is the integer the 22 digits form, in units of 0.00001.
//
// A zero amount has no sign: the sign bit of a zero is ignored everywhere and never printed. Arithmetic
// truncates towards zero, never rounds; a result beyond 22 digits, or a non-zero result that truncates to
// zero, raises script type-limit with money!, and the operands stay as they were.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::money {

inline constexpr TypeId type_id = type_ids::money;
inline constexpr std::uint32_t sign_flag = 0x4000;
inline constexpr int digit_count = 22;
inline constexpr int integral_digits = 17;
inline constexpr int fraction_digits = 5;
inline constexpr int digit_bytes = 11;
inline constexpr std::int32_t largest_fraction = 99999; // the fraction field of a make block, in 0.00001
inline constexpr int largest_currency_index = 255;

using DigitBytes = std::array<std::uint8_t, digit_bytes>;

// ---- The cell -----------------------------------------------------------------------------------------

inline bool negative_bit(Cell const& value)
{
    return (value.header & sign_flag) != 0;
}
inline std::uint32_t currency_of(Cell const& value)
{
    return value.word1 & 0xFF;
}
void set_negative(Cell& value, bool negative);
void set_currency(Cell& value, std::uint32_t index); // 0 to 255
DigitBytes digit_bytes_of(Cell const& value);
void set_digit_bytes(Cell& value, DigitBytes const& bytes);
std::int32_t get_digit(Cell const& value, int position); // positions 1 to 22
void set_digit(Cell& value, int position, std::int32_t digit);

bool zero_q(Cell const& value);
// -1, 0 or 1: 0 for a zero amount whatever its sign bit.
std::int32_t sign_of(Cell const& value);
// The digits from the first that is not zero to the last; 1 for zero.
std::int32_t significant_digits(Cell const& value);

// ---- Makers -------------------------------------------------------------------------------------------

// The stored bytes as they are: XOLBIN. Keeps the cell's header flags.
void make_at(Cell& cell, bool negative, std::uint32_t currency, DigitBytes const& bytes);
Cell* push(bool negative, std::uint32_t currency, DigitBytes const& bytes); // a new money! on the value stack
Cell zero(std::uint32_t currency = 0);
// An amount from its digits as text: at most 17 integral digits (leading zeros not counted), fractional
// digits beyond the fifth dropped; a "'" is skipped. The currency is given by its code, empty for none.
// False, with the cell unchanged, for a currency the list does not hold or too many integral digits: the
// lexer's literals and `to money!` of text.
bool make_from_parts(
    Cell& cell, bool negative, std::string_view currency, std::string_view integral, std::string_view fraction);

// ---- Currencies ---------------------------------------------------------------------------------------

// The 1-based position of the currency in system/locale/currencies/list, compared case-blind; -1 when the
// list lacks it, is missing, or holds it beyond position 255 (an index has 8 bits).
std::int32_t currency_index(SymbolId symbol);
std::int32_t currency_index(std::string_view code);
// The word at a currency index, or none! when the list has no such entry.
Cell currency_word(std::uint32_t index);

// ---- Conversions --------------------------------------------------------------------------------------

Cell from_integer(std::int32_t number); // exact, no currency
// The integral part, truncated towards zero; script type-limit with integer! beyond 32 bits.
std::int32_t to_integer(Cell const& value);
// The nearest double.
double to_float(Cell const& value);
// A double's shortest decimal text as an amount, no currency. Script bad-make-arg with money! and the
// float for a float that is not finite, below 0.00001 in magnitude (but not zero), or at least 10^17; in
// strict mode also for more than five decimals, which leniency drops.
enum class FloatMode { Strict, Lenient };
Cell from_float(double number, FloatMode);
bool float_too_big_q(double number); // beyond the range of money! (10^17 or more in magnitude)
bool float_too_small_q(double number); // below it: not zero, and smaller than 0.00001 in magnitude

// ---- Arithmetic ---------------------------------------------------------------------------------------

// The signed results with the currency of `a`; the caller settles currencies. Overflow and underflow raise
// type-limit with money!; dividing by zero raises math zero-divide. A remainder takes the dividend's sign.
Cell add(Cell const& a, Cell const& b);
Cell subtract(Cell const& a, Cell const& b);
Cell multiply(Cell const& a, Cell const& b);
Cell divide(Cell const& a, Cell const& b);
Cell remainder(Cell const& a, Cell const& b);

// Whether `multiple`, an exact multiple of `scale` (not zero), is an even multiple of it.
bool even_multiple_q(Cell const& multiple, Cell const& scale);

// -1, 0 or 1 comparing the signed amounts, currencies ignored.
std::int32_t compare_amounts(Cell const& a, Cell const& b);
// The order that sorting uses: no currency first, then the currencies' codes in order, then the amounts.
std::int32_t compare_with_currency(Cell const& a, Cell const& b);
// Whether two currencies agree: strictly only when equal, else also when either value has none.
bool same_currency_q(Cell const& a, Cell const& b, bool strict);

// ---- Text ---------------------------------------------------------------------------------------------

// [-][currency]$digits[.decimals]: thousands grouped by "'" with `group`; the decimals that
// system/options/money-digits asks for (2 when it holds no integer!, at most 5, none below 1), or all five
// with `all`, cut without rounding. Answers the budget less what was appended. May allocate.
std::int32_t format(Cell const& value, Cell& buffer, std::int32_t limit, bool all, bool group);

// ---- The datatype -------------------------------------------------------------------------------------

// The arithmetic body of add, subtract, multiply, divide and remainder with a money! on either side: the
// other operand an integer! (exact), a float! or percent! (extra decimals dropped). The result carries the
// right operand's currency, else the left one's; two different currencies raise script wrong-denom. A
// money! divided by a money! is a float!.
void do_math(MathOp);

extern DatatypeRecord const record; // no parent

}
