// series!: navigation, pick and poke, and the unit-level modifiers, through the slots a block inherits.

#include "block_fixture.h"
#include "datatypes/word.h"

using namespace xol;

namespace {

TypeActions const& block_actions()
{
    return datatype::actions(type_ids::block);
}

Cell const* part_of(Cell const& value)
{
    return &value;
}

}

// at and skip clamp to the series; at 0 and at 1 keep the position; next and back stop at the ends.
TEST_F(BlockTest, NavigationClampsToTheSeries)
{
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    struct Case {
        action_types::FromFrame action;
        std::uint32_t index;
        std::int32_t argument;
        std::uint32_t expected;
    };
    TypeActions const& slots = block_actions();
    Case const cases[] = {
        { slots.at, 2, 0, 2 },
        { slots.at, 2, 1, 2 },
        { slots.at, 2, 2, 3 },
        { slots.at, 2, -1, 1 },
        { slots.at, 0, 100, 5 },
        { slots.skip, 3, -1000, 0 },
        { slots.skip, 3, 1000, 5 },
        { slots.skip, 1, 2, 3 },
        { slots.next, 4, 0, 5 },
        { slots.next, 5, 0, 5 },
        { slots.back, 0, 0, 0 },
        { slots.back, 3, 0, 2 },
        { slots.head, 3, 0, 0 },
        { slots.tail, 1, 0, 5 },
    };
    for (Case const& c : cases) {
        Cell const result = run_frame(c.action, at_index(*five, c.index), int_cell(c.argument));
        EXPECT_EQ(result.word1, c.expected) << "from " << c.index << " by " << c.argument;
    }
    EXPECT_EQ(run_frame(slots.index_q, at_index(*five, 2)), int_cell(3));
    EXPECT_EQ(run_frame(slots.head_q, at_index(*five, 0)), true_value);
    EXPECT_EQ(run_frame(slots.tail_q, at_index(*five, 9)), true_value) << "past the tail counts as the tail";
    EXPECT_EQ(run_frame(slots.tail_q, at_index(*five, 4)), false_value);
    EXPECT_EQ(raised_by([&] { run_frame(slots.skip, *five, none_value); }), err::script::invalid_arg);
}

TEST_F(BlockTest, LengthOfAnIndexPastAShortenedTailIsZero)
{
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    Cell const later = at_index(*five, 4);
    block::clear_at_index(at_index(*five, 2));
    EXPECT_EQ(block_actions().length_q(later), 0);
    EXPECT_EQ(block_actions().length_q(at_index(*five, 1)), 1);
}

TEST_F(BlockTest, PickAndPokeAddressFromThePosition)
{
    Rooted five(ints({ 10, 20, 30, 40, 50 }));
    Cell const middle = at_index(*five, 2);
    struct Case {
        std::int32_t n;
        Cell expected;
    };
    Case const cases[] = {
        { 1, int_cell(30) },
        { 3, int_cell(50) },
        { 4, none_value },
        { 0, none_value },
        { -1, int_cell(20) },
        { -2, int_cell(10) },
        { -3, none_value },
    };
    for (Case const& c : cases)
        EXPECT_EQ(block_actions().pick(middle, c.n, int_cell(c.n)), c.expected) << "pick " << c.n;

    EXPECT_EQ(block_actions().poke(middle, -1, int_cell(-1), int_cell(7)), int_cell(7));
    EXPECT_EQ(whole(*five), "[10 7 30 40 50]");
    for (std::int32_t n : { 0, 4, -3 })
        EXPECT_EQ(
            raised_by([&] { block_actions().poke(middle, n, int_cell(n), int_cell(1)); }), err::script::out_of_range)
            << "poke " << n;
}

TEST_F(BlockTest, PickAndPokeOfTextUseCharacters)
{
    Rooted word(string::from_utf8("abc"));
    TypeActions const& slots = datatype::actions(type_ids::string);
    EXPECT_EQ(slots.pick(*word, 2, int_cell(2)), char_::make('b'));
    slots.poke(*word, 2, int_cell(2), char_::make(0x263A));
    EXPECT_EQ(string::to_utf8(*word), "a\u263Ac");
    EXPECT_EQ(raised_by([&] { slots.poke(*word, 1, int_cell(1), int_cell(5)); }), err::script::invalid_arg);
}

TEST_F(BlockTest, RemoveCountsFromThePosition)
{
    struct Case {
        std::uint32_t index;
        std::int32_t part; // -1: no /part
        char const* expected;
    };
    Case const cases[] = {
        { 0, -1, "[2 3 4 5]" },
        { 1, 2, "[1 4 5]" },
        { 3, 10, "[1 2 3]" },
        { 1, 0, "[1 2 3 4 5]" },
        { 5, -1, "[1 2 3 4 5]" },
    };
    for (Case const& c : cases) {
        Rooted five(ints({ 1, 2, 3, 4, 5 }));
        Cell const part = int_cell(c.part);
        Cell const answer = block_actions().remove(at_index(*five, c.index), c.part >= 0 ? &part : nullptr, nullptr);
        EXPECT_EQ(answer.word1, c.index);
        EXPECT_EQ(whole(*five), c.expected) << "remove at " << c.index << " part " << c.part;
    }
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    Cell const end = at_index(*five, 3);
    block_actions().remove(at_index(*five, 1), &end, nullptr);
    EXPECT_EQ(whole(*five), "[1 4 5]") << "a /part position";
    Rooted other(ints({ 1 }));
    EXPECT_EQ(raised_by([&] { block_actions().remove(*five, &*other, nullptr); }), err::script::invalid_refine_arg);
}

TEST_F(BlockTest, ReverseWithSkipSwapsRecords)
{
    Rooted six(ints({ 1, 2, 3, 4, 5, 6 }));
    block_actions().reverse(*six, nullptr, nullptr);
    EXPECT_EQ(whole(*six), "[6 5 4 3 2 1]");
    Cell const two = int_cell(2);
    block_actions().reverse(*six, nullptr, &two);
    EXPECT_EQ(whole(*six), "[2 1 4 3 6 5]");
    block_actions().reverse(at_index(*six, 1), &two, nullptr);
    EXPECT_EQ(whole(*six), "[2 4 1 3 6 5]");

    Cell const four = int_cell(4);
    Cell const zero = int_cell(0);
    EXPECT_EQ(raised_by([&] { block_actions().reverse(*six, nullptr, &four); }), err::script::invalid_refine_arg);
    EXPECT_EQ(raised_by([&] { block_actions().reverse(*six, nullptr, &zero); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([&] { block_actions().reverse(*six, nullptr, &none_value); }), err::script::invalid_refine_arg);
}

TEST_F(BlockTest, TakeAnswersTheElementOrASeries)
{
    struct Case {
        std::uint32_t index;
        std::int32_t part; // -100: no /part
        bool last;
        char const* taken;
        char const* left;
    };
    Case const cases[] = {
        { 0, -100, false, "1", "[2 3 4 5]" },
        { 0, -100, true, "5", "[1 2 3 4]" },
        { 1, 2, false, "[2 3]", "[1 4 5]" },
        { 1, 2, true, "[4 5]", "[1 2 3]" },
        { 3, -2, false, "[2 3]", "[1 4 5]" },
        { 0, -2, false, "[]", "[1 2 3 4 5]" },
        { 3, 10, false, "[4 5]", "[1 2 3]" },
        { 2, 0, false, "[]", "[1 2 3 4 5]" },
        { 2, 0, true, "[]", "[1 2 3 4 5]" },
        { 0, 0, false, "[]", "[1 2 3 4 5]" },
    };
    for (Case const& c : cases) {
        Rooted five(ints({ 1, 2, 3, 4, 5 }));
        Cell const part = int_cell(c.part);
        Rooted taken(block_actions().take(at_index(*five, c.index), c.part != -100 ? &part : nullptr, false, c.last));
        EXPECT_EQ(mold_text(*taken), c.taken) << "take at " << c.index << " part " << c.part;
        EXPECT_EQ(whole(*five), c.left) << "take at " << c.index << " part " << c.part;
    }
    Rooted empty(ints({}));
    EXPECT_EQ(block_actions().take(*empty, nullptr, false, false), none_value);
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    Cell const before = at_index(*five, 1);
    Rooted nothing(block_actions().take(at_index(*five, 3), &before, false, false));
    EXPECT_EQ(mold_text(*nothing), "[]") << "a /part position before the series takes nothing";
    EXPECT_EQ(whole(*five), "[1 2 3 4 5]");
}

// Past the tail the index stays; below the head it stops at the head.
TEST_F(BlockTest, RsSkipStopsAtTheHead)
{
    struct Case {
        std::uint32_t index;
        std::int32_t count;
        std::uint32_t moved_to;
        bool at_tail;
    };
    Case const cases[] = {
        { 2, 2, 4, false },
        { 2, 3, 5, true },
        { 2, 4, 2, true },
        { 2, -2, 0, false },
        { 2, -5, 0, false },
        { 0, INT32_MIN, 0, false },
    };
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    for (Case const& c : cases) {
        Cell moving = at_index(*five, c.index);
        EXPECT_EQ(series::rs_skip(moving, c.count), c.at_tail) << c.index << " skip " << c.count;
        EXPECT_EQ(moving.word1, c.moved_to) << c.index << " skip " << c.count;
    }
}

TEST_F(BlockTest, TakeDeepCopiesNestedSeries)
{
    Rooted inner(ints({ 1 }));
    Rooted outer(series_of({ *inner, *inner }));
    Cell const one = int_cell(1);
    Rooted taken(block_actions().take(*outer, &one, true, false));
    Cell const first = *block::rs_head(*taken);
    EXPECT_NE(first.word2, inner->word2);
    EXPECT_EQ(mold_text(*taken), "[[1]]");
    Cell const shallow = block_actions().take(*outer, nullptr, false, false);
    EXPECT_EQ(shallow.word2, inner->word2);
}

TEST_F(BlockTest, CopyWithPart)
{
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    Cell const source = at_index(*five, 2);
    struct Case {
        Cell part;
        char const* expected;
    };
    Case const cases[] = {
        { int_cell(2), "[3 4]" },
        { int_cell(-2), "[1 2]" },
        { int_cell(-9), "[1 2]" },
        { int_cell(100), "[3 4 5]" },
        { at_index(*five, 0), "[1 2]" },
        { at_index(*five, 4), "[3 4]" },
        { cell::make(type_ids::pair, 0, 2, 4), "[4 5]" },
        { cell::make(type_ids::pair, 0, 3, 1), "[]" },
    };
    for (Case const& c : cases)
        EXPECT_EQ(mold_text(block_actions().copy(source, part_of(c.part), false, nullptr)), c.expected);
    Rooted copied(block_actions().copy(source, nullptr, false, nullptr));
    EXPECT_EQ(mold_text(*copied), "[3 4 5]");
    EXPECT_EQ(copied->word1, 0u);
    EXPECT_NE(copied->word2, five->word2);
    Rooted other(ints({ 1 }));
    EXPECT_EQ(
        raised_by([&] { block_actions().copy(*five, &*other, false, nullptr); }), err::script::invalid_refine_arg);
}

TEST_F(BlockTest, MoveWithinOneSeries)
{
    struct Case {
        std::uint32_t from;
        std::uint32_t to;
        std::int32_t part;
        char const* expected;
    };
    Case const cases[] = {
        { 0, 2, 1, "[2 3 1 4 5]" }, { 3, 1, 2, "[1 4 5 2 3]" }, { 0, 5, 2, "[3 4 5 1 2]" }, { 1, 1, 1, "[1 2 3 4 5]" },
        { 0, 4, 2, "[1 2 3 4 5]" }, // fewer than the count after the destination
        { 0, 1, 3, "[1 2 3 4 5]" }, // the destination inside the moved run
    };
    for (Case const& c : cases) {
        Rooted five(ints({ 1, 2, 3, 4, 5 }));
        Cell const part = int_cell(c.part);
        block_actions().move(at_index(*five, c.from), at_index(*five, c.to), &part);
        EXPECT_EQ(whole(*five), c.expected) << "move " << c.from << " to " << c.to;
    }
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    Cell const three = int_cell(3);
    Cell const answer = block_actions().move(at_index(*five, 0), at_index(*five, 2), &three);
    EXPECT_EQ(answer.word1, 0u) << "a destination inside the moved run answers the source";
}

TEST_F(BlockTest, MoveBetweenSeries)
{
    Rooted source(ints({ 1, 2, 3 }));
    Rooted target(ints({ 7, 8 }));
    Cell const two = int_cell(2);
    Cell const answer = block_actions().move(*source, at_index(*target, 1), &two);
    EXPECT_EQ(answer.word2, target->word2);
    EXPECT_EQ(whole(*source), "[3]");
    EXPECT_EQ(whole(*target), "[7 1 2 8]");

    Rooted text(string::from_utf8("ab"));
    EXPECT_EQ(raised_by([&] { block_actions().move(*source, *text, nullptr); }), err::script::move_bad);
    EXPECT_EQ(raised_by([&] { block_actions().move(*source, int_cell(1), nullptr); }), err::script::expect_arg);
    EXPECT_EQ(errors::last_raised().arguments[0].word2, word::make_global("move").word2);
    EXPECT_EQ(errors::last_raised().arguments[2].word2, word::make_global("target").word2);
}

TEST_F(BlockTest, ClearCutsAtThePosition)
{
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    block_actions().clear(at_index(*five, 2));
    EXPECT_EQ(whole(*five), "[1 2]");
    block_actions().clear(at_index(*five, 7));
    EXPECT_EQ(whole(*five), "[1 2]");
}

TEST_F(BlockTest, RandomShufflesInPlace)
{
    Rooted empty(ints({}));
    EXPECT_EQ(block_actions().random(*empty, false, false, true), none_value);
    EXPECT_EQ(block_actions().random(*empty, false, false, false), *empty);

    Rooted numbers(ints({ 1, 2, 3, 4, 5, 6, 7, 8 }));
    Rooted seed(ints({ 42 }));
    EXPECT_EQ(block_actions().random(*seed, true, false, false), unset_value);
    block_actions().random(*numbers, false, false, false);
    std::string const first = whole(*numbers);
    Cell const one = block_actions().random(*numbers, false, false, true);
    EXPECT_EQ(cell::type_of(one), type_ids::integer);

    SortOptions const ascending {};
    block_actions().sort(*numbers, ascending);
    EXPECT_EQ(whole(*numbers), "[1 2 3 4 5 6 7 8]") << "the shuffle loses nothing";
    block_actions().random(*seed, true, false, false);
    block_actions().random(*numbers, false, false, false);
    EXPECT_EQ(whole(*numbers), first) << "the same seed shuffles the same way";
}

// /key removes the key and the value after it.
TEST_F(BlockTest, RemoveWithKey)
{
    Rooted block(ints({ 1, 10, 2, 20 }));
    Cell const key = int_cell(2);
    block_actions().remove(*block, nullptr, &key);
    EXPECT_EQ(whole(*block), "[1 10]");
    Cell const missing = int_cell(5);
    EXPECT_EQ(block_actions().remove(*block, nullptr, &missing), none_value);
}
