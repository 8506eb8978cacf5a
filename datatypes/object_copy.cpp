// object!: the copier, the re-making of functions for a new object, construct and the `set` of fields.

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/object_events.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::object {

namespace {

// The series a deep copy gives a copy of their own.
bool is_copied_deep(TypeId type)
{
    return (type_ids::is_any_block(type) && type != type_ids::hash) || type_ids::is_text(type);
}

SymbolId canonical(SymbolId symbol)
{
    return symbol::resolve(symbol);
}

// The logic words construct reads as values, unless told to keep words as they are.
Cell construct_value(Cell const& value)
{
    if (cell::type_of(value) != type_ids::word) return value;
    SymbolId const name = canonical(value.word2);
    auto const is = [&](words::Symbol entry) { return name == canonical(words::symbol_of(entry)); };
    if (is(words::Symbol::true_) || is(words::Symbol::yes) || is(words::Symbol::on)) return true_value;
    if (is(words::Symbol::false_) || is(words::Symbol::no) || is(words::Symbol::off)) return false_value;
    if (is(words::Symbol::none)) return none_value;
    return value;
}

// Slot of a handler named in the object's event record; -1 without record or handler.
std::int32_t handler_slot(Cell const& object, std::uint32_t which)
{
    if (events_of(object) == no_node) return no_handler;
    return static_cast<std::int32_t>(node::buffer(events_of(object))->head_cell()[which].word2) >> 16;
}

}

void copy_into(Cell const& given_source, Cell& target, bool deep, Refinement given_types, bool rebuild_events)
{
    Rooted source(given_source);
    Rooted types(given_types ? *given_types : none_value);
    std::uint32_t const count = context::word_count(context_of(*source));
    target = unset_value;
    NodeId const context = context::make(count, false, true, context_of(*source), context::Kind::Object);
    // Nothing allocates until the target holds the new context.
    SeriesBuffer* words = node::buffer(context::words_of(context));
    for (Cell* word = words->head_cell(); word < words->tail_cell(); ++word) word->word1 = context;
    SeriesBuffer* from = node::buffer(context::cell_of(context_of(*source)).word2);
    SeriesBuffer* into = node::buffer(context::cell_of(context).word2);
    std::uint32_t const copied = from->length() < count ? from->length() : count;
    for (std::uint32_t i = 0; i < copied; ++i) into->head_cell()[i] = from->head_cell()[i];
    into->tail = into->head + copied * static_cast<std::uint32_t>(sizeof(Cell));
    target = Cell { static_cast<std::uint32_t>(cell::type_of(*source)), context, class_of(*source),
        rebuild_events ? no_node : events_of(*source) };
    context::owner_of(context) = target;
    Rooted result(target);

    for (std::uint32_t i = 0; i < copied; ++i) {
        Rooted value(*context::values_at(context_of(*result), i));
        TypeId const type = cell::type_of(*value);
        if (type == type_ids::function) {
            Cell const cloned = clone_function(*value, context_of(*result));
            *context::values_at(context_of(*result), i) = cloned;
        } else if (deep && !given_types && is_copied_deep(type)) {
            Cell const made = actions::copy_typed(*value, true, nullptr);
            *context::values_at(context_of(*result), i) = made;
        }
    }
    if (given_types) {
        // An object met again inside its own copy would be copied forever.
        if (cycles::find(context_of(*source))) {
            cycles::reset();
            fire_error(err::internal::no_cycle);
        }
        cycles::push(context_of(*source));
        struct Pop {
            ~Pop() { cycles::pop(); }
        } const pop;
        Cell const values = cell::make(type_ids::block, 0, context::cell_of(context_of(*result)).word2, 0);
        block::find_type(values, 0, copied, 1, deep, *types);
    }
    if (rebuild_events) attach_events(*result);
    target = *result;
}

Cell clone_function(Cell const& given, NodeId given_object_context)
{
    Rooted original(given);
    RootedNode object_context(given_object_context);
    Cell const body = function::record_cell(*original, function::body_cell);
    if (cell::type_of(body) == type_ids::none) fire_error(err::script::bad_func_def, &*original);
    Rooted body_copy(*block::clone(body, true, true));
    cell::set_type(*body_copy, type_ids::block);
    stack::pop(1);
    Rooted rebound(*original);
    RootedNode function_context(context::clone(*rebound, context::Kind::Function));
    context::bind_block(*body_copy, *object_context, true);
    context::bind_block(*body_copy, *function_context, false);
    function::make_compiled(function::spec_block(*original), *body_copy, *function_context, 0, 0,
        original->header & function::attribute_flags_mask);
    Cell const made = *stack::top();
    stack::pop(1);
    return made;
}

Cell make_from_proto(Cell const& given_spec, Cell const& prototype, bool only)
{
    Rooted spec(given_spec);
    Rooted result(unset_value);
    if (cell::type_of(prototype) == type_id) {
        copy_into(prototype, *result, true, nullptr, true);
    } else {
        make_empty(*result, 4);
        result->word2 = class_id();
        context::owner_of(context_of(*result)) = *result;
    }
    std::uint32_t const total = node::buffer(spec->word2)->length();
    for (std::uint32_t i = spec->word1; i < total; ++i) {
        Rooted word(node::buffer(spec->word2)->head_cell()[i]);
        if (cell::type_of(*word) != type_ids::set_word) continue;
        std::uint32_t const slot = context::add_word(context_of(*result), *word);
        std::uint32_t value_at_index = i + 1;
        while (value_at_index < total
            && cell::type_of(node::buffer(spec->word2)->head_cell()[value_at_index]) == type_ids::set_word)
            ++value_at_index;
        Cell value = value_at_index < total ? node::buffer(spec->word2)->head_cell()[value_at_index] : none_value;
        if (!only) value = construct_value(value);
        *context::values_at(context_of(*result), slot) = value;
    }
    return *result;
}

void set_fields(Cell const& given_object, Cell const& given_value, bool any, bool only, bool some)
{
    Rooted object(given_object);
    Rooted value(given_value);
    std::int32_t const on_change = handler_slot(*object, 0);
    std::int32_t const on_deep_change = handler_slot(*object, 1);
    std::uint32_t const count = context::word_count(context_of(*object));

    // Each assignment marks the field changed and tells on-change* of it, except for the handlers' own.
    auto const assign = [&](std::uint32_t slot, Cell const& new_value) {
        if (some && cell::type_of(new_value) == type_ids::none) return;
        Rooted kept_value(new_value);
        Rooted old_value(*context::values_at(context_of(*object), slot));
        *context::values_at(context_of(*object), slot) = *kept_value;
        context::word_at(context_of(*object), slot)->header |= context::changed_flag;
        auto const index = static_cast<std::int32_t>(slot);
        if (events_of(*object) == no_node || index == on_change || index == on_deep_change) return;
        Rooted word(*context::word_at(context_of(*object), slot));
        cell::set_type(*word, type_ids::word);
        word->header &= ~context::changed_flag;
        fire_on_change(*object, *word, *old_value, *kept_value);
    };

    TypeId const type = cell::type_of(*value);
    if (!only && type == type_ids::block) {
        std::uint32_t const first = value->word1;
        std::uint32_t const length = block::rs_length_q(*value);
        if (!some && !any) {
            for (std::uint32_t i = 0; i < length && i < count; ++i) {
                if (cell::type_of(block::rs_head(*value)[i]) != type_ids::unset) continue;
                Cell const word = *context::word_at(context_of(*object), i);
                fire_error(err::script::need_value, &word);
            }
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            Cell const item = i < length ? node::buffer(value->word2)->head_cell()[first + i] : none_value;
            assign(i, item);
        }
        return;
    }
    if (!only && type == type_id) {
        if (!some && !any) {
            for (std::uint32_t i = 0; i < context::word_count(context_of(*value)); ++i) {
                if (cell::type_of(*context::values_at(context_of(*value), i)) != type_ids::unset) continue;
                Cell const word = *context::word_at(context_of(*value), i);
                fire_error(err::script::need_value, &word);
            }
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            std::int32_t const source_slot
                = context::find_word(context_of(*value), context::word_at(context_of(*object), i)->word2, true);
            if (source_slot < 0) continue;
            Cell const item = *context::values_at(context_of(*value), static_cast<std::uint32_t>(source_slot));
            assign(i, item);
        }
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) assign(i, *value);
}

}
