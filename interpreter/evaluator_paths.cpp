// Path evaluation: a head word, then one step per element through the current value's path action; a
// function met on the way is called with the remaining elements as its refinements.

#include "datatypes/context.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "interpreter/trace.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::interp {

namespace {

// The functions a path may call: an op! is called only as an infix operator.
bool is_function_type(TypeId type)
{
    return type_ids::is_function(type) && type != type_ids::op;
}

Cell const& path_cell(Cell const& path, std::uint32_t index)
{
    return node::buffer(path.word2)->head_cell()[index];
}

// The selector an element stands for: a get-word's value, a paren's value, else the element itself.
Cell selector_of(Cell const& element)
{
    switch (cell::type_of(element)) {
    case type_ids::get_word:
        return *word::get_value(element);
    case type_ids::paren: {
        eval_block(element, false);
        Cell const value = stack::state.top[-1];
        stack::pop(1);
        return value;
    }
    default:
        return element;
    }
}

// After a call reached through the path: its result where the path's result mode asks.
void place_call_result(Cell* result, bool pushed)
{
    if (pushed) return;
    stack::set_only_result(*result);
}

// The owner of a value set by a path's last step hears of the change when the value's parent is an object
// with change handlers, reached through a word, or a block or path.
bool owner_hears(Cell const& parent, Cell const& previous)
{
    TypeId const parent_type = cell::type_of(parent);
    return (parent_type == type_ids::object && object::events_of(parent) != no_node
               && cell::type_of(previous) == type_ids::word)
        || type_ids::is_any_block(parent_type);
}

// A set-path keeps each level it passes on the value stack: the value stepped into, the selector, that
// value's parent and the element before.
constexpr std::uint32_t level_size = 4;

void push_level(Cell const& value, Cell const& selector, Cell const& parent, Cell const& previous)
{
    stack::push(value);
    stack::push(selector);
    stack::push(parent);
    stack::push(previous);
}

// A value held in its cell (a scalar!) changes as a copy: a set step answers the changed value, which
// goes back where the value was taken from, by a set step on its holder or by setting the head word.
// A holder that is itself held in its cell changes in turn, up to the first that is not (a block,
// an object) or to the head word. `levels` counts the levels kept at `chain`.
void store_back(
    Cell& changed, Cell const& path, Cell& head, Cell const* chain, std::uint32_t levels, bool case_sensitive)
{
    while (levels > 0) {
        --levels;
        Cell const* level = chain + levels * level_size;
        PathStep const step {
            .value = level[0],
            .element = level[1],
            .new_value = &changed,
            .path = &path,
            .parent = &level[2],
            .previous_element = &level[3],
            .position = static_cast<std::int32_t>(levels + 1),
            .case_sensitive = case_sensitive,
            .get = false,
            .last_element = true,
            .signal_owner = levels + 2 >= 3 && owner_hears(level[2], level[3]),
        };
        Cell const answer = actions::eval_path_typed(step);
        if (!type_ids::is_scalar(cell::type_of(level[0]))) return;
        changed = answer;
    }
    word::set(head, changed);
}

}

std::uint32_t eval_path(
    Cell const& given, Code const& code, std::uint32_t position, PathMode mode, bool pushed, bool case_sensitive)
{
    Rooted path(given);
    std::uint32_t const length = node::buffer(path->word2)->length();
    std::uint32_t const head_index = path->word1;
    if (head_index >= length) fire_error(err::script::empty_path);
    bool const tracing = trace::state.on;
    if (tracing) {
        trace::event(trace::enter, &*path, static_cast<std::int32_t>(head_index), nullptr, nullptr);
        Cell const fetched = path_cell(*path, head_index);
        trace::event(trace::fetch, &*path, static_cast<std::int32_t>(head_index), nullptr, &fetched);
    }
    Cell* const entry_top = stack::state.top;

    Rooted head(path_cell(*path, head_index));
    if (cell::type_of(*head) != type_ids::word) fire_error(err::script::word_first, &*path);
    Cell const head_value = *word::get_value(*head);
    TypeId const head_type = cell::type_of(head_value);
    if (is_function_type(head_type)) {
        if (mode == PathMode::Set) fire_error(err::script::invalid_path_set, &*path);
        if (mode == PathMode::Get) fire_error(err::script::invalid_path_get, &*path);
        CallSite const site { code, position, &*path, head_index + 1, &*head, nullptr, call_evaluate, false, true };
        position = call_by_type(head_value, site);
        if (stack::has_pending()) return position;
        place_call_result(entry_top, pushed);
        if (trace::state.on) trace::event(trace::exit, &*path, static_cast<std::int32_t>(length), nullptr, entry_top);
        return position;
    }
    if (head_type == type_ids::unset) fire_error(err::script::unset_path, &*path, &*head);
    Rooted current(head_value);
    if (tracing) trace::event(trace::push, &*path, static_cast<std::int32_t>(head_index), nullptr, &*current);

    Rooted parent(cell::make(type_ids::none));
    {
        NodeId const context = head->word1;
        if (context != no_node && context != context::global()) {
            Cell const& owner = context::owner_of(context);
            if (cell::type_of(owner) != type_ids::object && cell::type_of(owner) != type_ids::unset) *parent = owner;
        }
    }
    Rooted previous(*head);
    std::uint32_t const element_count = length - head_index;
    for (std::uint32_t index = head_index + 1; index < length; ++index) {
        Rooted element(path_cell(*path, index));
        if (trace::state.on) trace::event(trace::fetch, &*path, static_cast<std::int32_t>(index), nullptr, &*element);
        Rooted selector(selector_of(*element));
        if (trace::state.on) trace::event(trace::push, &*path, static_cast<std::int32_t>(index), nullptr, &*selector);
        if (cell::type_of(*selector) == type_ids::unset) fire_error(err::script::invalid_path, &*path, &*element);
        bool const last = index + 1 == length;
        bool const signal_owner
            = mode == PathMode::Set && last && element_count >= 3 && owner_hears(*parent, *previous);
        if (mode == PathMode::Set && !last) push_level(*current, *selector, *parent, *previous);
        PathStep const step {
            .value = *current,
            .element = *selector,
            .new_value = mode == PathMode::Set && last ? stack::state.base : nullptr,
            .path = &*path,
            .parent = &*parent,
            .previous_element = &*previous,
            .position = static_cast<std::int32_t>(index - head_index),
            .case_sensitive = case_sensitive,
            .get = mode == PathMode::Get,
            .last_element = last,
            .signal_owner = signal_owner,
        };
        Cell const next = actions::eval_path_typed(step);
        if (mode == PathMode::Evaluate && is_function_type(cell::type_of(next))) {
            // A method call: the value the function was found in is its object.
            stack::cut_to(entry_top);
            CallSite const site { code, position, &*path, index + 1, &*element, &*current, call_evaluate, false, true };
            position = call_by_type(next, site);
            if (stack::has_pending()) return position;
            place_call_result(entry_top, pushed);
            if (trace::state.on)
                trace::event(trace::exit, &*path, static_cast<std::int32_t>(length), nullptr, entry_top);
            return position;
        }
        *parent = *current;
        *current = next;
        *previous = *element;
    }
    if (mode == PathMode::Set && type_ids::is_scalar(cell::type_of(*parent))) {
        Rooted changed(*current);
        store_back(*changed, *path, *head, entry_top, element_count - 2, case_sensitive);
    }
    if (trace::state.on) trace::event(trace::exit, &*path, static_cast<std::int32_t>(length), nullptr, &*current);
    stack::cut_to(entry_top);
    if (mode != PathMode::Set) {
        if (pushed) {
            stack::push(*current);
        } else {
            stack::set_only_result(*current);
        }
    }
    return position;
}

void eval_path_alone(Cell const& path, PathMode mode, bool case_sensitive)
{
    Rooted kept(path);
    Code const code { *kept, 0 };
    eval_path(*kept, code, 0, mode, mode != PathMode::Set, case_sensitive);
    if (stack::has_pending()) stack::rethrow_pending();
}

}
