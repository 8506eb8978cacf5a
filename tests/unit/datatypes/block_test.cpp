// block!: mold and form, the cycle guard, compare, make and to, the path step and the runtime functions on
// cell series.

#include "block_fixture.h"

using namespace xol;

namespace {

TypeActions const& block_actions()
{
    return datatype::actions(type_ids::block);
}

// `depth` blocks, each holding the next; the innermost holds 1. May allocate.
Cell nested_blocks(std::uint32_t depth)
{
    Rooted inner(ints({ 1 }));
    for (std::uint32_t level = 1; level < depth; ++level) *inner = series_of({ *inner });
    return *inner;
}

}

TEST_F(BlockTest, MoldHonoursNewLineMarkers)
{
    struct Case {
        Cell first;
        Cell second;
        MoldFlags flags;
        char const* expected;
    };
    Cell const one = int_cell(1);
    Cell const two = int_cell(2);
    Case const cases[] = {
        { one, two, {}, "[1 2]" },
        { one, two, { .only = true }, "1 2" },
        { on_new_line(one), on_new_line(two), {}, "[\n    1\n    2\n]" },
        { one, on_new_line(two), {}, "[1\n2]" },
        { on_new_line(one), on_new_line(two), { .flat = true }, "[1 2]" },
        { on_new_line(one), on_new_line(two), { .only = true }, "1\n2" },
    };
    for (Case const& c : cases) {
        Rooted block(series_of({ c.first, c.second }));
        EXPECT_EQ(mold_text(*block, c.flags), c.expected);
    }
}

TEST_F(BlockTest, MoldIndentsNestedBlocks)
{
    Rooted inner(series_of({ on_new_line(int_cell(1)), on_new_line(int_cell(2)) }));
    Rooted outer(series_of({ on_new_line(*inner), int_cell(3) }));
    EXPECT_EQ(mold_text(*outer), "[\n    [\n        1\n        2\n    ] 3\n]");
    Rooted text(string::from_utf8("a"));
    Rooted empty(ints({}));
    Rooted mixed(series_of({ *text, *empty, int_cell(-4) }));
    EXPECT_EQ(mold_text(*mixed), "[\"a\" [] -4]");
    EXPECT_EQ(mold_text(at_index(*mixed, 1)), "[[] -4]") << "from the position";
    EXPECT_EQ(mold_text(at_index(*mixed, 9)), "[]") << "past the tail";
}

TEST_F(BlockTest, FormIsFlatText)
{
    Rooted inner(ints({ 2, 3 }));
    Rooted outer(series_of({ int_cell(1), *inner, int_cell(4) }));
    EXPECT_EQ(form_text(*outer), "1 2 3 4");
    Rooted line(string::from_utf8("a\n"));
    Rooted after_line(series_of({ *line, int_cell(5), int_cell(6) }));
    EXPECT_EQ(form_text(*after_line), "a\n5 6") << "no space after a line feed";
    EXPECT_EQ(form_text(ints({})), "");
}

TEST_F(BlockTest, MoldStopsWhenThePartLimitIsSpent)
{
    Rooted five(ints({ 1, 2, 3, 4, 5 }));
    std::int32_t left = 0;
    EXPECT_EQ(mold_text(*five, {}, true, 3, &left), "[1 2]");
    EXPECT_EQ(left, -2);
    EXPECT_EQ(mold_text(*five, {}, false, 3, &left), "[1 2 3 4 5]") << "without /part the limit only counts";
    EXPECT_EQ(left, 3 - 11);
}

TEST_F(BlockTest, ABlockHoldingItselfMoldsWithAMarker)
{
    Rooted block(ints({ 1 }));
    block::rs_append(*block, *block);
    EXPECT_EQ(mold_text(*block), "[1 [...]]");
    EXPECT_EQ(form_text(*block), "1 ...");
    Rooted paren(as_type(ints({ 1 }), type_ids::paren));
    block::rs_append(*paren, *paren);
    EXPECT_EQ(mold_text(*paren), "(1 (...))");
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockTest, NestingIsBoundedByTheCycleGuard)
{
    Rooted deepest_allowed(nested_blocks(999));
    std::string const text = mold_text(*deepest_allowed);
    EXPECT_EQ(text.size(), 999u * 2 + 1);
    EXPECT_EQ(text.substr(0, 3), "[[[");
    Rooted too_deep(nested_blocks(1000));
    EXPECT_EQ(raised_by([&] { mold_text(*too_deep); }), err::internal::too_deep);
    EXPECT_EQ(cycles::depth(), 0u);
    EXPECT_EQ(raised_by([&] { form_text(*too_deep); }), err::internal::too_deep);
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockTest, CompareBlocks)
{
    Rooted one_two(ints({ 1, 2 }));
    Rooted one_three(ints({ 1, 3 }));
    Rooted two(ints({ 2 }));
    Rooted one(ints({ 1 }));
    Rooted empty(ints({}));
    Rooted other_one_two(ints({ 1, 2 }));
    Rooted text(string::from_utf8("a"));
    Rooted text_block(series_of({ *text }));
    // The elements' own compare answers unequal values of an equality code with any non-zero order.
    constexpr std::int32_t unequal = 99;
    struct Case {
        Cell a;
        Cell b;
        CompareOp op;
        std::int32_t expected;
    };
    Case const cases[] = {
        { *one_two, *other_one_two, CompareOp::Equal, 0 }, { *one_two, *one_three, CompareOp::Equal, unequal },
        { *one_two, *one, CompareOp::Equal, 1 }, // lengths differ
        { *one_two, *one_three, CompareOp::Lesser, -1 },
        { *two, *one_two, CompareOp::Lesser, 1 }, // the elements decide before the lengths
        { *one, *one_two, CompareOp::Lesser, -1 }, { *empty, *one, CompareOp::Sort, -1 },
        { *one, *text_block, CompareOp::Sort, 1 }, // integer! sorts after string! by type id
        { *one_two, as_type(*one_two, type_ids::paren), CompareOp::Equal, compare_incomparable },
        { as_type(*one_two, type_ids::path), as_type(*one_two, type_ids::lit_path), CompareOp::FindPathEqual, 0 },
        { as_type(*one_two, type_ids::path), as_type(*one_two, type_ids::lit_path), CompareOp::Equal,
            compare_incomparable },
        { *one_two, *one_two, CompareOp::Same, 0 }, { *one_two, *other_one_two, CompareOp::Same, 1 },
        { *one_two, at_index(*one_two, 1), CompareOp::Same, 1 },
        { at_index(*one_two, 1), *two, CompareOp::Equal, 0 }, // from the positions
    };
    for (Case const& c : cases) {
        std::int32_t const answer = block::compare(c.a, c.b, c.op);
        if (c.expected == unequal)
            EXPECT_TRUE(answer != 0 && answer != compare_incomparable);
        else
            EXPECT_EQ(answer, c.expected) << mold_text(c.a) << " op " << int(c.op) << " " << mold_text(c.b);
    }

    Rooted self(ints({ 1 }));
    block::rs_append(*self, *self);
    Rooted other(ints({ 1 }));
    block::rs_append(*other, *other);
    EXPECT_EQ(block::compare(*self, *other, CompareOp::Equal), 0) << "cycles on both sides compare equal";
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockTest, MakeAndTo)
{
    Cell const prototype = none_value; // make and to read only the type to make
    for (std::int32_t size : { 0, -5, 1 }) {
        Rooted made(block_actions().make(prototype, int_cell(size), type_ids::block));
        EXPECT_EQ(mold_text(*made), "[]");
        EXPECT_EQ(series::buffer_of(*made)->capacity, sizeof(Cell)) << "room for one cell from " << size;
    }
    Rooted made(block_actions().make(prototype, int_cell(10), type_ids::block));
    EXPECT_EQ(series::buffer_of(*made)->capacity, 10 * sizeof(Cell));

    Rooted source(ints({ 1, 2, 3 }));
    Rooted copied(block_actions().make(prototype, at_index(*source, 1), type_ids::paren));
    EXPECT_EQ(mold_text(*copied), "(2 3)");
    EXPECT_NE(copied->word2, source->word2);

    Rooted text(string::from_utf8("a b"));
    EXPECT_EQ(raised_by([&] { block_actions().make(prototype, *text, type_ids::block); }), err::script::bad_make_arg);
    EXPECT_EQ(mold_text(block_actions().to(prototype, int_cell(5), type_ids::block)), "[5]");
    EXPECT_EQ(mold_text(block_actions().to(prototype, *source, type_ids::block)), "[1 2 3]");
}

// An integer! element picks or pokes; any other element selects, or sets the value after its key.
TEST_F(BlockTest, EvalPathPicksSelectsAndSets)
{
    Rooted key(string::from_utf8("k"));
    Rooted other_key(string::from_utf8("K"));
    Rooted missing_key(string::from_utf8("m"));
    Rooted block(series_of({ int_cell(10), *key, int_cell(30) }));
    Cell const two = int_cell(2);
    Cell const seven = int_cell(7);
    auto step = [&](Cell const& element, Cell const* new_value) {
        return PathStep { .value = *block,
            .element = element,
            .new_value = new_value,
            .path = nullptr,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = -1,
            .case_sensitive = false,
            .get = false,
            .last_element = true,
            .signal_owner = false };
    };
    EXPECT_EQ(string::to_utf8(block::eval_path(step(two, nullptr))), "k");
    EXPECT_EQ(block::eval_path(step(*other_key, nullptr)), int_cell(30));
    EXPECT_EQ(block::eval_path(step(*other_key, &seven)), seven);
    EXPECT_EQ(whole(*block), "[10 \"k\" 7]");
    EXPECT_EQ(block::eval_path(step(two, &seven)), seven);
    EXPECT_EQ(whole(*block), "[10 7 7]");
    EXPECT_EQ(raised_by([&] { block::eval_path(step(*missing_key, &seven)); }), err::script::bad_path_set);
    Cell const nine = int_cell(9);
    EXPECT_EQ(raised_by([&] { block::eval_path(step(nine, &seven)); }), err::script::out_of_range);
}

TEST_F(BlockTest, RuntimeFunctionsOnCellSeries)
{
    Rooted block(ints({ 1, 2, 3 }));
    EXPECT_EQ(block::rs_length_q(at_index(*block, 1)), 2u);
    EXPECT_EQ(*block::rs_append(*block, int_cell(4)), int_cell(4));
    EXPECT_EQ(whole(*block), "[1 2 3 4]");

    Cell position = at_index(*block, 1);
    block::insert_value(position, int_cell(9), true, false);
    EXPECT_EQ(whole(*block), "[1 9 2 3 4]");
    EXPECT_EQ(position.word1, 2u);
    block::insert_value(position, int_cell(0), false, true);
    EXPECT_EQ(whole(*block), "[0 1 9 2 3 4]");

    EXPECT_TRUE(block::remove_value(at_index(*block, 3), int_cell(9), true));
    EXPECT_FALSE(block::remove_value(at_index(*block, 1), int_cell(4), false)) << "removed after the position";
    EXPECT_EQ(whole(*block), "[0 1 2 3]");
    EXPECT_FALSE(block::remove_value(*block, int_cell(8), true));

    EXPECT_EQ(block::select_value(*block, int_cell(1)), int_cell(2));
    EXPECT_EQ(block::select_value(*block, int_cell(3)), none_value) << "the last cell has nothing after it";
    EXPECT_EQ(block::select_value(at_index(*block, 2), int_cell(1)), none_value);

    Cell end = at_index(*block, 4);
    block::remove_last(end);
    EXPECT_EQ(end.word1, 3u);
    Cell walker = at_index(*block, 1);
    EXPECT_FALSE(block::rs_next(walker));
    EXPECT_TRUE(block::rs_next(walker));
    EXPECT_TRUE(block::rs_next(walker)) << "stays at the tail";
    EXPECT_EQ(walker.word1, 3u);
}

TEST_F(BlockTest, AppendingAndInsertingABlockIntoItself)
{
    Rooted block(ints({ 1, 2 }));
    block::append_cells(*block, *block);
    EXPECT_EQ(whole(*block), "[1 2 1 2]");
    Cell position = at_index(*block, 1);
    block::insert_cells(position, at_index(*block, 2));
    EXPECT_EQ(whole(*block), "[1 1 2 2 1 2]");
    EXPECT_EQ(position.word1, 3u);
}

TEST_F(BlockTest, CloneDeepKeepsNestedHeaders)
{
    Rooted inner(ints({ 1 }));
    Rooted paren(as_type(ints({ 2 }), type_ids::paren));
    Rooted outer(series_of({ on_new_line(*inner), *paren }));
    Rooted shallow(*block::clone(*outer, false, false));
    stack::pop(1);
    EXPECT_EQ(block::rs_head(*shallow)->word2, inner->word2);

    Rooted deep(*block::clone(*outer, true, false));
    stack::pop(1);
    Cell const first = *block::rs_head(*deep);
    EXPECT_NE(first.word2, inner->word2);
    EXPECT_TRUE(cell::has_new_line(first));
    EXPECT_EQ(block::rs_abs_at(*deep, 1)->word2, paren->word2) << "a paren! is cloned only with any_block";

    Rooted any(*block::clone(*outer, true, true));
    stack::pop(1);
    EXPECT_NE(block::rs_abs_at(*any, 1)->word2, paren->word2);
    EXPECT_EQ(cell::type_of(*block::rs_abs_at(*any, 1)), type_ids::paren);
    EXPECT_EQ(mold_text(*any), "[\n    [1] (2)\n]");
}

TEST_F(BlockTest, Makers)
{
    Cell* pushed = block::push_new(0);
    EXPECT_EQ(cell::type_of(*pushed), type_ids::block);
    EXPECT_EQ(series::buffer_of(*pushed)->capacity, sizeof(Cell));
    stack::pop(1);

    Rooted parent(ints({ 1 }));
    block::make_at_from(*parent, 4);
    EXPECT_EQ(whole(*parent), "[1 []]");
    Cell const* made = block::make_in(nullptr, 2);
    EXPECT_NE(series::buffer_of(*made)->flags & series_flags::on_heap, 0u);
    block::make_in(&*parent, 2);
    EXPECT_EQ(whole(*parent), "[1 [] []]");
    Cell const* in_scratch = block::make_at_from(int_cell(1), 3);
    EXPECT_EQ(cell::type_of(*in_scratch), type_ids::block);
}

// Any word type carrying the symbol is a key; the value after it is the answer.
TEST_F(BlockTest, SelectWordMatchesAnyWordType)
{
    Cell const word = cell::make(type_ids::word, no_node, 7, 0);
    Cell const set_word = cell::make(type_ids::set_word, no_node, 7, 0);
    Cell const other = cell::make(type_ids::word, no_node, 8, 0);
    Rooted block(series_of({ other, int_cell(1), set_word, int_cell(2) }));
    EXPECT_EQ(block::select_word(*block, word, false), int_cell(2));
    EXPECT_EQ(block::select_word(*block, other, false), int_cell(1));
    EXPECT_EQ(block::select_word(at_index(*block, 1), other, false), none_value);
    Rooted last(series_of({ word }));
    EXPECT_EQ(block::select_word(*last, word, false), none_value);
}

// The collector may move live nodes out of a sparse node frame and rewrite every reference it can see.
// The blocks here live alone in such a frame; the operations below keep no node id across an allocation
// that the rewriting would miss (with XOL_GC_STRESS=1 the move happens inside them).
TEST_F(BlockTest, OperationsSurviveNodeRelocation)
{
    gc::state.enabled = false;
    for (std::uint32_t i = 0; i < memory::node_frame_slots; ++i) series::alloc_cells(1); // garbage filling a frame
    Rooted numbers(ints({ 3, 1, 2 }));
    Rooted other(ints({ 7, 8 }));
    Rooted nested(series_of({ *numbers, *other }));
    Rooted text(string::from_utf8("x"));
    Rooted holder(series_of({ *nested, *text }));
    gc::state.enabled = true;
    for (std::uint32_t i = 0; i < gc::history_depth + 1; ++i) gc::collect();

    std::uint32_t const relocations = gc::state.node_relocations;
    block::insert(*numbers, *other, -1, false, 2, false);
    block::change(at_index(*numbers, 1), *text, -1, false, 1);
    block::sort(at_index(*numbers, 3), {});
    Rooted deep(block::copy(*holder, nullptr, true, nullptr));
    block::append_cells(*deep, *holder);
    Rooted cloned(*block::clone(*deep, true, true));
    stack::pop(1);
    Cell position = *cloned;
    block::insert_value(position, *text, true, false);
    block::put(*cloned, *text, int_cell(9), false);
    Rooted taken(block::take(*numbers, nullptr, false, true));
    for (std::uint32_t i = 0; i < 2 * gc::history_depth + 2 && gc::state.node_relocations == relocations; ++i)
        gc::collect();
    EXPECT_GT(gc::state.node_relocations, relocations) << "the blocks' frame was emptied";
    EXPECT_EQ(whole(*numbers), "[7 \"x\" 7 1 2 3]");
    EXPECT_EQ(mold_text(*taken), "8");
    EXPECT_EQ(mold_text(*cloned), "[\"x\" 9 \"x\" [[7 \"x\" 7 1 2 3 8] [7 8]] \"x\"]");
}
