// The memory manager: node frames, series frames, big buffers, growth and the size checks.

#include <cstring>
#include <limits>

#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/series.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

// The allocator alone: no collection reclaims what these tests leave unrooted.
struct MemoryTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        gc::state.enabled = false;
    }
};

// Takes every free slot of the frame.
void fill_node_frame(memory::NodeFrame* frame)
{
    memory::state.node_current = frame;
    while (frame->free_head != no_node) node::alloc();
}

std::uint32_t series_frame_count()
{
    std::uint32_t count = 0;
    for (auto* frame = memory::state.series_head; frame; frame = frame->next) ++count;
    return count;
}

}

TEST_F(MemoryTest, ZeroSizedRequests)
{
    EXPECT_EQ(node::buffer(series::alloc_bytes(0))->capacity, 16u);
    EXPECT_EQ(node::buffer(series::alloc_cells(0))->capacity, 0u);
    for (std::uint32_t unit : { 1u, 2u, 4u }) {
        SeriesBuffer* buffer = node::buffer(series::alloc_units(0, unit));
        EXPECT_EQ(buffer->capacity, 16u) << "unit " << unit;
        EXPECT_EQ(buffer->unit(), unit);
    }
}

TEST_F(MemoryTest, FreshBufferHeader)
{
    NodeId const id = series::alloc_with_node(5, 2);
    SeriesBuffer* buffer = node::buffer(id);
    EXPECT_EQ(buffer->flags, 2u | series_flags::in_use | series_flags::managed);
    EXPECT_EQ(buffer->node, id);
    EXPECT_EQ(buffer->capacity, 16u); // 10 bytes rounded up to 16
    EXPECT_EQ(buffer->head, 0u);
    EXPECT_EQ(buffer->tail, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer->data()) % 8, 0u) << "data areas are 8-byte aligned";
}

// 131,071 cells and the buffer overhead reach the threshold; one cell fewer stays in the frames.
TEST_F(MemoryTest, BigBufferThreshold)
{
    SeriesBuffer* first_big = node::buffer(series::alloc_cells(131'071));
    EXPECT_TRUE(first_big->flags & series_flags::big);
    SeriesBuffer* second_big = node::buffer(series::alloc_cells(200'000));
    EXPECT_EQ(memory::state.big_head->buffer(), first_big);
    EXPECT_EQ(memory::state.big_tail->buffer(), second_big) << "a new big buffer goes to the end of the list";

    SeriesBuffer* framed = node::buffer(series::alloc_cells(131'070));
    EXPECT_FALSE(framed->flags & series_flags::big);
}

TEST_F(MemoryTest, SeriesFrameSizes)
{
    series::alloc_bytes(1000);
    ASSERT_EQ(series_frame_count(), 1u);
    auto* first = memory::state.series_head;
    EXPECT_EQ(first->end - first->start(), 0x100000);

    // Fill past the first frame twice: every later frame holds 2 MiB.
    for (int i = 0; i < 3; ++i) series::alloc_bytes(900'000);
    ASSERT_GE(series_frame_count(), 2u);
    for (auto* frame = memory::state.series_head; frame; frame = frame->next) {
        if (frame != first) {
            EXPECT_EQ(frame->end - frame->start(), 0x200000);
        }
    }
    for (auto* frame = memory::state.series_head; frame && frame->next; frame = frame->next)
        EXPECT_LT(frame, frame->next) << "frames are listed in address order";
}

TEST_F(MemoryTest, OsTotalFollowsFramesAndBigBuffers)
{
    series::alloc_bytes(10);
    std::uint64_t const with_frames = memory::state.os_total;
    EXPECT_GT(with_frames, 0x100000u);
    NodeId const big = series::alloc_bytes(3'000'000);
    EXPECT_GE(memory::state.os_total, with_frames + 3'000'000);
    big_buffer::release(node::buffer(big));
    EXPECT_EQ(memory::state.os_total, with_frames);
}

// Sizes are checked in 64 bits: a request that cannot fit raises no-memory instead of wrapping.
TEST_F(MemoryTest, OversizedRequestsRaiseNoMemory)
{
    struct Case {
        std::uint64_t count;
        std::uint32_t unit;
    };
    Case const cases[] = {
        { std::numeric_limits<std::uint64_t>::max(), 16 },
        { std::uint64_t { 1 } << 60, 16 }, // count x unit wraps to 0 in 64 bits
        { 0x1'0000'0000, 1 }, // wraps to 0 in 32 bits
        { 0x1000'0001, 16 }, // wraps to 16 in 32 bits
        { memory::max_capacity + 1, 1 },
    };
    for (auto const& c : cases)
        EXPECT_EQ(raised_by([&] { series::alloc_with_node(c.count, c.unit); }), err::internal::no_memory)
            << c.count << " x " << c.unit;
}

TEST_F(MemoryTest, ExpandDoublesAndRetiresTheOldBuffer)
{
    NodeId const id = series::alloc_cells(4);
    for (int i = 0; i < 4; ++i) series::append_cell_raw(id)->word2 = static_cast<std::uint32_t>(i);
    SeriesBuffer* old_buffer = node::buffer(id);
    ASSERT_EQ(old_buffer->tail, old_buffer->capacity);

    Cell* appended = series::append_cell_raw(id);
    SeriesBuffer* new_buffer = node::buffer(id);
    EXPECT_NE(new_buffer, old_buffer);
    EXPECT_EQ(new_buffer->capacity, 128u);
    EXPECT_EQ(new_buffer->node, id);
    EXPECT_EQ(appended, new_buffer->cells() + 4) << "the appended cell lies in the new buffer";
    EXPECT_EQ(cell::type_of(*appended), type_ids::unset);
    EXPECT_EQ(new_buffer->length(), 5u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(new_buffer->cells()[i].word2, i);
    EXPECT_EQ(old_buffer->node, no_node);
    EXPECT_FALSE(old_buffer->is_in_use());
}

TEST_F(MemoryTest, ExpandKeepsDataFromTheHeadAndTheLength)
{
    NodeId const id = series::alloc_bytes(32);
    std::memcpy(series::append_bytes(id, 20), "abcdefghijklmnopqrst", 20);
    node::buffer(id)->head = 5; // a series whose head moved on
    SeriesBuffer* grown = series::expand(id, 0);
    EXPECT_EQ(grown->capacity, 64u);
    EXPECT_EQ(grown->length(), 15u);
    EXPECT_EQ(std::memcmp(grown->head_address(), "fghijklmnopqrst", 15), 0);

    SeriesBuffer* filled = series::expand_filled(id, 100, std::byte { '*' });
    EXPECT_EQ(std::memcmp(filled->head_address(), "fghijklmnopqrst", 15), 0);
    for (std::uint32_t i = 64; i < filled->capacity; ++i) EXPECT_EQ(filled->data()[i], std::byte { '*' });
}

// A big buffer grows in its own OS block: the node keeps it, its data stay (from the head on), the
// block stays listed once, and the OS total counts the new size. Nothing is retired for the collector.
TEST_F(MemoryTest, BigBuffersGrowInTheirOwnBlock)
{
    struct Case {
        char const* what;
        std::uint32_t head; // bytes the head moved on before growing
        std::uint64_t bytes; // asked of expand (0 doubles)
    };
    Case const cases[] = {
        { "doubled", 0, 0 },
        { "to a size", 0, 7'000'000 },
        { "with its head moved on", 4'096, 0 },
    };
    for (Case const& c : cases) {
        NodeId const id = series::alloc_bytes(3'000'000);
        SeriesBuffer* buffer = node::buffer(id);
        ASSERT_TRUE(buffer->flags & series_flags::big) << c.what;
        for (std::uint32_t i = 0; i < buffer->capacity; ++i) buffer->data()[i] = std::byte(i * 7 % 251);
        buffer->tail = buffer->capacity;
        buffer->head = c.head;
        std::uint32_t const old_capacity = buffer->capacity;
        std::uint64_t const os_total = memory::state.os_total;
        std::uint32_t const unit_flags = buffer->flags;

        SeriesBuffer* grown = series::expand(id, c.bytes);
        EXPECT_EQ(node::buffer(id), grown) << c.what;
        EXPECT_EQ(grown->node, id) << c.what;
        EXPECT_EQ(grown->flags, unit_flags) << c.what;
        EXPECT_EQ(grown->capacity, c.bytes ? c.bytes : 2u * old_capacity) << c.what;
        EXPECT_EQ(grown->head, 0u) << c.what;
        EXPECT_EQ(grown->tail, old_capacity - c.head) << c.what;
        bool same = true;
        for (std::uint32_t i = 0; i < grown->tail; ++i)
            same = same && grown->data()[i] == std::byte((i + c.head) * 7 % 251);
        EXPECT_TRUE(same) << c.what << ": the data from the head on";
        // Whole pages: the old block's last page may already have held part of the growth.
        EXPECT_GE(memory::state.os_total + 4096, os_total + (grown->capacity - old_capacity)) << c.what;

        int listed = 0;
        for (auto* block = memory::state.big_head; block; block = block->next) listed += block->buffer() == grown;
        EXPECT_EQ(listed, 1) << c.what;
        EXPECT_EQ(memory::state.big_tail->buffer(), grown) << c.what << ": the newest block stays last";
        std::memset(grown->tail_address(), 1, grown->capacity - grown->tail); // the new part is writable
        big_buffer::release(grown);
    }
}

TEST_F(MemoryTest, ExpandOfAnEmptyBufferGrows)
{
    NodeId const id = series::alloc_cells(0);
    Cell* appended = series::append_cell_raw(id);
    EXPECT_EQ(node::buffer(id)->capacity, 16u);
    EXPECT_EQ(appended, node::buffer(id)->cells());
}

TEST_F(MemoryTest, FilledAndZeroedBuffers)
{
    SeriesBuffer* unset = node::buffer(series::alloc_cells_unset(3));
    EXPECT_EQ(unset->tail, 0u);
    for (std::uint32_t i = 0; i < unset->capacity / 16; ++i) EXPECT_EQ(unset->cells()[i].header, type_ids::unset);

    SeriesBuffer* zeroed = node::buffer(series::alloc_zeroed(20));
    EXPECT_EQ(zeroed->tail, zeroed->capacity);
    SeriesBuffer* filled = node::buffer(series::alloc_filled(20, std::byte { 7 }));
    SeriesBuffer* filled_empty = node::buffer(series::alloc_bytes_filled(20, std::byte { 7 }));
    EXPECT_EQ(filled_empty->tail, 0u);
    for (std::uint32_t i = 0; i < 32; ++i) {
        EXPECT_EQ(zeroed->data()[i], std::byte { 0 });
        EXPECT_EQ(filled->data()[i], std::byte { 7 });
        EXPECT_EQ(filled_empty->data()[i], std::byte { 7 });
    }
}

TEST_F(MemoryTest, HeapSeriesAreMarkedAndSurviveGrowth)
{
    NodeId const id = series::alloc_on_heap(4, 4);
    EXPECT_EQ(node::buffer(id)->flags, 4u | 0xA0100000u);
    buffer::append_int32(id, 11);
    for (std::uint32_t i = 0; i < 10; ++i) buffer::append_int32(id, i);
    SeriesBuffer* grown = node::buffer(id);
    EXPECT_FALSE(grown->flags & series_flags::on_heap) << "a grown heap series lives in the frames";
    EXPECT_EQ(buffer::length(id), 11u);
    EXPECT_EQ(buffer::pick(id, 1), 11u);
}

TEST_F(MemoryTest, NodesAreReusedAndFramesMadeOnDemand)
{
    NodeId const first = node::alloc();
    node::free(first);
    EXPECT_EQ(node::alloc(), first) << "a freed slot heads its frame's chain";

    memory::NodeFrame* frame = node::frame_of(first);
    fill_node_frame(frame);
    EXPECT_EQ(memory::state.node_tail, frame) << "no new frame while this one has room";
    NodeId const in_new_frame = node::alloc();
    EXPECT_NE(node::frame_of(in_new_frame), frame);
    EXPECT_EQ(node::frame_of(in_new_frame), memory::state.node_tail);
    EXPECT_EQ(frame->used, memory::node_frame_slots);
}

TEST_F(MemoryTest, SweepReleasesEmptyNodeFramesAndKeepsHistory)
{
    fill_node_frame(memory::state.node_current);
    memory::NodeFrame* kept = memory::state.node_current;
    NodeId const lone = node::alloc(); // the only node of a new frame
    memory::NodeFrame* emptied = node::frame_of(lone);
    ASSERT_NE(emptied, kept);
    node::free(lone);
    std::uint64_t const before = memory::state.os_total;

    node_frame::sweep();
    EXPECT_EQ(memory::state.node_tail, kept) << "the emptied frame is returned";
    EXPECT_LT(memory::state.os_total, before);
    EXPECT_EQ(kept->history & 1, 0u) << "the used count changed since the frame was made";
    node_frame::sweep();
    EXPECT_EQ(kept->history & 1, 1u) << "stable since the previous sweep";

    NodeId const freed = node::alloc();
    node::free(freed);
    node_frame::sweep();
    EXPECT_EQ(memory::state.node_current, memory::state.node_head) << "the first frame with room becomes current";
}

TEST_F(MemoryTest, ReplicateFillsInPlace)
{
    std::byte bytes[100] {};
    std::memset(bytes, 0x5A, 16);
    EXPECT_EQ(mem::replicate(bytes, 16, 1), bytes + 16);
    EXPECT_EQ(bytes[16], std::byte { 0 }) << "a count of 1 copies nothing";
    EXPECT_EQ(mem::replicate(bytes, 16, 5), bytes + 80);
    for (int i = 0; i < 80; ++i) EXPECT_EQ(bytes[i], std::byte { 0x5A }) << i;
    EXPECT_EQ(bytes[80], std::byte { 0 });
    EXPECT_EQ(mem::replicate(bytes, 0, 5), bytes) << "a unit of 0 does nothing";

    std::byte pattern[21] { std::byte { 1 }, std::byte { 2 }, std::byte { 3 } };
    mem::replicate(pattern, 3, 7); // doublings then one partial copy
    for (int i = 0; i < 21; ++i) EXPECT_EQ(pattern[i], std::byte(i % 3 + 1)) << i;
}

// Under an address-space limit the stack and the node region each take an eighth of it, the stack never
// less than its smallest size; too small a limit is refused before anything is reserved.
TEST(AddressSpaceShares, FollowTheLimit)
{
    constexpr std::uint64_t mib = std::uint64_t { 1 } << 20;
    constexpr std::uint64_t full_stack = 1024 * mib;
    constexpr std::uint64_t frame_bytes = memory::node_frame_stride * sizeof(std::uintptr_t);
    constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::uint64_t limit;
        std::uint64_t full_stack;
        std::uint64_t stack;
        std::uint64_t region_frames;
        bool enough;
    };
    Case const cases[] = {
        { unlimited, full_stack, full_stack, memory::node_region_frames, true },
        { 64 * 1024 * mib, full_stack, full_stack, memory::node_region_frames, true }, // both capped
        { 3'000'000 * 1024ull, full_stack, 384'000'000, 384'000'000 / frame_bytes, true }, // ulimit -v 3000000
        { 1'000'000 * 1024ull, full_stack, 128'000'000, 128'000'000 / frame_bytes, true }, // ulimit -v 1000000
        { 256 * mib, full_stack, 64 * mib, 32 * mib / frame_bytes, true }, // the smallest stack
        { 256 * mib - 1, full_stack, 64 * mib, (32 * mib - 1) / frame_bytes, false },
        { 100'000 * 1024ull, full_stack, 64 * mib, 12'800'000 / frame_bytes, false },
        { 0, full_stack, 64 * mib, 0, false },
        { 256 * mib, 63 * mib, 63 * mib, 32 * mib / frame_bytes, true }, // a build with a smaller full stack
    };
    for (Case const& c : cases) {
        memory::AddressSpaceShares const shares = memory::shares_for(c.limit, c.full_stack);
        EXPECT_EQ(shares.stack_bytes, c.stack) << c.limit;
        EXPECT_EQ(shares.node_region_frames, c.region_frames) << c.limit;
        EXPECT_EQ(shares.enough, c.enough) << c.limit;
        EXPECT_EQ(shares.stack_bytes % 4096, 0u) << c.limit;
    }
}

// A refusal gives the reserve back to the OS to make its error, raises no-memory once, and takes the
// reserve again on the way to the catcher when the OS has room for it.
TEST_F(MemoryTest, RefusalRaisesNoMemoryOnceAndTakesTheReserveAgain)
{
    ASSERT_NE(memory::state.reserve, nullptr);
    EXPECT_EQ(raised_by([] { memory::raise_refusal(); }), err::internal::no_memory);
    EXPECT_FALSE(memory::state.raising_no_memory);
    EXPECT_NE(memory::state.reserve, nullptr);
}

using MemoryDeathTest = MemoryTest;

// A refusal met while the error of another is being made cannot be reported as a language error.
TEST_F(MemoryDeathTest, RefusalWhileRaisingEndsWithRuntimeError94)
{
    EXPECT_EXIT(
        {
            memory::state.raising_no_memory = true;
            memory::raise_refusal();
        },
        testing::ExitedWithCode(94), "");
}

// Counts from outside the series world are checked in 64 bits: nothing is cut to 32 bits, and nothing
// is allocated to find out.
TEST_F(MemoryTest, CheckedLengths)
{
    for (std::uint64_t count : { std::uint64_t { 0 }, std::uint64_t { 1 }, memory::max_capacity })
        EXPECT_EQ(series::checked_length(count), count);
    for (std::uint64_t count : { memory::max_capacity + 1, std::uint64_t { 0xFFFF'FFFF }, std::uint64_t { 1 } << 32,
             (std::uint64_t { 1 } << 32) + 5, std::uint64_t { 1 } << 40, std::numeric_limits<std::uint64_t>::max() })
        EXPECT_EQ(raised_by([&] { series::checked_length(count); }), err::internal::no_memory) << count;
}
