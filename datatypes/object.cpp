// object!: fields, makers, make from a spec block or an object, reflection, the path step, compare,
// select, put and modify.

#include "datatypes/object.h"

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object_events.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::object {

ObjectState state;

namespace {

SymbolId canonical(SymbolId symbol)
{
    return symbol::resolve(symbol);
}
bool is_symbol(SymbolId symbol, words::Symbol entry)
{
    return canonical(symbol) == canonical(words::symbol_of(entry));
}

// The types whose values a make from an object gives a fresh deep copy of their own.
bool is_copied_by_make(TypeId type)
{
    return type_ids::is_series(type);
}

// The copies that are bound to the new object: code and data that name its fields.
bool is_bound_on_make(TypeId type)
{
    return type_ids::is_any_block(type);
}

// Values whose order the compare action decides; others are ordered by their type ids.
bool are_compatible(TypeId type1, TypeId type2)
{
    return type1 == type2 || (type_ids::is_all_word(type1) && type_ids::is_all_word(type2))
        || (type_ids::is_number(type1) && type_ids::is_number(type2));
}

// Gives every value of the made object that the make copies a deep copy of its own, binds the copied code
// to the object, and re-makes its functions. With `already_copied` the copier has copied the series it
// copies deep and re-made the functions: those are only bound. May allocate.
void renew_values(Cell const& object, bool already_copied)
{
    Rooted kept(object);
    for (std::uint32_t i = 0; i < context::word_count(context_of(*kept)); ++i) {
        Rooted value(*context::values_at(context_of(*kept), i));
        TypeId const type = cell::type_of(*value);
        if (type == type_ids::function) {
            // The copier re-made the prototype's functions already.
            if (!already_copied) {
                Cell const cloned = clone_function(*value, context_of(*kept));
                *context::values_at(context_of(*kept), i) = cloned;
            }
            continue;
        }
        if (!is_copied_by_make(type)) continue;
        bool const copied_before = already_copied && type != type_ids::hash && type != type_ids::vector
            && type != type_ids::binary && type != type_ids::image;
        if (!copied_before) {
            Cell const copied = actions::copy_typed(*value, true, nullptr);
            *value = copied;
        }
        if (is_bound_on_make(type)) context::bind_block(*value, context_of(*kept), true);
        *context::values_at(context_of(*kept), i) = *value;
    }
}

[[noreturn]] void missing_field(PathStep const& step)
{
    Cell const path = step.path ? *step.path : none_value;
    if (step.last_element) fire_error(err::script::invalid_path, &path, &step.element);
    fire_error(err::script::unset_path, &path, &step.element);
}

}

void init()
{
    state = ObjectState {};
}

std::uint32_t class_id()
{
    return ++state.class_counter;
}

// ---- Fields --------------------------------------------------------------------------------------------

std::int32_t find_word(Cell const& object, Cell const& word)
{
    return context::find_word(context_of(object), word.word2, true);
}

Cell select_word(Cell const& object, Cell const& word)
{
    std::int32_t const slot = find_word(object, word);
    if (slot < 0) return none_value;
    return *value_at(object, static_cast<std::uint32_t>(slot));
}

Cell self_word(Cell const& object)
{
    return *context::word_at(context_of(object), 0);
}
Cell* get_values(Cell const& object)
{
    return context::values_at(context_of(object), 0);
}
std::uint32_t word_count(Cell const& object)
{
    return context::word_count(context_of(object));
}
Cell* value_at(Cell const& object, std::uint32_t slot)
{
    return context::values_at(context_of(object), slot);
}

bool same_class_q(Cell const& word, std::uint32_t class_id)
{
    Cell const* value = word::get_value(word);
    return cell::type_of(*value) == type_id && class_of(*value) == class_id;
}

bool same_class_at_q(NodeId context, std::uint32_t index, std::uint32_t class_id)
{
    Cell const& value = *context::value_cell(context, index);
    return cell::type_of(value) == type_id && class_of(value) == class_id;
}

void clear_changed(NodeId context)
{
    SeriesBuffer* buffer = node::buffer(context::words_of(context));
    for (Cell* word = buffer->head_cell(); word < buffer->tail_cell(); ++word) word->header &= ~context::changed_flag;
}

// ---- Makers --------------------------------------------------------------------------------------------

Cell* make_from_context(NodeId given, std::uint32_t class_id)
{
    RootedNode context(given);
    while (node::buffer(context::cell_of(*context).word2)->length() < context::word_count(*context))
        *series::append_cell_raw(context::cell_of(*context).word2) = unset_value;
    return push(*context, class_id, no_node);
}

Cell* push(NodeId context, std::uint32_t class_id, NodeId events)
{
    Cell* pushed = stack::push(Cell { type_id, context, class_id, events });
    context::owner_of(context) = *pushed;
    return pushed;
}

void make_empty(Cell& target, std::uint32_t capacity)
{
    target = unset_value;
    NodeId const context = context::make(capacity, false, true, no_node, context::Kind::Object);
    target = Cell { type_id, context, 0, no_node };
    context::owner_of(context) = target;
}

Cell make(Cell const& prototype, Cell const& given_spec, TypeId)
{
    Rooted spec(given_spec);
    Rooted proto(prototype);
    bool const from_object = cell::type_of(*proto) == type_id;
    TypeId const spec_type = cell::type_of(*spec);
    if (spec_type != type_ids::block && spec_type != type_id) fire_error(err::syntax::malconstruct, &*spec);

    Rooted result(unset_value);
    if (from_object)
        copy_into(*proto, *result, true, nullptr, false);
    else
        make_empty(*result, std::max<std::uint32_t>(4, context::count_set_words(*spec)));

    bool added = false;
    if (spec_type == type_id) {
        for (std::uint32_t i = 0; i < context::word_count(context_of(*spec)); ++i) {
            Rooted word(*context::word_at(context_of(*spec), i));
            Rooted value(*context::values_at(context_of(*spec), i));
            std::int32_t slot = context::find_word(context_of(*result), word->word2, true);
            if (slot < 0) {
                slot = static_cast<std::int32_t>(context::add_word(context_of(*result), *word));
                added = true;
            }
            *context::values_at(context_of(*result), static_cast<std::uint32_t>(slot)) = *value;
        }
        renew_values(*result, false);
    } else {
        NodeId const context = context_of(*result);
        added = context::collect_set_words(context, *spec);
        context::bind_block(*spec, context_of(*result), true);
        if (from_object) renew_values(*result, true);
        services.eval_block(*spec);
        clear_changed(context_of(*result));
        block::clear_cells_bit30(context::cell_of(context_of(*result)).word2);
    }
    result->word2 = added || !from_object ? class_id() : class_of(*proto);
    attach_events(*result);
    return *result;
}

// ---- Reflection ----------------------------------------------------------------------------------------

Cell reflect(Cell const& value, SymbolId field)
{
    Rooted object(value);
    NodeId const context = context_of(*object);
    if (is_symbol(field, words::Symbol::words)) {
        NodeId const words = series::copy_buffer(context::words_of(context_of(*object)));
        SeriesBuffer* buffer = node::buffer(words);
        for (Cell* word = buffer->head_cell(); word < buffer->tail_cell(); ++word) {
            word->word1 = context_of(*object);
            word->header &= ~context::changed_flag;
        }
        return cell::make(type_ids::block, 0, words, 0);
    }
    if (is_symbol(field, words::Symbol::values))
        return cell::make(type_ids::block, 0, series::copy_buffer(context::cell_of(context).word2), 0);
    if (is_symbol(field, words::Symbol::body)) {
        std::uint32_t const count = context::word_count(context);
        Rooted body(*block::push_new(static_cast<std::int32_t>(count)));
        stack::pop(1);
        for (std::uint32_t i = 0; i < count; ++i) {
            Cell const entry = *context::word_at(context_of(*object), i);
            Cell const name { type_ids::set_word | cell::new_line_flag, context_of(*object), entry.word2, i };
            block::rs_append(*body, name);
            Cell item = *context::values_at(context_of(*object), i);
            if (cell::type_of(item) == type_ids::word) cell::set_type(item, type_ids::lit_word);
            if (cell::type_of(item) == type_ids::path) cell::set_type(item, type_ids::lit_path);
            block::rs_append(*body, item);
        }
        return *body;
    }
    if (is_symbol(field, words::Symbol::class_)) return integer::make(static_cast<std::int32_t>(class_of(*object)));
    if (canonical(field) == canonical(words::word_of(words::Word::changed).word2)) {
        Rooted changed(*block::push_new(1));
        stack::pop(1);
        for (std::uint32_t i = 0; i < context::word_count(context_of(*object)); ++i) {
            Cell entry = *context::word_at(context_of(*object), i);
            if (!(entry.header & context::changed_flag)) continue;
            entry.header &= ~context::changed_flag;
            block::rs_append(*changed, entry);
        }
        return *changed;
    }
    if (is_symbol(field, words::Symbol::owner))
        return logic::make((context::cell_of(context).header & ownership::owner_flag) != 0);
    if (is_symbol(field, words::Symbol::events_q)) return logic::make(events_of(*object) != no_node);
    fire_error(err::internal::not_done);
}

// ---- The path step, select, put, modify ------------------------------------------------------------------

Cell eval_path(PathStep const& step)
{
    TypeId const element_type = cell::type_of(step.element);
    if (element_type < type_ids::word || element_type > type_ids::get_word) {
        Cell const path = step.path ? *step.path : none_value;
        fire_error(err::script::invalid_path, &path, &step.element);
    }
    Rooted object(step.value);
    Rooted element(step.element);
    NodeId const context = context_of(*object);
    std::int32_t slot = -1;
    if (element->word1 == context && element->word3 != word::unresolved
        && element->word3 < context::word_count(context))
        slot = static_cast<std::int32_t>(element->word3);
    else
        slot = context::find_word(context, element->word2, true);
    if (slot < 0) {
        if (step.get && step.last_element && !step.new_value) return unset_value;
        missing_field(step);
    }
    element->word1 = context;
    element->word3 = static_cast<std::uint32_t>(slot);

    if (step.new_value) {
        Rooted value(*step.new_value);
        bool const notify = events_of(*object) != no_node;
        Rooted old_value(notify ? *context::values_at(context, static_cast<std::uint32_t>(slot)) : unset_value);
        word::set_notify(*element, *value, context_of(*object), false);
        if (notify) fire_on_change(*object, *element, *old_value, *value);
        return *value;
    }
    Cell const found = *context::values_at(context, static_cast<std::uint32_t>(slot));
    if (cell::type_of(found) == type_ids::unset) {
        if (step.get && step.last_element) return unset_value;
        missing_field(step);
    }
    return found;
}

Cell select(Cell const& object, Cell const& value, FindOptions const&)
{
    TypeId const type = cell::type_of(value);
    if (type < type_ids::word || type > type_ids::get_word) {
        Cell const type_value = datatype::make(type);
        fire_error(err::script::invalid_type, &type_value);
    }
    return select_word(object, value);
}

// A missing field is refused as at the end of a path.
Cell put(Cell const& object, Cell const& key, Cell const& value, bool)
{
    if (cell::type_of(key) != type_ids::word) {
        Cell const type_value = datatype::make(cell::type_of(key));
        fire_error(err::script::invalid_key_type, &type_value);
    }
    PathStep const step {
        .value = object,
        .element = key,
        .new_value = &value,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1,
        .case_sensitive = false,
        .get = false,
        .last_element = true,
        .signal_owner = false,
    };
    return eval_path(step);
}

Cell modify(Cell const& object, Cell const& field, Cell const& value, bool)
{
    if (!word::is_any_word(cell::type_of(field))) return value;
    SymbolId const name = canonical(field.word2);
    Rooted kept(object);
    Rooted kept_value(value);
    if (name == canonical(words::word_of(words::Word::changed).word2)) {
        if (cell::type_of(*kept_value) != type_ids::none) fire_error(err::script::invalid_arg, &*kept_value);
        clear_changed(context_of(*kept));
    } else if (name == canonical(words::symbol_of(words::Symbol::owner))) {
        ownership::bind(*kept, *kept, none_value);
    } else if (name == canonical(words::symbol_of(words::Symbol::owned))) {
        if (cell::type_of(*kept_value) == type_ids::none) {
            ownership::unbind(*kept);
        } else if (cell::type_of(*kept_value) == type_ids::block && block::rs_length_q(*kept_value) >= 2) {
            Rooted owner(block::rs_head(*kept_value)[0]);
            Rooted word(block::rs_head(*kept_value)[1]);
            if (cell::type_of(*owner) == type_id) ownership::bind(*kept, *owner, *word);
        }
    }
    return *kept_value;
}

// ---- Compare -------------------------------------------------------------------------------------------

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    NodeId const context1 = context_of(value1);
    NodeId const context2 = context_of(value2);
    if (context1 == context2) return 0;
    if (op == CompareOp::Same) return -1;
    if (cycles::find(context1)) return cycles::find(context2) ? 0 : -1;
    std::uint32_t const count1 = context::word_count(context1);
    std::uint32_t const count2 = context::word_count(context2);
    if (count1 != count2) return count1 > count2 ? 1 : -1;
    if (count1 == 0) return 0;

    Rooted object1(value1), object2(value2);
    cycles::push(context1);
    cycles::push(context2);
    struct Drop {
        ~Drop() { cycles::drop(2); }
    } const drop;
    for (std::uint32_t i = 0; i < count1; ++i) {
        SymbolId const name1 = canonical(context::word_at(context_of(*object1), i)->word2);
        SymbolId const name2 = canonical(context::word_at(context_of(*object2), i)->word2);
        if (name1 != name2) return name1 < name2 ? -1 : 1;
        Rooted field1(*context::values_at(context_of(*object1), i));
        Rooted field2(*context::values_at(context_of(*object2), i));
        TypeId const type1 = cell::type_of(*field1);
        TypeId const type2 = cell::type_of(*field2);
        if (!are_compatible(type1, type2)) return type1 < type2 ? -1 : 1;
        std::int32_t const answer = actions::compare_typed(*field1, *field2, op);
        if (answer != 0) return answer;
    }
    return 0;
}

// ---- copy ------------------------------------------------------------------------------------------------

Cell copy(Cell const& value, Refinement part, bool deep, Refinement types)
{
    if (part) {
        Cell const refinement = words::refinement_of(words::RefinementWord::part);
        fire_error(err::script::invalid_refine_arg, &refinement, part);
    }
    Rooted result(unset_value);
    copy_into(value, *result, deep, types, true);
    return *result;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "object!",
    .actions = {
        .make = make,
        .reflect = reflect,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .copy = copy,
        .put = put,
        .select = select,
        .modify = modify,
    },
};

}
