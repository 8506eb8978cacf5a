// The handle registry: handles from the free chain, reuse after removal, and growth of the block.

#include "runtime/handle_slots.h"
#include "runtime/memory.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using HandleSlotsTest = RuntimeTest;

SeriesBuffer* block_buffer()
{
    return node::buffer(slots::state.block.word2);
}

Cell value_numbered(std::uint32_t number)
{
    return cell::make(type_ids::integer, 0, number * 7, 0);
}

}

TEST_F(HandleSlotsTest, FreshBlockIsAChainOfFreeCells)
{
    Cell const& block = slots::state.block;
    EXPECT_EQ(cell::type_of(block), type_ids::block);
    EXPECT_EQ(block.word1, 0u);
    SeriesBuffer* buffer = block_buffer();
    EXPECT_EQ(buffer->capacity / sizeof(Cell), 100u);
    EXPECT_EQ(buffer->tail, buffer->capacity);
    EXPECT_EQ(slots::state.free_head, 0);
    for (std::uint32_t i = 0; i < 100; ++i) {
        ASSERT_EQ(cell::type_of(buffer->cells()[i]), type_ids::integer) << i;
        ASSERT_EQ(buffer->cells()[i].word2, i == 99 ? 0xFFFFFFFFu : i + 1) << i;
    }
}

TEST_F(HandleSlotsTest, AddGetRemove)
{
    Cell const first = cell::make(type_ids::block, 3, 4, 5);
    Cell const second = cell::make(type_ids::string, 6, 7, 8);
    EXPECT_EQ(slots::add(first), 1u);
    EXPECT_EQ(slots::add(second), 2u);
    EXPECT_EQ(slots::get(1)->word2, 4u);
    EXPECT_EQ(cell::type_of(*slots::get(2)), type_ids::string);

    slots::remove(0); // no handle: nothing
    EXPECT_EQ(slots::state.free_head, 2);
    slots::remove(1);
    EXPECT_EQ(slots::state.free_head, 0);
    EXPECT_EQ(cell::type_of(*slots::get(1)), type_ids::integer);
    EXPECT_EQ(slots::get(1)->word2, 2u); // chained to the previous free head
    EXPECT_EQ(slots::add(second), 1u);
    EXPECT_EQ(slots::add(first), 3u);
    EXPECT_EQ(slots::get(2)->word3, 8u);
}

// A value that sits in the block itself is copied before the block grows under it.
TEST_F(HandleSlotsTest, TheHundredAndFirstAddGrowsTheBlock)
{
    for (std::uint32_t i = 1; i <= 100; ++i) ASSERT_EQ(slots::add(value_numbered(i)), i);
    EXPECT_EQ(slots::state.free_head, -1);
    EXPECT_EQ(block_buffer()->capacity / sizeof(Cell), 100u);

    EXPECT_EQ(slots::add(*slots::get(50)), 101u);
    SeriesBuffer* buffer = block_buffer();
    EXPECT_EQ(buffer->capacity / 16, 200u);
    EXPECT_EQ(buffer->tail, buffer->capacity);
    EXPECT_EQ(slots::state.free_head, 101);
    for (std::uint32_t i = 1; i <= 100; ++i) ASSERT_EQ(slots::get(i)->word2, i * 7) << i;
    EXPECT_EQ(slots::get(101)->word2, 350u);
    for (std::uint32_t i = 101; i < 200; ++i) {
        ASSERT_EQ(cell::type_of(buffer->cells()[i]), type_ids::integer) << i;
        ASSERT_EQ(buffer->cells()[i].word2, i == 199 ? 0xFFFFFFFFu : i + 1) << i;
    }
    EXPECT_EQ(slots::add(value_numbered(1)), 102u);
}
