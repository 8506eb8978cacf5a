// triple!: the makers and the one text that form and mold share.

#include <climits>

#include "datatypes/triple.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

struct TripleTest : ScalarTest {
    void SetUp() override
    {
        ScalarTest::SetUp();
        datatype::register_(triple::record);
    }
};

}

TEST_F(TripleTest, FormAndMoldWriteTheThreeNumbers)
{
    struct Case {
        Cell value;
        char const* text;
    };
    Case const cases[] = {
        { triple::make(1, -2, 3), "make triple! [1 -2 3]" },
        { triple::make(INT32_MIN, 0, INT32_MAX), "make triple! [-2147483648 0 2147483647]" },
        { triple::make(0, 0, 0), "make triple! [0 0 0]" },
    };
    for (Case const& c : cases) {
        Printed const formed_text = formed(c.value);
        Printed const molded_text = molded(c.value, true);
        EXPECT_EQ(formed_text.text, c.text);
        EXPECT_EQ(molded_text.text, c.text) << "mold/all writes the same";
        auto const length = static_cast<std::int32_t>(std::string(c.text).size());
        EXPECT_EQ(formed_text.limit, 100 - length) << "every character counts against the budget";
        EXPECT_EQ(molded_text.limit, 100 - length);
    }
}

// The budget never cuts the text: a value is written whole, and the caller cuts the finished output.
TEST_F(TripleTest, ABudgetSpentDoesNotCutTheText)
{
    Rooted buffer(string::make(16));
    Cell const value = triple::make(12, 34, 56);
    Refinement const part = &value; // any cell: only its presence counts
    std::int32_t const left = datatype::actions(triple::type_id).mold(value, *buffer, true, false, true, part, 3, 0);
    EXPECT_EQ(string::to_utf8(*buffer), "make triple! [12 34 56]");
    EXPECT_EQ(left, 3 - 23);
}

TEST_F(TripleTest, MakeAtKeepsTheHeaderFlags)
{
    Cell cell = cell::make(type_ids::none);
    cell.header |= cell::new_line_flag;
    triple::make_at(cell, 7, -8, 9);
    EXPECT_EQ(cell::type_of(cell), triple::type_id);
    EXPECT_TRUE(cell::has_new_line(cell));
    EXPECT_EQ(triple::a(cell), 7);
    EXPECT_EQ(triple::b(cell), -8);
    EXPECT_EQ(triple::c(cell), 9);
    EXPECT_EQ(datatype::actions(triple::type_id).make, nullptr) << "no make: code fills the cell";
}
