// handle!: the text of form and of mold with and without /all, the order of handles, and the makers.

#include "datatypes/handle.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

struct HandleTest : ScalarTest {
    void SetUp() override
    {
        ScalarTest::SetUp();
        datatype::register_(handle::record);
    }
};

}

TEST_F(HandleTest, FormAndMoldWriteTheValueAndTheKindOnlyWhenAsked)
{
    struct Case {
        Cell value;
        char const* formed;
        char const* molded_all;
    };
    Case const cases[] = {
        { handle::make(255, handle::Kind::Window), "000000FFh", "#[handle! 000000FFh window]" },
        { handle::make(0, handle::Kind::None), "00000000h", "#[handle! 00000000h]" },
        { handle::make(0xABCDEF01, handle::Kind::RichText), "ABCDEF01h", "#[handle! ABCDEF01h rich-text]" },
        { handle::make(7, handle::Kind::Null), "00000007h", "#[handle! 00000007h null]" },
        { handle::make(7, static_cast<handle::Kind>(99)), "00000007h", "#[handle! 00000007h]" },
    };
    for (Case const& c : cases) {
        Printed const formed_text = formed(c.value);
        EXPECT_EQ(formed_text.text, c.formed);
        EXPECT_EQ(formed_text.limit, 100 - 9);
        Printed const all_text = molded(c.value, true);
        EXPECT_EQ(all_text.text, c.molded_all);
        EXPECT_EQ(all_text.limit, 100 - static_cast<std::int32_t>(std::string(c.molded_all).size()));
        EXPECT_EQ(molded(c.value, false).text, "handle!") << "a plain mold names only the type";
    }
}

// Signed handle values decide under every operation; kinds are ignored; other types are greater.
TEST_F(HandleTest, CompareOrdersBySignedValueOnly)
{
    auto const compare = datatype::actions(handle::type_id).compare;
    Cell const small = handle::make(0xFFFFFFFF, handle::Kind::Fd); // -1 as a signed value
    Cell const large = handle::make(5, handle::Kind::Font);
    for (CompareOp op : { CompareOp::Equal, CompareOp::StrictEqual, CompareOp::Lesser, CompareOp::Same }) {
        EXPECT_EQ(compare(small, large, op), -1);
        EXPECT_EQ(compare(large, small, op), 1);
        EXPECT_EQ(compare(large, handle::make(5, handle::Kind::Window), op), 0) << "kinds do not take part";
        EXPECT_EQ(compare(large, integer::make(5), op), 1);
    }
}

TEST_F(HandleTest, MakersFillTheCell)
{
    Cell const* pushed = handle::push_null();
    EXPECT_EQ(cell::type_of(*pushed), handle::type_id);
    EXPECT_EQ(handle::value_of(*pushed), 0u);
    EXPECT_EQ(handle::kind_of(*pushed), handle::Kind::None);
    EXPECT_EQ(pushed->word3, 0xFFFFFFFFu);
    stack::pop(1);
    auto const& actions = datatype::actions(handle::type_id);
    EXPECT_EQ(actions.add, nullptr) << "nothing is taken from integer!";
    EXPECT_EQ(actions.make, nullptr);
}
