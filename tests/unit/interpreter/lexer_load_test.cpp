// Loading source text: every literal syntax that loads, by its molded values; the values of the literals
// whose datatypes are registered here as stand-ins, by their cells; new-line markers; nesting.

#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "lexer_fixture.h"

namespace {

using namespace xol;

struct Loaded {
    char const* source;
    char const* molded;
};

}

TEST_F(LexerTest, WordsAndTheirForms)
{
    Loaded const cases[] = {
        { "", "" },
        { "  \t\r\n ", "" },
        { "a b c", "a b c" },
        { "a: :b 'c /d #e", "a: :b 'c /d #e" },
        { "été ünï 日本", "été ünï 日本" },
        { "/ // /// + - . < > <= <> = == ? ! * ~", "/ // /// + - . < > <= <> = == ? ! * ~" },
        { "a' b'c", "a' b'c" },
        { "- + -a +b", "- + -a +b" },
        { "'+ :- +:", "'+ :- +:" },
        { "FFh- Gh abcdef", "FFh- Gh abcdef" }, // not hexadecimal integers
        { "a;comment\nb", "a b" }, // a semicolon ends a word
        { "a ; comment\n b ;last", "a b" },
        { "\xC2\xA0"
          "a\xC2\xA0"
          "b\xE3\x80\x80",
            "a b" }, // Unicode blanks between words
        { "a\xE2\x80\x83"
          "b",
            "a b" }, // and inside a word: they end it
        { "\xE2\x80\x8B", "" },
        { "a\x01"
          "b\x1F"
          "c",
            "a b c" }, // control characters are blanks
        { "a\0b", "a" }, // NUL ends the text
        { "/a /a/b", "/a /a /b" },
        { "#a #1 #a.b", "#a #1 #a.b" },
    };
    for (Loaded const& each : cases) EXPECT_EQ(loaded(each.source), each.molded) << each.source;
}

TEST_F(LexerTest, Numbers)
{
    Loaded const cases[] = {
        { "123 -45 +7 0 007", "123 -45 7 0 7" },
        { "1'000'000 1'2", "1000000 12" },
        { "2147483647 -2147483648", "2147483647 -2147483648" },
        // More than 10 digits, leading zeros counted, or beyond 32 bits: a float!.
        { "2147483648 -2147483649 00000000001 99999999999", "2147483648.0 -2147483649.0 1.0 99999999999.0" },
        { "1.5 .5 -.5 +.5 1. 1e3 1E3 1.5E-3 1.5e+3 1'000.5",
            "1.5 0.5 -0.5 0.5 1.0 1000.0 1000.0 0.0015 1500.0 1000.5" },
        { "0.1 1e308 1e-320", "0.1 1.0e308 1.0e-320" },
        { "1.#INF -1.#INF +1.#inf 1.#NaN 1.#nan", "1.#INF -1.#INF 1.#INF 1.#NaN 1.#NaN" },
        { "FFh 0FFh 12345678h FFFFFFFFh 7FFFFFFFh 1Eh 00h", "255 255 305419896 -1 2147483647 30 0" },
    };
    for (Loaded const& each : cases) EXPECT_EQ(loaded(each.source), each.molded) << each.source;
}

TEST_F(LexerTest, NumberTypes)
{
    struct Case {
        char const* source;
        TypeId type;
    };
    Case const cases[] = {
        { "2147483647", type_ids::integer },
        { "-2147483648", type_ids::integer },
        { "2147483648", type_ids::float_ },
        { "-2147483649", type_ids::float_ },
        { "0000000001", type_ids::integer },
        { "00000000001", type_ids::float_ },
        { "2'147'483'647", type_ids::integer },
        { "1'0000000000", type_ids::float_ },
    };
    for (Case const& each : cases) {
        Rooted block(load_text(each.source));
        ASSERT_EQ(block::rs_length_q(*block), 1u) << each.source;
        EXPECT_EQ(cell::type_of(*block::rs_head(*block)), each.type) << each.source;
    }
    Rooted smallest(load_text("-2147483648"));
    EXPECT_EQ(integer::get(*block::rs_head(*smallest)), INT32_MIN);
}

TEST_F(LexerTest, StringsAndChars)
{
    Loaded const cases[] = {
        { R"x("abc" "" "a b")x", R"x("abc" "" "a b")x" },
        { R"x("a^"b" "a^/b" "a^-b" "^^" "^{^}")x", R"x({a"b} "a^/b" "a^-b" "^^" "{}")x" },
        { R"y("^(41)^(tab)^(line)^(TAB)^(null)x" "^(esc)^(del)^(back)^(page)")y", R"x("A^-^/^-^@x" "^[^~^H^L")x" },
        { R"x("^a^z^A^Z^[^\^]^_")x", R"x("^A^Z^A^Z^[^\^]^_")x" },
        { R"x("^@" "^~" "^!")x", R"x("^@" "^~" "!")x" },
        { R"x("été" "^(E9)" "^(00E9)" "^(1F600)")x", R"x("été" "é" "é" "😀")x" },
        { "{a{b}c} {a^}b} {} {^{}", R"x("a{b}c" "a}b" "" "{")x" },
        { "{a\nb}", R"x("a^/b")x" },
        { R"x({a"b})x", R"x({a"b})x" },
        { R"x(#"a" #"^/" #"^(41)" #"^(tab)" #"^-" #"é" #"^"" #"^^")x",
            R"x(#"a" #"^/" #"A" #"^-" #"^-" #"é" #"^"" #"^^")x" },
        { R"x(#"😀" #"^(1F600)" #"^(10FFFF)")x", "#\"😀\" #\"😀\" #\"\xF4\x8F\xBF\xBF\"" },
        { "%{raw ^/ \"x}% %%{a}% b}%% %{}% %{{}}%", R"x({raw ^^/ "x} "a}% b" "" "{}")x" },
    };
    for (Loaded const& each : cases) EXPECT_EQ(loaded(each.source), each.molded) << each.source;
}

// Units come from the UTF-8 lead bytes of the text, and hex escapes of more than 2 and more than 4 digits.
TEST_F(LexerTest, StringUnitWidths)
{
    struct Case {
        char const* source;
        std::uint32_t unit;
    };
    Case const cases[] = {
        { R"x("abc")x", 1 },
        { R"x("^(E9)")x", 1 },
        { R"x("été")x", 2 },
        { R"x("^(00E9)")x", 2 },
        { R"x("^(000E9)")x", 4 },
        { R"x("😀")x", 4 },
        { R"x("^(tab)")x", 1 },
        { "{a^(0041)}", 2 },
        { "%{été}%", 2 },
    };
    for (Case const& each : cases) {
        Rooted block(load_text(each.source));
        EXPECT_EQ(string::unit_of(*block::rs_head(*block)), each.unit) << each.source;
    }
}

TEST_F(LexerTest, SeriesAndPaths)
{
    Loaded const cases[] = {
        { "[a [b (c)] d] [] ()", "[a [b (c)] d] [] ()" },
        { "[[[[[]]]]]", "[[[[[]]]]]" },
        { "(a)(b)[c][d]", "(a) (b) [c] [d]" },
        { "a/b/c a/1 :a/b 'a/b", "a/b/c a/1 :a/b 'a/b" },
        { "a/b: 1 a/b/c: 2", "a/b: 1 a/b/c: 2" },
        { "a/(b + 1)/c a/\"s\"/1 a/#i a/'b a/:b", "a/(b + 1)/c a/\"s\"/1 a/#i a/'b a/:b" },
        { "[a/b] (a/b) [a/b:]", "[a/b] (a/b) [a/b:]" },
        { "a/b;c", "a/b" },
        { "+/a -/b ./c", "+/a -/b ./c" },
        { "a/1.5 a/-1", "a/1.5 a/-1" },
        { "#(true) #(FALSE) #(none) #(unset) #(integer!) #(Block!)", "true false none unset integer! block!" },
    };
    for (Loaded const& each : cases) EXPECT_EQ(loaded(each.source), each.molded) << each.source;
}

TEST_F(LexerTest, PathElementTypes)
{
    Rooted block(load_text("a/b: 1"));
    Cell const path = *block::rs_head(*block);
    EXPECT_EQ(cell::type_of(path), type_ids::set_path);
    ASSERT_EQ(block::rs_length_q(path), 2u);
    EXPECT_EQ(cell::type_of(block::rs_head(path)[0]), type_ids::word);
    EXPECT_EQ(cell::type_of(block::rs_head(path)[1]), type_ids::word);
    Rooted lit(load_text("'a/b :c/d"));
    EXPECT_EQ(cell::type_of(block::rs_head(*lit)[0]), type_ids::lit_path);
    EXPECT_EQ(cell::type_of(block::rs_head(*lit)[1]), type_ids::get_path);
}

// A value that starts a line carries the new-line marker; blank lines inside a token do not count.
TEST_F(LexerTest, NewLineMarkers)
{
    Rooted block(load_text("a b\nc [\nd e\n] {x\ny} \"s\"\n{z}\n"));
    Cell const* cells = block::rs_head(*block);
    ASSERT_EQ(block::rs_length_q(*block), 7u);
    bool const expected[] = { false, false, true, false, false, false, true };
    for (std::uint32_t i = 0; i < 7; ++i) EXPECT_EQ(cell::has_new_line(block::rs_head(*block)[i]), expected[i]) << i;
    Cell const inner = cells[3];
    EXPECT_TRUE(cell::has_new_line(block::rs_head(inner)[0]));
    EXPECT_FALSE(cell::has_new_line(block::rs_head(inner)[1]));
    EXPECT_EQ(mold_text(*block, { .only = true }), "a b\nc [\n    d e\n] \"x^/y\" \"s\"\n\"z\"");
}

// Deep nesting is built without recursion and unwinds without a crash when unclosed.
TEST_F(LexerTest, DeepNesting)
{
    std::string const closed = std::string(3'000, '[') + std::string(3'000, ']');
    Rooted block(load_text(closed));
    Cell value = *block;
    int depth = 0;
    while (cell::type_of(value) == type_ids::block && block::rs_length_q(value) == 1) {
        value = *block::rs_head(value);
        ++depth;
    }
    EXPECT_EQ(depth, 3'000);
    EXPECT_EQ(raised_loading(std::string(200'000, '(')).id, "missing");
}

// Output beyond the buffer's first size, and text beyond the conversion buffer, load whole.
TEST_F(LexerTest, LargeInputs)
{
    std::string source = "\"" + std::string(120'000, 'x') + "\"";
    for (int i = 0; i < 5'000; ++i) source += " " + std::to_string(i);
    Rooted block(load_text(source));
    ASSERT_EQ(block::rs_length_q(*block), 5'001u);
    EXPECT_EQ(string::rs_length_q(*block::rs_head(*block)), 120'000u);
    EXPECT_EQ(integer::get(block::rs_head(*block)[5'000]), 4'999);
}

// Text longer than a series can hold is refused whole, never cut to its length modulo 2^32: a view that
// claims 2^32 + 3 bytes over three real ones would otherwise load as those three. Nothing past them is read.
TEST_F(LexerTest, OverLongInputIsRefused)
{
    char const source[] = "1 2";
    for (std::uint64_t size : { (std::uint64_t { 1 } << 32) + 3, std::uint64_t { 0x8000'0000 } }) {
        std::string_view const claimed(source, static_cast<std::size_t>(size));
        EXPECT_EQ(raised_by([&] { lexer::load_all_bytes(claimed); }), err::internal::no_memory) << size;
        EXPECT_EQ(raised_by([&] { lexer::scan_type(claimed); }), err::internal::no_memory) << size;
        EXPECT_EQ(raised_by([&] { string::from_utf8(claimed); }), err::internal::no_memory) << size;
        Rooted target(string::make(4));
        EXPECT_EQ(raised_by([&] { string::append_utf8(*target, claimed); }), err::internal::no_memory) << size;
        EXPECT_EQ(string::rs_length_q(*target), 0u);
    }
    Rooted whole(lexer::load_all_bytes(std::string_view(source, 3)));
    EXPECT_EQ(block::rs_length_q(*whole), 2u);
}

// ---- Literals whose datatypes live in other modules -----------------------------------------------------

namespace {

DatatypeRecord const stand_ins[] = {
    { type_ids::file, type_ids::string, "file!", {} },
    { type_ids::url, type_ids::string, "url!", {} },
    { type_ids::tag, type_ids::string, "tag!", {} },
    { type_ids::email, type_ids::string, "email!", {} },
    { type_ids::ref, type_ids::string, "ref!", {} },
    { type_ids::binary, no_parent, "binary!", {} },
    { type_ids::pair, no_parent, "pair!", {} },
    { type_ids::tuple, no_parent, "tuple!", {} },
    { type_ids::time, type_ids::float_, "time!", {} },
    { type_ids::percent, type_ids::float_, "percent!", {} },
    { type_ids::point2d, no_parent, "point2D!", {} },
    { type_ids::point3d, no_parent, "point3D!", {} },
};

struct StandInTest : LexerTest {
    void SetUp() override
    {
        LexerTest::SetUp();
        for (DatatypeRecord const& record : stand_ins) datatype::register_(record);
    }
};

Cell first_value(std::string_view source)
{
    Rooted block(load_text(source));
    EXPECT_EQ(block::rs_length_q(*block), 1u) << source;
    return *block::rs_head(*block);
}

float coordinate(std::uint32_t word)
{
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

std::vector<std::uint8_t> bytes_of(Cell const& binary)
{
    SeriesBuffer* buffer = node::buffer(binary.word2);
    auto const* start = reinterpret_cast<std::uint8_t const*>(buffer->head_address());
    return { start, start + buffer->length() };
}

}

TEST_F(StandInTest, TextLiterals)
{
    struct Case {
        char const* source;
        TypeId type;
        char const* text;
    };
    Case const cases[] = {
        { "%a/b.txt", type_ids::file, "a/b.txt" },
        { "%a%20b%2x", type_ids::file, "a b%2x" },
        { "%a^b", type_ids::file, "a^b" }, // no escapes in an unquoted file
        { R"x(%"a b^/c")x", type_ids::file, "a b\nc" },
        { "%été", type_ids::file, "été" },
        { "%a%C3%A9", type_ids::file, "aé" },
        { "<a b=\"1\">", type_ids::tag, "a b=\"1\"" },
        { "<a%20>", type_ids::tag, "a%20" },
        { "http://x.org/a%20b?q=1", type_ids::url, "http://x.org/a b?q=1" },
        { "mailto:a@b.c", type_ids::url, "mailto:a@b.c" },
        { "a@b.c", type_ids::email, "a@b.c" },
        { "@ref", type_ids::ref, "ref" },
    };
    for (Case const& each : cases) {
        Cell const value = first_value(each.source);
        EXPECT_EQ(cell::type_of(value), each.type) << each.source;
        EXPECT_EQ(string::to_utf8(value), each.text) << each.source;
    }
}

TEST_F(StandInTest, Binaries)
{
    struct Case {
        char const* source;
        std::vector<std::uint8_t> bytes;
    };
    Case const cases[] = {
        { "#{}", {} },
        { "#{0A0b FF}", { 0x0A, 0x0B, 0xFF } },
        { "16#{00 01 ; a comment\n 02}", { 0, 1, 2 } },
        { "2#{00000001 11111111}", { 1, 255 } },
        { "64#{AQID}", { 1, 2, 3 } },
        { "64#{AQI=}", { 1, 2 } },
        { "64#{AQ==}", { 1 } },
        { "64#{SGVs bG8=}", { 'H', 'e', 'l', 'l', 'o' } },
    };
    for (Case const& each : cases) {
        Cell const value = first_value(each.source);
        EXPECT_EQ(cell::type_of(value), type_ids::binary) << each.source;
        EXPECT_EQ(bytes_of(value), each.bytes) << each.source;
    }
}

TEST_F(StandInTest, ScalarLiterals)
{
    Cell pair = first_value("10x-20");
    EXPECT_EQ(cell::type_of(pair), type_ids::pair);
    EXPECT_EQ(static_cast<std::int32_t>(pair.word2), 10);
    EXPECT_EQ(static_cast<std::int32_t>(pair.word3), -20);
    pair = first_value("-1X2");
    EXPECT_EQ(static_cast<std::int32_t>(pair.word2), -1);

    Cell const tuple = first_value("1.2.255.0");
    EXPECT_EQ(cell::type_of(tuple), type_ids::tuple);
    EXPECT_EQ((tuple.header >> 19) & 0xF, 4u);
    EXPECT_EQ(tuple.word1, 0x00FF0201u);
    Cell const long_tuple = first_value("1.2.3.4.5.6.7.8.9.10.11.12");
    EXPECT_EQ((long_tuple.header >> 19) & 0xF, 12u);
    EXPECT_EQ(long_tuple.word3, 0x0C0B0A09u);

    Cell const percent = first_value("50%");
    EXPECT_EQ(cell::type_of(percent), type_ids::percent);
    EXPECT_EQ(cell::float_payload(percent), 0.5);
    EXPECT_EQ(cell::float_payload(first_value("-1.5%")), -0.015);

    struct TimeCase {
        char const* source;
        double seconds;
    };
    TimeCase const times[] = {
        { "10:30", 37800 },
        { "10:30:15", 37815 },
        { "10:30:15.5", 37815.5 },
        { "-1:00", -3600 },
        { "+1:00", 3600 },
        { "-0:30", -1800 },
        { "1:30.5", 90.5 },
        { "-1:30.5", -90.5 },
        { "100:00", 360000 },
        { "0:0:0", 0 },
    };
    for (TimeCase const& each : times) {
        Cell const value = first_value(each.source);
        EXPECT_EQ(cell::type_of(value), type_ids::time) << each.source;
        EXPECT_EQ(cell::float_payload(value), each.seconds) << each.source;
    }

    Cell const point = first_value("(1.5, -2)");
    EXPECT_EQ(cell::type_of(point), type_ids::point2d);
    EXPECT_EQ(coordinate(point.word1), 1.5f);
    EXPECT_EQ(coordinate(point.word2), -2.0f);
    Cell const point3 = first_value("( 1 ,2, 3e1 )");
    EXPECT_EQ(cell::type_of(point3), type_ids::point3d);
    EXPECT_EQ(coordinate(point3.word3), 30.0f);
    Cell const special = first_value("(1.#INF, -1.#inf)");
    EXPECT_TRUE(std::isinf(coordinate(special.word1)));
    EXPECT_LT(coordinate(special.word2), 0);
    // A paren that a comma turns into a point.
    Cell const converted = first_value("(1 , 2)");
    EXPECT_EQ(cell::type_of(converted), type_ids::point2d);
    EXPECT_EQ(coordinate(converted.word2), 2.0f);
}

// Until their datatypes are registered, such literals raise internal not-done, having been checked.
TEST_F(LexerTest, UnregisteredLiterals)
{
    for (char const* source : { "%a", "<a>", "http://a", "a@b", "@r", "#{00}", "1x2", "1.2.3", "10:00", "50%", "(1, 2)",
             "1-Jan-2000", "2000-01-01T10:00Z", "$1.50", "USD$1", "#[a 1]" }) {
        std::optional<ErrorId> const id = raised_by([&] { load_text(source); });
        EXPECT_EQ(id, err::internal::not_done) << source;
    }
    // The syntax is checked first.
    EXPECT_EQ(raised_loading("31-Feb-2000").id, "invalid");
    EXPECT_EQ(raised_loading("#[a]").id, "invalid");
}
