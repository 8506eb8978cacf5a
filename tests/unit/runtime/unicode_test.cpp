// The UTF-8 and UTF-16 codecs, case mapping and display width.

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/unicode.h"
#include "runtime/unicode_tables.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What a strict decoder answers: the code point, or where the first byte that breaks the well-formed
// shapes of the standard stands.
struct Strict {
    std::int32_t code_point; // -1 when malformed
    std::size_t position; // after the sequence; after a bad first byte; at a bad later byte
};

Strict strict_decode(Bytes const& bytes)
{
    std::uint8_t const lead = bytes[0];
    if (lead < 0x80) return { lead, 1 };
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return { -1, 1 };
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    std::uint32_t value = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i == bytes.size()) return { -1, i };
        std::uint8_t const byte = bytes[i];
        bool const fits = i == 1 ? byte >= low && byte <= high : (byte & 0xC0) == 0x80;
        if (!fits) return { -1, i };
        value = (value << 6) | (byte & 0x3Fu);
    }
    return { static_cast<std::int32_t>(value), length };
}

void expect_same_as_strict(Bytes const& bytes)
{
    std::int32_t code_point = 0;
    std::uint8_t const* end = bytes.data() + bytes.size();
    std::uint8_t const* after = unicode::utf8_decode(bytes.data(), end, code_point);
    Strict const expected = strict_decode(bytes);
    ASSERT_EQ(code_point, expected.code_point) << std::hex << int(bytes[0]) << " " << int(bytes[1]);
    ASSERT_EQ(static_cast<std::size_t>(after - bytes.data()), expected.position)
        << std::hex << int(bytes[0]) << " " << int(bytes[1]);
}

std::string bytes_of_binary(Cell const& value)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    return std::string(reinterpret_cast<char const*>(buffer->head_address()), buffer->tail - buffer->head);
}

// The error record outlives the runtime a test makes: its binary! argument would name a node of a
// released heap in the next test's collections.
struct UnicodeTest : RuntimeTest {
    void TearDown() override
    {
        errors::last_raised_for_marking() = RaisedError {};
        RuntimeTest::TearDown();
    }
};

}

// The automaton against the well-formed shapes, over every two-byte input, every three-byte input
// with a multi-byte lead, and four-byte inputs built from the boundary bytes of each range.
TEST(Utf8Decode, AgreesWithTheStrictShapes)
{
    for (unsigned first = 0; first < 256; ++first)
        for (unsigned second = 0; second < 256; ++second)
            expect_same_as_strict({ std::uint8_t(first), std::uint8_t(second) });
    for (unsigned first = 0xE0; first <= 0xF4; ++first)
        for (unsigned second = 0; second < 256; ++second)
            for (unsigned third = 0; third < 256; third += (third >= 0x70 && third <= 0xC8) ? 1 : 7)
                expect_same_as_strict({ std::uint8_t(first), std::uint8_t(second), std::uint8_t(third) });
    std::array<std::uint8_t, 10> const edges { 0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF };
    for (unsigned first = 0xF0; first <= 0xF8; ++first)
        for (auto second : edges)
            for (auto third : edges)
                for (auto fourth : edges) expect_same_as_strict({ std::uint8_t(first), second, third, fourth });
}

// The checked decoder keeps to the same shapes: what the strict decoder accepts it accepts with the same
// value and length, a sequence that the input cuts short is incomplete, anything else is invalid.
TEST(Utf8DecodeChecked, AgreesWithTheStrictShapes)
{
    auto expect_agreement = [](Bytes const& bytes) {
        Strict const expected = strict_decode(bytes);
        std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
        std::int32_t const code_point
            = unicode::utf8_decode_checked(bytes.data(), length, unicode::InvalidUtf8::Answer);
        bool const cut = expected.position == bytes.size() && bytes[0] >= 0xC2 && bytes[0] <= 0xF4;
        std::int32_t const wanted = expected.code_point >= 0 ? expected.code_point
            : cut                                            ? unicode::utf8_incomplete
                                                             : unicode::utf8_invalid;
        std::uint32_t const wanted_length = expected.code_point >= 0 ? static_cast<std::uint32_t>(expected.position)
            : wanted == unicode::utf8_incomplete                     ? 0u
                                                                     : 1u;
        ASSERT_EQ(code_point, wanted) << std::hex << int(bytes[0]) << " " << int(bytes.size() > 1 ? bytes[1] : 0);
        ASSERT_EQ(length, wanted_length) << std::hex << int(bytes[0]);
    };
    for (unsigned first = 0; first < 256; ++first) {
        expect_agreement({ std::uint8_t(first) });
        for (unsigned second = 0; second < 256; ++second)
            expect_agreement({ std::uint8_t(first), std::uint8_t(second) });
    }
    for (unsigned first = 0xE0; first <= 0xF4; ++first)
        for (unsigned second = 0; second < 256; ++second)
            for (unsigned third = 0; third < 256; third += (third >= 0x70 && third <= 0xC8) ? 1 : 7)
                expect_agreement({ std::uint8_t(first), std::uint8_t(second), std::uint8_t(third) });
    std::array<std::uint8_t, 10> const edges { 0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF };
    for (unsigned first = 0xF0; first <= 0xF8; ++first)
        for (auto second : edges)
            for (auto third : edges)
                for (auto fourth : edges) expect_agreement({ std::uint8_t(first), second, third, fourth });
}

// Every scalar value encodes and decodes back; the lengths agree.
TEST(Utf8Decode, EveryCodePointRoundTrips)
{
    char encoded[4];
    for (std::uint32_t code_point = 0; code_point <= unicode::max_code_point; ++code_point) {
        if (code_point >= 0xD800 && code_point <= 0xDFFF) continue;
        int const length = unicode::utf8_encode(code_point, encoded);
        ASSERT_EQ(length, unicode::utf8_length(code_point));
        auto const* bytes = reinterpret_cast<std::uint8_t const*>(encoded);
        ASSERT_EQ(unicode::utf8_lead_length(bytes[0]), length == 1 ? 0 : length);
        std::int32_t decoded = -1;
        ASSERT_EQ(unicode::utf8_decode(bytes, bytes + length, decoded), bytes + length);
        ASSERT_EQ(decoded, static_cast<std::int32_t>(code_point));
        std::uint32_t available = static_cast<std::uint32_t>(length);
        ASSERT_EQ(unicode::utf8_decode_checked(bytes, available), static_cast<std::int32_t>(code_point));
        ASSERT_EQ(available, static_cast<std::uint32_t>(length));
    }
}

TEST(Utf8Decode, CountSkipAndCutSequences)
{
    Bytes const text { 'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x98, 0x80, 0xFF, 'z' };
    std::uint8_t const* start = text.data();
    std::uint8_t const* end = start + text.size();
    EXPECT_EQ(unicode::utf8_count(start, end), 6u); // the bad byte counts as one step
    EXPECT_EQ(unicode::utf8_skip(start, end, 2), start + 3);
    EXPECT_EQ(unicode::utf8_skip(start, end, 4), start + 10);
    EXPECT_EQ(unicode::utf8_skip(start, end, 100), end);
    // A sequence cut by the end rejects at the end, reading nothing past it.
    std::int32_t code_point = 0;
    EXPECT_EQ(unicode::utf8_decode(start + 3, start + 5, code_point), start + 5);
    EXPECT_EQ(code_point, -1);
    EXPECT_EQ(unicode::utf8_count(start + 3, start + 5), 1u);
    struct Lead {
        std::uint8_t byte;
        int length;
    };
    for (Lead lead : { Lead { 0x41, 0 }, Lead { 0x80, 0 }, Lead { 0xC3, 2 }, Lead { 0xE4, 3 }, Lead { 0xF0, 4 },
             Lead { 0xF7, 4 }, Lead { 0xF8, 0 } })
        EXPECT_EQ(unicode::utf8_lead_length(lead.byte), lead.length) << int(lead.byte);
}

TEST_F(UnicodeTest, CheckedDecoding)
{
    struct Case {
        Bytes bytes;
        std::int32_t code_point; // utf8_invalid: raises invalid-utf8
        std::uint32_t length;
    };
    Case const cases[] = {
        { { 'A' }, 'A', 1 },
        { { 0xC3, 0xA9 }, 0xE9, 2 },
        { { 0xC2, 0x80 }, 0x80, 2 },
        { { 0xC3 }, unicode::utf8_incomplete, 0 },
        { { 0xE4, 0xB8 }, unicode::utf8_incomplete, 0 },
        { { 0xF0, 0x9F, 0x98 }, unicode::utf8_incomplete, 0 },
        { { 0xE4, 0xB8, 0xAD }, 0x4E2D, 3 },
        { { 0xE0, 0xA0, 0x80 }, 0x800, 3 }, // the shortest forms at each length
        { { 0xF0, 0x90, 0x80, 0x80 }, 0x10000, 4 },
        { { 0xED, 0x9F, 0xBF }, 0xD7FF, 3 }, // around the surrogates
        { { 0xEE, 0x80, 0x80 }, 0xE000, 3 },
        // Over-long forms: a slash in two, three and four bytes, and the longest two-byte one.
        { { 0xC0, 0xAF }, unicode::utf8_invalid, 1 },
        { { 0xE0, 0x80, 0xAF }, unicode::utf8_invalid, 1 },
        { { 0xF0, 0x80, 0x80, 0xAF }, unicode::utf8_invalid, 1 },
        { { 0xC1, 0xBF }, unicode::utf8_invalid, 1 },
        { { 0xE0, 0x9F, 0xBF }, unicode::utf8_invalid, 1 },
        { { 0xE0, 0x80 }, unicode::utf8_invalid, 1 }, // invalid before the input runs out
        { { 0xC0 }, unicode::utf8_invalid, 1 },
        // Surrogates, lead and trail.
        { { 0xED, 0xA0, 0x80 }, unicode::utf8_invalid, 1 },
        { { 0xED, 0xB0, 0x80 }, unicode::utf8_invalid, 1 },
        { { 0xED, 0xBF, 0xBF }, unicode::utf8_invalid, 1 },
        { { 0xF5, 0x80, 0x80, 0x80 }, unicode::utf8_invalid, 1 }, // above max_code_point
        { { 0xF0, 0x9F, 0x98, 0x80 }, 0x1F600, 4 },
        { { 0xF4, 0x8F, 0xBF, 0xBF }, 0x10FFFF, 4 },
        { { 0xF4, 0x90, 0x80, 0x80 }, unicode::utf8_invalid, 1 },
        { { 0x80, 'a' }, unicode::utf8_invalid, 1 },
        { { 0xF8, 0x80, 0x80, 0x80, 0x80 }, unicode::utf8_invalid, 1 },
        { { 0xC3, 'a' }, unicode::utf8_invalid, 1 },
        { { 0xE4, 0xB8, 'a' }, unicode::utf8_invalid, 1 },
    };
    for (auto const& c : cases) {
        std::uint32_t length = static_cast<std::uint32_t>(c.bytes.size());
        EXPECT_EQ(unicode::utf8_decode_checked(c.bytes.data(), length, unicode::InvalidUtf8::Answer), c.code_point);
        EXPECT_EQ(length, c.length);
        if (c.code_point != unicode::utf8_invalid) continue;
        // Raised: a binary! of the bytes from the bad one, at most four.
        length = static_cast<std::uint32_t>(c.bytes.size());
        EXPECT_EQ(raised_by([&] { unicode::utf8_decode_checked(c.bytes.data(), length); }), err::access::invalid_utf8);
        Cell const& argument = errors::last_raised().arguments[0];
        EXPECT_EQ(cell::type_of(argument), type_ids::binary);
        std::size_t const kept = std::min<std::size_t>(c.bytes.size(), 4);
        EXPECT_EQ(bytes_of_binary(argument), std::string(c.bytes.begin(), c.bytes.begin() + static_cast<long>(kept)));
    }
}

TEST_F(UnicodeTest, Encoders)
{
    struct Case {
        std::uint32_t code_point;
        int length;
    };
    for (Case c : { Case { 0, 1 }, Case { 0x7F, 1 }, Case { 0x80, 2 }, Case { 0x7FF, 2 }, Case { 0x800, 3 },
             Case { 0xFFFF, 3 }, Case { 0x10000, 4 }, Case { 0x10FFFF, 4 } })
        EXPECT_EQ(unicode::utf8_length(c.code_point), c.length) << c.code_point;

    char output[8] = {};
    EXPECT_EQ(unicode::utf8_encode_limited(0x4E2D, output, 2), 2);
    EXPECT_EQ(std::string(output, 2), "\xE4\xB8");
    EXPECT_EQ(unicode::utf8_encode_limited(0x4E2D, output, 9), 3);
    EXPECT_EQ(unicode::utf8_encode_limited('a', output, 0), 0);

    // Above the last code point: invalid-char with the number as an integer!.
    char sink[4];
    auto const too_big = [&](auto action) {
        EXPECT_EQ(raised_by(action), err::script::invalid_char);
        Cell const& argument = errors::last_raised().arguments[0];
        EXPECT_EQ(cell::type_of(argument), type_ids::integer);
        EXPECT_EQ(argument.word2, 0x110000u);
    };
    too_big([] { unicode::utf8_length(0x110000); });
    too_big([&] { unicode::utf8_encode(0x110000, sink); });
    too_big([&] { unicode::utf8_encode_limited(0x110000, sink, 4); });
    std::uint32_t const wide[] = { 'a', 0x110000 };
    too_big([&] { unicode::utf8_size(wide, wide + 2, 4); });

    std::uint8_t const latin[] = { 'a', 0xE9, 0x7F, 0x80 };
    EXPECT_EQ(unicode::utf8_size(latin, latin + 4, 1), 6u);
    std::uint16_t const ucs2[] = { 'a', 0xE9, 0x4E2D };
    EXPECT_EQ(unicode::utf8_size(ucs2, ucs2 + 3, 2), 6u);
    std::uint32_t const ucs4[] = { 'a', 0x1F600 };
    EXPECT_EQ(unicode::utf8_size(ucs4, ucs4 + 2, 4), 5u);
}

TEST(Utf16, EncodeAndUnitWidth)
{
    char16_t units[2] = {};
    EXPECT_EQ(unicode::utf16_encode('a', units), 1);
    EXPECT_EQ(units[0], u'a');
    EXPECT_EQ(unicode::utf16_encode(0x10000, units), 2);
    EXPECT_EQ(units[0], 0xD800);
    EXPECT_EQ(units[1], 0xDC00);
    EXPECT_EQ(unicode::utf16_encode(0x10FFFF, units), 2);
    EXPECT_EQ(units[0], 0xDBFF);
    EXPECT_EQ(units[1], 0xDFFF);
    EXPECT_EQ(unicode::utf16_encode(0x110000, units), 0);

    auto width = [](std::vector<std::uint8_t> const& bytes) {
        return unicode::utf16_unit_width(
            reinterpret_cast<std::byte const*>(bytes.data()), static_cast<std::uint32_t>(bytes.size() / 2));
    };
    EXPECT_EQ(width({}), 1u);
    EXPECT_EQ(width({ 'a', 0, 0xE9, 0 }), 1u);
    EXPECT_EQ(width({ 'a', 0, 0x2D, 0x4E }), 2u);
    EXPECT_EQ(width({ 0x3D, 0xD8, 0x00, 0xDE, 0x2D, 0x4E }), 4u);
    EXPECT_EQ(width({ 0x00, 0xDC }), 4u); // a lone trail surrogate too
}

TEST(CaseMapping, Pairs)
{
    using unicode::Case;
    struct Mapping {
        std::uint32_t code_point;
        Case which;
        std::uint32_t mapped;
    };
    Mapping const cases[] = {
        { 0x61, Case::Upper, 0x41 },
        { 0x41, Case::Lower, 0x61 },
        { 0x41, Case::Upper, 0x41 },
        { 0xE9, Case::Upper, 0xC9 },
        { 0xFF, Case::Upper, 0x178 },
        { 0xB5, Case::Upper, 0x39C },
        { 0xDF, Case::Upper, 0xDF },
        { 0x130, Case::Lower, 0x69 },
        { 0x3A3, Case::Lower, 0x3C3 },
        { 0x10D0, Case::Upper, 0x1C90 },
        { 0xFF5A, Case::Upper, 0xFF3A },
        { 0xFF3A, Case::Lower, 0xFF5A },
        { 0x10428, Case::Upper, 0x10400 },
        { 0x10400, Case::Lower, 0x10428 },
        { 0x1E943, Case::Upper, 0x1E921 },
        { 0x1E921, Case::Lower, 0x1E943 },
        { 0x10597, Case::Upper, 0x10570 },
        { 0x1F600, Case::Upper, 0x1F600 },
        { 0x10FFFF, Case::Lower, 0x10FFFF },
        { '1', Case::Upper, '1' },
        { 0x4E2D, Case::Lower, 0x4E2D },
        { 0, Case::Upper, 0 },
        { 0x1E944, Case::Upper, 0x1E944 },
        { 0x103FF, Case::Lower, 0x103FF },
    };
    for (auto const& c : cases)
        EXPECT_EQ(unicode::change_case(c.code_point, c.which), c.mapped) << std::hex << c.code_point;
    // The inline ASCII mapping agrees with the tables.
    for (std::uint32_t code_point = 0; code_point < 0x80; ++code_point)
        for (Case which : { Case::Upper, Case::Lower })
            EXPECT_EQ(unicode::change_case(code_point, which), unicode::change_case_table(code_point, which))
                << std::hex << code_point;
}

// Every code point of the Basic Multilingual Plane maps as its pair says, and one without a pair to itself.
TEST(CaseMapping, EveryBmpCodePointFollowsThePairs)
{
    using unicode::Case;
    namespace tables = unicode::tables;
    for (auto [pairs, which] :
        { std::pair { tables::upper_bmp, Case::Upper }, std::pair { tables::lower_bmp, Case::Lower } }) {
        std::size_t next = 0;
        for (std::uint32_t code_point = 0; code_point <= 0xFFFF; ++code_point) {
            std::uint32_t expected = code_point;
            if (next < pairs.size() && pairs[next].code_point == code_point) expected = pairs[next++].mapping;
            ASSERT_EQ(unicode::change_case_table(code_point, which), expected) << std::hex << code_point;
        }
        EXPECT_EQ(next, pairs.size());
    }
}

// The tables' shape: sorted keys, mappings of the Basic Multilingual Plane inside it, the known ends.
TEST(CaseMapping, TablesAreSortedWithKnownEnds)
{
    namespace tables = unicode::tables;
    for (auto pairs : { tables::upper_bmp, tables::lower_bmp, tables::upper_above, tables::lower_above })
        for (std::size_t i = 1; i < pairs.size(); ++i) ASSERT_LT(pairs[i - 1].code_point, pairs[i].code_point);
    for (auto pairs : { tables::upper_bmp, tables::lower_bmp })
        for (auto const& pair : pairs) ASSERT_LE(pair.mapping, 0xFFFFu);
    EXPECT_EQ(tables::upper_bmp.front().code_point, 0x61u);
    EXPECT_EQ(tables::upper_bmp.back().code_point, 0xFF5Au);
    EXPECT_EQ(tables::lower_bmp.front().code_point, 0x41u);
    EXPECT_EQ(tables::lower_bmp.back().code_point, 0xFF3Au);
    EXPECT_EQ(tables::upper_above.back().mapping, 0x1E921u);
    EXPECT_EQ(tables::lower_above.front().code_point, 0x10400u);
    for (auto ranges : { tables::zero_width, tables::double_width })
        for (std::size_t i = 1; i < ranges.size(); ++i) ASSERT_LT(ranges[i - 1].last + 1, ranges[i].first);
}

TEST(DisplayWidth, Columns)
{
    struct Case {
        std::uint32_t code_point;
        int columns;
    };
    Case const cases[] = {
        { 0x41, 1 },
        { 0x301, 0 },
        { 0x4E2D, 2 },
        { 0x07, 1 },
        { 0x00, 0 },
        { 0x7F, 1 },
        { 0x9F, 1 },
        { 0xA0, 1 },
        { 0x300, 0 },
        { 0x36F, 0 },
        { 0x370, 1 },
        { 0x488, 0 },
        { 0x1100, 2 },
        { 0x115F, 2 },
        { 0x1160, 1 },
        { 0x231A, 2 },
        { 0xFF21, 2 },
        { 0x1F600, 2 },
        { 0x1E944, 0 },
        { 0xE0100, 0 },
        { 0xE01EF, 0 },
        { 0xE01F0, 1 },
        { 0x20000, 2 },
        { 0x3FFFD, 2 },
        { 0x3FFFE, 1 },
        { 0x10FFFF, 1 },
        { 0x2F, 1 },
    };
    for (auto const& c : cases) EXPECT_EQ(charwidth::columns(c.code_point), c.columns) << std::hex << c.code_point;
}

namespace {

template <typename Unit>
Cell make_text(std::vector<Unit> const& units, std::uint32_t index = 0, TypeId type = type_ids::string)
{
    NodeId const id = series::alloc_with_node(units.size(), sizeof(Unit));
    if (!units.empty())
        std::memcpy(series::append_bytes(id, static_cast<std::uint32_t>(units.size() * sizeof(Unit))), units.data(),
            units.size() * sizeof(Unit));
    return cell::make(type, index, id);
}

std::vector<std::uint32_t> code_points(Cell const& value)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::vector<std::uint32_t> result;
    for (std::uint32_t i = 0; i < buffer->length(); ++i) {
        std::byte const* position = buffer->head_address() + (std::uint64_t { i } << buffer->unit_shift());
        std::uint32_t value32 = 0;
        std::memcpy(&value32, position, buffer->unit());
        result.push_back(value32);
    }
    return result;
}

}

TEST_F(UnicodeTest, ChangeCaseValue)
{
    using unicode::Case;
    Cell letter = cell::make(type_ids::char_, 0, 'q');
    unicode::change_case_value(letter, unicode::whole_rest, Case::Upper);
    EXPECT_EQ(letter.word2, static_cast<std::uint32_t>('Q'));

    struct Case_ {
        std::vector<std::uint8_t> text;
        std::uint32_t index;
        std::int32_t count;
        Case which;
        std::vector<std::uint32_t> expected;
        std::uint32_t unit;
    };
    Case_ const cases[] = {
        { { 'a', 'b', 'c' }, 0, unicode::whole_rest, Case::Upper, { 'A', 'B', 'C' }, 1 },
        { { 'a', 'b', 'c' }, 1, unicode::whole_rest, Case::Upper, { 'a', 'B', 'C' }, 1 },
        { { 'a', 'b', 'c' }, 0, 2, Case::Upper, { 'A', 'B', 'c' }, 1 },
        { { 'a', 'b', 'c' }, 0, 0, Case::Upper, { 'a', 'b', 'c' }, 1 },
        { { 'a', 'b', 'c' }, 0, -3, Case::Upper, { 'a', 'b', 'c' }, 1 },
        { { 'a', 'b', 'c' }, 9, unicode::whole_rest, Case::Upper, { 'a', 'b', 'c' }, 1 }, // past the tail
        { { 'a', 'b', 'c' }, 2, 10, Case::Upper, { 'a', 'b', 'C' }, 1 },
        { { 0xE9, 'x' }, 0, unicode::whole_rest, Case::Upper, { 0xC9, 'X' }, 1 }, // Latin-1 stays 1-byte
        { { 'y', 0xFF }, 0, unicode::whole_rest, Case::Upper, { 'Y', 0x178 }, 2 }, // widens for U+0178
        { { 'A', 0xB5 }, 0, unicode::whole_rest, Case::Lower, { 'a', 0xB5 }, 1 },
    };
    for (auto const& c : cases) {
        Rooted value(make_text(c.text, c.index));
        unicode::change_case_value(*value, c.count, c.which);
        EXPECT_EQ(code_points(*value), c.expected);
        EXPECT_EQ(node::buffer(value->word2)->unit(), c.unit);
    }
    Rooted wide(make_text<std::uint32_t>({ 0x1E921, 'a', 0x10400 }, 0, type_ids::file));
    unicode::change_case_value(*wide, unicode::whole_rest, Case::Lower);
    EXPECT_EQ(code_points(*wide), (std::vector<std::uint32_t> { 0x1E943, 'a', 0x10428 }));
}
