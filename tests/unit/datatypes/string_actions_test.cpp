// string!: make, to, form, mold, compare and path access.

#include <string>

#include "text_fixture.h"

using namespace xol;

namespace {

using StringActions = TextTest;

// A stand-in refinement! that forms as its name and molds with its slash, as the word types do.
std::int32_t form_ref(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "ref", limit);
}
std::int32_t mold_ref(Cell const&, Cell& buffer, bool, bool, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, "/ref", limit);
}

std::string mold_text(std::string_view utf8_text, bool all = false)
{
    Rooted value(text(utf8_text));
    return molded(*value, all).text;
}

TEST_F(StringActions, MoldChoosesQuotesOrBraces)
{
    struct Case {
        std::string text;
        std::string molded;
    };
    Case const cases[] = {
        { "abc", "\"abc\"" },
        { "", "\"\"" },
        { "a\"b", "{a\"b}" },
        { std::string(49, 'x'), "\"" + std::string(49, 'x') + "\"" },
        { std::string(50, 'x'), "{" + std::string(50, 'x') + "}" },
        { "a\nb\nc", "\"a^/b^/c\"" },
        { "a\nb\nc\nd", "{a^/b^/c^/d}" },
        { "tab\there", "\"tab^-here\"" },
        { "cr\r", "\"cr^M\"" },
        { "caret^", "\"caret^^\"" },
        { "{a}", "\"{a}\"" },
        { "\"{a}\"", "{\"{a}\"}" },
        { "\"{a", "{\"^{a}" },
        { "\"{a{b}", "{\"^{a^{b^}}" },
        { "\"a}", "{\"a^}}" },
        { "\"{{a}}", "{\"{{a}}}" },
        { "\"^", "{\"^^}" },
        { "\"\n", "{\"^/}" },
        { "\x1E", "\"^(1E)\"" },
        { "\x7F", "\"^~\"" },
        { "\x01", "\"^A\"" },
        { "\u00E9", "\"\u00E9\"" },
        { "\u0096", "\"^(96)\"" },
        { "\u4E2D", "\"\u4E2D\"" },
    };
    for (Case const& c : cases) EXPECT_EQ(mold_text(c.text), c.molded) << c.text;
    // The braced form escapes the same way.
    EXPECT_EQ(mold_text("\"{x", false), "{\"^{x}");
}

TEST_F(StringActions, MoldAllEscapesEverythingAboveAscii)
{
    EXPECT_EQ(mold_text("\u00E9", true), "\"^(E9)\"");
    EXPECT_EQ(mold_text("\u0096", true), "\"^(96)\"");
    EXPECT_EQ(mold_text("\U0001F600", true), "\"^(1F600)\"");
    EXPECT_EQ(mold_text("abc", true), "\"abc\"");
}

TEST_F(StringActions, MoldBudgetAndPart)
{
    Rooted value(text("abcdef"));
    EXPECT_EQ(molded(*value).limit, 100 - 6 - 2);
    Rooted buffer(string::make(16));
    Cell const part = integer::make(3);
    std::int32_t const left = string::mold(*value, *buffer, false, false, false, &part, 3, 0);
    EXPECT_EQ(utf8(*buffer), "\"abc\"");
    EXPECT_EQ(left, 3 - 3 - 2);

    // The choice of braces looks at the whole rest, whatever the budget.
    Rooted long_value(text(std::string(60, 'y')));
    Rooted long_buffer(string::make(16));
    string::mold(*long_value, *long_buffer, false, false, false, &part, 3, 0);
    EXPECT_EQ(utf8(*long_buffer), "{yyy}");

    Rooted wide_output(string::make(16));
    Rooted wide(text("\u4E2D"));
    string::mold(*wide, *wide_output, false, false, false, nullptr, 10, 0);
    EXPECT_EQ(unit_of(*wide_output), 2u) << "a 1-byte output widens for the text it is given";
}

TEST_F(StringActions, FormAppendsTheTextFromTheIndex)
{
    Rooted value(at(text("abc\u4E2D"), 1));
    Printed const printed = formed(*value);
    EXPECT_EQ(printed.text, "bc\u4E2D");
    EXPECT_EQ(printed.limit, 97);

    Rooted buffer(string::make(16));
    Cell const part = integer::make(2);
    EXPECT_EQ(string::form(*value, *buffer, &part, 2), -1);
    EXPECT_EQ(utf8(*buffer), "bc");
    EXPECT_EQ(unit_of(*value), 2u);

    Rooted narrow(text("xyz"));
    Rooted wide_buffer(text("\u4E2D"));
    string::form(*narrow, *wide_buffer, nullptr, 10);
    EXPECT_EQ(unit_of(*narrow), 1u) << "form never widens the formed value";
    EXPECT_EQ(utf8(*wide_buffer), "\u4E2Dxyz");
}

TEST_F(StringActions, Make)
{
    Cell const proto = cell::make(type_ids::string);
    Rooted empty(string::make(proto, integer::make(0), type_ids::string));
    EXPECT_EQ(cell::type_of(*empty), type_ids::string);
    EXPECT_EQ(string::length(*empty), 0u);
    EXPECT_EQ(node::buffer(empty->word2)->capacity, 16u);
    Rooted sized(string::make(proto, float_::make(100.7), type_ids::file));
    EXPECT_EQ(cell::type_of(*sized), type_ids::file);
    EXPECT_GE(node::buffer(sized->word2)->capacity, 100u);

    EXPECT_EQ(raised_by([&] { string::make(proto, integer::make(-1), type_ids::string); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([&] { string::make(proto, float_::make(1e12), type_ids::string); }), err::script::out_of_range);

    Rooted from_text(text("abc"));
    Rooted made(string::make(proto, *from_text, type_ids::string));
    EXPECT_EQ(utf8(*made), "abc");
    EXPECT_NE(made->word2, from_text->word2) << "a copy";
}

TEST_F(StringActions, To)
{
    Cell const proto = cell::make(type_ids::string);
    Rooted source(at(text("abcd"), 1));
    Rooted as_file(string::to(proto, *source, type_ids::file));
    EXPECT_EQ(cell::type_of(*as_file), type_ids::file);
    EXPECT_EQ(as_file->word1, 0u);
    EXPECT_EQ(utf8(*as_file), "bcd");

    Rooted number(string::to(proto, integer::make(-42), type_ids::string));
    EXPECT_EQ(utf8(*number), "-42");
    Rooted character(string::to(proto, char_::make(0x4E2D), type_ids::string));
    EXPECT_EQ(utf8(*character), "\u4E2D");

    Rooted items(block_of({ integer::make(1), char_::make('a') }));
    {
        Rooted b(text("b"));
        *series::append_cell(*items) = *b;
    }
    Rooted joined(string::to(proto, *items, type_ids::string));
    EXPECT_EQ(utf8(*joined), "1ab");

    Rooted bytes(binary_of({ 'a', 0xC3, 0xA9 }));
    Rooted decoded(string::to(proto, *bytes, type_ids::string));
    EXPECT_EQ(utf8(*decoded), "a\u00E9");
    Rooted bad_bytes(binary_of({ 'a', 0xFF }));
    EXPECT_EQ(raised_by([&] { string::to(proto, *bad_bytes, type_ids::string); }), err::access::invalid_utf8);

    datatype::register_({ .id = type_ids::refinement,
        .parent = no_parent,
        .name = "refinement!",
        .actions = { .form = form_ref, .mold = mold_ref } });
    Cell const refinement = cell::make(type_ids::refinement);
    Rooted ref_text(string::to(proto, refinement, type_ids::string));
    EXPECT_EQ(utf8(*ref_text), "ref");
    Rooted ref_file(string::to(proto, refinement, type_ids::file));
    EXPECT_EQ(utf8(*ref_file), "/ref");
    EXPECT_EQ(cell::type_of(*ref_file), type_ids::file);

    EXPECT_EQ(raised_by([&] { string::to(proto, none_value, type_ids::string); }), err::script::bad_to_arg);
    EXPECT_EQ(datatype::get(errors::last_raised().arguments[0]), type_ids::string);
}

TEST_F(StringActions, Compare)
{
    Rooted upper(text("ABC"));
    Rooted lower(text("abc"));
    EXPECT_EQ(string::compare(*upper, *lower, CompareOp::Equal), 0);
    EXPECT_EQ(string::compare(*upper, *lower, CompareOp::NotEqual), 0);
    EXPECT_EQ(string::compare(*upper, *lower, CompareOp::StrictEqual), 1);
    Rooted other(text("abd"));
    EXPECT_EQ(string::compare(*lower, *other, CompareOp::Equal), 1) << "the equality codes answer 0 or 1";
    Rooted a(text("a"));
    Rooted b(text("B"));
    EXPECT_EQ(string::compare(*a, *b, CompareOp::Lesser), -1);

    Rooted file(text("abc"));
    file->header = type_ids::file;
    EXPECT_EQ(string::compare(*lower, *file, CompareOp::Equal), 0);
    EXPECT_EQ(string::compare(*lower, *file, CompareOp::StrictEqual), compare_incomparable);
    EXPECT_EQ(string::compare(*lower, *file, CompareOp::Lesser), compare_incomparable);
    EXPECT_EQ(string::compare(*lower, integer::make(1), CompareOp::Equal), compare_incomparable);
}

TEST_F(StringActions, PathAccess)
{
    Rooted value(text("abc"));
    Cell const two = integer::make(2);
    Cell const picked = string::eval_path({ .value = *value,
        .element = two,
        .new_value = nullptr,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1 });
    EXPECT_EQ(cell::type_of(picked), type_ids::char_);
    EXPECT_EQ(picked.word2, static_cast<std::uint32_t>('b'));

    Cell const key = char_::make('a');
    Cell const selected = string::eval_path({ .value = *value,
        .element = key,
        .new_value = nullptr,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1 });
    EXPECT_EQ(selected.word2, static_cast<std::uint32_t>('b'));

    Cell const new_value = char_::make('X');
    string::eval_path({ .value = *value,
        .element = key,
        .new_value = &new_value,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1 });
    EXPECT_EQ(utf8(*value), "aXc");
    string::eval_path({ .value = *value,
        .element = two,
        .new_value = &key,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1 });
    EXPECT_EQ(utf8(*value), "aac");

    Cell const missing = char_::make('z');
    EXPECT_EQ(raised_by([&] {
        string::eval_path({ .value = *value,
            .element = missing,
            .new_value = &new_value,
            .path = nullptr,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = -1 });
    }),
        err::script::bad_path_set);
    Cell const word = cell::make(type_ids::word);
    EXPECT_EQ(raised_by([&] {
        string::eval_path({ .value = *value,
            .element = word,
            .new_value = nullptr,
            .path = nullptr,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = -1 });
    }),
        err::script::invalid_path);
}

TEST_F(StringActions, RecordInheritsTheSeriesActions)
{
    TypeActions const& actions = datatype::actions(type_ids::string);
    EXPECT_EQ(actions.length_q, datatype::actions(type_ids::series).length_q);
    EXPECT_EQ(actions.pick, datatype::actions(type_ids::series).pick);
    EXPECT_EQ(actions.append, actions.insert);
    EXPECT_EQ(actions.put, nullptr);
    EXPECT_EQ(datatype::name(type_ids::string), "string!");
}

}
