// error!: the catalogue against the ids raisers use, the codes, the makers, the formed text of every
// template form, mold, the path step, compare, and the error values the raising machinery now carries.

#include <array>
#include <bit>
#include <string>
#include <string_view>

#include "datatypes/error_trace.h"
#include "objects_fixture.h"
#include "runtime/error_catalog.h"
#include "runtime/output.h"

using namespace xol;

namespace {

struct ErrorTest : ObjectsTest { };

using error::Field;

std::string formed_error(Cell const& error)
{
    return form_text(error);
}

std::string trailer(char const* where = "???", char const* near = "none")
{
    return std::string("\n*** Where: ") + where + "\n*** Near : " + near;
}

}

// Each constant is looked up in the catalogue by its spelling when the program is compiled (a misspelt one
// does not compile: see tests/compile_fail/), and the build checks the table's shape. Here: the look-up
// answers the entry of that spelling, at the position the codes count from.
constexpr bool names_entry(ErrorId id, std::string_view category, std::string_view spelling)
{
    error_catalog::Category const& named = error_catalog::categories[id.category()];
    return named.name == category && id.position() >= 2 && id.position() - 2u < named.ids.size()
        && named.ids[id.position() - 2u].id == spelling;
}
static_assert(names_entry(err::throw_::break_, "throw", "break"));
static_assert(names_entry(err::throw_::while_cond, "throw", "while-cond"));
static_assert(names_entry(err::note::no_load, "note", "no-load"));
static_assert(names_entry(err::script::no_value, "script", "no-value"));
static_assert(names_entry(err::script::protected_, "script", "protected"));
static_assert(names_entry(err::script::xb_invalid_record, "script", "xb-invalid-record"));
static_assert(names_entry(err::user::message, "user", "message"));
static_assert(names_entry(err::internal::deprecated, "internal", "deprecated"));
static_assert(err::script::no_value.code() == 300);
static_assert(err::script::xb_invalid_record.code() == 393);
static_assert(err::internal::stack_overflow.code() == 904);
static_assert(err::reserved2::category == 7);
static_assert(error_catalog::categories[err::script::category].ids.size() == 94);
static_assert(error_catalog::find(ErrorId()) == nullptr, "a default id names no entry");
static_assert(error_catalog::find(err::script::no_value)->wording == error_catalog::standard);
static_assert(error_catalog::find(err::user::message)->wording == error_catalog::ours);

// A string template's text, as the console quotes it.
static_assert(error_catalog::string_template_text(err::internal::xol_system)
    == "contains Xol/System code which requires compilation");

// The catalogue objects hold each template as the value its text reads as.
TEST_F(ErrorTest, CatalogueObjectsHoldTheTemplates)
{
    std::uint32_t position = 0;
    for (error_catalog::Category const& category : error_catalog::categories) {
        NodeId const context = error::category_context(position);
        ASSERT_NE(context, no_node);
        EXPECT_EQ(integer::get(*context::values_at(context, 0)), static_cast<std::int32_t>(position * 100));
        EXPECT_EQ(string::to_utf8(*context::values_at(context, 1)), category.title);
        ASSERT_EQ(context::word_count(context), category.ids.size() + 2);
        for (std::size_t i = 0; i < category.ids.size(); ++i) {
            Cell const value = *context::values_at(context, static_cast<std::uint32_t>(i + 2));
            char const first = category.ids[i].template_[0];
            TypeId const expected = first == '"' ? type_ids::string : first == '[' ? type_ids::block : type_ids::word;
            EXPECT_EQ(cell::type_of(value), expected) << category.ids[i].id;
        }
        ++position;
    }
}

TEST_F(ErrorTest, MakeFromCodesBlocksAndStrings)
{
    struct Case {
        std::int32_t code;
        std::optional<ErrorId> raised;
    };
    Case const codes[] = {
        { 300, std::nullopt },
        { 393, std::nullopt }, // the last script id
        { 399, err::script::out_of_range },
        { 1000, err::script::out_of_range },
        { -1, err::script::out_of_range },
        { 600, err::script::out_of_range }, // reserved1 has no ids
        { 904, std::nullopt },
    };
    Cell const prototype = type_value(type_ids::error);
    for (Case const& c : codes) {
        Cell const spec = integer::make(c.code);
        Rooted made(unset_value);
        EXPECT_EQ(raised_by([&] { *made = error::make(prototype, spec, type_ids::error); }), c.raised) << c.code;
        if (c.raised) {
            EXPECT_EQ(error_field(last_error(), Field::arg1), spec);
            continue;
        }
        EXPECT_EQ(cell::type_of(*made), type_ids::error);
        EXPECT_EQ(made->word2, error::class_id);
        EXPECT_EQ(integer::get(error_field(*made, Field::code)), c.code);
    }

    Rooted from_words(
        error::make(prototype, (Built() << word_of("script") << word_of("no-value")).cell(), type_ids::error));
    EXPECT_EQ(integer::get(error_field(*from_words, Field::code)), 300);
    Cell const type = error_field(*from_words, Field::type);
    EXPECT_EQ(cell::type_of(type), type_ids::word);
    EXPECT_EQ(symbol::spelling(type.word2), "script");
    EXPECT_EQ(symbol::spelling(error_field(*from_words, Field::id).word2), "no-value");

    Rooted from_text(error::make(prototype, text("custom failure"), type_ids::error));
    EXPECT_EQ(integer::get(error_field(*from_text, Field::code)), err::user::message.code());
    EXPECT_EQ(string::to_utf8(error_field(*from_text, Field::arg1)), "custom failure");
    EXPECT_EQ(formed_error(*from_text), "*** User Error: custom failure" + trailer());
}

TEST_F(ErrorTest, MakeRefusesBadSpecsWithTheSpecifiedArguments)
{
    Cell const prototype = type_value(type_ids::error);
    struct Case {
        char const* what;
        ErrorId raised;
        char const* argument; // the molded arg1
    };
    auto const make_from
        = [&](Cell const& spec) { return raised_by([&] { error::make(prototype, spec, type_ids::error); }); };
    auto const arg1 = [] { return mold_text(error_field(last_error(), Field::arg1)); };

    EXPECT_EQ(make_from((Built() << word_of("script") << word_of("bogus")).cell()), err::script::invalid_spec_field);
    EXPECT_EQ(arg1(), "id");
    EXPECT_EQ(make_from((Built() << word_of("bogus") << word_of("no-value")).cell()), err::script::invalid_spec_field);
    EXPECT_EQ(arg1(), "type");
    EXPECT_EQ(make_from((Built() << word_of("script")).cell()), err::script::invalid_spec_field);
    EXPECT_EQ(arg1(), "id");
    EXPECT_EQ(make_from((Built() << word_of("script") << word_of("code")).cell()), err::script::invalid_spec_field)
        << "the category's own fields are no ids";
    EXPECT_EQ(make_from((Built() << word_of("script") << text("x")).cell()), err::script::invalid_arg);
    EXPECT_EQ(arg1(), "\"x\"");
    EXPECT_EQ(make_from((Built() << integer::make(1)).cell()), err::internal::invalid_error);
    EXPECT_EQ(make_from((Built()).cell()), err::internal::invalid_error);
    EXPECT_EQ(make_from(float_::make(1.5)), err::script::bad_make_arg);
    EXPECT_EQ(arg1(), "error!");
    EXPECT_EQ(mold_text(error_field(last_error(), Field::arg2)), "1.5");
}

// A spec of set-words is evaluated in the new error; its type and id must name a catalogue entry.
TEST_F(ErrorTest, MakeFromSetWords)
{
    Cell const prototype = type_value(type_ids::error);
    Rooted made(error::make(prototype,
        (Built() << set("type") << lit("math") << set("id") << lit("overflow") << set("arg1") << integer::make(7))
            .cell(),
        type_ids::error));
    EXPECT_EQ(integer::get(error_field(*made, Field::code)), err::math::overflow.code());
    EXPECT_EQ(integer::get(error_field(*made, Field::arg1)), 7);
    EXPECT_EQ(raised_by([&] {
        error::make(
            prototype, (Built() << set("type") << lit("math") << set("id") << lit("no-value")).cell(), type_ids::error);
    }),
        err::script::invalid_spec_field);
}

// Each template form: a string as it stands, a block with its arguments molded, a word standing for a
// field; syntax errors form their arguments.
TEST_F(ErrorTest, FormedTextOfEveryTemplateForm)
{
    Rooted foo(word_of("foo"));
    Rooted bar(word_of("bar"));
    Rooted integer_type(type_value(type_ids::integer));
    Rooted quoted(text("a \"q\""));
    Rooted user_text(text("it broke"));
    Rooted line(integer::make(3));
    struct Case {
        ErrorId id;
        Cell const* arg1;
        Cell const* arg2;
        Cell const* arg3;
        std::string expected;
    };
    Case const cases[] = {
        { err::math::zero_divide, nullptr, nullptr, nullptr, "*** Math Error: attempt to divide by zero" },
        { err::script::no_value, &*foo, nullptr, nullptr, "*** Script Error: foo has no value" },
        { err::script::expect_arg, &*foo, &*integer_type, &*bar,
            "*** Script Error: foo does not allow integer! for its bar argument" },
        { err::script::invalid_arg, &*quoted, nullptr, nullptr, "*** Script Error: invalid argument: {a \"q\"}" },
        { err::user::message, &*user_text, nullptr, nullptr, "*** User Error: it broke" },
        { err::internal::bad_path, &*foo, nullptr, nullptr, "*** Internal Error: bad path: foo" },
        { err::syntax::invalid, &*line, &*quoted, &*quoted, "*** Syntax Error: 3 invalid a \"q\" at a \"q\"" },
        { err::throw_::break_, nullptr, nullptr, nullptr, "*** Throw Error: no loop to break" },
        { err::note::no_load, &*foo, nullptr, nullptr, "*** note: cannot load:  foo" },
        { err::script::no_value, nullptr, nullptr, nullptr, "*** Script Error: none has no value" },
    };
    for (Case const& c : cases) {
        Rooted made(error::create(c.id, c.arg1, c.arg2, c.arg3));
        EXPECT_EQ(formed_error(*made), c.expected + trailer()) << c.id.code();
    }
}

TEST_F(ErrorTest, ArgumentsAreCutAt80AndNearAt40)
{
    std::string const long_text(100, 'x'); // a long text molds in braces
    Rooted argument(text(long_text));
    Rooted made(error::create(err::script::invalid_arg, &*argument));
    Rooted near((Built() << word_of(std::string(30, 'a')) << word_of(std::string(30, 'b'))).cell());
    *error::field(*made, Field::near) = *near;
    std::string const expected = "*** Script Error: invalid argument: {" + std::string(79, 'x')
        + trailer("???", (std::string(30, 'a') + " " + std::string(9, 'b')).c_str());
    EXPECT_EQ(formed_error(*made), expected);
}

// Forming an error the catalogue cannot describe shows it as internal invalid-error, and leaves it as it was.
TEST_F(ErrorTest, UnknownTypeOrIdFormsAsInvalidErrorWithoutChangingTheError)
{
    Rooted made(error::create(err::script::no_value));
    Rooted bogus(word_of("bogus"));
    *error::field(*made, Field::type) = *bogus;
    EXPECT_EQ(formed_error(*made), "*** Internal Error: invalid error object field value: bogus" + trailer());
    EXPECT_EQ(error_field(*made, Field::type), *bogus);
    EXPECT_EQ(cell::type_of(error_field(*made, Field::arg1)), type_ids::none);

    Rooted other(error::create(err::script::no_value));
    *error::field(*other, Field::id) = *bogus;
    EXPECT_EQ(formed_error(*other), "*** Internal Error: invalid error object field value: bogus" + trailer());
    EXPECT_EQ(error_field(*other, Field::id), *bogus);
    EXPECT_EQ(integer::get(error_field(*other, Field::code)), 300);
}

TEST_F(ErrorTest, WhereNearStackAndFilesLines)
{
    Rooted foo(word_of("foo"));
    Rooted made(error::create(err::script::no_value, &*foo));
    *error::field(*made, Field::where) = *foo;
    Rooted near((Built() << word_of("foo") << word_of("+") << integer::make(1)).cell());
    *error::field(*made, Field::near) = *near;
    EXPECT_EQ(formed_error(*made), "*** Script Error: foo has no value" + trailer("foo", "foo + 1"));

    Rooted where_text(text("console"));
    *error::field(*made, Field::where) = *where_text;
    Rooted trace((Built() << word_of("outer") << word_of("inner")).cell());
    *error::field(*made, Field::stack) = *trace;
    Rooted files((Built() << text("a.xol")).cell());
    *error::field(*made, Field::files) = *files;
    EXPECT_EQ(formed_error(*made),
        "*** Script Error: foo has no value" + trailer("console", "foo + 1") + "\n*** Stack: outer inner"
            + "\n*** Files: \"a.xol\"");

    // A stack-trace setting of 0 hides the Stack line.
    services.stack_trace_setting = [] { return integer::make(0); };
    EXPECT_EQ(formed_error(*made),
        "*** Script Error: foo has no value" + trailer("console", "foo + 1") + "\n*** Files: \"a.xol\"");
    app::fill_services();
}

TEST_F(ErrorTest, MoldWritesTheFields)
{
    Rooted foo(word_of("foo"));
    Rooted made(error::create(err::script::no_value, &*foo));
    EXPECT_EQ(mold_text(*made),
        "make error! [\n    code: 300\n    type: 'script\n    id: 'no-value\n    arg1: 'foo\n    arg2: none\n"
        "    arg3: none\n    near: none\n    where: none\n    stack: none\n    files: none\n]");
    EXPECT_EQ(mold_text(*made, { .flat = true }),
        "make error! [code: 300 type: 'script id: 'no-value arg1: 'foo arg2: none arg3: none near: none "
        "where: none stack: none files: none ]");
}

TEST_F(ErrorTest, PathsReachEveryFieldButStack)
{
    Rooted made(error::create(err::script::no_value));
    Rooted path((Built(type_ids::path) << word_of("e") << word_of("stack")).cell());
    auto const step = [&](Cell const& element, Cell const* value) {
        return PathStep { .value = *made,
            .element = element,
            .new_value = value,
            .path = &*path,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = 1,
            .case_sensitive = false,
            .get = false,
            .last_element = true,
            .signal_owner = false };
    };
    Rooted stack_word(word_of("stack"));
    Rooted seven(integer::make(7));
    for (Cell const* value : { static_cast<Cell const*>(nullptr), static_cast<Cell const*>(&*seven) }) {
        EXPECT_EQ(raised_by([&] { error::eval_path(step(*stack_word, value)); }), err::script::invalid_path_set);
        EXPECT_EQ(error_field(last_error(), Field::arg1), *path);
    }
    Rooted arg1(word_of("arg1"));
    EXPECT_EQ(error::eval_path(step(*arg1, &*seven)), *seven);
    EXPECT_EQ(error::eval_path(step(*arg1, nullptr)), *seven);
    EXPECT_EQ(error_field(*made, Field::arg1), *seven);
}

TEST_F(ErrorTest, DistinctErrorsWithEqualFieldsCompareEqual)
{
    Rooted foo(word_of("foo"));
    Rooted first(error::create(err::script::no_value, &*foo));
    Rooted second(error::create(err::script::no_value, &*foo));
    Rooted other(error::create(err::script::need_value, &*foo));
    EXPECT_EQ(error::compare(*first, *second, CompareOp::Equal), 0);
    EXPECT_NE(error::compare(*first, *other, CompareOp::Equal), 0);
    EXPECT_EQ(error::compare(*first, *second, CompareOp::Same), -1);
    EXPECT_EQ(error::compare(*first, *foo, CompareOp::Equal), compare_incomparable);
}

// fire_error now carries error! values, with the where word of the nearest named frame and the frame
// position in stack; catching it and capturing the trace lists the function calls.
TEST_F(ErrorTest, RaisedErrorsAreErrorValues)
{
    Rooted handler(Cell {});
    function::make_compiled((Built() << word_of("x")).cell(), (Built() << word_of("x")).cell(), no_node, 0, 0, 0);
    *handler = *stack::top();
    stack::pop(1);
    Cell outer = word_of("outer");
    word::set(outer, *handler);

    Rooted ten(integer::make(10));
    CallFrame* frame = stack::push_try_frame(words::word_of(words::Word::try_));
    stack::push_call_frame(word_of("outer"), no_node);
    stack::push_native_frame(words::word_of(words::Word::body));
    bool caught = false;
    try {
        fire_error(err::script::out_of_range, &*ten);
    } catch (Unwind const&) {
        // The unwinding removed the frames down to the try frame and the try frame itself.
        stack::land(frame);
        stack::reset_to_last();
        stack::drop_arguments();
        caught = true;
    }
    ASSERT_TRUE(caught);
    Rooted raised(last_error());
    ASSERT_EQ(cell::type_of(*raised), type_ids::error);
    EXPECT_EQ(integer::get(error_field(*raised, Field::code)), err::script::out_of_range.code());
    EXPECT_EQ(error_field(*raised, Field::arg1), *ten);
    EXPECT_EQ(symbol::spelling(error_field(*raised, Field::where).word2), "outer");
    EXPECT_EQ(integer::get(error_field(*raised, Field::stack)), 3);
    EXPECT_EQ(symbol::spelling(error::get_id(*raised)), "out-of-range");
    EXPECT_EQ(symbol::spelling(error::get_type(*raised)), "script");
}

TEST_F(ErrorTest, TraceWalksListFunctionCallsAndCollectCallsListsEveryNamedFrame)
{
    Rooted function_value(Cell {});
    function::make_compiled((Built() << word_of("x")).cell(), none_value, no_node, 0, 0, 0);
    *function_value = *stack::top();
    stack::pop(1);
    Cell user = word_of("user-fn");
    word::set(user, *function_value);
    Cell native_word = word_of("some-native");
    word::set(native_word, integer::make(1));

    stack::push_call_frame(word_of("user-fn"), no_node);
    stack::push_native_frame(word_of("some-native"));
    stack::push_native_frame(words::word_of(words::Word::body));
    stack::push_call_frame(word_of("user-fn"), no_node);
    std::uint32_t const end = static_cast<std::uint32_t>(stack::state.frame_top - stack::state.frame_bottom);

    Rooted listed(*block::push_new(4));
    stack::pop(1);
    stack::trace_words(1, *listed, end);
    EXPECT_EQ(mold_text(*listed), "[user-fn user-fn]");
    Rooted every(*block::push_new(4));
    stack::pop(1);
    stack::trace_words(2, *every, end);
    EXPECT_EQ(mold_text(*every), "[user-fn some-native user-fn]");
    Rooted line(string::make(16));
    stack::trace_text(1, end - 1, *line, 100);
    EXPECT_EQ(string::to_utf8(*line), "user-fn ");

    Rooted calls(*block::push_new(4));
    stack::pop(1);
    stack::collect_calls(*calls);
    std::string const expected = "[user-fn " + std::to_string(stack::state.frame_bottom[3].saved_base) + " some-native "
        + std::to_string(stack::state.frame_bottom[1].saved_base) + "]";
    EXPECT_EQ(mold_text(*calls), expected) << "innermost first, never the bottom frame";

    for (int i = 0; i < 4; ++i) stack::pop_frame_empty();
}

// The uncaught path prints the formed text and a line end.
TEST_F(ErrorTest, UncaughtErrorsPrintTheirFormedText)
{
    Rooted foo(word_of("foo"));
    Rooted made(error::create(err::script::no_value, &*foo));
    conout::capture_for_tests(true);
    services.print_error(*made);
    std::string const printed(conout::captured_for_tests());
    conout::capture_for_tests(false);
    EXPECT_EQ(printed, "*** Script Error: foo has no value" + trailer() + "\n");
}

TEST_F(ErrorTest, ArgumentWordOfTheCallingFunction)
{
    Rooted function_value(Cell {});
    function::make_compiled(
        (Built() << text("doc") << word_of("first") << lit("second") << refinement_of("opt")).cell(), none_value,
        no_node, 0, 0, 0);
    *function_value = *stack::top();
    stack::pop(1);
    Cell callee = word_of("callee");
    word::set(callee, *function_value);
    stack::push_call_frame(word_of("callee"), no_node);
    stack::push_native_frame(words::word_of(words::Word::body));
    EXPECT_EQ(symbol::spelling(error::function_arg_word(0).word2), "first");
    EXPECT_EQ(symbol::spelling(error::function_arg_word(1).word2), "second");
    EXPECT_EQ(cell::type_of(error::function_arg_word(1)), type_ids::word);
    EXPECT_EQ(symbol::spelling(error::function_arg_word(2).word2), "opt");
    EXPECT_EQ(symbol::spelling(error::function_arg_word(3).word2), "<anon>");
    stack::pop_frame_empty();
    stack::pop_frame_empty();
    EXPECT_EQ(symbol::spelling(error::function_arg_word(0).word2), "<anon>");
}

TEST_F(ErrorTest, CaptureStackReplacesThePositionByTheTrace)
{
    Rooted function_value(Cell {});
    function::make_compiled((Built() << word_of("x")).cell(), none_value, no_node, 0, 0, 0);
    *function_value = *stack::top();
    stack::pop(1);
    Cell user = word_of("user-fn");
    word::set(user, *function_value);
    stack::push_call_frame(word_of("user-fn"), no_node);
    Rooted made(error::create(err::script::no_value));
    *error::field(*made, Field::stack) = integer::make(1);
    services.source_files = [] { return (Built() << text("main.xol")).cell(); };
    error::capture_stack(*made);
    app::fill_services();
    EXPECT_EQ(mold_text(error_field(*made, Field::stack)), "[user-fn]");
    EXPECT_EQ(mold_text(error_field(*made, Field::files)), "[\"main.xol\"]");
    stack::pop_frame_empty();
}

// A position the catalogue lacks still gives an error value, internal invalid-error with the code. No
// constant can name such a position, so the test forges one byte by byte.
TEST_F(ErrorTest, UnknownPositionsMakeInvalidError)
{
    ErrorId const unknown = std::bit_cast<ErrorId>(std::array<std::uint8_t, 2> { 3, 200 });
    Rooted made(error::create(unknown));
    EXPECT_EQ(integer::get(error_field(*made, Field::code)), err::internal::invalid_error.code());
    EXPECT_EQ(integer::get(error_field(*made, Field::arg1)), unknown.code());
    Rooted foo(word_of("foo"));
    error::set_where(*made, *foo);
    Rooted bar(word_of("bar"));
    error::set_where(*made, *bar);
    EXPECT_EQ(symbol::spelling(error_field(*made, Field::where).word2), "foo") << "set once";
}
