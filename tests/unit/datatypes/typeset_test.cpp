// typeset!: making sets from type blocks, the bitwise and set operations, membership and the printed forms.

#include <string>

#include "names_fixture.h"

using namespace xol;

namespace {

struct TypesetTest : NamesTest {
    void SetUp() override
    {
        NamesTest::SetUp();
        // The type-name words hold their datatypes, as the library sets them at start-up.
        for (TypeId type = 1; type <= datatype::registry.highest; ++type) {
            if (!datatype::is_registered(type)) continue;
            Cell word = word::make(datatype::registry.types[type].word);
            word::set(word, datatype::make(type));
        }
    }
};

Cell type_word(char const* name)
{
    return global_word(name);
}

Cell of(std::initializer_list<TypeId> types)
{
    Cell set = typeset::make();
    for (TypeId type : types) typeset::set_bit(set, type);
    return set;
}

Cell make_typeset(Cell const& spec)
{
    Rooted kept(spec);
    return datatype::actions(type_ids::typeset).make(datatype::make(type_ids::typeset), *kept, type_ids::typeset);
}

TEST_F(TypesetTest, BitLayoutPutsLowIdsInTheHighBitsOfEachByte)
{
    Cell const set = of({ type_ids::datatype, type_ids::integer, type_ids::typeset });
    std::uint8_t bytes[12];
    std::memcpy(bytes, &set.word1, sizeof bytes);
    EXPECT_EQ(bytes[0], 0x40); // id 1: bit 0x80 >> 1 of byte 0
    EXPECT_EQ(bytes[1], 0x10); // id 11: bit 0x80 >> 3 of byte 1
    EXPECT_EQ(bytes[4], 0x40); // id 33
    EXPECT_TRUE(typeset::has(set, type_ids::integer));
    EXPECT_FALSE(typeset::has(set, type_ids::float_));
    EXPECT_FALSE(typeset::has(set, 200));
    EXPECT_EQ(typeset::count(set), 3u);
}

TEST_F(TypesetTest, MakeFromBlockOfTypeWordsMoldsInIdOrder)
{
    Rooted spec(series_of({ type_word("float!"), type_word("integer!") }));
    Cell const set = make_typeset(*spec);
    EXPECT_EQ(set, of({ type_ids::integer, type_ids::float_ }));
    EXPECT_EQ(molded(set).text, "make typeset! [integer! float!]");
    EXPECT_EQ(formed(set).text, "make typeset! [integer! float!]");
    EXPECT_EQ(molded(set).limit, 100 - 31);
}

TEST_F(TypesetTest, EmptySetAndOnly)
{
    Cell const empty = typeset::make();
    EXPECT_EQ(molded(empty).text, "make typeset! []");
    EXPECT_EQ(molded(empty).limit, 100 - 16);
    // /only on the empty set writes nothing and leaves what the buffer held.
    Rooted buffer(string::from_utf8("before"));
    std::int32_t const left
        = datatype::actions(type_ids::typeset).mold(empty, *buffer, true, false, false, nullptr, 50, 0);
    EXPECT_EQ(string::to_utf8(*buffer), "before");
    EXPECT_EQ(left, 50);
    Rooted names(string::from_utf8(">"));
    std::int32_t const after
        = datatype::actions(type_ids::typeset)
              .mold(of({ type_ids::block, type_ids::none }), *names, true, false, false, nullptr, 50, 0);
    EXPECT_EQ(string::to_utf8(*names), ">none! block!");
    EXPECT_EQ(after, 50 - 12);
}

TEST_F(TypesetTest, PartLimitStopsBetweenNames)
{
    Rooted buffer(string::make(16));
    Cell const part = integer::make(20);
    std::int32_t const left = datatype::actions(type_ids::typeset)
                                  .mold(of({ type_ids::none, type_ids::block, type_ids::string }), *buffer, false,
                                      false, false, &part, 20, 0);
    EXPECT_EQ(string::to_utf8(*buffer), "make typeset! [none! ");
    EXPECT_EQ(left, -1);
}

TEST_F(TypesetTest, ComplementHoldsEveryDatatype)
{
    Cell const all = datatype::actions(type_ids::typeset).complement(typeset::make());
    for (TypeId type = 0; type < typeset::bit_count; ++type) EXPECT_TRUE(typeset::has(all, type));
    std::string const text = molded(all).text;
    EXPECT_EQ(text.rfind("make typeset! [datatype! unset! none!", 0), 0u) << text;
    EXPECT_NE(text.find(" word! set-word! lit-word! get-word! refinement! issue! "), std::string::npos) << text;
    std::string const last = std::string(" ") + std::string(datatype::name(datatype::registry.highest)) + "]";
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    EXPECT_EQ(typeset::count(all), static_cast<std::uint32_t>(datatype::registry.highest));
}

TEST_F(TypesetTest, BitwiseAndSetOperations)
{
    Cell const numbers = of({ type_ids::integer, type_ids::float_ });
    Cell const mixed = of({ type_ids::float_, type_ids::string });
    struct Case {
        MathOp op;
        Cell expected;
    };
    Case const cases[] = {
        { MathOp::Or, of({ type_ids::integer, type_ids::float_, type_ids::string }) },
        { MathOp::Union, of({ type_ids::integer, type_ids::float_, type_ids::string }) },
        { MathOp::And, of({ type_ids::float_ }) },
        { MathOp::Intersect, of({ type_ids::float_ }) },
        { MathOp::Xor, of({ type_ids::integer, type_ids::string }) },
        { MathOp::Difference, of({ type_ids::integer, type_ids::string }) },
        { MathOp::Exclude, of({ type_ids::integer }) },
        { MathOp::Unique, numbers },
    };
    for (Case const& c : cases) EXPECT_EQ(typeset::bitwise(numbers, mixed, c.op), c.expected) << int(c.op);
    EXPECT_EQ(typeset::bitwise(numbers, numbers, MathOp::Exclude), typeset::make());
    // A datatype stands for its one-type set.
    EXPECT_EQ(typeset::bitwise(numbers, datatype::make(type_ids::block), MathOp::Or),
        of({ type_ids::block, type_ids::integer, type_ids::float_ }));
    EXPECT_EQ(raised_by([&] { typeset::bitwise(numbers, integer::make(1), MathOp::Or); }), err::script::invalid_arg);
    // The actions go through the call frame.
    auto const& actions = datatype::actions(type_ids::typeset);
    EXPECT_EQ(run_frame(actions.or_, numbers, mixed), typeset::bitwise(numbers, mixed, MathOp::Union));
    EXPECT_EQ(run_frame(actions.and_, numbers, mixed), of({ type_ids::float_ }));
    EXPECT_EQ(run_frame(actions.xor_, numbers, mixed), of({ type_ids::integer, type_ids::string }));
}

TEST_F(TypesetTest, FindAndCompare)
{
    Cell const numbers = of({ type_ids::integer, type_ids::float_ });
    auto const& actions = datatype::actions(type_ids::typeset);
    EXPECT_EQ(actions.find(numbers, datatype::make(type_ids::integer), {}), true_value);
    EXPECT_EQ(actions.find(numbers, datatype::make(type_ids::block), {}), false_value);
    EXPECT_EQ(raised_by([&] { actions.find(numbers, integer::make(11), {}); }), err::script::invalid_arg);

    Cell const bigger = of({ type_ids::integer, type_ids::float_, type_ids::block });
    EXPECT_EQ(actions.compare(numbers, numbers, CompareOp::Equal), 0);
    EXPECT_EQ(actions.compare(numbers, bigger, CompareOp::NotEqual), 1);
    EXPECT_EQ(actions.compare(numbers, bigger, CompareOp::Same), 1);
    EXPECT_EQ(actions.compare(numbers, bigger, CompareOp::Sort), -1);
    EXPECT_EQ(actions.compare(bigger, numbers, CompareOp::CaseSort), 1);
    EXPECT_EQ(actions.compare(numbers, bigger, CompareOp::Lesser), compare_incomparable);
    EXPECT_EQ(actions.compare(numbers, integer::make(1), CompareOp::Equal), compare_incomparable);
}

TEST_F(TypesetTest, MakeAndAddErrors)
{
    EXPECT_EQ(make_typeset(of({ type_ids::pair })), of({ type_ids::pair }));
    EXPECT_EQ(raised_by([] { make_typeset(integer::make(1)); }), err::script::bad_to_arg);
    Rooted nested(series_of({ of({ type_ids::none }), datatype::make(type_ids::block), type_word("logic!") }));
    EXPECT_EQ(make_typeset(*nested), of({ type_ids::none, type_ids::block, type_ids::logic }));
    Rooted bad(series_of({ type_word("integer!"), integer::make(3) }));
    EXPECT_EQ(raised_by([&] { make_typeset(*bad); }), err::script::invalid_arg);
    Rooted unset_word(series_of({ global_word("no-such-type!") }));
    EXPECT_EQ(raised_by([&] { make_typeset(*unset_word); }), err::script::no_value);
}

TEST_F(TypesetTest, TypeBlocksOfFunctionSpecs)
{
    Cell word_of_word = global_word("points-at-a-word");
    word::set(word_of_word, global_word("anything"));
    Rooted spec(
        series_of({ type_word("string!"), series_of({ type_word("block!") }), word_of_word, of({ type_ids::char_ }) }));
    Rooted target(series_of({}));
    Cell const made = *typeset::make_from_block(*target, *spec);
    EXPECT_EQ(made, of({ type_ids::string, type_ids::object, type_ids::char_ }));
    EXPECT_EQ(block::rs_length_q(*target), 1u);
    Rooted bad(series_of({ integer::make(1) }));
    EXPECT_EQ(raised_by([&] { typeset::make_from_block(*target, *bad); }), err::script::invalid_type_spec);

    Cell const any = *typeset::make_default(*target);
    EXPECT_FALSE(typeset::has(any, type_ids::unset));
    EXPECT_TRUE(typeset::has(any, 0));
    EXPECT_TRUE(typeset::has(any, type_ids::block));

    Rooted block(cell::make(type_ids::none));
    typeset::to_block(of({ type_ids::float_, type_ids::none }), *block);
    ASSERT_EQ(block::rs_length_q(*block), 2u);
    EXPECT_EQ(symbol::spelling(block::rs_head(*block)[0].word2), "none!");
    EXPECT_EQ(symbol::spelling(block::rs_head(*block)[1].word2), "float!");
    EXPECT_EQ(block::rs_head(*block)[1].word1, context::global());
}

}
