// Contexts: look-up, growth, binding (case-blind), the global context's shared case variants, self,
// stack-valued contexts and the runtime word tables.

#include <functional>
#include <string>
#include <vector>

#include "names_fixture.h"
#include "runtime/collector.h"

using namespace xol;

namespace {

struct ContextTest : NamesTest { };

SymbolId sym(char const* name)
{
    return symbol::make(name);
}

// A word! of the name bound to nothing in particular: the context and the slot are the test's.
Cell bare_word(char const* name, NodeId context = no_node, TypeId type = type_ids::word)
{
    return cell::make(type, context, sym(name), word::unresolved);
}

TEST_F(ContextTest, LookUpAddAndGrowKeepEverySlot)
{
    RootedNode context(context::make(2, false, false, no_node, context::Kind::Object));
    for (int i = 0; i < 300; ++i) {
        std::string const name = "field-" + std::to_string(i);
        Cell const word = cell::make(type_ids::word, no_node, symbol::make(name), word::unresolved);
        EXPECT_EQ(context::add_word(*context, word), static_cast<std::uint32_t>(i));
        *context::value_cell(*context, static_cast<std::uint32_t>(i)) = integer::make(i);
    }
    gc::collect();
    EXPECT_EQ(context::word_count(*context), 300u);
    for (int i = 0; i < 300; ++i) {
        SymbolId const symbol = symbol::make("FIELD-" + std::to_string(i));
        std::int32_t const slot = context::find_word(*context, symbol, true);
        ASSERT_EQ(slot, i);
        EXPECT_EQ(context::find_word(*context, symbol, false), -1);
        EXPECT_EQ(integer::make(i), *context::value_cell(*context, static_cast<std::uint32_t>(slot)));
        Cell const* entry = context::word_at(*context, static_cast<std::uint32_t>(i));
        EXPECT_EQ(entry->word1, *context);
        EXPECT_EQ(entry->word3, static_cast<std::uint32_t>(i));
    }
}

TEST_F(ContextTest, BindingIsCaseBlindAndExactLookUpIsNot)
{
    RootedNode context(context::make(4, false, true, no_node, context::Kind::Object));
    context::add_word(*context, bare_word("foo"));
    Cell word = global_word("Foo");
    EXPECT_EQ(context::bind_word(*context, word), 0);
    EXPECT_EQ(word.word1, *context);
    EXPECT_EQ(word.word3, 0u);
    EXPECT_EQ(context::find_word(*context, sym("Foo"), false), -1);
    EXPECT_EQ(context::find_word(*context, sym("Foo"), true), 0);

    Cell other = global_word("bar");
    Cell const before = other;
    EXPECT_EQ(context::bind_word(*context, other), -1);
    EXPECT_EQ(other, before);
}

TEST_F(ContextTest, GlobalCaseVariantsShareOneValue)
{
    Cell foo = global_word("foo");
    word::set(foo, integer::make(1));

    struct Maker {
        char const* how;
        Cell (*make)();
    };
    Maker const makers[] = {
        { "exact add", [] { return context::add_global_word(symbol::make("FOO")); } },
        { "case-blind with copy", [] { return word::make_global("Foo"); } },
        { "word from symbol", [] { return word::make(symbol::make("fOO")); } },
        { "unresolved, looked up by set",
            [] { return cell::make(type_ids::word, context::global(), symbol::make("FOO"), word::unresolved); } },
    };
    std::int32_t value = 1;
    for (Maker const& maker : makers) {
        Cell variant = maker.make();
        word::set(variant, integer::make(++value));
        EXPECT_EQ(*word::get_value(foo), integer::make(value)) << maker.how;
        Cell resolved = variant;
        if (resolved.word3 == word::unresolved)
            resolved.word3 = static_cast<std::uint32_t>(context::find_word(context::global(), resolved.word2, false));
        EXPECT_EQ(*word::get_value(resolved), integer::make(value)) << maker.how;
        EXPECT_EQ(resolved.word3, foo.word3) << maker.how;
    }
    // The copy keeps its own spelling.
    EXPECT_EQ(symbol::spelling(word::make_global("Foo").word2), "Foo");
    // FOO was added as an entry of its own, yet every look-up lands on foo's slot.
    EXPECT_EQ(context::find_word(context::global(), sym("FOO"), false), static_cast<std::int32_t>(foo.word3));
}

TEST_F(ContextTest, SetAddsAMissingWordAtItsNewIndex)
{
    RootedNode context(context::make(1, false, false, no_node, context::Kind::Plain));
    context::add_word(*context, bare_word("first"));
    Cell word = bare_word("second", *context);
    Cell const* cell = word::set(word, integer::make(42));
    EXPECT_EQ(*cell, integer::make(42));
    EXPECT_EQ(context::word_count(*context), 2u);
    EXPECT_EQ(context::find_word(*context, sym("second"), false), 1);
    EXPECT_EQ(*context::values_at(*context, 1), integer::make(42));
    // The next set finds it without adding and caches the slot.
    word::set(word, integer::make(43));
    EXPECT_EQ(word.word3, 1u);
    EXPECT_EQ(*word::get_value(word), integer::make(43));
    EXPECT_EQ(context::word_count(*context), 2u);
}

TEST_F(ContextTest, ObjectContextsFlagEntriesAndTellTheirOwner)
{
    static int heard = 0;
    static Cell heard_old, heard_new;
    heard = 0;
    auto const saved = services.fire_on_change;
    services.fire_on_change = [](Cell const&, Cell const& word, Cell const& old_value, Cell const& new_value) {
        ++heard;
        heard_old = old_value;
        heard_new = new_value;
        EXPECT_EQ(symbol::spelling(word.word2), "field");
    };
    RootedNode context(context::make(2, false, true, no_node, context::Kind::Object));
    std::uint32_t const slot = context::add_word(*context, bare_word("field"));
    Cell word = bare_word("field", *context);
    word.word3 = slot;
    word::set(word, integer::make(1)); // no handler record yet
    EXPECT_EQ(heard, 0);
    EXPECT_NE(context::word_at(*context, slot)->header & context::changed_flag, 0u);
    context::owner_of(*context) = cell::make(type_ids::object, *context, 0, 7); // word 3: a handler record
    word::set(word, integer::make(2));
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(heard_old, integer::make(1));
    EXPECT_EQ(heard_new, integer::make(2));
    word::set_notify(word, integer::make(3), *context, false);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(*word::get_value(word), integer::make(3));
    services.fire_on_change = saved;
}

TEST_F(ContextTest, BindingABlockWalksNestedSeriesOnceAndLeavesIssuesAlone)
{
    RootedNode context(context::make(4, false, false, no_node, context::Kind::Plain));
    context::add_word(*context, bare_word("a"));
    context::add_word(*context, bare_word("b"));
    Rooted inner(series_of({ global_word("B"), typed(global_word("a"), type_ids::set_word) }, type_ids::paren));
    Rooted block(series_of({ global_word("a"), typed(global_word("a"), type_ids::issue), *inner,
        typed(global_word("b"), type_ids::get_word), global_word("c") }));
    // The block holds itself, and its paren holds it too. Each slot is filled after the append, which may
    // move nodes.
    Cell* slot = series::append_cell(*block);
    *slot = *block;
    slot = series::append_cell(*inner);
    *slot = *block;
    context::bind_block(*block, *context, false);
    Cell const* cells = block::rs_head(*block);
    EXPECT_EQ(cells[0].word1, *context);
    EXPECT_EQ(cells[0].word3, 0u);
    EXPECT_EQ(cells[1].word1, context::global()); // issue! is never bound
    EXPECT_EQ(cells[3].word1, *context);
    EXPECT_EQ(cells[3].word3, 1u);
    EXPECT_EQ(cells[4].word1, context::global()); // not in the context
    Cell const* nested = block::rs_head(*inner);
    EXPECT_EQ(nested[0].word1, *context);
    EXPECT_EQ(nested[0].word3, 1u);
    EXPECT_EQ(nested[1].word1, *context);
    EXPECT_EQ(cycles::depth(), 0u);
}

// One bind's words leave nothing behind for the next, and a context past the size looked up through a
// table of its own words binds alike.
TEST_F(ContextTest, EachBindSeesOnlyItsOwnContext)
{
    RootedNode first(context::make(4, false, false, no_node, context::Kind::Plain));
    context::add_word(*first, bare_word("a"));
    RootedNode second(context::make(4, false, false, no_node, context::Kind::Plain));
    context::add_word(*second, bare_word("c"));
    RootedNode large(context::make(80, false, false, no_node, context::Kind::Plain));
    for (int i = 0; i < 70; ++i) context::add_word(*large, bare_word(("w" + std::to_string(i)).c_str()));
    context::add_word(*large, bare_word("a"));
    struct Case {
        NodeId context;
        std::uint32_t a_slot; // the word `a`'s slot, or none when the context lacks it
        std::uint32_t c_slot;
    };
    constexpr std::uint32_t none = 0xFFFFFFFF;
    Case const cases[] = { { *first, 0, none }, { *second, none, 0 }, { *large, 70, none }, { *second, none, 0 } };
    for (Case const& c : cases) {
        Rooted block(series_of({ global_word("A"), global_word("c") }));
        context::bind_block(*block, c.context, false);
        Cell const* cells = block::rs_head(*block);
        EXPECT_EQ(cells[0].word1, c.a_slot == none ? context::global() : c.context);
        if (c.a_slot != none) {
            EXPECT_EQ(cells[0].word3, c.a_slot);
        }
        EXPECT_EQ(cells[1].word1, c.c_slot == none ? context::global() : c.context);
    }
}

TEST_F(ContextTest, SelfIsBoundByItsExactSymbol)
{
    RootedNode context(context::make(2, false, true, no_node, context::Kind::Object));
    context::owner_of(*context) = cell::make(type_ids::object, *context, 0, 0);
    Rooted block(
        series_of({ global_word("self"), global_word("SELF"), typed(global_word("self"), type_ids::get_word) }));
    context::bind_block(*block, *context, true);
    Cell const* cells = block::rs_head(*block);
    EXPECT_EQ(cells[0].word1, *context);
    EXPECT_EQ(cells[0].word3, word::unresolved);
    EXPECT_EQ(cells[1].word1, context::global()); // bound like any other word: not in the context
    EXPECT_EQ(cells[2].word1, context::global());
    Cell const self = cells[0];
    EXPECT_EQ(*word::get_value(self), cell::make(type_ids::object, *context, 0, 0));

    // Without the self flag, self is an ordinary word.
    Rooted plain(series_of({ global_word("self") }));
    context::bind_block(*plain, *context, false);
    EXPECT_EQ(block::rs_head(*plain)->word1, context::global());
}

TEST_F(ContextTest, SpecGivesOneSlotPerArgumentAndRefinement)
{
    Rooted spec(series_of({ global_word("a"), typed(global_word("b"), type_ids::refinement), global_word("c"),
        typed(global_word("d"), type_ids::set_word), string::from_utf8("doc"),
        typed(global_word("e"), type_ids::lit_word), typed(global_word("A"), type_ids::get_word) }));
    RootedNode context(context::make_from_spec(*spec, false, false, context::Kind::Function));
    ASSERT_EQ(context::word_count(*context), 4u);
    char const* expected[] = { "a", "b", "c", "e" };
    for (std::uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(symbol::spelling(context::word_at(*context, i)->word2), expected[i]);
    // Value cells: one per argument-like value, the repeated name counting twice.
    EXPECT_EQ(node::buffer(context::cell_of(*context).word2)->length(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(cell::type_of(*context::values_at(*context, i)), type_ids::unset);
}

TEST_F(ContextTest, StackValuedContextsReadOnlyWhileTheirFunctionRuns)
{
    Rooted spec(series_of({ global_word("x"), global_word("y") }));
    RootedNode context(context::make_from_spec(*spec, true, false, context::Kind::Function));
    EXPECT_TRUE(context::is_on_stack(*context));
    EXPECT_FALSE(context::has_values(*context));
    Rooted body(series_of({ global_word("y"), global_word("x") }));
    context::bind_block(*body, *context, false);
    Cell y = *block::rs_head(*body);
    EXPECT_EQ(y.word3, 1u);

    // Not running: reading and setting fail, nothing is written anywhere.
    EXPECT_EQ(raised_by([&] { word::get_value(y); }), err::script::not_in_context);
    EXPECT_EQ(raised_by([&] { word::set(y, integer::make(1)); }), err::script::not_defined);
    EXPECT_EQ(raised_by([&] { word::get_local(*context, 0); }), err::script::not_defined);

    // Running: the values are the arguments on the value stack.
    stack::push(integer::make(100)); // something below the frame
    Cell* first = stack::push(integer::make(10));
    stack::push(integer::make(20));
    context::set_stack_values(*context, first);
    gc::collect();
    EXPECT_EQ(*word::get_value(y), integer::make(20));
    word::set(y, integer::make(21));
    EXPECT_EQ(first[1], integer::make(21));
    EXPECT_EQ(*word::get_local(*context, 0), integer::make(10));
    stack::pop(1);
    // A word the frame does not hold cannot be added to a running frame.
    Cell stranger = bare_word("z", *context);
    EXPECT_EQ(raised_by([&] { word::set(stranger, integer::make(1)); }), err::script::not_defined);
    EXPECT_EQ(context::word_count(*context), 2u);

    context::clear_values(*context);
    EXPECT_EQ(raised_by([&] { word::get_value(y); }), err::script::not_in_context);
    stack::pop(3);
}

TEST_F(ContextTest, UnboundAndUnsetWordsRaiseTheirErrors)
{
    Cell unresolved = bare_word("nowhere", context::global());
    Cell unbound = bare_word("nothing");
    Cell unset_word = global_word("never-set");
    Rooted context(cell::make(type_ids::none));
    struct Case {
        char const* what;
        std::function<void()> action;
        ErrorId error;
    };
    Case const cases[] = {
        { "read unresolved", [&] { word::get_value(unresolved); }, err::script::no_value },
        { "read unbound", [&] { word::get_value(unbound); }, err::script::no_value },
        { "set unbound", [&] { word::set(unbound, integer::make(1)); }, err::script::not_defined },
        { "get unset", [&] { word::get(unset_word); }, err::script::no_value },
        { "set-arg of unset",
            [&] {
                stack::push(unset_word);
                stack::push(unset_value);
                word::set_arg();
            },
            err::script::need_value },
    };
    for (Case const& c : cases) EXPECT_EQ(raised_by(c.action), c.error) << c.what;
    EXPECT_EQ(cell::type_of(*word::get_any(unset_word)), type_ids::unset);
    stack::pop(1);
}

TEST_F(ContextTest, SetArgAssignsAndLeavesTheValueAsResult)
{
    Cell const target = global_word("assigned");
    stack::push_native_frame(cell::make(type_ids::word));
    stack::push(typed(target, type_ids::set_word));
    stack::push(integer::make(5));
    word::set_arg();
    EXPECT_EQ(*stack::state.base, integer::make(5));
    stack::pop_frame_empty();
    EXPECT_EQ(*word::get_value(target), integer::make(5));
}

TEST_F(ContextTest, CollectSetWordsAddsOnlyNewSetWords)
{
    RootedNode context(context::make(2, false, false, no_node, context::Kind::Object));
    context::add_word(*context, bare_word("a"));
    Rooted block(series_of({ typed(global_word("A"), type_ids::set_word), global_word("b"),
        typed(global_word("c"), type_ids::set_word), typed(global_word("c"), type_ids::set_word) }));
    EXPECT_TRUE(context::collect_set_words(*context, *block));
    EXPECT_EQ(context::word_count(*context), 2u);
    EXPECT_EQ(context::find_word(*context, sym("c"), false), 1);
    EXPECT_FALSE(context::collect_set_words(*context, *block));
    Cell past = *block;
    past.word1 = 9;
    EXPECT_FALSE(context::collect_set_words(*context, past));
    EXPECT_EQ(past.word1, 4u);
    EXPECT_EQ(node::buffer(context::cell_of(*context).word2)->length(), 2u);
}

TEST_F(ContextTest, CloneCopiesTheWordsAndRebindsThem)
{
    RootedNode source(context::make(2, false, true, no_node, context::Kind::Object));
    context::add_word(*source, bare_word("p"));
    context::add_word(*source, bare_word("q"));
    Rooted value(cell::make(type_ids::object, *source, 0, 0));
    NodeId const made = context::clone(*value, context::Kind::Object);
    RootedNode copy(made);
    EXPECT_NE(*copy, *source);
    EXPECT_EQ(value->word1, *copy);
    EXPECT_EQ(context::word_count(*copy), 2u);
    EXPECT_NE(context::cell_of(*copy).header & context::has_self, 0u);
    EXPECT_EQ(context::find_word(*copy, sym("Q"), true), 1);
    for (std::uint32_t i = 0; i < 2; ++i) EXPECT_EQ(context::word_at(*copy, i)->word1, *copy);
    // The copies are independent.
    context::add_word(*copy, bare_word("r"));
    EXPECT_EQ(context::word_count(*source), 2u);
    EXPECT_EQ(context::find_word(*source, sym("r"), true), -1);
}

TEST_F(ContextTest, ValueHelpers)
{
    RootedNode context(context::make(2, false, false, no_node, context::Kind::Plain));
    context::add_if_missing(*context, bare_word("k"), integer::make(1));
    context::add_if_missing(*context, bare_word("K"), integer::make(2));
    EXPECT_EQ(context::word_count(*context), 1u);
    EXPECT_EQ(*context::values_at(*context, 0), integer::make(1));
    Cell target = none_value;
    context::get_or_add_value(*context, bare_word("k"), target);
    EXPECT_EQ(target, integer::make(1));
    context::get_or_add_value(*context, bare_word("fresh"), target);
    EXPECT_EQ(cell::type_of(target), type_ids::unset);
    EXPECT_EQ(context::word_count(*context), 2u);

    Cell global = global_word("in-global");
    word::set(global, integer::make(9));
    EXPECT_EQ(*context::value_of_global(sym("IN-GLOBAL"), context::global()), integer::make(9));
    RootedNode frame(context::make(1, true, false, no_node, context::Kind::Function));
    EXPECT_EQ(*context::value_of_global(sym("in-global"), *frame), integer::make(9));
    // get_or_add: an exact entry of the context, or the global word.
    EXPECT_EQ(context::get_or_add(*context, sym("k")).word1, *context);
    EXPECT_EQ(context::get_or_add(*context, sym("elsewhere")).word1, context::global());
}

TEST_F(ContextTest, CallerWordCarriesItsSlot)
{
    Cell const called = global_word("some-function");
    stack::push_native_frame(called);
    stack::push_frame(word::make_global("<body>"), 0x07000000);
    Cell const found = stack::caller_word();
    EXPECT_EQ(found.word2, called.word2);
    EXPECT_EQ(found.word3, called.word3);
    stack::pop_frame_empty();
    stack::pop_frame_empty();
    EXPECT_EQ(stack::caller_word().word2, words::word_of(words::Word::not_found).word2);
}

TEST_F(ContextTest, RuntimeWordsLiveInTheGlobalContext)
{
    EXPECT_EQ(symbol::spelling(words::symbol_of(words::Symbol::self)), "self");
    EXPECT_EQ(symbol::spelling(words::symbol_of(words::Symbol::no_trace)), "no-trace");
    EXPECT_EQ(symbol::spelling(words::symbol_of(words::Symbol::os_macos)), "macOS");
    struct Case {
        words::Word word;
        char const* spelling;
    };
    Case const cases[] = {
        { words::Word::os_windows, "Windows" },
        { words::Word::bar, "|" },
        { words::Word::case_, "case" },
        { words::Word::at, "at" },
        { words::Word::put_ed, "put-ed" },
        { words::Word::not_found, "<not-found>" },
        { words::Word::end, "end" },
        { words::Word::on_change_star, "on-change*" },
        { words::Word::throw_event, "throw" },
        { words::Word::throw_, "throw" },
        { words::Word::applied, "<applied>" },
    };
    gc::collect();
    for (Case const& c : cases) {
        Cell const& word = words::word_of(c.word);
        EXPECT_EQ(symbol::spelling(word.word2), c.spelling);
        EXPECT_EQ(word.word1, context::global());
        EXPECT_EQ(context::find_word(context::global(), word.word2, false), static_cast<std::int32_t>(word.word3));
        EXPECT_EQ(cell::type_of(*word::get_value(word)), type_ids::unset) << c.spelling;
    }
    Cell const& local = words::refinement_of(words::RefinementWord::local);
    EXPECT_EQ(cell::type_of(local), type_ids::refinement);
    EXPECT_EQ(local.word1, no_node);
    EXPECT_EQ(symbol::spelling(local.word2), "local");
    EXPECT_EQ(stack::state.body_symbol, words::word_of(words::Word::body).word2);
    EXPECT_EQ(symbol::spelling(stack::state.anonymous_symbol), "<anon>");
    EXPECT_EQ(symbol::spelling(datatype::registry.types[type_ids::block].word), "block!");
}

// These tests decide when collections run: the stress switch would collect in the middle of their set-up.
struct NamesRelocationTest : NamesTest {
    void SetUp() override
    {
        NamesTest::SetUp();
        gc::state.stress = false;
    }
};

// Node relocation moves every node of a stable, sparse frame: the symbol table, the global context, the
// runtime words and the words C++ code holds must all be rewritten.
TEST_F(NamesRelocationTest, NamesSurviveNodeRelocation)
{
    // The names are made afresh in a node frame of their own, which then empties.
    std::vector<NodeId> garbage;
    while (memory::state.node_current->free_head != no_node) garbage.push_back(node::alloc());
    symbol::init();
    context::init_global();
    datatype::make_type_words();
    words::init();
    Cell foo = global_word("moved-foo");
    word::set(foo, integer::make(5));
    Rooted held(foo);
    RootedNode object(context::make(2, false, true, no_node, context::Kind::Object));
    context::add_word(*object, bare_word("field"));
    *context::values_at(*object, 0) = integer::make(6);
    SymbolId const upper = symbol::make("MOVED-FOO");
    for (NodeId node : garbage) node::free(node);
    NodeId const global_before = context::global();
    NodeId const symbols_before = symbol::state.block;

    std::uint32_t const relocations = gc::state.node_relocations;
    for (std::uint32_t i = 0; i < gc::history_depth + 3; ++i) gc::collect();
    ASSERT_GT(gc::state.node_relocations, relocations);
    EXPECT_NE(context::global(), global_before);
    EXPECT_NE(symbol::state.block, symbols_before);

    EXPECT_EQ(*word::get_value(*held), integer::make(5));
    EXPECT_EQ(held->word1, context::global());
    EXPECT_EQ(symbol::make("moved-foo"), held->word2);
    EXPECT_EQ(symbol::resolve(upper), held->word2);
    EXPECT_EQ(context::find_word(context::global(), upper, true), static_cast<std::int32_t>(held->word3));
    EXPECT_EQ(context::find_word(*object, symbol::make("FIELD"), true), 0);
    EXPECT_EQ(*context::values_at(*object, 0), integer::make(6));
    EXPECT_EQ(context::word_at(*object, 0)->word1, *object);
    Cell const& append = words::word_of(words::Word::append);
    EXPECT_EQ(append.word1, context::global());
    EXPECT_EQ(context::find_word(context::global(), append.word2, false), static_cast<std::int32_t>(append.word3));
    EXPECT_EQ(formed(append).text, "append");
    // Growth after the move still works.
    for (int i = 0; i < 50; ++i) global_word(("after-move-" + std::to_string(i)).c_str());
    EXPECT_EQ(*word::get_value(global_word("MOVED-FOO")), integer::make(5));
}

}
