// string!: unit widening, one-unit edits, splicing, comparison, hexadecimal digits and UTF-8 loading.

#include <cstring>
#include <vector>

#include "datatypes/symbol.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "text_fixture.h"

using namespace xol;

namespace {

using StringBuffer = TextTest;

// Appending keeps 1-byte units for ASCII only; positional writes keep them for all of Latin-1.
TEST_F(StringBuffer, WideningDependsOnTheOperation)
{
    Rooted appended(string::make(4));
    string::append_char(*appended, 'a');
    string::append_char(*appended, 233);
    EXPECT_EQ(unit_of(*appended), 2u);
    EXPECT_EQ(utf8(*appended), "a\u00E9");

    Rooted written(text("abc"));
    string::write_char(written->word2, 1, 233);
    EXPECT_EQ(unit_of(*written), 1u);
    string::put_char(written->word2, 2, 234);
    EXPECT_EQ(unit_of(*written), 1u);
    EXPECT_EQ(utf8(*written), "a\u00E9\u00EA");
    string::put_char(written->word2, 0, 0x4E2D);
    EXPECT_EQ(unit_of(*written), 2u);
    EXPECT_EQ(utf8(*written), "\u4E2D\u00E9\u00EA");

    Rooted wide(text("x\u4E2D"));
    ASSERT_EQ(unit_of(*wide), 2u);
    string::append_char(*wide, 0x1F600);
    EXPECT_EQ(unit_of(*wide), 4u);
    EXPECT_EQ(utf8(*wide), "x\u4E2D\U0001F600");

    Rooted straight(string::make(1));
    string::append_char(*straight, 0x1F600);
    EXPECT_EQ(unit_of(*straight), 4u) << "1 to 4 in one step";
}

TEST_F(StringBuffer, WriteCharGrowsAndMovesTheTail)
{
    Rooted value(string::make(1));
    for (std::uint32_t i = 0; i < 40; ++i) string::write_char(value->word2, i, 'a' + i % 26);
    EXPECT_EQ(string::length(*value), 40u);
    string::write_char(value->word2, 0, 'Z');
    EXPECT_EQ(string::length(*value), 40u) << "a write inside the text leaves the tail";
    EXPECT_EQ(string::char_at(*value, 0), static_cast<std::uint32_t>('Z'));
    string::write_char(value->word2, 42, '!');
    EXPECT_EQ(string::length(*value), 43u);
    EXPECT_EQ(string::char_at(*value, 40), 0u) << "skipped units hold 0";
}

TEST_F(StringBuffer, InsertAndRemoveUnits)
{
    Rooted value(text("ab\u4E2Dcd"));
    Rooted run(text("XYZ"));
    string::splice(*value, *run, -1, 2, true, string::SpliceMode::Insert);
    EXPECT_EQ(utf8(*value), "abXYZ\u4E2Dcd");

    string::insert_char_at(value->word2, 0, '>');
    string::insert_char_at(value->word2, 100, '<'); // past the tail: at the tail
    EXPECT_EQ(utf8(*value), ">abXYZ\u4E2Dcd<");
    string::remove_at(*value, 1, 2);
    EXPECT_EQ(utf8(*value), ">XYZ\u4E2Dcd<");
    string::remove_unit(*value, 0);
    string::remove_at(*value, 6, 100); // clipped to the tail
    EXPECT_EQ(utf8(*value), "XYZ\u4E2Dcd");
    string::remove_at(*value, 6, 1); // at the tail: nothing
    string::truncate_at(value->word2, 3);
    EXPECT_EQ(utf8(*value), "XYZ");
    string::truncate_at(value->word2, 10);
    EXPECT_EQ(utf8(*value), "XYZ") << "a tail beyond the text is left";
}

TEST_F(StringBuffer, SpliceWidensTheNarrowerSide)
{
    Rooted target(text("\U0001F600"));
    Rooted source(text("abc"));
    string::splice(*target, *source, -1, 0, false, string::SpliceMode::Append);
    EXPECT_EQ(utf8(*target), "\U0001F600abc");
    EXPECT_EQ(unit_of(*source), 4u) << "without keep-source the source is widened";

    Rooted kept(text("def"));
    string::splice(*target, *kept, -1, 0, true, string::SpliceMode::Append);
    EXPECT_EQ(utf8(*target), "\U0001F600abcdef");
    EXPECT_EQ(unit_of(*kept), 1u) << "with keep-source the source keeps its unit";

    Rooted narrow(text("abc"));
    string::splice(*narrow, *target, 2, 0, true, string::SpliceMode::Append);
    EXPECT_EQ(unit_of(*narrow), 4u) << "the target takes the source's wider unit";
    EXPECT_EQ(utf8(*narrow), "abc\U0001F600a");
}

// A symbol! operand stands for its spelling: spliced from a new string when it has cached none, compared
// through the cached string its holder made.
TEST_F(StringBuffer, SymbolOperandsReadTheirSpelling)
{
    SymbolId const word = symbol::make("h\u00E9llo-splice");
    Rooted target(text("x"));
    Rooted uncached(symbol::cell_of(word));
    string::splice(*target, *uncached, -1, 0, true, string::SpliceMode::Append);
    EXPECT_EQ(utf8(*target), "xh\u00E9llo-splice");
    EXPECT_EQ(symbol::cell_of(word).word2, no_node) << "the splice made a string of its own";

    Rooted cached(*symbol::get(word));
    string::splice(*target, *cached, 3, 0, true, string::SpliceMode::Insert);
    EXPECT_EQ(utf8(*target), "h\u00E9lxh\u00E9llo-splice");
    Rooted upper(text("H\u00C9LLO-SPLICE"));
    Rooted later(text("z"));
    std::uint64_t const epoch = memory::epoch();
    EXPECT_EQ(string::equal_q(*cached, *upper, CompareOp::Equal, false), 0);
    EXPECT_NE(string::equal_q(*cached, *upper, CompareOp::StrictEqual, false), 0);
    EXPECT_EQ(string::equal_q(*cached, *later, CompareOp::Lesser, false), -1);
    EXPECT_EQ(string::equal_q(*later, *cached, CompareOp::Lesser, false), 1);
    EXPECT_EQ(memory::epoch(), epoch) << "comparing allocated";
}

// A value already being walked molds as its cycle marker. The marker goes to the output in the output's own unit width,
// and its length leaves the budget.
TEST_F(StringBuffer, CycleMarkerAppendsOnlyForValuesOnTheStack)
{
    struct Case {
        TypeId type;
        bool mold;
        std::uint32_t unit;
        char const* expected;
    };
    Case const cases[] = {
        { type_ids::block, true, 1, "ab[...]" },
        { type_ids::object, true, 2, "abmake object! [...]" },
        { type_ids::map, true, 4, "ab#[...]" },
        { type_ids::paren, false, 1, "ab..." },
        { type_ids::object, false, 4, "ab..." },
    };
    for (auto const& c : cases) {
        Rooted output(cell::make(type_ids::string, 0, series::alloc_units(4, c.unit), 0));
        for (char const character : std::string("ab")) {
            std::uint32_t const code = static_cast<unsigned char>(character);
            SeriesBuffer* buffer = node::buffer(output->word2);
            std::memcpy(buffer->tail_address(), &code, c.unit);
            buffer->tail += c.unit;
        }
        Cell const value = cell::make(c.type, 77, 77, 0);
        std::int32_t remaining = 100;

        EXPECT_FALSE(string::append_cycle_marker(value, *output, remaining, c.mold));
        EXPECT_EQ(remaining, 100);
        EXPECT_EQ(utf8(*output), "ab");

        cycles::push(77);
        EXPECT_TRUE(string::append_cycle_marker(value, *output, remaining, c.mold));
        cycles::pop();
        EXPECT_EQ(utf8(*output), c.expected) << int { c.type } << " unit " << c.unit;
        EXPECT_EQ(unit_of(*output), c.unit) << "the marker is written in the output's own unit";
        EXPECT_EQ(remaining, static_cast<std::int32_t>(102 - std::strlen(c.expected)));
    }
}

TEST_F(StringBuffer, SpliceModes)
{
    struct Case {
        char const* target;
        std::uint32_t index;
        char const* source;
        std::int32_t part;
        std::uint32_t offset;
        string::SpliceMode mode;
        char const* expected;
    };
    Case const cases[] = {
        { "abc", 0, "xyz", -1, 0, string::SpliceMode::Append, "abcxyz" },
        { "abc", 1, "xyz", 2, 0, string::SpliceMode::Append, "abcxy" },
        { "abc", 1, "xyz", -1, 0, string::SpliceMode::Insert, "axyzbc" },
        { "abc", 1, "xyz", -1, 1, string::SpliceMode::Insert, "abxyzc" },
        { "abcdef", 1, "XY", -1, 0, string::SpliceMode::Overwrite, "aXYdef" },
        { "abc", 2, "XYZ", -1, 0, string::SpliceMode::Overwrite, "abXYZ" },
        { "abc", 0, "", -1, 0, string::SpliceMode::Insert, "abc" },
        { "abc", 0, "xyz", 0, 0, string::SpliceMode::Insert, "abc" },
    };
    // Each case with a target as made and with one that has room to spare: the splice grows the first and
    // writes straight into the second.
    for (bool const roomy : { false, true }) {
        for (Case const& c : cases) {
            Rooted target(text(c.target));
            if (roomy) {
                Rooted content(*target);
                *target = string::make(64);
                string::splice(*target, *content, -1, 0, true, string::SpliceMode::Append);
            }
            *target = at(*target, c.index);
            Rooted source(text(c.source));
            string::splice(*target, *source, c.part, c.offset, true, c.mode);
            EXPECT_EQ(utf8(at(*target, 0)), c.expected) << c.target << " " << c.source << " roomy " << roomy;
        }
    }
    // A source read from its index; one past its tail gives nothing.
    Rooted target(string::make(64));
    Rooted source(text("abcd"));
    string::splice(*target, at(*source, 2), -1, 0, true, string::SpliceMode::Append);
    string::splice(*target, at(*source, 9), -1, 0, true, string::SpliceMode::Append);
    string::splice(*target, at(*source, 1), 1, 0, true, string::SpliceMode::Append);
    EXPECT_EQ(utf8(*target), "cdb");
}

// A text spliced into itself reads as it stood before the splice began: the same result as splicing a
// copy, wherever the source lies against the insertion point.
TEST_F(StringBuffer, SpliceIntoItself)
{
    struct Case {
        char const* text;
        std::uint32_t target_index;
        std::uint32_t source_index;
        std::int32_t part;
        string::SpliceMode mode;
        char const* expected;
    };
    using string::SpliceMode;
    Case const cases[] = {
        { "abcd", 2, 1, -1, SpliceMode::Insert, "abbcdcd" }, // the source before the insertion point
        { "abcd", 1, 2, -1, SpliceMode::Insert, "acdbcd" }, // after it: the gap opens inside the source
        { "abcd", 0, 1, 2, SpliceMode::Insert, "bcabcd" },
        { "a\u4E2Dcd", 1, 2, -1, SpliceMode::Insert, "acd\u4E2Dcd" },
        { "abcd", 0, 1, -1, SpliceMode::Overwrite, "bcdd" },
        { "abcd", 1, 0, -1, SpliceMode::Overwrite, "aabcd" },
        { "xy", 0, 0, -1, SpliceMode::Append, "xyxy" },
    };
    for (Case const& c : cases) {
        Rooted value(text(c.text));
        Rooted copy(text(utf8(at(*value, c.source_index))));
        string::splice(at(*value, c.target_index), at(*value, c.source_index), c.part, 0, true, c.mode);
        EXPECT_EQ(utf8(*value), c.expected) << c.text << " " << c.target_index << " " << c.source_index;
        Rooted apart(text(c.text));
        string::splice(at(*apart, c.target_index), *copy, c.part, 0, true, c.mode);
        EXPECT_EQ(utf8(*apart), utf8(*value)) << "as a copy would: " << c.text;
    }
}

TEST_F(StringBuffer, AccessorsClampAnIndexPastTheTail)
{
    Rooted value(text("abcdef"));
    Rooted later(at(*value, 5));
    string::truncate_at(value->word2, 2);
    EXPECT_EQ(string::rs_length_q(*later), 0u);
    EXPECT_TRUE(string::rs_tail_q(*later));
    EXPECT_EQ(string::rs_head(*later), string::rs_tail(*later));
    EXPECT_EQ(later->word1, 2u) << "rs_head sets the index back to the tail";
    EXPECT_EQ(string::rs_length_all(*later), 2u);

    Rooted moving(text("abc"));
    EXPECT_FALSE(string::rs_skip(*moving, 2));
    EXPECT_EQ(moving->word1, 2u);
    EXPECT_TRUE(string::rs_next(*moving));
    EXPECT_TRUE(string::rs_skip(*moving, 5)) << "past the tail: the index stays";
    EXPECT_EQ(moving->word1, 3u);
}

TEST_F(StringBuffer, FindCharAndReset)
{
    Rooted value(at(text("abcabc\u4E2D"), 1));
    EXPECT_EQ(string::find_char(*value, 'a'), 2);
    EXPECT_EQ(string::find_char(*value, 0x4E2D), 5);
    EXPECT_EQ(string::find_char(*value, 'z'), -1);
    string::rs_reset(*value);
    EXPECT_EQ(value->word1, 0u);
    EXPECT_EQ(unit_of(*value), 1u);
    EXPECT_EQ(string::rs_length_all(*value), 0u);
}

TEST_F(StringBuffer, RotateRuns)
{
    struct Case {
        char const* before;
        std::uint32_t offset, length1, length2, gap;
        char const* after;
    };
    Case const cases[] = {
        { "abcXYZZY", 0, 3, 5, 0, "XYZZYabc" },
        { "abcdeXY", 0, 5, 2, 0, "XYabcde" },
        { "-ab--XYZ", 1, 2, 3, 2, "-XYZ--ab" },
        { "abc", 1, 0, 2, 0, "abc" },
    };
    for (Case const& c : cases) {
        Rooted value(text(c.before));
        string::rotate_runs(value->word2, c.offset, c.length1, c.length2, c.gap);
        EXPECT_EQ(utf8(*value), c.after) << c.before;
    }
    // A run larger than the scratch buffer.
    std::string const long_run(70'000, 'x');
    Rooted big(text(long_run + std::string(70'001, 'y')));
    string::rotate_runs(big->word2, 0, 70'000, 70'001, 0);
    EXPECT_EQ(string::char_at(*big, 0), static_cast<std::uint32_t>('y'));
    EXPECT_EQ(string::char_at(*big, 70'001), static_cast<std::uint32_t>('x'));
}

TEST_F(StringBuffer, MoveUnitsBetweenWidths)
{
    Rooted source(at(text("ab\u4E2Dcd"), 1));
    Rooted target(at(text("xy"), 1));
    string::move_units(*source, *target, 3 * 2);
    EXPECT_EQ(utf8(at(*source, 0)), "ad");
    EXPECT_EQ(utf8(at(*target, 0)), "xb\u4E2Dcy");
}

TEST_F(StringBuffer, EqualQ)
{
    struct Case {
        char const* left;
        char const* right;
        CompareOp op;
        bool match;
        std::int32_t expected;
    };
    Case const cases[] = {
        { "abc", "ABC", CompareOp::Equal, false, 0 },
        { "abc", "ABC", CompareOp::StrictEqual, false, 1 },
        { "ab", "abc", CompareOp::Lesser, false, -1 },
        { "b", "abc", CompareOp::Lesser, false, 1 },
        { "abc", "ab", CompareOp::Greater, false, 1 },
        { "", "a", CompareOp::Lesser, false, -1 },
        { "a", "", CompareOp::Lesser, false, 1 },
        { "", "", CompareOp::Equal, false, 0 },
        { "ab", "abc", CompareOp::Equal, false, 1 },
        { "a", "B", CompareOp::Sort, false, -1 },
        { "a", "B", CompareOp::CaseSort, false, 1 },
        { "\u00E9", "\u00C9", CompareOp::Equal, false, 0 },
        { "abcdef", "abc", CompareOp::Equal, true, 0 },
        { "abcdef", "ABC", CompareOp::StrictEqual, true, 1 },
        { "ab", "abc", CompareOp::Equal, true, 1 },
        { "ab", "", CompareOp::Equal, true, 0 },
        { "ab", "", CompareOp::FindEqual, true, 1 },
    };
    for (Case const& c : cases) {
        Rooted left(text(c.left));
        Rooted right(text(c.right));
        std::int32_t const answer = string::equal_q(*left, *right, c.op, c.match);
        if (c.expected == 1 && (c.op == CompareOp::Equal || c.op == CompareOp::StrictEqual))
            EXPECT_NE(answer, 0) << c.left << " " << c.right;
        else
            EXPECT_EQ(answer, c.expected) << c.left << " " << c.right;
    }
    Rooted value(text("abc"));
    EXPECT_EQ(string::equal_q(*value, *value, CompareOp::Same, false), 0);
    EXPECT_EQ(string::equal_q(*value, at(*value, 1), CompareOp::Same, false), -1);
    Rooted copy(text("abc"));
    EXPECT_EQ(string::equal_q(*value, *copy, CompareOp::Same, false), -1);

    Rooted longer(text("abz"));
    Cell slice = *copy;
    slice.header = string::bounded_slice_type;
    slice.word3 = 2;
    EXPECT_EQ(string::equal_q(*longer, slice, CompareOp::Equal, true), 0) << "only 2 units take part";
}

TEST_F(StringBuffer, MatchArg)
{
    Rooted input(text("<ab>cd"));
    Rooted tag(text("AB"));
    tag->header = type_ids::tag;
    EXPECT_TRUE(string::tag_delimited_q(*input, *tag));
    EXPECT_EQ(string::match_arg(*input, *tag, 0), 1);
    EXPECT_EQ(string::match_arg(*input, *tag, 2), 0);
    EXPECT_EQ(string::match_arg(*input, char_::make('<'), 2), 1);
    EXPECT_EQ(string::match_arg(at(*input, 1), char_::make('A'), 0), 1);
    EXPECT_EQ(string::match_arg(at(*input, 1), char_::make('A'), 2), 0);
    EXPECT_EQ(string::match_arg(at(*input, 6), char_::make('A'), 0), 0) << "at the tail";
    Rooted prefix(text("<AB"));
    EXPECT_EQ(string::match_arg(*input, *prefix, 0), 1);
    EXPECT_EQ(string::match_arg(*input, integer::make(1), 0), 0);
    Rooted short_input(text("<a"));
    EXPECT_FALSE(string::tag_delimited_q(*short_input, *tag));

    Rooted run(text("aXbYc"));
    EXPECT_TRUE(string::char_in_run_q(*run, 'b', 2, true));
    EXPECT_FALSE(string::char_in_run_q(*run, 'X', 2, true));
    EXPECT_TRUE(string::char_in_run_q(*run, 'B', 2, false));
    EXPECT_FALSE(string::char_in_run_q(*run, 'B', 2, true));
}

TEST_F(StringBuffer, CharInBitset)
{
    // Bits 65 ('A') and 67 ('C') in a 9-byte bitset.
    Rooted bits(binary_of({ 0, 0, 0, 0, 0, 0, 0, 0, 0 }));
    bits->header = type_ids::bitset;
    std::byte* bytes = node::buffer(bits->word2)->head_address();
    bytes[8] = std::byte { 0x40 | 0x10 };
    Rooted value(text("ABC\u4E2D"));
    EXPECT_TRUE(string::char_in_bitset_q(*value, *bits));
    EXPECT_FALSE(string::char_in_bitset_q(at(*value, 1), *bits));
    EXPECT_TRUE(string::char_in_bitset_q(at(*value, 2), *bits));
    EXPECT_FALSE(string::char_in_bitset_q(at(*value, 3), *bits)) << "beyond the bits: the complement flag";
    node::buffer(bits->word2)->flags |= 0x80000;
    EXPECT_TRUE(string::char_in_bitset_q(at(*value, 3), *bits));
}

TEST_F(StringBuffer, Hexadecimal)
{
    EXPECT_STREQ(string::to_hex(30, true), "1E");
    EXPECT_STREQ(string::to_hex(0, true), "00");
    EXPECT_STREQ(string::to_hex(-1, false), "FFFFFFFF");
    EXPECT_STREQ(string::to_hex(255, false), "000000FF");
    EXPECT_STREQ(string::to_hex(0x10FFFF, true), "10FFFF");
    EXPECT_STREQ(string::to_hex(0x7FFFFFFF, false), "7FFFFFFF");
    EXPECT_STREQ(string::to_hex(-16, false), "FFFFFFF0");
    EXPECT_STREQ(string::byte_to_hex(0xA7), "A7");
    EXPECT_STREQ(string::byte_to_hex(0x05), "05");
}

TEST_F(StringBuffer, Literals)
{
    Rooted value(text("ab"));
    EXPECT_EQ(string::append_ascii(*value, "cd", 10), 8);
    string::concatenate_literal(*value, "e\xE9");
    EXPECT_EQ(unit_of(*value), 2u) << "each byte is one code point, appended";
    EXPECT_EQ(utf8(*value), "abcde\u00E9");
    string::concatenate_literal_part(*value, "xyz", 2);
    EXPECT_EQ(utf8(*value), "abcde\u00E9xy");

    Rooted abcd(text("abcd"));
    EXPECT_TRUE(string::with_c_string(*abcd, "ab"));
    EXPECT_FALSE(string::with_c_string(*abcd, "ac"));
    EXPECT_TRUE(string::with_c_string(at(*abcd, 2), "cd"));
    Rooted a(text("a"));
    EXPECT_FALSE(string::with_c_string(*a, "ab"));
    Rooted wide(text("\u0161"));
    EXPECT_FALSE(string::with_c_string(*wide, "a")) << "a code point above 255 never matches";
}

TEST_F(StringBuffer, LoadingText)
{
    std::byte const good[] = { std::byte { 'a' }, std::byte { 0xC3 }, std::byte { 0xA9 } };
    Rooted loaded(string::load_utf8_strict(good, 3));
    EXPECT_EQ(utf8(*loaded), "a\u00E9");

    std::byte const bad[] = { std::byte { 0x61 }, std::byte { 0xFF }, std::byte { 0x62 } };
    auto const error = raised_by([&] { string::load_utf8_strict(bad, 3); });
    ASSERT_EQ(error, err::access::invalid_utf8);
    Cell const& argument = errors::last_raised().arguments[0];
    ASSERT_EQ(cell::type_of(argument), type_ids::binary);
    SeriesBuffer* bytes = node::buffer(argument.word2);
    ASSERT_EQ(bytes->length(), 2u);
    EXPECT_EQ(bytes->head_address()[0], std::byte { 0xFF });
    EXPECT_EQ(bytes->head_address()[1], std::byte { 0x62 });

    // A sequence cut by the end is an error too: the strict loader reads the whole input.
    std::byte const cut[] = { std::byte { 'a' }, std::byte { 0xE4 }, std::byte { 0xB8 } };
    ASSERT_EQ(raised_by([&] { string::load_utf8_strict(cut, 3); }), err::access::invalid_utf8);
    SeriesBuffer* left = node::buffer(errors::last_raised().arguments[0].word2);
    ASSERT_EQ(left->length(), 2u);
    EXPECT_EQ(left->head_address()[0], std::byte { 0xE4 });

    // "a", U+00E9, U+1F600 as a surrogate pair.
    std::byte const utf16[] = { std::byte { 'a' }, std::byte { 0 }, std::byte { 0xE9 }, std::byte { 0 },
        std::byte { 0x3D }, std::byte { 0xD8 }, std::byte { 0x00 }, std::byte { 0xDE } };
    Cell* pushed = string::load(utf16, 8, string::Encoding::Utf16le);
    EXPECT_EQ(utf8(*pushed), "a\u00E9\U0001F600");
    stack::pop(1);

    Rooted block(block_of({}));
    string::load_at(good, 3, *block, string::Encoding::Utf8);
    SeriesBuffer* cells = node::buffer(block->word2);
    ASSERT_EQ(cells->length(), 1u);
    EXPECT_EQ(utf8(cells->head_cell()[0]), "a\u00E9");

    Rooted into(cell::make(type_ids::none));
    string::load_into(good, 1, &*into, string::Encoding::Utf8);
    EXPECT_EQ(utf8(*into), "a");
}

TEST_F(StringBuffer, Utf8RoundTrip)
{
    std::string const sample = "plain \u00E9\u00FF \u4E2D\u6587 \U0001F600 end";
    Rooted value(text(sample));
    EXPECT_EQ(unit_of(*value), 4u);
    EXPECT_EQ(utf8(*value), sample);
    EXPECT_EQ(string::length(*value), 17u);
    EXPECT_EQ(raised_by([] { string::from_utf8("a\xC3"); }), err::access::invalid_utf8) << "cut short";
}

// Every edit that widens gets the node from its root again: the collection that widening may run can
// move the text's node to another node frame.
TEST_F(StringBuffer, EditsSurviveNodeRelocation)
{
    using Edit = void (*)(Cell const& value, Cell const& other);
    struct Case {
        char const* name;
        Edit edit;
        char const* expected;
    };
    // 16 units fill their buffer: widening them must allocate.
    Case const cases[] = {
        { "append_char", [](Cell const& value, Cell const&) { string::append_char(value.word2, 0x4E2D); },
            "abcdefghijklmnop\u4E2D" },
        { "write_char", [](Cell const& value, Cell const&) { string::write_char(value.word2, 16, 0x4E2D); },
            "abcdefghijklmnop\u4E2D" },
        { "insert_char_at", [](Cell const& value, Cell const&) { string::insert_char_at(value.word2, 1, 0x4E2D); },
            "a\u4E2Dbcdefghijklmnop" },
        { "put_char", [](Cell const& value, Cell const&) { string::put_char(value.word2, 1, 0x4E2D); },
            "a\u4E2Dcdefghijklmnop" },
        { "splice",
            [](Cell const& value, Cell const& other) {
                string::splice(value, other, -1, 1, false, string::SpliceMode::Insert);
            },
            "a\u4E2D!bcdefghijklmnop" },
        { "concatenate_literal", [](Cell const& value, Cell const&) { string::concatenate_literal(value, "\xE9\xEA"); },
            "abcdefghijklmnop\u00E9\u00EA" },
    };
    for (Case const& c : cases) {
        // The texts get a node frame of their own, which becomes sparse and then stable. The collection
        // first frees the nodes of the previous case, which would otherwise take the texts.
        gc::collect();
        std::vector<NodeId> garbage;
        while (memory::state.node_current->free_head != no_node) garbage.push_back(node::alloc());
        Rooted value(text("abcdefghijklmnop"));
        Rooted other(text("\u4E2D!"));
        for (NodeId node : garbage) node::free(node);
        memory::NodeFrame* frame = node::frame_of(value->word2);
        std::uint32_t const mask = (1u << (gc::history_depth + 1)) - 1;
        for (int i = 0; i < 20 && (frame->history & mask) != mask; ++i) gc::collect();
        std::uint32_t const relocations = gc::state.node_relocations;
        bool const stress = gc::state.stress;
        gc::state.stress = true;
        c.edit(*value, *other);
        gc::state.stress = stress;
        EXPECT_GT(gc::state.node_relocations, relocations) << c.name << ": the edit's collection moved the node";
        EXPECT_EQ(utf8(*value), c.expected) << c.name;
    }
}

}
