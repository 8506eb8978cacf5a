// pair!: the makers the lexer, the tracer and other modules use, and the arithmetic slots driven directly.

#include <climits>

#include "block_fixture.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"

using namespace xol;

namespace {

struct PairTest : BlockTest {
    void SetUp() override
    {
        BlockTest::SetUp();
        datatype::register_(pair::record);
    }
};

}

TEST_F(PairTest, MakersKeepTheLayout)
{
    Cell cell = none_value;
    cell.header |= cell::new_line_flag;
    pair::make_at(cell, -7, INT32_MIN);
    EXPECT_EQ(cell::type_of(cell), pair::type_id);
    EXPECT_TRUE(cell::has_new_line(cell)) << "make_at keeps the header flags";
    EXPECT_EQ(pair::x(cell), -7);
    EXPECT_EQ(pair::y(cell), INT32_MIN);
    EXPECT_EQ(cell.word1, 0u);

    Rooted block(ints({ 1 }));
    pair::make_in(*block, 3, 4);
    EXPECT_EQ(block::rs_head(*block)[1], pair::make(3, 4));
    Cell* pushed = pair::push(5, 6);
    EXPECT_EQ(*pushed, pair::make(5, 6));
    stack::pop(1);
    EXPECT_EQ(molded(pair::make(10, -20)).text, "10x-20");
}

// Exact results stay pairs, bitwise results are always exact, and the second operand may be an integer!.
TEST_F(PairTest, ArithmeticSlots)
{
    TypeActions const& actions = datatype::actions(pair::type_id);
    struct Case {
        action_types::FromFrame action;
        Cell left, right, result;
    };
    Case const cases[] = {
        { actions.add, pair::make(INT32_MAX, 1), pair::make(0, 1), pair::make(INT32_MAX, 2) },
        { actions.subtract, pair::make(INT32_MIN, 0), integer::make(0), pair::make(INT32_MIN, 0) },
        { actions.multiply, pair::make(-3, 4), pair::make(2, -1), pair::make(-6, -4) },
        { actions.divide, pair::make(-8, 6), integer::make(-2), pair::make(4, -3) },
        { actions.remainder, pair::make(-7, 7), integer::make(3), pair::make(-1, 1) },
        { actions.and_, pair::make(-1, 12), integer::make(10), pair::make(10, 8) },
        { actions.xor_, pair::make(INT32_MIN, 0), pair::make(-1, -1), pair::make(INT32_MAX, -1) },
    };
    for (Case const& c : cases) EXPECT_EQ(run_frame(c.action, c.left, c.right), c.result);
    // Inexact results are redone on both operands as point2D! values.
    EXPECT_EQ(run_frame(actions.add, pair::make(INT32_MAX, 0), integer::make(1)), point2d::make(2147483648.0f, 1.0f));
    EXPECT_EQ(run_frame(actions.divide, pair::make(7, -6), pair::make(2, 4)), point2d::make(3.5f, -1.5f));
    EXPECT_EQ(raised_by([&] { run_frame(actions.divide, pair::make(INT32_MIN, 0), integer::make(-1)); }),
        err::math::overflow);
}
