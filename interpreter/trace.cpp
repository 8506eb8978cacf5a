// Trace events: the sender that calls the tracer function, the tracer's event mask, and the start and end
// of a do/trace. The tracer runs with tracing off, so its own evaluation is never reported.

#include "interpreter/trace.h"

#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::trace {

TraceState state;

namespace {

struct EventWord {
    Event event;
    words::Word word;
};

// The word each event is reported with; the tracer's event block names events by these words.
constexpr EventWord event_words[] = {
    { init, words::Word::init },
    { end, words::Word::end },
    { prolog, words::Word::prolog },
    { epilog, words::Word::epilog },
    { enter, words::Word::enter },
    { exit, words::Word::exit },
    { open, words::Word::open },
    { return_, words::Word::return_ },
    { fetch, words::Word::fetch },
    { push, words::Word::push },
    { set, words::Word::set },
    { call, words::Word::call },
    { error, words::Word::error },
    { throw_, words::Word::throw_event },
    { catch_, words::Word::catch_ },
    { expr, words::Word::expr },
};

Cell const& word_of_event(Event event)
{
    for (EventWord const& entry : event_words)
        if (entry.event == event) return words::word_of(entry.word);
    return words::word_of(words::Word::anon);
}

// The event a word names (case-blind), or 0.
std::uint32_t event_named(Cell const& word)
{
    SymbolId const symbol = symbol::resolve(word.word2);
    for (EventWord const& entry : event_words)
        if (symbol::resolve(words::word_of(entry.word).word2) == symbol) return entry.event;
    return 0;
}

// The offset of a position in the code: -1 unless the code is a cell series and the position lies
// between its head and its tail.
std::int32_t offset_in(Cell const* code, std::int32_t position)
{
    if (!code || position < 0 || !series::is_cell_series(cell::type_of(*code))) return -1;
    return static_cast<std::uint32_t>(position) <= series::rs_total_length(*code) ? position : -1;
}

void reset()
{
    state.on = false;
    state.requested = false;
    state.requested_on = false;
    state.quieted = false;
    state.muted = false;
    state.mask = 0;
    state.extra_cells = 0;
    state.tracer = none_value;
}

// Calls the tracer with the six arguments of one event. The stacks, the trace flag, the evaluator's
// position, the error in flight and the pending unwind code are as they were afterwards; an unwind out
// of the tracer passes on, with the trace flag put back.
void send(Event event, Cell const* code, std::int32_t position, Cell const* reference, Cell const* value)
{
    // Off first: an error while the arguments are pushed (a full stack) must not be reported in turn.
    bool const was_on = state.on;
    state.on = false;

    // Copies before anything is pushed: the given cells may lie just above the top.
    Cell const code_value = code ? *code : none_value;
    std::int32_t const offset = offset_in(code, position);
    Cell const value_copy = value && cell::type_of(*value) != 0 ? *value : none_value;
    Cell const reference_copy = reference ? *reference : none_value;

    stack::StackMark const saved = stack::mark();
    Rooted tracer(state.tracer);
    Rooted position_cell(interp::state.current_position);
    Rooted error_cell(errors::current());
    UnwindCode const pending = stack::state.thrown_code;
    Cell const& name = words::word_of(words::Word::interp_callback);

    try {
        // The cell at the top stays out of the tracer's way: a sender may report it and still need it.
        // Any other content there may be stale (naming a freed node), and a reserved cell is marked.
        Cell* const reserved = stack::push_cell();
        if (value != reserved && reference != reserved) *reserved = none_value;
        stack::push_call_frame(name, function::context_of(*tracer));
        stack::push(word_of_event(event));
        stack::push(code_value);
        stack::push(integer::make(offset));
        stack::push(value_copy);
        stack::push(reference_copy);
        stack::push(pair::make(static_cast<std::int32_t>(stack::index_of(saved.base)),
            static_cast<std::int32_t>(stack::index_of(saved.top))));
        if (state.extra_cells > 0) {
            stack::push(false_value);
            for (std::int32_t i = 1; i < state.extra_cells; ++i) stack::push(none_value);
        }
        interp::call_function(*tracer, context::global(), name, 0);
    } catch (Unwind const&) {
        state.on = was_on;
        throw;
    }

    state.on = was_on;
    if (stack::state.frame_top > saved.frame_top) stack::pop_frame_empty_restore();
    stack::return_to(saved);
    interp::state.current_position = *position_cell;
    errors::current() = *error_cell;
    stack::restore_thrown_code(pending);
}

}

void root_tracer()
{
    reset();
    gc::add_root(&state.tracer);
}

void report_error(Cell const& error)
{
    if (state.on) event(trace::error, nullptr, -1, nullptr, &error);
}

void event(Event event, Cell const* code, std::int32_t position, Cell const* reference, Cell const* value)
{
    if (cell::type_of(state.tracer) != type_ids::function || (state.mask & event) == 0 || state.muted) return;
    send(event, code, position, reference, value);
}

void set_delivery(bool on)
{
    if (state.requested) state.muted = !on;
}

std::uint32_t mask_of(Cell const& tracer)
{
    if (cell::type_of(tracer) != type_ids::function) return default_mask;
    Cell const& body = function::record_cell(tracer, function::body_cell);
    if (cell::type_of(body) != type_ids::block || series::length_of(body) == 0) return default_mask;
    Cell const& first = series::buffer_of(body)->head_cell()[series::index_of(body)];
    if (cell::type_of(first) != type_ids::block || series::length_of(first) == 0) return default_mask;
    std::uint32_t mask = 0;
    SeriesBuffer* const events = series::buffer_of(first);
    for (std::uint32_t i = series::index_of(first); i < events->length(); ++i) {
        Cell const& item = events->head_cell()[i];
        if (cell::type_of(item) == type_ids::word) mask |= event_named(item);
    }
    return mask;
}

bool start(Cell const& tracer)
{
    if (state.requested) return false;
    state.tracer = tracer;
    state.extra_cells = cell::type_of(tracer) == type_ids::function
        ? function::count_locals(function::spec_node(tracer), 0, false)
        : 0;
    state.mask = mask_of(tracer);
    state.on = true;
    state.requested = true;
    state.requested_on = true;
    try {
        event(init, nullptr, -1, nullptr, nullptr);
    } catch (Unwind const&) {
        reset();
        throw;
    }
    return true;
}

void finish()
{
    // The state is cleared however the end event goes: a tracer that fails there leaves no trace behind.
    struct Clear {
        ~Clear() { reset(); }
    } const clear;
    UnwindCode const pending = stack::state.thrown_code;
    event(end, nullptr, -1, nullptr, nullptr);
    stack::restore_thrown_code(pending);
}

}
