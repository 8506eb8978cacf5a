// float!: tolerant and exact equality, NaN in comparisons, the number former with and without the pretty
// flag, arithmetic with its result types, rounding, and conversions.

#include <bit>
#include <cmath>
#include <limits>

#include "datatypes/compare.h"
#include "runtime/series.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using FloatTest = ScalarTest;

double const not_a_number = std::numeric_limits<double>::quiet_NaN();
double const inf = std::numeric_limits<double>::infinity();

double ulps_above(double x, int count)
{
    for (int i = 0; i < count; ++i) x = std::nextafter(x, inf);
    return x;
}

float ulps_above(float x, int count)
{
    for (int i = 0; i < count; ++i) x = std::nextafter(x, std::numeric_limits<float>::infinity());
    return x;
}

Cell typed(TypeId type, double value)
{
    Cell result = float_::make(value);
    cell::set_type(result, type);
    return result;
}

// The pretty flag for one test, put back afterwards.
struct PrettyFlag {
    explicit PrettyFlag(bool on)
        : m_before(float_::state.pretty)
    {
        float_::state.pretty = on;
    }
    ~PrettyFlag() { float_::state.pretty = m_before; }
    PrettyFlag(PrettyFlag const&) = delete;
    PrettyFlag& operator=(PrettyFlag const&) = delete;

private:
    bool m_before;
};

}

// Tolerant equality: within 10 units in the last place, or closer than the double epsilon, so tiny values
// of opposite sign are equal.
TEST(FloatAlmostEqual, Cases)
{
    struct Case {
        double a, b;
        bool equal;
    };
    Case const cases[] = {
        { 1.0, 1.0, true },
        { 0.0, -0.0, true },
        { 1.0, ulps_above(1.0, 10), true },
        { 1.0, ulps_above(1.0, 11), false },
        { 1e300, ulps_above(1e300, 10), true }, // the tolerance scales with the magnitude
        { 1e300, ulps_above(1e300, 11), false },
        { -1e300, ulps_above(-1e300, 10), true },
        { 1e-300, -1e-300, true },
        { 0.1 + 0.2, 0.3, true },
        { 1.0, 1.0000001, false },
        { inf, inf, true },
        { inf, -inf, false },
        { std::numeric_limits<double>::max(), inf, true }, // adjacent bit patterns
        { not_a_number, not_a_number, false },
        { not_a_number, 1.0, false },
    };
    for (auto const& c : cases) {
        EXPECT_EQ(float_::almost_equal_q(c.a, c.b), c.equal) << c.a << " vs " << c.b;
        EXPECT_EQ(float_::almost_equal_q(c.b, c.a), c.equal) << c.b << " vs " << c.a;
    }
}

TEST(FloatAlmostEqual, SinglePrecision)
{
    float const finf = std::numeric_limits<float>::infinity();
    struct Case {
        float a, b;
        bool equal;
    };
    Case const cases[] = {
        { 1.0F, 1.0F, true },
        { 1.0F, ulps_above(1.0F, 10), true },
        { 1.0F, ulps_above(1.0F, 11), false },
        { -1.0F, ulps_above(-1.0F, 10), true },
        { 0.0F, -0.0F, true },
        { finf, finf, true },
        { finf, -finf, false },
        { finf, std::numeric_limits<float>::max(), true }, // within 0x100000 patterns
        { finf, 1.0F, false },
        { std::numeric_limits<float>::quiet_NaN(), 1.0F, false },
    };
    for (auto const& c : cases) EXPECT_EQ(float_::almost_equal32_q(c.a, c.b), c.equal) << c.a << " vs " << c.b;
}

TEST(FloatBits, Predicates)
{
    EXPECT_TRUE(float_::nan_bits_q(0, 0x7FF80000));
    EXPECT_TRUE(float_::nan_bits_q(1, 0xFFF00000));
    EXPECT_FALSE(float_::nan_bits_q(0, 0x7FF00000)) << "infinity";
    EXPECT_EQ(float_::abs_bits(0, 0xBFF00000), 1.0);
    EXPECT_TRUE(float_::nan32_q(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_TRUE(float_::infinite_q(-inf));
    EXPECT_TRUE(float_::infinite_q(not_a_number));
    EXPECT_FALSE(float_::infinite_q(1e308));
}

TEST_F(FloatTest, Compare)
{
    struct Case {
        Cell a, b;
        CompareOp op;
        bool expected;
    };
    Case const cases[] = {
        { float_::make(0.1 + 0.2), float_::make(0.3), CompareOp::Equal, true },
        { float_::make(0.1 + 0.2), float_::make(0.3), CompareOp::StrictEqual, false },
        { float_::make(0.1 + 0.2), float_::make(0.3), CompareOp::NotEqual, false },
        { float_::make(0.1 + 0.2), float_::make(0.3), CompareOp::Greater, true },
        { float_::make(0.0), float_::make(-0.0), CompareOp::StrictEqual, true },
        { float_::make(0.0), float_::make(-0.0), CompareOp::Same, false }, // bit patterns differ
        { float_::make(2.0), float_::make(2.0), CompareOp::Same, true },
        { float_::make(2.0), integer::make(2), CompareOp::Equal, true },
        { float_::make(2.0), integer::make(2), CompareOp::StrictEqual, false },
        { float_::make(2.0), integer::make(3), CompareOp::Lesser, true },
        { float_::make(0.5), typed(type_ids::percent, 0.5), CompareOp::Equal, true },
        { float_::make(0.5), typed(type_ids::percent, 0.5), CompareOp::FindEqual, false },
        { float_::make(not_a_number), float_::make(not_a_number), CompareOp::Equal, false },
        { float_::make(not_a_number), float_::make(not_a_number), CompareOp::StrictEqual, false },
        { float_::make(not_a_number), float_::make(not_a_number), CompareOp::FindEqual, false },
        { float_::make(not_a_number), float_::make(1.0), CompareOp::Lesser, false },
        { float_::make(not_a_number), float_::make(1.0), CompareOp::LesserOrEqual, false },
        { float_::make(not_a_number), float_::make(1.0), CompareOp::Greater, false },
        { float_::make(not_a_number), float_::make(1.0), CompareOp::GreaterOrEqual, false },
        { float_::make(1.0), float_::make(not_a_number), CompareOp::Lesser, false },
        { float_::make(1.0), float_::make(not_a_number), CompareOp::Greater, false },
        { float_::make(-inf), float_::make(-1e308), CompareOp::Lesser, true },
        { float_::make(1.0), none_value, CompareOp::Equal, false },
    };
    for (Case const& c : cases)
        EXPECT_EQ(actions::compare(c.a, c.b, c.op), c.expected)
            << float_::get(c.a) << " code " << static_cast<int>(c.op);
    EXPECT_EQ(raised_by([] { actions::compare(float_::make(1.0), none_value, CompareOp::Greater); }),
        err::script::invalid_compare);
    EXPECT_EQ(float_::compare(float_::make(1.0), float_::make(2.0), CompareOp::Sort), -1);
}

TEST_F(FloatTest, FormNumber)
{
    struct Case {
        double value;
        int kind;
        bool pretty;
        char const* text;
    };
    Case const cases[] = {
        { 3.0, 1, false, "3.0" },
        { -2.5, 1, false, "-2.5" },
        { 0.1, 1, false, "0.1" },
        { 0.0, 1, false, "0.0" },
        { 1e20, 1, false, "1.0e20" },
        { 1.5e-7, 1, false, "1.5e-7" },
        { 1.2345678901234567e-300, 1, false, "1.234567890123457e-300" },
        { 123456789012345678.0, 1, false, "1.234567890123457e17" },
        { 1e15, 1, false, "1000000000000000.0" },
        { 1e16, 1, false, "1.0e16" },
        { 123456.0, 1, false, "123456.0" },
        { 1.0 / 0.0, 1, false, "1.#INF" },
        { -1.0 / 0.0, 1, false, "-1.#INF" },
        { not_a_number, 1, false, "1.#NaN" },
        { 0.1 + 0.7, 1, false, "0.7999999999999999" },
        { 0.1 + 0.7, 1, true, "0.8" },
        { 1e-20, 1, false, "9.999999999999999e-21" },
        { 1e-5, 1, false, "1.0e-5" },
        { 1e-20, 1, true, "0.0" },
        { 1e-20, 2, true, "0%" },
        { 1e-20, 5, true, "0" },
        { 1.0 / 3.0, 1, false, "0.3333333333333333" },
        { 1.0 / 3.0, 1, true, "0.3333333333333333" },
        { 2.0 / 3.0, 1, false, "0.6666666666666666" },
        { 1.1 * 1.1, 1, false, "1.21" },
        { 1.5, 0, false, "1.5" },
        { 2.0, 0, false, "2.0" },
        { 1.0 / 3.0, 0, false, "0.3333333" },
        { 50.0, 2, false, "50%" },
        { 12.5, 3, false, "12.5%" },
        { 1.0 / 3.0, 4, false, "0.333333" },
        { 2.0, 4, false, "2" },
        { 2.0, 5, false, "2" },
        { 1e-5, 5, false, "1e-5" },
    };
    for (Case const& c : cases) {
        PrettyFlag const pretty(c.pretty);
        EXPECT_EQ(float_::form_number(c.value, c.kind), c.text)
            << c.value << " kind " << c.kind << (c.pretty ? " pretty" : "");
    }
}

// form goes through the number former; mold writes the shortest text that reads back, pretty or not.
TEST_F(FloatTest, PrintedForms)
{
    struct Case {
        double value;
        char const* form;
        char const* mold;
    };
    Case const cases[] = {
        { 0.1, "0.1", "0.1" },
        { 3.0, "3.0", "3.0" },
        { 100.0, "100.0", "100.0" },
        { 1.0 / 3.0, "0.3333333333333333", "0.3333333333333333" },
        { 0.1 + 0.2, "0.3", "0.30000000000000004" },
        { 1e20, "1.0e20", "1.0e20" },
        { -0.0, "0.0", "-0.0" }, // pretty: below the epsilon forms as zero
        { 1.0 / 0.0, "1.#INF", "1.#INF" },
        { -1.0 / 0.0, "-1.#INF", "-1.#INF" },
        { not_a_number, "1.#NaN", "1.#NaN" },
    };
    for (Case const& c : cases) {
        Printed const form = formed(float_::make(c.value));
        Printed const mold = molded(float_::make(c.value));
        EXPECT_EQ(form.text, c.form) << c.value;
        EXPECT_EQ(mold.text, c.mold) << c.value;
        EXPECT_EQ(form.limit, 100 - static_cast<std::int32_t>(std::string(c.form).size()));
        EXPECT_EQ(mold.limit, 100 - static_cast<std::int32_t>(std::string(c.mold).size()));
    }
    EXPECT_TRUE(float_::FloatState {}.pretty) << "on from the start, as system/options/float/pretty? is";
    PrettyFlag const pretty(true);
    EXPECT_EQ(formed(float_::make(0.1 + 0.7)).text, "0.8");
    EXPECT_EQ(molded(float_::make(0.1 + 0.7)).text, "0.7999999999999999");
}

TEST_F(FloatTest, DoMath)
{
    struct Case {
        double left, right;
        MathOp op;
        double expected;
    };
    Case const cases[] = {
        { 1.5, 2.25, MathOp::Add, 3.75 },
        { 1.5, 2.25, MathOp::Subtract, -0.75 },
        { 1.5, 2.0, MathOp::Multiply, 3.0 },
        { 1.0, 4.0, MathOp::Divide, 0.25 },
        { 1.0, 0.0, MathOp::Divide, inf },
        { -1.0, 0.0, MathOp::Divide, -inf },
        { 5.5, 2.0, MathOp::Remainder, 1.5 },
        { -5.5, 2.0, MathOp::Remainder, -1.5 },
        { 3.0, inf, MathOp::Remainder, 3.0 },
        { 3.0, -inf, MathOp::Remainder, 3.0 },
    };
    for (Case const& c : cases)
        EXPECT_EQ(float_::do_math(c.left, c.right, c.op), c.expected) << c.left << " op " << static_cast<int>(c.op);
    EXPECT_TRUE(std::isnan(float_::do_math(0.0, 0.0, MathOp::Divide)));
    EXPECT_TRUE(std::isnan(float_::do_math(1.0, 0.0, MathOp::Remainder)));
    EXPECT_TRUE(std::isnan(float_::do_math(1.0, not_a_number, MathOp::Remainder)));
    EXPECT_TRUE(std::isnan(float_::do_math(inf, inf, MathOp::Remainder)));
    EXPECT_TRUE(std::isnan(float_::do_math(inf, 2.0, MathOp::Remainder)));
    EXPECT_EQ(raised_by([] { float_::do_math(1.0, 2.0, MathOp::And); }), err::script::cannot_use);
}

// The result keeps the left operand's type, except that a time! on the right makes a time!.
TEST_F(FloatTest, ResultTypes)
{
    struct Case {
        Cell left, right;
        TypeId type;
        double value;
    };
    Case const cases[] = {
        { float_::make(1.5), integer::make(2), type_ids::float_, 3.5 },
        { float_::make(1.5), cell::make(type_ids::char_, 0, 2), type_ids::float_, 3.5 },
        { float_::make(1.5), typed(type_ids::percent, 0.5), type_ids::float_, 2.0 },
        { typed(type_ids::percent, 0.5), float_::make(1.5), type_ids::percent, 2.0 },
        { typed(type_ids::percent, 0.5), typed(type_ids::percent, 0.25), type_ids::percent, 0.75 },
        { float_::make(1.5), typed(type_ids::time, 60.0), type_ids::time, 61.5 },
        { typed(type_ids::time, 60.0), typed(type_ids::time, 1.0), type_ids::time, 61.0 },
        { typed(type_ids::time, 60.0), integer::make(2), type_ids::time, 62.0 },
        { integer::make(2), float_::make(0.5), type_ids::float_, 2.5 },
    };
    for (Case const& c : cases) {
        Cell const result = run_frame(datatype::actions(type_ids::float_).add, c.left, c.right);
        EXPECT_EQ(cell::type_of(result), c.type) << "left type " << int(cell::type_of(c.left));
        EXPECT_EQ(float_::get(result), c.value);
    }
    TypeActions const& actions = datatype::actions(type_ids::float_);
    EXPECT_EQ(raised_by([&] { run_frame(actions.add, float_::make(1.0), none_value); }), err::script::invalid_type);
    EXPECT_EQ(raised_by([&] { run_frame(actions.add, typed(type_ids::time, 1.0), cell::make(type_ids::char_, 0, 1)); }),
        err::script::invalid_type);
    EXPECT_EQ(raised_by([&] { run_frame(actions.subtract, float_::make(1.0), cell::make(type_ids::pair)); }),
        err::script::not_related);
    EXPECT_EQ(raised_by([&] { run_frame(actions.divide, float_::make(1.0), cell::make(type_ids::tuple)); }),
        err::script::not_related);
    EXPECT_EQ(raised_by([&] { run_frame(actions.remainder, float_::make(1.0), cell::make(type_ids::point2d)); }),
        err::script::not_related);
}

TEST_F(FloatTest, Round)
{
    enum Mode { Nearest, Even, Down, HalfDown, Floor, Ceiling, HalfCeiling };
    struct Case {
        double value;
        Cell scale; // none: no /to
        Mode mode;
        Cell expected;
    };
    Cell const one = float_::make(1.0);
    Case const cases[] = {
        { 2.5, integer::make(1), Nearest, integer::make(3) }, // an integer! scale gives an integer!
        { 2.5, one, Nearest, float_::make(3.0) },
        { 2.5, one, Even, float_::make(2.0) },
        { 3.5, one, Even, float_::make(4.0) },
        { -2.5, one, HalfCeiling, float_::make(-2.0) },
        { 2.5, one, HalfCeiling, float_::make(3.0) },
        { 2.5, one, HalfDown, float_::make(2.0) },
        { -2.5, one, Nearest, float_::make(-3.0) },
        { -2.7, one, Down, float_::make(-2.0) },
        { -2.1, one, Floor, float_::make(-3.0) },
        { 2.1, one, Ceiling, float_::make(3.0) },
        { 2.4, one, Nearest, float_::make(2.0) },
        { 2.5, none_value, Nearest, float_::make(3.0) },
        { -0.4, none_value, Nearest, float_::make(-0.0) },
        { 7.3, integer::make(2), Nearest, integer::make(8) },
        { 7.3, integer::make(-2), Down, integer::make(6) },
        { 1234.5, float_::make(100.0), Nearest, float_::make(1200.0) },
        { 1e300, one, Nearest, float_::make(1e300) }, // finer than the value's precision: unchanged
        { 1.5, float_::make(0.0), Nearest, float_::make(1.5) }, // a zero unit: unchanged
        { 3e-310, float_::make(1e-310), Nearest, float_::make(3e-310) },
    };
    TypeActions const& actions = datatype::actions(type_ids::float_);
    for (Case const& c : cases) {
        bool const has_scale = cell::type_of(c.scale) != type_ids::none;
        RoundOptions const options { .to = has_scale ? &c.scale : nullptr,
            .even = c.mode == Even,
            .down = c.mode == Down,
            .half_down = c.mode == HalfDown,
            .floor = c.mode == Floor,
            .ceiling = c.mode == Ceiling,
            .half_ceiling = c.mode == HalfCeiling };
        Cell const result = actions.round(float_::make(c.value), options);
        EXPECT_EQ(cell::type_of(result), cell::type_of(c.expected)) << c.value;
        if (cell::type_of(c.expected) == type_ids::integer)
            EXPECT_EQ(result, c.expected) << c.value;
        else
            EXPECT_TRUE(float_::almost_equal_q(float_::get(result), float_::get(c.expected)))
                << c.value << " gave " << float_::get(result);
    }

    Cell const cent = float_::make(0.01);
    EXPECT_NEAR(float_::get(actions.round(float_::make(1.2345), RoundOptions { .to = &cent })), 1.23, 1e-15);
    // A percent rounds to whole percents; its scale counts in percents.
    EXPECT_EQ(actions.round(typed(type_ids::percent, 0.125), RoundOptions {}), typed(type_ids::percent, 0.13));
    Cell const big = float_::make(1e308);
    EXPECT_EQ(
        raised_by([&] { actions.round(float_::make(1.7e308), RoundOptions { .to = &big }); }), err::math::overflow);
    Cell const large_integer = integer::make(1);
    for (double const out_of_range : { 1e10, -2147483649.0, not_a_number, HUGE_VAL, -HUGE_VAL })
        EXPECT_EQ(raised_by([&] { actions.round(float_::make(out_of_range), RoundOptions { .to = &large_integer }); }),
            err::math::overflow)
            << out_of_range;
    EXPECT_EQ(
        actions.round(float_::make(-2147483648.4), RoundOptions { .to = &large_integer }), integer::make(INT32_MIN));
}

TEST_F(FloatTest, MakeAndTo)
{
    TypeActions const& actions = datatype::actions(type_ids::float_);
    Cell const prototype = datatype::make(type_ids::float_);
    EXPECT_EQ(actions.to(prototype, integer::make(-3), type_ids::float_), float_::make(-3.0));
    EXPECT_EQ(actions.make(prototype, cell::make(type_ids::char_, 0, 65), type_ids::float_), float_::make(65.0));
    EXPECT_EQ(actions.to(prototype, typed(type_ids::time, 90.5), type_ids::float_), float_::make(90.5));
    EXPECT_EQ(actions.to(prototype, float_::make(0.25), type_ids::percent), typed(type_ids::percent, 0.25));
    EXPECT_EQ(raised_by([&] { actions.to(prototype, none_value, type_ids::float_); }), err::script::bad_to_arg);

    // A block of two numbers: mantissa and decimal exponent.
    auto const block_of = [](std::initializer_list<Cell> values) {
        NodeId const node = buffer::make(4, 16);
        for (Cell const& value : values) *series::append_cell_raw(node) = value;
        return cell::make(type_ids::block, 0, node);
    };
    Rooted two(block_of({ integer::make(5), integer::make(2) }));
    EXPECT_EQ(actions.to(prototype, *two, type_ids::float_), float_::make(500.0));
    Rooted fractional(block_of({ float_::make(1.5), float_::make(-1.9) }));
    EXPECT_DOUBLE_EQ(float_::get(actions.to(prototype, *fractional, type_ids::float_)), 0.15); // 1.5 x 10^-1
    Rooted three(block_of({ integer::make(5), integer::make(2), integer::make(1) }));
    EXPECT_EQ(raised_by([&] { actions.to(prototype, *three, type_ids::float_); }), err::script::bad_to_arg);
    Rooted wrong(block_of({ integer::make(5), none_value }));
    EXPECT_EQ(raised_by([&] { actions.to(prototype, *wrong, type_ids::float_); }), err::script::bad_to_arg);
    Cell at_second = *three;
    at_second.word1 = 1; // two values from the index
    EXPECT_EQ(actions.to(prototype, at_second, type_ids::float_), float_::make(20.0));

    // Up to 8 bytes, big-endian; fewer act as leading zero bytes.
    std::uint8_t const one_and_half[] = { 0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0x99 };
    NodeId const node = buffer::make(16, 1);
    buffer::append_bytes(node, one_and_half, sizeof one_and_half);
    Rooted binary(cell::make(type_ids::binary, 0, node));
    EXPECT_EQ(actions.to(prototype, *binary, type_ids::float_), float_::make(1.5));
    binary->word1 = 7; // two bytes: 0x0099
    EXPECT_EQ(
        actions.to(prototype, *binary, type_ids::float_), float_::make(std::bit_cast<double>(std::uint64_t { 0x99 })));
}

TEST_F(FloatTest, UnaryActions)
{
    TypeActions const& actions = datatype::actions(type_ids::float_);
    EXPECT_EQ(run_frame(actions.absolute, float_::make(-2.5)), float_::make(2.5));
    EXPECT_EQ(actions.negate(float_::make(2.5)), float_::make(-2.5));
    EXPECT_EQ(actions.negate(float_::make(0.0)), float_::make(0.0)) << "0.0 - 0.0 is +0.0";
    EXPECT_TRUE(actions.odd_q(float_::make(3.7)));
    EXPECT_TRUE(actions.odd_q(float_::make(-3.0)));
    EXPECT_TRUE(actions.even_q(float_::make(4.2)));
    EXPECT_FALSE(actions.even_q(float_::make(not_a_number)));
    EXPECT_FALSE(actions.odd_q(float_::make(not_a_number)));
    for (double const infinite : { HUGE_VAL, -HUGE_VAL }) {
        EXPECT_FALSE(actions.even_q(float_::make(infinite)));
        EXPECT_FALSE(actions.odd_q(float_::make(infinite)));
    }
    EXPECT_TRUE(actions.even_q(float_::make(-1e300))) << "every float this large is even";
    EXPECT_TRUE(actions.odd_q(float_::make(3'000'000'001.0))) << "parity beyond the 32-bit range";
    EXPECT_EQ(run_frame(actions.power, float_::make(2.0), integer::make(3)), float_::make(8.0));
    EXPECT_EQ(run_frame(actions.power, float_::make(4.0), float_::make(-0.5)), float_::make(0.5));
    EXPECT_EQ(raised_by([&] { run_frame(actions.power, float_::make(2.0), none_value); }), err::script::expect_arg);
    EXPECT_EQ(actions.and_, nullptr) << "no bitwise actions on floats";
}
