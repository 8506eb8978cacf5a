// Calls of function values: the frame, the arguments fetched and checked from the code, the refinements
// from a path, and the run of the native, action, function body or routine.

#include "interpreter/calls.h"

#include <array>
#include <cstring>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines.h"
#include "interpreter/trace.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::interp {

namespace {

Cell const unset_value = cell::make(type_ids::unset);
Cell const none_value = cell::make(type_ids::none);

Cell other_name(Cell const* name)
{
    if (name && word::is_any_word(cell::type_of(*name)))
        return Cell { type_ids::word, name->word1, name->word2, name->word3 };
    return words::word_of(words::Word::anon);
}

// The word a call is reported under: a call by a word! is the commonest, and takes it as it is.
[[gnu::always_inline]] inline Cell name_or_anonymous(Cell const* name)
{
    if (!name || cell::type_of(*name) != type_ids::word) [[unlikely]]
        return other_name(name);
    Cell copy;
    std::memcpy(&copy, name, sizeof copy);
    return copy;
}

// The k-th argument or refinement word of a function's spec: what argument errors name.
Cell spec_word(Cell const& function, std::uint32_t k)
{
    Cell word;
    return function::spec_word(function.word2, k, word) ? word : words::word_of(words::Word::anon);
}

SeriesBuffer* descriptor_buffer(NodeId node)
{
    return node::buffer(node);
}

// ---- Argument fetching ---------------------------------------------------------------------------------

struct Fetch {
    // The refinement positions are left unset: a native's caller sets those it has, a function has none.
    Fetch(Cell const& function_, Cell const& name_, CallSite const& site_, NodeId const& descriptors_,
        bool function_like_)
        : function(function_)
        , name(name_)
        , site(site_)
        , descriptors(descriptors_)
        , function_like(function_like_)
    {
    }

    Cell const& function; // rooted by the caller
    Cell const& name; // the word the call is reported under; rooted by the caller
    CallSite const& site;
    NodeId const& descriptors; // rooted by the caller: evaluating an argument may move the node
    bool function_like; // function! or routine!: every slot gets a cell
    std::uint32_t count = 0; // argument cells pushed
    std::int32_t locals = 0;
    std::int32_t refinements[max_native_refinements];
    bool seen_refinement = false;
};

[[noreturn]] void fire_no_arg(Cell const& function, Cell const& given_name, std::uint32_t slot)
{
    Cell const name = given_name;
    Cell const argument = spec_word(function, slot);
    fire_error(err::script::no_arg, &name, &argument);
}

[[noreturn]] void fire_no_arg(Fetch const& fetch, std::uint32_t slot)
{
    fire_no_arg(fetch.function, fetch.name, slot);
}

[[noreturn]] void fire_expect_arg(Cell const& function, Cell const& given_name, TypeId type, std::uint32_t slot)
{
    Cell const name = given_name;
    Cell const datatype = datatype::make(type);
    Cell const argument = spec_word(function, slot);
    fire_error(err::script::expect_arg, &name, &datatype, &argument);
}

inline void check_type(Fetch const& fetch, Cell const& typeset, Cell const& value, std::uint32_t slot)
{
    TypeId const type = cell::type_of(value);
    if (!typeset::has(typeset, type)) [[unlikely]]
        fire_expect_arg(fetch.function, fetch.name, type, slot);
}

// Pushes one argument value read from the code, as its kind says; answers the new position.
std::uint32_t fetch_one(Fetch const& fetch, ArgumentKind kind, std::uint32_t position, std::uint32_t slot)
{
    Code const& code = fetch.site.code;
    if (code.at_end(position)) fire_no_arg(fetch, slot);
    if (kind == ArgumentKind::Evaluated) {
        if (fetch.site.mode & call_safer) {
            Code const one { code.series, position + 1 };
            return eval_expression_deferred(one, position, fetch.site.infix, true, false);
        }
        // Most arguments are a word, a literal or integer arithmetic on them (`n - 1`): read in place.
        if (!fetch.site.infix && !trace::state.on) {
            std::uint32_t const after = push_plain(code, position);
            if (after != 0) return after;
        }
        return eval_expression_deferred(code, position, fetch.site.infix, true, false);
    }
    Cell const cell = node::buffer(code.series.word2)->head_cell()[position];
    if (trace::state.on) trace::event(trace::fetch, &code.series, static_cast<std::int32_t>(position), nullptr, &cell);
    if (kind == ArgumentKind::Quoted) {
        switch (cell::type_of(cell)) {
        case type_ids::paren: {
            stack::push_native_frame_eval(words::word_of(words::Word::anon));
            eval_block(cell, true);
            stack::pop_frame_keep();
            break;
        }
        case type_ids::get_word:
            stack::push(*word::get_value(cell));
            break;
        case type_ids::get_path:
            eval_path_alone(cell, PathMode::Get, false);
            break;
        default:
            stack::push(cell);
            break;
        }
    } else {
        stack::push(cell);
    }
    if (trace::state.on)
        trace::event(trace::push, &code.series, static_cast<std::int32_t>(position), nullptr, stack::state.top - 1);
    return position + 1;
}

bool values_left(CallSite const& site, std::uint32_t position)
{
    return !site.code.at_end(position);
}

// The refinements named by the path after the function's name (or by refinement! values in apply's named
// mode): each switched on or off, its arguments fetched into place.
std::uint32_t fetch_refinements(Fetch& fetch, std::uint32_t position)
{
    CallSite const& site = fetch.site;
    bool const named_mode = (site.mode & call_apply_named) != 0 && !site.path;
    if (!site.path && !named_mode) return position;
    std::uint32_t element_index = site.path_rest;
    Cell* const base = stack::state.base;
    while (true) {
        Cell element;
        if (site.path) {
            if (element_index >= node::buffer(site.path->word2)->cell_count()) break;
            element = node::buffer(site.path->word2)->head_cell()[element_index++];
        } else {
            if (!values_left(site, position)) break;
            element = node::buffer(site.code.series.word2)->head_cell()[position];
        }
        TypeId const element_type = cell::type_of(element);
        bool const acceptable = element_type == type_ids::get_word
            || element_type == (named_mode ? type_ids::refinement : type_ids::word);
        if (!acceptable) {
            if (site.mode != call_evaluate && !fetch.seen_refinement) break;
            fire_error(err::script::bad_refine, &element);
        }
        Rooted kept_element(element);
        bool on = true;
        if (named_mode) {
            ++position;
            if (values_left(site, position)) {
                position = eval_expression_deferred(site.code, position, false, true, false);
                if (stack::has_pending()) return position;
                Cell const truth = stack::state.top[-1];
                stack::pop(1);
                if (cell::type_of(truth) == type_ids::unset) fire_error(err::script::no_value, &*kept_element);
                on = logic::true_q(truth);
            } else {
                on = false;
            }
        } else if (element_type == type_ids::get_word) {
            Cell const value = *word::get_value(element);
            if (cell::type_of(value) == type_ids::unset) fire_error(err::script::no_value, &*kept_element);
            on = logic::true_q(value);
        }

        // Its entry among the descriptors, and the slot it has among the function's cells.
        SymbolId const symbol = symbol::resolve(element.word2);
        SeriesBuffer* descriptors = descriptor_buffer(fetch.descriptors);
        std::uint32_t const total = descriptors->cell_count();
        std::uint32_t entry_index = 0;
        std::uint32_t slot = 0;
        bool found = false;
        for (; entry_index < total; ++entry_index) {
            Cell const& entry = descriptors->head_cell()[entry_index];
            TypeId const type = cell::type_of(entry);
            if (type == type_ids::refinement && symbol::resolve(entry.word2) == symbol) {
                found = true;
                break;
            }
            if (type == type_ids::refinement
                || (type == type_ids::typeset && argument_kind(entry) != ArgumentKind::NotFetched))
                ++slot;
        }
        if (!found) {
            Cell const name = fetch.name;
            fire_error(err::script::no_refine, &name, &*kept_element);
        }
        std::uint32_t const ordinal = descriptors->head_cell()[entry_index].word3;
        if (fetch.function_like) {
            Cell& flag = base[slot];
            if (cell::type_of(flag) == type_ids::logic && logic::get(flag)) {
                Cell const shown = site.path ? *site.path : *kept_element;
                fire_error(err::script::dup_refine, &shown);
            }
            flag = logic::make(on);
        } else if (on) {
            if (fetch.refinements[ordinal - 1] != -1) {
                Cell const shown = site.path ? *site.path : *kept_element;
                fire_error(err::script::dup_refine, &shown);
            }
            fetch.refinements[ordinal - 1] = static_cast<std::int32_t>(fetch.count);
        }
        // Its arguments: the entries that follow, up to the next refinement.
        std::uint32_t argument_slot = slot + 1;
        for (std::uint32_t i = entry_index + 1; i < descriptor_buffer(fetch.descriptors)->cell_count(); ++i) {
            Cell const entry = descriptor_buffer(fetch.descriptors)->head_cell()[i];
            if (cell::type_of(entry) != type_ids::typeset) break;
            ArgumentKind const kind = argument_kind(entry);
            if (kind == ArgumentKind::NotFetched) continue;
            if ((site.mode & call_safer) && !on) {
                if (values_left(site, position)) ++position;
                ++argument_slot;
                continue;
            }
            position = fetch_one(fetch, kind, position, argument_slot);
            if (stack::has_pending()) return position;
            if (on) {
                check_type(fetch, entry, stack::state.top[-1], argument_slot);
                if (fetch.function_like) {
                    base[argument_slot] = stack::state.top[-1];
                    stack::pop(1);
                } else {
                    ++fetch.count;
                }
            } else {
                stack::pop(1);
            }
            ++argument_slot;
        }
    }
    return position;
}

// A function's slots after its leading arguments, from `from` on: what an unused refinement gives its
// arguments (none) and itself (false). Answers the count of locals the descriptors end with. Pushes only:
// nothing allocates, so the buffer stays where it is.
std::int32_t push_unused(SeriesBuffer* descriptors, std::uint32_t from)
{
    std::int32_t locals = 0;
    for (std::uint32_t i = from; i < descriptors->cell_count(); ++i) {
        Cell const& entry = descriptors->head_cell()[i];
        switch (cell::type_of(entry)) {
        case type_ids::typeset:
            if (argument_kind(entry) != ArgumentKind::NotFetched) stack::push(none_value);
            break;
        case type_ids::refinement:
            stack::push(logic::make(false));
            break;
        case type_ids::integer:
            locals = integer::get(entry);
            break;
        default:
            break;
        }
    }
    return locals;
}

// The locals' slots, last: /local (false), then its words (none).
void push_locals(std::int32_t count)
{
    if (count <= 0) return;
    stack::push(logic::make(false));
    for (std::int32_t local = 1; local < count; ++local) stack::push(none_value);
}

// fetch_arguments for a call from code without a refinement path, whose leading entries are all evaluated
// arguments: each is read and checked; a function's later slots get what an unused refinement gives.
std::uint32_t fetch_simple(Fetch& fetch, std::uint32_t position, std::uint32_t leading)
{
    bool given = fetch.site.infix; // the first argument is already on the stack
    // Arguments read in place as fetch_one would, without its call for each (an operator's right operand
    // is read without the lookahead, so never so).
    bool const plain = !fetch.site.infix && !(fetch.site.mode & call_safer);
    std::uint32_t slot = 0;
    for (std::uint32_t i = 0; i < leading; ++i) {
        Cell const entry = descriptor_buffer(fetch.descriptors)->head_cell()[i];
        if (argument_kind(entry) == ArgumentKind::NotFetched) continue;
        if (!given) {
            if (plain && !trace::state.on) {
                std::uint32_t const after = push_plain(fetch.site.code, position);
                if (after != 0) {
                    position = after;
                } else {
                    // Not plain: the walk, without fetch_one's second look.
                    if (fetch.site.code.at_end(position)) fire_no_arg(fetch, slot);
                    position = eval_expression_deferred(fetch.site.code, position, false, true, false);
                    if (stack::has_pending()) return position;
                }
            } else {
                position = fetch_one(fetch, ArgumentKind::Evaluated, position, slot);
                if (stack::has_pending()) return position;
            }
        }
        given = false;
        check_type(fetch, entry, stack::state.top[-1], slot);
        ++fetch.count;
        ++slot;
    }
    if (fetch.function_like) fetch.locals = push_unused(descriptor_buffer(fetch.descriptors), leading);
    return position;
}

// The descriptors of a function value whose call shape is known.
inline Cell const* known_descriptors(Cell const& function)
{
    return node::buffer(function::record_cell(function, 1).word2)->head_cell();
}

// fetch_simple for a call that is not an operator, into the frame just pushed for it. The function value
// lies on the stack, which keeps it and its descriptors for the collector: their buffer is read again only
// after a walk, the one way of reading an argument that may allocate. A function's later slots get what an
// unused refinement gives, then its locals theirs. `name` is rooted by the caller.
template <bool function_like>
[[gnu::always_inline]] inline std::uint32_t fetch_leading(
    Cell const& function, Cell const& name, Code const& code, std::uint32_t position, std::uint32_t shape)
{
    std::uint32_t const leading = shape & call_shape_leading_mask;
    Cell const* entries = known_descriptors(function);
    std::uint32_t slot = 0;
    for (std::uint32_t i = 0; i < leading; ++i) {
        if (argument_kind(entries[i]) == ArgumentKind::NotFetched) continue;
        std::uint32_t const after = trace::state.on ? 0 : push_plain(code, position);
        if (after != 0) {
            position = after;
        } else {
            if (code.at_end(position)) fire_no_arg(function, name, slot);
            position = eval_expression_deferred(code, position, false, true, false);
            if (stack::has_pending()) return position;
            entries = known_descriptors(function);
        }
        TypeId const type = cell::type_of(stack::state.top[-1]);
        if (!typeset::has(entries[i], type)) [[unlikely]]
            fire_expect_arg(function, name, type, slot);
        ++slot;
    }
    if (function_like && (shape & call_shape_trailing))
        push_locals(push_unused(node::buffer(function::record_cell(function, 1).word2), leading));
    return position;
}

std::uint32_t fetch_arguments(Fetch& fetch, std::uint32_t position)
{
    CallSite const& site = fetch.site;
    std::uint32_t const mode = site.mode & (call_apply_all | call_apply_named);
    bool active = true;
    bool first = true;
    std::uint32_t slot = 0;
    std::uint32_t const total = descriptor_buffer(fetch.descriptors)->cell_count();
    for (std::uint32_t i = 0; i < total; ++i) {
        Cell const entry = descriptor_buffer(fetch.descriptors)->head_cell()[i];
        switch (cell::type_of(entry)) {
        case type_ids::typeset: {
            ArgumentKind const kind = argument_kind(entry);
            if (kind == ArgumentKind::NotFetched) break;
            if (!active) {
                if (fetch.function_like) stack::push(none_value);
                // apply/all still evaluates the arguments of a refinement that is off, and drops them;
                // with /safer they are skipped unevaluated.
                if (mode == call_apply_all && !site.path && values_left(site, position)) {
                    if (site.mode & call_safer) {
                        ++position;
                    } else {
                        position = fetch_one(fetch, kind, position, slot);
                        if (stack::has_pending()) return position;
                        stack::pop(1);
                    }
                }
                ++slot;
                break;
            }
            if (mode != call_evaluate && !values_left(site, position)) {
                stack::push(none_value);
            } else if (typeset::has(entry, type_ids::unset) && !values_left(site, position)
                && kind == ArgumentKind::Quoted) {
                stack::push(unset_value);
            } else if (!(site.infix && first)) {
                position = fetch_one(fetch, kind, position, slot);
                if (stack::has_pending()) return position;
            }
            check_type(fetch, entry, stack::state.top[-1], slot);
            first = false;
            ++fetch.count;
            ++slot;
            break;
        }
        case type_ids::refinement:
            fetch.seen_refinement = true;
            // A native or action called from code gives a refinement that is off no cell: the entries left
            // ask nothing more of it (those the path names are fetched by fetch_refinements).
            if (mode == call_evaluate && !fetch.function_like) return fetch_refinements(fetch, position);
            if (mode != call_evaluate && !site.path) {
                if (!values_left(site, position) || mode == call_apply_named) {
                    // A refinement the values do not switch on is off, with every argument it has: a
                    // function gets none! for them, a native no cells at all. (Named refinements come after.)
                    if (fetch.function_like) stack::push(logic::make(false));
                    active = false;
                } else {
                    position = eval_expression_deferred(site.code, position, false, true, false);
                    if (stack::has_pending()) return position;
                    Cell const truth = stack::state.top[-1];
                    if (cell::type_of(truth) != type_ids::logic) check_type(fetch, typeset::make(), truth, slot);
                    active = logic::get(truth);
                    if (!fetch.function_like) {
                        stack::pop(1);
                        if (active) fetch.refinements[entry.word3 - 1] = static_cast<std::int32_t>(fetch.count);
                    }
                }
            } else {
                if (fetch.function_like) stack::push(logic::make(false));
                active = false;
            }
            ++slot;
            break;
        case type_ids::integer:
            if (fetch.function_like) fetch.locals = integer::get(entry);
            break;
        default:
            break;
        }
    }
    if (stack::has_pending()) return position;
    if (!site.path && !(site.mode & call_apply_named)) return position;
    return fetch_refinements(fetch, position);
}

// The entry an action! value reaches from the evaluator. eval-path and compare take machine arguments and
// set-path has no entry: a made action! of those indexes has nothing it can be called with.
actions::Entry action_entry(std::int32_t index)
{
    actions::Entry const entry = actions::word_entry(index);
    if (!entry) fire_error(err::internal::not_done);
    return entry;
}

// Pushes the called value, the cell its result replaces. A push that overflows raises before any cell is
// written, so the value is copied after, as one block (its type was read apart for the dispatch).
[[gnu::always_inline]] inline Cell* push_function(Cell const& function)
{
    Cell* const slot = stack::push_cell();
    std::memcpy(static_cast<void*>(slot), &function, sizeof(Cell));
    return slot;
}

// The refinement positions of a call that uses none.
constexpr std::array<std::int32_t, max_native_refinements> no_refinements = [] {
    std::array<std::int32_t, max_native_refinements> positions {};
    positions.fill(-1);
    return positions;
}();

// Runs a native or action whose arguments are in its frame.
[[gnu::always_inline]] inline void run_built_in(Cell const& function, std::int32_t const* refinements)
{
    std::int32_t const index = static_cast<std::int32_t>(function.word1) + 1;
    if (cell::type_of(function) == type_ids::native) {
        natives::Entry const entry = natives::entry(index);
        if (!entry) fire_error(err::internal::not_done);
        entry(refinements);
    } else {
        action_entry(index)(refinements);
    }
}

// Puts the trace switch back as the call found it, however the body ends.
class TraceRestore {
public:
    TraceRestore()
        : m_saved(trace::state.on)
    {
    }
    ~TraceRestore() { trace::state.on = m_saved; }
    TraceRestore(TraceRestore const&) = delete;
    TraceRestore& operator=(TraceRestore const&) = delete;

private:
    bool m_saved;
};

// Makes the top frame the function's: its cells become the context's values, it is the one a return or
// exit aims at, and a library body marks it. Answers the frame.
[[gnu::always_inline]] inline CallFrame* open_body_frame(Cell const& function, Cell const& body)
{
    CallFrame* const frame = stack::top_frame();
    context::set_stack_values(function::context_of(function), stack::state.base);
    stack::set_top_frame_bit28(true);
    if (node::buffer(body.word2)->flags & series_flags::library) stack::flag_top_frame_library();
    return frame;
}

// Walks a function's body in its frame. A return or exit aimed at this call ends here, its value in the
// frame's base; any other transfer goes on to its target, thrown or pending (the answer is then false). A
// return from the user's block that a library function runs lands below this call (the stacks are cut to
// its target), and goes on too.
// `in_call_frame`: tracing off and not quieted, the body needs no block frame of its own.
[[gnu::always_inline]] inline bool walk_body(Cell const& body, CallFrame* frame, bool in_call_frame)
{
    try {
        if (in_call_frame)
            eval_body_deferred(body);
        else
            eval_block_deferred(body, true);
        if (!stack::has_pending()) return true;
        bool const ours = stack::state.frame_top == frame + 1;
        if (!ours || (stack::state.pending != UnwindCode::Return && stack::state.pending != UnwindCode::Exit))
            return false;
        stack::clear_pending();
    } catch (Unwind const& unwind) {
        bool const ours = stack::state.frame_top == frame + 1;
        if (!ours || (unwind.code != UnwindCode::Return && unwind.code != UnwindCode::Exit)) throw;
    }
    stack::land(frame);
    stack::keep_first();
    return true;
}

// Runs an interpreted body with the frame's cells as the function's context values.
void run_body(Cell const& function, Cell const& given_body)
{
    Rooted body(given_body);
    CallFrame* const frame = open_body_frame(function, *body);
    trace::LibraryScope const quiet((node::buffer(body->word2)->flags & series_flags::library) != 0);
    TraceRestore const restore;
    if (function.header & function::no_trace_flag)
        trace::state.on = false;
    else if (function.header & function::trace_flag)
        trace::state.on = trace::state.requested_on;
    if (trace::state.on) trace::event(trace::prolog, &*body, 0, &function, nullptr);
    if (!walk_body(*body, frame, false)) return;
    if (trace::state.on) trace::event(trace::epilog, &*body, 0, &function, nullptr);
}

// A call's result, its frame popped, takes the place of the function value (or of the left operand) at
// `slot`: the new top cell, or the caller's statement result.
void place_result(Cell* slot, Cell const& result, bool pushed)
{
    *slot = result;
    if (pushed)
        stack::cut_to(slot + 1);
    else
        stack::set_only_result(*slot);
}

// run_body for a function without trace attributes, with tracing off and not quieted: no event can be sent,
// the trace state is only put back as it was, and the body's walk sets the library state itself.
void run_body_untraced(Cell const& function, Cell const& body)
{
    CallFrame* const frame = open_body_frame(function, body);
    TraceRestore const restore;
    walk_body(body, frame, true);
}

// A native or action called as an operator from code with tracing off, whose arguments are all evaluated
// (call_shape_simple): call_by_type's work for it, without what such a call never needs. The left operand,
// already on the stack, is the first argument; the others are read without the lookahead.
[[gnu::noinline]] std::uint32_t call_operator_simple(Cell const& given, CallSite const& site, std::uint32_t leading)
{
    Rooted function(given);
    Rooted name_cell(name_or_anonymous(site.name));
    Cell* const slot = stack::state.top - 1;
    stack::cut_to(slot);
    stack::push_native_frame_eval(*name_cell);
    stack::take_back(1);
    std::uint32_t position = site.position;
    bool given_operand = true;
    std::uint32_t slot_index = 0;
    for (std::uint32_t i = 0; i < leading; ++i) {
        if (argument_kind(known_descriptors(*function)[i]) == ArgumentKind::NotFetched) continue;
        if (!given_operand) {
            if (site.code.at_end(position)) fire_no_arg(*function, *name_cell, slot_index);
            position = eval_expression_deferred(site.code, position, true, true, false);
            if (stack::has_pending()) return position;
        }
        given_operand = false;
        TypeId const type = cell::type_of(stack::state.top[-1]);
        if (!typeset::has(known_descriptors(*function)[i], type)) [[unlikely]]
            fire_expect_arg(*function, *name_cell, type, slot_index);
        ++slot_index;
    }
    run_built_in(*function, no_refinements.data());
    if (stack::has_pending()) return position;
    Cell* const result = stack::state.base;
    stack::pop_frame_keep();
    place_result(slot, *result, site.pushed);
    return position;
}

// A native, action or function! called by name from code with tracing off and no refinement path, whose
// leading arguments are all evaluated (call_shape_simple): call_by_type's work for it, without what such a
// call never needs. The called value stays in the cell the result replaces, where the stack keeps it (and so
// its descriptors) for the collector.
template <bool FunctionLike>
[[gnu::always_inline]] inline std::uint32_t call_simple(Cell const& given, CallSite const& site, std::uint32_t shape)
{
    Cell* const slot = push_function(given);
    Rooted name_cell(name_or_anonymous(site.name));
    if constexpr (FunctionLike)
        stack::push_call_frame_eval(*name_cell, function::context_of(*slot));
    else
        stack::push_native_frame_eval(*name_cell);
    std::uint32_t const position = fetch_leading<FunctionLike>(*slot, *name_cell, site.code, site.position, shape);
    if (stack::has_pending()) return position;
    if constexpr (FunctionLike) {
        Cell const body = function::record_cell(*slot, function::body_cell);
        if (cell::type_of(body) != type_ids::block)
            stack::set_only_result(unset_value);
        else if (!trace::state.on && !trace::state.quieted && !(slot->header & function::attribute_flags_mask))
            run_body_untraced(*slot, body);
        else
            run_body(*slot, body);
    } else {
        run_built_in(*slot, no_refinements.data());
    }
    if (stack::has_pending()) return position;
    Cell* const result = stack::state.base;
    if constexpr (FunctionLike)
        stack::pop_frame_keep_restore();
    else
        stack::pop_frame_keep();
    place_result(slot, *result, site.pushed);
    // A body may have turned tracing on for good; the tracer then hears of the return as it would have.
    if (FunctionLike && trace::state.on)
        trace::event(
            trace::return_, &site.code.series, static_cast<std::int32_t>(position), &*name_cell, stack::state.top - 1);
    return position;
}

// Any call: tracing on, a refinement path, apply's modes, a routine, a function as an operator, or
// arguments that are not all evaluated.
[[gnu::noinline]] std::uint32_t call_general(Cell const& given, CallSite const& site)
{
    TypeId const type = cell::type_of(given);
    Rooted function(given);
    Rooted name_cell(name_or_anonymous(site.name));
    Cell const& name = *name_cell;
    if (trace::state.on) {
        if (site.infix) stack::take_back(1);
        trace::event(trace::open, &site.code.series, static_cast<std::int32_t>(site.position), nullptr, &name);
        if (site.infix) stack::pop(1);
    }
    Cell* const slot = site.infix ? stack::state.top - 1 : stack::state.top;
    if (!site.infix) stack::push(*function);
    NodeId shape_node = no_node;
    std::uint32_t const shape = call_shape(*function, shape_node);
    RootedNode descriptor_node(shape_node);
    // A call from code whose leading arguments are all evaluated, without a refinement path: one tight loop.
    std::uint32_t const simple_leading = site.mode == call_evaluate && !site.path && (shape & call_shape_simple)
        ? (shape & call_shape_leading_mask) + 1
        : 0;
    auto fetch_all = [&](Fetch& fetch, std::uint32_t position) {
        return simple_leading ? fetch_simple(fetch, position, simple_leading - 1) : fetch_arguments(fetch, position);
    };

    Fetch fetch { *function, name, site, *descriptor_node, !is_native_like(type) };
    if (!fetch.function_like) {
        // A native's descriptors end with its refinement count: only those positions are ever read.
        SeriesBuffer* const descriptors = descriptor_buffer(*descriptor_node);
        Cell const* const last = descriptors->tail_cell() - 1;
        std::int32_t const count
            = descriptors->cell_count() > 0 && cell::type_of(*last) == type_ids::integer ? integer::get(*last) : 0;
        for (std::int32_t i = 0; i < count; ++i) fetch.refinements[i] = -1;
    }

    std::uint32_t position = site.position;
    if (site.infix) {
        // The left operand becomes the new frame's first argument.
        stack::cut_to(slot);
    }
    if (is_native_like(type)) {
        stack::push_native_frame_eval(name);
        if (site.infix) stack::take_back(1);
        position = fetch_all(fetch, position);
        if (stack::has_pending()) return position;
        if (trace::state.on)
            trace::event(trace::call, &site.code.series, static_cast<std::int32_t>(position), &name, &*function);
        run_built_in(*function, fetch.refinements);
    } else if (type == type_ids::function) {
        stack::push_call_frame_eval(name, function::context_of(*function));
        if (site.infix) stack::take_back(1);
        position = fetch_all(fetch, position);
        if (stack::has_pending()) return position;
        if (trace::state.on)
            trace::event(trace::call, &site.code.series, static_cast<std::int32_t>(position), &name, &*function);
        push_locals(fetch.locals);
        Cell const body = function::record_cell(*function, function::body_cell);
        if (cell::type_of(body) == type_ids::block) {
            run_body(*function, body);
        } else {
            stack::set_only_result(unset_value);
        }
    } else {
        stack::push_native_frame_eval(name);
        if (site.infix) stack::take_back(1);
        position = fetch_all(fetch, position);
        if (stack::has_pending()) return position;
        if (trace::state.on)
            trace::event(trace::call, &site.code.series, static_cast<std::int32_t>(position), &name, &*function);
        routines::call(*function);
    }

    // A transfer made by the call itself (return, break ...) has already cut the stacks to its target.
    if (stack::has_pending()) return position;

    // The result takes the place of the function value (or of the left operand).
    Cell* const result = stack::state.base;
    if (type == type_ids::function)
        stack::pop_frame_keep_restore();
    else
        stack::pop_frame_keep();
    place_result(slot, *result, site.pushed);
    if (trace::state.on)
        trace::event(
            trace::return_, &site.code.series, static_cast<std::int32_t>(position), &name, stack::state.top - 1);
    return position;
}

}

std::uint32_t call_by_type(Cell const& given, CallSite const& site)
{
    TypeId const type = cell::type_of(given);
    bool const native_like = is_native_like(type);
    if (!trace::state.on && site.mode == call_evaluate && !site.path
        && (native_like || (type == type_ids::function && !site.infix))) {
        // A shape not yet known is built by the general path, at the first call.
        Cell const& cached = function::record_cell(given, 1);
        std::uint32_t const shape = cell::type_of(cached) == type_ids::block ? cached.word3 : 0;
        if (shape & call_shape_simple) {
            if (!native_like) return call_simple<true>(given, site, shape);
            if (site.infix) return call_operator_simple(given, site, shape & call_shape_leading_mask);
            return call_simple<false>(given, site, shape);
        }
    }
    return call_general(given, site);
}

void call_pushed(Cell const& given, Cell const& given_name)
{
    Rooted function(given);
    Rooted name(given_name);
    RootedNode descriptor_node(descriptors(*function).word2);
    Cell* const slot = stack::state.top - 2;
    stack::cut_to(slot);
    stack::push_native_frame_eval(*name);
    stack::take_back(2);
    Code const no_code { *function, 0 };
    CallSite const site { no_code, 0, nullptr, 0, &*name, nullptr, call_evaluate, true, true };
    Fetch fetch { *function, *name, site, *descriptor_node, false };
    for (std::int32_t& position : fetch.refinements) position = -1;
    std::uint32_t checked = 0;
    for (std::uint32_t i = 0; i < descriptor_buffer(*descriptor_node)->cell_count() && checked < 2; ++i) {
        Cell const entry = descriptor_buffer(*descriptor_node)->head_cell()[i];
        if (cell::type_of(entry) != type_ids::typeset || argument_kind(entry) == ArgumentKind::NotFetched) continue;
        check_type(fetch, entry, stack::state.base[checked], checked);
        ++checked;
    }
    run_built_in(*function, fetch.refinements);
    if (stack::has_pending()) stack::rethrow_pending();
    Cell* const result = stack::state.base;
    stack::pop_frame_keep();
    *slot = *result;
    stack::cut_to(slot + 1);
}

void call_function(Cell const& given, NodeId, Cell const&, std::uint32_t event_mask)
{
    Rooted function(given);
    bool const saved_trace = trace::state.on;
    if (trace::state.on && event_mask != 0 && (event_mask & trace::state.mask) == 0) trace::state.on = false;
    // Callers push what they know; the slots they did not push are filled as an unused refinement would be:
    // false for a refinement, none! for an argument or a local.
    NodeId const descriptor_node = descriptors(*function).word2;
    std::uint32_t slot = 0;
    auto fill = [&](Cell const& value) {
        if (static_cast<std::uint32_t>(stack::state.top - stack::state.base) <= slot) stack::push(value);
        ++slot;
    };
    for (std::uint32_t i = 0; i < descriptor_buffer(descriptor_node)->cell_count(); ++i) {
        Cell const entry = descriptor_buffer(descriptor_node)->head_cell()[i];
        switch (cell::type_of(entry)) {
        case type_ids::typeset:
            if (argument_kind(entry) != ArgumentKind::NotFetched) fill(none_value);
            break;
        case type_ids::refinement:
            fill(logic::make(false));
            break;
        case type_ids::integer: // the locals: /local, then its words
            fill(logic::make(false));
            for (std::int32_t local = 1; local < integer::get(entry); ++local) fill(none_value);
            break;
        default:
            break;
        }
    }
    Cell const body = function::record_cell(*function, function::body_cell);
    if (cell::type_of(body) == type_ids::block) {
        run_body(*function, body);
    } else {
        stack::set_only_result(unset_value);
    }
    trace::state.on = saved_trace;
    if (stack::has_pending()) stack::rethrow_pending();
}

}
