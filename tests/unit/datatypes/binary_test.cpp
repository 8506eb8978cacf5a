// binary!: the byte accessors other modules use, the byte-wise comparison, and enbase and debase on values.

#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/binary_codecs.h"
#include "datatypes/bitset.h"
#include "runtime/collector.h"
#include "text_fixture.h"

using namespace xol;

namespace {

struct BinaryTest : TextTest {
    void SetUp() override
    {
        TextTest::SetUp();
        datatype::register_(binary::record);
    }
};

using Bytes = std::vector<std::uint8_t>;

Bytes content(Cell const& value)
{
    std::span<std::uint8_t const> const bytes = binary::bytes(value);
    return { bytes.begin(), bytes.end() };
}

Cell loaded(Bytes const& bytes)
{
    return binary::load(bytes);
}

}

// What the readers rely on: the content runs from the index; an index past the tail reads as empty and
// is left as it is; offsets of get_byte count from the buffer's first byte.
TEST_F(BinaryTest, ReadingFromTheIndex)
{
    Rooted value(loaded({ 1, 2, 3, 4 }));
    EXPECT_EQ(binary::rs_length(*value), 4u);
    EXPECT_EQ(content(at(*value, 1)), (Bytes { 2, 3, 4 }));
    EXPECT_EQ(binary::get_byte(at(*value, 3), 0), 1) << "from the buffer's start, not the index";
    Cell const past = at(*value, 9);
    EXPECT_EQ(binary::rs_length(past), 0u);
    EXPECT_EQ(binary::rs_head(past), binary::rs_head(at(*value, 4))) << "the tail's address";
    EXPECT_EQ(past.word1, 9u);

    Rooted empty(binary::make(0));
    EXPECT_EQ(cell::type_of(*empty), type_ids::binary);
    EXPECT_EQ(binary::rs_length(*empty), 0u);
    EXPECT_GE(node::buffer(empty->word2)->capacity, 16u);
}

// Writers append, reserve and give back, and insert after the index; the buffer grows as needed, under
// collections that move it.
TEST_F(BinaryTest, WritingBytes)
{
    Rooted value(binary::make(2));
    std::vector<std::uint8_t> big(1000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
    binary::append_bytes(*value, Bytes { 7, 8 });
    gc::collect();
    binary::append_bytes(*value, big);
    ASSERT_EQ(binary::rs_length(*value), 1002u);
    EXPECT_EQ(binary::get_byte(*value, 1), 8);
    EXPECT_EQ(binary::get_byte(*value, 1001), 999 % 256);

    std::uint8_t* space = binary::append_space(*value, 10);
    space[0] = 42;
    EXPECT_EQ(binary::rs_length(*value), 1012u);
    binary::set_length(*value, 1003);
    EXPECT_EQ(binary::rs_length(*value), 1003u);
    EXPECT_EQ(binary::get_byte(*value, 1002), 42);

    Rooted small(loaded({ 1, 2, 3 }));
    binary::insert_bytes(at(*small, 1), 1, Bytes { 9, 9 });
    EXPECT_EQ(content(*small), (Bytes { 1, 2, 9, 9, 3 }));
    binary::insert_bytes(at(*small, 1), 100, Bytes { 5 }); // past the tail: at the tail
    EXPECT_EQ(content(*small), (Bytes { 1, 2, 9, 9, 3, 5 }));
    binary::set_length(at(*small, 2), 1);
    EXPECT_EQ(content(*small), (Bytes { 1, 2, 9 })) << "the length counts from the index";

    Rooted block(block_of({}));
    binary::load_at(Bytes { 4, 5 }, *block);
    Cell const appended = node::buffer(block->word2)->head_cell()[0];
    EXPECT_EQ(content(appended), (Bytes { 4, 5 }));
}

TEST_F(BinaryTest, ByteValueTakesTheLowBits)
{
    EXPECT_EQ(binary::byte_value(integer::make(300)), 44);
    EXPECT_EQ(binary::byte_value(integer::make(-1)), 255);
    EXPECT_EQ(binary::byte_value(char_::make(0x4E2D)), 0x2D);
    EXPECT_EQ(raised_by([] { binary::byte_value(logic::make(true)); }), err::script::invalid_arg);
}

// compare_bytes: unsigned bytes, a prefix before the longer value; the equality codes answer 0 or 1.
TEST_F(BinaryTest, CompareBytes)
{
    Rooted a(loaded({ 1 }));
    Rooted ab(loaded({ 1, 2 }));
    Rooted high(loaded({ 0x80 }));
    Rooted none_(loaded({}));
    Rooted also_ab(loaded({ 1, 2 }));
    struct Case {
        Cell const* left;
        Cell const* right;
        CompareOp op;
        std::int32_t answer;
    };
    Case const cases[] = {
        { &*a, &*ab, CompareOp::Lesser, -1 },
        { &*ab, &*a, CompareOp::Lesser, 1 },
        { &*a, &*ab, CompareOp::Equal, 1 },
        { &*ab, &*also_ab, CompareOp::Equal, 0 },
        { &*ab, &*also_ab, CompareOp::StrictEqual, 0 },
        { &*a, &*high, CompareOp::Sort, -1 }, // unsigned: 01 before 80
        { &*none_, &*a, CompareOp::Lesser, -1 },
        { &*none_, &*none_, CompareOp::Lesser, 0 },
        { &*ab, &*also_ab, CompareOp::Same, 1 },
        { &*ab, &*ab, CompareOp::Same, 0 },
    };
    for (Case const& c : cases) EXPECT_EQ(binary::compare_bytes(*c.left, *c.right, c.op, false), c.answer) << int(c.op);

    // Match mode: the other value as a prefix from the binary's index.
    EXPECT_EQ(binary::compare_bytes(*ab, *a, CompareOp::Equal, true), 0);
    EXPECT_EQ(binary::compare_bytes(at(*ab, 1), *a, CompareOp::Equal, true), 1);
    EXPECT_EQ(binary::compare_bytes(*a, *ab, CompareOp::Equal, true), 1);
    EXPECT_EQ(binary::compare_bytes(*a, *none_, CompareOp::Equal, true), 0);

    // Text compares through its units; other values cannot be compared.
    Rooted latin(text("\u00E9"));
    Rooted e_acute(loaded({ 0xE9 }));
    EXPECT_EQ(binary::compare_bytes(*e_acute, *latin, CompareOp::Equal, false), 0);
    Rooted wide(text("\u00E9\u4E2D"));
    Rooted low_bytes(loaded({ 0xE9, 0x2D }));
    EXPECT_EQ(binary::compare_bytes(*low_bytes, *wide, CompareOp::Equal, false), 1) << "a unit is not its low byte";
    EXPECT_EQ(binary::compare_bytes(*low_bytes, *latin, CompareOp::Equal, true), 0);
    EXPECT_EQ(binary::compare_bytes(*e_acute, at(*wide, 1), CompareOp::Lesser, false), -1);
    EXPECT_EQ(binary::compare_bytes(*a, integer::make(1), CompareOp::Equal, false), compare_incomparable);
    EXPECT_EQ(binary::compare(*a, *latin, CompareOp::Equal), compare_incomparable) << "compare takes binaries only";
}

TEST_F(BinaryTest, EqualTo)
{
    Rooted value(loaded({ 'a', 'b' }));
    Rooted prefix(text("a"));
    EXPECT_TRUE(binary::equal_to(*value, *prefix, CompareOp::Equal));
    EXPECT_TRUE(binary::equal_to(*value, char_::make('a'), CompareOp::Equal));
    EXPECT_FALSE(binary::equal_to(at(*value, 1), char_::make('a'), CompareOp::Equal));
    EXPECT_FALSE(binary::equal_to(at(*value, 2), char_::make('a'), CompareOp::Equal)) << "at the tail";
    EXPECT_FALSE(binary::equal_to(*value, integer::make('a'), CompareOp::Equal));
}

// Parse and the searches test the byte at the index: bit (byte mod 8) of byte (byte / 8), most significant
// first; a byte past the set's bits answers its complement flag, and the tail answers false.
TEST_F(BinaryTest, InBitset)
{
    Rooted set(bitset::make(2, false));
    std::byte* bits = node::buffer(set->word2)->head_address();
    bits[0] = std::byte { 0x40 }; // byte 1
    bits[1] = std::byte { 0x01 }; // byte 15
    Rooted value(loaded({ 1, 15, 2, 16, 200 }));
    EXPECT_TRUE(binary::in_bitset_q(*value, *set));
    EXPECT_TRUE(binary::in_bitset_q(at(*value, 1), *set));
    EXPECT_FALSE(binary::in_bitset_q(at(*value, 2), *set));
    EXPECT_FALSE(binary::in_bitset_q(at(*value, 3), *set)) << "past the bits: the plain set's flag";
    EXPECT_FALSE(binary::in_bitset_q(at(*value, 5), *set)) << "at the tail";
    Rooted negated(bitset::make(1, true));
    EXPECT_TRUE(binary::in_bitset_q(at(*value, 4), *negated)) << "past the bits: the complement flag";
    EXPECT_FALSE(binary::in_bitset_q(at(*value, 5), *negated)) << "at the tail";
}

// enbase reads a string! as its UTF-8 and a binary! from its index; debase reads text of any unit from
// its index, and answers none! for invalid text.
TEST_F(BinaryTest, EnbaseAndDebaseValues)
{
    Rooted wide(text("x\u4E2D"));
    Rooted encoded(binary::enbase(at(*wide, 1), binary::Base::Sixteen));
    EXPECT_EQ(utf8(*encoded), "E4B8AD");
    EXPECT_EQ(unit_of(*encoded), 1u);
    Rooted bytes(loaded({ 0, 0xFF, 0x10 }));
    Rooted encoded_bytes(binary::enbase(at(*bytes, 1), binary::Base::SixtyFour));
    EXPECT_EQ(utf8(*encoded_bytes), "/xA=");

    Rooted digits(text("\u4E2D 41 42"));
    ASSERT_EQ(unit_of(*digits), 2u);
    Rooted decoded(binary::debase(at(*digits, 1), binary::Base::Sixteen));
    EXPECT_EQ(content(*decoded), (Bytes { 0x41, 0x42 }));
    Rooted refused(binary::debase(*digits, binary::Base::Sixteen));
    EXPECT_EQ(cell::type_of(*refused), type_ids::none);
}
