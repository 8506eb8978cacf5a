// The checks and accessors of compiled call sites: argument types, unset values, words and context slots
// set from the value stack, refinements, and the key look-up of switch-like selections.

#include "datatypes/arguments.h"

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol {

namespace {

bool is_unset(Cell const& value)
{
    return cell::type_of(value) == type_ids::unset;
}

// The caller, the offending datatype and the argument's own word: what the message names.
[[noreturn]] void fire_expect_arg(std::uint32_t argument, TypeId type)
{
    Cell const caller = stack::caller_word();
    Cell const offending = datatype::make(type);
    Cell const argument_word = error::function_arg_word(argument);
    fire_error(err::script::expect_arg, &caller, &offending, &argument_word);
}

Cell& last_pushed()
{
    XOL_ASSERT(stack::state.top > stack::state.base, "no cell pushed after the arguments base");
    return stack::state.top[-1];
}

// The slot's address. A context whose values are gone (a function that is not running) has no slot to
// give: that is raised, never read through.
Cell* slot_of(NodeId context, std::uint32_t index)
{
    if (!context::has_values(context)) {
        Cell const entry = *context::word_at(context, index);
        fire_error(err::script::not_defined, &entry);
    }
    return context::value_cell(context, index);
}

}

namespace arg {

Cell const& check_type(Cell const& typeset, std::uint32_t argument, Cell const& value)
{
    TypeId const type = cell::type_of(value);
    if (!typeset::has(typeset, type)) fire_expect_arg(argument, type);
    return value;
}

void check_type_at(std::int32_t offset, Cell const& typeset, std::uint32_t argument)
{
    if (offset < 0) return;
    check_type(typeset, argument, stack::state.base[offset]);
}

Cell const& check_type_if_set(Cell const& refinement, Cell const& typeset, std::uint32_t argument, Cell const& value)
{
    if (refinement.word1 == 0) return value;
    return check_type(typeset, argument, value);
}

Cell const& check_set(std::uint32_t argument, Cell const& value)
{
    if (is_unset(value)) fire_expect_arg(argument, type_ids::unset);
    return value;
}

void require_type(Cell const& value, TypeId expected)
{
    if (cell::type_of(value) != expected) fire_error(err::script::invalid_arg, &value);
}

void refinement_or_none(Cell const& refinement, std::uint32_t index, std::uint32_t count)
{
    Cell* flag = stack::state.base + index;
    XOL_ASSERT(flag + 1 + count <= stack::state.top, "refinement cells beyond the value top");
    if (logic::true_q(refinement)) {
        flag->word1 = 1;
        return;
    }
    for (std::uint32_t i = 1; i <= count; ++i) none::make_at(flag[i]);
}

}

namespace word {

Cell* set_from_top(Cell& word)
{
    Cell const& value = last_pushed(); // the value stack never moves: the reference outlives allocations
    if (is_unset(value)) fire_error(err::script::need_value, &word);
    return set(word, value);
}

Cell* set_from_top_pop(Cell& word)
{
    set_from_top(word);
    stack::drop_arguments();
    return stack::state.base;
}

Cell* get_checked(Cell const& word)
{
    Cell* value = get_value(word);
    if (is_unset(*value)) fire_error(err::script::no_value, &word);
    return value;
}

}

namespace ctx {

Cell* set_slot(NodeId context, std::uint32_t index)
{
    Cell const& value = last_pushed();
    if (is_unset(value)) {
        Cell const entry = *context::word_at(context, index);
        fire_error(err::script::need_value, &entry);
    }
    Cell* slot = slot_of(context, index);
    *slot = value;
    return slot;
}

Cell* set_slot_pop(NodeId context, std::uint32_t index)
{
    set_slot(context, index);
    stack::drop_arguments();
    return stack::state.base;
}

Cell* set_slot_owned(NodeId context, std::uint32_t index)
{
    Cell const& value = last_pushed();
    Cell* slot = slot_of(context, index);
    if (context::kind_of(context) == context::Kind::Object)
        context::word_at(context, index)->header |= context::changed_flag;
    *slot = value;
    stack::drop_arguments();
    return stack::state.base;
}

Cell* get_slot(NodeId context, std::uint32_t index)
{
    return slot_of(context, index);
}

}

namespace block {

namespace {

// The position of the first cell matching the key, or `tail` when none does. The cells are read again
// after each comparison: a compare slot may allocate, and the block cell on the value stack is the root
// that keeps its node current.
std::uint32_t find_key(Cell const& key, Cell const& block, std::uint32_t step)
{
    TypeId const key_type = cell::type_of(key);
    for (std::uint32_t position = block.word1;; position += step) {
        std::uint32_t const tail = series::buffer_of(block)->length();
        if (position >= tail) return tail;
        Cell const candidate = *rs_abs_at(block, position);
        if (cell::type_of(candidate) == key_type && actions::compare(candidate, key, CompareOp::Equal)) return position;
    }
}

}

void select_key(bool one_step, bool to_block)
{
    Cell const& key = stack::state.base[0]; // both on the value stack, which never moves
    Cell const& block = stack::state.base[1];
    Cell answer = none_value;
    if (cell::type_of(key) != type_ids::block) {
        std::uint32_t const match = find_key(key, block, one_step ? 1 : 2);
        std::uint32_t const tail = series::buffer_of(block)->length();
        if (match < tail) {
            if (to_block) {
                // No block! before the tail leaves nothing to answer but none!.
                for (std::uint32_t position = match + 1; position < tail; ++position) {
                    if (cell::type_of(*rs_abs_at(block, position)) == type_ids::block) {
                        answer = *rs_abs_at(block, position);
                        break;
                    }
                }
            } else {
                answer = *rs_abs_at(block, match + 1 < tail ? match + 1 : match);
            }
        }
    }
    if (one_step)
        stack::push(answer);
    else
        stack::set_last(answer);
}

}

namespace error {

void fire_make_arg(Cell const& type, Cell const& spec)
{
    fire_error(err::script::bad_make_arg, &type, &spec);
}

}

}
