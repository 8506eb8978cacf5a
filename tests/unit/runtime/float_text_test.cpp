// Decimal text and doubles: the molded and formatted texts to the last character, reading with correct
// rounding, round trips over random doubles, and the angle reduction.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "runtime/float_text.h"

using namespace xol;
using float_::KeepZero;

namespace {

double const infinity = std::numeric_limits<double>::infinity();
double const not_a_number = std::numeric_limits<double>::quiet_NaN();

std::string formatted(double x, int digits = 0, KeepZero keep_zero = KeepZero::Yes)
{
    return std::string(float_::format_precision(x, digits, keep_zero));
}

std::uint64_t bits(double x)
{
    return std::bit_cast<std::uint64_t>(x);
}

// The reading of the standard library, which rounds correctly: the oracle for from_text.
double oracle(std::string const& text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}

// What molding writes: the shortest digits that read back, with ".0" kept on integral values.
TEST(FloatText, MoldedTexts)
{
    struct Case {
        double value;
        char const* text;
    };
    Case const cases[] = {
        { 1.5, "1.5" },
        { 100.0, "100.0" },
        { 1e16, "10000000000000000.0" },
        { 1e17, "1.0e17" },
        { 1e-7, "0.0000001" },
        { 1e-8, "1.0e-8" },
        { -0.0, "-0.0" },
        { 0.0, "0.0" },
        { 0.1, "0.1" },
        { 1.0 / 3.0, "0.3333333333333333" },
        { 2.0 / 3.0, "0.6666666666666666" },
        { 1.2345678901234568e20, "1.2345678901234568e20" },
        { 12345678901234567.0, "12345678901234568.0" }, // 17 digits before the point stay plain
        { 123456789012345678.0, "1.2345678901234568e17" },
        { 1e-6, "0.000001" },
        { 0.000123, "0.000123" },
        { 1.5e-7, "0.00000015" },
        { 1.5e-8, "1.5e-8" },
        { 123.456, "123.456" },
        { -1.5, "-1.5" },
        { -1e-8, "-1.0e-8" },
        { -100.0, "-100.0" },
        { 1.0, "1.0" },
        { 9.999999999999998e16, "99999999999999980.0" }, // digits past the shortest become zeros
        { 1.7976931348623157e308, "1.7976931348623157e308" },
        { -1.7976931348623157e308, "-1.7976931348623157e308" },
        { 5e-324, "5.0e-324" },
        { 2.2250738585072014e-308, "2.2250738585072014e-308" }, // the smallest normal double
        { 2.225073858507201e-308, "2.225073858507201e-308" }, // the largest subnormal
        { 1e21, "1.0e21" },
        { 1e100, "1.0e100" },
        { 123e-20, "1.23e-18" },
        { infinity, "1.#INF" },
        { -infinity, "-1.#INF" },
        { not_a_number, "1.#NaN" },
        { -not_a_number, "1.#NaN" },
    };
    for (auto const& c : cases) EXPECT_EQ(formatted(c.value), c.text) << c.text;
}

TEST(FloatText, TextsWithoutKeptZero)
{
    struct Case {
        double value;
        int digits;
        char const* text;
    };
    Case const cases[] = {
        { 100.0, 0, "100" },
        { 1e20, 0, "1e20" },
        { 1e-8, 0, "1e-8" },
        { 0.0, 0, "0" },
        { -0.0, 0, "-0" },
        { 1.5, 0, "1.5" },
        { -7.0, 0, "-7" },
        // Significant digits, correctly rounded, ties to even, trailing zeros dropped.
        { 3.14159265358979, 6, "3.14159" },
        { 0.1, 6, "0.1" },
        { 123456789.0, 6, "123457000" },
        { 2.5, 1, "2" },
        { 3.5, 1, "4" },
        { 0.125, 2, "0.12" },
        { 0.375, 2, "0.38" },
        { 999999.5, 6, "1000000" },
        { 9.9999996, 6, "10" },
        { 1e-5, 6, "0.00001" },
        { 1.23456789e-10, 6, "1.23457e-10" },
        { 1.0 / 3.0, 6, "0.333333" },
        { -2.0 / 3.0, 6, "-0.666667" },
        { 0.15, 1, "0.1" }, // 0.15 is stored a little below the tie
        { infinity, 6, "1.#INF" },
    };
    for (auto const& c : cases) EXPECT_EQ(formatted(c.value, c.digits, KeepZero::No), c.text) << c.text;
}

// More digits than the shortest text: the exact decimal expansion, rounded at the last digit asked for.
TEST(FloatText, LongDigitCounts)
{
    EXPECT_EQ(formatted(0.1, 22, KeepZero::Yes), "0.1000000000000000055511");
    EXPECT_EQ(formatted(1.0 / 3.0, 22, KeepZero::Yes), "0.3333333333333333148296");
    EXPECT_EQ(formatted(12345.5, 22, KeepZero::Yes), "12345.5");
    EXPECT_EQ(formatted(1e16, 22, KeepZero::Yes), "10000000000000000.0");
    EXPECT_EQ(formatted(5e-324, 22, KeepZero::Yes), "4.940656458412465441766e-324");
}

TEST(FloatText, DigitsAndDecimalPoint)
{
    struct Case {
        double value;
        int digits;
        char const* text;
        int decimal_point;
        bool negative;
    };
    Case const cases[] = {
        { 1.5, 0, "15", 1, false },
        { -100.0, 0, "1", 3, true },
        { 0.001, 0, "1", -2, false },
        { 1e17, 0, "1", 18, false },
        { 123456.0, 3, "123", 6, false },
        { 0.0, 0, "0.0", float_::zero_decimal_point, false },
        { -0.0, 0, "-0.0", float_::zero_decimal_point, true },
        { -infinity, 0, "-1.#INF", float_::special_decimal_point, true },
        { not_a_number, 0, "1.#NaN", float_::special_decimal_point, false },
    };
    for (auto const& c : cases) {
        int decimal_point = 0;
        bool negative = false;
        EXPECT_EQ(float_::to_text(c.value, c.digits, decimal_point, negative, KeepZero::Yes), c.text) << c.text;
        EXPECT_EQ(decimal_point, c.decimal_point) << c.text;
        EXPECT_EQ(negative, c.negative) << c.text;
    }
}

TEST(FloatText, Reading)
{
    struct Case {
        char const* text;
        double value;
        std::size_t rest;
    };
    Case const cases[] = {
        { "1.5", 1.5, 0 },
        { "+1.5", 1.5, 0 },
        { "-1.5", -1.5, 0 },
        { "0.1", 0.1, 0 },
        { "000123.4500", 123.45, 0 },
        { ".5", 0.5, 0 },
        { "5.", 5.0, 0 },
        { "1e10", 1e10, 0 },
        { "1E-5", 1e-5, 0 },
        { "2.5e+3", 2500.0, 0 },
        { "0.000001", 1e-6, 0 },
        { "1.7976931348623157e308", 1.7976931348623157e308, 0 },
        { "1.7976931348623158e308", 1.7976931348623157e308, 0 }, // below the halfway point to 2^1024
        { "1.7976931348623159e308", infinity, 0 },
        { "1e400", infinity, 0 },
        { "-1e400", -infinity, 0 },
        { "5e-324", 5e-324, 0 },
        { "4.9406564584124654e-324", 5e-324, 0 },
        { "3e-324", 5e-324, 0 },
        { "2.4703282292062328e-324", 5e-324, 0 }, // just above half the smallest subnormal
        { "2.4703282292062327e-324", 0.0, 0 },
        { "2e-324", 0.0, 0 },
        { "1e-400", 0.0, 0 },
        { "1e-99999999999", 0.0, 0 },
        { "1e99999999999", infinity, 0 },
        { "0e999999", 0.0, 0 },
        { "9007199254740993", 9007199254740992.0, 0 }, // a tie: to even
        { "9007199254740995", 9007199254740996.0, 0 },
        { "9007199254740993.0000000000000000000001", 9007199254740994.0, 0 },
        { "123abc", 123.0, 3 },
        { "1e", 1.0, 1 },
        { "1e+", 1.0, 2 },
        { "1e5x", 1e5, 1 },
        { "1.5.5", 1.5, 2 },
        { "1.#INF", infinity, 0 },
        { "1.#inf", infinity, 0 },
        { "-1.#INF", -infinity, 0 },
        { "1.#INF)", infinity, 1 },
    };
    for (auto const& c : cases) {
        std::size_t rest = 99;
        double const value = float_::from_text(c.text, 0, &rest);
        EXPECT_EQ(bits(value), bits(c.value)) << c.text << " read as " << value;
        EXPECT_EQ(rest, c.rest) << c.text;
    }
    std::size_t rest = 0;
    EXPECT_TRUE(std::isnan(float_::from_text("1.#NaN", 0, &rest)));
    EXPECT_EQ(rest, 0u);
    EXPECT_FALSE(std::signbit(float_::from_text("-1.#NaN")));
    EXPECT_TRUE(std::signbit(float_::from_text("-0")));
    EXPECT_TRUE(std::signbit(float_::from_text("-1e-400")));
    // Nothing that is a number: nothing read.
    EXPECT_EQ(float_::from_text(".", 0, &rest), 0.0);
    EXPECT_EQ(rest, 1u);
    EXPECT_EQ(float_::from_text("", 0, &rest), 0.0);
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(float_::from_text("-x", 0, &rest), 0.0);
    EXPECT_EQ(rest, 2u);
}

// The extra exponent scales exactly: a percent literal is its number divided by 100, correctly rounded.
TEST(FloatText, ExtraExponent)
{
    EXPECT_EQ(float_::from_text("50", -2), 0.5);
    EXPECT_EQ(bits(float_::from_text("1.23", -2)), bits(0.0123));
    EXPECT_EQ(bits(float_::from_text("7", -2)), bits(0.07));
    EXPECT_EQ(bits(float_::from_text("1e-2", 2)), bits(1.0));
    EXPECT_EQ(float_::from_text("1", 400), infinity);
}

// Long inputs decide ties by digits far beyond the seventeenth.
TEST(FloatText, LongInputs)
{
    std::string const tie = "1." + std::string(52, '0');
    std::string half_above = "1.00000000000000011102230246251565404236316680908203125"; // 1 + 2^-53: a tie
    EXPECT_EQ(bits(float_::from_text(half_above)), bits(1.0));
    half_above += std::string(700, '0') + "1";
    EXPECT_EQ(bits(float_::from_text(half_above)), bits(std::nextafter(1.0, 2.0)));
    std::string const long_zeros = "0." + std::string(400, '0') + "1e400";
    EXPECT_EQ(float_::from_text(long_zeros), 0.1);
    EXPECT_EQ(bits(float_::from_text(tie)), bits(1.0));
}

// Every double writes as the shortest text that reads back as the same bits: NaN payloads aside.
TEST(FloatText, RandomDoublesRoundTrip)
{
    std::mt19937_64 random(20240601);
    for (int i = 0; i < 100'000; ++i) {
        double const x = std::bit_cast<double>(random());
        if (!std::isfinite(x)) continue;
        std::string const text = formatted(x);
        std::size_t rest = 99;
        EXPECT_EQ(bits(float_::from_text(text, 0, &rest)), bits(x)) << text;
        EXPECT_EQ(rest, 0u) << text;
        // No shorter text reads back: the digits match the standard library's shortest ones.
        int decimal_point;
        bool negative;
        std::string const digits(float_::to_text(x, 0, decimal_point, negative, KeepZero::Yes));
        char expected[32];
        char* end
            = std::to_chars(expected, expected + sizeof expected, std::fabs(x), std::chars_format::scientific).ptr;
        std::string shortest;
        for (char* c = expected; c < end && *c != 'e'; ++c)
            if (*c != '.') shortest.push_back(*c);
        EXPECT_EQ(digits, shortest) << text;
    }
}

// Decimal text of at most 15 significant digits reads and writes back to the same digits, and every
// reading agrees with the standard library's to the bit.
TEST(FloatText, RandomDecimalsRoundTrip)
{
    std::mt19937_64 random(77);
    std::uniform_int_distribution<std::int64_t> mantissa(1, 999'999'999'999'999);
    std::uniform_int_distribution<int> exponent(-320, 290);
    for (int i = 0; i < 50'000; ++i) {
        std::string digits = std::to_string(mantissa(random));
        while (digits.back() == '0') digits.pop_back();
        std::string const text = digits.substr(0, 1) + "." + digits.substr(1) + "e" + std::to_string(exponent(random));
        double const value = float_::from_text(text);
        ASSERT_EQ(bits(value), bits(oracle(text))) << text;
        if (value < 2.2250738585072014e-308) continue; // subnormals hold fewer digits
        int decimal_point;
        bool negative;
        EXPECT_EQ(std::string(float_::to_text(value, 0, decimal_point, negative, KeepZero::Yes)), digits) << text;
    }
}

TEST(FloatText, AngleReduction)
{
    using math::AngleFold;
    auto degrees
        = [](double x, AngleFold fold) { return math::degrees_to_radians(x, fold) * 180.0 / 3.141592653589793; };
    struct Case {
        double angle;
        AngleFold fold;
        double reduced;
    };
    Case const cases[] = {
        { 270, AngleFold::Tangent, -90 },
        { 270, AngleFold::Cosine, -90 },
        { 270, AngleFold::Sine, -90 },
        { 135, AngleFold::Tangent, -45 },
        { 135, AngleFold::Cosine, 135 },
        { 135, AngleFold::Sine, 45 },
        { -135, AngleFold::Tangent, 45 },
        { -135, AngleFold::Sine, -45 },
        { -135, AngleFold::Cosine, -135 },
        { 540, AngleFold::Cosine, 180 },
        { 30, AngleFold::Sine, 30 },
        { -720, AngleFold::Sine, 0 },
        { 90, AngleFold::Tangent, 90 },
        { 181, AngleFold::Cosine, -179 },
    };
    for (auto const& c : cases)
        EXPECT_NEAR(degrees(c.angle, c.fold), c.reduced, 1e-9) << c.angle << " fold " << static_cast<int>(c.fold);
    EXPECT_EQ(math::degrees_to_radians(180, AngleFold::Cosine), 3.141592653589793);
}
