// function!, native!, action!, op! and routine!: spec rules with their exact errors, the locals of
// `function`, makers, reflection, form, mold and compare.

#include <string>

#include "objects_fixture.h"

using namespace xol;

namespace {

struct FunctionTest : ObjectsTest {
    // A function! of the spec and body (none! for none). May allocate.
    Cell make_function(Cell const& spec, Cell const& body, std::uint32_t flags = 0)
    {
        Rooted kept_spec(spec), kept_body(body);
        function::make_compiled(*kept_spec, *kept_body, no_node, 0, 0, flags);
        Cell const made = *stack::top();
        stack::pop(1);
        return made;
    }
    Cell local() { return refinement_of("local"); }
    Cell type_block(TypeId type) { return (Built() << word_of(datatype::name(type))).cell(); }
};

}

// Every fault of the rules raises bad-func-def with the spec itself as its argument.
TEST_F(FunctionTest, SpecFaultsRaiseBadFuncDefWithTheSpec)
{
    auto const check = [&](char const* what, Cell const& spec, std::optional<ErrorId> expected) {
        Rooted kept(spec);
        EXPECT_EQ(raised_by([&] { function::check_spec(*kept); }), expected) << what;
        if (expected == err::script::bad_func_def) {
            EXPECT_EQ(error_field(last_error(), error::Field::arg1), *kept) << what;
        }
    };
    std::optional<ErrorId> const ok;
    ErrorId const bad = err::script::bad_func_def;
    check("attribute block with a string", (Built() << (Built() << text("x")).cell() << word_of("a")).cell(), bad);
    check("a word after return:", (Built() << set("return") << type_block(type_ids::integer) << word_of("a")).cell(),
        bad);
    check("return: then /local",
        (Built() << word_of("a") << set("return") << type_block(type_ids::integer) << local() << word_of("b")).cell(),
        ok);
    check("return: given twice",
        (Built() << set("return") << type_block(type_ids::integer) << set("return") << type_block(type_ids::integer))
            .cell(),
        bad);
    check("a refinement after return:",
        (Built() << word_of("a") << set("return") << type_block(type_ids::integer) << refinement_of("b")).cell(), bad);
    check("return: without a block", (Built() << set("return") << word_of("a")).cell(), bad);
    check("another set-word", (Built() << set("result") << type_block(type_ids::integer)).cell(), bad);
    check("a doc string before the type block",
        (Built() << word_of("a") << text("doc") << type_block(type_ids::integer)).cell(), bad);
    check("a refinement followed by a block", (Built() << refinement_of("b") << type_block(type_ids::integer)).cell(),
        bad);
    check("local then a lit-word", (Built() << local() << lit("a")).cell(), bad);
    check("local then a word with its type block",
        (Built() << local() << word_of("a") << type_block(type_ids::integer)).cell(), ok);
    check("an integer", (Built() << integer::make(1)).cell(), bad);
    check("a full spec",
        (Built() << text("doc") << word_of("a") << type_block(type_ids::integer) << text("arg doc") << lit("b")
                 << get("c") << refinement_of("d") << word_of("e") << set("return") << type_block(type_ids::block)
                 << local() << word_of("f"))
            .cell(),
        ok);
}

TEST_F(FunctionTest, DuplicateNamesAndBadTypeSpecs)
{
    Rooted twice((Built() << word_of("a") << word_of("b") << word_of("a")).cell());
    EXPECT_EQ(raised_by([&] { function::check_spec(*twice); }), err::script::dup_vars);
    Cell const duplicate = error_field(last_error(), error::Field::arg1);
    EXPECT_EQ(duplicate, block::rs_head(*twice)[2]) << "the second entry of the name";

    Rooted as_refinement((Built() << word_of("a") << refinement_of("A")).cell());
    EXPECT_EQ(raised_by([&] { function::check_spec(*as_refinement); }), err::script::dup_vars);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "/A");

    Cell holder = word_of("not-a-type");
    word::set(holder, integer::make(1));
    Rooted bad_type((Built() << word_of("a") << (Built() << word_of("not-a-type")).cell()).cell());
    EXPECT_EQ(raised_by([&] { function::check_spec(*bad_type); }), err::script::invalid_type_spec);
    EXPECT_EQ(symbol::spelling(error_field(last_error(), error::Field::arg1).word2), "not-a-type");
    Rooted literal_type((Built() << word_of("a") << (Built() << text("x")).cell()).cell());
    EXPECT_EQ(raised_by([&] { function::check_spec(*literal_type); }), err::script::invalid_type_spec);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "\"x\"");
}

TEST_F(FunctionTest, AttributeFlags)
{
    Rooted traced((Built() << (Built() << word_of("trace")).cell() << word_of("a")).cell());
    EXPECT_EQ(function::check_spec(*traced), function::trace_flag);
    Rooted both((Built() << (Built() << word_of("no-trace") << word_of("other") << word_of("trace")).cell()).cell());
    EXPECT_EQ(function::check_spec(*both), function::trace_flag | function::no_trace_flag);
    Rooted made(make_function(*traced, Built().cell(), function::check_spec(*traced)));
    EXPECT_EQ(made->header & function::trace_flag, function::trace_flag);
}

TEST_F(FunctionTest, MakeActionRefusesBadArguments)
{
    Cell const prototype = type_value(type_ids::function);
    for (int shape = 0; shape < 3; ++shape) {
        Rooted kept(shape == 0 ? integer::make(1)
                : shape == 1   ? (Built() << Built().cell()).cell()
                               : (Built() << Built().cell() << integer::make(1)).cell());
        EXPECT_EQ(raised_by([&] { function::make(prototype, *kept, type_ids::function); }), err::script::bad_func_def);
        EXPECT_EQ(error_field(last_error(), error::Field::arg1), *kept);
    }
    Rooted made(function::make(prototype,
        (Built() << (Built() << word_of("a")).cell() << (Built() << word_of("a")).cell() << integer::make(9)).cell(),
        type_ids::function));
    EXPECT_EQ(mold_text(*made), "func [a][a]");
    Cell const body = function::record_cell(*made, function::body_cell);
    EXPECT_EQ(block::rs_head(body)[0].word1, function::context_of(*made)) << "the body is bound to the arguments";
    EXPECT_EQ(context::owner_of(function::context_of(*made)), *made);
}

TEST_F(FunctionTest, MakeCompiledCopiesSpecFromItsIndexAndTheBodyDeep)
{
    Rooted spec((Built() << text("doc") << word_of("a")).cell());
    spec->word1 = 1;
    Rooted inner((Built() << word_of("a")).cell());
    Rooted body((Built() << *inner).cell());
    Rooted made(make_function(*spec, *body));
    EXPECT_NE(made->word2, spec->word2) << "a spec at an index above 0 is copied";
    EXPECT_EQ(mold_text(function::spec_block(*made)), "[a]");
    Cell const copied = function::record_cell(*made, function::body_cell);
    EXPECT_NE(copied.word2, body->word2);
    EXPECT_NE(block::rs_head(copied)[0].word2, inner->word2) << "nested blocks are copied too";
    EXPECT_EQ(cell::type_of(function::record_cell(*made, function::compiled_entry_cell)), type_ids::unset);

    Rooted compiled(Cell {});
    function::make_compiled(*spec, none_value, no_node, 77, 78, 0);
    *compiled = *stack::top();
    stack::pop(1);
    EXPECT_EQ(integer::get(function::record_cell(*compiled, function::compiled_entry_cell)), 77);
    EXPECT_EQ(integer::get(function::record_cell(*compiled, function::second_entry_cell)), 78);
    EXPECT_EQ(mold_text(*compiled), "func [a] none");
}

TEST_F(FunctionTest, ReflectFormMoldCompare)
{
    Rooted spec((Built() << word_of("a") << refinement_of("b")).cell());
    Rooted made(make_function(*spec, (Built() << word_of("a")).cell()));
    EXPECT_EQ(function::reflect(*made, words::symbol_of(words::Symbol::spec)).word2, spec->word2) << "the spec itself";
    EXPECT_EQ(mold_text(function::reflect(*made, words::symbol_of(words::Symbol::body))), "[a]");
    Rooted bound(function::reflect(*made, words::symbol_of(words::Symbol::words)));
    EXPECT_EQ(mold_text(*bound), "[a b]");
    EXPECT_EQ(block::rs_head(*bound)[1].word1, function::context_of(*made));
    EXPECT_EQ(raised_by([&] { function::reflect(*made, symbol::make("class")); }), err::internal::not_done);
    EXPECT_EQ(form_text(*made), "?function?");
    EXPECT_EQ(mold_text(*made), "func [a /b][a]");

    Rooted other(make_function(*spec, (Built() << word_of("a")).cell()));
    EXPECT_EQ(function::compare(*made, *made, CompareOp::Equal), 0);
    EXPECT_NE(function::compare(*made, *other, CompareOp::Equal), 0) << "equal only when sharing one record";
    EXPECT_EQ(function::compare(*made, *other, CompareOp::Lesser), compare_incomparable);
    EXPECT_EQ(function::compare(*made, integer::make(1), CompareOp::Equal), compare_incomparable);
}

TEST_F(FunctionTest, CountLocalsAndUnusedRefinements)
{
    Rooted plain((Built() << word_of("a") << word_of("b")).cell());
    EXPECT_EQ(function::count_locals(plain->word2, 0, false), 0);
    EXPECT_EQ(function::count_locals(plain->word2, 0, true), -1);
    Rooted with_locals((Built() << word_of("a") << local() << word_of("x") << text("doc") << word_of("y")).cell());
    EXPECT_EQ(function::count_locals(with_locals->word2, 0, true), 3);
    EXPECT_EQ(function::count_locals(with_locals->word2, 2, false), 0) << "counted from the index";

    Cell* before = stack::state.top;
    function::push_unused_refinement(1);
    EXPECT_EQ(stack::state.top - before, 1);
    EXPECT_EQ(before[0], false_value);
    function::push_unused_refinement(3);
    EXPECT_EQ(stack::state.top - before, 4);
    EXPECT_EQ(cell::type_of(before[3]), type_ids::none);
    stack::pop(4);
}

TEST_F(FunctionTest, CollectLocals)
{
    Rooted paren((Built(type_ids::paren) << set("y") << integer::make(2)).cell());
    Rooted body((Built() << set("x") << integer::make(1) << word_of("foreach")
                         << (Built() << word_of("k") << word_of("v")).cell() << word_of("data") << Built().cell()
                         << *paren << set("x") << integer::make(3) << word_of("repeat") << word_of("i")
                         << integer::make(2) << set("a") << integer::make(0))
                    .cell());
    Rooted spec((Built() << word_of("a")).cell());
    Rooted locals(function::collect_locals(*spec, *body));
    EXPECT_EQ(mold_text(*locals), "[x k v y i]");
    EXPECT_EQ(mold_text(*spec), "[a /local x k v y i]");

    Rooted extern_spec(
        (Built() << word_of("a") << refinement_of("extern") << word_of("z") << local() << word_of("w")).cell());
    Rooted extern_body((Built() << set("z") << integer::make(1) << set("q") << integer::make(2)).cell());
    Rooted extern_locals(function::collect_locals(*extern_spec, *extern_body));
    EXPECT_EQ(mold_text(*extern_locals), "[w q]");
    EXPECT_EQ(mold_text(*extern_spec), "[a /local w q]");

    Rooted refused((Built() << word_of("a") << integer::make(1) << refinement_of("extern") << word_of("z")).cell());
    EXPECT_EQ(raised_by([&] { function::collect_locals(*refused, Built().cell()); }), err::script::bad_func_extern);
    EXPECT_EQ(integer::get(error_field(last_error(), error::Field::arg1)), 1);

    Rooted nothing_new((Built() << word_of("a")).cell());
    Rooted none_collected(function::collect_locals(*nothing_new, (Built() << word_of("a")).cell()));
    EXPECT_EQ(mold_text(*nothing_new), "[a]") << "no /local without locals";
}

// ---- native! and action! ---------------------------------------------------------------------------------

TEST_F(FunctionTest, MakeNativeAndActionRefuseEveryBadArgument)
{
    Cell const native_type = type_value(type_ids::native);
    Cell const action_type = type_value(type_ids::action);
    Rooted spec((Built() << word_of("a") << word_of("b")).cell());
    auto const argument
        = [&](Cell const& first, std::int32_t index) { return (Built() << first << integer::make(index)).cell(); };
    auto const attempt = [&](Cell const& prototype, TypeId type, Cell const& given, bool accepted) {
        Rooted kept(given);
        Rooted made(unset_value);
        std::optional<ErrorId> const raised = raised_by([&] { *made = native::make(prototype, *kept, type); });
        if (accepted) {
            EXPECT_EQ(raised, std::nullopt) << mold_text(*kept);
            return *made;
        }
        EXPECT_EQ(raised, err::script::bad_make_arg) << mold_text(*kept);
        EXPECT_EQ(error_field(last_error(), error::Field::arg1), prototype);
        EXPECT_EQ(error_field(last_error(), error::Field::arg2), *kept);
        return unset_value;
    };
    attempt(native_type, type_ids::native, argument(*spec, 0), false);
    attempt(native_type, type_ids::native, argument(*spec, 121), false);
    attempt(action_type, type_ids::action, argument(*spec, 63), false);
    attempt(action_type, type_ids::action, argument(*spec, 0), false);
    attempt(native_type, type_ids::native, integer::make(1), false);
    attempt(native_type, type_ids::native, (Built() << *spec).cell(), false);
    attempt(native_type, type_ids::native, (Built() << *spec << integer::make(1) << integer::make(1)).cell(), false);
    attempt(native_type, type_ids::native, (Built() << *spec << text("1")).cell(), false);
    attempt(native_type, type_ids::native, argument(integer::make(5), 1), false); // the spec must be a block
    Rooted made(attempt(native_type, type_ids::native, argument(*spec, 120), true));
    EXPECT_EQ(cell::type_of(*made), type_ids::native);
    EXPECT_EQ(native::index_of(*made), 120);
    EXPECT_EQ(made->word2, spec->word2);
    EXPECT_EQ(cell::type_of(node::buffer(made->word3)->head_cell()[0]), type_ids::context);
    EXPECT_EQ(cell::type_of(node::buffer(made->word3)->head_cell()[1]), type_ids::none);
    Rooted action(attempt(action_type, type_ids::action, argument(*spec, 62), true));
    EXPECT_EQ(cell::type_of(*action), type_ids::action);
}

// A made native must have its built-in spec's shape: the entry reads exactly those arguments.
TEST_F(FunctionTest, MakeNativeChecksTheBuiltInShape)
{
    Rooted builtin((Built() << text("doc") << word_of("value") << type_block(type_ids::integer) << lit("name")
                            << refinement_of("only") << word_of("count"))
                       .cell());
    native::set_builtin_shape(type_ids::native, 5, *builtin);
    Cell const prototype = type_value(type_ids::native);
    auto const accepts = [&](Cell const& spec) {
        Rooted argument((Built() << spec << integer::make(5)).cell());
        return !raised_by([&] { native::make(prototype, *argument, type_ids::native); }).has_value();
    };
    EXPECT_TRUE(accepts(*builtin));
    EXPECT_TRUE(accepts((Built() << word_of("v") << type_block(type_ids::integer) << lit("n") << refinement_of("o")
                                 << word_of("c") << set("return") << type_block(type_ids::none))
                            .cell()))
        << "names and doc strings are free";
    EXPECT_FALSE(accepts((Built() << word_of("v") << lit("n") << refinement_of("o") << word_of("c")).cell()))
        << "a wider type";
    EXPECT_FALSE(accepts((Built() << word_of("v") << type_block(type_ids::integer) << lit("n")).cell())) << "fewer";
    EXPECT_FALSE(accepts(
        (Built() << word_of("v") << type_block(type_ids::integer) << word_of("n") << refinement_of("o") << word_of("c"))
            .cell()))
        << "another kind";
    // Changing the made native's spec changes what reflection shows, not the built-in shape.
    Rooted argument((Built() << *builtin << integer::make(5)).cell());
    Rooted made(native::make(prototype, *argument, type_ids::native));
    Rooted shown(native::reflect(*made, words::symbol_of(words::Symbol::spec)));
    EXPECT_EQ(shown->word2, builtin->word2) << "spec-of answers the spec itself";
    block::rs_append(*shown, word_of("extra"));
    EXPECT_TRUE(accepts(
        (Built() << word_of("v") << type_block(type_ids::integer) << lit("n") << refinement_of("o") << word_of("c"))
            .cell()));
}

TEST_F(FunctionTest, NativeReflectFormMoldCompare)
{
    Cell const prototype = type_value(type_ids::native);
    Rooted spec((Built() << word_of("a")).cell());
    Rooted if_native(native::make(prototype, (Built() << *spec << integer::make(7)).cell(), type_ids::native));
    Rooted other(native::make(prototype, (Built() << *spec << integer::make(9)).cell(), type_ids::native));
    Rooted twin(native::make(prototype, (Built() << *spec << integer::make(7)).cell(), type_ids::native));
    Rooted append_action(
        native::make(type_value(type_ids::action), (Built() << *spec << integer::make(25)).cell(), type_ids::action));
    EXPECT_EQ(integer::get(native::reflect(*if_native, words::symbol_of(words::Symbol::body))), 7);
    EXPECT_EQ(integer::get(native::reflect(*append_action, words::symbol_of(words::Symbol::body))), 25);
    EXPECT_EQ(raised_by([&] { native::reflect(*if_native, words::symbol_of(words::Symbol::words)); }),
        err::internal::not_done);
    EXPECT_EQ(form_text(*if_native), "?native?");
    EXPECT_EQ(form_text(*append_action), "?action?");
    EXPECT_EQ(mold_text(*if_native), "make native! [[a]]");
    EXPECT_EQ(mold_text(*append_action), "make action! [[a]]");
    EXPECT_EQ(native::compare(*if_native, *twin, CompareOp::Equal), 0) << "one entry";
    EXPECT_NE(native::compare(*if_native, *other, CompareOp::Equal), 0);
    EXPECT_EQ(native::compare(*if_native, *other, CompareOp::Lesser), compare_incomparable);
    EXPECT_EQ(native::compare(*if_native, *append_action, CompareOp::Equal), compare_incomparable);
    EXPECT_EQ(datatype::actions(type_ids::action).reflect, datatype::actions(type_ids::native).reflect);
}

// ---- op! --------------------------------------------------------------------------------------------------

TEST_F(FunctionTest, OpsWrapTwoArgumentCallables)
{
    Cell const prototype = type_value(type_ids::op);
    Rooted add_action(native::make(type_value(type_ids::action),
        (Built() << (Built() << text("doc") << word_of("value1") << word_of("value2")).cell() << integer::make(11))
            .cell(),
        type_ids::action));
    Rooted add_op(op::make(prototype, *add_action, type_ids::op));
    EXPECT_EQ(add_op->header, (std::uint32_t { type_ids::action } << 16) + type_ids::op);
    EXPECT_EQ(add_op->word1, add_action->word1);
    EXPECT_EQ(form_text(*add_op), "?op?");
    EXPECT_EQ(mold_text(*add_op), "make op! [[\"doc\" value1 value2]]");
    EXPECT_EQ(integer::get(native::reflect(*add_op, words::symbol_of(words::Symbol::body))), 11);

    auto const valid = [&](Cell const& spec) {
        Rooted kept(spec);
        return op::valid_spec_q(*kept);
    };
    EXPECT_TRUE(valid((Built() << word_of("a") << word_of("b")).cell()));
    EXPECT_FALSE(valid((Built() << lit("a") << word_of("b")).cell())) << "a lit-word first";
    EXPECT_FALSE(valid((Built() << get("a") << word_of("b")).cell())) << "a get-word first";
    EXPECT_TRUE(valid((Built() << word_of("a") << get("b")).cell()));
    EXPECT_FALSE(valid((Built() << word_of("a") << word_of("b") << word_of("c")).cell())) << "a third argument";
    EXPECT_TRUE(valid((Built() << word_of("a") << word_of("b") << refinement_of("local") << word_of("c")).cell()));
    EXPECT_FALSE(valid((Built() << word_of("a") << word_of("b") << refinement_of("other")).cell()));
    EXPECT_TRUE(valid((Built() << word_of("a") << type_block(type_ids::integer) << word_of("b") << set("return")
                               << type_block(type_ids::integer))
                          .cell()));

    Rooted function_value(
        make_function((Built() << word_of("a") << word_of("b")).cell(), (Built() << word_of("a")).cell()));
    Rooted function_op(op::make(prototype, *function_value, type_ids::op));
    EXPECT_EQ(op::wrapped_type(*function_op), type_ids::function);
    EXPECT_EQ(mold_text(*function_op), "make op! func [a b][a]");
    EXPECT_EQ(function::record_cell(*function_value, function::op_value_cell), *function_value);
    EXPECT_EQ(mold_text(native::reflect(*function_op, words::symbol_of(words::Symbol::body))), "[a]");

    Rooted lit_first(make_function((Built() << lit("a") << word_of("b")).cell(), Built().cell()));
    EXPECT_EQ(raised_by([&] { op::make(prototype, *lit_first, type_ids::op); }), err::script::bad_op_spec);
    EXPECT_EQ(raised_by([&] { op::make(prototype, integer::make(1), type_ids::op); }), err::script::invalid_type);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "integer!");
    EXPECT_EQ(op::compare(*add_op, *add_op, CompareOp::Equal), 0);
    EXPECT_EQ(op::compare(*add_op, *function_op, CompareOp::Lesser), compare_incomparable);
}

// ---- routine! ---------------------------------------------------------------------------------------------

TEST_F(FunctionTest, RoutinesCountTheirWordArguments)
{
    Rooted spec((Built() << word_of("a") << word_of("b") << type_block(type_ids::integer) << text("doc") << lit("c")
                         << refinement_of("d"))
                    .cell());
    Rooted made(*routine::make(*spec, none_value, 12, type_ids::logic, false));
    stack::pop(1);
    EXPECT_EQ(routine::arg_count(*made), 2u) << "words only, not lit-words, refinements or type words";
    EXPECT_EQ(made->header & routine::variant_flag, 0u);
    EXPECT_EQ(integer::get(function::record_cell(*made, function::compiled_entry_cell)), 12);
    EXPECT_EQ(integer::get(function::record_cell(*made, function::second_entry_cell)), type_ids::logic);
    EXPECT_EQ(form_text(*made), "?routine?");
    EXPECT_EQ(mold_text(*made), "routine [a b [integer!] \"doc\" 'c /d] none");
    EXPECT_EQ(mold_text(function::reflect(*made, words::symbol_of(words::Symbol::words))), "[a b c d]");

    Rooted empty(*routine::make(Built().cell(), (Built() << word_of("x")).cell(), 1, -1, true));
    stack::pop(1);
    EXPECT_EQ(routine::arg_count(*empty), 0u);
    EXPECT_EQ(empty->header & routine::variant_flag, routine::variant_flag);
    EXPECT_EQ(mold_text(*empty), "routine [][x]");

    Rooted sharing(*made);
    EXPECT_EQ(routine::compare(*made, *sharing, CompareOp::Equal), 0);
    EXPECT_NE(routine::compare(*made, *empty, CompareOp::Equal), 0);
    EXPECT_EQ(routine::compare(*made, *empty, CompareOp::Greater), compare_incomparable);

    // 32 words cannot be recorded in five bits: the maker refuses rather than touch the new-line marker.
    Built wide;
    for (int i = 0; i < 32; ++i) wide << word_of("w" + std::to_string(i));
    Rooted wide_spec(wide.cell());
    EXPECT_EQ(raised_by([&] { routine::make(*wide_spec, none_value, 1, -1, false); }), err::internal::limit_hit);
    EXPECT_EQ(integer::get(error_field(last_error(), error::Field::arg1)), 32);
}
