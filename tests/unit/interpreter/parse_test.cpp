// The parse engine from inside: its matching routines over raw units of every width, inputs of types the
// scripts cannot make yet (binary!, tag!), and the stacks, which every run leaves as it found them.

#include <initializer_list>
#include <string>
#include <string_view>

#include "../runtime/runtime_fixture.h"
#include "datatypes/bitset.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/word.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/parse/matching.h"
#include "interpreter/parse/parse.h"
#include "runtime/roots.h"
#include "runtime/series.h"

using namespace xol;

namespace {

struct ParseTest : RuntimeTest {
    static Cell text(std::string_view utf8) { return string::from_utf8(utf8); }

    // A text of a type that shares string!'s layout.
    static Cell text_of_type(std::string_view utf8, TypeId type)
    {
        Cell made = string::from_utf8(utf8);
        cell::set_type(made, type);
        return made;
    }

    static Cell binary(std::initializer_list<unsigned char> bytes)
    {
        NodeId const node = series::alloc_bytes(bytes.size());
        for (unsigned char byte : bytes) buffer::append_byte(node, byte);
        return cell::make(type_ids::binary, 0, node, 0);
    }

    static Cell binary(std::string_view bytes)
    {
        NodeId const node = series::alloc_bytes(bytes.size());
        for (char byte : bytes) buffer::append_byte(node, static_cast<std::uint8_t>(byte));
        return cell::make(type_ids::binary, 0, node, 0);
    }

    static Cell rules(std::string_view source)
    {
        Rooted code(text(source));
        return lexer::load_all(*code);
    }

    // The answer of a run, molded, or "error". `value`, when given, takes the place of the rules' first
    // word `value`: a rule the lexer cannot make yet.
    static std::string run(Cell const& input, std::string_view source, Cell const* value = nullptr)
    {
        Rooted kept(input);
        Rooted code(rules(source));
        if (value) {
            SeriesBuffer* buffer = series::buffer_of(*code);
            for (std::uint32_t i = 0; i < buffer->length(); ++i) {
                Cell& item = buffer->head_cell()[i];
                if (cell::type_of(item) == type_ids::word && symbol::spelling(item.word2) == "value") {
                    item = *value;
                    break;
                }
            }
        }
        std::string answer;
        std::optional<ErrorId> const error = raised_by([&] {
            Rooted result(parse::run(*kept, *code, CompareOp::Equal, parse::no_limit, none_value));
            Rooted molded(string::from_utf8(""));
            actions::mold_typed(*result, *molded, false, false, false, nullptr, 0x7FFFFFFF, 0);
            answer = string::to_utf8(*molded);
        });
        EXPECT_TRUE(parse::stacks_empty()) << source;
        return error ? "error" : answer;
    }

    // A charset from spec source: a text, or a block such as `not "abc"`.
    static Cell charset(std::string_view source)
    {
        Rooted spec(rules(source));
        if (series::length_of(*spec) == 1) *spec = series::buffer_of(*spec)->head_cell()[0];
        return bitset::make_from_spec(*spec, false);
    }

    static Cell global(std::string_view name)
    {
        Rooted named(word::make_global(name));
        return *word::get_value(*named);
    }
};

// One literal at the position: the units it covers, for every pair of unit widths, with and without case.
TEST_F(ParseTest, LiteralsMatchAcrossUnitWidths)
{
    using namespace std::string_view_literals;
    Rooted wide_e(text("É€")); // a 2-byte text holding É alone once € is gone
    string::remove_at(*wide_e, 1, 1);
    struct Case {
        std::string_view input;
        std::string_view rule; // empty with `wide`
        bool wide;
        CompareOp mode;
        std::int64_t units;
    };
    Case const cases[] = {
        { "abc", "AB", false, CompareOp::Equal, 2 },
        { "abc", "AB", false, CompareOp::StrictEqual, -1 },
        { "aé€", "AÉ", false, CompareOp::Equal, 2 }, // 2-byte input, 1-byte rule
        { "é", "", true, CompareOp::Equal, 1 }, // 1-byte input, 2-byte rule
        { "é", "", true, CompareOp::StrictEqual, -1 },
        { "𐐨𐐩", "𐐀", false, CompareOp::Equal, 1 }, // above 0xFFFF
        { "𐐨𐐩", "𐐀", false, CompareOp::StrictEqual, -1 },
        { "a\0b"sv, "A\0B"sv, false, CompareOp::Equal, 3 }, // NUL folds to itself
        { "\0"sv, "a", false, CompareOp::Equal, -1 },
        { "ab", "abc", false, CompareOp::Equal, -1 },
        { "ab", "", false, CompareOp::Equal, 0 },
    };
    for (Case const& c : cases) {
        Rooted input(text(c.input));
        Rooted rule(c.wide ? *wide_e : text(c.rule));
        EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Text, *rule, c.mode, 100), c.units)
            << c.input << " / " << (c.wide ? "wide É" : c.rule);
    }
}

// A tag! matches "<", its text and ">": its length plus 2.
TEST_F(ParseTest, TagsCoverTheirBrackets)
{
    Rooted input(text("x<AB>y"));
    Rooted tag(text_of_type("ab", type_ids::tag));
    Rooted at_bracket(*input);
    at_bracket->word1 = 1;
    EXPECT_EQ(parse::match_literal(*at_bracket, parse::InputKind::Text, *tag, CompareOp::Equal, 6), 4);
    EXPECT_EQ(parse::match_literal(*at_bracket, parse::InputKind::Text, *tag, CompareOp::StrictEqual, 6), -1);
    EXPECT_EQ(parse::match_literal(*at_bracket, parse::InputKind::Text, *tag, CompareOp::Equal, 4), -1)
        << "the limit cuts the tag";
    parse::Found const found = parse::search_literal(*input, parse::InputKind::Text, *tag, CompareOp::Equal, 6);
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.start, 1u);
    EXPECT_EQ(found.length, 4u);
    EXPECT_EQ(run(*input, "thru value #\"y\"", &*tag), "true");
    EXPECT_EQ(run(*input, "to value 4 skip #\"y\"", &*tag), "true");
    EXPECT_EQ(run(*input, "skip value #\"y\"", &*tag), "true");
    Rooted tags(text("<a><a><b>"));
    Rooted a(text_of_type("A", type_ids::tag));
    parse::Repeated const repeated = parse::repeat_literal(*tags, parse::InputKind::Text, *a, CompareOp::Equal, 9, -1);
    EXPECT_EQ(repeated.count, 2u);
    EXPECT_EQ(repeated.length, 6u);
}

// Searches and repetitions stop at the end they are given (the /part limit) and at their maximum.
TEST_F(ParseTest, SearchesAndRepetitionsStopAtTheEnd)
{
    Rooted input(text("aaaab"));
    Cell const a = cell::make(type_ids::char_, 0, 'A', 0);
    EXPECT_EQ(parse::repeat_literal(*input, parse::InputKind::Text, a, CompareOp::Equal, 2, -1).count, 2u);
    EXPECT_EQ(parse::repeat_literal(*input, parse::InputKind::Text, a, CompareOp::Equal, 5, 3).count, 3u);
    EXPECT_EQ(parse::repeat_literal(*input, parse::InputKind::Text, a, CompareOp::StrictEqual, 5, -1).count, 0u);
    Cell const b = cell::make(type_ids::char_, 0, 'b', 0);
    EXPECT_FALSE(parse::search_literal(*input, parse::InputKind::Text, b, CompareOp::Equal, 4).found);
    EXPECT_TRUE(parse::search_literal(*input, parse::InputKind::Text, b, CompareOp::Equal, 5).found);
    Rooted ab(text("AB"));
    EXPECT_FALSE(parse::search_literal(*input, parse::InputKind::Text, *ab, CompareOp::Equal, 4).found);
    parse::Found const found = parse::search_literal(*input, parse::InputKind::Text, *ab, CompareOp::Equal, 5);
    EXPECT_EQ(found.start, 3u);
    Cell const number = cell::make(type_ids::integer, 0, 1, 0);
    EXPECT_TRUE(parse::search_literal(*input, parse::InputKind::Text, number, CompareOp::Equal, 5).unsupported);
}

// Bytes are never folded, whatever the mode; a text rule stands for its UTF-8 bytes.
TEST_F(ParseTest, BinaryInputNeverFolds)
{
    Rooted input(binary("aAé"));
    Cell const upper = cell::make(type_ids::char_, 0, 'A', 0);
    parse::Found const found = parse::search_literal(*input, parse::InputKind::Binary, upper, CompareOp::Equal, 10);
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.start, 1u);
    EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Binary, upper, CompareOp::Equal, 10), -1);
    Rooted word(text("aA"));
    EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Binary, *word, CompareOp::Equal, 10), 2);
    Rooted lower(text("aa"));
    EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Binary, *lower, CompareOp::Equal, 10), -1);
    Rooted accent(text("é"));
    parse::Found const bytes = parse::search_literal(*input, parse::InputKind::Binary, *accent, CompareOp::Equal, 10);
    EXPECT_TRUE(bytes.found);
    EXPECT_EQ(bytes.start, 2u);
    EXPECT_EQ(bytes.length, 2u) << "é is two bytes of UTF-8";
    Rooted accent_char(cell::make(type_ids::char_, 0, 0xE9, 0));
    EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Binary, *accent_char, CompareOp::Equal, 10), -1);
    Rooted last_byte(binary({ 0xA9 }));
    EXPECT_EQ(run(*input, "#\"a\" #\"A\" thru value", &*last_byte), "true");
    EXPECT_EQ(run(*input, "\"AA\" to end"), "false");
}

// Datatypes on binary! input: the next value is scanned from the bytes, not loaded.
TEST_F(ParseTest, DatatypesScanBinaryInput)
{
    Rooted input(binary("12 abc \"s\" [x]"));
    EXPECT_EQ(run(*input, "integer! word! string! block!"), "true");
    EXPECT_EQ(run(*input, "integer! integer!"), "false");
    EXPECT_EQ(run(*input, "number! any-word! any-string! any-block!"), "true");
    Rooted broken(binary("1 \"open"));
    EXPECT_EQ(run(*broken, "integer! string!"), "false");
    EXPECT_EQ(run(*broken, "integer! error!"), "false");
}

// set gives a byte of binary! input as an integer!; copy keeps the type.
TEST_F(ParseTest, BinaryExtraction)
{
    Rooted input(binary({ 7, 8, 9 }));
    EXPECT_EQ(run(*input, "set b1 skip copy b2 2 skip"), "true");
    Cell const byte = global("b1");
    EXPECT_EQ(cell::type_of(byte), type_ids::integer);
    EXPECT_EQ(cell::integer_payload(byte), 7);
    Rooted copied(global("b2"));
    EXPECT_EQ(cell::type_of(*copied), type_ids::binary);
    ASSERT_EQ(series::length_of(*copied), 2u);
    EXPECT_EQ(std::to_integer<int>(series::buffer_of(*copied)->head_address()[0]), 8);
}

// A charset rule tests one unit's code point against the set, never folded; past the stored bits the
// complement flag answers. The same for every unit width of the input, and for the bytes of binary! input.
TEST_F(ParseTest, CharsetsMatchOneUnitByCodePoint)
{
    Rooted digits(charset("\"0123456789\""));
    Rooted not_digits(charset("not \"0123456789\""));
    Rooted lower(charset("#\"a\" - #\"z\""));
    Rooted wide(charset("\"é€𐐨\""));
    Rooted nul(charset("[0]"));
    struct Case {
        std::string_view input;
        Cell const* set;
        CompareOp mode;
        std::int64_t units;
    };
    Case const cases[] = {
        { "7", &*digits, CompareOp::Equal, 1 },
        { "x", &*digits, CompareOp::Equal, -1 },
        { "", &*digits, CompareOp::Equal, -1 },
        { "x", &*not_digits, CompareOp::Equal, 1 },
        { "€", &*not_digits, CompareOp::Equal, 1 }, // 2-byte input, past the stored bits
        { "𐐨", &*not_digits, CompareOp::Equal, 1 }, // 4-byte input, past the stored bits
        { "5", &*not_digits, CompareOp::Equal, -1 },
        { "€", &*digits, CompareOp::Equal, -1 },
        { "A", &*lower, CompareOp::Equal, -1 }, // never folded
        { "a", &*lower, CompareOp::StrictEqual, 1 },
        { "é", &*wide, CompareOp::Equal, 1 },
        { "É", &*wide, CompareOp::Equal, -1 },
        { "𐐨", &*wide, CompareOp::Equal, 1 },
        { "𐐀", &*wide, CompareOp::Equal, -1 },
        { std::string_view("\0", 1), &*nul, CompareOp::Equal, 1 },
        { "a", &*nul, CompareOp::Equal, -1 },
    };
    for (Case const& c : cases) {
        Rooted input(text(c.input));
        EXPECT_EQ(parse::match_literal(*input, parse::InputKind::Text, *c.set, c.mode, 100), c.units) << c.input;
    }
    // Bytes are members as the code points of their values: 0xE9 is é, not a part of its UTF-8.
    Rooted bytes(binary({ 'a', 'A', 0xE9, 0x82 }));
    EXPECT_EQ(parse::match_literal(*bytes, parse::InputKind::Binary, *lower, CompareOp::Equal, 10), 1);
    parse::Repeated const lowers
        = parse::repeat_literal(*bytes, parse::InputKind::Binary, *lower, CompareOp::Equal, 10, -1);
    EXPECT_EQ(lowers.count, 1u) << "A is not folded";
    parse::Found const accent = parse::search_literal(*bytes, parse::InputKind::Binary, *wide, CompareOp::Equal, 10);
    EXPECT_TRUE(accent.found);
    EXPECT_EQ(accent.start, 2u);
    EXPECT_EQ(accent.length, 1u);
    parse::Found const high
        = parse::search_literal(*bytes, parse::InputKind::Binary, *not_digits, CompareOp::Equal, 10);
    EXPECT_EQ(high.start, 0u);
    EXPECT_EQ(run(*bytes, "some value", &*not_digits), "true");
    EXPECT_EQ(run(*bytes, "thru value skip", &*wide), "true");
}

// Searching for and repeating a charset: one loop over the units of each width, bounded by the end it is
// given (the /part limit) and by the repetition's maximum.
TEST_F(ParseTest, CharsetSearchesAndRepetitionsStopAtTheEnd)
{
    Rooted digits(charset("\"0123456789\""));
    Rooted not_digits(charset("not \"0123456789\""));
    struct Case {
        std::string_view input;
        Cell const* set;
        std::uint32_t end;
        std::int32_t maximum;
        std::uint32_t count; // of the repetition
        std::int64_t found; // where the search finds a member, or -1
    };
    Case const cases[] = {
        { "123ab", &*digits, 10, -1, 3, 0 },
        { "123ab", &*digits, 2, -1, 2, 0 },
        { "123ab", &*digits, 10, 2, 2, 0 },
        { "ab123", &*digits, 10, -1, 0, 2 },
        { "ab123", &*digits, 2, -1, 0, -1 }, // the member lies past the limit
        { "é€1", &*digits, 10, -1, 0, 2 }, // 2-byte units
        { "𐐨𐐩1", &*digits, 10, -1, 0, 2 }, // 4-byte units
        { "é€1", &*not_digits, 10, -1, 2, 0 },
        { "𐐨𐐩1", &*not_digits, 10, -1, 2, 0 },
        { "𐐨𐐩1", &*not_digits, 10, 1, 1, 0 },
        { "", &*not_digits, 10, -1, 0, -1 },
    };
    for (Case const& c : cases) {
        Rooted input(text(c.input));
        parse::Repeated const repeated
            = parse::repeat_literal(*input, parse::InputKind::Text, *c.set, CompareOp::Equal, c.end, c.maximum);
        EXPECT_EQ(repeated.count, c.count) << c.input << " to " << c.end;
        EXPECT_EQ(repeated.length, c.count) << c.input;
        parse::Found const found
            = parse::search_literal(*input, parse::InputKind::Text, *c.set, CompareOp::Equal, c.end);
        EXPECT_FALSE(found.unsupported);
        EXPECT_EQ(found.found ? static_cast<std::int64_t>(found.start) : -1, c.found) << c.input << " to " << c.end;
        if (found.found) {
            EXPECT_EQ(found.length, 1u);
        }
    }
}

// However a run ends, the stacks are as it found them; a run nested in another works above the other's.
TEST_F(ParseTest, EveryRunLeavesTheStacksEmpty)
{
    Rooted input(text("abc"));
    char const* const sources[] = {
        "\"abc\"",
        "\"x\"",
        "some",
        "\"a\" (1 / 0)",
        "collect [keep skip collect [keep (1 / 0)]]",
        "\"a\" (parse \"x\" [\"x\" (parse \"y\" [some])])",
        "to \"c\" 2 (1 / 0)",
        "while [\"a\" | skip] end",
    };
    for (char const* source : sources) {
        run(*input, source);
        EXPECT_TRUE(parse::stacks_empty()) << source;
    }
    EXPECT_EQ(run(*input, "\"a\" (parse \"x\" [\"x\"]) \"bc\""), "true");
}

// A step budget bounds runs that may legally go on for ever.
TEST_F(ParseTest, TheStepBudgetEndsEndlessRuns)
{
    Rooted input(text("a"));
    parse::set_step_budget(10'000);
    EXPECT_EQ(run(*input, "while [insert \"a\"]"), "error");
    EXPECT_EQ(run(*input, "while []"), "error");
    parse::set_step_budget(0);
    EXPECT_TRUE(parse::stacks_empty());
}

}
