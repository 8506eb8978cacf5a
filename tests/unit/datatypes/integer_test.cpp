// integer!: arithmetic that moves to float! instead of wrapping, the division and remainder rules,
// rounding with every refinement, conversions, comparison and the decimal text.

#include <climits>
#include <cmath>
#include <limits>

#include "datatypes/compare.h"
#include "datatypes/symbol.h"
#include "runtime/series.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using IntegerTest = ScalarTest;

Cell integer_cell(std::int32_t n)
{
    return integer::make(n);
}

action_types::FromFrame slot_for(MathOp op)
{
    return integer::arithmetic_slot(type_ids::integer, op);
}

// An expected result: an integer! or a float! with its value.
struct Number {
    bool is_float;
    double value;
};
Number int_result(std::int64_t n)
{
    return { false, static_cast<double>(n) };
}
Number float_result(double d)
{
    return { true, d };
}

void expect_number(Cell const& result, Number expected, std::string const& label)
{
    if (expected.is_float) {
        ASSERT_EQ(cell::type_of(result), type_ids::float_) << label;
        EXPECT_EQ(float_::get(result), expected.value) << label;
    } else {
        ASSERT_EQ(cell::type_of(result), type_ids::integer) << label;
        EXPECT_EQ(integer::get(result), static_cast<std::int32_t>(expected.value)) << label;
    }
}

}

TEST_F(IntegerTest, Arithmetic)
{
    struct Case {
        MathOp op;
        std::int32_t left, right;
        Number expected;
    };
    Case const cases[] = {
        { MathOp::Add, 2, 3, int_result(5) },
        { MathOp::Add, INT32_MAX, 1, float_result(2147483648.0) },
        { MathOp::Add, INT32_MIN, -1, float_result(-2147483649.0) },
        { MathOp::Subtract, INT32_MIN, 1, float_result(-2147483649.0) },
        { MathOp::Subtract, 0, INT32_MIN, float_result(2147483648.0) },
        { MathOp::Subtract, -5, 7, int_result(-12) },
        { MathOp::Multiply, 65536, 65536, float_result(4294967296.0) },
        { MathOp::Multiply, -46341, 46341, float_result(-2147488281.0) },
        { MathOp::Multiply, -65536, 32768, int_result(INT32_MIN) },
        { MathOp::Divide, 7, 2, float_result(3.5) },
        { MathOp::Divide, 6, 3, int_result(2) },
        { MathOp::Divide, -7, 7, int_result(-1) },
        { MathOp::Divide, 1, 3, float_result(1.0 / 3.0) },
        { MathOp::Divide, INT32_MIN, 1, int_result(INT32_MIN) },
        { MathOp::Remainder, -7, 2, int_result(-1) },
        { MathOp::Remainder, 7, -2, int_result(1) },
        { MathOp::Remainder, INT32_MIN, 2, int_result(0) },
        { MathOp::And, 12, 10, int_result(8) },
        { MathOp::Or, 12, 10, int_result(14) },
        { MathOp::Xor, 12, 10, int_result(6) },
        { MathOp::And, -1, 0x7F, int_result(0x7F) },
    };
    for (Case const& c : cases) {
        Cell const result = run_frame(slot_for(c.op), integer_cell(c.left), integer_cell(c.right));
        expect_number(result, c.expected,
            std::to_string(c.left) + " op " + std::to_string(static_cast<int>(c.op)) + " " + std::to_string(c.right));
    }
}

// The core without a result cell wraps and truncates: the pair and tuple modules rely on it.
TEST_F(IntegerTest, CoreWithoutResultCell)
{
    EXPECT_EQ(integer::do_math_op(INT32_MAX, 1, MathOp::Add, nullptr), INT32_MIN);
    EXPECT_EQ(integer::do_math_op(7, 2, MathOp::Divide, nullptr), 3);
    Cell flagged = integer_cell(0);
    flagged.header |= cell::new_line_flag;
    EXPECT_EQ(integer::do_math_op(20, 22, MathOp::Add, &flagged), 42);
    EXPECT_EQ(integer::get(flagged), 42);
    EXPECT_TRUE(cell::has_new_line(flagged)) << "the result cell's header is kept";
}

TEST_F(IntegerTest, ArithmeticErrors)
{
    struct Case {
        MathOp op;
        std::int32_t left, right;
        ErrorId error;
    };
    Case const cases[] = {
        { MathOp::Divide, 1, 0, err::math::zero_divide },
        { MathOp::Remainder, 1, 0, err::math::zero_divide },
        { MathOp::Divide, INT32_MIN, -1, err::math::overflow },
        { MathOp::Remainder, INT32_MIN, -1, err::math::overflow },
    };
    for (Case const& c : cases)
        EXPECT_EQ(raised_by([&] { run_frame(slot_for(c.op), integer_cell(c.left), integer_cell(c.right)); }), c.error);

    TypeActions const& actions = datatype::actions(type_ids::integer);
    EXPECT_EQ(raised_by([&] { actions.negate(integer_cell(INT32_MIN)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { run_frame(actions.absolute, integer_cell(INT32_MIN)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { run_frame(actions.add, integer_cell(1), none_value); }), err::script::invalid_type);
    EXPECT_EQ(errors::last_raised().arguments[0], datatype::make(type_ids::none));
    EXPECT_EQ(raised_by([&] { run_frame(actions.add, integer_cell(1), cell::make(type_ids::pair)); }),
        err::script::invalid_type)
        << "a compound type whose module is not registered";
    // The error names the operation by its own word, whichever operator called it; an integer's operation
    // with a date is only ever an addition, so anything else is named a subtraction.
    struct Related {
        action_types::FromFrame action;
        TypeId compound;
        char const* word;
    };
    Related const related[] = {
        { actions.divide, type_ids::pair, "divide" },
        { actions.remainder, type_ids::pair, "remainder" },
        { actions.divide, type_ids::point3d, "divide" },
        { actions.remainder, type_ids::point3d, "remainder" },
        { actions.divide, type_ids::tuple, "divide" },
        { actions.remainder, type_ids::tuple, "remainder" },
        { actions.subtract, type_ids::tuple, "subtract" },
        { actions.multiply, type_ids::date, "subtract" },
    };
    for (Related const& c : related) {
        EXPECT_EQ(
            raised_by([&] { run_frame(c.action, integer_cell(1), cell::make(c.compound)); }), err::script::not_related)
            << c.word;
        Cell const word = errors::last_raised().arguments[0];
        EXPECT_EQ(cell::type_of(word), type_ids::word) << c.word;
        EXPECT_EQ(symbol::spelling(word.word2), c.word);
        EXPECT_EQ(errors::last_raised().arguments[1], datatype::make(type_ids::integer)) << c.word;
    }
}

// A float!, percent! or time! on the right takes the float arithmetic.
TEST_F(IntegerTest, MixedWithFloats)
{
    TypeActions const& actions = datatype::actions(type_ids::integer);
    expect_number(run_frame(actions.add, integer_cell(3), float_::make(1.5)), float_result(4.5), "3 + 1.5");
    expect_number(run_frame(actions.subtract, integer_cell(3), float_::make(1.5)), float_result(1.5), "3 - 1.5");
    expect_number(
        run_frame(actions.divide, integer_cell(3), float_::make(0.0)), float_result(float_::infinity), "3 / 0.0");
    Cell seconds = float_::make(10.0);
    cell::set_type(seconds, type_ids::time);
    Cell const result = run_frame(actions.multiply, integer_cell(3), seconds);
    EXPECT_EQ(cell::type_of(result), type_ids::time);
    EXPECT_EQ(float_::get(result), 30.0);
    EXPECT_EQ(raised_by([&] { run_frame(actions.and_, integer_cell(3), float_::make(1.0)); }), err::script::cannot_use);
}

TEST_F(IntegerTest, Power)
{
    struct Case {
        std::int32_t base;
        Cell exponent;
        Number expected;
    };
    Case const cases[] = {
        { 2, integer_cell(10), int_result(1024) },
        { 2, integer_cell(31), float_result(2147483648.0) },
        { -2, integer_cell(31), int_result(INT32_MIN) },
        { 2, integer_cell(-1), float_result(0.5) },
        { 0, integer_cell(0), int_result(1) },
        { 7, integer_cell(0), int_result(1) },
        { -3, integer_cell(3), int_result(-27) },
        { 10, integer_cell(10), float_result(1e10) },
        { 4, float_::make(0.5), float_result(2.0) },
        { 1, integer_cell(INT32_MAX), int_result(1) },
    };
    TypeActions const& actions = datatype::actions(type_ids::integer);
    for (Case const& c : cases)
        expect_number(
            run_frame(actions.power, integer_cell(c.base), c.exponent), c.expected, std::to_string(c.base) + " ** ...");
    EXPECT_EQ(raised_by([&] { run_frame(actions.power, integer_cell(2), none_value); }), err::script::expect_arg);
    EXPECT_EQ(cell::type_of(errors::last_raised().arguments[2]), type_ids::word)
        << "the exponent argument's word (<anon> without a calling function)";
    EXPECT_EQ(integer::int_power(46341, 2), std::nullopt);
    EXPECT_EQ(integer::int_power(3, 19), 1162261467);
}

// Rounding to multiples of a scale, with each refinement deciding the direction.
TEST_F(IntegerTest, Round)
{
    enum Mode { Nearest, Even, Down, HalfDown, Floor, Ceiling, HalfCeiling };
    struct Case {
        std::int32_t value;
        std::int32_t scale; // 0: no /to
        Mode mode;
        std::int32_t expected;
    };
    Case const cases[] = {
        { 17, 5, Nearest, 15 },
        { 18, 5, Nearest, 20 },
        { 25, 10, Nearest, 30 },
        { -25, 10, Nearest, -30 },
        { 25, 10, Even, 20 },
        { 35, 10, Even, 40 },
        { -25, 10, Even, -20 },
        { 25, 10, HalfDown, 20 },
        { -25, 10, HalfDown, -20 },
        { 25, 10, HalfCeiling, 30 },
        { -25, 10, HalfCeiling, -20 },
        { -17, 5, Floor, -20 },
        { 17, 5, Floor, 15 },
        { 17, 5, Ceiling, 20 },
        { -17, 5, Ceiling, -15 },
        { 19, 5, Down, 15 },
        { -19, 5, Down, -15 },
        { 19, -5, Nearest, 20 }, // the scale's sign does not matter
        { 20, 5, Nearest, 20 },
        { 7, 0, Nearest, 7 },
        { 7, 1, Ceiling, 7 },
        { INT32_MIN, 2, Nearest, INT32_MIN },
        { INT32_MIN, 10, Down, -2147483640 }, // the lowest integer rounds like any other
        { INT32_MIN, 3, Ceiling, -2147483646 },
        { INT32_MIN, INT32_MIN, Nearest, INT32_MIN },
        { 7, INT32_MIN, Nearest, 0 },
        { -7, INT32_MIN, Floor, INT32_MIN },
        { 2147483647, 1000000000, Floor, 2000000000 },
        { -2147483647, 2, Floor, INT32_MIN }, // the next multiple down is still in range
        { 2147483647, 2, Down, 2147483646 },
    };
    TypeActions const& actions = datatype::actions(type_ids::integer);
    for (Case const& c : cases) {
        Cell const scale = integer_cell(c.scale);
        RoundOptions const options { .to = c.scale != 0 ? &scale : nullptr,
            .even = c.mode == Even,
            .down = c.mode == Down,
            .half_down = c.mode == HalfDown,
            .floor = c.mode == Floor,
            .ceiling = c.mode == Ceiling,
            .half_ceiling = c.mode == HalfCeiling };
        Cell const result = actions.round(integer_cell(c.value), options);
        EXPECT_EQ(result, integer_cell(c.expected)) << c.value << " to " << c.scale << " mode " << c.mode;
    }

    Cell const ten = integer_cell(10);
    EXPECT_EQ(
        raised_by([&] { actions.round(integer_cell(INT32_MAX), RoundOptions { .to = &ten }); }), err::math::overflow);
    Cell const two = integer_cell(2);
    EXPECT_EQ(raised_by([&] { actions.round(integer_cell(INT32_MAX), RoundOptions { .to = &two, .ceiling = true }); }),
        err::math::overflow);
    EXPECT_EQ(
        raised_by([&] { actions.round(integer_cell(INT32_MIN), RoundOptions { .to = &ten }); }), err::math::overflow)
        << "-2147483650 leaves the 32-bit range";
    Cell const lowest = integer_cell(INT32_MIN);
    EXPECT_EQ(raised_by([&] { actions.round(integer_cell(2000000000), RoundOptions { .to = &lowest }); }),
        err::math::overflow);
    Cell const zero = integer_cell(0);
    EXPECT_EQ(actions.round(integer_cell(13), RoundOptions { .to = &zero }), integer_cell(13));

    // A float scale rounds as a float.
    Cell const half = float_::make(2.5);
    EXPECT_EQ(actions.round(integer_cell(7), RoundOptions { .to = &half }), float_::make(7.5));
}

TEST_F(IntegerTest, MakeAndTo)
{
    TypeActions const& actions = datatype::actions(type_ids::integer);
    Cell const prototype = datatype::make(type_ids::integer);
    Cell percent = float_::make(0.5);
    cell::set_type(percent, type_ids::percent);
    Cell seconds = float_::make(2.5);
    cell::set_type(seconds, type_ids::time);
    struct Case {
        Cell spec;
        std::int32_t expected;
    };
    Case const cases[] = {
        { integer_cell(-9), -9 },
        { cell::make(type_ids::char_, 0, 65), 65 },
        { float_::make(-1.5), -1 },
        { float_::make(2147483647.0), INT32_MAX },
        { float_::make(-2147483648.0), INT32_MIN },
        { percent, 0 },
        { seconds, 3 },
    };
    for (Case const& c : cases) {
        EXPECT_EQ(actions.to(prototype, c.spec, type_ids::integer), integer_cell(c.expected));
        EXPECT_EQ(actions.make(prototype, c.spec, type_ids::integer), integer_cell(c.expected));
    }
    EXPECT_EQ(actions.make(prototype, true_value, type_ids::integer), integer_cell(1));
    EXPECT_EQ(actions.make(prototype, false_value, type_ids::integer), integer_cell(0));

    for (double const out_of_range : { 2147483648.0, -2147483649.0, std::numeric_limits<double>::quiet_NaN() }) {
        EXPECT_EQ(raised_by([&] { actions.to(prototype, float_::make(out_of_range), type_ids::integer); }),
            err::script::type_limit)
            << out_of_range;
        EXPECT_EQ(errors::last_raised().arguments[0], datatype::make(type_ids::integer));
    }
    EXPECT_EQ(raised_by([&] { actions.to(prototype, true_value, type_ids::integer); }), err::script::bad_to_arg);
    EXPECT_EQ(raised_by([&] { actions.to(prototype, none_value, type_ids::integer); }), err::script::bad_to_arg);
}

// A binary! gives its first up to four bytes from its index, big-endian.
TEST_F(IntegerTest, FromBinary)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint32_t index;
        std::int32_t expected;
    };
    Case const cases[] = {
        { { 1, 2 }, 0, 0x0102 },
        { { 1, 2, 3, 4, 5 }, 0, 0x01020304 },
        { { 1, 2, 3, 4, 5 }, 1, 0x02030405 },
        { { 0xFF, 0xFF, 0xFF, 0xFF }, 0, -1 },
        { {}, 0, 0 },
        { { 7 }, 1, 0 },
    };
    for (Case const& c : cases) {
        NodeId const node = buffer::make(8, 1);
        if (!c.bytes.empty()) buffer::append_bytes(node, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
        Rooted binary(cell::make(type_ids::binary, c.index, node));
        EXPECT_EQ(datatype::actions(type_ids::integer).to(integer_cell(0), *binary, type_ids::integer),
            integer_cell(c.expected));
    }
}

TEST_F(IntegerTest, PrintedForms)
{
    struct Case {
        std::int32_t value;
        char const* text;
    };
    Case const cases[] = {
        { 0, "0" },
        { 7, "7" },
        { -45, "-45" },
        { INT32_MAX, "2147483647" },
        { INT32_MIN, "-2147483648" },
    };
    for (Case const& c : cases) {
        Printed const form = formed(integer_cell(c.value));
        Printed const mold = molded(integer_cell(c.value));
        EXPECT_EQ(form.text, c.text);
        EXPECT_EQ(mold.text, c.text);
        EXPECT_EQ(form.limit, 100 - static_cast<std::int32_t>(std::string(c.text).size()));
        EXPECT_EQ(integer::form_signed(c.value), c.text);
    }
}

// Integers compare with integers and chars by value and with floats through the float rules; the strict
// and search equalities and same? never equate another type.
TEST_F(IntegerTest, Compare)
{
    struct Case {
        Cell other;
        CompareOp op;
        bool expected;
    };
    Case const cases[] = {
        { integer_cell(5), CompareOp::Equal, true },
        { integer_cell(6), CompareOp::Lesser, true },
        { integer_cell(-6), CompareOp::Greater, true },
        { integer_cell(5), CompareOp::GreaterOrEqual, true },
        { integer_cell(5), CompareOp::Same, true },
        { cell::make(type_ids::char_, 0, 5), CompareOp::Equal, true },
        { cell::make(type_ids::char_, 0, 5), CompareOp::StrictEqual, false },
        { float_::make(5.0), CompareOp::Equal, true },
        { float_::make(5.0000000000000009), CompareOp::Equal, true },
        { float_::make(5.0), CompareOp::StrictEqual, false },
        { float_::make(5.0), CompareOp::Same, false },
        { float_::make(5.0), CompareOp::FindEqual, false },
        { float_::make(5.5), CompareOp::Lesser, true },
        { float_::make(std::numeric_limits<double>::quiet_NaN()), CompareOp::Lesser, false },
        { float_::make(std::numeric_limits<double>::quiet_NaN()), CompareOp::GreaterOrEqual, false },
        { none_value, CompareOp::Equal, false },
        { none_value, CompareOp::NotEqual, true },
    };
    Cell const five = integer_cell(5);
    for (Case const& c : cases)
        EXPECT_EQ(actions::compare(five, c.other, c.op), c.expected)
            << "5 against type " << int(cell::type_of(c.other)) << ", code " << static_cast<int>(c.op);
    EXPECT_EQ(raised_by([&] { actions::compare(five, none_value, CompareOp::Lesser); }), err::script::invalid_compare);
    EXPECT_EQ(datatype::actions(type_ids::integer).compare(five, none_value, CompareOp::Sort), compare_incomparable);
}

TEST_F(IntegerTest, UnaryActions)
{
    TypeActions const& actions = datatype::actions(type_ids::integer);
    EXPECT_EQ(actions.negate(integer_cell(5)), integer_cell(-5));
    EXPECT_EQ(actions.negate(integer_cell(INT32_MAX)), integer_cell(-INT32_MAX));
    EXPECT_EQ(actions.complement(integer_cell(0)), integer_cell(-1));
    EXPECT_EQ(run_frame(actions.absolute, integer_cell(-8)), integer_cell(8));
    EXPECT_TRUE(actions.even_q(integer_cell(-4)));
    EXPECT_TRUE(actions.odd_q(integer_cell(-3)));
    EXPECT_FALSE(actions.odd_q(integer_cell(0)));
    EXPECT_EQ(integer::sign(-7), -1);
    EXPECT_EQ(integer::sign(0), 0);
    EXPECT_TRUE(integer::check_float_range(2147483647.5));
    EXPECT_FALSE(integer::check_float_range(-2147483648.0));
}
