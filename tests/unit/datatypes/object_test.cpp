// object!: make from specs and prototypes, class ids, mold and form, cycles, copy, compare, construct,
// reflection, the path step, select, put, set, and the change events with their argument orders.

#include <string>

#include "datatypes/object_events.h"
#include "objects_fixture.h"

using namespace xol;

namespace {

struct ObjectTest : ObjectsTest {
    Cell prototype() const { return type_value(type_ids::object); }

    // make object! spec, through the stand-in evaluator.
    Cell make_object(Cell const& spec) { return object::make(prototype(), spec, type_ids::object); }

    // A function! of the spec and body blocks. May allocate.
    Cell make_function(Cell const& spec, Cell const& body)
    {
        Rooted kept_spec(spec), kept_body(body);
        function::make_compiled(*kept_spec, *kept_body, no_node, 0, 0, 0);
        Cell const made = *stack::top();
        stack::pop(1);
        return made;
    }

    Cell field(Cell const& object, std::string_view name) { return object::select_word(object, word_of(name)); }

    PathStep step(Cell const& object, Cell const& element, Cell const* value, Cell const* path, bool get, bool last)
    {
        return PathStep { .value = object,
            .element = element,
            .new_value = value,
            .path = path,
            .parent = nullptr,
            .previous_element = nullptr,
            .position = 1,
            .case_sensitive = false,
            .get = get,
            .last_element = last,
            .signal_owner = false };
    }
};

}

TEST_F(ObjectTest, MoldAndFormExactText)
{
    Rooted made(make_object(
        (Built() << set("a") << integer::make(1) << set("b") << text("x") << set("c") << lit("word")).cell()));
    EXPECT_EQ(mold_text(*made), "make object! [\n    a: 1\n    b: \"x\"\n    c: 'word\n]");
    EXPECT_EQ(form_text(*made), "a: 1\nb: \"x\"\nc: 'word");
    EXPECT_EQ(mold_text(*made, { .flat = true }), "make object! [a: 1 b: \"x\" c: 'word ]");
    EXPECT_EQ(mold_text(*made, { .only = true }), "    a: 1\n    b: \"x\"\n    c: 'word\n");
    EXPECT_EQ(mold_text(make_object(Built().cell())), "make object! []");
}

TEST_F(ObjectTest, NestedObjectsIndentOneLevelDeeper)
{
    Rooted inner(make_object((Built() << set("x") << integer::make(1)).cell()));
    Cell holder = word_of("inner-object");
    word::set(holder, *inner);
    Rooted outer(make_object((Built() << set("a") << word_of("inner-object") << set("b") << integer::make(2)).cell()));
    EXPECT_EQ(mold_text(*outer), "make object! [\n    a: make object! [\n        x: 1\n    ]\n    b: 2\n]");
}

TEST_F(ObjectTest, AnObjectHoldingItselfWritesTheMarker)
{
    Rooted made(make_object((Built() << set("a") << integer::make(1) << set("self-ref") << none_value).cell()));
    *object::value_at(*made, 1) = *made;
    EXPECT_EQ(mold_text(*made), "make object! [\n    a: 1\n    self-ref: make object! [...]\n]");
    EXPECT_EQ(form_text(*made), "a: 1\nself-ref: make object! [...]") << "fields are molded, the marker too";
    EXPECT_EQ(object::compare(*made, *made, CompareOp::Equal), 0);
    Rooted twin(make_object((Built() << set("a") << integer::make(1) << set("self-ref") << none_value).cell()));
    *object::value_at(*twin, 1) = *twin;
    EXPECT_EQ(object::compare(*made, *twin, CompareOp::Equal), 0) << "the walk stops at the repeated pair";
}

TEST_F(ObjectTest, HandlerFieldsShowOnlyWithAll)
{
    Rooted handler(make_function((Built() << word_of("w") << word_of("o") << word_of("n")).cell(), Built().cell()));
    Cell name = word_of("handler-fn");
    word::set(name, *handler);
    Rooted made(
        make_object((Built() << set("a") << integer::make(1) << set("on-change*") << word_of("handler-fn")).cell()));
    EXPECT_EQ(form_text(*made), "a: 1");
    EXPECT_EQ(mold_text(*made), "make object! [\n    a: 1\n]");
    EXPECT_EQ(mold_text(*made, { .all = true }), "make object! [\n    a: 1\n    on-change*: func [w o n][]\n]");
}

TEST_F(ObjectTest, ClassIds)
{
    Rooted spec((Built() << set("a") << integer::make(1)).cell());
    Rooted first(make_object(*spec));
    Rooted second(make_object(*spec));
    EXPECT_EQ(object::class_of(*first), object::class_counter_start + 1) << "the first run-time id";
    EXPECT_NE(object::class_of(*first), object::class_of(*second));
    Rooted same_words(object::make(*first, (Built() << set("a") << integer::make(5)).cell(), type_ids::object));
    EXPECT_EQ(object::class_of(*same_words), object::class_of(*first));
    EXPECT_EQ(integer::get(field(*same_words, "a")), 5);
    EXPECT_EQ(integer::get(field(*first, "a")), 1) << "the prototype is not changed";
    Rooted more_words(object::make(*first, (Built() << set("b") << integer::make(2)).cell(), type_ids::object));
    EXPECT_NE(object::class_of(*more_words), object::class_of(*first));
    EXPECT_EQ(integer::get(field(*more_words, "a")), 1);
    Rooted from_object(object::make(*first, *same_words, type_ids::object));
    EXPECT_EQ(object::class_of(*from_object), object::class_of(*first));
    EXPECT_EQ(
        raised_by([&] { object::make(prototype(), integer::make(1), type_ids::object); }), err::syntax::malconstruct);
}

TEST_F(ObjectTest, MakeFromAPrototypeCopiesSeriesAndRebindsFunctions)
{
    Rooted body((Built() << word_of("a")).cell());
    Rooted method(make_function(Built().cell(), *body));
    Cell name = word_of("method-fn");
    word::set(name, *method);
    Rooted base(make_object((Built() << set("a") << integer::make(1) << set("items") << Built().cell() << set("get-a")
                                     << word_of("method-fn"))
                                .cell()));
    Rooted base_get(field(*base, "get-a"));
    Rooted derived(object::make(*base, (Built() << set("a") << integer::make(2)).cell(), type_ids::object));
    EXPECT_NE(field(*derived, "items").word2, field(*base, "items").word2) << "a series of its own";
    Rooted derived_get(field(*derived, "get-a"));
    EXPECT_NE(derived_get->word3, base_get->word3) << "a function of its own";
    Cell const derived_body = function::record_cell(*derived_get, function::body_cell);
    EXPECT_EQ(block::rs_head(derived_body)[0].word1, object::context_of(*derived));
    EXPECT_EQ(cell::type_of(function::record_cell(*derived_get, function::compiled_entry_cell)), type_ids::unset);
}

TEST_F(ObjectTest, CopyKeepsTheClassAndCopiesSeriesWhenDeep)
{
    Rooted made(make_object((Built() << set("items") << Built().cell() << set("n") << integer::make(3)).cell()));
    Rooted shallow(object::copy(*made, nullptr, false, nullptr));
    Rooted deep(object::copy(*made, nullptr, true, nullptr));
    EXPECT_EQ(object::class_of(*shallow), object::class_of(*made));
    EXPECT_NE(object::context_of(*shallow), object::context_of(*made));
    EXPECT_EQ(field(*shallow, "items").word2, field(*made, "items").word2);
    EXPECT_NE(field(*deep, "items").word2, field(*made, "items").word2);
    EXPECT_EQ(object::compare(*made, *deep, CompareOp::Equal), 0);
    Cell const part = integer::make(1);
    EXPECT_EQ(raised_by([&] { object::copy(*made, &part, false, nullptr); }), err::script::invalid_refine_arg);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "/part");
    EXPECT_EQ(error_field(last_error(), error::Field::arg2), part);
    // /types copies the values of those types.
    Cell const types = type_value(type_ids::block);
    Rooted typed_copy(object::copy(*made, nullptr, false, &types));
    EXPECT_NE(field(*typed_copy, "items").word2, field(*made, "items").word2);
}

TEST_F(ObjectTest, Compare)
{
    Rooted a1(make_object((Built() << set("a") << integer::make(1)).cell()));
    Rooted a1_float(make_object((Built() << set("a") << float_::make(1.0)).cell()));
    Rooted a2(make_object((Built() << set("a") << integer::make(2)).cell()));
    Rooted two_fields(make_object((Built() << set("a") << integer::make(1) << set("b") << integer::make(1)).cell()));
    Rooted text_field(make_object((Built() << set("a") << text("1")).cell()));
    EXPECT_EQ(object::compare(*a1, *a1_float, CompareOp::Equal), 0) << "numbers compare across types";
    EXPECT_EQ(object::compare(*a1, *a2, CompareOp::Lesser), -1);
    EXPECT_EQ(object::compare(*two_fields, *a1, CompareOp::Equal), 1) << "more words, greater";
    EXPECT_EQ(object::compare(*a1, *two_fields, CompareOp::Equal), -1);
    EXPECT_EQ(object::compare(*a1, *text_field, CompareOp::Equal), 1) << "incompatible values: by type id";
    EXPECT_EQ(object::compare(*a1, *a1, CompareOp::Same), 0);
    EXPECT_EQ(object::compare(*a1, *a1_float, CompareOp::Same), -1);
    EXPECT_EQ(object::compare(*a1, integer::make(1), CompareOp::Equal), compare_incomparable);
}

TEST_F(ObjectTest, ConstructStoresValuesUnevaluated)
{
    Rooted spec(
        (Built() << set("a") << word_of("yes") << set("b") << word_of("off") << set("c") << word_of("none") << set("d")
                 << word_of("other") << set("e") << set("f") << integer::make(5) << set("g") << set("h"))
            .cell());
    Rooted made(object::make_from_proto(*spec, none_value, false));
    EXPECT_EQ(field(*made, "a"), true_value);
    EXPECT_EQ(field(*made, "b"), false_value);
    EXPECT_EQ(cell::type_of(field(*made, "c")), type_ids::none);
    EXPECT_EQ(symbol::spelling(field(*made, "d").word2), "other");
    EXPECT_EQ(integer::get(field(*made, "e")), 5) << "a run of set-words shares the value after it";
    EXPECT_EQ(integer::get(field(*made, "f")), 5);
    EXPECT_EQ(cell::type_of(field(*made, "g")), type_ids::none) << "a run at the end gives none";
    EXPECT_EQ(cell::type_of(field(*made, "h")), type_ids::none);
    EXPECT_GT(object::class_of(*made), object::class_counter_start);

    Rooted kept_words(object::make_from_proto(*spec, none_value, true));
    EXPECT_EQ(cell::type_of(field(*kept_words, "a")), type_ids::word);
}

TEST_F(ObjectTest, Reflect)
{
    Rooted made(make_object((Built() << set("a") << lit("w") << set("b") << integer::make(2)).cell()));
    auto const reflect = [&](std::string_view field_name) { return object::reflect(*made, symbol::make(field_name)); };
    EXPECT_EQ(mold_text(reflect("words")), "[a b]");
    EXPECT_EQ(reflect("words").word2 != context::words_of(object::context_of(*made)), true) << "a copy";
    EXPECT_EQ(mold_text(reflect("values")), "[w 2]");
    EXPECT_EQ(mold_text(reflect("body")), "[\n    a: 'w\n    b: 2\n]");
    EXPECT_EQ(integer::get(reflect("class")), static_cast<std::int32_t>(object::class_of(*made)));
    EXPECT_EQ(reflect("events?"), false_value);
    EXPECT_EQ(reflect("owner"), false_value);
    EXPECT_EQ(mold_text(reflect("changed")), "[]");
    Cell b = word_of("b");
    b.word1 = object::context_of(*made);
    b.word3 = 1;
    word::set(b, integer::make(3));
    EXPECT_EQ(mold_text(reflect("changed")), "[b]");
    EXPECT_EQ(raised_by([&] { reflect("bogus"); }), err::internal::not_done);
}

TEST_F(ObjectTest, PathStepSelectAndPut)
{
    Rooted made(make_object((Built() << set("a") << integer::make(1) << set("u") << none_value).cell()));
    *object::value_at(*made, 1) = unset_value;
    Rooted path((Built(type_ids::path) << word_of("o") << word_of("x")).cell());
    Rooted a(word_of("a")), missing(word_of("missing")), u(word_of("u"));
    Rooted seven(integer::make(7));

    EXPECT_EQ(integer::get(object::eval_path(step(*made, *a, nullptr, &*path, false, true))), 1);
    EXPECT_EQ(object::eval_path(step(*made, *a, &*seven, &*path, false, true)), *seven);
    EXPECT_EQ(integer::get(field(*made, "a")), 7);
    EXPECT_EQ(cell::type_of(object::eval_path(step(*made, *missing, nullptr, &*path, true, true))), type_ids::unset)
        << "a get-path reads a missing field at its end as unset";
    EXPECT_EQ(raised_by([&] { object::eval_path(step(*made, *missing, nullptr, &*path, false, true)); }),
        err::script::invalid_path);
    EXPECT_EQ(error_field(last_error(), error::Field::arg1), *path);
    EXPECT_EQ(error_field(last_error(), error::Field::arg2), *missing);
    EXPECT_EQ(
        raised_by([&] { object::eval_path(step(*made, *u, nullptr, &*path, false, false)); }), err::script::unset_path);
    EXPECT_EQ(raised_by([&] { object::eval_path(step(*made, integer::make(1), nullptr, &*path, false, true)); }),
        err::script::invalid_path);

    FindOptions const options {};
    EXPECT_EQ(integer::get(object::select(*made, *a, options)), 7);
    EXPECT_EQ(cell::type_of(object::select(*made, *missing, options)), type_ids::none);
    EXPECT_EQ(raised_by([&] { object::select(*made, integer::make(1), options); }), err::script::invalid_type);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "integer!");

    EXPECT_EQ(object::put(*made, *a, integer::make(9), false), integer::make(9));
    EXPECT_EQ(integer::get(field(*made, "a")), 9);
    EXPECT_EQ(raised_by([&] { object::put(*made, *missing, integer::make(9), false); }), err::script::invalid_path);
    EXPECT_EQ(
        raised_by([&] { object::put(*made, text("a"), integer::make(9), false); }), err::script::invalid_key_type);
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg1)), "string!");
}

TEST_F(ObjectTest, SetFields)
{
    Rooted made(make_object(
        (Built() << set("a") << integer::make(1) << set("b") << integer::make(2) << set("c") << integer::make(3))
            .cell()));
    object::set_fields(*made, (Built() << integer::make(10)).cell(), false, false, false);
    EXPECT_EQ(integer::get(field(*made, "a")), 10);
    EXPECT_EQ(cell::type_of(field(*made, "b")), type_ids::none) << "fields past the block's end";
    object::set_fields(*made, (Built() << none_value << integer::make(20)).cell(), false, false, true);
    EXPECT_EQ(integer::get(field(*made, "a")), 10) << "some skips none";
    EXPECT_EQ(integer::get(field(*made, "b")), 20);
    Rooted with_unset((Built() << integer::make(1) << unset_value).cell());
    EXPECT_EQ(raised_by([&] { object::set_fields(*made, *with_unset, false, false, false); }), err::script::need_value);
    EXPECT_EQ(symbol::spelling(error_field(last_error(), error::Field::arg1).word2), "b");
    object::set_fields(*made, *with_unset, true, false, false);
    EXPECT_EQ(cell::type_of(field(*made, "b")), type_ids::unset);
    object::set_fields(*made, integer::make(4), false, false, false);
    EXPECT_EQ(integer::get(field(*made, "c")), 4);
    Rooted source(make_object((Built() << set("c") << integer::make(30)).cell()));
    object::set_fields(*made, *source, false, false, false);
    EXPECT_EQ(integer::get(field(*made, "c")), 30);
    EXPECT_EQ(integer::get(field(*made, "a")), 4) << "fields the source lacks stay";
    object::set_fields(*made, *source, false, true, false);
    EXPECT_EQ(field(*made, "a"), *source) << "only: the object itself";
}

// ---- Change events ---------------------------------------------------------------------------------------

TEST_F(ObjectTest, OnChangeHearsWordOldAndNewWithLocalsFilled)
{
    Rooted handler(make_function((Built() << word_of("w") << word_of("o") << word_of("n") << refinement_of("local")
                                          << word_of("x") << word_of("y"))
                                     .cell(),
        Built().cell()));
    Cell name = word_of("handler-fn");
    word::set(name, *handler);
    Rooted made(
        make_object((Built() << set("a") << integer::make(1) << set("on-change*") << word_of("handler-fn")).cell()));
    ASSERT_NE(object::events_of(*made), no_node);
    EXPECT_TRUE(objects_test::calls.empty()) << "making the object fires nothing";

    Rooted a(word_of("a"));
    Rooted two(integer::make(2));
    object::eval_path(step(*made, *a, &*two, nullptr, false, true));
    ASSERT_EQ(objects_test::calls.size(), 1u);
    objects_test::HandlerCall const& call = objects_test::calls[0];
    EXPECT_EQ(call.function.word3, object::select_word(*made, word_of("on-change*")).word3);
    EXPECT_EQ(symbol::spelling(call.frame_word.word2), "on-change*");
    ASSERT_EQ(call.arguments.size(), 6u);
    EXPECT_EQ(symbol::spelling(call.arguments[0].word2), "a");
    EXPECT_EQ(call.arguments[0].word1, object::context_of(*made)) << "a word of the object";
    EXPECT_EQ(integer::get(call.arguments[1]), 1);
    EXPECT_EQ(integer::get(call.arguments[2]), 2);
    EXPECT_EQ(call.arguments[3], false_value);
    EXPECT_EQ(cell::type_of(call.arguments[4]), type_ids::none);
    EXPECT_EQ(cell::type_of(call.arguments[5]), type_ids::none);

    // Through a word bound elsewhere (the word setter of another context): the handler still hears a word
    // of its own object.
    objects_test::calls.clear();
    object::fire_on_change(*made, word_of("a"), integer::make(2), integer::make(3));
    ASSERT_EQ(objects_test::calls.size(), 1u);
    EXPECT_EQ(objects_test::calls[0].arguments[0].word1, object::context_of(*made));

    // A replacement with fewer locals is noticed at the next change.
    objects_test::calls.clear();
    Rooted plain(make_function((Built() << word_of("w") << word_of("o") << word_of("n")).cell(), Built().cell()));
    *object::value_at(*made, 1) = *plain;
    object::fire_on_change(*made, *a, integer::make(3), integer::make(4));
    ASSERT_EQ(objects_test::calls.size(), 1u);
    EXPECT_EQ(objects_test::calls[0].arguments.size(), 3u);

    // set on the object fires for every field but the handler's own.
    objects_test::calls.clear();
    object::set_fields(*made, integer::make(5), false, false, false);
    EXPECT_EQ(objects_test::calls.size(), 1u);
}

TEST_F(ObjectTest, HandlerFieldsMustHoldFunctions)
{
    Rooted spec((Built() << set("on-change*") << integer::make(1)).cell());
    EXPECT_EQ(raised_by([&] { make_object(*spec); }), err::script::bad_field_set);
    EXPECT_EQ(symbol::spelling(error_field(last_error(), error::Field::arg1).word2), "on-change*");
    EXPECT_EQ(mold_text(error_field(last_error(), error::Field::arg2)), "integer!");

    // Replaced after the record was built: on-change* refuses, on-deep-change* skips.
    Rooted handler(make_function((Built() << word_of("w") << word_of("o") << word_of("n")).cell(), Built().cell()));
    Cell name = word_of("handler-fn");
    word::set(name, *handler);
    Rooted made(make_object(
        (Built() << set("on-change*") << word_of("handler-fn") << set("on-deep-change*") << word_of("handler-fn"))
            .cell()));
    *object::value_at(*made, 0) = integer::make(1);
    *object::value_at(*made, 1) = integer::make(1);
    EXPECT_EQ(raised_by([&] { object::fire_on_change(*made, word_of("x"), none_value, none_value); }),
        err::script::invalid_obj_evt);
    object::fire_on_deep_change(*made, word_of("x"), none_value, word_of("append"), nullptr, 0, 0);
    EXPECT_TRUE(objects_test::calls.empty());
}

TEST_F(ObjectTest, OnlyOnDeepChangeGivesARecordWithoutOnChange)
{
    Rooted handler(make_function(Built().cell(), Built().cell()));
    Cell name = word_of("handler-fn");
    word::set(name, *handler);
    Rooted made(make_object(
        (Built() << set("items") << Built().cell() << set("on-deep-change*") << word_of("handler-fn")).cell()));
    NodeId const events = object::events_of(*made);
    ASSERT_NE(events, no_node);
    EXPECT_EQ(static_cast<std::int32_t>(node::buffer(events)->head_cell()[0].word2) >> 16, object::no_handler);
    EXPECT_EQ(static_cast<std::int32_t>(node::buffer(events)->head_cell()[1].word2) >> 16, 1);
    EXPECT_TRUE(object::has_on_deep_change_q(*made));
    EXPECT_EQ(object::reflect(*made, symbol::make("owner")), true_value) << "it owns its series";

    object::fire_on_change(*made, word_of("items"), none_value, none_value);
    EXPECT_TRUE(objects_test::calls.empty()) << "no on-change*: assignments call nothing";

    // An owned series reports its changes to the owner: owner, word, series, action, value, index, part.
    Rooted items(field(*made, "items"));
    Rooted added(integer::make(5));
    EXPECT_TRUE(ownership::check(*items, symbol::make("append"), &*added, 0, 1));
    EXPECT_TRUE(ownership::check(*items, symbol::make("appended"), &*added, 0, 1));
    ASSERT_EQ(objects_test::calls.size(), 2u) << "before and after the change";
    auto const& before = objects_test::calls[0].arguments;
    ASSERT_EQ(before.size(), 7u);
    EXPECT_EQ(before[0].word1, object::context_of(*made));
    EXPECT_EQ(symbol::spelling(before[1].word2), "items");
    EXPECT_EQ(before[2].word2, items->word2);
    EXPECT_EQ(symbol::spelling(before[3].word2), "append");
    EXPECT_EQ(before[4], *added);
    EXPECT_EQ(cell::type_of(before[5]), type_ids::integer);
    EXPECT_EQ(cell::type_of(before[6]), type_ids::integer);
    EXPECT_EQ(symbol::spelling(objects_test::calls[1].arguments[3].word2), "appended");

    // The value may be missing: none! stands in, index and part stay integers.
    objects_test::calls.clear();
    object::fire_on_deep_change(*made, word_of("items"), *items, word_of("clear"), nullptr, 2, 3);
    ASSERT_EQ(objects_test::calls.size(), 1u);
    EXPECT_EQ(cell::type_of(objects_test::calls[0].arguments[4]), type_ids::none);
    EXPECT_EQ(integer::get(objects_test::calls[0].arguments[5]), 2);
    EXPECT_EQ(integer::get(objects_test::calls[0].arguments[6]), 3);

    Rooted plain(make_object(Built().cell()));
    EXPECT_EQ(raised_by([&] {
        object::fire_on_deep_change(*plain, word_of("x"), none_value, word_of("clear"), nullptr, 0, 0);
    }),
        err::script::invalid_obj_evt);
}

TEST_F(ObjectTest, StartUpRecordsAndObjectsOnContexts)
{
    NodeId const context = context::make(2, false, true, no_node, context::Kind::Object);
    RootedNode kept(context);
    context::add_word(*kept, word_of("x"));
    Cell* pushed = object::make_from_context(*kept, 208);
    EXPECT_EQ(object::class_of(*pushed), 208u);
    EXPECT_EQ(context::owner_of(*kept).word1, *kept);
    NodeId const events = object::make_events(*kept, 0, 2, -1, 0);
    EXPECT_EQ(stack::top()->word3, events);
    EXPECT_EQ(node::buffer(events)->head_cell()[0].word2, (0u << 16) | 2u);
    EXPECT_EQ(static_cast<std::int32_t>(node::buffer(events)->head_cell()[1].word2) >> 16, object::no_handler);
    stack::pop(1);
    EXPECT_TRUE(object::same_class_at_q(context::global(), 0, 0) == false);
}

TEST_F(ObjectTest, ModifyChangedAndOwnership)
{
    Rooted made(make_object((Built() << set("a") << integer::make(1)).cell()));
    Cell a = word_of("a");
    a.word1 = object::context_of(*made);
    a.word3 = 0;
    word::set(a, integer::make(2));
    EXPECT_EQ(mold_text(object::reflect(*made, symbol::make("changed"))), "[a]");
    EXPECT_EQ(raised_by([&] { object::modify(*made, word_of("changed"), integer::make(1), false); }),
        err::script::invalid_arg);
    object::modify(*made, word_of("changed"), none_value, false);
    EXPECT_EQ(mold_text(object::reflect(*made, symbol::make("changed"))), "[]");
    object::modify(*made, word_of("owner"), none_value, false);
    EXPECT_EQ(object::reflect(*made, symbol::make("owner")), true_value);
}

// Copying with /types into an object already being copied would copy forever: it is refused.
TEST_F(ObjectTest, CopyWithTypesRefusesAnObjectInsideItsOwnCopy)
{
    Rooted made(make_object((Built() << set("me") << none_value).cell()));
    *object::value_at(*made, 0) = *made;
    Cell const types = type_value(type_ids::object);
    EXPECT_EQ(raised_by([&] { object::copy(*made, nullptr, false, &types); }), err::internal::no_cycle);
    EXPECT_EQ(cycles::depth(), 0u) << "the cycle stack is emptied";
}
