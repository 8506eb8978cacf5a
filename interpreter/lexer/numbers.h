// Number scanners outside the automaton: the float syntax check shared by the float, percent and point
// loaders and by float!'s conversions; the scanners of integer!, float! and money! text in string units of
// 1, 2 or 4 bytes; and the digit readers of the date and time loaders. None raises: each reports failure
// through an error code to its caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace xol::lexer {

// Longer texts are no float: the decimal conversion never sees more.
inline constexpr std::uint32_t float_text_limit = 312;

// True when [start, end) is a float: an optional sign, digits with single-quote separators, an optional
// point and fraction, an optional exponent with its own sign and digits; a leading or trailing point is
// allowed, an exponent letter without digits is not.
bool float_syntax_q(char const* start, char const* end);

// Error codes of the scanners.
inline constexpr std::int32_t scan_ok = 0;
inline constexpr std::int32_t scan_bad = -1; // not a number
inline constexpr std::int32_t scan_overflow = -2; // a number too large

// An optional sign, then digits with single quotes skipped. Another character sets scan_bad and ends the
// scan with the value read so far; a value beyond 32 bits sets scan_overflow and answers 0 (only
// "-2147483648" reaches the smallest integer).
std::int32_t scan_integer(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error);

// A float, "," read as the decimal mark and single quotes dropped; scan_bad and NaN when it is not one.
double scan_float(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error);

// The parts of a money text, for money's maker: the sign, the currency code, and the digits.
struct MoneyText {
    bool negative = false;
    std::string currency; // three capital letters, or empty
    std::string integral; // at least one digit, separators dropped
    std::string fraction; // may be empty
};

// An optional sign, an optional currency of three capital letters, "$", digits with single quotes between
// them, an optional "." and fraction digits. nullopt when the text is not one.
std::optional<MoneyText> scan_money(std::byte const* characters, std::uint32_t count, std::uint32_t unit);

// ---- Digit readers of the date and time loaders, over bytes ------------------------------------------

inline constexpr std::int32_t reader_no_digit = -1;
inline constexpr std::int32_t reader_at_end = -2;
inline constexpr std::int32_t reader_overflow = -5;

// An optional "-" and digits with single quotes skipped; a value beyond 32 bits is reader_overflow, except
// exactly -2147483648. Answers the position after the number; `error` is 0 or a reader code.
char const* read_signed(char const* position, char const* end, std::int32_t& value, std::int32_t& error);
// At most `width` digits (exactly `width` with `exact`): reader_at_end when the text ends first,
// reader_no_digit for no digit or a wrong count. Answers the position after the digits.
char const* read_fixed(
    char const* position, char const* end, int width, bool exact, std::int32_t& value, std::int32_t& error);
// Digits and points (a "," read as a point) as a double through the decimal conversion; reader_no_digit
// when no digit starts the number.
char const* read_decimal(char const* position, char const* end, double& value, std::int32_t& error);

}
