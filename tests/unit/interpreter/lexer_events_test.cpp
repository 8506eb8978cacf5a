// The events a callback hears while text loads: their order, types, lines, positions and tokens; the
// event mask from the callback's body; refusals that drop values, skip tokens or suppress errors; a
// callback that moves the input; a callback that loads text itself.

#include <functional>

#include "datatypes/logic.h"
#include "lexer_fixture.h"
#include "runtime/collector.h"

namespace {

using namespace xol;

struct Heard {
    std::string event;
    std::string type;
    std::int32_t line;
    std::string token; // the value molded, or start:end when there is none
    std::uint32_t index;
};

// The stand-in for calling a function!: records what it hears and answers through `answer`, which may
// also change the arguments.
struct Listener {
    std::vector<Heard> heard;
    std::function<bool(Heard const&, Cell* arguments)> answer;
    Cell body = none_value; // what the callback's body is
};

Listener* listener = nullptr;

Cell call_listener(Cell const&, Cell* arguments, std::uint32_t count)
{
    EXPECT_EQ(count, 5u);
    Heard heard;
    heard.event = std::string(symbol::spelling(word::symbol_of(arguments[0])));
    TypeId const type = cell::type_of(arguments[2]);
    heard.type = type == type_ids::datatype ? type_name(datatype::get(arguments[2]))
        : type == type_ids::none            ? "none"
                                            : std::string(symbol::spelling(word::symbol_of(arguments[2])));
    heard.line = integer::get(arguments[3]);
    heard.token = cell::type_of(arguments[4]) == type_ids::pair
        ? std::to_string(arguments[4].word2) + ":" + std::to_string(arguments[4].word3)
        : mold_text(arguments[4]);
    heard.index = arguments[1].word1;
    listener->heard.push_back(heard);
    bool const answer = listener->answer ? listener->answer(listener->heard.back(), arguments) : true;
    return logic::make(answer);
}

Cell body_of_listener(Cell const&)
{
    return listener->body;
}

struct EventTest : LexerTest {
    Listener heard_events;

    void SetUp() override
    {
        LexerTest::SetUp();
        listener = &heard_events;
        gc::add_root(&heard_events.body);
        services.call_lexer_callback = call_listener;
        services.callback_body = body_of_listener;
    }
    void TearDown() override
    {
        listener = nullptr;
        LexerTest::TearDown();
    }

    // Loads the text (as a string!, so positions count characters) with the listener as callback.
    Cell load_heard(std::string_view source, lexer::ScanOptions options = {})
    {
        Rooted text(string::from_utf8(source));
        Cell* result = stack::push(none_value);
        Cell const callback = cell::make(type_ids::function);
        lexer::load_string(*result, *text, -1, options, nullptr, callback, nullptr);
        Cell const value = *result;
        stack::pop(1);
        return value;
    }

    std::vector<std::string> sequence() const
    {
        std::vector<std::string> events;
        for (Heard const& each : heard_events.heard) events.push_back(each.event + " " + each.type + " " + each.token);
        return events;
    }
};

// A block holding a block of the words.
Cell body_with_events(std::initializer_list<char const*> names)
{
    Rooted words(cell::make(type_ids::block, 0, series::alloc_cells(8), 0));
    for (char const* name : names) *series::append_cell(*words) = word::make_global(name);
    Rooted body(cell::make(type_ids::block, 0, series::alloc_cells(2), 0));
    *series::append_cell(*body) = *words;
    return *body;
}

}

TEST_F(EventTest, EventsInOrder)
{
    Rooted loaded_value(load_heard("a [b] ; c\n\"s\""));
    EXPECT_EQ(mold_text(*loaded_value, { .only = true, .flat = true }), "a [b] \"s\"");
    std::vector<std::string> const expected = {
        "prescan word! 1:2",
        "scan word! 1:2",
        "load word! a",
        "prescan none 3:3",
        "open block! 3:4",
        "prescan word! 4:5",
        "scan word! 4:5",
        "load word! b",
        "prescan none 5:5",
        "close block! 3:5",
        "prescan none 7:10",
        "scan none 7:10",
        "prescan string! 11:13",
        "scan string! 11:13",
        "load string! \"s\"",
    };
    EXPECT_EQ(sequence(), expected);
    EXPECT_EQ(heard_events.heard.back().line, 2);
    EXPECT_EQ(heard_events.heard[0].index, 1u); // after the word
    EXPECT_EQ(heard_events.heard[3].index, 2u); // a delimiter's prescan: before it
    EXPECT_EQ(heard_events.heard[4].index, 2u); // open: at the opening
}

// The words of the block that leads the body choose the events; the others are not heard.
TEST_F(EventTest, EventMask)
{
    heard_events.body = body_with_events({ "load" });
    Rooted loaded_value(load_heard("a [b c]"));
    EXPECT_EQ(sequence(), (std::vector<std::string> { "load word! a", "load word! b", "load word! c" }));

    heard_events.heard.clear();
    heard_events.body = body_with_events({ "open", "close", "error" });
    Rooted again(load_heard("x (y) {z}"));
    EXPECT_EQ(sequence(),
        (std::vector<std::string> { "open paren! 3:4", "close paren! 3:5", "open string! 7:8", "close string! 7:10" }));
}

TEST_F(EventTest, RefusedLoadDropsTheValue)
{
    heard_events.answer = [](Heard const& heard, Cell*) { return !(heard.event == "load" && heard.token == "b"); };
    Rooted loaded_value(load_heard("a b [b c]"));
    EXPECT_EQ(mold_text(*loaded_value, { .only = true, .flat = true }), "a [c]");
}

TEST_F(EventTest, RefusedPrescanSkipsTheToken)
{
    heard_events.answer
        = [](Heard const& heard, Cell*) { return !(heard.event == "prescan" && heard.type == "string!"); };
    Rooted loaded_value(load_heard("a \"skipped\" b [\"x\" c]"));
    EXPECT_EQ(mold_text(*loaded_value, { .only = true, .flat = true }), "a b [c]");

    heard_events.answer = [](Heard const& heard, Cell*) { return !(heard.event == "prescan" && heard.token == "3:3"); };
    // The opening bracket is skipped: its closing bracket has nothing to close.
    EXPECT_EQ(raised_by([&] { load_heard("a [b] c"); }), err::syntax::missing);
}

// An error the callback refuses ends the scan without raising; what was loaded stays, closed.
TEST_F(EventTest, RefusedErrorEndsTheScan)
{
    heard_events.answer = [](Heard const& heard, Cell*) { return heard.event != "error"; };
    Rooted loaded_value(load_heard("a [b (c 1a d] e"));
    EXPECT_EQ(mold_text(*loaded_value, { .only = true, .flat = true }), "a [b (c)]");
    Heard const& error = heard_events.heard.back();
    EXPECT_EQ(error.event, "error");
    EXPECT_EQ(error.type, "integer!");
    EXPECT_EQ(error.token, "9:10"); // the automaton stops at the byte that fails

    heard_events.heard.clear();
    // A series left open at the end gives none!.
    Rooted missing(load_heard("x [y\n"));
    EXPECT_EQ(cell::type_of(*missing), type_ids::none);
    EXPECT_EQ(heard_events.heard.back().event, "error");
    EXPECT_EQ(heard_events.heard.back().type, "block!");
    EXPECT_EQ(heard_events.heard.back().line, 2);
}

// Without a refusal the error is raised after the callback heard it.
TEST_F(EventTest, HeardErrorIsRaised)
{
    EXPECT_EQ(raised_by([&] { load_heard("a }"); }), err::syntax::bad_char);
    EXPECT_EQ(heard_events.heard.back().event, "error");
    EXPECT_EQ(heard_events.heard.back().type, "error!");
}

// A callback that moves the input's index skips text or reads it again; an index outside the text is
// clamped into it.
TEST_F(EventTest, MovedInput)
{
    heard_events.answer = [](Heard const& heard, Cell* arguments) {
        if (heard.event == "load" && heard.token == "skip") arguments[1].word1 = 13; // past "these "
        return true;
    };
    Rooted skipped(load_heard("a skip these b"));
    EXPECT_EQ(mold_text(*skipped, { .only = true, .flat = true }), "a skip b");

    int repeats = 0;
    heard_events.answer = [&](Heard const& heard, Cell* arguments) {
        if (heard.event == "load" && heard.token == "again" && repeats++ < 2) arguments[1].word1 = 2; // back to it
        return true;
    };
    Rooted reread(load_heard("a again b"));
    EXPECT_EQ(mold_text(*reread, { .only = true, .flat = true }), "a again again again b");

    heard_events.answer = [](Heard const& heard, Cell* arguments) {
        if (heard.event == "load" && heard.token == "a") arguments[1].word1 = 1'000;
        return true;
    };
    Rooted past_end(load_heard("a b c"));
    EXPECT_EQ(mold_text(*past_end, { .only = true, .flat = true }), "a");
}

// A callback may load text itself: the inner lexer's output follows the outer one's, and both survive
// the output buffer's growth.
TEST_F(EventTest, NestedLoading)
{
    std::string inner_source;
    for (int i = 0; i < 3'000; ++i) inner_source += std::to_string(i) + " ";
    Rooted inner_result(none_value);
    heard_events.answer = [&](Heard const& heard, Cell*) {
        if (heard.event == "load" && heard.token == "b") {
            Listener* outer = listener;
            listener = nullptr;
            *inner_result = load_text(inner_source); // without a callback
            listener = outer;
        }
        return true;
    };
    Rooted outer_result(load_heard("a [b c] d"));
    EXPECT_EQ(mold_text(*outer_result, { .only = true, .flat = true }), "a [b c] d");
    EXPECT_EQ(block::rs_length_q(*inner_result), 3'000u);
    EXPECT_EQ(integer::get(block::rs_head(*inner_result)[2'999]), 2'999);
}

// Tokens without a datatype are named by system/lexer/exit-states when it is set.
TEST_F(EventTest, ExitStates)
{
    Rooted states(cell::make(type_ids::block, 0, series::alloc_cells(40), 0));
    for (int kind = 0; kind < 36; ++kind)
        *series::append_cell(*states) = word::make_global("kind" + std::to_string(kind));
    lexer::set_exit_states(*states);
    heard_events.body = body_with_events({ "prescan", "scan" });
    Rooted loaded_value(load_heard("; note\n[]"));
    EXPECT_EQ(heard_events.heard.at(0).type, "kind11"); // the comment's prescan
    EXPECT_EQ(heard_events.heard.at(1).type, "kind11"); // and its scan
    EXPECT_EQ(heard_events.heard.at(2).type, "kind2"); // the bracket
    lexer::set_exit_states(none_value);
}

// A pre-scan follows the structure and reports errors without values or raising.
TEST_F(EventTest, PrescanEvents)
{
    Rooted result(load_heard("[a \"b\"] c", { .load = false }));
    EXPECT_EQ(sequence(),
        (std::vector<std::string> { "prescan none 1:1", "open block! 1:2", "prescan word! 2:3", "prescan string! 4:6",
            "prescan none 7:7", "close block! 1:7" }));
    heard_events.heard.clear();
    // Outside load mode an error is no event: the scan's answer, error!, tells of it.
    Rooted unfinished(load_heard("(a", { .load = false }));
    EXPECT_EQ(sequence(), (std::vector<std::string> { "prescan none 1:1", "open paren! 1:2", "prescan word! 2:3" }));
}
