// The word family's makers and the reading and setting of word values.

#include "datatypes/word.h"

#include <string>

#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::word {

// ---- Makers ---------------------------------------------------------------------------------------

Cell make(SymbolId symbol)
{
    Cell const probe = cell::make(type_id, no_node, symbol, unresolved);
    std::uint32_t const slot = context::add_word(context::global(), probe);
    return cell::make(type_id, context::global(), symbol, slot);
}

Cell* make_at(SymbolId symbol, Cell& target)
{
    target = make(symbol);
    return &target;
}

Cell make_global(std::string_view utf8)
{
    return context::add_global(symbol::make(utf8), true, true);
}

Cell* make_in(Cell const& block, SymbolId symbol, TypeId type)
{
    Rooted target(block);
    Cell made = make(symbol);
    cell::set_type(made, type);
    Cell* cell = series::append_cell(*target);
    *cell = made;
    return cell;
}

Cell* push_global(SymbolId symbol)
{
    return stack::push(make(symbol));
}

Cell* push(Cell const& word)
{
    return stack::push(word);
}

Cell* push_local(NodeId context, std::uint32_t index)
{
    return stack::push(*context::word_at(context, index));
}

Cell* push_as(Cell const& word, TypeId type)
{
    Cell* pushed = stack::push(word);
    cell::set_type(*pushed, type);
    return pushed;
}

Cell* push_local_as(NodeId context, std::uint32_t index, TypeId type)
{
    return push_as(*context::word_at(context, index), type);
}

Cell* to_string(Cell const& word)
{
    std::string const text(symbol::spelling(word.word2));
    return stack::push(string::from_utf8(text));
}

TypeId scan_type(Cell const& word)
{
    std::string const text(symbol::spelling(word.word2));
    return services.scan_type(text);
}

// ---- Values ---------------------------------------------------------------------------------------

Cell* get_value_in(Cell const& word, NodeId context)
{
    if (word.word3 == unresolved) {
        // Only `self` as spelled reads without a slot: the owner of the word's own context.
        SymbolId const self = words::symbol_of(words::Symbol::self);
        if (self != 0 && word.word2 == self && word.word1 != no_node) return &context::owner_of(word.word1);
        fire_error(err::script::no_value, &word);
    }
    if (context == no_node || !context::has_values(context)) fire_error(err::script::not_in_context, &word);
    return context::value_cell(context, word.word3);
}

Cell* get_value_slow(Cell const& word)
{
    return get_value_in(word, word.word1);
}

namespace {

// Writes the value at a known slot: flags an object's entry and lets its owner hear of the change.
Cell* store(Cell const& word, Cell const& value, NodeId context, std::uint32_t slot, bool notify)
{
    if (!context::has_values(context)) fire_error(err::script::not_defined, &word);
    if (context::kind_of(context) != context::Kind::Object) {
        *context::value_cell(context, slot) = value;
        return context::value_cell(context, slot);
    }
    context::word_at(context, slot)->header |= context::changed_flag;
    Cell const& owner = context::owner_of(context);
    if (!notify || owner.word3 == 0) {
        *context::value_cell(context, slot) = value;
        return context::value_cell(context, slot);
    }
    // The handler may allocate and run any code: what it is given lives on the value stack, which never
    // moves, and the stack top is put back afterwards.
    Cell* const saved_top = stack::state.top;
    RootedNode kept_context(context);
    Cell* old_value = stack::push(*context::value_cell(context, slot));
    Cell* new_value = stack::push(value);
    Cell* owner_copy = stack::push(owner);
    Cell* word_copy = stack::push(word);
    *context::value_cell(context, slot) = *new_value;
    services.fire_on_change(*owner_copy, *word_copy, *old_value, *new_value);
    stack::cut_to(saved_top);
    return context::value_cell(*kept_context, slot);
}

// The word is not in the context yet. Adding allocates, so the slot is not cached in `word`, which may
// lie in a buffer that moves; the next set finds the word without allocating and caches it then.
Cell* add_and_store(Cell const& word, Cell const& value, NodeId context, bool notify)
{
    // A running function's values are a fixed run of stack cells: a slot past them would overwrite
    // whatever the stack holds next.
    if (context::is_on_stack(context)) fire_error(err::script::not_defined, &word);
    Rooted kept_word(word);
    Rooted kept_value(value);
    RootedNode kept_context(context);
    std::uint32_t const slot = context::add_word(*kept_context, *kept_word);
    return store(*kept_word, *kept_value, *kept_context, slot, notify);
}

}

Cell* set_notify(Cell& word, Cell const& value, NodeId context, bool notify)
{
    if (context == no_node) fire_error(err::script::not_defined, &word);
    std::uint32_t slot = word.word3;
    if (slot == unresolved) {
        std::int32_t const found = context::find_word(context, word.word2, false);
        if (found < 0) return add_and_store(word, value, context, notify);
        slot = static_cast<std::uint32_t>(found);
        if (word.word1 == context) word.word3 = slot;
    }
    return store(word, value, context, slot, notify);
}

Cell* set(Cell& word, Cell const& value)
{
    // The loops set their words on every step: a resolved word outside objects takes its slot at once.
    NodeId const context = word.word1;
    if (word.word3 != unresolved && context != no_node && context::has_values(context)
        && context::kind_of(context) != context::Kind::Object) {
        Cell* const cell = context::value_cell(context, word.word3);
        *cell = value;
        return cell;
    }
    return set_notify(word, value, context, true);
}

Cell* get(Cell const& word)
{
    Cell const* value = get_value(word);
    if (cell::type_of(*value) == type_ids::unset) fire_error(err::script::no_value, &word);
    return stack::push(*value);
}

Cell* get_any(Cell const& word)
{
    return stack::push(*get_value(word));
}

Cell* get_local(NodeId context, std::uint32_t index)
{
    if (!context::has_values(context)) fire_error(err::script::not_defined, context::word_at(context, index));
    return stack::push(*context::value_cell(context, index));
}

Cell* get_local_push(NodeId context, std::uint32_t index)
{
    if (context::kind_of(context) == context::Kind::Object)
        context::word_at(context, index)->header |= context::changed_flag;
    Cell const value = *context::values_at(context, index);
    Cell* previous = stack::top();
    *previous = value;
    return stack::push(value);
}

void set_local_from_top(NodeId context, std::uint32_t index)
{
    if (context::kind_of(context) == context::Kind::Object)
        context::word_at(context, index)->header |= context::changed_flag;
    *stack::top() = *context::values_at(context, index);
}

void set_arg()
{
    Cell* base = stack::state.base;
    if (cell::type_of(base[1]) == type_ids::unset) fire_error(err::script::need_value, &base[0]);
    Cell const value = base[1];
    set(base[0], value);
    stack::set_last(value);
}

}

namespace xol::set_word {
Cell* push(Cell const& word)
{
    return word::push_as(word, type_id);
}
Cell* push_local(NodeId context, std::uint32_t index)
{
    return word::push_local_as(context, index, type_id);
}
}

namespace xol::lit_word {
Cell* push(Cell const& word)
{
    return word::push_as(word, type_id);
}
Cell* push_local(NodeId context, std::uint32_t index)
{
    return word::push_local_as(context, index, type_id);
}
}

namespace xol::get_word {
Cell* push(Cell const& word)
{
    return word::push_as(word, type_id);
}
Cell* push_local(NodeId context, std::uint32_t index)
{
    return word::push_local_as(context, index, type_id);
}
}

namespace xol::refinement {
Cell* push(Cell const& word)
{
    return word::push_as(word, type_id);
}
Cell* push_local(NodeId context, std::uint32_t index)
{
    return word::push_local_as(context, index, type_id);
}
Cell make(std::string_view utf8)
{
    return cell::make(type_id, no_node, symbol::make(utf8), word::unresolved);
}
}

namespace xol::issue {
Cell* push(Cell const& word)
{
    return word::push_as(word, type_id);
}
Cell make(std::string_view utf8)
{
    SymbolId const symbol = symbol::make(utf8);
    return cell::make(type_id, context::global(), symbol, word::unresolved);
}
Cell* make_at(Cell& target, std::string_view utf8)
{
    target = make(utf8);
    return &target;
}
Cell* load(std::string_view utf8)
{
    return stack::push(make(utf8));
}
}
