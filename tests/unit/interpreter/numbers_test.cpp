// The number scanners: the float syntax check, integer!, float! and money! text in every string unit, and
// the digit readers of the date and time loaders.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "interpreter/lexer/numbers.h"
#include "runtime/text_encoding.h"

namespace {

using namespace xol;
using namespace xol::lexer;

// The text in units of `unit` bytes.
std::vector<std::byte> units(std::string_view text, std::uint32_t unit)
{
    std::vector<std::byte> stored(text.size() * unit);
    for (std::size_t i = 0; i < text.size(); ++i)
        string::store_unit(stored.data() + i * unit, unit, static_cast<unsigned char>(text[i]));
    return stored;
}

bool float_text(std::string_view text)
{
    return float_syntax_q(text.data(), text.data() + text.size());
}

}

TEST(FloatSyntax, Cases)
{
    struct Case {
        char const* text;
        bool accepted;
    };
    Case const cases[] = {
        { "1", true },
        { "1.", true },
        { ".5", true },
        { "1.5", true },
        { "+1.5", true },
        { "-.5", true },
        { "1e5", true },
        { "1E-5", true },
        { "1.5e+3", true },
        { "1'000.5", true },
        { "1'", true },
        { "1.5'5", true },
        { "1e", false },
        { "e5", false },
        { "1e+", false },
        { "1.e5", false },
        { ".", false },
        { "-", false },
        { "", false },
        { "--1", false },
        { "1-", false },
        { "1e5'0", false },
        { "1x", false },
        { "1..5", false },
        { "'1", false },
    };
    for (Case const& each : cases) EXPECT_EQ(float_text(each.text), each.accepted) << each.text;
    EXPECT_TRUE(float_text(std::string(312, '1')));
    EXPECT_FALSE(float_text(std::string(313, '1')));
}

TEST(ScanInteger, Cases)
{
    struct Case {
        char const* text;
        std::int32_t value;
        std::int32_t error;
    };
    Case const cases[] = {
        { "0", 0, scan_ok },
        { "+5", 5, scan_ok },
        { "-5", -5, scan_ok },
        { "1'000'000", 1000000, scan_ok },
        { "2147483647", INT32_MAX, scan_ok },
        { "-2147483648", INT32_MIN, scan_ok },
        { "2147483648", 0, scan_overflow },
        { "-2147483649", 0, scan_overflow },
        // The smallest integer does not end the scan: what follows it is read as for any number.
        { "-21474836480", 0, scan_overflow },
        { "-2147483648x", INT32_MIN, scan_bad },
        { "12a", 12, scan_bad },
        { "", 0, scan_bad },
        { "-", 0, scan_bad },
    };
    for (std::uint32_t unit : { 1u, 2u, 4u }) {
        for (Case const& each : cases) {
            std::vector<std::byte> const text = units(each.text, unit);
            std::int32_t error = 99;
            std::int32_t const value
                = scan_integer(text.data(), static_cast<std::uint32_t>(std::strlen(each.text)), unit, error);
            EXPECT_EQ(value, each.value) << each.text << " unit " << unit;
            EXPECT_EQ(error, each.error) << each.text << " unit " << unit;
        }
    }
}

TEST(ScanFloat, Cases)
{
    struct Case {
        char const* text;
        double value; // NaN: the scan fails
    };
    double const nan = std::nan("");
    Case const cases[] = {
        { "1.5", 1.5 },
        { "1,5", 1.5 },
        { "1'000,25", 1000.25 },
        { "-.5", -0.5 },
        { "1.", 1.0 },
        { "2e3", 2000.0 },
        { "1e", nan },
        { "e1", nan },
        { "1.5.5", nan },
        { "--1", nan },
        { "1 ", nan },
    };
    for (std::uint32_t unit : { 1u, 2u, 4u }) {
        for (Case const& each : cases) {
            std::vector<std::byte> const text = units(each.text, unit);
            std::int32_t error = 99;
            double const value
                = scan_float(text.data(), static_cast<std::uint32_t>(std::strlen(each.text)), unit, error);
            if (std::isnan(each.value)) {
                EXPECT_TRUE(std::isnan(value)) << each.text;
                EXPECT_EQ(error, scan_bad) << each.text;
            } else {
                EXPECT_EQ(value, each.value) << each.text;
                EXPECT_EQ(error, scan_ok) << each.text;
            }
        }
    }
    std::vector<std::byte> const long_text = units(std::string(313, '1'), 1);
    std::int32_t error = 0;
    EXPECT_TRUE(std::isnan(scan_float(long_text.data(), 313, 1, error)));
    EXPECT_EQ(error, scan_bad);
}

TEST(ScanMoney, Cases)
{
    struct Case {
        char const* text;
        bool accepted;
        char const* currency;
        char const* integral;
        char const* fraction;
        bool negative;
    };
    Case const cases[] = {
        { "$1", true, "", "1", "", false },
        { "-$1'000.50", true, "", "1000", "50", true },
        { "+USD$12.5", true, "USD", "12", "5", false },
        { "usd$1", false },
        { "US$1", false },
        { "USD$", false },
        { "$", false },
        { "$1.", false },
        { "$.5", false },
        { "$'1", false },
        { "$1''2", false },
        { "$1'", false },
        { "$1.5'", false },
        { "$1.2.3", false },
        { "$1x", false },
    };
    for (Case const& each : cases) {
        std::vector<std::byte> const text = units(each.text, 2);
        std::optional<MoneyText> const money
            = scan_money(text.data(), static_cast<std::uint32_t>(std::strlen(each.text)), 2);
        ASSERT_EQ(money.has_value(), each.accepted) << each.text;
        if (!money) continue;
        EXPECT_EQ(money->currency, each.currency) << each.text;
        EXPECT_EQ(money->integral, each.integral) << each.text;
        EXPECT_EQ(money->fraction, each.fraction) << each.text;
        EXPECT_EQ(money->negative, each.negative) << each.text;
    }
}

TEST(DigitReaders, Cases)
{
    std::string const text = "-2147483648:12x";
    std::int32_t value = 0;
    std::int32_t error = 0;
    char const* after = read_signed(text.data(), text.data() + text.size(), value, error);
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(*after, ':');
    std::string const large = "2147483648";
    read_signed(large.data(), large.data() + large.size(), value, error);
    EXPECT_EQ(error, reader_overflow);

    std::string const digits = "12345";
    after = read_fixed(digits.data(), digits.data() + digits.size(), 2, true, value, error);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(after, digits.data() + 2);
    read_fixed(digits.data(), digits.data() + 1, 2, true, value, error);
    EXPECT_EQ(error, reader_no_digit);
    read_fixed(digits.data() + 5, digits.data() + 5, 2, false, value, error);
    EXPECT_EQ(error, reader_at_end);

    std::string const seconds = "05.25Z";
    double decimal = 0;
    after = read_decimal(seconds.data(), seconds.data() + seconds.size(), decimal, error);
    EXPECT_EQ(decimal, 5.25);
    EXPECT_EQ(*after, 'Z');
}
