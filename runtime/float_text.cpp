// Decimal text and doubles over std::to_chars and std::from_chars, which round correctly and ignore the
// locale; the text layout around their digits is ours.

#include "runtime/float_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>

namespace xol::float_ {

namespace {

// More significant digits than any caller asks for (money asks for 22); the exact expansion of a double
// can be longer, but nothing reads that far.
constexpr int max_digits = 40;

// Plain text spans at most "0." + 6 zeros or 17 integer digits + "." around the digits; scientific text
// adds "e-324". The sign takes the first place of `text`.
struct TextState {
    char digits[max_digits + 1];
    char text[1 + max_digits + 32];
};
TextState state;

// Writes the digits of `magnitude` (finite, not zero) and answers their count and the decimal point.
int write_digits(double magnitude, int digits, int& decimal_point)
{
    char scientific[max_digits + 16];
    std::to_chars_result const result = digits <= 0
        ? std::to_chars(std::begin(scientific), std::end(scientific), magnitude, std::chars_format::scientific)
        : std::to_chars(std::begin(scientific), std::end(scientific), magnitude, std::chars_format::scientific,
            std::min(digits, max_digits) - 1);
    // d[.ddd]e(+|-)xx
    char const* exponent_mark = std::find(scientific, result.ptr, 'e');
    int count = 0;
    for (char const* c = scientific; c < exponent_mark; ++c)
        if (*c != '.') state.digits[count++] = *c;
    while (count > 1 && state.digits[count - 1] == '0') --count;
    state.digits[count] = '\0';
    char const* exponent_start = exponent_mark + 1;
    if (*exponent_start == '+') ++exponent_start;
    int exponent = 0;
    std::from_chars(exponent_start, result.ptr, exponent);
    decimal_point = exponent + 1;
    return count;
}

}

std::string_view to_text(double x, int digits, int& decimal_point, bool& negative, KeepZero keep_zero)
{
    negative = std::signbit(x);
    if (!std::isfinite(x)) {
        decimal_point = special_decimal_point;
        if (std::isnan(x)) return "1.#NaN";
        return negative ? "-1.#INF" : "1.#INF";
    }
    if (x == 0) {
        decimal_point = zero_decimal_point;
        if (keep_zero == KeepZero::Yes) return negative ? "-0.0" : "0.0";
        return negative ? "-0" : "0";
    }
    int const count = write_digits(std::fabs(x), digits, decimal_point);
    return { state.digits, static_cast<std::size_t>(count) };
}

std::string_view format_precision(double x, int digits, KeepZero keep_zero)
{
    int decimal_point;
    bool negative;
    std::string_view const significant = to_text(x, digits, decimal_point, negative, keep_zero);
    if (decimal_point >= zero_decimal_point) return significant;

    char* const start = state.text + 1; // state.text[0] is the sign's place
    char* out = start;
    auto append = [&](std::string_view part) { out = std::copy(part.begin(), part.end(), out); };
    auto append_zeros = [&](int count) { out = std::fill_n(out, std::max(count, 0), '0'); };
    auto length = static_cast<int>(significant.size());
    // An integral text ends in "." until the zero decides: "100." becomes "100.0" or "100".
    auto finish_point = [&] {
        if (keep_zero == KeepZero::Yes)
            *out++ = '0';
        else
            --out;
    };

    if (decimal_point > 17 || decimal_point < -6) {
        *out++ = significant[0];
        *out++ = '.';
        append(significant.substr(1));
        if (length == 1) finish_point();
        *out++ = 'e';
        out = std::to_chars(out, out + 8, decimal_point - 1).ptr;
    } else if (decimal_point <= 0) {
        append("0.");
        append_zeros(-decimal_point);
        append(significant);
    } else if (length <= decimal_point) {
        append(significant);
        append_zeros(decimal_point - length);
        *out++ = '.';
        finish_point();
    } else {
        auto const point = static_cast<std::size_t>(decimal_point);
        append(significant.substr(0, point));
        *out++ = '.';
        append(significant.substr(point));
    }
    char* first = start;
    if (negative) *--first = '-';
    *out = '\0';
    return { first, static_cast<std::size_t>(out - first) };
}

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}
bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Exponents beyond this bound already give an infinity or a zero for any count of digits that fits in
// memory; clamping keeps the arithmetic inside 64 bits.
constexpr std::int64_t exponent_bound = 1'000'000'000;

double signed_value(bool negative, double magnitude)
{
    return negative ? -magnitude : magnitude;
}

}

double from_text(char const* start, char const* end, int extra_exponent, std::size_t* rest)
{
    char const* position = start;
    auto finish = [&](double value) {
        if (rest) *rest = static_cast<std::size_t>(end - position);
        return value;
    };
    bool negative = false;
    if (position < end && (*position == '+' || *position == '-')) negative = *position++ == '-';

    // The specials: one digit, ".#", then I (infinity) or N (NaN); the letters after are part of the word.
    if (end - position >= 4 && is_digit(position[0]) && position[1] == '.' && position[2] == '#') {
        char const kind = position[3];
        if (kind == 'I' || kind == 'i' || kind == 'N' || kind == 'n') {
            position += 3;
            while (position < end && is_letter(*position)) ++position;
            if (kind == 'N' || kind == 'n') return finish(std::numeric_limits<double>::quiet_NaN());
            return finish(signed_value(negative, std::numeric_limits<double>::infinity()));
        }
    }

    // Significant digits without leading zeros; the exponent counts the fraction's places.
    std::string digits;
    std::int64_t exponent = 0;
    bool any_digit = false;
    for (; position < end && is_digit(*position); ++position) {
        any_digit = true;
        if (digits.empty() && *position == '0') continue;
        digits.push_back(*position);
    }
    if (position < end && *position == '.') {
        char const* after_point = position + 1;
        for (position = after_point; position < end && is_digit(*position); ++position) {
            any_digit = true;
            --exponent;
            if (digits.empty() && *position == '0') continue;
            digits.push_back(*position);
        }
        if (!any_digit) position = after_point - 1; // a lone "." is not a number
    }
    if (!any_digit) {
        position = start;
        return finish(0.0);
    }

    // The exponent needs a digit after "e" and its sign; otherwise the "e" is left unread.
    if (position < end && (*position == 'e' || *position == 'E')) {
        char const* mark = position + 1;
        bool exponent_negative = false;
        if (mark < end && (*mark == '+' || *mark == '-')) exponent_negative = *mark++ == '-';
        if (mark < end && is_digit(*mark)) {
            std::int64_t written = 0;
            for (; mark < end && is_digit(*mark); ++mark)
                written = std::min(written * 10 + (*mark - '0'), exponent_bound);
            exponent += exponent_negative ? -written : written;
            position = mark;
        }
    }
    exponent += extra_exponent;

    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    if (digits.empty()) return finish(signed_value(negative, 0.0));

    // The magnitude lies in [10^(magnitude-1), 10^magnitude).
    std::int64_t const magnitude = exponent + static_cast<std::int64_t>(digits.size());
    if (magnitude > 400) return finish(signed_value(negative, std::numeric_limits<double>::infinity()));
    if (magnitude < -400) return finish(signed_value(negative, 0.0));
    digits.push_back('e');
    digits += std::to_string(exponent);
    double value = 0;
    std::from_chars_result const result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return finish(signed_value(negative, value));
}

}

namespace xol::math {

double degrees_to_radians(double degrees, AngleFold fold)
{
    double x = std::fmod(degrees, 360.0);
    if (x > 180 || x < -180) x += x >= 0 ? -360.0 : 360.0;
    if (x > 90 || x < -90) {
        if (fold == AngleFold::Tangent)
            x += x >= 0 ? -180.0 : 180.0;
        else if (fold == AngleFold::Sine)
            x = (x >= 0 ? 180.0 : -180.0) - x;
    }
    return x * 3.141592653589793 / 180.0;
}

}
