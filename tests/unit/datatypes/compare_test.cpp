// The shared comparison entry: the types it answers itself, the truth of each code, the error for
// incomparable orderings, and comparisons handed to the other operand's type.

#include "datatypes/compare.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using CompareTest = ScalarTest;

// A stand-in for a type that compares with integers only from its own side: its value is word 2, and it
// answers an order for integers, floats and itself.
std::int32_t stand_in_compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const other = cell::type_of(value2);
    if (other != type_ids::money && other != type_ids::integer && other != type_ids::float_)
        return compare_incomparable;
    if (op == CompareOp::StrictEqual && other != type_ids::money) return 1;
    double const a = cell::integer_payload(value1);
    double const b = other == type_ids::float_ ? float_::get(value2) : cell::integer_payload(value2);
    return (a > b) - (a < b);
}

Cell stand_in(std::int32_t n)
{
    return cell::make(type_ids::money, 0, static_cast<std::uint32_t>(n));
}

}

TEST_F(CompareTest, TruthOfEachCode)
{
    struct Case {
        std::int32_t a, b;
        CompareOp op;
        bool expected;
    };
    Case const cases[] = {
        { 1, 1, CompareOp::Equal, true },
        { 1, 2, CompareOp::Equal, false },
        { 1, 2, CompareOp::NotEqual, true },
        { 2, 2, CompareOp::NotEqual, false },
        { 2, 2, CompareOp::StrictEqual, true },
        { 1, 2, CompareOp::Lesser, true },
        { 2, 2, CompareOp::Lesser, false },
        { 2, 2, CompareOp::LesserOrEqual, true },
        { 3, 2, CompareOp::LesserOrEqual, false },
        { 3, 2, CompareOp::Greater, true },
        { 2, 2, CompareOp::Greater, false },
        { 2, 2, CompareOp::GreaterOrEqual, true },
        { 1, 2, CompareOp::GreaterOrEqual, false },
        { 2, 2, CompareOp::Same, true },
        { 2, 2, CompareOp::FindEqual, true },
        { 2, 3, CompareOp::FindEqual, false },
    };
    for (Case const& c : cases)
        EXPECT_EQ(actions::compare(integer::make(c.a), integer::make(c.b), c.op), c.expected)
            << c.a << " " << static_cast<int>(c.op) << " " << c.b;
}

// logic! values sort false first, but have no order for lesser? and its kin, and compare only with logic!:
// a none! is no false.
TEST_F(CompareTest, LogicSortsButHasNoOrder)
{
    EXPECT_EQ(actions::compare_typed(false_value, true_value, CompareOp::Sort), -1);
    EXPECT_EQ(actions::compare_typed(true_value, false_value, CompareOp::Sort), 1);
    EXPECT_EQ(actions::compare_typed(false_value, true_value, CompareOp::Lesser), compare_incomparable);
    EXPECT_EQ(
        raised_by([] { actions::compare(false_value, true_value, CompareOp::Lesser); }), err::script::invalid_compare);
    EXPECT_EQ(raised_by([] { actions::compare(true_value, true_value, CompareOp::GreaterOrEqual); }),
        err::script::invalid_compare);
    EXPECT_TRUE(actions::compare(true_value, true_value, CompareOp::Equal));
    EXPECT_FALSE(actions::compare(false_value, none_value, CompareOp::Equal));
    EXPECT_TRUE(actions::compare(false_value, none_value, CompareOp::NotEqual));
    EXPECT_FALSE(actions::compare(false_value, integer::make(0), CompareOp::Equal));
    EXPECT_EQ(raised_by([] { actions::compare(true_value, integer::make(1), CompareOp::Greater); }),
        err::script::invalid_compare);
}

// Built-in functions by entry point (word 1), user functions by record (word 3), never across types.
TEST_F(CompareTest, FunctionsByIdentity)
{
    Cell const action1 = cell::make(type_ids::action, 100, 7, 9);
    Cell const action2 = cell::make(type_ids::action, 200, 7, 9);
    Cell const native1 = cell::make(type_ids::native, 100, 7, 9);
    Cell const function1 = cell::make(type_ids::function, 1, 2, 30);
    Cell const function2 = cell::make(type_ids::function, 1, 2, 31);
    Cell const routine1 = cell::make(type_ids::routine, 5, 6, 30);
    Cell const op1 { type_ids::op | (std::uint32_t { type_ids::action } << 16), 100, 7, 9 };
    EXPECT_EQ(actions::compare_typed(action1, action1, CompareOp::Equal), 0);
    EXPECT_EQ(actions::compare_typed(action1, action2, CompareOp::Sort), -1);
    EXPECT_EQ(actions::compare_typed(action2, action1, CompareOp::Sort), 1);
    EXPECT_EQ(actions::compare_typed(function1, function2, CompareOp::Equal), -1);
    EXPECT_EQ(actions::compare_typed(routine1, routine1, CompareOp::Equal), 0);
    EXPECT_EQ(actions::compare_typed(op1, op1, CompareOp::Same), 0);
    EXPECT_TRUE(actions::compare(function1, function1, CompareOp::Same));
    EXPECT_FALSE(actions::compare(action1, native1, CompareOp::Equal)) << "another type, and no slot registered";
    EXPECT_FALSE(actions::compare(function1, routine1, CompareOp::Equal));
}

// An incomparable pair is unequal to the equality codes and an error to the orderings; a type without a
// compare slot is incomparable.
TEST_F(CompareTest, Incomparable)
{
    for (CompareOp const op : { CompareOp::Equal, CompareOp::StrictEqual, CompareOp::Same, CompareOp::FindEqual,
             CompareOp::FindPathEqual, CompareOp::FindStrictPathEqual })
        EXPECT_FALSE(actions::compare(none_value, integer::make(1), op)) << static_cast<int>(op);
    EXPECT_TRUE(actions::compare(none_value, integer::make(1), CompareOp::NotEqual));
    for (CompareOp const op :
        { CompareOp::Lesser, CompareOp::LesserOrEqual, CompareOp::Greater, CompareOp::GreaterOrEqual }) {
        EXPECT_EQ(raised_by([&] { actions::compare(none_value, integer::make(1), op); }), err::script::invalid_compare);
        EXPECT_EQ(errors::last_raised().arguments[0], none_value);
        EXPECT_EQ(errors::last_raised().arguments[1], integer::make(1));
    }
    Cell const unregistered = cell::make(type_ids::bitset);
    EXPECT_EQ(actions::compare_typed(unregistered, unregistered, CompareOp::Equal), compare_incomparable);
}

// integer! and float! hand a money! right operand to its own type, swapped, and read the answer back.
TEST_F(CompareTest, SwappedToTheOtherType)
{
    datatype::register_(
        { .id = type_ids::money, .parent = no_parent, .name = "money!", .actions = { .compare = stand_in_compare } });
    EXPECT_EQ(actions::compare_swapped(integer::make(3), stand_in(5), CompareOp::Sort), -1);
    EXPECT_TRUE(actions::compare(integer::make(3), stand_in(5), CompareOp::Lesser));
    EXPECT_FALSE(actions::compare(integer::make(3), stand_in(5), CompareOp::GreaterOrEqual));
    EXPECT_TRUE(actions::compare(integer::make(7), stand_in(5), CompareOp::Greater));
    EXPECT_TRUE(actions::compare(integer::make(5), stand_in(5), CompareOp::Equal));
    EXPECT_FALSE(actions::compare(integer::make(5), stand_in(5), CompareOp::StrictEqual)) << "another type";
    EXPECT_TRUE(actions::compare(float_::make(4.0), stand_in(5), CompareOp::LesserOrEqual));
}

TEST_F(CompareTest, FrameEntryStoresLogic)
{
    stack::push_native_frame(cell::make(type_ids::word));
    stack::push(integer::make(2));
    stack::push(float_::make(2.0));
    actions::compare_op(CompareOp::Equal);
    EXPECT_EQ(*stack::state.base, true_value);
    stack::pop_frame_empty();
    stack::push_native_frame(cell::make(type_ids::word));
    stack::push(integer::make(2));
    stack::push(float_::make(2.0));
    actions::compare_op(CompareOp::Greater);
    EXPECT_EQ(*stack::state.base, false_value);
    stack::pop_frame_empty();
}
