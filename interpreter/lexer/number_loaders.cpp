// The loaders of number literals: integers (decimal and hexadecimal), floats, percents, special floats,
// tuples, pairs, points, times and money.

#include <cmath>
#include <limits>
#include <string>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/numbers.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/float_text.h"
#include "runtime/type_families.h"

namespace xol::lexer {

namespace {

char const* chars(std::uint8_t const* position)
{
    return reinterpret_cast<char const*>(position);
}

bool is_digit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

enum class IntegerRead { Ok, Empty, DoubleQuote, Malformed, TooLarge };

// An optional sign, then digits with single quotes between them. More than 10 digits (leading zeros
// counted) or a value beyond 32 bits is TooLarge: such a literal is a float.
IntegerRead read_integer(std::uint8_t const* start, std::uint8_t const* end, std::int32_t& value)
{
    std::uint8_t const* position = start;
    bool negative = false;
    if (position < end && (*position == '-' || *position == '+')) {
        negative = *position == '-';
        ++position;
    }
    std::int64_t magnitude = 0;
    int digits = 0;
    bool after_quote = false;
    bool too_large = false;
    for (; position < end; ++position) {
        if (*position == '\'') {
            if (after_quote) return IntegerRead::DoubleQuote;
            after_quote = true;
            continue;
        }
        after_quote = false;
        if (!is_digit(*position)) return IntegerRead::Malformed;
        if (++digits > 10) too_large = true;
        if (!too_large) magnitude = magnitude * 10 + (*position - '0');
    }
    if (digits == 0) return IntegerRead::Empty;
    if (too_large || magnitude > (negative ? 2147483648LL : 2147483647LL)) return IntegerRead::TooLarge;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return IntegerRead::Ok;
}

// The double of a text the float syntax check passed, its single quotes dropped.
bool float_value(std::uint8_t const* start, std::uint8_t const* end, int extra_exponent, double& value)
{
    std::string digits;
    digits.reserve(static_cast<std::size_t>(end - start));
    for (std::uint8_t const* p = start; p < end; ++p)
        if (*p != '\'') digits.push_back(static_cast<char>(*p == ',' ? '.' : *p));
    std::size_t rest = 0;
    value = float_::from_text(digits.data(), digits.data() + digits.size(), extra_exponent, &rest);
    return rest == 0;
}

char lower(std::uint8_t c)
{
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

// An optional sign, "1.#", then "NaN" or "INF" in any case.
bool special_float(std::uint8_t const* start, std::uint8_t const* end, double& value)
{
    bool negative = false;
    if (start < end && (*start == '-' || *start == '+')) {
        negative = *start == '-';
        ++start;
    }
    if (end - start != 6 || start[0] != '1' || start[1] != '.' || start[2] != '#') return false;
    std::string const word { lower(start[3]), lower(start[4]), lower(start[5]) };
    if (word == "nan") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (word == "inf") {
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    return false;
}

}

void load_integer(LexerState& state, Token& token, bool load)
{
    std::int32_t value = 0;
    switch (read_integer(token.start, token.end, value)) {
    case IntegerRead::Ok:
        break;
    case IntegerRead::TooLarge:
        state.loader_type = type_ids::float_;
        return load_float(state, token, load);
    case IntegerRead::Empty:
        return syntax_error(state, token.start, token.end, type_ids::pair);
    default:
        return syntax_error(state, token.start, token.end, type_ids::integer);
    }
    if (load) store_value(state, integer::make(value));
}

// Hex digits closed by "h": 2 to 8 of them, giving the 32 bits of an integer!.
void load_hex(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* end = token.end - 1; // the "h"
    std::ptrdiff_t const digits = end - token.start;
    if (!is_digit(*token.start) && digits == 1) return syntax_error(state, token.start, token.end, type_ids::word);
    if (digits < 2 || digits > 8) return syntax_error(state, token.start, token.end, type_ids::integer);
    std::uint32_t value = 0;
    for (std::uint8_t const* p = token.start; p < end; ++p) {
        std::uint8_t const c = *p;
        int const digit = is_digit(c) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return syntax_error(state, token.start, token.end, type_ids::integer);
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (load) store_value(state, integer::make(static_cast<std::int32_t>(value)));
}

void load_float(LexerState& state, Token& token, bool load)
{
    if (!float_syntax_q(chars(token.start), chars(token.end)))
        return syntax_error(state, token.start, token.end, type_ids::float_);
    if (!load) return;
    double value;
    if (!float_value(token.start, token.end, 0, value))
        return syntax_error(state, token.start, token.end, type_ids::float_);
    store_value(state, float_::make(value));
}

// Digits closed by "%": the value divided by 100 exactly.
void load_percent(LexerState& state, Token& token, bool load)
{
    state.position = token.end < state.input_end ? token.end + 1 : token.end;
    if (!float_syntax_q(chars(token.start), chars(token.end)))
        return syntax_error(state, token.start, token.end, type_ids::percent);
    if (!load) return;
    double value;
    if (!float_value(token.start, token.end, -2, value))
        return syntax_error(state, token.start, token.end, type_ids::percent);
    store_value(state, makers::percent(value));
}

void load_float_special(LexerState& state, Token& token, bool load)
{
    double value;
    if (!special_float(token.start, token.end, value))
        return syntax_error(state, token.start, token.end, type_ids::float_);
    if (load) store_value(state, float_::make(value));
}

// 3 to 12 numbers of 0 to 255 separated by points.
void load_tuple(LexerState& state, Token& token, bool load)
{
    std::uint8_t bytes[12] = {};
    std::uint32_t count = 0;
    std::uint32_t component = 0;
    bool has_digit = false;
    for (std::uint8_t const* p = token.start;; ++p) {
        if (p == token.end || *p == '.') {
            if (!has_digit) {
                // A point may end the tuple, but two in a row leave a component out.
                if (p == token.end && count > 0) break;
                return syntax_error(state, token.start, token.end, type_ids::tuple);
            }
            if (count == 12) return syntax_error(state, token.start, token.end, type_ids::tuple);
            bytes[count++] = static_cast<std::uint8_t>(component);
            component = 0;
            has_digit = false;
            if (p == token.end) break;
            continue;
        }
        if (!is_digit(*p)) return syntax_error(state, token.start, token.end, type_ids::tuple);
        component = component * 10 + static_cast<std::uint32_t>(*p - '0');
        has_digit = true;
        if (component > 255) return syntax_error(state, token.start, token.end, type_ids::tuple);
    }
    if (load) store_value(state, makers::tuple(bytes, count));
}

// Two integers joined by "x" or "X".
void load_pair(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* split = nullptr;
    for (std::uint8_t const* p = token.start; p < token.end; ++p) {
        if (*p == '.') return syntax_error(state, token.start, token.end, type_ids::pair);
        if ((*p == 'x' || *p == 'X') && !split) split = p;
    }
    std::int32_t x = 0;
    std::int32_t y = 0;
    if (!split || read_integer(token.start, split, x) != IntegerRead::Ok
        || read_integer(split + 1, token.end, y) != IntegerRead::Ok)
        return syntax_error(state, token.start, token.end, type_ids::pair);
    if (load) store_value(state, makers::pair(x, y));
}

// The body of (x, y) or (x, y, z) after the paren, up to the closing paren that ended the token.
void load_point(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* opening = token.start > state.input_start ? token.start - 1 : token.start;
    state.position = token.end < state.input_end ? token.end + 1 : token.end;
    state.start_state = states::between_tokens;
    std::int64_t const marker = innermost_marker(state);
    if (marker >= 0) {
        TypeId const open = marker_series_type(output_at(static_cast<std::uint32_t>(marker)));
        if (type_ids::is_path(open)) state.start_state = states::path_element;
    }
    if (token.end >= state.input_end || *token.end != ')')
        return syntax_error(state, opening, token.end, type_ids::point2d);
    double coordinates[3] = {};
    int count = 0;
    std::uint8_t const* position = token.start;
    for (;;) {
        auto blank = [](std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (position < token.end && blank(*position)) ++position;
        std::uint8_t const* number = position;
        while (position < token.end && !blank(*position) && *position != ',') ++position;
        std::uint8_t const* number_end = position;
        while (position < token.end && blank(*position)) ++position;
        TypeId const shape = count >= 2 ? type_ids::point3d : type_ids::point2d;
        if (number == number_end || count == 3) return syntax_error(state, opening, token.end, shape);
        bool special = false;
        for (std::uint8_t const* p = number; p < number_end; ++p) special = special || *p == '#';
        double value = 0;
        if (special) {
            if (!special_float(number, number_end, value))
                return syntax_error(state, opening, token.end, type_ids::float_);
        } else if (!float_syntax_q(chars(number), chars(number_end))
            || (load && !float_value(number, number_end, 0, value))) {
            return syntax_error(state, opening, token.end, type_ids::float_);
        }
        coordinates[count++] = value;
        if (position == token.end) break;
        if (*position != ',') return syntax_error(state, opening, token.end, shape);
        ++position;
    }
    if (count < 2) return syntax_error(state, opening, token.end, type_ids::point2d);
    state.type = count == 2 ? type_ids::point2d : type_ids::point3d;
    if (!load) return;
    auto const x = static_cast<float>(coordinates[0]);
    auto const y = static_cast<float>(coordinates[1]);
    Cell const value = count == 2 ? makers::point2d(x, y) : makers::point3d(x, y, static_cast<float>(coordinates[2]));
    store_value(state, value, state.point_lines > 0);
}

// hours:minutes[:seconds], or minutes:seconds with a decimal mark; a leading "-" makes the whole time
// negative.
void load_time(LexerState& state, Token& token, bool load)
{
    char const* position = chars(token.start);
    char const* const end = chars(token.end);
    auto invalid = [&] { syntax_error(state, token.start, token.end, type_ids::time); };
    if (token.flags & token_flags::exponent) return invalid();
    bool negative = false;
    if (position < end && *position == '+')
        ++position;
    else if (position < end && *position == '-')
        negative = true;
    std::int32_t hours = 0;
    std::int32_t error = 0;
    position = read_signed(position, end, hours, error);
    if (error || position >= end || *position != ':') return invalid();
    ++position;
    char const* const minutes_start = position;
    if (position >= end || *position == '-') return invalid();
    std::int32_t minutes = 0;
    position = read_signed(position, end, minutes, error);
    if (error) return invalid();
    double seconds = 0;
    if (position < end) {
        char const separator = *position;
        if (separator == ':') {
            if (position + 1 >= end) return invalid();
            position = read_decimal(position + 1, end, seconds, error);
        } else if (separator == '.' || separator == ',') {
            // The two numbers were minutes and seconds.
            minutes = hours < 0 ? -hours : hours;
            hours = 0;
            position = read_decimal(minutes_start, end, seconds, error);
        } else {
            return invalid();
        }
        if (error || position != end) return invalid();
    }
    double const magnitude = std::fabs(static_cast<double>(hours)) * 3600.0 + minutes * 60.0 + seconds;
    if (!load) return;
    store_value(state, makers::time(negative || hours < 0 ? -magnitude : magnitude));
}

// [sign][currency]"$"digits[.fraction], at most 17 integral and 5 fraction digits.
void load_money(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* position = token.start;
    std::uint8_t const* const end = token.end;
    auto invalid = [&] { syntax_error(state, token.start, token.end, type_ids::money); };
    MoneyText money;
    if (position < end && (*position == '-' || *position == '+')) money.negative = *position++ == '-';
    std::uint8_t const* currency = position;
    while (position < end && *position != '$') {
        bool const letter = (*position >= 'A' && *position <= 'Z') || (*position >= 'a' && *position <= 'z');
        if (!letter) return invalid();
        ++position;
    }
    if (position - currency != 0 && position - currency != 3) return invalid();
    money.currency.assign(chars(currency), static_cast<std::size_t>(position - currency));
    if (position >= end) return invalid();
    ++position; // the "$"
    if (position >= end || !is_digit(*position)) return invalid();
    std::string* digits = &money.integral;
    std::uint8_t previous = '$';
    for (; position < end; ++position) {
        std::uint8_t const c = *position;
        if (is_digit(c)) {
            if (!(digits == &money.integral && digits->empty() && c == '0')) digits->push_back(static_cast<char>(c));
        } else if (c == '\'') {
            if (!is_digit(previous)) return invalid();
        } else if (c == '.' || c == ',') {
            if (digits != &money.integral || !is_digit(previous)) return invalid();
            digits = &money.fraction;
        } else {
            return invalid();
        }
        previous = c;
    }
    if (!is_digit(previous)) return invalid();
    if (money.integral.empty()) money.integral = "0";
    if (money.integral.size() > 17 || money.fraction.size() > 5) return invalid();
    if (!load) return;
    bool known = true;
    Cell const value = makers::money(money, known);
    if (!known) return invalid();
    store_value(state, value);
}

}
