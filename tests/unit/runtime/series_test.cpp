// Cells and the operations on series and buffers through their nodes.

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/series.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

// The allocator alone: no collection reclaims what these tests leave unrooted.
struct SeriesTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        gc::state.enabled = false;
    }
};

}

TEST(Cell, HeaderOperationsKeepWhatTheyDoNotName)
{
    Cell value = cell::make(type_ids::integer, 0, 42);
    value.header |= cell::new_line_flag | 0x2000;
    cell::set_type(value, type_ids::float_);
    EXPECT_EQ(cell::type_of(value), type_ids::float_);
    EXPECT_TRUE(cell::has_new_line(value));
    EXPECT_EQ(value.header & 0x2000, 0x2000u);
    cell::clear_new_line(value);
    EXPECT_FALSE(cell::has_new_line(value));
    EXPECT_EQ(cell::type_of(value), type_ids::float_);

    Cell const before = value;
    cell::copy(value, value);
    EXPECT_EQ(std::memcmp(&before, &value, sizeof value), 0);

    cell::set_float_payload(value, -2.5);
    EXPECT_EQ(cell::float_payload(value), -2.5);
}

TEST_F(SeriesTest, AppendBytesGrowsToTwiceALargeRequest)
{
    NodeId const id = series::alloc_bytes(32);
    std::byte* place = series::append_bytes(id, 100);
    SeriesBuffer* buffer = node::buffer(id);
    EXPECT_EQ(buffer->capacity, 208u); // 200 bytes rounded up to 16
    EXPECT_EQ(place, buffer->data());
    EXPECT_EQ(buffer->tail, 100u);

    series::append_bytes(id, 100); // still fits
    EXPECT_EQ(node::buffer(id)->capacity, 208u);
    series::append_bytes(id, 100); // a small request doubles the capacity
    EXPECT_EQ(node::buffer(id)->capacity, 416u);
}

TEST_F(SeriesTest, CopyPartAndCopyBuffer)
{
    NodeId const id = series::alloc_bytes(16);
    buffer::append_bytes(id, "hello world", 11);
    series::set_flags(id, series_flags::owned);

    NodeId const part = series::copy_part(id, 6, 5);
    SeriesBuffer* copy = node::buffer(part);
    EXPECT_EQ(copy->length(), 5u);
    EXPECT_EQ(std::memcmp(copy->data(), "world", 5), 0);
    EXPECT_FALSE(copy->flags & series_flags::owned) << "a copy is nobody's";

    node::buffer(id)->head = 2;
    NodeId const whole = series::copy_buffer(id);
    EXPECT_EQ(node::buffer(whole)->capacity, node::buffer(id)->capacity);
    EXPECT_EQ(buffer::length(whole), 9u);
    EXPECT_EQ(std::memcmp(node::buffer(whole)->head_address(), "llo world", 9), 0);
}

TEST_F(SeriesTest, WordBuffers)
{
    NodeId const id = buffer::make(2, 4);
    EXPECT_EQ(buffer::flags(id) & series_flags::unit_mask, 4u);
    for (std::uint32_t value : { 10u, 20u, 30u }) buffer::append_int32(id, value);
    buffer::insert_int32(id, 15, 1);
    EXPECT_EQ(buffer::length(id), 4u);
    std::uint32_t const expected[] = { 10, 15, 20, 30 };
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(buffer::pick(id, i + 1), expected[i]);

    EXPECT_EQ(buffer::find_ptr(id, 20), 8);
    EXPECT_EQ(buffer::find_ptr(id, 99), -1);
    EXPECT_EQ(buffer::remove_ptr(id, 99), -1);
    EXPECT_EQ(buffer::length(id), 4u) << "removing an absent value changes nothing";
    buffer::remove_ptr(id, 10);
    EXPECT_EQ(buffer::pick(id, 1), 15u);
    buffer::poke(id, 3, 7);
    EXPECT_EQ(buffer::pick(id, 3), 7u);
    buffer::set_tail_at(id, 2);
    EXPECT_EQ(buffer::length(id), 1u);
    buffer::clear(id);
    EXPECT_EQ(buffer::length(id), 0u);
}

TEST_F(SeriesTest, ByteBuffers)
{
    NodeId const id = buffer::make(0, 1);
    EXPECT_EQ(node::buffer(id)->capacity, 16u);
    for (std::uint8_t byte = 0; byte < 40; ++byte) buffer::append_byte(id, byte);
    EXPECT_EQ(buffer::length(id), 40u);
    EXPECT_EQ(buffer::pick_byte(id, 40), 39);
    NodeId const copy = buffer::copy(id);
    EXPECT_EQ(buffer::pick_byte(copy, 1), 0);
    EXPECT_EQ(buffer::length(copy), 40u);
}

TEST_F(SeriesTest, IntegerFromNumbers)
{
    struct Case {
        double number;
        std::int32_t expected;
        bool raises;
    };
    Case const cases[] = {
        { 2147483647.0, 2147483647, false },
        { -2147483648.0, -2147483647 - 1, false },
        { 3.9, 3, false },
        { -3.9, -3, false },
        { 2147483648.0, 0, true },
        { -2147483649.0, 0, true },
        { std::numeric_limits<double>::quiet_NaN(), 0, true },
        { std::numeric_limits<double>::infinity(), 0, true },
    };
    for (auto const& c : cases) {
        Cell value = cell::make(type_ids::float_);
        cell::set_float_payload(value, c.number);
        std::int32_t result = 0;
        auto const raised = raised_by([&] { result = number::to_int_checked(value); });
        if (c.raises) {
            EXPECT_EQ(raised, err::script::out_of_range) << c.number;
            EXPECT_EQ(errors::last_raised().argument_count, 1);
        } else {
            EXPECT_FALSE(raised) << c.number;
            EXPECT_EQ(result, c.expected) << c.number;
        }
    }
    EXPECT_EQ(number::to_int_checked(cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(-7))), -7);
}

TEST_F(SeriesTest, ViewsAreCheckedAgainstAllocation)
{
    NodeId const id = series::alloc_cells(2);
    series::append_cell_raw(id)->word2 = 5;
    SeriesView<Cell> view(id);
    EXPECT_EQ(view.size(), 1u);
    EXPECT_EQ(view[0].word2, 5u);
    if constexpr (assertions_enabled) {
        series::alloc_bytes(1);
        EXPECT_DEATH(view[0], "series view used after an allocation");
    }
}
