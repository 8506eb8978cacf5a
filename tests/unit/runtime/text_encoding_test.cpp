// Text series and external encodings: loading with widening, line ends, pieces and bad input; widening
// in place; conversions to UTF-8 and UTF-16 through the conversion buffer.

#include <cstring>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/text_encoding.h"
#include "runtime/unicode.h"
#include "runtime_fixture.h"

using namespace xol;
using string::LineEnds;

namespace {

// The error record outlives the runtime a test makes: its binary! argument would name a node of a
// released heap in the next test's collections.
struct TextEncodingTest : RuntimeTest {
    void TearDown() override
    {
        errors::last_raised_for_marking() = RaisedError {};
        RuntimeTest::TearDown();
    }
};

template <typename Unit> Cell make_text(std::vector<Unit> const& units, std::uint32_t index = 0)
{
    NodeId const id = series::alloc_with_node(units.size(), sizeof(Unit));
    if (!units.empty())
        std::memcpy(series::append_bytes(id, static_cast<std::uint32_t>(units.size() * sizeof(Unit))), units.data(),
            units.size() * sizeof(Unit));
    return cell::make(type_ids::string, index, id);
}

std::vector<std::uint32_t> code_points(NodeId node)
{
    SeriesBuffer* buffer = node::buffer(node);
    std::vector<std::uint32_t> result;
    for (std::uint32_t i = 0; i < buffer->length(); ++i)
        result.push_back(
            string::load_unit(buffer->head_address() + (std::uint64_t { i } << buffer->unit_shift()), buffer->unit()));
    return result;
}

std::uint32_t unit_of(NodeId node)
{
    return node::buffer(node)->unit();
}

std::byte const* bytes_of(std::string const& text)
{
    return reinterpret_cast<std::byte const*>(text.data());
}
std::uint32_t size_of(std::string const& text)
{
    return static_cast<std::uint32_t>(text.size());
}

NodeId decoded(std::string const& text, LineEnds line_ends = LineEnds::Keep, std::uint32_t* rest_out = nullptr,
    string::Input input = string::Input::Whole)
{
    std::uint32_t rest = 99;
    NodeId const node
        = string::decode_utf8(bytes_of(text), size_of(text), no_node, rest, line_ends, string::BadBytes::Raise, input);
    if (rest_out) *rest_out = rest;
    return node;
}

using Points = std::vector<std::uint32_t>;

}

TEST_F(TextEncodingTest, DecodingWidensAsTheTextDemands)
{
    struct Case {
        std::string text;
        Points expected;
        std::uint32_t unit;
    };
    Case const cases[] = {
        { "", {}, 1 },
        { "\xEF\xBB\xBF", {}, 1 }, // a byte-order mark alone
        { "\xEF\xBB\xBFok", { 'o', 'k' }, 1 },
        { "a\xC3\xA9", { 'a', 0xE9 }, 1 }, // Latin-1 stays in 1-byte units
        { "a\xC3\xA9\xE4\xB8\xAD", { 'a', 0xE9, 0x4E2D }, 2 },
        { "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", { 'a', 0xE9, 0x4E2D, 0x1F600 }, 4 },
        { "\xF0\x9F\x98\x80z", { 0x1F600, 'z' }, 4 },
        { "\xE4\xB8\xAD\xF0\x9F\x98\x80", { 0x4E2D, 0x1F600 }, 4 },
        { "a\r\nb", { 'a', '\r', '\n', 'b' }, 1 },
    };
    for (auto const& c : cases) {
        RootedNode node(decoded(c.text));
        EXPECT_EQ(code_points(*node), c.expected) << c.text;
        EXPECT_EQ(unit_of(*node), c.unit) << c.text;
    }
}

// Long runs of ASCII go in at once: after a wide character they land in 2- and 4-byte units too, and a CR
// among them still converts.
TEST_F(TextEncodingTest, AsciiRunsInEveryUnit)
{
    std::string const run(5000, 'x');
    struct Case {
        std::string text;
        std::uint32_t unit;
    };
    Case const cases[] = {
        { run + "\r\n" + run, 1 },
        { run + "\xC3\xA9" + run + "\r" + run, 1 },
        { run + "\xE4\xB8\xAD" + run + "\r\n" + run, 2 },
        { "\xF0\x9F\x98\x80" + run + "\r" + run, 4 },
    };
    for (auto const& c : cases) {
        Points expected;
        for (std::size_t i = 0; i < c.text.size();) {
            auto const byte = static_cast<std::uint8_t>(c.text[i]);
            if (byte == '\r') {
                expected.push_back('\n');
                i += i + 1 < c.text.size() && c.text[i + 1] == '\n' ? 2 : 1;
            } else if (byte < 0x80) {
                expected.push_back(byte);
                ++i;
            } else {
                std::int32_t code_point = 0;
                auto const* start = reinterpret_cast<std::uint8_t const*>(c.text.data()) + i;
                auto const* after = unicode::utf8_decode(start, start + (c.text.size() - i), code_point);
                expected.push_back(static_cast<std::uint32_t>(code_point));
                i += static_cast<std::size_t>(after - start);
            }
        }
        RootedNode node(decoded(c.text, LineEnds::Convert));
        EXPECT_EQ(code_points(*node), expected) << c.unit;
        EXPECT_EQ(unit_of(*node), c.unit);
    }
}

TEST_F(TextEncodingTest, LineEndsAndPieces)
{
    RootedNode converted(decoded("a\r\nb\rc\n\r", LineEnds::Convert));
    EXPECT_EQ(code_points(*converted), (Points { 'a', '\n', 'b', '\n', 'c', '\n', '\n' }));

    // Input that ends inside a sequence: the bytes left over are reported for the next piece.
    std::uint32_t rest = 0;
    RootedNode piece(decoded("ab\xE4\xB8", LineEnds::Keep, &rest, string::Input::Pieces));
    EXPECT_EQ(rest, 2u);
    EXPECT_EQ(code_points(*piece), (Points { 'a', 'b' }));
    std::string const next = "\xE4\xB8\xAD!";
    string::decode_utf8(bytes_of(next), size_of(next), *piece, rest, LineEnds::Keep);
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(code_points(*piece), (Points { 'a', 'b', 0x4E2D, '!' }));
    EXPECT_EQ(unit_of(*piece), 2u);
}

// ASCII goes in runs of eight bytes a step: a CR, a non-ASCII byte or the end at each place in a run must
// stop it exactly there, in 1-, 2- and 4-byte strings alike.
TEST_F(TextEncodingTest, AsciiRunsStopAtTheRightByte)
{
    std::string const prefixes[] = { "", "\xC4\x80", "\xF0\x9F\x98\x80" }; // starting units of 1, 2 and 4 bytes
    for (std::string const& prefix : prefixes) {
        for (std::size_t place = 0; place < 20; ++place) {
            std::string text = prefix + std::string(20, 'x');
            std::string with_cr = text;
            with_cr.insert(prefix.size() + place, "\r\n\r");
            std::string with_e = text;
            with_e.insert(prefix.size() + place, "\xC3\xA9");
            Points expected_cr = code_points(*RootedNode(decoded(prefix)));
            Points expected_e = expected_cr;
            for (std::size_t i = 0; i < 20; ++i) {
                if (i == place) {
                    expected_cr.insert(expected_cr.end(), { '\n', '\n' });
                    expected_e.push_back(0xE9);
                }
                expected_cr.push_back('x');
                expected_e.push_back('x');
            }
            RootedNode converted(decoded(with_cr, LineEnds::Convert));
            EXPECT_EQ(code_points(*converted), expected_cr) << prefix.size() << " " << place;
            RootedNode accented(decoded(with_e));
            EXPECT_EQ(code_points(*accented), expected_e) << prefix.size() << " " << place;
        }
    }
}

// The run's end wherever it falls: in a 64-byte block, in an eight-byte word after the blocks, or in the bytes
// left after the words; a CR ends it only when asked.
TEST_F(TextEncodingTest, AsciiPrefixFindsTheFirstStopAtEveryPlace)
{
    for (std::size_t const length : { 0u, 1u, 7u, 8u, 9u, 63u, 64u, 65u, 130u, 200u }) {
        std::vector<std::uint8_t> plain(length, 'a');
        EXPECT_EQ(string::ascii_prefix(plain.data(), length, true), length) << length;
        for (std::size_t place = 0; place < length; ++place) {
            for (std::uint8_t const stopper : std::initializer_list<std::uint8_t> { 0x80, 0xFF, '\r' }) {
                std::vector<std::uint8_t> bytes = plain;
                bytes[place] = stopper;
                if (place + 1 < length) bytes[length - 1] = 0xC3; // a later stop never counts
                std::size_t const ends_at_cr = stopper == '\r' ? (place + 1 < length ? length - 1 : length) : place;
                EXPECT_EQ(string::ascii_prefix(bytes.data(), length, true), place) << length << " " << place;
                EXPECT_EQ(string::ascii_prefix(bytes.data(), length, false), ends_at_cr) << length << " " << place;
            }
        }
    }
}

// Whole input cut inside a sequence: the bytes left over are the error's argument, never dropped.
TEST_F(TextEncodingTest, WholeInputCutBySequenceEnd)
{
    struct Case {
        std::string text;
        std::string left_over;
    };
    Case const cases[] = {
        { "ab\xE4\xB8", "\xE4\xB8" },
        { "\xF0\x9F\x98", "\xF0\x9F\x98" },
        { "\xC3", "\xC3" },
    };
    for (auto const& c : cases) {
        ASSERT_EQ(raised_by([&] { decoded(c.text); }), err::access::invalid_utf8) << c.text;
        Cell const& argument = errors::last_raised().arguments[0];
        ASSERT_EQ(cell::type_of(argument), type_ids::binary);
        SeriesBuffer* bytes = node::buffer(argument.word2);
        EXPECT_EQ(std::string(reinterpret_cast<char const*>(bytes->head_address()), bytes->length()), c.left_over);
    }
    EXPECT_EQ(raised_by([&] { string::load_utf8(bytes_of(std::string("h\xC3")), 2); }), err::access::invalid_utf8);
}

TEST_F(TextEncodingTest, MalformedInput)
{
    std::string const bad = "a\xFF"
                            "b";
    EXPECT_EQ(raised_by([&] { decoded(bad); }), err::access::invalid_utf8);

    // The loader behind strict loading stops at the bad byte and answers what is left from there.
    Rooted target(make_text<std::uint8_t>({ 'x' }));
    EXPECT_EQ(string::load_utf8_into(bytes_of(bad), size_of(bad), *target), 2u);
    EXPECT_EQ(code_points(target->word2), (Points { 'x', 'a' }));
    std::string const cut = "ok\xC3";
    EXPECT_EQ(string::load_utf8_into(bytes_of(cut), size_of(cut), *target), 1u);

    // Text from the OS always loads: each bad byte, and a sequence cut by the end, stands for itself.
    std::string const os_text = "a\xFF\xC3\xA9\x80z\xE4\xB8";
    std::uint32_t rest = 99;
    RootedNode lenient(string::decode_utf8(
        bytes_of(os_text), size_of(os_text), no_node, rest, LineEnds::Keep, string::BadBytes::AsLatin1));
    EXPECT_EQ(code_points(*lenient), (Points { 'a', 0xFF, 0xE9, 0x80, 'z', 0xE4, 0xB8 }));
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(unit_of(*lenient), 1u);

    Rooted loaded(string::load_utf8(bytes_of(std::string("h\xC3\xA9")), 3));
    EXPECT_EQ(cell::type_of(*loaded), type_ids::string);
    EXPECT_EQ(loaded->word1, 0u);
    EXPECT_EQ(code_points(loaded->word2), (Points { 'h', 0xE9 }));
}

// Long text that widens twice keeps every code point while the buffer grows (and, under GC stress,
// moves at every allocation).
TEST_F(TextEncodingTest, LongTextWideningTwice)
{
    std::string text(3000, 'a');
    for (int i = 0; i < 500; ++i) text += "\xE4\xB8\xAD";
    for (int i = 0; i < 700; ++i) text += "\xF0\x9F\x98\x80";
    RootedNode node(decoded(text));
    Points const points = code_points(*node);
    ASSERT_EQ(points.size(), 4200u);
    EXPECT_EQ(points[2999], static_cast<std::uint32_t>('a'));
    EXPECT_EQ(points[3000], 0x4E2Du);
    EXPECT_EQ(points[3499], 0x4E2Du);
    EXPECT_EQ(points[3500], 0x1F600u);
    EXPECT_EQ(points[4199], 0x1F600u);
    EXPECT_EQ(unit_of(*node), 4u);
}

TEST_F(TextEncodingTest, WideningInPlace)
{
    Rooted text(make_text<std::uint8_t>({ 'a', 0xE9, 'c', 'd' }));
    // A buffer whose head moved forward: indexes count from the head, so they keep their meaning.
    node::buffer(text->word2)->head = 1;
    string::widen_1_to_2(text->word2);
    EXPECT_EQ(code_points(text->word2), (Points { 0xE9, 'c', 'd' }));
    EXPECT_EQ(unit_of(text->word2), 2u);
    string::widen_2_to_4(text->word2);
    EXPECT_EQ(code_points(text->word2), (Points { 0xE9, 'c', 'd' }));
    EXPECT_EQ(unit_of(text->word2), 4u);

    Rooted empty(make_text<std::uint8_t>({}));
    string::widen_1_to_4(empty->word2);
    EXPECT_EQ(code_points(empty->word2), Points {});
    EXPECT_EQ(unit_of(empty->word2), 4u);
    EXPECT_GE(node::buffer(empty->word2)->capacity, 4u);
}

TEST_F(TextEncodingTest, LoadingUtf16)
{
    struct Case {
        std::vector<std::uint16_t> units;
        LineEnds line_ends;
        Points expected;
        std::uint32_t unit;
    };
    Case const cases[] = {
        { {}, LineEnds::Keep, {}, 2 },
        { { 'A', 0xE9 }, LineEnds::Keep, { 'A', 0xE9 }, 1 },
        { { 'A', 0x4E2D }, LineEnds::Keep, { 'A', 0x4E2D }, 2 },
        { { 0xD83D, 0xDE00, 'x' }, LineEnds::Keep, { 0x1F600, 'x' }, 4 },
        { { 0xDC00, 'x' }, LineEnds::Keep, { 0xDC00, 'x' }, 4 }, // a lone trail unit stays as it is
        // A lone lead unit stays as well, in the middle or last: foreign text never ends the session.
        { { 'a', 0xD83D, 'b' }, LineEnds::Keep, { 'a', 0xD83D, 'b' }, 4 },
        { { 'a', 0xD83D }, LineEnds::Keep, { 'a', 0xD83D }, 4 },
        { { 0xD83D, 0xD83D, 0xDE00 }, LineEnds::Keep, { 0xD83D, 0x1F600 }, 4 },
        { { 'a', '\r', '\n', 'b', '\r' }, LineEnds::Convert, { 'a', '\n', 'b' }, 1 },
        { { 'a', '\r', '\n' }, LineEnds::Keep, { 'a', '\r', '\n' }, 1 },
    };
    for (auto const& c : cases) {
        RootedNode node(string::load_utf16le(reinterpret_cast<std::byte const*>(c.units.data()),
            static_cast<std::uint32_t>(c.units.size()), no_node, c.line_ends));
        EXPECT_EQ(code_points(*node), c.expected);
        EXPECT_EQ(unit_of(*node), c.unit);
    }
    // Into a given string: its content is replaced and its unit follows the text.
    Rooted target(make_text<std::uint16_t>({ 0x4E2D, 0x4E2D, 0x4E2D, 0x4E2D, 0x4E2D, 0x4E2D }));
    std::vector<std::uint16_t> const units { 'h', 'i', 0xD83D, 0xDE00, 'a', 'b', 'c', 'd', 'e', 'f', 'g' };
    NodeId const node = string::load_utf16le(reinterpret_cast<std::byte const*>(units.data()),
        static_cast<std::uint32_t>(units.size()), target->word2, LineEnds::Keep);
    EXPECT_EQ(node, target->word2);
    EXPECT_EQ(code_points(node), (Points { 'h', 'i', 0x1F600, 'a', 'b', 'c', 'd', 'e', 'f', 'g' }));
    EXPECT_EQ(unit_of(node), 4u);
}

TEST_F(TextEncodingTest, ToUtf8)
{
    struct Case {
        Cell (*make)();
        std::uint32_t index;
        std::int32_t units;
        LineEnds line_ends;
        std::string expected;
    };
    auto latin = [] { return make_text<std::uint8_t>({ 'a', 0xE9, '\n', 'b' }); };
    auto ucs2 = [] { return make_text<std::uint16_t>({ 'a', 0x4E2D, '\n' }); };
    auto ucs4 = [] { return make_text<std::uint32_t>({ 0x1F600, 'z' }); };
    Case const cases[] = {
        { latin, 0, -1, LineEnds::Keep, "a\xC3\xA9\nb" },
        { latin, 0, -1, LineEnds::Convert, "a\xC3\xA9\r\nb" },
        { latin, 1, 2, LineEnds::Keep, "\xC3\xA9\n" },
        { latin, 9, -1, LineEnds::Keep, "" }, // an index past the tail reads as the tail
        { ucs2, 0, -1, LineEnds::Convert, "a\xE4\xB8\xAD\r\n" },
        { ucs4, 0, -1, LineEnds::Keep, "\xF0\x9F\x98\x80z" },
        { ucs4, 0, 0, LineEnds::Keep, "" },
    };
    for (auto const& c : cases) {
        Rooted value(c.make());
        value->word1 = c.index;
        std::int32_t length = c.units;
        char const* text = string::to_utf8_cstr_crlf(*value, length, c.line_ends);
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(length)), c.expected);
        EXPECT_EQ(text[length], '\0');
        EXPECT_NE(value->word3, no_node);
    }
}

// One scratch buffer a value: reused while large enough, replaced by a larger one otherwise.
TEST_F(TextEncodingTest, ConversionBufferIsReused)
{
    Rooted value(make_text<std::uint8_t>({ 'a', 'b' }));
    std::int32_t length = -1;
    string::to_utf8_cstr(*value, length);
    NodeId const first = value->word3;
    std::uint32_t const capacity = node::buffer(first)->capacity;
    length = -1;
    EXPECT_EQ(std::string(string::to_utf8_cstr(*value, length)), "ab");
    EXPECT_EQ(value->word3, first);
    EXPECT_EQ(string::conversion_buffer(*value, capacity + 100), first);
    EXPECT_GE(node::buffer(first)->capacity, capacity + 100);
}

TEST_F(TextEncodingTest, IntoCallerBuffers)
{
    Rooted value(make_text<std::uint16_t>({ 'a', 0xE9, 0x4E2D, 'z' }));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(string::encode_utf8_into(*value, buffer, -1, string::Terminate::Yes), 7u);
    EXPECT_EQ(std::string(buffer),
        "a\xC3\xA9\xE4\xB8\xAD"
        "z");
    EXPECT_EQ(string::encode_utf8_into(*value, buffer, 2, string::Terminate::No), 3u);

    struct Case {
        std::uint32_t budget;
        string::Terminate terminate;
        std::string expected;
    };
    Case const cases[] = {
        { 16, string::Terminate::Yes,
            "a\xC3\xA9\xE4\xB8\xAD"
            "z" },
        { 7, string::Terminate::No,
            "a\xC3\xA9\xE4\xB8\xAD"
            "z" },
        { 7, string::Terminate::Yes, "a\xC3\xA9\xE4\xB8\xAD" }, // the NUL takes the last byte
        { 5, string::Terminate::No, "a\xC3\xA9" }, // no cut sequence
        { 2, string::Terminate::No, "a" },
        { 1, string::Terminate::Yes, "" },
        { 0, string::Terminate::Yes, "" },
    };
    for (auto const& c : cases) {
        std::memset(buffer, '#', sizeof buffer);
        std::uint32_t const written = string::encode_utf8_limited(*value, buffer, c.budget, -1, c.terminate);
        EXPECT_EQ(std::string(buffer, written), c.expected) << c.budget;
        bool const terminated = c.terminate == string::Terminate::Yes && c.budget > 0;
        if (terminated) {
            EXPECT_EQ(buffer[written], '\0');
        }
        EXPECT_LE(written + (terminated ? 1u : 0u), c.budget);
    }
}

TEST_F(TextEncodingTest, ToUtf16)
{
    Rooted value(make_text<std::uint32_t>({ 'a', 0x10000, '\n', 0x10FFFF }));
    std::int32_t length = -1;
    char16_t const* units = string::to_utf16(*value, length, LineEnds::Keep);
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(std::u16string(units, static_cast<std::size_t>(length)),
        (std::u16string { u'a', 0xD800, 0xDC00, u'\n', 0xDBFF, 0xDFFF }));
    EXPECT_EQ(units[length], 0);
    EXPECT_GE(node::buffer(value->word3)->capacity, 2u * (static_cast<std::uint32_t>(length) + 1));

    units = string::to_utf16_crlf(*value);
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(std::u16string(units), (std::u16string { u'a', 0xD800, 0xDC00, u'\r', u'\n', 0xDBFF, 0xDFFF }));

    Rooted latin(make_text<std::uint8_t>({ 'x', 0xE9, 'y' }, 1));
    length = 1;
    units = string::to_utf16(*latin, length, LineEnds::Keep);
    EXPECT_EQ(std::u16string(units, static_cast<std::size_t>(length)), u"\u00E9");

    Rooted broken(make_text<std::uint32_t>({ 'a', 0x110000 }));
    length = -1;
    EXPECT_EQ(string::to_utf16(*broken, length, LineEnds::Keep), nullptr);
}

// A unit field other than 1, 2 or 4 is a broken invariant: runtime error 101 ends the process.
TEST_F(TextEncodingTest, BrokenUnitEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Rooted value(make_text<std::uint8_t>({ 'a', 'b', 'c', 'd' }));
    node::buffer(value->word2)->flags = (node::buffer(value->word2)->flags & ~series_flags::unit_mask) | 8;
    std::int32_t length = -1;
    EXPECT_EXIT(string::to_utf8_cstr(*value, length), ::testing::ExitedWithCode(101), "");
    node::buffer(value->word2)->flags = (node::buffer(value->word2)->flags & ~series_flags::unit_mask) | 1;
}
