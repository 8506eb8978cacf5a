// vector!: the element readers and writers the series actions use, at every type and width, and the
// element-wise arithmetic's wrap and errors.

#include <cstring>
#include <vector>

#include "../runtime/runtime_fixture.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

using namespace xol;

namespace {

struct VectorTest : RuntimeTest { };

std::byte* element(Cell const& vector, std::uint32_t place)
{
    SeriesBuffer* buffer = node::buffer(vector.word2);
    return buffer->head_address() + std::uint64_t { place } * buffer->unit();
}

}

// Integers read signed at their width; chars read without a sign at every width; writes keep the low bits
// and touch only the element's bytes.
TEST_F(VectorTest, ElementsAtEveryWidth)
{
    struct Case {
        TypeId element;
        std::uint32_t width;
        std::uint32_t stored;
        std::uint32_t read; // word 2 of the value read back
    };
    Case const cases[] = {
        { type_ids::integer, 1, 200, static_cast<std::uint32_t>(-56) },
        { type_ids::integer, 2, 40'000, static_cast<std::uint32_t>(-25'536) },
        { type_ids::integer, 4, 0xFFFF'FFFF, 0xFFFF'FFFF },
        { type_ids::char_, 1, 0xFF, 0xFF },
        { type_ids::char_, 2, 0xFFFF, 0xFFFF },
        { type_ids::char_, 4, 0x10'FFFF, 0x10'FFFF },
    };
    for (Case const& c : cases) {
        Rooted made(vector::make(c.element, c.width, 3));
        ASSERT_EQ(vector::width(*made), c.width);
        Cell const value = cell::make(c.element, 0, c.stored);
        vector::set_value(element(*made, 1), value, c.width, c.element);
        Cell const back = vector::get_value(element(*made, 1), c.width, c.element);
        EXPECT_EQ(cell::type_of(back), c.element) << c.width;
        EXPECT_EQ(back.word2, c.read) << c.width;
        EXPECT_EQ(vector::get_value(element(*made, 0), c.width, c.element).word2, 0u) << "the neighbours stay";
        EXPECT_EQ(vector::get_value(element(*made, 2), c.width, c.element).word2, 0u) << "the neighbours stay";
    }
    Rooted singles(vector::make(type_ids::float_, 4, 1));
    vector::set_value(element(*singles, 0), float_::make(0.1), 4, type_ids::float_);
    EXPECT_EQ(float_::get(vector::get_value(element(*singles, 0), 4, type_ids::float_)), static_cast<double>(0.1f));
    EXPECT_EQ(vector::number_at(element(*singles, 0), 4, type_ids::float_), static_cast<double>(0.1f));
}

// A value of the other kind of number is refused by its value, one that is no number by its datatype.
TEST_F(VectorTest, WritesOfAnotherType)
{
    Rooted made(vector::make(type_ids::integer, 4, 1));
    EXPECT_EQ(raised_by([&] { vector::set_value(element(*made, 0), float_::make(1.5), 4, type_ids::integer); }),
        err::script::invalid_arg);
    EXPECT_EQ(raised_by([&] { vector::set_value(element(*made, 0), none_value, 4, type_ids::integer); }),
        err::script::invalid_type);
    EXPECT_EQ(raised_by([&] { vector::check_element(cell::make(type_ids::char_, 0, 'a'), type_ids::integer); }),
        err::script::invalid_arg);
    EXPECT_EQ(raised_by([&] { vector::make(type_ids::float_, 8, 0x1000'0000); }), err::internal::no_memory);
    EXPECT_TRUE(vector::valid_layout(type_ids::percent, 8));
    EXPECT_FALSE(vector::valid_layout(type_ids::percent, 4));
    EXPECT_FALSE(vector::valid_layout(type_ids::float_, 2));
    EXPECT_FALSE(vector::valid_layout(type_ids::integer, 8));
}

// Integer elements wrap modulo 2^32 and keep their width's low bits; a float scalar with no 32-bit value
// is an overflow, as is the one division integer! refuses.
TEST_F(VectorTest, ScalarArithmetic)
{
    Rooted made(vector::make(type_ids::integer, 4, 2));
    vector::set_value(element(*made, 0), integer::make(2'147'483'647), 4, type_ids::integer);
    vector::set_value(element(*made, 1), integer::make(-2'147'483'647 - 1), 4, type_ids::integer);
    vector::do_math_scalar(MathOp::Add, *made, integer::make(1));
    EXPECT_EQ(integer::get(vector::get_value(element(*made, 0), 4, type_ids::integer)), -2'147'483'647 - 1);
    EXPECT_EQ(
        raised_by([&] { vector::do_math_scalar(MathOp::Divide, *made, integer::make(-1)); }), err::math::overflow);
    EXPECT_EQ(
        raised_by([&] { vector::do_math_scalar(MathOp::Add, *made, float_::make(float_::nan)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { vector::do_math_scalar(MathOp::Add, *made, float_::make(3e9)); }), err::math::overflow);
    EXPECT_EQ(raised_by([&] { vector::do_math_scalar(MathOp::Add, *made, none_value); }), err::internal::not_done);

    Rooted bytes(vector::make(type_ids::integer, 1, 1));
    vector::set_value(element(*bytes, 0), integer::make(100), 1, type_ids::integer);
    vector::do_math_scalar(MathOp::Multiply, *bytes, integer::make(3));
    EXPECT_EQ(integer::get(vector::get_value(element(*bytes, 0), 1, type_ids::integer)), 44);
    vector::do_math_scalar_left(MathOp::Subtract, integer::make(0), *bytes);
    EXPECT_EQ(integer::get(vector::get_value(element(*bytes, 0), 1, type_ids::integer)), -44);
}
