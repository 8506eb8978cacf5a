// Syntax errors: every kind, with its exact arguments (the line, the datatype or missing character, the
// source shown), and the line they name.

#include "lexer_fixture.h"

namespace {

using namespace xol;

struct ErrorCase {
    char const* source;
    RaisedSyntax raised;
};

void expect_raised(std::initializer_list<ErrorCase> cases)
{
    for (ErrorCase const& each : cases) EXPECT_EQ(raised_loading(each.source), each.raised) << each.source;
}

}

TEST_F(LexerTest, MissingDelimiters)
{
    expect_raised({
        { "[a", { "missing", { "(line 1)", "]", "[a" } } },
        { "a [b [c]", { "missing", { "(line 1)", "]", "[b [c]" } } },
        { "(a", { "missing", { "(line 1)", ")", "(a" } } },
        { "[a)", { "missing", { "(line 1)", "]", ")" } } },
        { "(a]", { "missing", { "(line 1)", ")", "]" } } },
        { "a ]", { "missing", { "(line 1)", "[", "]" } } },
        { "a ) b", { "missing", { "(line 1)", "(", ") b" } } },
        { "#[a 1", { "missing", { "(line 1)", "]", "#[a 1" } } },
        { "[\n\n(a b\n", { "missing", { "(line 4)", ")", "(a b" } } },
        { "a/", { "bad-char", { "(line 1)", "a/" } } },
    });
}

TEST_F(LexerTest, InvalidTokens)
{
    expect_raised({
        { "1a", { "invalid", { "(line 1)", "integer!", "1a" } } },
        { "x 12ab cd\nef", { "invalid", { "(line 1)", "integer!", "12ab cd" } } },
        { "1''2", { "invalid", { "(line 1)", "integer!", "1''2" } } },
        { "Ah", { "invalid", { "(line 1)", "word!", "Ah" } } },
        { "1h", { "invalid", { "(line 1)", "integer!", "1h" } } },
        { "123456789h", { "invalid", { "(line 1)", "integer!", "123456789h" } } },
        { "1e", { "invalid", { "(line 1)", "float!", "1e" } } },
        { "1..2", { "invalid", { "(line 1)", "float!", "1..2" } } },
        { "1.#INX", { "invalid", { "(line 1)", "float!", "1.#INX" } } },
        { "\"abc", { "invalid", { "(line 1)", "string!", "\"abc" } } },
        { "\"a\nb\"", { "invalid", { "(line 1)", "string!", "\"a" } } },
        { "{abc", { "invalid", { "(line 1)", "string!", "{abc" } } },
        { "{a{b}", { "invalid", { "(line 1)", "string!", "{a{b}" } } },
        { "x {", { "invalid", { "(line 1)", "string!", "{" } } },
        { "%%{a}%%% ", { "invalid", { "(line 1)", "string!", "%%{a}%%% " } } },
        { "%%{a}% b", { "invalid", { "(line 1)", "string!", "%%{a}% b" } } },
        { "\"^(1234567)\"", { "invalid", { "(line 1)", "string!", "\"^(1234567)\"" } } },
        { "\"^(xyz)\"", { "invalid", { "(line 1)", "string!", "\"^(xyz)\"" } } },
        { "\"^(110000)\"", { "invalid", { "(line 1)", "string!", "\"^(110000)\"" } } },
        { "\"a\xC3\"", { "invalid", { "(line 1)", "string!", "\"a" } } },
        { "\"a\x80\"", { "invalid", { "(line 1)", "string!", "\"a" } } },
        // Only the shortest forms are text: no over-long slash, no surrogate, nothing above U+10FFFF.
        { "\"a\xC0\xAF"
          "b\"",
            { "invalid", { "(line 1)", "string!", "\"a" } } },
        { "\"a\xE0\x80\xAF"
          "b\"",
            { "invalid", { "(line 1)", "string!", "\"a" } } },
        { "\"\xED\xA0\x80\"", { "invalid", { "(line 1)", "string!", "\"" } } },
        { "\"\xF4\x90\x80\x80\"", { "invalid", { "(line 1)", "string!", "\"" } } },
        { "a\xC0\xAF"
          "b: 5",
            { "invalid", { "(line 1)", "word!", "a" } } },
        { "a\xE0\x80\xAF"
          "b: 5",
            { "invalid", { "(line 1)", "word!", "a" } } },
        { "#\"\"", { "invalid", { "(line 1)", "char!", "#\"\"" } } },
        { "#\"ab\"", { "invalid", { "(line 1)", "char!", "#\"ab\"" } } },
        { "#\"^\"", { "invalid", { "(line 1)", "char!", "#\"^\"" } } },
        { "#", { "invalid", { "(line 1)", "issue!", "#" } } },
        { "#a:b", { "invalid", { "(line 1)", "issue!", "#a:b" } } },
        { ":a:", { "invalid", { "(line 1)", "word!", ":a:" } } },
        { "'a:", { "invalid", { "(line 1)", "lit-word!", "'a:" } } },
        { "=:", { "invalid", { "(line 1)", "word!", "=:" } } },
        { "a\xC3", { "invalid", { "(line 1)", "word!", "a" } } },
        { "'/a", { "invalid", { "(line 1)", "refinement!", "'/a" } } },
        { "/a:", { "invalid", { "(line 1)", "refinement!", "/a:" } } },
        { "a/b:/c", { "invalid", { "(line 1)", "path!", "a/b:/c" } } },
        { "a/b/", { "invalid", { "(line 1)", "path!", "a/b/" } } },
        { "x a/b:c", { "invalid", { "(line 1)", "word!", "b:c" } } },
        { "2#{0}", { "invalid", { "(line 1)", "binary!", "2#{0}" } } },
        { "#{0}", { "invalid", { "(line 1)", "binary!", "#{0}" } } },
        { "#{0G}", { "invalid", { "(line 1)", "binary!", "#{0G}" } } },
        { "3#{00}", { "invalid", { "(line 1)", "binary!", "3#{00}" } } },
        { "64#{A}", { "invalid", { "(line 1)", "binary!", "64#{A}" } } },
        { "64#{A=AA}", { "invalid", { "(line 1)", "binary!", "64#{A=AA}" } } },
        { "1.2.256", { "invalid", { "(line 1)", "tuple!", "1.2.256" } } },
        { "1.2..3", { "invalid", { "(line 1)", "tuple!", "1.2..3" } } },
        { "1.2.3.4.5.6.7.8.9.10.11.12.13", { "invalid", { "(line 1)", "tuple!", "1.2.3.4.5.6.7.8.9.10.11.12.13" } } },
        { "1.5x2", { "invalid", { "(line 1)", "pair!", "1.5x2" } } },
        { "10:", { "invalid", { "(line 1)", "time!", "10:" } } },
        { "10:30:", { "invalid", { "(line 1)", "time!", "10:30:" } } },
        { "10:-5", { "invalid", { "(line 1)", "time!", "10:-5" } } },
        { "$", { "invalid", { "(line 1)", "money!", "$" } } },
        { "$1.5.5", { "invalid", { "(line 1)", "money!", "$1.5.5" } } },
        { "$123456789012345678", { "invalid", { "(line 1)", "money!", "$123456789012345678" } } },
        { "$1.123456", { "invalid", { "(line 1)", "money!", "$1.123456" } } },
        { "US$1", { "invalid", { "(line 1)", "money!", "US$1" } } },
        { "$1''2", { "invalid", { "(line 1)", "money!", "$1''2" } } },
        { "%\"abc", { "invalid", { "(line 1)", "file!", "%\"abc" } } },
        { "<a", { "invalid", { "(line 1)", "tag!", "<a" } } },
        { "#[a]", { "invalid", { "(line 1)", "map!", "#[a]" } } },
        { "#[[a] 1]", { "invalid", { "(line 1)", "map!", "#[[a] 1]" } } },
    });
}

TEST_F(LexerTest, InvalidPoints)
{
    // point2D! is not registered here: the datatype is named by its id alone.
    for (char const* source : { "(1, )", "(1,2", "a, b", "(x , y)", "((1) , 2)" }) {
        RaisedSyntax const raised = raised_loading(source);
        EXPECT_EQ(raised.id, "invalid") << source;
    }
    EXPECT_EQ(raised_loading("(1, )").arguments.back(), "(1, )");
    EXPECT_EQ(raised_loading("(1, 2, 3, 4)").arguments.back(), "(1, 2, 3, 4)");
    EXPECT_EQ(raised_loading("(1,2").arguments.back(), "(1,2");
    EXPECT_EQ(raised_loading("a , b").arguments.back(), ", b");
}

TEST_F(LexerTest, InvalidDates)
{
    // A well-formed date raises not-done until date! is registered; a malformed one is an invalid date!.
    struct Case {
        char const* source;
        bool valid;
    };
    Case const cases[] = {
        { "1-Jan-2000", true },
        { "1/1/2000", true },
        { "2000-01-01", true },
        { "31-Dec-99", true },
        { "29-Feb-2000", true },
        { "29-Feb-2001", false },
        { "29-feb-1900", false },
        { "31-Apr-2000", false },
        { "31-Feb-2000", false },
        { "1-Foo-2000", false },
        { "1-Ja-2000", false },
        { "1-Janu-2000", true },
        { "1-September-2000", true },
        { "1-Septembre-2000", false },
        { "2000-13-01", false },
        { "0-Jan-2000", false },
        { "2000-01-01/10:00", true },
        { "2000-01-01/24:00", false },
        { "2000-01-01/10:60", false },
        { "2000-01-01/10:00:59.5", true },
        { "2000-01-01/10:00:60", false },
        { "2000-01-01T10:00Z", true },
        { "2000-01-01/10:00+5:30", true },
        { "2000-01-01/10:00-16:00", false },
        { "2000-01-01/10:00+15", true },
        { "2000-01-01/10:00+5:60", false },
        { "2000-01-01/10:00-0:30", true },
        { "20000101T1000", true },
        { "20000101T100000Z", true },
        { "20000101T1000+0530", true },
        { "20000101T10", false },
        { "2000-W01-1", true },
        { "2000-W01", true },
        { "2000-W01-8", false },
        { "2000-W54", false },
        { "2000-123", true },
        { "2000-000", false },
        { "2000-123T10:00", true },
        { "1-1-1", true },
        { "1/Jan/2000", true },
        { "1-Jan/2000", false },
        { "2000-01-01/", false },
        { "2000-01-01x", false },
        { "-1-Jan-2000", false },
    };
    for (Case const& each : cases) {
        std::optional<ErrorId> const id = raised_by([&] { load_text(each.source); });
        EXPECT_EQ(id, each.valid ? err::internal::not_done : err::syntax::invalid) << each.source;
        if (!each.valid) {
            EXPECT_EQ(raised_loading(each.source).arguments.at(1), "date!") << each.source;
        }
    }
}

TEST_F(LexerTest, BadCharactersAndConstructions)
{
    expect_raised({
        { "}", { "bad-char", { "(line 1)", "}" } } },
        { "a \\b", { "bad-char", { "(line 1)", "\\b" } } },
        { "a \x80", { "bad-char", { "(line 1)", "" } } },
        { "a \xFF", { "bad-char", { "(line 1)", "" } } },
        { "a \xC0\xAF", { "bad-char", { "(line 1)", "" } } },
        { "#(foo)", { "malconstruct", { "(line 1)", "#(foo)" } } },
        { "#(true )", { "malconstruct", { "(line 1)", "#(true )" } } },
        { "#(integer)", { "malconstruct", { "(line 1)", "#(integer)" } } },
    });
}

// The line is counted through every line feed before the error, in tokens and between them; the source
// shown stops at the end of its line and after 30 bytes of whole characters.
TEST_F(LexerTest, ErrorLinesAndShownText)
{
    expect_raised({
        { "a\n\nb 1a", { "invalid", { "(line 3)", "integer!", "1a" } } },
        { "a\r\n1a", { "invalid", { "(line 2)", "integer!", "1a" } } },
        { "{a\nb} ; c\n 1a", { "invalid", { "(line 3)", "integer!", "1a" } } },
        { "[\n\"x\ny\"", { "invalid", { "(line 2)", "string!", "\"x" } } },
        { "1a 3456789012345678901234567890abcdef",
            { "invalid", { "(line 1)", "integer!", "1a 345678901234567890123456789" } } },
        { "1a 34567890123456789012345678é",
            { "invalid", { "(line 1)", "integer!", "1a 34567890123456789012345678" } } },
        { "1a b\r\nc", { "invalid", { "(line 1)", "integer!", "1a b" } } },
        { "a\n[b\nc", { "missing", { "(line 3)", "]", "[b" } } },
    });
}
