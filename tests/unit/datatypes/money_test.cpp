// The decimal engine under money!: the five operations against 128-bit integer arithmetic on many random
// operands (1 to 22 digits, both signs, zero, each side of every limit), with their overflow, underflow and
// division by zero; the integer and float conversions; the formatting of the digits.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "datatypes/money.h"
#include "datatypes/symbol.h"
#include "interpreter/boot.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using Int128 = __int128;

// The engine alone; the text and the currencies need the library's currency list and money-digits option.
using MoneyTest = RuntimeTest;
struct MoneyTextTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        boot::run_library();
    }
};

Int128 power_of_ten(int exponent)
{
    Int128 result = 1;
    for (int i = 0; i < exponent; ++i) result *= 10;
    return result;
}

Int128 const limit = power_of_ten(money::digit_count); // the first magnitude that does not fit

// A money! of an amount in units of 0.00001 (|amount| below 10^22).
Cell money_of(Int128 amount)
{
    Cell value = money::zero();
    bool const negative = amount < 0;
    Int128 magnitude = negative ? -amount : amount;
    for (int position = money::digit_count; position >= 1; --position) {
        money::set_digit(value, position, static_cast<std::int32_t>(magnitude % 10));
        magnitude /= 10;
    }
    money::set_negative(value, negative && amount != 0);
    return value;
}

Int128 amount_of(Cell const& value)
{
    Int128 magnitude = 0;
    for (int position = 1; position <= money::digit_count; ++position)
        magnitude = magnitude * 10 + money::get_digit(value, position);
    return money::sign_of(value) < 0 ? -magnitude : magnitude;
}

std::string text_of(Int128 amount)
{
    if (amount == 0) return "0";
    std::string digits;
    bool const negative = amount < 0;
    for (Int128 rest = negative ? -amount : amount; rest != 0; rest /= 10)
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(rest % 10)));
    return negative ? "-" + digits : digits;
}

// Random amounts of 1 to 22 digits, and the values on each side of every limit the engine has.
std::vector<Int128> sample_amounts(std::size_t random_count)
{
    std::vector<Int128> amounts { 0, 1, 5, 9, 10, 99999, 100000, 100001, 50000 };
    for (int exponent = 1; exponent <= money::digit_count; ++exponent) {
        amounts.push_back(power_of_ten(exponent) - 1);
        if (exponent < money::digit_count) amounts.push_back(power_of_ten(exponent));
    }
    amounts.push_back(5 * power_of_ten(money::digit_count - 1)); // the first digits of two add up to 10
    amounts.push_back(Int128 { 2147483647 } * 100000 + 99999);
    amounts.push_back(Int128 { 2147483648 } * 100000);
    std::mt19937_64 generator(20270101);
    std::uniform_int_distribution<int> length(1, money::digit_count);
    std::uniform_int_distribution<int> digit(0, 9);
    for (std::size_t i = 0; i < random_count; ++i) {
        int const digits = length(generator);
        Int128 amount = 1 + digit(generator) % 9;
        for (int k = 1; k < digits; ++k) amount = amount * 10 + digit(generator);
        amounts.push_back(amount);
    }
    std::size_t const count = amounts.size();
    for (std::size_t i = 0; i < count; ++i) amounts.push_back(-amounts[i]);
    return amounts;
}

enum class Outcome { Value, Limit, ZeroDivide };

struct Expected {
    Outcome outcome;
    Int128 value = 0;
};

Expected expected_of(Int128 result)
{
    if (result >= limit || result <= -limit) return { Outcome::Limit };
    return { Outcome::Value, result };
}

using Operation = Cell (*)(Cell const&, Cell const&);

void expect_operation(char const* name, Operation operation, Int128 a, Int128 b, Expected const& expected)
{
    Cell const left = money_of(a);
    Cell const right = money_of(b);
    Cell result = money::zero();
    std::optional<ErrorId> const raised = raised_by([&] { result = operation(left, right); });
    std::string const where = std::string(name) + " " + text_of(a) + " " + text_of(b);
    switch (expected.outcome) {
    case Outcome::Value:
        ASSERT_EQ(raised, std::nullopt) << where;
        ASSERT_EQ(text_of(amount_of(result)), text_of(expected.value)) << where;
        ASSERT_FALSE(expected.value == 0 && money::negative_bit(result)) << where << ": a zero keeps no sign";
        break;
    case Outcome::Limit:
        ASSERT_EQ(raised, err::script::type_limit) << where;
        break;
    case Outcome::ZeroDivide:
        ASSERT_EQ(raised, err::math::zero_divide) << where;
        break;
    }
    ASSERT_EQ(amount_of(left), a) << where << ": the operands stay as they were";
}

}

// Every operation on two amounts, as the oracle computes it.
void expect_all_operations(Int128 a, Int128 b)
{
    Int128 const scale = 100000; // 10^5: one unit of the last decimal
    expect_operation("add", money::add, a, b, expected_of(a + b));
    expect_operation("subtract", money::subtract, a, b, expected_of(a - b));

    // The product is in units of 10^-10: it overflows from 10^27 on, checked before it is formed.
    Int128 const magnitude_a = a < 0 ? -a : a;
    Int128 const magnitude_b = b < 0 ? -b : b;
    Expected product { Outcome::Limit };
    if (magnitude_b == 0 || magnitude_a <= (power_of_ten(27) - 1) / magnitude_b) {
        Int128 const truncated = a * b / scale;
        product = truncated == 0 && a != 0 && b != 0 ? Expected { Outcome::Limit } : expected_of(truncated);
    }
    expect_operation("multiply", money::multiply, a, b, product);

    Expected quotient { Outcome::ZeroDivide };
    Expected rest { Outcome::ZeroDivide };
    if (b != 0) {
        Int128 const truncated = a * scale / b;
        quotient = truncated == 0 && a != 0 ? Expected { Outcome::Limit } : expected_of(truncated);
        rest = expected_of(a % b);
    }
    expect_operation("divide", money::divide, a, b, quotient);
    expect_operation("remainder", money::remainder, a, b, rest);
}

TEST_F(MoneyTest, TheFiveOperationsAgreeWith128BitIntegers)
{
    // Every pair of the limits' neighbours, then pairs of random amounts.
    std::vector<Int128> const limits = sample_amounts(0);
    for (Int128 const a : limits)
        for (Int128 const b : limits) expect_all_operations(a, b);
    std::vector<Int128> const randoms = sample_amounts(4000);
    std::mt19937_64 generator(7);
    std::uniform_int_distribution<std::size_t> pick(0, randoms.size() - 1);
    for (int i = 0; i < 6000; ++i) expect_all_operations(randoms[pick(generator)], randoms[pick(generator)]);
}

TEST_F(MoneyTest, EdgeCasesOfTheOperations)
{
    Int128 const largest = limit - 1;
    Int128 const half = 5 * power_of_ten(21);
    expect_operation("add", money::add, largest, 1, { Outcome::Limit });
    expect_operation("add", money::add, half, half, { Outcome::Limit });
    expect_operation("add", money::add, -largest, largest, { Outcome::Value, 0 });
    expect_operation("multiply", money::multiply, 1, 50000, { Outcome::Limit }); // 0.00001 x 0.5 is zero
    expect_operation("divide", money::divide, 100000, 300000, { Outcome::Value, 33333 });
    expect_operation("divide", money::divide, -100000, 300000, { Outcome::Value, -33333 });
    expect_operation("divide", money::divide, 200000, 300000, { Outcome::Value, 66666 });
    // 10^16 / 0.5 is 2 x 10^16: it fits, though the dividend's digits and the divisor's look too many.
    expect_operation("divide", money::divide, power_of_ten(21), 50000, { Outcome::Value, 2 * power_of_ten(21) });
    expect_operation("divide", money::divide, largest, 1, { Outcome::Limit });
    expect_operation("divide", money::divide, 1, largest, { Outcome::Limit });
    expect_operation("remainder", money::remainder, -700000, 200000, { Outcome::Value, -100000 });
    expect_operation("remainder", money::remainder, 1, largest, { Outcome::Value, 1 });
}

TEST_F(MoneyTest, IntegerConversionsAreExactAndTruncate)
{
    for (std::int32_t const number : { 0, 1, -1, 42, -2147483647 - 1, 2147483647, 1000000000, -999999999 }) {
        Cell const value = money::from_integer(number);
        EXPECT_EQ(amount_of(value), Int128 { number } * 100000) << number;
        EXPECT_EQ(money::to_integer(value), number) << number;
        EXPECT_EQ(money::currency_of(value), 0u);
    }
    struct Case {
        Int128 amount;
        std::optional<std::int32_t> expected;
    };
    Case const cases[] = {
        { Int128 { 2147483647 } * 100000 + 99999, 2147483647 },
        { -(Int128 { 2147483648 } * 100000 + 50000), -2147483647 - 1 },
        { Int128 { 2147483648 } * 100000, std::nullopt },
        { -(Int128 { 2147483649 } * 100000), std::nullopt },
        { limit - 1, std::nullopt },
        { 99999, 0 },
        { -199999, -1 },
    };
    for (Case const& c : cases) {
        std::int32_t got = 0;
        std::optional<ErrorId> const raised = raised_by([&] { got = money::to_integer(money_of(c.amount)); });
        if (c.expected) {
            EXPECT_EQ(raised, std::nullopt) << text_of(c.amount);
            EXPECT_EQ(got, *c.expected) << text_of(c.amount);
        } else {
            EXPECT_EQ(raised, err::script::type_limit) << text_of(c.amount);
        }
    }
}

// A float whose shortest text has at most five decimals becomes exactly those digits and converts back to
// the same double.
TEST_F(MoneyTest, FloatsWithAtMostFiveDecimalsRoundTrip)
{
    std::mt19937_64 generator(42);
    // Fifteen significant digits at most: every such decimal survives the trip through a double.
    std::uniform_int_distribution<std::int64_t> units(-999999999999999LL, 999999999999999LL);
    std::uniform_int_distribution<int> decimals(0, 5);
    for (int i = 0; i < 20000; ++i) {
        std::int64_t step = 1;
        for (int k = decimals(generator); k < 5; ++k) step *= 10;
        std::int64_t const amount = units(generator) / step * step;
        double const number = static_cast<double>(amount) / 100000.0;
        Cell const value = money::from_float(number, money::FloatMode::Strict);
        ASSERT_EQ(amount_of(value), Int128 { amount }) << number;
        ASSERT_EQ(money::to_float(value), number) << number;
    }
    struct Case {
        double number;
        std::optional<Int128> strict;
        std::optional<Int128> lenient;
    };
    Case const cases[] = {
        { 0.1, 10000, 10000 },
        { 2.675, 267500, 267500 },
        { 0.0, 0, 0 },
        { -0.0, 0, 0 },
        { 0.00001, 1, 1 },
        { 0.123456, std::nullopt, 12345 },
        { -0.123456, std::nullopt, -12345 },
        { 1e-6, std::nullopt, std::nullopt },
        { -1e-6, std::nullopt, std::nullopt },
        { 1e17, std::nullopt, std::nullopt },
        // The shortest text of the double nearest 99999999999999984 is 9999999999999998e1.
        { 99999999999999984.0, Int128 { 99999999999999980 } * 100000, Int128 { 99999999999999980 } * 100000 },
        { 9999999999999998.0, Int128 { 9999999999999998 } * 100000, Int128 { 9999999999999998 } * 100000 },
        { 1e16, power_of_ten(21), power_of_ten(21) },
        { 1.0 / 0.0, std::nullopt, std::nullopt },
        { 0.0 / 0.0, std::nullopt, std::nullopt },
    };
    for (Case const& c : cases) {
        for (money::FloatMode const mode : { money::FloatMode::Strict, money::FloatMode::Lenient }) {
            std::optional<Int128> const expected = mode == money::FloatMode::Strict ? c.strict : c.lenient;
            Cell value = money::zero();
            std::optional<ErrorId> const raised = raised_by([&] { value = money::from_float(c.number, mode); });
            if (expected) {
                EXPECT_EQ(raised, std::nullopt) << c.number;
                EXPECT_EQ(text_of(amount_of(value)), text_of(*expected)) << c.number;
            } else {
                EXPECT_EQ(raised, err::script::bad_make_arg) << c.number;
            }
        }
    }
}

TEST_F(MoneyTextTest, TextGroupsThousandsAndCutsDecimals)
{
    struct Case {
        Int128 amount;
        bool all, group;
        char const* text;
    };
    Case const cases[] = {
        { 123450000, false, true, "$1'234.50" },
        { -123450000, false, false, "-$1234.50" },
        { 25000, true, false, "$0.25000" },
        { 150000000000, false, true, "$1'500'000.00" },
        { 999999, false, true, "$9.99" }, // cut, not rounded
        { 0, false, true, "$0.00" },
        { limit - 1, true, true, "$99'999'999'999'999'999.99999" },
        { -(limit - 1), false, false, "-$99999999999999999.99" },
        { 1, true, true, "$0.00001" },
        { 100000000, false, true, "$1'000.00" },
        { 10000000, false, true, "$100.00" },
    };
    for (Case const& c : cases) {
        Rooted buffer(string::make(16));
        money::format(money_of(c.amount), *buffer, 100, c.all, c.group);
        EXPECT_EQ(string::to_utf8(*buffer), c.text) << text_of(c.amount);
    }
    Cell value = money_of(-123450000);
    money::set_currency(value, static_cast<std::uint32_t>(money::currency_index("USD")));
    EXPECT_EQ(formed(value).text, "-USD$1'234.50");
    EXPECT_EQ(molded(value).text, "-USD$1234.50");
    EXPECT_EQ(molded(value, true).text, "-USD$1234.50000");
    EXPECT_EQ(formed(value).limit, 100 - 13);
}

TEST_F(MoneyTextTest, CurrenciesAreFoundCaseBlindWithinTheFirst255)
{
    EXPECT_EQ(money::currency_index("AED"), 1);
    EXPECT_EQ(money::currency_index("usd"), money::currency_index("USD"));
    EXPECT_GT(money::currency_index("XOL"), 0);
    EXPECT_EQ(money::currency_index("ZZZ"), -1);
    EXPECT_EQ(money::currency_index("US"), -1);
    Cell const word = money::currency_word(1);
    EXPECT_EQ(symbol::spelling(word.word2), "AED");
    EXPECT_EQ(money::currency_index(word.word2), 1);
    EXPECT_EQ(cell::type_of(money::currency_word(0)), type_ids::none);
    EXPECT_EQ(cell::type_of(money::currency_word(171)), type_ids::none);
    Cell made = money::zero();
    EXPECT_TRUE(money::make_from_parts(made, true, "eur", "0001'234", "5678901"));
    EXPECT_EQ(amount_of(made), -123456789);
    EXPECT_EQ(money::currency_of(made), static_cast<std::uint32_t>(money::currency_index("EUR")));
    EXPECT_FALSE(money::make_from_parts(made, false, "QQQ", "1", ""));
    EXPECT_FALSE(money::make_from_parts(made, false, "", "123456789012345678", ""));
    EXPECT_TRUE(money::make_from_parts(made, false, "", "00012345678901234567", ""));
}
