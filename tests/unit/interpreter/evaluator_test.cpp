// The evaluator and the natives table from inside: what scripts cannot reach (built-in values made with
// indexes that have no entry, callbacks that push fewer arguments than the function takes, the check
// flag of native entries).

#include <string>
#include <string_view>

#include "../runtime/runtime_fixture.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/word.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/natives/natives.h"
#include "interpreter/natives/table.h"
#include "runtime/roots.h"
#include "runtime/series.h"

using namespace xol;

namespace {

struct EvaluatorTest : RuntimeTest {
    // The block of values a text loads as.
    static Cell load(std::string_view text)
    {
        Rooted source(string::from_utf8(text));
        return lexer::load_all(*source);
    }

    // Evaluates the text; answers its value molded.
    static std::string evaluate(std::string_view text)
    {
        Rooted code(load(text));
        interp::eval_block(*code, false);
        Rooted value(stack::state.top[-1]);
        stack::pop(1);
        return molded(*value);
    }

    static std::string molded(Cell const& value)
    {
        Rooted kept(value);
        Rooted text(string::from_utf8(""));
        actions::mold_typed(*kept, *text, false, false, false, nullptr, 0x7FFFFFFF, 0);
        return string::to_utf8(*text);
    }
};

TEST_F(EvaluatorTest, TheTableHoldsEveryBuiltInNative)
{
    EXPECT_EQ(natives::builtin_count, 107);
    EXPECT_EQ(natives::state.next_index, natives::builtin_count + 1);
    for (std::int32_t index = 1; index <= natives::builtin_count; ++index)
        EXPECT_EQ(natives::entry(index), natives::rows[index - 1].entry) << "native " << index;
    EXPECT_EQ(natives::entry(natives::builtin_count + 1), nullptr);
    EXPECT_EQ(natives::entry(natives::table_size + 1), nullptr);
}

// Start-up gives each row's word the native! of the row's index, made from the spec of that name.
TEST_F(EvaluatorTest, EveryRowsWordHoldsItsNative)
{
    for (std::int32_t index = 1; index <= natives::builtin_count; ++index) {
        std::string_view const name = natives::rows[index - 1].name;
        Rooted word(word::make_global(name));
        Cell const value = *word::get_value(*word);
        Cell const builtin = natives::builtin(index);
        EXPECT_EQ(cell::type_of(value), type_ids::native) << name;
        EXPECT_EQ(native::index_of(value), index) << name;
        EXPECT_EQ(value.word2, builtin.word2) << name << ": the built-in value's spec";
    }
}

// Values of indexes without an entry, or whose entry takes machine arguments, cannot be called.
TEST_F(EvaluatorTest, EntriesThatCannotBeCalledRaiseNotDone)
{
    struct Case {
        TypeId type;
        std::int32_t index;
        std::string_view spec;
    };
    Case const cases[] = {
        { type_ids::native, 110, "[a]" },
        { type_ids::action, 7, "[a b]" },
        { type_ids::action, 8, "[a b]" },
        { type_ids::action, 9, "[a b]" },
    };
    for (Case const& c : cases) {
        Rooted spec(load(c.spec));
        Rooted inner(node::buffer(spec->word2)->head_cell()[0]);
        Rooted value(native::make_value(c.type, *inner, c.index, false));
        Rooted call(load(""));
        series::append_cell(*call)[0] = *value;
        series::append_cell(*call)[0] = cell::make(type_ids::integer, 0, 1);
        series::append_cell(*call)[0] = cell::make(type_ids::integer, 0, 2);
        EXPECT_EQ(raised_by([&] { interp::eval_block(*call, false); }), err::internal::not_done) << "index " << c.index;
    }
}

// A callback pushes what it knows; the function's other slots get false (refinements) or none!.
TEST_F(EvaluatorTest, CallFunctionFillsTheSlotsNotPushed)
{
    Rooted code(load("func [a /opt b /local c] [reduce [a opt b c]]"));
    interp::eval_block(*code, false);
    Rooted function(stack::state.top[-1]);
    stack::pop(1);
    Cell* const saved_top = stack::state.top;
    stack::push(*function); // as the evaluator keeps a called function below its frame
    stack::push_call_frame(cell::make(type_ids::word), function->word1);
    stack::push(cell::make(type_ids::integer, 0, 7));
    interp::call_function(*function, no_node, cell::make(type_ids::word), 0);
    Rooted result(*stack::state.base);
    stack::pop_frame_keep_restore();
    stack::cut_to(saved_top);
    EXPECT_EQ(molded(*result), "[7 false none none]");
}

// call_checked tests a native's arguments against its spec when its row asks for it; the evaluator has
// tested them already and calls the entry alone.
TEST_F(EvaluatorTest, CallCheckedTestsArguments)
{
    Rooted word(load("either"));
    constexpr std::int32_t either = natives::index_of("either");
    auto call = [&](bool check, Cell const& branch) {
        stack::push_native_frame(node::buffer(word->word2)->head_cell()[0]);
        stack::push(cell::make(type_ids::logic, 1));
        stack::push(branch);
        stack::push(branch);
        if (check)
            natives::call_checked(either, nullptr);
        else
            natives::entry(either)(nullptr);
        stack::pop_frame_keep();
        stack::pop(1);
    };
    Rooted block(load("1"));
    Rooted text(string::from_utf8("not a block"));
    EXPECT_EQ(raised_by([&] { call(true, *text); }), err::script::expect_arg);
    EXPECT_EQ(raised_by([&] { call(true, *block); }), std::nullopt);
    EXPECT_EQ(evaluate("either 1 [1] [2]"), "1");
}

}

namespace {

// apply's call modes: the values of a block as every argument and refinement in spec order (all), or the
// mandatory arguments followed by named refinements (named).
std::string applied(std::string_view function_text, std::string_view values_text, std::uint32_t mode)
{
    Rooted code(EvaluatorTest::load(function_text));
    interp::eval_block(*code, false);
    Rooted function(stack::state.top[-1]);
    Rooted values(EvaluatorTest::load(values_text));
    interp::Code const walk { *values, node::buffer(values->word2)->length() };
    interp::CallSite const site { walk, 0, nullptr, 0, nullptr, nullptr, mode, false, true };
    interp::call_by_type(*function, site);
    Rooted result(stack::state.top[-1]);
    stack::pop(2);
    return EvaluatorTest::molded(*result);
}

}

TEST_F(EvaluatorTest, ApplyModesReadArgumentsAndRefinementsFromValues)
{
    char const* const function = "func [a /r b] [reduce [a r b]]";
    struct Case {
        std::string_view values;
        std::uint32_t mode;
        std::string_view result;
    };
    Case const cases[] = {
        { "1 equal? 1 1 2", interp::call_apply_all, "[1 true 2]" },
        { "1 equal? 1 0 2", interp::call_apply_all, "[1 false none]" }, // an off refinement's argument is dropped
        { "1", interp::call_apply_all, "[1 false none]" }, // past the values: none! and false
        { "1 /r equal? 1 1 2", interp::call_apply_named, "[1 true 2]" },
        { "1 /r equal? 1 0 2", interp::call_apply_named, "[1 false none]" },
        { "1", interp::call_apply_named, "[1 false none]" },
    };
    for (Case const& c : cases) EXPECT_EQ(applied(function, c.values, c.mode), c.result) << c.values;
}
