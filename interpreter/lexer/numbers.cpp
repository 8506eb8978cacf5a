// Number scanners outside the automaton.

#include "interpreter/lexer/numbers.h"

#include <limits>

#include "runtime/float_text.h"
#include "runtime/text_encoding.h"

namespace xol::lexer {

namespace {

// The float syntax automaton: 7 character classes, 11 states; state 10 rejects everything after it.
enum FloatClass : std::uint8_t { Other, Sign, Digit, Exponent, Point, Quote, End };

constexpr std::uint8_t float_reject = 10;

constexpr std::uint8_t float_transitions[11][6] = {
    // other sign digit e point quote
    { 10, 0, 1, 10, 4, 10 }, // 0 start
    { 10, 10, 1, 6, 5, 2 }, // 1 integral digits
    { 10, 10, 1, 10, 10, 10 }, // 2 after a quote
    { 10, 10, 3, 6, 10, 4 }, // 3 fraction digits
    { 10, 10, 3, 10, 10, 10 }, // 4 after a leading point, or a quote in the fraction
    { 10, 10, 3, 10, 10, 10 }, // 5 after integral digits and a point
    { 10, 7, 8, 10, 10, 10 }, // 6 after the exponent letter
    { 10, 10, 8, 10, 10, 10 }, // 7 after the exponent's sign
    { 10, 10, 8, 10, 10, 10 }, // 8 exponent digits
    { 9, 9, 9, 9, 9, 9 }, // 9
    { 10, 10, 10, 10, 10, 10 } // 10 error
};
constexpr bool float_accepts_at_end[11] = { false, true, true, true, true, true, false, false, true, true, false };

FloatClass float_class(char c)
{
    switch (c) {
    case '+':
    case '-':
        return Sign;
    case 'e':
    case 'E':
        return Exponent;
    case '.':
        return Point;
    case '\'':
        return Quote;
    default:
        return c >= '0' && c <= '9' ? Digit : Other;
    }
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The characters of a text in string units as ASCII bytes; false when one is beyond ASCII.
bool to_ascii(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::string& bytes)
{
    bytes.clear();
    bytes.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t const code_point = string::load_unit(characters + std::size_t { i } * unit, unit);
        if (code_point > 0x7F) return false;
        bytes.push_back(static_cast<char>(code_point));
    }
    return true;
}

}

bool float_syntax_q(char const* start, char const* end)
{
    if (end - start > static_cast<std::ptrdiff_t>(float_text_limit)) return false;
    std::uint8_t state = 0;
    bool digit_seen = false;
    for (char const* position = start; position < end && state != float_reject; ++position) {
        FloatClass const cls = float_class(*position);
        // A sign may stand only first: the decimal conversion reads one, not a run of them.
        if (cls == Sign && state == 0 && position != start) return false;
        if (cls == Digit && (state <= 5)) digit_seen = true;
        state = float_transitions[state][cls];
    }
    // A point alone, or signs alone, pass the automaton but are no number.
    return float_accepts_at_end[state] && digit_seen;
}

std::int32_t scan_integer(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error)
{
    error = scan_ok;
    std::uint32_t i = 0;
    bool negative = false;
    if (count > 0) {
        std::uint32_t const first = string::load_unit(characters, unit);
        if (first == '-' || first == '+') {
            negative = first == '-';
            i = 1;
        }
    }
    // The magnitude may reach 2147483648 only for a negative number; the scan goes on after it, so that a
    // further digit is an overflow and any other character an error, as for every other number.
    std::int64_t const limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    bool digit_seen = false;
    for (; i < count; ++i) {
        std::uint32_t const c = string::load_unit(characters + std::size_t { i } * unit, unit);
        if (c == '\'') continue;
        if (c < '0' || c > '9') {
            error = scan_bad;
            break;
        }
        digit_seen = true;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            error = scan_overflow;
            return 0;
        }
    }
    if (!digit_seen && error == scan_ok) error = scan_bad; // a sign alone, or nothing, is no number
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

double scan_float(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error)
{
    double const nan = std::numeric_limits<double>::quiet_NaN();
    error = scan_bad;
    if (count > float_text_limit) return nan;
    std::string bytes;
    if (!to_ascii(characters, count, unit, bytes)) return nan;
    for (char& c : bytes)
        if (c == ',') c = '.';
    if (!float_syntax_q(bytes.data(), bytes.data() + bytes.size())) return nan;
    std::string digits;
    digits.reserve(bytes.size());
    for (char c : bytes)
        if (c != '\'') digits.push_back(c);
    std::size_t rest = 0;
    double const value = float_::from_text(digits.data(), digits.data() + digits.size(), 0, &rest);
    if (rest != 0) return nan;
    error = scan_ok;
    return value;
}

std::optional<MoneyText> scan_money(std::byte const* characters, std::uint32_t count, std::uint32_t unit)
{
    std::string text;
    if (!to_ascii(characters, count, unit, text)) return std::nullopt;
    MoneyText money;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        money.negative = text[i] == '-';
        ++i;
    }
    if (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
        // A code of three capitals, "$" and at least one more character.
        if (text.size() - i < 5) return std::nullopt;
        for (std::size_t k = 0; k < 3; ++k)
            if (text[i + k] < 'A' || text[i + k] > 'Z') return std::nullopt;
        money.currency = text.substr(i, 3);
        i += 3;
    }
    if (i >= text.size() || text[i] != '$') return std::nullopt;
    ++i;
    if (i >= text.size()) return std::nullopt;
    std::string* digits = &money.integral;
    char previous = '$';
    for (; i < text.size(); ++i) {
        char const c = text[i];
        if (is_digit(c)) {
            digits->push_back(c);
        } else if (c == '\'') {
            if (!is_digit(previous)) return std::nullopt;
        } else if (c == '.') {
            if (digits != &money.integral || !is_digit(previous)) return std::nullopt;
            digits = &money.fraction;
        } else {
            return std::nullopt;
        }
        previous = c;
    }
    if (!is_digit(previous) || money.integral.empty()) return std::nullopt;
    return money;
}

char const* read_signed(char const* position, char const* end, std::int32_t& value, std::int32_t& error)
{
    error = 0;
    value = 0;
    bool negative = false;
    if (position < end && *position == '-') {
        negative = true;
        ++position;
    }
    std::int64_t const limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    bool digit_seen = false;
    for (; position < end; ++position) {
        if (*position == '\'') continue;
        if (!is_digit(*position)) break;
        digit_seen = true;
        magnitude = magnitude * 10 + (*position - '0');
        if (magnitude > limit) {
            error = reader_overflow;
            return position;
        }
    }
    if (!digit_seen) error = reader_no_digit;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return position;
}

char const* read_fixed(
    char const* position, char const* end, int width, bool exact, std::int32_t& value, std::int32_t& error)
{
    error = 0;
    value = 0;
    if (position >= end) {
        error = reader_at_end;
        return position;
    }
    int digits = 0;
    while (position < end && digits < width && is_digit(*position)) {
        value = value * 10 + (*position - '0');
        ++position;
        ++digits;
    }
    if (digits == 0 || (exact && digits != width)) error = reader_no_digit;
    return position;
}

char const* read_decimal(char const* position, char const* end, double& value, std::int32_t& error)
{
    error = 0;
    value = 0;
    std::string digits;
    bool point_seen = false;
    bool digit_seen = false;
    char const* cursor = position;
    for (; cursor < end; ++cursor) {
        if (is_digit(*cursor)) {
            digit_seen = true;
            digits.push_back(*cursor);
        } else if ((*cursor == '.' || *cursor == ',') && !point_seen) {
            point_seen = true;
            digits.push_back('.');
        } else {
            break;
        }
    }
    if (!digit_seen) {
        error = reader_no_digit;
        return position;
    }
    value = float_::from_text(digits);
    return cursor;
}

}
