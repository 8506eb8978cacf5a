// The natives that select and evaluate code: switch, case, do, reduce and compose.

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "interpreter/natives/stepped_block.h"
#include "interpreter/trace.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

namespace {

Cell const& cell_at(Cell const& series, std::uint32_t index)
{
    return series::buffer_of(series)->head_cell()[index];
}

// A value that is not a block, evaluated as one expression: it becomes the only cell of a block of its
// own so that the evaluator reads it as code. The value lands in the current arguments base. May allocate.
void evaluate_one(Cell const& value)
{
    Rooted kept(value);
    Rooted code_block(none_value);
    block::make_at(*code_block, 1);
    block::rs_append(*code_block, *kept);
    interp::Code const code { *code_block, 1 };
    interp::eval_next(code, 0, false);
}

// Where reduce and compose put their values: a block of their own, or an /into target that is appended
// to at its tail or inserted into at its position (the position then moves past each inserted value).
// The cell lives on the value stack, above the native's arguments.
struct Output {
    Cell* series;
    bool fresh;
    bool appending;

    // Without `only` a block! value adds its cells; any other value is added as one. `value` must not lie
    // in a series buffer. May allocate.
    void add(Cell const& value, bool only) const
    {
        bool const splice = !only && cell::type_of(value) == type_ids::block;
        if (fresh) {
            if (splice)
                block::append_cells(*series, value);
            else
                block::rs_append(*series, value);
            return;
        }
        TypeId const type = cell::type_of(*series);
        auto const insert = datatype::is_registered(type) ? datatype::actions(type).insert : nullptr;
        if (!insert) fire_error(err::internal::not_done);
        Cell const after = insert(*series, value, -1, !splice, 1, appending);
        if (!appending) *series = after;
    }
};

// The output on the value stack: the /into target, else a new block with room for `room` cells.
// May allocate.
Output make_output(Cell const* into, std::uint32_t room)
{
    if (into) return Output { stack::push(*into), false, series::rs_tail_q(*into) };
    return Output { block::push_new(static_cast<std::int32_t>(std::min<std::uint32_t>(room, 0x7FFF'FFFF))), true,
        true };
}

// The result of reduce and compose with /into when appending: the target at its own index.
Cell output_result(Output const& output, Cell const* into)
{
    return into && output.appending ? *into : *output.series;
}

// ---- do ---------------------------------------------------------------------------------------------

// The preprocessor's expand over the block or paren in the arguments base, with no job and the macros and
// words of earlier expansions kept. It changes the block in place and answers it at the same index, and
// that answer takes the base's place. May allocate.
void expand_block()
{
    Rooted code(stack::state.base[0]);
    Rooted owner_name(word::make_global("preprocessor"));
    Cell const owner = *word::get_value(*owner_name);
    if (cell::type_of(owner) != type_ids::object) fire_error(err::script::no_value, &*owner_name);
    Rooted name(word::make_global("expand"));
    std::int32_t const slot = context::find_word(object::context_of(owner), word::symbol_of(*name), true);
    if (slot < 0) fire_error(err::script::no_value, &*name);
    Cell const expander = *context::values_at(object::context_of(owner), static_cast<std::uint32_t>(slot));
    if (cell::type_of(expander) != type_ids::function) fire_error(err::script::no_value, &*name);
    Rooted function(expander);
    stack::push_call_frame(*name, function::context_of(*function));
    stack::push(*code);
    stack::push(none_value);
    interp::call_function(*function, context::global(), *name, 0);
    stack::pop_frame_return_restore();
}

// A block, paren or hash! from its index (clamped to the tail): all of it, or with /next one expression,
// the position word then set to the block just past it; with /expand its directives and macros expanded
// first. May allocate.
void do_block(std::int32_t const* refinements)
{
    if (refinements[0] >= 0 && cell::type_of(stack::state.base[0]) != type_ids::hash) expand_block();
    Cell* const base = stack::state.base;
    std::uint32_t const length = series::rs_total_length(base[0]);
    if (base[0].word1 > length) base[0].word1 = length;
    if (refinements[2] < 0) {
        interp::eval_block(base[0], true);
        stack::keep_first();
        return;
    }
    Rooted code(base[0]);
    Rooted word(*refinement_argument(refinements[2]));
    SteppedBlock const steps(*code);
    std::uint32_t const after = interp::eval_next_at(*code);
    stack::keep_first();
    steps.done(stack::state.base);
    Rooted position(*code);
    position->word1 = after;
    word::set(*word, *position);
}

// A script from a file or URL runs through the library's do-file, with the /trace callback (or none) and
// the /args value (or none); its result lands in the arguments base. May allocate.
void do_script(std::int32_t const* refinements)
{
    Rooted script(stack::state.base[0]);
    Rooted callback(refinements[3] >= 0 ? *refinement_argument(refinements[3]) : none_value);
    Rooted args(refinements[1] >= 0 ? *refinement_argument(refinements[1]) : none_value);
    Rooted name(word::make_global("do-file"));
    Cell const runner = *word::get_value(*name);
    if (cell::type_of(runner) != type_ids::function) fire_error(err::script::no_value, &*name);
    Rooted function(runner);
    stack::push_call_frame(*name, function::context_of(*function));
    stack::push(*script);
    stack::push(*callback);
    stack::push(*args);
    interp::call_function(*function, context::global(), *name, 0);
    stack::pop_frame_return_restore();
    stack::keep_first();
}

// Evaluates the value by its datatype; the value lands in the arguments base. May allocate.
void do_value(std::int32_t const* refinements)
{
    Cell* const base = stack::state.base;
    switch (cell::type_of(base[0])) {
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        do_block(refinements);
        return;
    case type_ids::path:
        interp::eval_path_alone(base[0], interp::PathMode::Evaluate, false);
        stack::set_only_result(stack::state.top[-1]);
        return;
    case type_ids::string: {
        Cell const loaded = lexer::load_all(base[0]);
        base[0] = loaded;
        do_block(refinements);
        return;
    }
    case type_ids::file:
    case type_ids::url:
        do_script(refinements);
        return;
    case type_ids::error:
        errors::current() = base[0];
        stack::throw_error();
    default:
        evaluate_one(base[0]);
        stack::keep_first();
        return;
    }
}

// ---- compose ----------------------------------------------------------------------------------------

// Adds the composed cells of `source` (a block on the value stack or rooted) to the output. May allocate.
void compose_into(Cell const& source, Output const& output, bool deep, bool only)
{
    for (std::uint32_t i = series::index_of(source); i < series::rs_total_length(source); ++i) {
        Rooted item(cell_at(source, i));
        switch (cell::type_of(*item)) {
        case type_ids::block: {
            NodeId const node = item->word2;
            // A block met inside itself is kept as it is: composing it would never end.
            if (!deep || cycles::find(node)) {
                output.add(*item, true);
                break;
            }
            Rooted nested(none_value);
            block::make_at(*nested, static_cast<std::int32_t>(std::max<std::uint32_t>(series::length_of(*item), 1)));
            cycles::push(item->word2);
            compose_into(*item, Output { &*nested, true, true }, deep, only);
            cycles::pop();
            nested->header |= item->header & cell::new_line_flag;
            output.add(*nested, true);
            break;
        }
        case type_ids::paren: {
            if (series::length_of(*item) == 0) break;
            interp::eval_block(*item, false);
            Rooted value(stack::state.top[-1]);
            stack::pop(1);
            if (cell::type_of(*value) == type_ids::unset) break;
            output.add(*value, only);
            break;
        }
        default:
            output.add(*item, true);
            break;
        }
    }
}

}

void switch_(std::int32_t const* refinements)
{
    Cell* const base = stack::state.base;
    TypeId const type = cell::type_of(base[0]);
    Cell const& cases = base[1];
    std::uint32_t found = series::rs_total_length(cases);
    if (type != type_ids::block) {
        for (std::uint32_t i = series::index_of(cases); i < series::rs_total_length(cases); ++i) {
            Cell const candidate = cell_at(cases, i);
            if (cell::type_of(candidate) != type) continue;
            if (actions::compare(base[0], candidate, CompareOp::Equal)) {
                found = i;
                break;
            }
        }
    }
    if (found < series::rs_total_length(cases)) {
        for (std::uint32_t i = found + 1; i < series::rs_total_length(cases); ++i) {
            Cell const body = cell_at(cases, i);
            if (cell::type_of(body) != type_ids::block) continue;
            interp::eval_block(body, true);
            stack::keep_first();
            return;
        }
        stack::set_only_result(none_value);
        return;
    }
    if (Cell const* fallback = refinement_argument(refinements[0])) {
        Cell const body = *fallback;
        interp::eval_block(body, true);
        stack::keep_first();
        return;
    }
    stack::set_only_result(none_value);
}

void case_(std::int32_t const* refinements)
{
    bool const all = refinements[0] >= 0;
    Cell* const base = stack::state.base;
    if (series::length_of(base[0]) == 0) {
        stack::set_only_result(none_value);
        return;
    }
    // The conditions and values are evaluated into the frame's base, above the block's own cell.
    Cell* const code_cell = stack::push(base[0]);
    stack::push_native_frame(words::word_of(words::Word::anon));
    SteppedBlock const steps(*code_cell);
    interp::Code const code { *code_cell, series::rs_total_length(*code_cell) };
    auto const at_end = [&](std::uint32_t position) {
        return position >= code.end || position >= series::rs_total_length(*code_cell);
    };
    Rooted outcome(none_value);
    std::uint32_t position = series::index_of(*code_cell);
    while (!at_end(position)) {
        position = interp::eval_next(code, position, false);
        stack::keep_first();
        if (at_end(position)) fire_error(err::script::need_value, &words::word_of(words::Word::case_));
        Cell const condition = *stack::state.base;
        if (cell::type_of(condition) == type_ids::unset) fire_error(err::script::no_return);
        if (!logic::true_q(condition)) {
            // Only the value's first cell is skipped, unevaluated.
            ++position;
            *outcome = none_value;
            continue;
        }
        Cell const next = cell_at(*code_cell, position);
        if (cell::type_of(next) == type_ids::block) {
            interp::eval_block(next, true);
            ++position;
        } else {
            position = interp::eval_next(code, position, false);
        }
        stack::keep_first();
        *outcome = *stack::state.base;
        if (!all) break;
    }
    steps.done(&*outcome);
    stack::pop_frame_empty();
    stack::set_only_result(*outcome);
}

void do_(std::int32_t const* refinements)
{
    Cell const* tracer = refinement_argument(refinements[3]);
    // A do/trace inside a traced evaluation runs untraced by its own tracer: the first tracer stays.
    bool const tracing = tracer && trace::start(*tracer);
    // Unwinds of every kind pass on: each has its target below this native's frame (the callers here
    // are evaluated code, which acts on them), and a trace ends on the way out.
    if (!tracing) {
        do_value(refinements);
        return;
    }
    try {
        do_value(refinements);
    } catch (Unwind const& unwind) {
        // A break, continue, return or exit that landed carries its value in its target's base cell, which
        // is then the top: it is kept below the top while the tracer hears the end.
        bool const landed = unwind.code == UnwindCode::Break || unwind.code == UnwindCode::Continue
            || unwind.code == UnwindCode::Return || unwind.code == UnwindCode::Exit;
        Cell* const top = stack::state.top;
        if (landed && top == stack::state.base) stack::take_back(1);
        trace::finish();
        stack::cut_to(top);
        throw;
    }
    trace::finish();
}

void reduce(std::int32_t const* refinements)
{
    Cell* const base = stack::state.base;
    Cell const* into = refinement_argument(refinements[0]);
    if (cell::type_of(base[0]) != type_ids::block) {
        if (!type_ids::is_function(cell::type_of(base[0]))) evaluate_one(base[0]);
        if (!into) {
            stack::keep_first();
            return;
        }
        Output const output = make_output(into, 1);
        cell::clear_new_line(base[0]);
        output.add(base[0], true);
        stack::set_only_result(output_result(output, into));
        return;
    }
    Output const output = make_output(into, series::length_of(base[0]));
    stack::push_native_frame(words::word_of(words::Word::body));
    SteppedBlock const steps(base[0]);
    interp::Code const code { base[0], series::rs_total_length(base[0]) };
    std::uint32_t position = series::index_of(base[0]);
    while (position < code.end && position < series::rs_total_length(base[0])) {
        position = interp::eval_next(code, position, true);
        Cell* const value = stack::state.top - 1;
        cell::clear_new_line(*value);
        output.add(*value, true);
        stack::drop_arguments();
    }
    steps.done(output.series);
    stack::pop_frame_empty();
    stack::set_only_result(output_result(output, into));
}

void compose(std::int32_t const* refinements)
{
    Cell* const base = stack::state.base;
    if (cell::type_of(base[0]) != type_ids::block) {
        Cell const expected = datatype::make(type_ids::block);
        Cell const given = datatype::make(cell::type_of(base[0]));
        fire_error(err::script::expect_val, &expected, &given);
    }
    bool const deep = refinements[0] >= 0;
    bool const only = refinements[1] >= 0;
    Cell const* into = refinement_argument(refinements[2]);
    Output const output = make_output(into, series::length_of(base[0]));
    cycles::push(base[0].word2);
    compose_into(base[0], output, deep, only);
    cycles::pop();
    stack::set_only_result(into ? *into : *output.series);
}

}
