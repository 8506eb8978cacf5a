// Object change events: the event record and the calls of on-change* and on-deep-change*.

#include "datatypes/object_events.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::object {

namespace {

constexpr std::uint32_t on_change_cell = 0;
constexpr std::uint32_t on_deep_change_cell = 1;
constexpr std::uint32_t on_change_callback = 8;
constexpr std::uint32_t on_deep_change_callback = 16;

Cell& record_cell(NodeId record, std::uint32_t which)
{
    return node::buffer(record)->head_cell()[which];
}

std::int32_t slot_of(NodeId record, std::uint32_t which)
{
    return static_cast<std::int32_t>(record_cell(record, which).word2) >> 16;
}

void describe(Cell& cell, std::int32_t index, std::int32_t count, NodeId spec)
{
    cell = Cell { type_ids::pair, 0,
        (static_cast<std::uint32_t>(index) << 16) | (static_cast<std::uint32_t>(count) & 0xFFFF), spec };
}

SymbolId handler_symbol(words::Word entry)
{
    return symbol::resolve(words::word_of(entry).word2);
}

// The local count of the handler's current spec, written back into the record with that spec.
std::int32_t refresh_count(NodeId record, std::uint32_t which, Cell const& handler)
{
    std::int32_t const count = function::count_locals(function::spec_node(handler), 0, false);
    Cell& cell = record_cell(record, which);
    cell.word2 = (cell.word2 & 0xFFFF0000) | (static_cast<std::uint32_t>(count) & 0xFFFF);
    cell.word3 = function::spec_node(handler);
    return count;
}

// Runs the handler whose arguments follow its frame, then pops the frame, restoring the handler's
// context and keeping its result.
void run_handler(Cell const& handler, NodeId object_context, Cell const& frame_word, std::uint32_t callback)
{
    services.call_function(handler, object_context, frame_word, callback);
    stack::pop_frame_keep_restore();
}

}

NodeId event_record(NodeId on_change_spec, NodeId on_deep_change_spec, std::int32_t on_change_index,
    std::int32_t on_change_count, std::int32_t on_deep_change_index, std::int32_t on_deep_change_count)
{
    NodeId const made = series::alloc_cells(2);
    SeriesBuffer* buffer = node::buffer(made);
    describe(buffer->head_cell()[on_change_cell], on_change_index, on_change_count, on_change_spec);
    describe(buffer->head_cell()[on_deep_change_cell], on_deep_change_index, on_deep_change_count, on_deep_change_spec);
    buffer->tail = buffer->head + 2 * static_cast<std::uint32_t>(sizeof(Cell));
    return made;
}

NodeId build_events(NodeId given)
{
    RootedNode context(given);
    std::int32_t on_change = no_handler;
    std::int32_t on_deep_change = no_handler;
    SymbolId const on_change_name = handler_symbol(words::Word::on_change_star);
    SymbolId const on_deep_change_name = handler_symbol(words::Word::on_deep_change_star);
    for (std::uint32_t i = 0; i < context::word_count(*context); ++i) {
        SymbolId const name = symbol::resolve(context::word_at(*context, i)->word2);
        if (name == on_change_name) on_change = static_cast<std::int32_t>(i);
        if (name == on_deep_change_name) on_deep_change = static_cast<std::int32_t>(i);
    }
    if (on_change == no_handler && on_deep_change == no_handler) return no_node;

    std::int32_t counts[2] = { 0, 0 };
    NodeId specs[2] = { no_node, no_node };
    std::int32_t const slots[2] = { on_change, on_deep_change };
    for (std::uint32_t which = 0; which < 2; ++which) {
        if (slots[which] == no_handler) continue;
        Cell const handler = *context::values_at(*context, static_cast<std::uint32_t>(slots[which]));
        TypeId const type = cell::type_of(handler);
        if (type != type_ids::function && type != type_ids::routine) {
            Cell const word = *context::word_at(*context, static_cast<std::uint32_t>(slots[which]));
            Cell const type_value = datatype::make(type);
            fire_error(err::script::bad_field_set, &word, &type_value);
        }
        counts[which] = function::count_locals(function::spec_node(handler), 0, false);
        specs[which] = function::spec_node(handler);
    }
    return event_record(specs[0], specs[1], on_change, counts[0], on_deep_change, counts[1]);
}

void attach_events(Cell& object)
{
    Rooted kept(object);
    NodeId const events = build_events(context_of(*kept));
    kept->word3 = events;
    context::owner_of(context_of(*kept)) = *kept;
    if (events != no_node && slot_of(events, on_deep_change_cell) != no_handler) {
        ownership::bind(*kept, *kept, none_value);
        // The owner flag lives in the context cell; the owner copy follows it.
        context::owner_of(context_of(*kept)) = *kept;
    }
    object = *kept;
}

NodeId make_events(NodeId given, std::int32_t on_change_index, std::int32_t on_change_count,
    std::int32_t on_deep_change_index, std::int32_t on_deep_change_count)
{
    RootedNode context(given);
    NodeId const events
        = event_record(no_node, no_node, on_change_index, on_change_count, on_deep_change_index, on_deep_change_count);
    Cell* object = stack::top();
    object->word3 = events;
    context::owner_of(*context) = *object;
    if (on_deep_change_index != no_handler) {
        Rooted kept(*object);
        ownership::bind(*kept, *kept, none_value);
    }
    return events;
}

bool has_on_deep_change_q(Cell const& object)
{
    return events_of(object) != no_node && slot_of(events_of(object), on_deep_change_cell) != no_handler;
}

void fire_on_change(Cell const& given_object, Cell const& given_word, Cell const& old_value, Cell const& new_value)
{
    if (events_of(given_object) == no_node) return;
    std::int32_t const slot = slot_of(events_of(given_object), on_change_cell);
    if (slot == no_handler) return;
    Rooted object(given_object);
    Rooted handler(*context::values_at(context_of(*object), static_cast<std::uint32_t>(slot)));
    if (cell::type_of(*handler) != type_ids::function) fire_error(err::script::invalid_obj_evt, &*handler);
    std::int32_t const locals = refresh_count(events_of(*object), on_change_cell, *handler);

    // The handler always hears of a word of its own object.
    Cell word = given_word;
    if (word.word1 != context_of(*object)) {
        word.word1 = context_of(*object);
        std::int32_t const found = context::find_word(context_of(*object), word.word2, true);
        word.word3 = found < 0 ? word::unresolved : static_cast<std::uint32_t>(found);
    }
    Cell const old_copy = old_value;
    Cell const new_copy = new_value;
    stack::push_call_frame(words::word_of(words::Word::on_change_star), function::context_of(*handler));
    stack::push(word);
    stack::push(old_copy);
    stack::push(new_copy);
    if (locals > 0) function::push_unused_refinement(locals);
    run_handler(*handler, context_of(*object), words::word_of(words::Word::on_change_star), on_change_callback);
}

void fire_on_change_top(Cell const& object, Cell const& word)
{
    Cell const old_value = stack::state.top[-1];
    Cell const new_value = stack::state.top[-2];
    fire_on_change(object, word, old_value, new_value);
}

void fire_on_change_word(Cell const& object_word, Cell const& field)
{
    Cell const object = *word::get_value(object_word);
    fire_on_change_top(object, field);
}

void fire_on_deep_change(Cell const& given_owner, Cell const& word, Cell const& target, Cell const& action,
    Cell const* value, std::int32_t index, std::int32_t part)
{
    if (events_of(given_owner) == no_node) fire_error(err::script::invalid_obj_evt, &given_owner);
    std::int32_t const slot = slot_of(events_of(given_owner), on_deep_change_cell);
    if (slot == no_handler) return;
    Rooted owner(given_owner);
    Rooted handler(*context::values_at(context_of(*owner), static_cast<std::uint32_t>(slot)));
    if (cell::type_of(*handler) != type_ids::function) return;
    std::int32_t const locals = refresh_count(events_of(*owner), on_deep_change_cell, *handler);

    Cell const arguments[] = { *owner, word, target, action, value ? *value : none_value };
    stack::push_call_frame(words::word_of(words::Word::on_deep_change_star), function::context_of(*handler));
    for (Cell const& argument : arguments) stack::push(argument);
    stack::push(integer::make(index));
    stack::push(integer::make(part));
    if (locals > 0) function::push_unused_refinement(locals);
    run_handler(
        *handler, context_of(*owner), words::word_of(words::Word::on_deep_change_star), on_deep_change_callback);
}

void tell_owner(Cell const& owner, Cell const& word, Cell const& series, SymbolId action, Cell const* new_value,
    std::int32_t index, std::int32_t part)
{
    Rooted kept_owner(owner), kept_word(word), kept_series(series);
    Rooted kept_value(new_value ? *new_value : none_value);
    Rooted action_word(word::make(action));
    fire_on_deep_change(
        *kept_owner, *kept_word, *kept_series, *action_word, new_value ? &*kept_value : nullptr, index, part);
}

}
