// Decimal text and doubles, both ways, correctly rounded and independent of any locale; and the angle
// reduction of the trigonometric natives. Formatted text lives in one static buffer, valid until the next
// formatting call.
#pragma once

#include <cstddef>
#include <string_view>

namespace xol::float_ {

// Whether an integral text keeps a ".0": 100.0 and 1.0e17, or 100 and 1e17.
enum class KeepZero : bool { No = false, Yes = true };

// decimal_point values of the texts that are not digits.
inline constexpr int special_decimal_point = 9999; // "1.#INF", "-1.#INF", "1.#NaN"
inline constexpr int zero_decimal_point = 9998; // "0", "-0", "0.0", "-0.0"

// The decimal digits of |x| (no sign, no point, trailing zeros dropped): with `digits` <= 0 the shortest
// string that reads back as x, else `digits` significant digits correctly rounded (ties to even).
// `decimal_point` is the count of digits before the point (0 or negative below 1); `negative` the sign
// bit. Infinities, NaN and zeros answer their whole text with the decimal_point values above.
std::string_view to_text(double x, int digits, int& decimal_point, bool& negative, KeepZero);
// The finished text: plain for decimal points from -6 to 17, else d.ddde<exponent>; "-" in front of
// negative values. Molding passes digits 0 and KeepZero::Yes.
std::string_view format_precision(double x, int digits, KeepZero);

// Reads [start, end): an optional sign, digits, an optional fraction and an exponent ("e" or "E", an
// optional sign, digits), scaled by 10^extra_exponent, correctly rounded (ties to even); "1.#INF",
// "-1.#INF" and "1.#NaN" read as the specials. Beyond the double range the answer is an infinity or a
// zero of the sign. `rest` (when given) gets the count of characters after what was read. Never raises:
// callers check the syntax first.
double from_text(char const* start, char const* end, int extra_exponent, std::size_t* rest);
inline double from_text(std::string_view text, int extra_exponent = 0, std::size_t* rest = nullptr)
{
    return from_text(text.data(), text.data() + text.size(), extra_exponent, rest);
}

}

namespace xol::math {

// How an angle beyond a quarter turn folds, by the function it feeds.
enum class AngleFold { Tangent = 0, Cosine = 1, Sine = 2 };

// An angle in degrees reduced to (-180, 180] and folded for the function, in radians.
double degrees_to_radians(double degrees, AngleFold);

}
