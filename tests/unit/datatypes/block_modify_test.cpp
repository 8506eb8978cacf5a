// block!: find, select and put, sort, the modifiers, copy and the set operations.

#include "block_fixture.h"
#include "datatypes/word.h"

using namespace xol;

namespace {

// The index find answers, or -1 for none!.
std::int64_t found_at(Cell const& series, Cell const& value, FindOptions const& options)
{
    Cell const found = block::find(series, value, options);
    if (cell::type_of(found) == type_ids::none) return -1;
    return found.word1;
}

}

TEST_F(BlockTest, FindWithRefinements)
{
    Rooted block(ints({ 1, 2, 3, 1, 2, 3, 4 }));
    Rooted run(ints({ 2, 3 }));
    Rooted nested_run(series_of({ int_cell(5), *run, int_cell(2), int_cell(3) }));
    Rooted empty(ints({}));
    Cell const two = int_cell(2);
    Cell const zero = int_cell(0);
    Cell const three = int_cell(3);
    Cell const integer_type = datatype::make(type_ids::integer);
    Cell const at_four = at_index(*block, 4);
    struct Case {
        Cell series;
        Cell value;
        FindOptions options;
        std::int64_t expected;
    };
    Case const cases[] = {
        { *block, int_cell(3), {}, 2 }, { at_index(*block, 3), int_cell(3), {}, 5 }, { *block, int_cell(9), {}, -1 },
        { at_index(*block, 7), int_cell(4), {}, -1 }, { *block, *run, {}, 1 }, { *block, *run, { .tail = true }, 3 },
        { *block, int_cell(3), { .tail = true }, 3 }, { *block, *run, { .last = true }, 4 },
        { *block, *run, { .last = true, .tail = true }, 6 }, { *block, int_cell(1), { .last = true, .tail = true }, 4 },
        { at_index(*block, 4), int_cell(1), { .reverse = true }, 3 },
        { at_index(*block, 4), int_cell(1), { .reverse = true, .tail = true }, 4 },
        { at_index(*block, 3), *run, { .reverse = true }, 1 }, { at_index(*block, 1), *run, { .reverse = true }, -1 },
        { *block, int_cell(3), { .part = &two }, -1 }, { *block, int_cell(2), { .part = &two }, 1 },
        { *block, int_cell(1), { .part = &zero }, -1 }, { *block, int_cell(2), { .part = &at_four }, 1 },
        { *block, int_cell(1), { .match = true }, 0 }, { *block, int_cell(2), { .match = true }, -1 },
        { *block, int_cell(4), { .skip = &three }, 6 }, { *block, int_cell(2), { .skip = &three }, -1 },
        { *block, int_cell(1), { .skip = &three, .tail = true }, 3 }, // one record further
        { *nested_run, *run, {}, 2 }, { *nested_run, *run, { .only = true }, 1 }, { *block, integer_type, {}, 0 },
        { *block, *empty, {}, -1 }, // an empty run has nothing to match
    };
    for (Case const& c : cases)
        EXPECT_EQ(found_at(c.series, c.value, c.options), c.expected)
            << "find " << mold_text(c.value) << " in " << mold_text(c.series);

    Cell const bad_skip = int_cell(0);
    EXPECT_EQ(raised_by([&] { block::find(*block, int_cell(1), { .skip = &bad_skip }); }), err::script::out_of_range);
    EXPECT_EQ(
        raised_by([&] { block::find(*block, int_cell(1), { .skip = &none_value }); }), err::script::invalid_refine_arg);
    Rooted other(ints({ 1 }));
    EXPECT_EQ(
        raised_by([&] { block::find(*block, int_cell(1), { .part = &*other }); }), err::script::invalid_refine_arg);
}

TEST_F(BlockTest, FindComparesWithCaseAndSameness)
{
    Rooted lower(string::from_utf8("abc"));
    Rooted upper(string::from_utf8("ABC"));
    Rooted block(series_of({ *lower }));
    EXPECT_EQ(found_at(*block, *upper, {}), 0);
    EXPECT_EQ(found_at(*block, *upper, { .case_sensitive = true }), -1);
    EXPECT_EQ(found_at(*block, *lower, { .same = true }), 0);
    Rooted equal_copy(string::from_utf8("abc"));
    EXPECT_EQ(found_at(*block, *equal_copy, { .same = true }), -1);
}

TEST_F(BlockTest, SelectAnswersTheValueAfter)
{
    Rooted block(ints({ 1, 2, 3, 4 }));
    Rooted run(ints({ 2, 3 }));
    EXPECT_EQ(block::select(*block, int_cell(1), {}), int_cell(2));
    EXPECT_EQ(block::select(*block, *run, {}), int_cell(4));
    EXPECT_EQ(block::select(*block, int_cell(4), {}), none_value) << "the last key";
    EXPECT_EQ(block::select(*block, int_cell(7), {}), none_value);
}

TEST_F(BlockTest, PutSetsOrAddsAKey)
{
    Rooted block(ints({ 1, 10, 2, 20 }));
    EXPECT_EQ(block::put(*block, int_cell(2), int_cell(22), false), int_cell(22));
    EXPECT_EQ(whole(*block), "[1 10 2 22]");
    block::put(*block, int_cell(3), int_cell(30), false);
    EXPECT_EQ(whole(*block), "[1 10 2 22 3 30]");
    block::put(*block, int_cell(30), int_cell(4), false);
    EXPECT_EQ(whole(*block), "[1 10 2 22 3 30 4]") << "a key in the last cell gets its value appended";

    Rooted key(ints({ 5 }));
    block::put(*block, *key, int_cell(50), false);
    block::put(*block, *key, int_cell(55), false);
    EXPECT_EQ(whole(*block), "[1 10 2 22 3 30 4 [5] 55]") << "a block key is found again by the next put";
}

TEST_F(BlockTest, SortOrdersRecords)
{
    struct Case {
        std::initializer_list<std::int32_t> numbers;
        std::uint32_t index;
        SortOptions options;
        char const* expected;
    };
    Cell const two = int_cell(2);
    Cell const three = int_cell(3);
    Case const cases[] = {
        { { 3, 1, 2 }, 0, {}, "[1 2 3]" },
        { { 3, 1, 2 }, 0, { .reverse = true }, "[3 2 1]" },
        { { 3, 1, 2 }, 0, { .stable = true }, "[1 2 3]" },
        { { 9, 3, 1, 2 }, 1, {}, "[9 1 2 3]" },
        { { 4, 3, 2, 1 }, 0, { .part = &two }, "[3 4 2 1]" },
        { { 2, 9, 1, 8, 3, 7 }, 0, { .skip = &two }, "[1 8 2 9 3 7]" },
        { { 2, 9, 1, 8, 3, 7 }, 0, { .skip = &two, .compare = &two }, "[3 7 1 8 2 9]" },
        { { 1, 9, 1, 8, 0, 7 }, 0, { .skip = &two, .all = true }, "[0 7 1 8 1 9]" },
        { { 1, 9, 1, 8, 0, 7 }, 0, { .skip = &two, .all = true, .reverse = true }, "[1 9 1 8 0 7]" },
    };
    for (Case const& c : cases) {
        Rooted block(ints(c.numbers));
        Cell const answer = block::sort(at_index(*block, c.index), c.options);
        EXPECT_EQ(answer.word1, c.index);
        EXPECT_EQ(whole(*block), c.expected);
    }

    Rooted back(ints({ 5, 4, 3, 2, 1 }));
    Cell const minus_two = int_cell(-2);
    block::sort(at_index(*back, 3), { .part = &minus_two });
    EXPECT_EQ(whole(*back), "[5 3 4 2 1]") << "a negative /part sorts the cells before the position";

    Rooted four(ints({ 4, 3, 2, 1 }));
    Cell const one = int_cell(1);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .skip = &three }); }), err::script::invalid_refine_arg);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .all = true }); }), err::script::bad_refines);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .skip = &two, .compare = &three }); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .compare = &one }); }), err::script::bad_refines);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .skip = &two, .compare = &none_value }); }),
        err::script::invalid_refine_arg);
    // The error names the refinement, which molds as "/compare".
    Cell const named = errors::last_raised().arguments[0];
    EXPECT_EQ(cell::type_of(named), type_ids::refinement);
    EXPECT_EQ(named.word2, refinement::make("compare").word2);
    EXPECT_EQ(raised_by([&] { block::sort(*four, { .skip = &three }); }), err::script::invalid_refine_arg);
    EXPECT_EQ(errors::last_raised().arguments[0].word2, refinement::make("skip").word2);
}

TEST_F(BlockTest, SortOrdersMixedTypesByTypeThenValue)
{
    Rooted b(string::from_utf8("b"));
    Rooted upper_a(string::from_utf8("A"));
    Rooted block(series_of({ int_cell(2), *b, none_value, *upper_a, int_cell(1) }));
    block::sort(*block, {});
    EXPECT_EQ(whole(*block), "[none \"A\" \"b\" 1 2]");
    block::sort(*block, { .case_sensitive = true, .reverse = true });
    EXPECT_EQ(whole(*block), "[2 1 \"b\" \"A\" none]");
}

TEST_F(BlockTest, AppendAnswersTheHeadAndInsertThePlaceAfter)
{
    Rooted block(ints({ 1, 2, 3 }));
    Rooted pair(ints({ 7, 8 }));
    Cell const appended = block::insert(at_index(*block, 2), *pair, -1, false, 1, true);
    EXPECT_EQ(appended.word1, 0u);
    EXPECT_EQ(whole(*block), "[1 2 3 7 8]");
    Cell const inserted = block::insert(at_index(*block, 1), *pair, -1, false, 1, false);
    EXPECT_EQ(inserted.word1, 3u);
    EXPECT_EQ(whole(*block), "[1 7 8 2 3 7 8]");

    struct Case {
        std::int32_t part;
        bool only;
        std::int32_t dup;
        char const* expected;
    };
    Case const cases[] = {
        { -1, false, 3, "[0 7 8 7 8 7 8]" },
        { -1, true, 1, "[0 [7 8]]" },
        { 1, false, 1, "[0 7]" },
        { 5, false, 1, "[0 7 8]" },
        { -1, false, 6, "[0 7 8 7 8 7 8 7 8 7 8 7 8]" },
        { -1, false, 0, "[0]" },
    };
    for (Case const& c : cases) {
        Rooted target(ints({ 0 }));
        block::insert(*target, *pair, c.part, c.only, c.dup, true);
        EXPECT_EQ(whole(*target), c.expected);
    }
    Rooted self(ints({ 1, 2 }));
    Cell const after = block::insert(at_index(*self, 1), *self, -1, false, 1, false);
    EXPECT_EQ(whole(*self), "[1 1 2 2]");
    EXPECT_EQ(after.word1, 3u);
    Rooted empty(ints({}));
    EXPECT_EQ(block::insert(at_index(*self, 1), *empty, -1, false, 1, false).word1, 1u) << "nothing to insert";
    block::insert(*self, int_cell(5), -1, false, 2, false);
    EXPECT_EQ(whole(*self), "[5 5 1 1 2 2]");

    // A value that shares the target's buffer inserts what a copy of it would.
    struct SelfCase {
        std::uint32_t target_index;
        std::uint32_t value_index;
        std::int32_t part;
        std::int32_t dup;
        bool append;
        char const* expected;
    };
    SelfCase const self_cases[] = {
        { 0, 0, -1, 1, true, "[1 2 3 1 2 3]" },
        { 0, 1, -1, 2, false, "[2 3 2 3 1 2 3]" },
        { 1, 0, 2, 1, false, "[1 1 2 2 3]" },
        { 3, 1, -1, 3, false, "[1 2 3 2 3 2 3 2 3]" },
        { 2, 0, -1, 2, true, "[1 2 3 1 2 3 1 2 3]" },
    };
    for (SelfCase const& c : self_cases) {
        Rooted three(ints({ 1, 2, 3 }));
        block::insert(
            at_index(*three, c.target_index), at_index(*three, c.value_index), c.part, false, c.dup, c.append);
        EXPECT_EQ(whole(*three), c.expected) << "at " << c.target_index << " from " << c.value_index;
    }
}

TEST_F(BlockTest, ChangeOverwritesFromThePosition)
{
    Rooted xy(ints({ 8, 9 }));
    struct Case {
        std::uint32_t index;
        Cell value;
        std::int32_t part;
        bool only;
        std::int32_t dup;
        char const* expected;
        std::uint32_t answer;
    };
    Case const cases[] = {
        { 0, *xy, -1, false, 1, "[8 9 3]", 2 },
        { 0, *xy, 1, false, 1, "[8 9 2 3]", 2 },
        { 1, int_cell(5), 2, false, 1, "[1 5]", 2 },
        { 2, *xy, -1, false, 1, "[1 2 8 9]", 4 },
        { 3, *xy, -1, false, 1, "[1 2 3 8 9]", 5 },
        { 0, *xy, -1, true, 1, "[[8 9] 2 3]", 1 },
        { 0, int_cell(0), -1, false, 2, "[0 0 3]", 2 },
        { 1, *xy, 0, false, 1, "[1 8 9 2 3]", 3 },
    };
    for (Case const& c : cases) {
        Rooted block(ints({ 1, 2, 3 }));
        Cell const answer = block::change(at_index(*block, c.index), c.value, c.part, c.only, c.dup);
        EXPECT_EQ(whole(*block), c.expected);
        EXPECT_EQ(answer.word1, c.answer);
    }
    Rooted self(ints({ 1, 2, 3 }));
    block::change(at_index(*self, 1), *self, -1, false, 1);
    EXPECT_EQ(whole(*self), "[1 1 2 3]");
}

TEST_F(BlockTest, SwapAndTrim)
{
    Rooted first(ints({ 1, 2 }));
    Rooted second(ints({ 3, 4 }));
    block::swap(at_index(*first, 1), *second);
    EXPECT_EQ(whole(*first), "[1 3]");
    EXPECT_EQ(whole(*second), "[2 4]");
    block::swap(at_index(*first, 2), *second);
    EXPECT_EQ(whole(*first), "[1 3]") << "a series at its tail swaps nothing";
    Rooted text(string::from_utf8("ab"));
    EXPECT_EQ(raised_by([&] { block::swap(*first, *text); }), err::script::invalid_arg);

    Rooted holes(series_of({ int_cell(1), none_value, int_cell(2), none_value }));
    block::trim(*holes, {});
    EXPECT_EQ(whole(*holes), "[1 2]");
}

TEST_F(BlockTest, CopyDeepCopiesNestedSeries)
{
    Rooted inner(ints({ 1 }));
    Rooted text(string::from_utf8("t"));
    Rooted outer(series_of({ *inner, *text, int_cell(2) }));
    Rooted shallow(block::copy(*outer, nullptr, false, nullptr));
    EXPECT_EQ(block::rs_head(*shallow)->word2, inner->word2);
    Rooted deep(block::copy(*outer, nullptr, true, nullptr));
    EXPECT_NE(block::rs_abs_at(*deep, 0)->word2, inner->word2);
    EXPECT_NE(block::rs_abs_at(*deep, 1)->word2, text->word2);
    EXPECT_EQ(mold_text(*deep), "[[1] \"t\" 2]");

    Cell const block_type = datatype::make(type_ids::block);
    Rooted typed(block::copy(*outer, nullptr, false, &block_type));
    EXPECT_NE(block::rs_abs_at(*typed, 0)->word2, inner->word2);
    EXPECT_EQ(block::rs_abs_at(*typed, 1)->word2, text->word2) << "only the named type is copied";

    Rooted self(ints({ 1 }));
    block::rs_append(*self, *self);
    EXPECT_EQ(raised_by([&] { block::copy(*self, nullptr, true, nullptr); }), err::internal::no_cycle);
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(BlockTest, SetOperations)
{
    Rooted repeated(ints({ 1, 2, 1, 3, 2 }));
    Rooted left(ints({ 1, 2, 3 }));
    Rooted right(ints({ 2, 3, 4 }));
    EXPECT_EQ(mold_text(block::do_set_op(*repeated, nullptr, false, nullptr, MathOp::Unique)), "[1 2 3]");
    EXPECT_EQ(mold_text(block::do_set_op(*left, &*right, false, nullptr, MathOp::Union)), "[1 2 3 4]");
    EXPECT_EQ(mold_text(block::do_set_op(*left, &*right, false, nullptr, MathOp::Intersect)), "[2 3]");
    EXPECT_EQ(mold_text(block::do_set_op(*left, &*right, false, nullptr, MathOp::Exclude)), "[1]");
    EXPECT_EQ(mold_text(block::do_set_op(*left, &*right, false, nullptr, MathOp::Difference)), "[1 4]");

    Rooted records(ints({ 1, 10, 2, 20, 1, 30 }));
    Cell const two = int_cell(2);
    EXPECT_EQ(mold_text(block::do_set_op(*records, nullptr, false, &two, MathOp::Unique)), "[1 10 2 20]");
    Cell const zero = int_cell(0);
    EXPECT_EQ(raised_by([&] { block::do_set_op(*records, nullptr, false, &zero, MathOp::Unique); }),
        err::script::invalid_refine_arg);
    Rooted paren(as_type(*right, type_ids::paren));
    EXPECT_EQ(mold_text(block::do_set_op(*paren, nullptr, false, nullptr, MathOp::Unique)), "(2 3 4)");
    EXPECT_EQ(mold_text(block::do_set_op(*left, &*paren, false, nullptr, MathOp::Union)), "[1 2 3 4]");
    EXPECT_EQ(mold_text(block::do_set_op(*paren, &*left, false, nullptr, MathOp::Union)), "(2 3 4 1)")
        << "two types answer the first argument's";
}
