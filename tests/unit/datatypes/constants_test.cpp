// datatype!, unset!, none! and logic!: their printed forms, comparisons, conversions and the truth tests.

#include <cmath>
#include <limits>

#include "datatypes/compare.h"
#include "runtime/series.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

using ConstantsTest = ScalarTest;

Cell integer_cell(std::int32_t n)
{
    return integer::make(n);
}

Cell any_string()
{
    return cell::make(type_ids::string);
} // only its type matters to the callers below

}

// Every former appends its text and answers the limit less what it wrote.
TEST_F(ConstantsTest, PrintedForms)
{
    struct Case {
        Cell value;
        bool mold, all;
        char const* text;
    };
    Case const cases[] = {
        { none_value, false, false, "none" },
        { none_value, true, false, "none" },
        { none_value, true, true, "#(none)" },
        { unset_value, false, false, "" },
        { unset_value, true, false, "unset" },
        { unset_value, true, true, "#(unset)" },
        { true_value, false, false, "true" },
        { false_value, true, false, "false" },
        { true_value, true, true, "#(true)" },
        { false_value, true, true, "#(false)" },
        { datatype::make(type_ids::integer), false, false, "integer" },
        { datatype::make(type_ids::integer), true, false, "integer!" },
        { datatype::make(type_ids::integer), true, true, "#(integer!)" },
        { datatype::make(type_ids::datatype), false, false, "datatype" },
        { datatype::make(type_ids::none), true, true, "#(none!)" },
    };
    for (Case const& c : cases) {
        Printed const printed = c.mold ? molded(c.value, c.all) : formed(c.value);
        EXPECT_EQ(printed.text, c.text);
        EXPECT_EQ(printed.limit, 100 - static_cast<std::int32_t>(std::string(c.text).size())) << c.text;
    }
}

// The raw answers of the compare slots, by pair and code.
TEST_F(ConstantsTest, CompareSlots)
{
    Cell const integer_type = datatype::make(type_ids::integer);
    Cell const float_type = datatype::make(type_ids::float_);
    struct Case {
        Cell a, b;
        CompareOp op;
        std::int32_t answer;
    };
    Case const cases[] = {
        { integer_type, integer_type, CompareOp::Equal, 0 },
        { integer_type, float_type, CompareOp::Equal, 1 },
        { integer_type, integer_type, CompareOp::Same, 0 },
        { integer_type, integer_type, CompareOp::FindEqual, 0 },
        { integer_type, integer_type, CompareOp::FindPathEqual, 0 },
        { integer_type, integer_cell(11), CompareOp::StrictEqual, 1 }, // another type: simply unequal
        { integer_type, integer_type, CompareOp::Lesser, compare_incomparable },
        { integer_type, integer_type, CompareOp::Sort, compare_incomparable },
        { unset_value, unset_value, CompareOp::Equal, 0 },
        { unset_value, unset_value, CompareOp::Sort, 0 },
        { unset_value, unset_value, CompareOp::Greater, compare_incomparable },
        { unset_value, none_value, CompareOp::Equal, compare_incomparable },
        { none_value, none_value, CompareOp::StrictEqual, 0 },
        { none_value, none_value, CompareOp::CaseSort, 0 },
        { none_value, none_value, CompareOp::LesserOrEqual, compare_incomparable },
        { none_value, false_value, CompareOp::Equal, compare_incomparable },
        { true_value, true_value, CompareOp::Equal, 0 },
        { true_value, false_value, CompareOp::NotEqual, 1 },
        { false_value, true_value, CompareOp::Sort, -1 }, // false sorts first
        { true_value, false_value, CompareOp::Lesser, compare_incomparable },
        { false_value, none_value, CompareOp::Equal, compare_incomparable },
    };
    for (Case const& c : cases) {
        std::int32_t const answer = datatype::actions(cell::type_of(c.a)).compare(c.a, c.b, c.op);
        EXPECT_EQ(answer, c.answer) << "types " << int(cell::type_of(c.a)) << " and " << int(cell::type_of(c.b))
                                    << ", code " << static_cast<int>(c.op);
    }
}

// make reads numbers (zero is false, NaN is not zero); to only tells none! and false from the rest.
TEST_F(ConstantsTest, LogicMakeAndTo)
{
    double const nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Cell spec;
        bool made, converted;
    };
    Case const cases[] = {
        { integer_cell(0), false, true },
        { integer_cell(-3), true, true },
        { float_::make(0.0), false, true },
        { float_::make(-0.0), false, true },
        { float_::make(nan), true, true },
        { any_string(), true, true },
        { none_value, false, false },
        { false_value, false, false },
        { true_value, true, true },
        { unset_value, true, true },
    };
    TypeActions const& logic_actions = datatype::actions(type_ids::logic);
    for (Case const& c : cases) {
        EXPECT_EQ(logic_actions.make(true_value, c.spec, type_ids::logic), logic::make(c.made))
            << "make from type " << int(cell::type_of(c.spec));
        EXPECT_EQ(logic_actions.to(true_value, c.spec, type_ids::logic), logic::make(c.converted))
            << "to from type " << int(cell::type_of(c.spec));
    }
}

TEST_F(ConstantsTest, LogicBitwise)
{
    TypeActions const& logic_actions = datatype::actions(type_ids::logic);
    struct Case {
        bool a, b, and_, or_, xor_;
    };
    Case const cases[] = {
        { false, false, false, false, false },
        { false, true, false, true, true },
        { true, false, false, true, true },
        { true, true, true, true, false },
    };
    for (Case const& c : cases) {
        EXPECT_EQ(run_frame(logic_actions.and_, logic::make(c.a), logic::make(c.b)), logic::make(c.and_));
        EXPECT_EQ(run_frame(logic_actions.or_, logic::make(c.a), logic::make(c.b)), logic::make(c.or_));
        EXPECT_EQ(run_frame(logic_actions.xor_, logic::make(c.a), logic::make(c.b)), logic::make(c.xor_));
    }
    EXPECT_EQ(logic_actions.complement(true_value), false_value);
    EXPECT_EQ(logic_actions.complement(false_value), true_value);
    EXPECT_EQ(raised_by([&] { run_frame(logic_actions.and_, true_value, integer_cell(1)); }), err::script::expect_arg);
    EXPECT_EQ(raised_by([&] { run_frame(logic_actions.xor_, true_value, none_value); }), err::script::expect_arg);
}

// Every value is true but none! and false; an unset! is true to the plain test and an error where a
// value is required.
TEST_F(ConstantsTest, TruthTests)
{
    struct Case {
        Cell value;
        bool truth;
    };
    Case const cases[] = {
        { none_value, false },
        { false_value, false },
        { true_value, true },
        { integer_cell(0), true },
        { datatype::make(type_ids::none), true },
        { unset_value, true },
    };
    Cell const subject = integer_cell(7);
    for (Case const& c : cases) {
        EXPECT_EQ(logic::true_q(c.value), c.truth);
        stack::push_native_frame(cell::make(type_ids::word));
        stack::push(c.value);
        EXPECT_EQ(logic::result_false_q(), !c.truth);
        EXPECT_EQ(logic::top_true_q(), c.truth);
        EXPECT_EQ(logic::top_false_q(), !c.truth);
        EXPECT_EQ(logic::check_arg(c.value, false, subject), c.truth);
        if (cell::type_of(c.value) != type_ids::unset) {
            EXPECT_EQ(logic::result_true_q(), c.truth);
            EXPECT_EQ(logic::check_arg(c.value, true, subject), c.truth);
        }
        stack::pop_frame_empty();
    }
    EXPECT_EQ(raised_by([&] { logic::check_arg(unset_value, true, subject); }), err::script::no_value);
    EXPECT_EQ(errors::last_raised().arguments[0], subject);
    EXPECT_EQ(raised_by([] {
        stack::push_native_frame(cell::make(type_ids::word));
        stack::push(unset_value);
        logic::result_true_q();
    }),
        err::script::no_return);
}

// none! stands in for a series in the searching and removing actions, and answers none!.
TEST_F(ConstantsTest, NoneAsSeries)
{
    TypeActions const& none_actions = datatype::actions(type_ids::none);
    EXPECT_EQ(none_actions.length_q(none_value), -1);
    EXPECT_EQ(none_actions.clear(none_value), none_value);
    EXPECT_EQ(none_actions.find(none_value, integer_cell(1), FindOptions {}), none_value);
    EXPECT_EQ(none_actions.select(none_value, integer_cell(1), FindOptions {}), none_value);
    EXPECT_EQ(none_actions.remove(none_value, nullptr, nullptr), none_value);
    EXPECT_EQ(none_actions.take(none_value, nullptr, false, true), none_value);
    EXPECT_EQ(none_actions.make(none_value, integer_cell(3), type_ids::none), none_value);
    EXPECT_EQ(datatype::actions(type_ids::unset).to(unset_value, integer_cell(3), type_ids::unset), unset_value);
    EXPECT_EQ(datatype::actions(type_ids::datatype).make, nullptr) << "datatype! has form, mold and compare only";
}

// The makers: on the value stack, into the result cell, into a cell keeping its flags, and at a block's tail.
TEST_F(ConstantsTest, Makers)
{
    stack::push_native_frame(cell::make(type_ids::word));
    EXPECT_EQ(*none::push(), none_value);
    EXPECT_EQ(*logic::push(true), true_value);
    EXPECT_EQ(*unset::push(), unset_value);
    EXPECT_EQ(*datatype::push(type_ids::block), datatype::make(type_ids::block));
    EXPECT_EQ(*logic::set_result(false), false_value);
    EXPECT_EQ(*none::set_result(), none_value);
    EXPECT_EQ(*unset::set_result(), unset_value);
    stack::pop_frame_empty();

    Cell flagged = cell::make(type_ids::integer, 0, 5);
    flagged.header |= cell::new_line_flag;
    logic::make_at(flagged, true);
    EXPECT_TRUE(cell::has_new_line(flagged));
    EXPECT_TRUE(logic::get(flagged));
    EXPECT_EQ(cell::type_of(flagged), type_ids::logic);

    Rooted block(cell::make(type_ids::block, 0, buffer::make(1, 16)));
    none::make_in(*block);
    logic::make_in(*block, false);
    unset::make_in(*block);
    datatype::make_in(*block, type_ids::float_);
    integer::make_in(*block, -4);
    float_::make_in(*block, 2.5);
    SeriesView<Cell> const cells(block->word2);
    ASSERT_EQ(cells.size(), 6U);
    EXPECT_EQ(cells[0], none_value);
    EXPECT_EQ(cells[1], false_value);
    EXPECT_EQ(cells[2], unset_value);
    EXPECT_EQ(cells[3], datatype::make(type_ids::float_));
    EXPECT_EQ(cells[4], integer::make(-4));
    EXPECT_EQ(cells[5], float_::make(2.5));
}
