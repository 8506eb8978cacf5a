// The action entries called as the evaluator calls them: a native frame named by the action's word, the
// argument cells pushed after it, the refinement positions; the result read from the base cell.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "../runtime/runtime_fixture.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/native.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/actions_table.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/roots.h"

using namespace xol;

namespace {

constexpr std::int32_t unused = -1;

// Action indexes, from the action table.
constexpr std::int32_t make_index = actions::index_of("make");
constexpr std::int32_t to_index = actions::index_of("to");
constexpr std::int32_t form_index = actions::index_of("form");
constexpr std::int32_t mold_index = actions::index_of("mold");
constexpr std::int32_t add_index = actions::index_of("add");
constexpr std::int32_t even_q_index = actions::index_of("even?");
constexpr std::int32_t append_index = actions::index_of("append");
constexpr std::int32_t change_index = actions::index_of("change");
constexpr std::int32_t copy_index = actions::index_of("copy");
constexpr std::int32_t insert_index = actions::index_of("insert");
constexpr std::int32_t length_q_index = actions::index_of("length?");
constexpr std::int32_t pick_index = actions::index_of("pick");
constexpr std::int32_t poke_index = actions::index_of("poke");

// Start-up registers the action table.
struct ActionsTest : RuntimeTest { };

// The values of a source text, as a block on the value stack (kept for the rest of the test).
Cell load(std::string_view source)
{
    Cell* result = stack::push(none_value);
    lexer::scan(*result, reinterpret_cast<std::uint8_t const*>(source.data()),
        static_cast<std::uint32_t>(source.size()), {}, nullptr, none_value, none_value, nullptr);
    return *result;
}

// The first value of a source text, kept on the value stack.
Cell value_of(std::string_view source)
{
    Cell const block = load(source);
    return *stack::push(*node::buffer(block.word2)->head_cell());
}

// The global word `name`, its value the action! of `index` made from `spec`, as start-up makes them.
Cell action_word(std::string_view name, std::int32_t index, std::string_view spec)
{
    Rooted spec_block(value_of(spec));
    Rooted action(native::make_value(type_ids::action, *spec_block, index, true));
    Rooted word(word::make_global(name));
    word::set(*word, *action);
    return *word;
}

std::string molded(Cell const& value)
{
    Rooted kept(value);
    Rooted buffer(string::make(16));
    datatype::actions(cell::type_of(*kept)).mold(*kept, *buffer, false, false, false, nullptr, 100000, 0);
    return string::to_utf8(*buffer);
}

// Calls entry `index` in a native frame named by `word` with the argument cells and refinement positions;
// the result stays on the value stack.
Cell call(std::int32_t index, Cell const& word, std::initializer_list<Cell> arguments,
    std::vector<std::int32_t> refinements = {})
{
    refinements.resize(12, unused);
    stack::push_native_frame(word);
    for (Cell const& argument : arguments) stack::push(argument);
    actions::entry(index)(refinements.data());
    stack::pop_frame_keep();
    return *stack::top();
}

// The error's arguments, molded.
std::vector<std::string> error_arguments()
{
    std::vector<std::string> texts;
    RaisedError const& raised = errors::last_raised();
    for (std::uint8_t i = 0; i < raised.argument_count; ++i) texts.push_back(molded(raised.arguments[i]));
    return texts;
}

}

TEST_F(ActionsTest, TableHasAnEntryForEveryActionButSetPath)
{
    EXPECT_EQ(actions::count, 62);
    for (std::int32_t index = 1; index <= actions::count; ++index)
        EXPECT_EQ(actions::entry(index) == nullptr, index == actions::index_of("set-path")) << index;
    EXPECT_EQ(actions::entry(0), nullptr);
    EXPECT_EQ(actions::entry(actions::count + 1), nullptr);
}

// A row a word reaches: start-up gives the word the action! of the row's index, and a call of that value
// reaches the row's entry. The three others have no value, and a made action! of theirs reaches nothing.
TEST_F(ActionsTest, EveryRowsWordHoldsItsAction)
{
    std::int32_t words = 0;
    for (std::int32_t index = 1; index <= actions::count; ++index) {
        actions::Row const& row = actions::rows[index - 1];
        if (row.reach == actions::Reach::CodeOnly) {
            EXPECT_EQ(cell::type_of(actions::builtin(index)), type_ids::unset) << row.name;
            EXPECT_EQ(actions::word_entry(index), nullptr) << row.name;
            continue;
        }
        ++words;
        Rooted word(word::make_global(row.name));
        Cell const value = *word::get_value(*word);
        EXPECT_EQ(cell::type_of(value), type_ids::action) << row.name;
        EXPECT_EQ(native::index_of(value), index) << row.name;
        EXPECT_NE(row.entry, nullptr) << row.name;
        EXPECT_EQ(actions::word_entry(index), row.entry) << row.name;
    }
    EXPECT_EQ(words, actions::word_count);
    EXPECT_EQ(words, actions::count - 3);
}

TEST_F(ActionsTest, BuiltinValuesByIndex)
{
    Rooted add_word(action_word("add", add_index, "[value1 value2]"));
    Rooted action(*word::get_value(*add_word));
    actions::add_builtin(add_index, *action);
    Cell const stored = actions::builtin(add_index);
    EXPECT_EQ(cell::type_of(stored), type_ids::action);
    EXPECT_EQ(stored.word3, action->word3);
    EXPECT_EQ(cell::type_of(actions::builtin(0)), type_ids::unset);
    EXPECT_EQ(cell::type_of(actions::builtin(actions::count + 1)), type_ids::unset);
}

// The arithmetic slots read the frame themselves.
TEST_F(ActionsTest, AddDispatchesOnTheFirstArgument)
{
    Rooted word(action_word("add", add_index, "[value1 value2]"));
    Cell const sum = call(add_index, *word, { integer::make(2), integer::make(40) });
    EXPECT_EQ(cell::type_of(sum), type_ids::integer);
    EXPECT_EQ(integer::get(sum), 42);
    Cell const overflowed = call(add_index, *word, { integer::make(2147483647), integer::make(1) });
    EXPECT_EQ(cell::type_of(overflowed), type_ids::float_) << "integer!'s own slot ran";
}

// make integer! x and make 10 x reach integer!'s make slot; to likewise reaches its to slot.
TEST_F(ActionsTest, MakeAndToDispatchOnTheNamedDatatype)
{
    Rooted make_word(action_word("make", make_index, "[type spec]"));
    Rooted to_word(action_word("to", to_index, "[type spec]"));
    for (Cell const& prototype : { datatype::make(type_ids::integer), integer::make(10) }) {
        Cell const made = call(make_index, *make_word, { prototype, logic::make(true) });
        EXPECT_EQ(molded(made), "1") << molded(prototype);
        Cell const converted = call(to_index, *to_word, { prototype, value_of("#\"a\"") });
        EXPECT_EQ(molded(converted), "97") << molded(prototype);
    }
    Cell const text = call(make_index, *make_word, { datatype::make(type_ids::string), integer::make(10) });
    EXPECT_EQ(cell::type_of(text), type_ids::string);
}

TEST_F(ActionsTest, FormAndMoldCutToTheirPartLimit)
{
    Rooted form_word(action_word("form", form_index, "[value /part limit]"));
    Rooted mold_word(action_word("mold", mold_index, "[value /only /all /flat /part limit]"));
    Rooted block(value_of("[1 2 3]"));
    struct Case {
        std::int32_t index;
        bool part;
        std::int32_t limit;
        char const* text;
    };
    Case const cases[] = {
        { form_index, false, 0, "1 2 3" },
        { form_index, true, 3, "1 2" },
        { form_index, true, 0, "" },
        { form_index, true, -5, "" },
        { form_index, true, 100, "1 2 3" },
        { mold_index, false, 0, "[1 2 3]" },
        { mold_index, true, 4, "[1 2" },
        { mold_index, true, 0, "" },
    };
    for (Case const& c : cases) {
        Cell const& word = c.index == form_index ? *form_word : *mold_word;
        std::vector<std::int32_t> refinements(4, unused);
        if (c.part) refinements[c.index == form_index ? 0 : 3] = 1;
        Cell const result = c.part ? call(c.index, word, { *block, integer::make(c.limit) }, refinements)
                                   : call(c.index, word, { *block }, refinements);
        ASSERT_EQ(cell::type_of(result), type_ids::string);
        EXPECT_EQ(string::to_utf8(result), c.text) << c.index << " /part " << c.limit;
    }
    // mold's flags reach the slot: /only drops the outer brackets.
    Cell const only = call(mold_index, *mold_word, { *block }, { 1, unused, unused, unused });
    EXPECT_EQ(string::to_utf8(only), "1 2 3");
}

TEST_F(ActionsTest, AppendAndInsertTurnPartIntoACount)
{
    Rooted append_word(action_word("append", append_index, "[series value /part length /only /dup count]"));
    Rooted insert_word(action_word("insert", insert_index, "[series value /part length /only /dup count]"));
    Rooted source(value_of("[1 2 3 4]"));
    // The limit is an integer! count, or (`at_index`) the source at that index.
    struct Case {
        std::int32_t index;
        std::uint32_t value_index;
        bool at_index;
        std::int32_t limit;
        char const* result;
    };
    Case const cases[] = {
        { append_index, 0, false, 2, "[a 1 2]" },
        { append_index, 0, true, 2, "[a 1 2]" }, // a position in the value
        { append_index, 2, true, 0, "[a 1 2]" }, // a limit before the value moves it back
        { append_index, 2, false, -1, "[a 2]" }, // likewise a negative count
        { append_index, 0, false, 99, "[a 1 2 3 4]" },
        { append_index, 0, true, 9, "[a 1 2 3 4]" }, // the limit's index stops at the tail
        { append_index, 9, false, 2, "[a]" }, // a value past its tail has nothing to give
        { insert_index, 0, false, 3, "[1 2 3 a]" },
    };
    for (Case const& c : cases) {
        Rooted target(value_of("[a]"));
        Cell value = *source;
        value.word1 = c.value_index;
        Cell limit = *source;
        limit.word1 = static_cast<std::uint32_t>(c.limit);
        if (!c.at_index) limit = integer::make(c.limit);
        Cell const& word = c.index == append_index ? *append_word : *insert_word;
        call(c.index, word, { *target, value, limit }, { 2, unused, unused });
        Cell head = *target;
        head.word1 = 0;
        EXPECT_EQ(molded(head), c.result) << c.value_index << " " << c.limit;
    }
    Rooted text(value_of("\"ab\""));
    Rooted added(value_of("\"xyz\""));
    call(append_index, *append_word, { *text, *added, integer::make(2) }, { 2, unused, unused });
    EXPECT_EQ(string::to_utf8(*text), "abxy");
    Rooted float_limit(value_of("2.9"));
    call(append_index, *append_word, { *text, *added, *float_limit }, { 2, unused, unused });
    EXPECT_EQ(string::to_utf8(*text), "abxyxy") << "a float! count is cut toward zero";
}

// A /part count of 0 and a /dup count of 0 or less insert nothing: the series comes back as it was.
TEST_F(ActionsTest, NothingToInsertAnswersTheSeriesUnchanged)
{
    Rooted append_word(action_word("append", append_index, "[series value /part length /only /dup count]"));
    Rooted insert_word(action_word("insert", insert_index, "[series value /part length /only /dup count]"));
    struct Case {
        std::int32_t index;
        std::vector<Cell> arguments;
        std::vector<std::int32_t> refinements;
    };
    Rooted value(value_of("[x y]"));
    Case const cases[] = {
        { append_index, { integer::make(0) }, { 2, unused, unused } },
        { insert_index, { integer::make(0) }, { 2, unused, unused } },
        { append_index, { integer::make(0) }, { unused, unused, 2 } },
        { append_index, { integer::make(-3) }, { unused, unused, 2 } },
        { insert_index, { integer::make(0) }, { unused, unused, 2 } },
        { append_index, { integer::make(1), integer::make(0) }, { 2, unused, 3 } },
    };
    for (Case const& c : cases) {
        Rooted series(value_of("[a b c]"));
        series->word1 = 1;
        Cell const& word = c.index == append_index ? *append_word : *insert_word;
        stack::push_native_frame(word);
        stack::push(*series);
        stack::push(*value);
        for (Cell const& argument : c.arguments) stack::push(argument);
        actions::entry(c.index)(c.refinements.data());
        stack::pop_frame_keep();
        Cell const result = *stack::top();
        EXPECT_EQ(result.word2, series->word2);
        EXPECT_EQ(result.word1, 1u) << "the index is as it came";
        EXPECT_EQ(node::buffer(series->word2)->length(), 3u) << "nothing inserted";
    }
    Rooted series(value_of("[a]"));
    call(append_index, *append_word, { *series, *value, integer::make(2) }, { unused, unused, 2 });
    EXPECT_EQ(molded(*series), "[a x y x y]") << "a positive /dup repeats";
}

TEST_F(ActionsTest, BadPartLimitsOfAppendAndChange)
{
    Rooted append_word(action_word("append", append_index, "[series value /part length /only /dup count]"));
    Rooted change_word(action_word("change", change_index, "[series value /part range /only /dup count]"));
    Rooted target(value_of("[a]"));
    Rooted value(value_of("[1 2 3]"));
    Rooted other(value_of("[1 2 3]"));

    EXPECT_EQ(raised_by([&] {
        call(append_index, *append_word, { *target, *value, *other }, { 2, unused, unused });
    }),
        err::script::invalid_refine_arg);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "/part", "[1 2 3]" }));

    EXPECT_EQ(raised_by([&] {
        call(append_index, *append_word, { *target, integer::make(5), integer::make(1) }, { 2, unused, unused });
    }),
        err::script::invalid_part);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "1" }));

    // change's limit must lie in the changed series.
    EXPECT_EQ(raised_by([&] {
        call(change_index, *change_word, { *target, *value, *other }, { 2, unused, unused });
    }),
        err::script::invalid_refine_arg);
    EXPECT_EQ(molded(*target), "[a]");
    Rooted series(value_of("[a b c d]"));
    Cell limit = *series;
    limit.word1 = 2;
    Rooted kept_limit(limit);
    Rooted replacement(value_of("x"));
    call(change_index, *change_word, { *series, *replacement, *kept_limit }, { 2, unused, unused });
    EXPECT_EQ(molded(*series), "[x c d]") << "a position in the series counts the cells it replaces";
}

TEST_F(ActionsTest, PickAndPokeIndexes)
{
    Rooted pick_word(action_word("pick", pick_index, "[series index]"));
    Rooted poke_word(action_word("poke", poke_index, "[series index value]"));
    Rooted block(value_of("[a b c]"));
    struct Case {
        char const* index;
        char const* picked;
    };
    Case const cases[] = {
        { "3", "c" }, { "true", "a" }, { "false", "b" }, { "#\"^B\"", "b" },
        { "\"x\"", "none" }, // any other type hands 0
    };
    for (Case const& c : cases) {
        Rooted index(value_of(c.index));
        // The lexer loads true and false as words: their logic! values are what pick meets.
        if (cell::type_of(*index) == type_ids::word) *index = logic::make(std::string_view(c.index) == "true");
        EXPECT_EQ(molded(call(pick_index, *pick_word, { *block, *index })), c.picked) << c.index;
    }
    call(poke_index, *poke_word, { *block, logic::make(false), integer::make(7) });
    EXPECT_EQ(molded(*block), "[a 7 c]");
}

TEST_F(ActionsTest, LengthAndPredicatesBecomeValues)
{
    Rooted length_word(action_word("length?", length_q_index, "[series]"));
    Rooted even_word(action_word("even?", even_q_index, "[number]"));
    EXPECT_EQ(molded(call(length_q_index, *length_word, { value_of("[a b]") })), "2");
    EXPECT_EQ(molded(call(length_q_index, *length_word, { none_value })), "none");
    EXPECT_EQ(cell::type_of(call(length_q_index, *length_word, { none_value })), type_ids::none);
    EXPECT_EQ(molded(call(even_q_index, *even_word, { integer::make(4) })), "true");
    EXPECT_EQ(molded(call(even_q_index, *even_word, { integer::make(3) })), "false");
}

// The error names the action's word, the datatype, and the action's first argument.
TEST_F(ActionsTest, EmptySlotRaisesExpectArg)
{
    Rooted append_word(action_word("append", append_index, "[series value /part length /only /dup count]"));
    Rooted add_word(action_word("add", add_index, "[value1 value2]"));
    Rooted make_word(action_word("make", make_index, "[type spec]"));
    EXPECT_EQ(raised_by([&] {
        call(append_index, *append_word, { integer::make(1), integer::make(2) });
    }),
        err::script::expect_arg);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "append", "integer!", "series" }));

    EXPECT_EQ(raised_by([&] {
        call(add_index, *add_word, { value_of("[a]"), integer::make(2) });
    }),
        err::script::expect_arg);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "add", "block!", "value1" }));

    // make dispatches on the datatype named: its error names that type.
    TypeId unmade = 0;
    for (TypeId type = 1; type <= datatype::registry.highest && !unmade; ++type)
        if (datatype::is_registered(type) && !datatype::actions(type).make) unmade = type;
    ASSERT_NE(unmade, 0) << "some registered type makes nothing";
    EXPECT_EQ(raised_by([&] {
        call(make_index, *make_word, { datatype::make(unmade), integer::make(2) });
    }),
        err::script::expect_arg);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "make", std::string(datatype::name(unmade)), "type" }));
}

TEST_F(ActionsTest, CopyTypesMustNameTypes)
{
    Rooted copy_word(action_word("copy", copy_index, "[value /part length /deep /types kind]"));
    Rooted block(value_of("[a [b]]"));
    EXPECT_EQ(raised_by([&] {
        call(copy_index, *copy_word, { *block, integer::make(1) }, { unused, unused, 1 });
    }),
        err::script::expect_arg);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "copy", "integer!", "kind" }));
    Cell const copied
        = call(copy_index, *copy_word, { *block, datatype::make(type_ids::block) }, { unused, unused, 1 });
    EXPECT_EQ(molded(copied), "[a [b]]");
    EXPECT_NE(copied.word2, block->word2);
    Cell const part = call(copy_index, *copy_word, { *block, integer::make(1) }, { 1, unused, unused });
    EXPECT_EQ(molded(part), "[a]");
}

TEST_F(ActionsTest, CompareEntryTakesTheOperationCode)
{
    Rooted word(word::make_global("compare"));
    Rooted text(value_of("\"a\""));
    auto const compare = [&](Cell const& a, Cell const& b, CompareOp op) {
        return molded(
            call(actions::index_of("compare"), *word, { a, b, integer::make(static_cast<std::int32_t>(op)) }));
    };
    EXPECT_EQ(compare(integer::make(1), integer::make(2), CompareOp::Lesser), "true");
    EXPECT_EQ(compare(integer::make(1), *text, CompareOp::Equal), "false");
    EXPECT_EQ(raised_by([&] { compare(integer::make(1), *text, CompareOp::Lesser); }), err::script::invalid_compare);
    EXPECT_EQ(
        raised_by([&] { compare(integer::make(1), integer::make(1), CompareOp::Sort); }), err::script::invalid_arg);
}

TEST_F(ActionsTest, PathStepThroughTheValuesType)
{
    Rooted block(value_of("[a b c]"));
    Cell const second = integer::make(2);
    PathStep const step { .value = *block,
        .element = second,
        .new_value = nullptr,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1,
        .case_sensitive = false,
        .get = false,
        .last_element = true,
        .signal_owner = false };
    EXPECT_EQ(molded(actions::eval_path_typed(step)), "b");

    // With no path known: the element and the datatype.
    Cell const number = integer::make(5);
    Rooted element(value_of("c"));
    PathStep const alone { .value = number,
        .element = *element,
        .new_value = nullptr,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1,
        .case_sensitive = false,
        .get = false,
        .last_element = true,
        .signal_owner = false };
    EXPECT_EQ(raised_by([&] { actions::eval_path_typed(alone); }), err::script::bad_path_type2);
    EXPECT_EQ(error_arguments(), (std::vector<std::string> { "c", "integer!" }));

    // In a path: the path, the datatype, and the part of the path that gave the value.
    Rooted path(value_of("a/b/c/d"));
    for (auto const& [position, reached] : { std::pair { 2, "a/b" }, std::pair { -1, "a/b/c/d" } }) {
        PathStep const in_path { .value = number,
            .element = *element,
            .new_value = nullptr,
            .path = &*path,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = position,
            .case_sensitive = false,
            .get = false,
            .last_element = false,
            .signal_owner = false };
        EXPECT_EQ(raised_by([&] { actions::eval_path_typed(in_path); }), err::script::bad_path_type);
        EXPECT_EQ(error_arguments(), (std::vector<std::string> { "a/b/c/d", "integer!", reached }));
    }
}

// The eval-path entry of compiled code: read, or set when its refinement is used.
TEST_F(ActionsTest, EvalPathEntryReadsAndSets)
{
    Rooted word(word::make_global("eval-path"));
    Rooted block(value_of("[a b c]"));
    EXPECT_EQ(molded(call(actions::index_of("eval-path"), *word, { *block, integer::make(3) })), "c");
    call(actions::index_of("eval-path"), *word, { *block, integer::make(1), integer::make(9) }, { 2 });
    EXPECT_EQ(molded(*block), "[9 b c]");
}
