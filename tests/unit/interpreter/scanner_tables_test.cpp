// The scanner's generated tables: the character classes and flags, the shape of the transition function,
// the state types, and the token kinds the automaton gives the forms of the source syntax.

#include <gtest/gtest.h>

#include <string_view>

#include "interpreter/lexer/scanner_tables.h"

namespace {

using namespace xol;
using namespace xol::lexer;

struct Scanned {
    TokenKind kind;
    int previous; // the last working state
    std::size_t length; // bytes consumed, blanks before the token included
};

// The first token of a text, cut as the scanner cuts it.
Scanned first_token(std::string_view text, int start_state = states::between_tokens)
{
    int state = start_state;
    int previous = state;
    std::size_t position = 0;
    while (position < text.size()) {
        previous = state;
        state = tables::transitions[state][class_of(static_cast<std::uint8_t>(text[position]))];
        if (state >= first_final_state) break;
        ++position;
    }
    if (state < first_final_state) {
        previous = state;
        state = tables::transitions[state][end_class];
    }
    return { kind_of_state(state), previous, position };
}

}

TEST(ScannerTables, CharacterClasses)
{
    struct Case {
        char const* bytes;
        std::uint8_t cls;
    };
    Case const cases[] = {
        { "\t\r ", 0 },
        { "\n", 1 },
        { "123456789", 2 },
        { "0", 3 },
        { "[", 4 },
        { "]", 5 },
        { "(", 6 },
        { ")", 7 },
        { "{", 8 },
        { "}", 9 },
        { "\"", 10 },
        { "#", 11 },
        { "'", 12 },
        { ":", 13 },
        { "xX", 14 },
        { "T", 15 },
        { "h", 16 },
        { "e", 17 },
        { "E", 18 },
        { "abcdf", 19 },
        { "ABCDF", 20 },
        { "/", 21 },
        { "\\", 22 },
        { "<", 23 },
        { ">", 24 },
        { "=", 25 },
        { "%", 26 },
        { ",", 27 },
        { ";", 28 },
        { "@", 29 },
        { ".", 30 },
        { "$", 31 },
        { "+", 32 },
        { "-", 33 },
        { "^", 34 },
        { "!&*?GHIJKLMNOPQRSUVWYZ_`gijklmnopqrstuvwyz|~", 37 },
    };
    int assigned = 0;
    for (Case const& each : cases) {
        for (char const* byte = each.bytes; *byte; ++byte, ++assigned) {
            EXPECT_EQ(class_of(static_cast<std::uint8_t>(*byte)), each.cls) << *byte;
        }
    }
    EXPECT_EQ(assigned, 98); // space and every printable byte, TAB, CR and LF
    for (int byte = 1; byte < 32; ++byte) {
        if (byte != 9 && byte != 10 && byte != 13) {
            EXPECT_EQ(class_of(static_cast<std::uint8_t>(byte)), 35) << byte;
        }
    }
    EXPECT_EQ(class_of(0), end_class);
    EXPECT_EQ(class_of(127), 36);
    for (int byte = 128; byte < 192; ++byte) EXPECT_EQ(class_of(static_cast<std::uint8_t>(byte)), 36) << byte;
    for (int byte = 194; byte < 248; ++byte) EXPECT_EQ(class_of(static_cast<std::uint8_t>(byte)), 37) << byte;
    for (int byte : { 192, 193, 248, 251, 255 }) EXPECT_EQ(class_of(static_cast<std::uint8_t>(byte)), 38) << byte;
}

TEST(ScannerTables, TokenFlags)
{
    struct Case {
        std::uint8_t byte;
        std::uint32_t flag;
    };
    Case const cases[] = {
        { '%', token_flags::percent },
        { '>', token_flags::greater },
        { '<', token_flags::less },
        { '+', token_flags::sign },
        { '-', token_flags::sign },
        { 0, token_flags::nul },
        { '#', token_flags::hash },
        { 'e', token_flags::exponent },
        { 'E', token_flags::exponent },
        { '\'', token_flags::quote },
        { ':', token_flags::colon },
        { ',', token_flags::comma },
        { '.', token_flags::point },
        { '^', token_flags::caret },
        { 0xC3, 0x40000000 },
        { 0xEF, 0x40000000 },
        { 0xF0, 0x80000000 },
        { 0xF7, 0x80000000 },
        { 'a', 0 },
        { '1', 0 },
        { 0x80, 0 },
        { 0xF8, 0 },
    };
    for (Case const& each : cases)
        EXPECT_EQ(tables::character_classes[each.byte] & ~class_mask, each.flag) << int(each.byte);
    EXPECT_EQ(token_flags::unit_width(0), 1u);
    EXPECT_EQ(token_flags::unit_width(0x40000000), 2u);
    EXPECT_EQ(token_flags::unit_width(0x80000000), 4u);
    EXPECT_EQ(token_flags::unit_width(0xC0000000), 4u);
}

// 65 working rows; every next state is a working state or a final one, and state 65 never occurs.
TEST(ScannerTables, TransitionShape)
{
    for (int state = 0; state < working_state_count; ++state) {
        for (int cls = 0; cls < class_count; ++cls) {
            int const next = tables::transitions[state][cls];
            EXPECT_TRUE(next < working_state_count || (next >= first_final_state && next < state_count))
                << state << " " << cls;
        }
    }
    // Blanks and line feeds between tokens stay between tokens; NUL and the end give tok-eof.
    for (std::uint8_t cls : { 0, 1, 35 }) EXPECT_EQ(tables::transitions[0][cls], 0);
    EXPECT_EQ(kind_of_state(tables::transitions[0][end_class]), TokenKind::Eof);
    // An escape in a string or a brace string goes back to the body on any byte that may occur in text.
    for (int cls = 0; cls < 38; ++cls) {
        EXPECT_EQ(tables::transitions[3][cls], 2) << cls;
        EXPECT_EQ(tables::transitions[5][cls], 4) << cls;
    }
}

TEST(ScannerTables, StateTypes)
{
    struct Case {
        int state;
        TypeId type;
    };
    Case const cases[] = {
        { 0, 0 },
        { 1, 0 },
        { 2, type_ids::string },
        { 12, type_ids::string },
        { 6, type_ids::file },
        { 13, type_ids::word },
        { 14, type_ids::refinement },
        { 16, type_ids::issue },
        { 17, type_ids::binary },
        { 18, 0 },
        { 19, type_ids::char_ },
        { 21, 0 },
        { 23, type_ids::integer },
        { 28, type_ids::float_ },
        { 29, type_ids::tuple },
        { 30, type_ids::date },
        { 32, type_ids::time },
        { 34, type_ids::pair },
        { 35, type_ids::point2d },
        { 38, type_ids::money },
        { 39, 0 },
        { 46, type_ids::tag },
        { 53, type_ids::set_word },
        { 55, type_ids::url },
        { 56, type_ids::email },
        { 57, type_ids::ref },
        { 59, type_ids::path },
        { 64, type_ids::word },
        { 66, 0 },
        { 67, type_ids::error },
        { 73, type_ids::string },
        { 82, type_ids::integer },
        { 87, type_ids::percent },
        { 93, type_ids::point2d },
        { 99, type_ids::integer },
        { 101, type_ids::ref },
    };
    for (Case const& each : cases) EXPECT_EQ(tables::state_types[each.state], each.type) << each.state;
}

TEST(ScannerTables, PathTerminators)
{
    int const terminators[] = { 0, 1, 4, 5, 6, 7, 8, 10, 13, 23, 28, 37, 38, 39 };
    int count = 0;
    for (int cls = 0; cls < class_count; ++cls) count += tables::path_terminators[cls];
    EXPECT_EQ(count, 14);
    for (int cls : terminators) EXPECT_TRUE(tables::path_terminators[cls]) << cls;
}

TEST(ScannerTables, TokenKindsOfForms)
{
    struct Case {
        char const* text;
        TokenKind kind;
    };
    Case const cases[] = {
        { "", TokenKind::Eof },
        { "  \n\t", TokenKind::Eof },
        { "[", TokenKind::BlockOpen },
        { "]", TokenKind::BlockClose },
        { "(", TokenKind::ParenOpen },
        { ")", TokenKind::ParenClose },
        { "{", TokenKind::StringOpen },
        { "#[", TokenKind::MapOpen },
        { "a/b", TokenKind::Path },
        { "#(none)", TokenKind::Construct },
        { "; note", TokenKind::Comment },
        { ",", TokenKind::Comma },
        { "\"s\"", TokenKind::String },
        { "word", TokenKind::Word },
        { "#issue", TokenKind::Issue },
        { "12", TokenKind::Integer },
        { "/ref", TokenKind::Refinement },
        { "#\"c\"", TokenKind::Char },
        { "%file", TokenKind::File },
        { "#{00}", TokenKind::Binary },
        { "5%", TokenKind::Percent },
        { "1.5", TokenKind::Float },
        { "1.#INF", TokenKind::FloatSpecial },
        { "1.2.3", TokenKind::Tuple },
        { "1-Jan-2000", TokenKind::Date },
        { "1/2/2000", TokenKind::Date },
        { "2000-01-02", TokenKind::Date },
        { "1x2", TokenKind::Pair },
        { "10:30", TokenKind::Time },
        { "$1", TokenKind::Money },
        { "USD$1", TokenKind::Money },
        { "-$1", TokenKind::Money },
        { "<a>", TokenKind::Tag },
        { "http://a", TokenKind::Url },
        { "a@b", TokenKind::Email },
        { "FFh", TokenKind::Hex },
        { "0Ah", TokenKind::Hex },
        { "%{r}%", TokenKind::RawString },
        { "@r", TokenKind::Ref },
        // A sign and a blank is a word; with digits an integer; a point and digits a float.
        { "- ", TokenKind::Word },
        { "-1", TokenKind::Integer },
        { "+1", TokenKind::Integer },
        { ".5", TokenKind::Float },
        { "-.5", TokenKind::Float },
        { "1e5", TokenKind::Float },
        // A lone percent sign, a lone slash and runs of slashes are words; a word and a slash a path.
        { "%", TokenKind::Word },
        { "/", TokenKind::Word },
        { "///", TokenKind::Word },
        { "a/", TokenKind::Path },
        { "a;c", TokenKind::Word },
        // Errors: a digit and a lower-case letter, a closing brace or a backslash first, a bad UTF-8
        // byte anywhere, a continuation byte first, a bare line feed in a double-quoted string.
        { "1a", TokenKind::Error },
        { "}", TokenKind::Error },
        { "\\", TokenKind::Error },
        { "a\xC0", TokenKind::Error },
        { "\xFF", TokenKind::Error },
        { "\x80", TokenKind::Error },
        { "\"a\nb\"", TokenKind::Error },
        { "\"abc", TokenKind::Error },
    };
    for (Case const& each : cases) EXPECT_EQ(first_token(each.text).kind, each.kind) << each.text;
    EXPECT_EQ(first_token("1a").previous, 23);
    EXPECT_EQ(first_token("1a").length, 1u);
    // Inside a brace string a line feed is text; braces nest.
    EXPECT_EQ(first_token("a\nb}", states::brace_body).kind, TokenKind::StringClose);
    EXPECT_EQ(first_token("a{", states::brace_body).kind, TokenKind::StringOpen);
    // At a path element, digits are an integer and a word is a word.
    EXPECT_EQ(first_token("1/", states::path_element).kind, TokenKind::Integer);
    EXPECT_EQ(first_token("b/", states::path_element).kind, TokenKind::Word);
}
