// The call-site checks and accessors: which values pass, which raise, and what the raised errors name.

#include "datatypes/arguments.h"

#include "datatypes/integer.h"
#include "objects_fixture.h"
#include "runtime/roots.h"

using namespace xol;
using Field = error::Field;

namespace {

std::string spelling_of(Cell const& word)
{
    return std::string(symbol::spelling(word.word2));
}

// The first line of the formed error: the message itself.
std::string message_of(Cell const& error)
{
    std::string const text = formed_text(error);
    return text.substr(0, text.find('\n'));
}

Cell typeset_of(std::initializer_list<TypeId> types)
{
    Cell made = typeset::make();
    for (TypeId type : types) typeset::set_bit(made, type);
    return made;
}

// A raise inside a call of `caller`, so that the error has a place to name.
template <typename Action> std::optional<ErrorId> raised_in_caller(Action&& action)
{
    return raised_by([&] {
        stack::push_native_frame(word_of("caller"));
        action();
        stack::pop_frame_empty();
    });
}

}

struct ArgumentsTest : ObjectsTest {
    // A call of `callee` [first second /opt], as compiled code makes it: the value stack's base is the
    // call's first argument.
    void enter_callee()
    {
        Rooted function_value(Cell {});
        function::make_compiled((Built() << word_of("first") << word_of("second") << refinement_of("opt")).cell(),
            none_value, no_node, 0, 0, 0);
        *function_value = *stack::top();
        stack::pop(1);
        Cell callee = word_of("callee");
        word::set(callee, *function_value);
        stack::push_call_frame(word_of("callee"), no_node);
    }
};

// A raise with no arguments leaves all three unset in the record and none! in the error.
TEST_F(ArgumentsTest, RaiseWithoutArgumentsPassesNone)
{
    EXPECT_EQ(raised_by([] { fire_error(err::script::no_value); }), err::script::no_value);
    EXPECT_EQ(errors::last_raised().argument_count, 0u);
    for (Field field : { Field::arg1, Field::arg2, Field::arg3 })
        EXPECT_EQ(cell::type_of(error_field(last_error(), field)), type_ids::none);
}

TEST_F(ArgumentsTest, TypeChecks)
{
    Cell const integers = typeset_of({ type_ids::integer });
    struct Case {
        char const* what;
        void (*check)(Cell const& typeset);
        bool raises;
        TypeId named; // the datatype the error names
        char const* argument; // and the argument word
    };
    Case const cases[] = {
        { "an accepted type",
            [](Cell const& set) {
                stack::push(integer::make(7));
                arg::check_type(set, 0, stack::state.top[-1]);
            },
            false, 0, "" },
        { "a refused type", [](Cell const& set) { arg::check_type(set, 1, none_value); }, true, type_ids::none,
            "second" },
        { "an unused refinement's offset", [](Cell const&) { arg::check_type_at(-1, typeset::make(), 0); }, false, 0,
            "" },
        { "the cell at an offset",
            [](Cell const& set) {
                stack::push(integer::make(1));
                stack::push(logic::make(true));
                arg::check_type_at(1, set, 1);
            },
            true, type_ids::logic, "second" },
        { "an unset refinement", [](Cell const& set) { arg::check_type_if_set(false_value, set, 0, none_value); },
            false, 0, "" },
        { "a set refinement", [](Cell const& set) { arg::check_type_if_set(true_value, set, 0, none_value); }, true,
            type_ids::none, "first" },
        { "a set value", [](Cell const&) { arg::check_set(0, none_value); }, false, 0, "" },
        { "an unset value", [](Cell const&) { arg::check_set(1, cell::make(type_ids::unset)); }, true, type_ids::unset,
            "second" },
    };
    for (auto const& c : cases) {
        std::optional<ErrorId> const raised = raised_by([&] {
            enter_callee();
            c.check(integers);
            stack::pop_frame_empty();
        });
        if (!c.raises) {
            EXPECT_FALSE(raised) << c.what;
            continue;
        }
        ASSERT_EQ(raised, err::script::expect_arg) << c.what;
        Cell const error = last_error();
        EXPECT_EQ(spelling_of(error_field(error, Field::arg1)), "callee") << c.what;
        EXPECT_EQ(datatype::get(error_field(error, Field::arg2)), c.named) << c.what;
        EXPECT_EQ(spelling_of(error_field(error, Field::arg3)), c.argument) << c.what;
    }
}

// The argument named is the index-th word of the running function's spec.
TEST_F(ArgumentsTest, ExpectArgNamesCallerTypeAndArgument)
{
    Cell const integers = typeset_of({ type_ids::integer });
    EXPECT_EQ(raised_by([&] {
        enter_callee();
        arg::check_type(integers, 1, true_value);
    }),
        err::script::expect_arg);
    EXPECT_EQ(message_of(last_error()), "*** Script Error: callee does not allow logic! for its second argument");
}

// require_type: a value of the datatype passes; any other raises invalid-arg carrying the value itself.
TEST_F(ArgumentsTest, RequireType)
{
    Cell const seven = integer::make(7);
    EXPECT_FALSE(raised_by([&] { arg::require_type(seven, type_ids::integer); }));
    for (TypeId expected : { type_ids::float_, type_ids::string, type_ids::none }) {
        EXPECT_EQ(raised_by([&] { arg::require_type(seven, expected); }), err::script::invalid_arg) << int(expected);
        Cell const argument = error_field(last_error(), Field::arg1);
        EXPECT_EQ(cell::type_of(argument), type_ids::integer);
        EXPECT_EQ(integer::get(argument), 7);
    }
}

TEST_F(ArgumentsTest, RefinementOrNone)
{
    struct Case {
        Cell refinement;
        std::uint32_t count;
        char const* expected; // the flag and the two cells after it
    };
    Case const cases[] = {
        { true_value, 2, "[true 1 2]" },
        { integer::make(0), 2, "[true 1 2]" }, // any value but none! and false is true
        { false_value, 0, "[false 1 2]" }, // nothing changes
        { false_value, 2, "[false none none]" },
        { none_value, 1, "[false none 2]" },
    };
    for (auto const& c : cases) {
        stack::push_native_frame(word_of("caller"));
        stack::push(false_value);
        stack::push(integer::make(1));
        stack::push(integer::make(2));
        arg::refinement_or_none(c.refinement, 0, c.count);
        Built built;
        for (std::uint32_t i = 0; i < 3; ++i) built << *stack::cell_at(stack::index_of(stack::state.base) + i);
        EXPECT_EQ(mold_text(built.cell()), c.expected) << mold_text(c.refinement) << " " << c.count;
        stack::pop_frame_empty();
    }
}

TEST_F(ArgumentsTest, WordsFromTheStack)
{
    Cell target = word_of("target");
    EXPECT_EQ(raised_in_caller([&] { word::get_checked(target); }), err::script::no_value) << "a new word is unset";
    EXPECT_EQ(spelling_of(error_field(last_error(), Field::arg1)), "target");
    EXPECT_EQ(message_of(last_error()), "*** Script Error: target has no value");

    EXPECT_EQ(raised_in_caller([&] {
        stack::push(cell::make(type_ids::unset));
        word::set_from_top(target);
    }),
        err::script::need_value);
    EXPECT_EQ(message_of(last_error()), "*** Script Error: target needs a value");

    stack::push_native_frame(word_of("caller"));
    stack::push(integer::make(5));
    EXPECT_EQ(*word::set_from_top(target), integer::make(5));
    EXPECT_EQ(stack::state.top, stack::state.base + 1) << "set-from-top leaves the stack as it is";
    stack::push(integer::make(6));
    EXPECT_EQ(word::set_from_top_pop(target), stack::state.base);
    EXPECT_EQ(stack::state.top, stack::state.base);
    EXPECT_EQ(*word::get_checked(target), integer::make(6));
    stack::pop_frame_empty();
}

TEST_F(ArgumentsTest, ContextSlots)
{
    for (context::Kind kind : { context::Kind::Plain, context::Kind::Object }) {
        RootedNode context(context::make(2, false, false, no_node, kind));
        context::add_word(*context, word_of("alpha"));
        context::add_word(*context, word_of("beta"));

        EXPECT_EQ(raised_by([&] {
            stack::push(cell::make(type_ids::unset));
            ctx::set_slot(*context, 1);
        }),
            err::script::need_value);
        EXPECT_EQ(spelling_of(error_field(last_error(), Field::arg1)), "beta");

        stack::push_native_frame(word_of("caller"));
        stack::push(integer::make(3));
        Cell* slot = ctx::set_slot(*context, 0);
        EXPECT_EQ(slot, ctx::get_slot(*context, 0));
        EXPECT_EQ(*slot, integer::make(3));
        EXPECT_EQ(stack::state.top, stack::state.base + 1);
        stack::push(integer::make(4));
        EXPECT_EQ(ctx::set_slot_pop(*context, 0), stack::state.base);
        EXPECT_EQ(stack::state.top, stack::state.base);
        EXPECT_EQ(*ctx::get_slot(*context, 0), integer::make(4));

        // The owned variant takes unset! too, and flags the entry of an object's context only.
        stack::push(cell::make(type_ids::unset));
        EXPECT_EQ(ctx::set_slot_owned(*context, 1), stack::state.base);
        EXPECT_EQ(stack::state.top, stack::state.base);
        EXPECT_EQ(cell::type_of(*ctx::get_slot(*context, 1)), type_ids::unset);
        EXPECT_EQ((context::word_at(*context, 1)->header & context::changed_flag) != 0, kind == context::Kind::Object);
        EXPECT_EQ(context::word_at(*context, 0)->header & context::changed_flag, 0u);
        stack::pop_frame_empty();
    }
}

TEST_F(ArgumentsTest, SlotsOfStackValuedContexts)
{
    Rooted spec((Built() << word_of("x") << word_of("y")).cell());
    RootedNode context(context::make_from_spec(*spec, true, false, context::Kind::Function));
    // Not running: no values to give, and nothing is written.
    EXPECT_EQ(raised_by([&] { ctx::get_slot(*context, 1); }), err::script::not_defined);
    EXPECT_EQ(spelling_of(error_field(last_error(), Field::arg1)), "y");
    EXPECT_EQ(raised_by([&] {
        stack::push(integer::make(1));
        ctx::set_slot(*context, 1);
    }),
        err::script::not_defined);

    stack::push(integer::make(100)); // a running frame's values never begin at the bottom cell
    stack::push_native_frame(word_of("caller"));
    Cell* first = stack::push(integer::make(10));
    stack::push(integer::make(20));
    context::set_stack_values(*context, first);
    EXPECT_EQ(ctx::get_slot(*context, 1), first + 1);
    stack::push(integer::make(30));
    ctx::set_slot_pop(*context, 0);
    EXPECT_EQ(*first, integer::make(30));
    context::clear_values(*context);
    stack::pop_frame_empty();
    stack::pop(1);
}

TEST_F(ArgumentsTest, SelectKey)
{
    // [1 "one" 2 [two] 3 4 5]
    Rooted data((Built() << integer::make(1) << text("one") << integer::make(2) << (Built() << word_of("two")).cell()
                         << integer::make(3) << integer::make(4) << integer::make(5))
                    .cell());
    enum class Key { one, two, three, four, five, text_one, block_two, char_two };
    struct Case {
        Key key;
        std::uint32_t index; // of the block
        bool one_step;
        bool to_block;
        char const* expected;
    };
    Case const cases[] = {
        { Key::two, 0, false, false, "[two]" },
        { Key::text_one, 0, false, false, "none" }, // odd offsets are values, never keys
        { Key::text_one, 0, true, false, "2" }, { Key::four, 0, false, false, "none" },
        { Key::four, 0, true, false, "5" }, { Key::five, 0, true, false, "5" }, // the last cell answers itself
        { Key::four, 1, false, false, "5" }, // steps count from the index
        { Key::two, 1, false, false, "none" }, { Key::one, 0, false, true, "[two]" },
        { Key::three, 0, false, true, "none" }, // no block! after the match
        { Key::five, 0, true, true, "none" }, // the match is the last cell
        { Key::block_two, 0, true, false, "none" }, // a block! key finds nothing
        { Key::char_two, 0, true, false, "none" }, // equal values of another type do not match
    };
    for (auto const& c : cases) {
        stack::push_native_frame(word_of("caller"));
        switch (c.key) {
        case Key::one:
            stack::push(integer::make(1));
            break;
        case Key::two:
            stack::push(integer::make(2));
            break;
        case Key::three:
            stack::push(integer::make(3));
            break;
        case Key::four:
            stack::push(integer::make(4));
            break;
        case Key::five:
            stack::push(integer::make(5));
            break;
        case Key::text_one:
            stack::push(text("one"));
            break;
        case Key::block_two:
            stack::push(*block::rs_abs_at(*data, 3));
            break;
        case Key::char_two:
            stack::push(cell::make(type_ids::char_, 2));
            break;
        }
        Cell block = *data; // taken after the key's allocation, which may move nodes
        block.word1 = c.index;
        stack::push(block);
        Cell* const top = stack::state.top;
        block::select_key(c.one_step, c.to_block);
        std::string const where = std::to_string(static_cast<int>(c.key)) + " at " + std::to_string(c.index)
            + (c.one_step ? " one-step" : " two-step") + (c.to_block ? " to-block" : "");
        if (c.one_step) {
            ASSERT_EQ(stack::state.top, top + 1) << where;
            EXPECT_EQ(mold_text(top[0]), c.expected) << where;
        } else {
            ASSERT_EQ(stack::state.top, top) << where;
            EXPECT_EQ(mold_text(*stack::state.base), c.expected) << where;
        }
        stack::pop_frame_empty();
    }
}

TEST_F(ArgumentsTest, FireMakeArg)
{
    Rooted spec(text("spec"));
    EXPECT_EQ(raised_in_caller([&] { error::fire_make_arg(type_value(type_ids::native), *spec); }),
        err::script::bad_make_arg);
    EXPECT_EQ(message_of(last_error()), "*** Script Error: cannot MAKE native! from: \"spec\"");
}
