// The value stack, the frame stack and the unwinding of non-local exits.

#include "runtime/stack.h"

#include <algorithm>
#include <optional>

#include "runtime/assert.h"
#include "runtime/cycles.h"
#include "runtime/hashtable.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/quit.h"
#include "runtime/services.h"

namespace xol {

namespace stack {

StackState StateStore::s_state;

// This file's own access to the state, for the operations it keeps out of line.
struct StateWriter {
    static constexpr StackState& state = StateStore::s_state;
};

namespace {

constexpr StackState& writable = StateWriter::state;

std::uint32_t frame_position(CallFrame const* frame)
{
    return static_cast<std::uint32_t>(frame - state.frame_bottom);
}

Cell* value_limit()
{
    return state.bottom + value_capacity;
}
CallFrame* frame_limit()
{
    return state.frame_bottom + frame_capacity;
}

// The first cell an overflow may give up: the own base of the innermost frame that stops errors, where
// the error lands. The cells below belong to the frames that outlive the unwinding (their arguments,
// results and locals). With no such frame the error ends the run, and every cell is the unwinding's.
Cell* first_unwound_cell()
{
    for (CallFrame const* frame = state.frame_top - 1; frame >= state.frame_bottom; --frame)
        if (frame->kind() == FrameKind::Try || frame->kind() == FrameKind::Barrier) return cell_at(frame->own_base);
    return state.bottom;
}

// `from` is the top as the failed push left it. Making the error and pushing it takes room on both
// stacks, even when the frames it unwinds own no cell at all (parens push frames only): up to five of
// the unwound cells are given up, and the reserves past both limits open until the error is made. An
// overflow inside the reserve (a tracer that hears of the first one and recurses) starts again from
// below the limit, so that the whole reserve is there for its error; one that keeps overflowing while its
// error is made ends the run.
[[noreturn]] void overflow(Cell* from)
{
    if (++writable.overflows_raising > 8) runtime::quit(runtime::status_stack_overflow, runtime::here());
    Cell* const floor = std::min(from, first_unwound_cell());
    Cell* top = from - floor > 5 ? from - 5 : floor;
    if (top >= value_limit()) top = std::max(value_limit() - 1, floor);
    writable.top = top;
    writable.limit = value_limit() + value_reserve;
    writable.frame_limit = frame_limit() + frame_reserve - state.frameless;
    cycles::reset();
    fire_error(err::internal::stack_overflow);
}

// Once an error is made and the stacks are back within their limits, the reserves close again.
void close_reserves()
{
    writable.overflows_raising = 0;
    if (state.top <= value_limit() && state.frame_top <= frame_limit()) {
        writable.limit = value_limit();
        writable.frame_limit = frame_limit() - state.frameless;
    }
}

// A function frame's context gets back the value word it had before the call.
void restore_context(CallFrame const& frame)
{
    if (frame.function_context == no_node) return;
    node::buffer(frame.function_context)->cells()[0].word2 = frame.function_values;
}

std::uint32_t context_values(NodeId context)
{
    return context == no_node ? 0 : node::buffer(context)->cells()[0].word2;
}

CallFrame* push_frame_record(Cell const& word, std::uint32_t header, NodeId function_context)
{
    if (state.frame_top >= state.frame_limit) [[unlikely]]
        overflow(state.top);
    CallFrame* frame = writable.frame_top++;
    *frame = CallFrame {
        .header = header,
        .symbol = word.word2,
        .saved_base = index_of(state.base),
        .own_base = index_of(state.top),
        .word_context = word.word1,
        .function_context = function_context,
        .function_values = context_values(function_context),
        .cycle_depth = cycles::depth(),
    };
    writable.base = state.top;
    return frame;
}

constexpr std::uint32_t kind_bits(FrameKind kind)
{
    return static_cast<std::uint32_t>(kind) << 24;
}

void pop_frame(bool restore)
{
    CallFrame const& frame = *--writable.frame_top;
    if (restore) restore_context(frame);
    writable.base = cell_at(frame.saved_base);
}

// Puts the stacks back as they were before a walk that found no target, and raises.
[[noreturn]] void raise_from(StackMark const& where, ErrorId id, Cell const* argument = nullptr)
{
    return_to(where);
    fire_error(id, argument);
}

// Leaves `target` as the top frame with its own base as the arguments base and an empty argument list.
void land_on(CallFrame* target)
{
    for (CallFrame* frame = state.frame_top - 1; frame > target; --frame) restore_context(*frame);
    writable.frame_top = target + 1;
    writable.base = cell_at(target->own_base);
    writable.top = state.base;
}

[[noreturn]] void unwind(UnwindCode code)
{
    writable.thrown_code = code;
    throw Unwind { code };
}

}

void init()
{
    StackState fresh;
    // Tracked-heap series: the collector neither moves nor frees them, so frames may keep addresses.
    fresh.value_node = series::alloc_on_heap(value_capacity + value_reserve, sizeof(Cell));
    fresh.frame_node = series::alloc_on_heap(std::uint64_t { frame_capacity + frame_reserve } * sizeof(CallFrame), 1);
    fresh.bottom = fresh.top = fresh.base = node::buffer(fresh.value_node)->cells();
    fresh.limit = fresh.bottom + value_capacity;
    fresh.frame_bottom = fresh.frame_top = reinterpret_cast<CallFrame*>(node::buffer(fresh.frame_node)->data());
    fresh.frame_limit = fresh.frame_bottom + frame_capacity;
    writable = fresh;
}

void set_internal_symbols(SymbolId body, SymbolId anonymous, SymbolId not_found)
{
    writable.body_symbol = body;
    writable.anonymous_symbol = anonymous;
    writable.not_found_symbol = not_found;
}

CallFrame* push_frame(Cell const& word, std::uint32_t header)
{
    return push_frame_record(word, header, no_node);
}

CallFrame* push_call_frame(Cell const& word, NodeId function_context)
{
    return push_frame_record(word, kind_bits(FrameKind::FunctionCall), function_context);
}

CallFrame* push_call_frame_eval(Cell const& word, NodeId function_context)
{
    return push_frame_record(word, kind_bits(FrameKind::FunctionCall) | CallFrame::evaluator_flag, function_context);
}

CallFrame* push_native_frame(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::NativeCall));
}

CallFrame* push_native_frame_eval(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::NativeCall) | CallFrame::evaluator_flag);
}

// The compiled function's arguments, already pushed, become its context's values.
CallFrame* push_compiled_frame(Cell const& word, NodeId function_context)
{
    if (function_context != no_node) node::buffer(function_context)->cells()[0].word2 = index_of(state.base);
    return push_frame(word, kind_bits(FrameKind::NativeCall) | CallFrame::function_flag);
}

CallFrame* push_try_frame(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::Try));
}
CallFrame* push_barrier_frame(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::Barrier));
}
CallFrame* push_catch_frame(Cell const& word, std::int32_t names_position)
{
    std::uint32_t const names_slot = names_position < 0 ? 0 : static_cast<std::uint32_t>(names_position) + 1;
    XOL_ASSERT(names_slot <= CallFrame::catch_names_mask, "a catch's names lie among its arguments");
    return push_frame(word, kind_bits(FrameKind::Catch) | names_slot);
}

CallFrame* push_block_frame(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::Block) | CallFrame::evaluator_flag);
}

CallFrame* push_loop_frame(Cell const& word)
{
    return push_frame(word, kind_bits(FrameKind::Loop));
}

void flag_top_frame()
{
    top_frame()->header |= CallFrame::evaluator_flag;
}

bool flag_caller_frame()
{
    if (state.frame_top - state.frame_bottom < 2) return false;
    CallFrame* caller = state.frame_top - 2;
    if (caller->is_function()) return false;
    caller->header |= CallFrame::function_flag;
    return true;
}

void clear_frame_bit28(CallFrame* frame)
{
    frame->header &= ~CallFrame::function_flag;
}

bool has_flagged_frame(CallFrame* from, bool only_one)
{
    CallFrame* frame = from ? from : state.frame_top;
    if (only_one) return frame - 1 >= state.frame_bottom && (frame - 1)->is_from_evaluator();
    while (--frame >= state.frame_bottom)
        if (frame->is_from_evaluator()) return true;
    return false;
}

void overflow_on_push()
{
    overflow(state.top);
}

void pop(std::uint32_t count)
{
    writable.top = static_cast<std::uint32_t>(state.top - state.bottom) > count ? state.top - count : state.bottom;
}

Cell* top()
{
    return state.top > state.bottom ? state.top - 1 : state.bottom;
}

void reset_to_last()
{
    if (state.top > state.bottom && cell::type_of(state.top[-1]) == type_ids::error) *state.base = state.top[-1];
    writable.top = state.base + 1;
}

void pop_frame_keep()
{
    Cell* result = state.base;
    pop_frame(false);
    writable.top = result + 1;
}

void pop_frame_return()
{
    Cell* result = state.base;
    pop_frame(false);
    *state.base = *result;
    writable.top = result + 1;
}

void pop_frame_empty()
{
    pop_frame(false);
    writable.top = state.base;
}

void pop_frame_keep_restore()
{
    Cell* result = state.base;
    pop_frame(true);
    writable.top = result + 1;
}

void pop_frame_return_restore()
{
    Cell* result = state.base;
    pop_frame(true);
    *state.base = *result;
    writable.top = result + 1;
}

void pop_frame_empty_restore()
{
    pop_frame(true);
    writable.top = state.base;
}

void pop_one_frame()
{
    CallFrame const& frame = *--writable.frame_top;
    if (frame.kind() == FrameKind::FunctionCall) restore_context(frame);
    if (!has_frames()) {
        writable.base = writable.top = state.bottom;
    } else {
        writable.top = state.base;
        writable.base = cell_at(frame.saved_base);
    }
}

void unroll_to_kind(FrameKind kind, bool keep)
{
    CallFrame* const start = state.frame_top;
    CallFrame* reached;
    do {
        reached = --writable.frame_top;
        if (reached->kind() == FrameKind::FunctionCall) restore_context(*reached);
    } while (reached != state.frame_bottom && reached->kind() != kind && reached->kind() != FrameKind::Barrier);
    if (keep) ++writable.frame_top;

    if (state.frame_top == start) {
        writable.top = state.base + 1;
    } else if (state.frame_top == state.frame_bottom) {
        writable.base = writable.top = state.bottom;
    } else {
        writable.top = state.base + 1;
        writable.base = cell_at(keep ? reached->own_base : reached->saved_base);
    }
    if (!keep) ++writable.frame_top;
}

void unroll_last(FrameKind kind)
{
    Cell const result = *state.base;
    unroll_to_kind(kind, false);
    CallFrame* found = top_frame();
    Cell* own = cell_at(found->own_base);
    *own = result;
    writable.base = own;
    writable.top = own;
}

void throw_error()
{
    writable.pending = UnwindCode::None; // an error supersedes any transfer still on its way
    Cell& error = errors::current();
    bool const had_frames = has_frames();
    if (had_frames) {
        if (!services.error_has_where(error)) services.set_error_where(error, caller_word());
        if (!services.error_has_stack_block(error))
            services.set_error_stack_position(error, frame_position(state.frame_top));
    }
    bool caught = false;
    bool leaves_user_code = false;
    for (CallFrame* frame = state.frame_top - 1; frame >= state.frame_bottom && !caught; --frame) {
        leaves_user_code = leaves_user_code || (frame->header & CallFrame::trace_floor_flag) != 0;
        caught = frame->kind() == FrameKind::Try || frame->kind() == FrameKind::Barrier;
    }
    // An error that leaves the user's code for the console's catch keeps the user's calls as they stand at
    // the raise, as an error nothing catches shows them.
    if (caught && leaves_user_code && had_frames) services.keep_error_stack(error);
    if (!caught) {
        // Printed while the frames still stand, so that the report can name the calls that led here.
        *push_cell() = error;
        services.print_error(error);
        runtime::end(errors::uncaught_status());
    }
    // The error lands above every cell that stood, all of them the unwound frames' own, and the catcher
    // takes it from there.
    Cell* const remembered_top = state.top;
    unroll_to_kind(FrameKind::Try, false);
    pop_frame(false);
    writable.top = remembered_top;
    *push_cell() = error;
    close_reserves();
    unwind(UnwindCode::Error);
}

namespace {

// Finds the nearest loop frame (no barrier in between), cuts the stacks back to it with the loop's result in
// its base cell, and answers the code; raises the throw error when there is no such loop.
UnwindCode land_break(bool with_value, bool is_continue)
{
    StackMark const snapshot = mark();
    ErrorId const error = is_continue ? err::throw_::continue_ : err::throw_::break_;
    for (CallFrame* frame = state.frame_top - 1; frame >= state.frame_bottom; --frame) {
        if (frame->kind() == FrameKind::Barrier) raise_from(snapshot, error);
        if (frame->kind() == FrameKind::Loop) {
            Cell const result = with_value && !is_continue ? *snapshot.base : cell::make(type_ids::unset);
            land_on(frame);
            *state.base = result;
            return is_continue ? UnwindCode::Continue : UnwindCode::Break;
        }
    }
    raise_from(snapshot, error);
}

// The same for exit and return: the nearest function frame, its result the value or unset!. The innermost
// block or function frame tells whose code the return is written in: in the user's code it passes the
// function frames of the library's code, as it would pass compiled code.
UnwindCode land_exit(bool with_value)
{
    StackMark const snapshot = mark();
    std::optional<bool> from_library;
    for (CallFrame* frame = state.frame_top - 2; frame >= state.frame_bottom; --frame) {
        if (frame->kind() == FrameKind::Barrier) raise_from(snapshot, err::throw_::return_);
        if (!from_library && (frame->kind() == FrameKind::Block || frame->is_function()))
            from_library = frame->runs_library();
        if (frame->is_function() && (*from_library || !frame->runs_library())) {
            Cell const result = with_value ? *snapshot.base : cell::make(type_ids::unset);
            land_on(frame);
            *state.base = result;
            return with_value ? UnwindCode::Return : UnwindCode::Exit;
        }
    }
    raise_from(snapshot, err::throw_::return_);
}

}

void unroll_break(bool with_value, bool is_continue)
{
    unwind(land_break(with_value, is_continue));
}

void unroll_exit(bool with_value)
{
    unwind(land_exit(with_value));
}

void defer_break(bool with_value, bool is_continue)
{
    writable.pending = land_break(with_value, is_continue);
}

void defer_exit(bool with_value)
{
    writable.pending = land_exit(with_value);
}

void rethrow_pending()
{
    UnwindCode const code = state.pending;
    writable.pending = UnwindCode::None;
    unwind(code);
}

namespace {

// Whether the catch of this frame takes a throw of that name (unset! for an unnamed throw). A named catch
// that would refuse it is passed over, so that a throw no catch takes is raised where it was thrown, inside
// any try around that place.
bool catch_takes(CallFrame const& frame, Cell const& name)
{
    std::uint32_t const names_slot = frame.header & CallFrame::catch_names_mask;
    if (names_slot == 0) return true;
    return services.catch_takes(state.bottom[frame.saved_base + names_slot - 1], name);
}

}

void unroll_throw(UnwindCode code)
{
    StackMark const snapshot = mark();
    Cell const value = snapshot.base[0];
    Cell const name = snapshot.top > snapshot.base + 1 ? snapshot.base[1] : cell::make(type_ids::unset);
    if (!state.throw_mark) writable.throw_mark = state.frame_top - 1;
    for (CallFrame* frame = state.frame_top - 2; frame >= state.frame_bottom; --frame) {
        if (frame->kind() == FrameKind::Barrier) raise_from(snapshot, err::throw_::throw_, &value);
        if (frame->kind() == FrameKind::Catch && catch_takes(*frame, name)) {
            land_on(frame);
            *push_cell() = value;
            *push_cell() = name;
            unwind(code);
        }
    }
    raise_from(snapshot, err::throw_::throw_, &value);
}

void for_each_node(void (*visit)(NodeId&))
{
    visit(writable.value_node);
    visit(writable.frame_node);
}

void land(CallFrame const* frame)
{
    if (frame->cycle_depth < cycles::depth()) cycles::restore(frame->cycle_depth);
}

void clear_throw_mark()
{
    writable.throw_mark = nullptr;
}

void restore_thrown_code(UnwindCode code)
{
    writable.thrown_code = code;
}

namespace {

constexpr std::uint32_t unresolved_slot = 0xFFFF'FFFF;

// A frame keeps the called word's symbol and context only: its slot is found again through the context's
// word index (case-blind, as the word was bound). The entry's word 3 is the slot, which a case variant in
// the global context shares with the first spelling. Allocates nothing.
std::uint32_t slot_in(NodeId context, SymbolId symbol)
{
    if (context == no_node) return unresolved_slot;
    Cell const& head = node::buffer(context)->head_cell()[0];
    if (cell::type_of(head) != type_ids::context || head.word1 == no_node) return unresolved_slot;
    std::int32_t const position = hashtable::put_index(head.word1, symbol, true);
    if (position < 0) return unresolved_slot;
    return node::buffer(hashtable::key_series(head.word1))->head_cell()[position].word3;
}

}

Cell caller_word()
{
    CallFrame* from = state.throw_mark ? state.throw_mark : state.frame_top;
    writable.throw_mark = nullptr;
    for (CallFrame* frame = from - 1; frame >= state.frame_bottom; --frame) {
        // Internal frames, and frames pushed for no word at all, name nothing.
        if (frame->symbol == 0 || frame->symbol == state.body_symbol || frame->symbol == state.anonymous_symbol)
            continue;
        std::uint32_t const slot = slot_in(frame->word_context, frame->symbol);
        return cell::make(type_ids::word, frame->word_context, frame->symbol, slot);
    }
    return cell::make(type_ids::word, no_node, state.not_found_symbol, unresolved_slot);
}

}

namespace errors {

namespace {

struct ErrorsState {
    Cell current = cell::make(type_ids::unset);
    int uncaught_status = 254; // -2 as the OS reports it
} state;

}

Cell& current()
{
    return state.current;
}
void set_uncaught_status(int status)
{
    state.uncaught_status = status;
}
int uncaught_status()
{
    return state.uncaught_status;
}

}

}
