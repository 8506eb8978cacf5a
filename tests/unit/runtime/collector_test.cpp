// The collector: what survives, what is reclaimed, compaction that moves buffers under the values and
// pinned addresses that refer to them, node relocation, and a soak against a shadow copy.

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "datatypes/context.h"
#include "runtime/collector.h"
#include "runtime/extres.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

// These tests decide when collections run: the stress switch would collect in the middle of their set-ups.
struct CollectorTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        gc::state.stress = false;
        gc::collect(); // what start-up left unreferenced goes first, so that counts start from live nodes
    }
};

Cell integer(std::uint32_t value)
{
    return cell::make(type_ids::integer, 0, value);
}

Cell make_block(std::uint32_t capacity)
{
    return cell::make(type_ids::block, 0, series::alloc_cells(capacity));
}

void append(Cell const& block, Cell const& value)
{
    Rooted item(value);
    Rooted target(block);
    *series::append_cell_raw(target->word2) = *item;
}

std::uint32_t live_nodes()
{
    std::uint32_t used = 0;
    for (auto* frame = memory::state.node_head; frame; frame = frame->next) used += frame->used;
    return used;
}

}

TEST_F(CollectorTest, RootedValuesSurviveAndOthersAreReclaimed)
{
    Rooted kept(make_block(4));
    append(*kept, integer(7));
    std::uint32_t const before = live_nodes();
    for (int i = 0; i < 100; ++i) make_block(8); // garbage
    EXPECT_EQ(live_nodes(), before + 100);
    gc::collect();
    EXPECT_EQ(live_nodes(), before) << "the unreferenced blocks' nodes are free again";
    EXPECT_EQ(node::buffer(kept->word2)->length(), 1u);
    EXPECT_EQ(node::buffer(kept->word2)->cells()[0].word2, 7u);
}

TEST_F(CollectorTest, TheValueStackIsARootUntilPopped)
{
    stack::push(make_block(2));
    std::uint32_t const with_block = live_nodes();
    gc::collect();
    EXPECT_EQ(live_nodes(), with_block);
    stack::pop(1);
    gc::collect();
    EXPECT_EQ(live_nodes(), with_block - 1);
}

TEST_F(CollectorTest, CompactionMovesBuffersUnderTheirValuesAndPinnedAddresses)
{
    make_block(100); // dead, before the live one: compaction slides the live block down over it
    Rooted live(make_block(8));
    for (std::uint32_t i = 0; i < 5; ++i) append(*live, integer(i * 10));
    SeriesBuffer* before = node::buffer(live->word2);
    Pinned<Cell> third(before->cells() + 2);

    gc::collect();
    SeriesBuffer* after = node::buffer(live->word2);
    EXPECT_LT(after, before) << "the live buffer slid into the dead one's place";
    EXPECT_EQ(after->node, live->word2);
    EXPECT_EQ(after->length(), 5u);
    EXPECT_EQ(third.get(), after->cells() + 2) << "the pinned address moved with its buffer";
    EXPECT_EQ(third->word2, 20u);
}

TEST_F(CollectorTest, DeadFramesAreReturnedButTheLast)
{
    gc::state.enabled = false; // let the garbage pile up over several frames
    for (int i = 0; i < 40; ++i) series::alloc_bytes(100'000);
    gc::state.enabled = true;
    std::uint32_t frames = 0;
    for (auto* frame = memory::state.series_head; frame; frame = frame->next) ++frames;
    ASSERT_GT(frames, 1u);
    gc::collect();
    frames = 0;
    for (auto* frame = memory::state.series_head; frame; frame = frame->next) ++frames;
    EXPECT_EQ(frames, 1u) << "only the last frame stays, even when empty of live buffers";
}

TEST_F(CollectorTest, DisabledCollectorMakesANewFrameInstead)
{
    gc::state.enabled = false;
    std::uint32_t const collections = gc::state.collections;
    for (int i = 0; i < 40; ++i) series::alloc_bytes(100'000);
    EXPECT_EQ(gc::state.collections, collections);
    gc::state.enabled = true;
}

// While a hold lives no allocation collects, even under stress, so a buffer stays where it is; holds nest,
// and allocation collects again once the last is gone.
TEST_F(CollectorTest, AHoldKeepsBuffersInPlace)
{
    gc::state.stress = true;
    make_block(100); // dead, before the live one: a collection may slide the live block down
    Rooted live(make_block(8));
    SeriesBuffer* const before = node::buffer(live->word2);
    std::uint32_t const collections = gc::state.collections;
    {
        gc::CollectionHold const outer;
        {
            gc::CollectionHold const inner;
            series::alloc_bytes(100);
        }
        for (int i = 0; i < 40; ++i) series::alloc_bytes(100'000);
        EXPECT_EQ(gc::state.collections, collections);
        EXPECT_EQ(node::buffer(live->word2), before);
    }
    series::alloc_bytes(100);
    gc::state.stress = false;
    EXPECT_EQ(gc::state.collections, collections + 1) << "the first allocation after the hold collects";
}

// Marking follows references with its own work stack: a chain far deeper than any C++ stack would allow.
TEST_F(CollectorTest, MarksAMillionNestedBlocks)
{
    Rooted outer(make_block(1));
    gc::state.enabled = false; // built without collecting, even under stress: one collection is the test
    {
        Rooted inner(*outer);
        for (int depth = 0; depth < 1'000'000; ++depth) {
            Rooted next(make_block(1));
            append(*inner, *next);
            *inner = *next;
        }
    }
    gc::state.enabled = true;
    gc::collect();
    std::uint32_t depth = 0;
    for (Cell block = *outer; node::buffer(block.word2)->length() == 1; ++depth)
        block = node::buffer(block.word2)->cells()[0];
    EXPECT_EQ(depth, 1'000'000u);
}

TEST_F(CollectorTest, ContextsWithValuesOnTheStackMarkNoValueSeries)
{
    // A context whose values live on the value stack: its word 2 is a stack index, never a node, even when
    // the number happens to be a live node's id.
    Rooted context_value(cell::make(type_ids::none));
    NodeId const context = context::make(4, true, false, no_node, context::Kind::Plain);
    context_value->header = type_ids::word; // a word bound to the context keeps it alive
    context_value->word1 = context;
    NodeId const values = series::alloc_cells(4);
    node::buffer(context)->cells()[0].word2 = values;
    std::uint32_t const before = live_nodes();
    gc::collect();
    EXPECT_EQ(live_nodes(), before - 1) << "only the value series was unreachable";
    EXPECT_FALSE(node::is_free(context_value->word1));
    EXPECT_FALSE(node::is_free(node::buffer(context_value->word1)->cells()[0].word1));
}

TEST_F(CollectorTest, HandlesKeepTheirExternalResources)
{
    static int released;
    released = 0;
    std::uint32_t const kind = extres::register_kind("test", [](void*) { ++released; });
    std::int32_t const slot = extres::add(&released, kind);
    Rooted handle(cell::make(type_ids::handle, 0, 0, static_cast<std::uint32_t>(slot)));
    Rooted none_handle(cell::make(type_ids::handle, 0, 0, static_cast<std::uint32_t>(-1))); // marks nothing
    gc::collect();
    EXPECT_EQ(released, 0);
    *handle = cell::make(type_ids::none);
    gc::collect();
    EXPECT_EQ(released, 1);
}

// Frames whose use is stable and low are emptied into others; every value sees its node rewritten.
TEST_F(CollectorTest, NodeRelocationRewritesEveryReference)
{
    Rooted holder(make_block(16));
    // Fill the current node frame, so that the survivors sit in a frame of their own, and a fresh one.
    std::vector<NodeId> garbage;
    while (memory::state.node_current->free_head != no_node) garbage.push_back(node::alloc());
    for (std::uint32_t i = 0; i < 100; ++i) {
        Rooted block(make_block(1));
        append(*block, integer(i));
        append(*holder, *block);
    }
    for (NodeId node : garbage) node::free(node);
    std::uint32_t const relocations = gc::state.node_relocations;
    for (std::uint32_t i = 0; i < gc::history_depth + 3; ++i) gc::collect();
    EXPECT_GT(gc::state.node_relocations, relocations) << "a stable, sparse frame was emptied";
    SeriesBuffer* buffer = node::buffer(holder->word2);
    ASSERT_EQ(buffer->length(), 100u);
    for (std::uint32_t i = 0; i < 100; ++i) {
        Cell const inner = node::buffer(holder->word2)->cells()[i];
        EXPECT_FALSE(node::is_free(inner.word2));
        EXPECT_EQ(node::buffer(inner.word2)->node, inner.word2);
        EXPECT_EQ(node::buffer(inner.word2)->cells()[0].word2, i);
    }
}

TEST_F(CollectorTest, CountsCollections)
{
    std::uint32_t const collections = gc::state.collections;
    gc::collect();
    EXPECT_EQ(gc::state.collections, collections + 1);
}

// Random blocks and byte strings, nested and mutated, collected often: every survivor matches its shadow.
TEST_F(CollectorTest, SoakAgainstAShadowCopy)
{
    std::mt19937 random(12345);
    Rooted table(make_block(64)); // slot i holds the value whose shadow is shadows[i]
    struct Shadow {
        bool is_block;
        std::vector<std::uint32_t> contents; // integers, or bytes
    };
    std::vector<Shadow> shadows;
    auto check = [&] {
        for (std::uint32_t i = 0; i < shadows.size(); ++i) {
            Cell const value = node::buffer(table->word2)->cells()[i];
            SeriesBuffer* buffer = node::buffer(value.word2);
            ASSERT_EQ(buffer->node, value.word2);
            if (shadows[i].is_block) {
                ASSERT_EQ(buffer->length(), shadows[i].contents.size());
                for (std::uint32_t k = 0; k < shadows[i].contents.size(); ++k)
                    ASSERT_EQ(buffer->head_cell()[k].word2, shadows[i].contents[k]);
            } else {
                ASSERT_EQ(buffer->length(), shadows[i].contents.size());
                for (std::uint32_t k = 0; k < shadows[i].contents.size(); ++k)
                    ASSERT_EQ(std::to_integer<std::uint32_t>(buffer->head_address()[k]), shadows[i].contents[k]);
            }
        }
    };
    for (int step = 0; step < 4000; ++step) {
        std::uint32_t const choice = random() % 10;
        if (choice < 3 || shadows.empty()) {
            bool const is_block = random() % 2;
            Rooted value(is_block ? make_block(random() % 8)
                                  : cell::make(type_ids::binary, 0, series::alloc_bytes(random() % 64)));
            append(*table, *value);
            shadows.push_back({ is_block, {} });
        } else if (choice < 8) {
            std::uint32_t const i = random() % static_cast<std::uint32_t>(shadows.size());
            Rooted value(node::buffer(table->word2)->cells()[i]);
            std::uint32_t const item = random() % 256;
            if (shadows[i].is_block)
                *series::append_cell_raw(value->word2) = integer(item);
            else
                *series::append_bytes(value->word2, 1) = std::byte(item);
            shadows[i].contents.push_back(item);
        } else if (choice < 9) {
            for (int i = 0; i < 20; ++i) make_block(random() % 32); // garbage
        } else {
            gc::collect();
            check();
        }
    }
    gc::collect();
    check();
}

// Garbage alone, in frames and in big buffers: allocation keeps collecting it, and what the memory manager
// holds stays within the live data, the budget and one request, however much is allocated.
TEST_F(CollectorTest, GarbageIsCollectedWithinABoundedFootprint)
{
    struct Case {
        char const* what;
        std::uint64_t bytes; // of one request
        int count;
    };
    Case const cases[] = {
        { "frame buffers", 100'000, 3'000 },
        { "big buffers", 5'000'000, 200 },
    };
    for (Case const& c : cases) {
        gc::collect();
        std::uint64_t const live = memory::series_bytes_in_use();
        std::uint32_t const collections = gc::state.collections;
        std::uint64_t largest = 0;
        for (int i = 0; i < c.count; ++i) {
            series::alloc_bytes(c.bytes);
            largest = std::max(largest, memory::series_bytes_in_use());
        }
        std::uint64_t const allocated = c.bytes * static_cast<std::uint64_t>(c.count);
        EXPECT_GE(gc::state.collections - collections, allocated / (2 * gc::budget_after(live))) << c.what;
        // A frame's worth of slack: a collection that is due waits for a request that finds no room.
        EXPECT_LE(largest, live + gc::budget_after(live) + 2 * c.bytes + memory::largest_series_frame_size) << c.what;
    }
}

// A live set that only grows: collections come at budgets that grow with it, so their number grows with
// the logarithm of its size, not with the frames it fills (64 MB in 2 MB frames would be 32 and more).
TEST_F(CollectorTest, AGrowingLiveSetIsMarkedAFewTimes)
{
    gc::collect();
    Rooted holder(make_block(16));
    std::uint32_t const collections = gc::state.collections;
    for (int i = 0; i < 65'536; ++i) append(*holder, cell::make(type_ids::binary, 0, series::alloc_bytes(1'000)));
    std::uint32_t const made = gc::state.collections - collections;
    EXPECT_GE(made, 1u) << "the budget's floor was passed";
    EXPECT_LE(made, 10u);
    EXPECT_EQ(node::buffer(holder->word2)->length(), 65'536u);
}

// A collection starts a new count of allocated bytes against a budget of half the live data it left,
// never below the floor; one that reclaimed less than half of what was allocated waits for as much again as
// is live.
TEST_F(CollectorTest, TheBudgetFollowsTheLiveData)
{
    gc::collect();
    EXPECT_EQ(gc::state.allocated, 0u);
    EXPECT_GE(gc::state.budget, gc::smallest_budget);
    Rooted big(cell::make(type_ids::binary, 0, series::alloc_bytes(100'000'000)));
    gc::collect();
    EXPECT_GE(gc::state.budget, 100'000'000u) << "nothing reclaimed: all the live data, above the floor";
    series::alloc_bytes(1'000);
    EXPECT_GE(gc::state.allocated, 1'000u);
    for (int i = 0; i < 100; ++i) series::alloc_bytes(500'000); // garbage
    gc::collect();
    EXPECT_GE(gc::state.budget, 50'000'000u) << "garbage reclaimed: half the live data";
    EXPECT_LT(gc::state.budget, 60'000'000u);

    struct Case {
        std::uint64_t live, allocated, reclaimed, budget;
    };
    Case const cases[] = {
        { 100'000'000, 0, 0, 50'000'000 }, // no count yet
        { 100'000'000, 40'000'000, 40'000'000, 50'000'000 },
        { 100'000'000, 40'000'000, 20'000'000, 50'000'000 }, // a half
        { 100'000'000, 40'000'000, 19'999'999, 100'000'000 },
        { 100'000'000, 40'000'000, 5'000'000, 100'000'000 },
        { 1'000'000, 40'000'000, 0, gc::smallest_budget },
    };
    for (Case const& c : cases)
        EXPECT_EQ(gc::budget_after(c.live, c.allocated, c.reclaimed), c.budget) << c.live << " " << c.reclaimed;
}
