// transcode: all values, the first one with the rest of the source, the type of the next value, /part
// lengths and positions (clamped to the source), /into, and binary! sources with a byte-order mark.

#include "interpreter/lexer/transcode.h"
#include "lexer_fixture.h"
#include "runtime/services.h"

namespace {

using namespace xol;
using lexer::TranscodeOptions;

Cell binary_of(std::string_view bytes)
{
    NodeId const node = series::alloc_bytes(bytes.size());
    for (char byte : bytes) buffer::append_byte(node, static_cast<std::uint8_t>(byte));
    return cell::make(type_ids::binary, 0, node, 0);
}

// Datatypes by their names, registered or not.
std::string molded_flat(Cell const& value)
{
    if (cell::type_of(value) == type_ids::datatype) return type_name(datatype::get(value));
    return mold_text(value, { .flat = true });
}

std::string transcoded(Cell const& source, TranscodeOptions const& options = {})
{
    Rooted kept(source);
    Rooted result(lexer::transcode(*kept, options));
    return molded_flat(*result);
}

std::string transcoded(std::string_view text, TranscodeOptions const& options = {})
{
    return transcoded(string::from_utf8(text), options);
}

}

TEST_F(LexerTest, TranscodeModes)
{
    EXPECT_EQ(transcoded("a [b] c"), "[a [b] c]");
    EXPECT_EQ(transcoded(""), "[]");
    EXPECT_EQ(transcoded("a b", { .one = true }), "a");
    EXPECT_EQ(transcoded("", { .one = true }), "[]");
    EXPECT_EQ(transcoded("  a b", { .next = true }), "[a \" b\"]");
    EXPECT_EQ(transcoded("[a] b", { .next = true }), "[[a] \" b\"]");
    EXPECT_EQ(transcoded("été x", { .next = true }), "[été \" x\"]"); // the rest counts characters
    EXPECT_EQ(transcoded("a b", { .next = true, .one = true }), "a");
}

TEST_F(LexerTest, TranscodeTypes)
{
    struct Case {
        char const* source;
        TranscodeOptions options;
        char const* molded;
    };
    Case const cases[] = {
        { "123 abc", { .scan = true }, "integer!" },
        { "abc 123", { .scan = true }, "word!" },
        { "", { .scan = true }, "none" },
        { "   ", { .scan = true }, "none" },
        { "1a", { .scan = true }, "error!" },
        { "a/b c", { .scan = true }, "path!" },
        { "a: 1", { .scan = true }, "set-word!" },
        { "[a (b)] c", { .prescan = true }, "block!" },
        { "[a", { .prescan = true }, "error!" },
        { "\"s\" x", { .prescan = true }, "string!" },
        { "; comment\n 1.5", { .prescan = true }, "float!" },
        { "", { .prescan = true }, "none" },
        { "123 abc", { .next = true, .scan = true }, "[integer! \" abc\"]" },
    };
    for (Case const& each : cases) EXPECT_EQ(transcoded(each.source, each.options), each.molded) << each.source;
}

TEST_F(LexerTest, TranscodePart)
{
    Cell const three = integer::make(3);
    Cell const negative = integer::make(-5);
    Cell const large = integer::make(1'000);
    EXPECT_EQ(transcoded("abc def", { .part = &three }), "[abc]");
    EXPECT_EQ(transcoded("abc def", { .part = &negative }), "[]");
    EXPECT_EQ(transcoded("abc def", { .part = &large }), "[abc def]");
    Rooted source(string::from_utf8("abc def ghi"));
    Rooted position(*source);
    position->word1 = 7;
    EXPECT_EQ(transcoded(*source, { .part = &*position }), "[abc def]");
    position->word1 = 100;
    EXPECT_EQ(transcoded(*source, { .part = &*position }), "[abc def ghi]");
    Rooted later(*source);
    later->word1 = 4;
    position->word1 = 2;
    EXPECT_EQ(transcoded(*later, { .part = &*position }), "[]");
    Rooted bytes(binary_of("abc"));
    EXPECT_EQ(raised_by([&] { lexer::transcode(*source, { .part = &*bytes }); }), err::script::not_same_type);
    // An index past the tail reads as the tail.
    Rooted past(*source);
    past->word1 = 50;
    EXPECT_EQ(transcoded(*past), "[]");
}

TEST_F(LexerTest, TranscodeInto)
{
    Rooted target(load_text("x"));
    Rooted result(lexer::transcode(string::from_utf8("a [b]"), { .into = &*target }));
    EXPECT_EQ(molded_flat(*result), "[x a [b]]");
    EXPECT_EQ(result->word2, target->word2);
    Rooted one(lexer::transcode(string::from_utf8("c d"), { .one = true, .into = &*target }));
    EXPECT_EQ(molded_flat(*target), "[x a [b] c]");
}

TEST_F(LexerTest, TranscodeBinary)
{
    EXPECT_EQ(transcoded(binary_of("a b")), "[a b]");
    EXPECT_EQ(transcoded(binary_of("\xEF\xBB\xBF"
                                   "a \"\xC3\xA9\"")),
        "[a \"é\"]");
    Rooted source(binary_of("12 abc"));
    Rooted next(lexer::transcode(*source, { .next = true }));
    Cell const rest = block::rs_head(*next)[1];
    EXPECT_EQ(cell::type_of(rest), type_ids::binary);
    EXPECT_EQ(rest.word1, 2u); // bytes
    Cell const four = integer::make(4);
    EXPECT_EQ(transcoded(binary_of("12 abc"), { .part = &four }), "[12 a]");
    EXPECT_EQ(raised_by([&] { lexer::transcode(binary_of("\xFF"), {}); }), err::syntax::bad_char);
}

TEST_F(LexerTest, LoadServices)
{
    Rooted one(lexer::load_single(string::from_utf8(" word ")));
    EXPECT_EQ(cell::type_of(*one), type_ids::word);
    Rooted several(lexer::load_single(string::from_utf8("a b")));
    EXPECT_EQ(molded_flat(*several), "[a b]");
    Rooted first(lexer::load_first(string::from_utf8("1 2")));
    EXPECT_EQ(molded_flat(*first), "1");
    EXPECT_EQ(lexer::scan_type("a:"), type_ids::set_word);
    EXPECT_EQ(lexer::scan_type("\"a"), type_ids::error);
    EXPECT_EQ(lexer::scan_type(""), 0);
    Rooted target(services.load_all(string::from_utf8("x [y]")));
    EXPECT_EQ(molded_flat(*target), "[x [y]]");
    std::uint32_t consumed = 0;
    Rooted whole(string::from_utf8("x [y]"));
    lexer::load_string(*target, *whole, -1, {}, &consumed, none_value, nullptr);
    EXPECT_EQ(consumed, 5u);
}
