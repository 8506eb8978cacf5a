// The word family's actions: form and mold, comparison, index?, make and to; issue! makers; the spelling
// handed out as a string.

#include <string>

#include "names_fixture.h"

using namespace xol;

namespace {

struct WordTest : NamesTest { };

TEST_F(WordTest, FormAndMoldOfEveryVariant)
{
    struct Case {
        TypeId type;
        char const* molded;
    };
    Case const cases[] = {
        { type_ids::word, "name" },
        { type_ids::set_word, "name:" },
        { type_ids::lit_word, "'name" },
        { type_ids::get_word, ":name" },
        { type_ids::refinement, "/name" },
        { type_ids::issue, "#name" },
    };
    for (Case const& c : cases) {
        Cell const value = typed(global_word("name"), c.type);
        Printed const form = formed(value);
        Printed const mold = molded(value);
        EXPECT_EQ(form.text, "name") << int(c.type);
        EXPECT_EQ(form.limit, 96);
        EXPECT_EQ(mold.text, c.molded);
        EXPECT_EQ(mold.limit, 100 - static_cast<std::int32_t>(std::string(c.molded).size()));
    }
    // Non-ASCII spellings come out whole.
    EXPECT_EQ(molded(typed(global_word("\xC3\xA9t\xC3\xA9"), type_ids::refinement)).text, "/\xC3\xA9t\xC3\xA9");
}

TEST_F(WordTest, FormWithPartStopsAtTheBudget)
{
    Rooted buffer(string::make(16));
    Cell const part = integer::make(3);
    Cell const value = global_word("abcdef");
    std::int32_t const left = datatype::actions(type_ids::word).form(value, *buffer, &part, 3);
    EXPECT_EQ(string::to_utf8(*buffer), "abc");
    EXPECT_EQ(left, -3);
}

TEST_F(WordTest, CompareCodes)
{
    Cell const foo = global_word("foo");
    Cell const upper = global_word("FOO");
    Cell const set_foo = typed(foo, type_ids::set_word);
    Cell const lit_foo = typed(foo, type_ids::lit_word);
    Cell const lit_upper = typed(upper, type_ids::lit_word);
    Cell const issue_foo = typed(foo, type_ids::issue);
    Cell const issue_upper = typed(upper, type_ids::issue);
    Cell local_foo = foo;
    local_foo.word1 = no_node;
    Cell const bar = global_word("bar");
    struct Case {
        Cell const& first;
        Cell const& second;
        CompareOp op;
        std::int32_t answer;
    };
    Case const cases[] = {
        { foo, upper, CompareOp::Equal, 0 },
        { foo, upper, CompareOp::StrictEqual, 1 },
        { foo, foo, CompareOp::StrictEqual, 0 },
        { foo, set_foo, CompareOp::Equal, 0 },
        { foo, set_foo, CompareOp::StrictEqual, 1 },
        { foo, upper, CompareOp::FindEqual, 0 },
        { foo, bar, CompareOp::NotEqual, 1 },
        { foo, foo, CompareOp::Same, 0 },
        { foo, local_foo, CompareOp::Same, 1 },
        { foo, lit_foo, CompareOp::FindPathEqual, 0 },
        { lit_foo, foo, CompareOp::FindPathEqual, 0 },
        { foo, lit_upper, CompareOp::FindPathEqual, 1 },
        { foo, lit_upper, CompareOp::FindStrictPathEqual, 0 },
        { set_foo, lit_foo, CompareOp::FindStrictPathEqual, 1 },
        { foo, issue_foo, CompareOp::Equal, compare_incomparable },
        { issue_foo, foo, CompareOp::Equal, compare_incomparable },
        { issue_foo, issue_upper, CompareOp::Equal, 0 },
        { issue_foo, issue_upper, CompareOp::StrictEqual, 1 },
        { foo, integer::make(1), CompareOp::Equal, compare_incomparable },
        { bar, foo, CompareOp::Lesser, -1 },
        { foo, bar, CompareOp::Sort, 1 },
        { foo, upper, CompareOp::Sort, 0 },
    };
    for (Case const& c : cases) {
        std::int32_t const answer = datatype::actions(cell::type_of(c.first)).compare(c.first, c.second, c.op);
        EXPECT_EQ(answer, c.answer) << molded(c.first).text << " vs " << molded(c.second).text << " op "
                                    << static_cast<int>(c.op);
    }
}

TEST_F(WordTest, IndexOfUnboundIsNone)
{
    Cell const bound = global_word("indexed");
    Cell const unbound = cell::make(type_ids::word, no_node, symbol::make("loose"), word::unresolved);
    auto index_q = datatype::actions(type_ids::word).index_q;
    EXPECT_EQ(run_frame(index_q, bound), integer::make(static_cast<std::int32_t>(bound.word3) + 1));
    EXPECT_EQ(run_frame(index_q, unbound), none_value);
    EXPECT_EQ(datatype::actions(type_ids::refinement).index_q, nullptr);
    EXPECT_EQ(datatype::actions(type_ids::set_word).index_q, index_q);
}

TEST_F(WordTest, MakeAndTo)
{
    auto to = [](TypeId type, Cell const& spec) {
        Rooted kept(spec);
        return datatype::actions(type).to(datatype::make(type), *kept, type);
    };
    // From words of any kind: the same word, retyped.
    Cell const foo = global_word("foo");
    EXPECT_EQ(to(type_ids::set_word, typed(foo, type_ids::get_word)), typed(foo, type_ids::set_word));
    // From a refinement or issue: checked, then bound to the global context.
    Cell const loose = refinement::make("loose-ref");
    Cell const bound = to(type_ids::word, loose);
    EXPECT_EQ(bound.header, type_ids::word);
    EXPECT_EQ(bound.word1, no_node); // not in the global context: left as it was
    Cell const known = refinement::make("foo");
    EXPECT_EQ(to(type_ids::word, known).word1, context::global());
    EXPECT_EQ(raised_by([&] { to(type_ids::word, issue::make("12ab")); }), err::script::bad_to_arg);
    // From text: loaded as one word.
    Cell const from_text = to(type_ids::word, string::from_utf8("hello"));
    EXPECT_EQ(symbol::spelling(from_text.word2), "hello");
    EXPECT_EQ(from_text.word1, context::global());
    EXPECT_EQ(to(type_ids::lit_word, string::from_utf8("there:")).header, type_ids::lit_word);
    EXPECT_EQ(raised_by([&] { to(type_ids::word, string::from_utf8("two words")); }), err::script::invalid_chars);
    Cell const from_char = to(type_ids::word, char_::make('q'));
    EXPECT_EQ(symbol::spelling(from_char.word2), "q");
    // From a datatype or a logic: the name's word.
    Cell const type_word = to(type_ids::word, datatype::make(type_ids::integer));
    EXPECT_EQ(symbol::spelling(type_word.word2), "integer!");
    EXPECT_EQ(type_word.word1, context::global());
    Cell const truth = to(type_ids::word, true_value);
    EXPECT_EQ(symbol::spelling(truth.word2), "true");
    EXPECT_EQ(truth.word1, context::global());
    EXPECT_EQ(symbol::spelling(to(type_ids::get_word, false_value).word2), "false");
    EXPECT_EQ(raised_by([&] { to(type_ids::word, integer::make(1)); }), err::script::bad_to_arg);
    // Flags of the spec's header are cleared.
    Cell flagged = foo;
    flagged.header |= cell::new_line_flag | context::changed_flag;
    EXPECT_EQ(to(type_ids::word, flagged).header, type_ids::word);
}

TEST_F(WordTest, IssueMakeAndTo)
{
    auto to = [](Cell const& spec) {
        Rooted kept(spec);
        return datatype::actions(type_ids::issue).to(datatype::make(type_ids::issue), *kept, type_ids::issue);
    };
    Cell text = string::from_utf8("xtwo words");
    text.word1 = 1;
    Cell const from_text = to(text);
    EXPECT_EQ(cell::type_of(from_text), type_ids::issue);
    EXPECT_EQ(symbol::spelling(from_text.word2), "two words"); // no character check
    EXPECT_EQ(from_text.word1, context::global());
    EXPECT_EQ(from_text.word3, word::unresolved);
    EXPECT_EQ(molded(from_text).text, "#two words");
    EXPECT_EQ(symbol::spelling(to(char_::make(0xE9)).word2), "\xC3\xA9");
    Cell const foo = global_word("foo");
    Cell const retyped = to(typed(foo, type_ids::set_word));
    EXPECT_EQ(retyped.word3, foo.word3);
    EXPECT_EQ(cell::type_of(retyped), type_ids::issue);
    EXPECT_EQ(symbol::spelling(to(datatype::make(type_ids::block)).word2), "block!");
    EXPECT_EQ(raised_by([&] { to(integer::make(3)); }), err::script::bad_to_arg);
    EXPECT_EQ(molded(issue::make("abc")).text, "#abc");
    EXPECT_EQ(cell::type_of(*issue::load("pushed")), type_ids::issue);
    stack::pop(1);
}

TEST_F(WordTest, SpellingStringIsACopy)
{
    Cell const word = global_word("original");
    Cell* text = word::to_string(word);
    string::append_char(*text, '!');
    EXPECT_EQ(string::to_utf8(*text), "original!");
    EXPECT_EQ(formed(word).text, "original");
    EXPECT_EQ(symbol::spelling(word.word2), "original");
    stack::pop(1);
}

TEST_F(WordTest, PushVariantsKeepBindingAndRetype)
{
    Cell const word = global_word("pushed");
    struct Case {
        Cell* (*push)(Cell const&);
        TypeId type;
    };
    Case const cases[] = {
        { word::push, type_ids::word },
        { set_word::push, type_ids::set_word },
        { lit_word::push, type_ids::lit_word },
        { get_word::push, type_ids::get_word },
        { refinement::push, type_ids::refinement },
        { issue::push, type_ids::issue },
    };
    for (Case const& c : cases) {
        Cell const pushed = *c.push(word);
        EXPECT_EQ(pushed, typed(word, c.type));
        stack::pop(1);
    }
    Cell const entry = *lit_word::push_local(context::global(), word.word3);
    EXPECT_EQ(entry.word2, word.word2);
    EXPECT_EQ(cell::type_of(entry), type_ids::lit_word);
    stack::pop(1);
    Cell* pushed = word::push_global(symbol::make("PUSHED"));
    EXPECT_EQ(pushed->word3, word.word3);
    stack::pop(1);
}

TEST_F(WordTest, LocalReadsOfSeriesValuedContexts)
{
    RootedNode context(context::make(2, false, true, no_node, context::Kind::Object));
    context::add_word(*context, cell::make(type_ids::word, no_node, symbol::make("v"), word::unresolved));
    *context::values_at(*context, 0) = integer::make(8);
    Cell* below = stack::push(none_value);
    Cell* pushed = word::get_local_push(*context, 0);
    EXPECT_EQ(*pushed, integer::make(8));
    EXPECT_EQ(*below, integer::make(8));
    EXPECT_NE(context::word_at(*context, 0)->header & context::changed_flag, 0u);
    *stack::top() = none_value;
    word::set_local_from_top(*context, 0);
    EXPECT_EQ(*stack::top(), integer::make(8));
    stack::pop(2);
}

}
