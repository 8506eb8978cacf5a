// The action table's state, filled from its rows at start-up; the slot look-up's error; the entries with no
// word (eval-path, compare); the built-in action! values; and the path step through a value's type.

#include "interpreter/actions.h"

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "interpreter/actions_private.h"
#include "interpreter/actions_table.h"
#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::actions {

ActionsState state;

namespace detail {

void fire_not_allowed(TypeId type)
{
    Cell const caller = stack::caller_word();
    Cell const type_value = datatype::make(type);
    Cell const argument_word = error::function_arg_word(0);
    fire_error(err::script::expect_arg, &caller, &type_value, &argument_word);
}

// eval-path for compiled code: one step, with no path around it, as the last element.
void eval_path(std::int32_t const* refinements)
{
    PathStep const step {
        .value = argument(0),
        .element = argument(1),
        .new_value = used(refinements[0]) ? &argument(2) : nullptr,
        .path = nullptr,
        .parent = nullptr,
        .previous_element = nullptr,
        .position = -1,
        .case_sensitive = false,
        .get = false,
        .last_element = true,
        .signal_owner = false,
    };
    set_result(eval_path_typed(step));
}

// The sort codes order records and answer no truth value: sorting calls the compare slots itself.
void compare(std::int32_t const*)
{
    Cell const& code = argument(2);
    std::int32_t const number = cell::type_of(code) == type_ids::integer ? integer::get(code) : -1;
    auto const op = static_cast<CompareOp>(number);
    if (number < 0 || number > static_cast<std::int32_t>(CompareOp::FindEqual) || op == CompareOp::Sort
        || op == CompareOp::CaseSort)
        fire_error(err::script::invalid_arg, &code);
    set_result(logic::make(actions::compare(argument(0), argument(1), op)));
}

}

namespace {

using namespace detail;

// The part of the path that gave the value without a path action: its elements before the step's
// element, counted from the path's index (the whole path when the position is unknown). May allocate.
Cell path_before(Cell const& path_value, std::int32_t position)
{
    Rooted path(path_value);
    std::uint32_t const total = series::rs_total_length(*path);
    std::uint32_t const first = std::min(path->word1, total);
    std::uint32_t const available = total - first;
    std::uint32_t const cells = position < 0 ? available : std::min(static_cast<std::uint32_t>(position), available);
    NodeId const copied = series::copy_part(path->word2, first, cells);
    Cell result = *path;
    result.word1 = 0;
    result.word2 = copied;
    result.word3 = 0;
    return result;
}

}

void register_actions()
{
    state = ActionsState {};
    for (std::int32_t index = 1; index <= count; ++index) {
        Row const& row = rows[index - 1];
        state.entries[index] = row.entry;
        state.word_entries[index] = row.reach == Reach::Word ? row.entry : nullptr;
    }
    gc::add_root(&state.values);
    block::make_at(state.values, count);
}

void add_builtin(std::int32_t index, Cell const& action)
{
    XOL_ASSERT(index >= 1 && index <= count, "action index out of range");
    XOL_ASSERT(cell::type_of(state.values) == type_ids::block, "the action table is registered first");
    Rooted kept(action);
    auto const slot = static_cast<std::uint32_t>(index - 1);
    Cell const empty = cell::make(type_ids::unset);
    while (block::rs_length_q(state.values) <= slot) block::rs_append(state.values, empty);
    *block::rs_abs_at(state.values, slot) = *kept;
}

Cell builtin(std::int32_t index)
{
    if (index < 1 || index > count || cell::type_of(state.values) != type_ids::block
        || block::rs_length_q(state.values) < static_cast<std::uint32_t>(index))
        return cell::make(type_ids::unset);
    return *block::rs_abs_at(state.values, static_cast<std::uint32_t>(index - 1));
}

Cell eval_path_typed(PathStep const& step)
{
    TypeId const type = cell::type_of(step.value);
    action_types::EvalPath const slot = datatype::is_registered(type) ? datatype::actions(type).eval_path : nullptr;
    if (slot) return slot(step);
    Cell const type_value = datatype::make(type);
    if (!step.path) fire_error(err::script::bad_path_type2, &step.element, &type_value);
    Rooted path(*step.path);
    Cell const reached = path_before(*path, step.position);
    fire_error(err::script::bad_path_type, &*path, &type_value, &reached);
}

}
