// block!: the sort of a comparator that may run any code. Random, inconsistent, raising and meddling
// comparators must leave the series a permutation of its records (or as the comparator left it) and never
// touch memory they should not: the suite runs under AddressSanitizer and, a second time, with every
// allocation collecting.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "block_fixture.h"
#include "runtime/services.h"

using namespace xol;

namespace {

std::vector<std::int32_t> numbers_of(Cell const& block)
{
    std::vector<std::int32_t> numbers;
    for (std::uint32_t i = 0; i < block::rs_length_q(block); ++i)
        numbers.push_back(integer::get(block::rs_head(block)[i]));
    return numbers;
}

Cell random_block(std::mt19937& generator, std::uint32_t count)
{
    std::uniform_int_distribution<std::int32_t> any(0, 20);
    std::vector<Cell> cells;
    for (std::uint32_t i = 0; i < count; ++i) cells.push_back(int_cell(any(generator)));
    Cell made;
    block::make_from_run(made, cells.data(), static_cast<std::uint32_t>(cells.size()), type_ids::block);
    return made;
}

std::vector<std::int32_t> sorted_copy(std::vector<std::int32_t> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

}

// A consistent comparator sorts like the standard library; records of two cells move whole, stably.
TEST_F(BlockTest, SortByConsistentComparatorSorts)
{
    std::mt19937 generator(6);
    for (std::uint32_t count : { 0u, 1u, 2u, 7u, 30u, 200u }) {
        for (bool stable : { false, true }) {
            Rooted block(random_block(generator, count));
            std::vector<std::int32_t> const before = numbers_of(*block);
            block::sort_by(*block, 0, count, 1, stable,
                [](Cell const* a, Cell const* b, std::uint32_t) { return integer::get(*a) - integer::get(*b); });
            EXPECT_EQ(numbers_of(*block), sorted_copy(before)) << count << (stable ? " stable" : " quick");
        }
    }
    Rooted pairs(ints({ 2, 1, 1, 2, 2, 3, 1, 4 }));
    block::sort_by(*pairs, 0, 4, 2, true, [](Cell const* a, Cell const* b, std::uint32_t size) {
        EXPECT_EQ(size, 2u);
        return integer::get(a[0]) - integer::get(b[0]);
    });
    EXPECT_EQ(whole(*pairs), "[1 2 1 4 2 1 2 3]") << "equal keys keep their order";
}

// Random answers, answers that depend on nothing, and answers out of the -1..1 range: the series ends as a
// permutation of what it was, every time.
TEST_F(BlockTest, SortByInconsistentComparatorKeepsEveryRecord)
{
    std::mt19937 generator(66);
    for (int round = 0; round < 60; ++round) {
        std::uint32_t const count = std::uniform_int_distribution<std::uint32_t>(2, 300)(generator);
        Rooted block(random_block(generator, count));
        std::vector<std::int32_t> const before = numbers_of(*block);
        std::uniform_int_distribution<std::int32_t> answer(-3, 3);
        block::sort_by(*block, 0, count, 1, round % 2 == 0, [&](Cell const*, Cell const*, std::uint32_t) {
            return answer(generator) * (round % 3 == 0 ? 1000000 : 1);
        });
        EXPECT_EQ(sorted_copy(numbers_of(*block)), sorted_copy(before)) << "round " << round;
    }
}

// An error midway leaves the series as it was and frees the scratch (the leak checker sees it otherwise).
TEST_F(BlockTest, SortByRaisingComparatorLeavesTheSeries)
{
    for (bool stable : { false, true }) {
        std::mt19937 generator(7);
        Rooted block(random_block(generator, 100));
        std::vector<std::int32_t> const before = numbers_of(*block);
        int calls = 0;
        EXPECT_EQ(raised_by([&] {
            block::sort_by(*block, 0, 100, 1, stable, [&](Cell const* a, Cell const* b, std::uint32_t) {
                if (++calls == 150) fire_error(err::script::invalid_arg, a);
                return integer::get(*a) - integer::get(*b);
            });
        }),
            err::script::invalid_arg);
        EXPECT_EQ(numbers_of(*block), before);
    }
}

// A comparator that allocates (with the stress switch every allocation collects and moves buffers) and one
// that changes the series: growing or clearing it, or rewriting its cells in place.
TEST_F(BlockTest, SortByMeddlingComparatorIsMemorySafe)
{
    std::mt19937 generator(8);
    Rooted block(random_block(generator, 64));
    std::vector<std::int32_t> const before = numbers_of(*block);
    block::sort_by(*block, 0, 64, 1, true, [&](Cell const* a, Cell const* b, std::uint32_t) {
        std::int32_t const order = integer::get(*a) - integer::get(*b); // read before allocating
        Rooted garbage(ints({ 1, 2, 3 }));
        block::rs_append(*garbage, int_cell(4));
        return order;
    });
    EXPECT_EQ(numbers_of(*block), sorted_copy(before)) << "allocating comparators still sort";

    Rooted growing(random_block(generator, 40));
    block::sort_by(*growing, 0, 40, 1, false, [&](Cell const*, Cell const*, std::uint32_t) {
        block::rs_append(*growing, int_cell(-1));
        return 1;
    });
    EXPECT_GT(block::rs_length_q(*growing), 40u) << "a changed length is left as the comparator made it";

    Rooted clearing(random_block(generator, 40));
    block::sort_by(*clearing, 0, 40, 1, true, [&](Cell const*, Cell const*, std::uint32_t) {
        block::clear_at_index(*clearing);
        return -1;
    });
    EXPECT_EQ(block::rs_length_q(*clearing), 0u);

    Rooted rewriting(ints({ 5, 4, 3, 2, 1 }));
    block::sort_by(*rewriting, 0, 5, 1, false, [&](Cell const* a, Cell const* b, std::uint32_t) {
        std::int32_t const order = integer::get(*a) - integer::get(*b);
        block::rs_head(*rewriting)[0] = int_cell(99);
        return order;
    });
    EXPECT_EQ(whole(*rewriting), "[1 2 3 4 5]") << "same node and length: the sorted copy is written back";
}

// A function! comparator goes through the same sort; with a stand-in evaluator that cannot call functions
// the first comparison raises not-done, and the block is left as it was. (Scripts test the calls themselves.)
TEST_F(BlockTest, SortWithFunctionComparatorLeavesTheBlockOnError)
{
    struct WithoutEvaluator {
        decltype(services.call_function) saved = services.call_function;
        WithoutEvaluator()
        {
            services.call_function
                = [](Cell const&, NodeId, Cell const&, std::uint32_t) { fire_error(err::internal::not_done); };
        }
        ~WithoutEvaluator() { services.call_function = saved; }
    } const without_evaluator;
    Rooted block(ints({ 3, 1, 2 }));
    Cell const function = cell::make(type_ids::function, no_node, 0, 0);
    EXPECT_EQ(raised_by([&] { block::sort(*block, { .compare = &function }); }), err::internal::not_done);
    EXPECT_EQ(whole(*block), "[3 1 2]");
    Rooted one(ints({ 3 }));
    EXPECT_EQ(block::sort(*one, { .compare = &function }), *one) << "a single record needs no comparison";
}

TEST_F(BlockTest, FunctionAnswersMapToOrders)
{
    struct Case {
        Cell answer;
        std::int32_t order;
    };
    Case const cases[] = {
        { logic::make(true), 1 },
        { logic::make(false), -1 },
        { int_cell(-7), -7 },
        { int_cell(0), 0 },
        { float_::make(0.5), 1 },
        { float_::make(-0.5), -1 },
        { float_::make(0.0), 0 },
        { float_::make(std::numeric_limits<double>::quiet_NaN()), 0 },
        { none_value, -1 },
        { unset_value, 1 },
    };
    for (Case const& c : cases)
        EXPECT_EQ(block::function_order(c.answer), c.order) << "answer type " << int { cell::type_of(c.answer) };
}
