// char!: conversion, printing, exact comparison and range-checked arithmetic.

#include <cmath>

#include "text_fixture.h"

using namespace xol;

namespace {

using CharTest = TextTest;

Cell to_char(Cell const& spec)
{
    return char_::make(cell::make(type_ids::char_), spec, type_ids::char_);
}

TEST_F(CharTest, MakeAndTo)
{
    Rooted abc(text("abc"));
    EXPECT_EQ(to_char(*abc).word2, static_cast<std::uint32_t>('a'));
    EXPECT_EQ(to_char(at(*abc, 2)).word2, static_cast<std::uint32_t>('c'));
    Rooted empty(text(""));
    EXPECT_EQ(raised_by([&] { to_char(*empty); }), err::script::bad_to_arg);
    EXPECT_EQ(raised_by([&] { to_char(at(*abc, 3)); }), err::script::bad_to_arg);

    EXPECT_EQ(to_char(integer::make(1114111)).word2, 0x10FFFFu);
    EXPECT_EQ(raised_by([] { to_char(integer::make(1114112)); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([] { to_char(integer::make(-1)); }), err::script::out_of_range);
    EXPECT_EQ(to_char(float_::make(65.9)).word2, static_cast<std::uint32_t>('A'));
    EXPECT_EQ(raised_by([] { to_char(float_::make(1114112.0)); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([] { to_char(float_::make(float_::nan)); }), err::script::out_of_range);
    EXPECT_EQ(to_char(char_::make('q')).word2, static_cast<std::uint32_t>('q'));
    EXPECT_EQ(cell::type_of(to_char(integer::make(66))), type_ids::char_);
    EXPECT_EQ(raised_by([] { to_char(none_value); }), err::script::bad_to_arg);

    Rooted utf8_bytes(binary_of({ 0xE4, 0xB8, 0xAD, 'x' }));
    EXPECT_EQ(to_char(*utf8_bytes).word2, 0x4E2Du);
    EXPECT_EQ(to_char(at(*utf8_bytes, 3)).word2, static_cast<std::uint32_t>('x'));
    Rooted broken(binary_of({ 0xE4, 0x41, 0x41 }));
    EXPECT_EQ(to_char(*broken).word2, 0xFFFEu);
    Rooted cut(binary_of({ 0xF0, 0x9F }));
    EXPECT_EQ(to_char(*cut).word2, 0xFFFEu);
    Rooted stray(binary_of({ 0x80 }));
    EXPECT_EQ(to_char(*stray).word2, 0xFFFEu);
    Rooted no_bytes(binary_of({}));
    EXPECT_EQ(raised_by([&] { to_char(*no_bytes); }), err::script::bad_to_arg);
    EXPECT_EQ(raised_by([&] { to_char(at(*utf8_bytes, 4)); }), err::script::bad_to_arg) << "at the tail";
    EXPECT_EQ(raised_by([] { to_char(float_::make(HUGE_VAL)); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([] { to_char(float_::make(-HUGE_VAL)); }), err::script::out_of_range);
}

TEST_F(CharTest, FormAndMold)
{
    Printed const formed_char = formed(char_::make(0x4E2D));
    EXPECT_EQ(formed_char.text, "\u4E2D");
    EXPECT_EQ(formed_char.limit, 99);

    struct Case {
        std::uint32_t code_point;
        bool all;
        char const* molded;
    };
    Case const cases[] = {
        { '\n', false, "#\"^/\"" },
        { '\t', false, "#\"^-\"" },
        { '"', false, "#\"^\"\"" },
        { '^', false, "#\"^^\"" },
        { 30, false, "#\"^(1E)\"" },
        { 127, false, "#\"^~\"" },
        { 0, false, "#\"^@\"" },
        { 'a', false, "#\"a\"" },
        { 233, false, "#\"\u00E9\"" },
        { 233, true, "#\"^(E9)\"" },
        { 150, false, "#\"^(96)\"" },
        { 0x1F600, false, "#\"\U0001F600\"" },
    };
    for (Case const& c : cases) {
        Printed const printed = molded(char_::make(c.code_point), c.all);
        EXPECT_EQ(printed.text, c.molded) << c.code_point;
        EXPECT_EQ(printed.limit, 96);
    }
}

TEST_F(CharTest, CompareIsExact)
{
    Cell const a = char_::make('a');
    Cell const upper_a = char_::make('A');
    EXPECT_EQ(char_::compare(upper_a, integer::make(65), CompareOp::Equal), 0);
    EXPECT_EQ(char_::compare(upper_a, integer::make(65), CompareOp::StrictEqual), 1);
    EXPECT_EQ(char_::compare(upper_a, integer::make(65), CompareOp::FindEqual), 1);
    EXPECT_NE(char_::compare(a, upper_a, CompareOp::Equal), 0);
    EXPECT_EQ(char_::compare(a, upper_a, CompareOp::Sort), 1) << "no folding, sorting included";
    EXPECT_EQ(char_::compare(upper_a, a, CompareOp::Lesser), -1);
    EXPECT_EQ(char_::compare(a, a, CompareOp::StrictEqual), 0);
    EXPECT_EQ(char_::compare(a, float_::make(97.0), CompareOp::Equal), compare_incomparable);
}

TEST_F(CharTest, Arithmetic)
{
    Cell sum = run_frame(datatype::actions(type_ids::char_).add, char_::make('A'), integer::make(1));
    EXPECT_EQ(cell::type_of(sum), type_ids::char_);
    EXPECT_EQ(sum.word2, static_cast<std::uint32_t>('B'));
    sum = run_frame(datatype::actions(type_ids::char_).add, char_::make('A'), char_::make(1));
    EXPECT_EQ(sum.word2, static_cast<std::uint32_t>('B'));
    Cell const product = run_frame(datatype::actions(type_ids::char_).multiply, char_::make(2), float_::make(3.9));
    EXPECT_EQ(product.word2, 6u) << "a float operand truncates";
    Cell const quotient = run_frame(datatype::actions(type_ids::char_).divide, char_::make('d'), integer::make(3));
    EXPECT_EQ(cell::type_of(quotient), type_ids::char_);
    EXPECT_EQ(quotient.word2, 33u);
    Cell const masked = run_frame(datatype::actions(type_ids::char_).and_, char_::make('a'), integer::make(0xDF));
    EXPECT_EQ(masked.word2, static_cast<std::uint32_t>('A'));

    auto const subtract = datatype::actions(type_ids::char_).subtract;
    auto const add = datatype::actions(type_ids::char_).add;
    auto const remainder = datatype::actions(type_ids::char_).remainder;
    EXPECT_EQ(raised_by([&] { run_frame(subtract, char_::make('A'), integer::make(66)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { run_frame(add, char_::make(0x10FFFF), integer::make(1)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { run_frame(add, char_::make('A'), integer::make(0x7FFFFFFF)); }), err::math::overflow);
    // A float operand without a 32-bit integer to truncate to overflows.
    for (double const operand : { float_::nan, 2147483648.0, -2147483649.0, 1e300, -HUGE_VAL })
        EXPECT_EQ(raised_by([&] { run_frame(add, char_::make('A'), float_::make(operand)); }), err::math::overflow)
            << operand;
    Cell const back = run_frame(add, char_::make('A'), float_::make(-0.9));
    EXPECT_EQ(back.word2, static_cast<std::uint32_t>('A')) << "truncation toward zero";
    EXPECT_EQ(raised_by([&] { run_frame(add, char_::make('A'), none_value); }), err::script::invalid_type);
    EXPECT_EQ(raised_by([&] { run_frame(remainder, char_::make('A'), integer::make(0)); }), err::math::zero_divide);
}

TEST_F(CharTest, RecordInheritsFromInteger)
{
    TypeActions const& actions = datatype::actions(type_ids::char_);
    EXPECT_EQ(actions.even_q, datatype::actions(type_ids::integer).even_q);
    EXPECT_EQ(actions.absolute, datatype::actions(type_ids::integer).absolute);
    EXPECT_EQ(actions.negate, nullptr);
    EXPECT_EQ(actions.power, nullptr);
    EXPECT_EQ(actions.make, actions.to);
}

}
