// The value stack and the frame stack, through which every call passes. Arguments and results are cells
// on the value stack; the arguments base of the current call is also its result slot. Each active call or
// protected region has a frame; non-local exits (errors, break, continue, return, exit, throw) cut both
// stacks back to their target frame and then unwind the C++ stack with an `Unwind` carrying their code.
// Invariant: bottom <= base <= top < limit on the value stack; every frame's saved base is at or below the
// base of the frame above it. Both stacks live in tracked-heap memory: they never move.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/errors.h"

namespace xol {

using SymbolId = std::uint32_t;

enum class FrameKind : std::uint32_t {
    FunctionCall = 1, // a function value's call: the frame restores its context's value pointer
    NativeCall = 2, // a native, action or word call; a compiled function's body (with function_flag)
    Try = 4, // try, attempt: a raised error stops here
    Barrier = 5, // try/all and the catch-all regions: no break, continue, return, exit or throw crosses it
    Catch = 6, // catch: the target of throw
    Block = 7, // a block evaluated by the evaluator
    Loop = 8, // the loop natives: the target of break and continue
};

struct CallFrame {
    // Bits 24-27 the kind; bit 28 a function frame (the target of exit and return); bit 29 the console's trace
    // floor; bit 30 the frame runs the library's code (a library block, or a library function's body); bit 31
    // pushed by the evaluator.
    std::uint32_t header;
    SymbolId symbol; // the called word's symbol: the word itself for calls, "<body>" for internal regions
    std::uint32_t saved_base; // the caller's arguments base, as a value-stack index
    std::uint32_t own_base; // this call's arguments base, as a value-stack index
    NodeId word_context; // the called word's context; no_node when none
    NodeId function_context; // function calls only: the function's context
    std::uint32_t function_values; // function calls only: that context's value word when the frame was pushed
    std::uint32_t cycle_depth; // the cycle guard's depth at the push, put back when an unwinding lands here

    FrameKind kind() const { return static_cast<FrameKind>((header >> 24) & 0xF); }
    bool is_function() const { return (header & function_flag) != 0; }
    bool is_from_evaluator() const { return (header & evaluator_flag) != 0; }
    bool runs_library() const { return (header & library_flag) != 0; }

    // Catch frames: bits 0-23 hold one more than the offset of the catch's names from its arguments base;
    // 0 for a catch without names.
    static constexpr std::uint32_t catch_names_mask = 0x00FFFFFF;
    static constexpr std::uint32_t function_flag = 0x10000000;
    // The frame that evaluates the user's code on behalf of the console: traces and call lists name only
    // the frames above it, never the console's own.
    static constexpr std::uint32_t trace_floor_flag = 0x20000000;
    static constexpr std::uint32_t library_flag = 0x40000000;
    static constexpr std::uint32_t evaluator_flag = 0x80000000;
};

namespace stack {

inline constexpr std::uint32_t value_capacity = 20'000;
inline constexpr std::uint32_t frame_capacity = 12'000;
// Room beyond each limit that only the raise of an overflow opens, for making and pushing its error.
inline constexpr std::uint32_t value_reserve = 256;
inline constexpr std::uint32_t frame_reserve = 64;

struct StackState {
    Cell* bottom = nullptr;
    Cell* top = nullptr; // the next free cell
    Cell* limit = nullptr; // a push whose new top reaches it overflows; past the reserve while one is open
    Cell* base = nullptr; // the current call's first argument and result
    CallFrame* frame_bottom = nullptr;
    CallFrame* frame_top = nullptr; // the next free frame
    // Past the reserve while one is open; one lower for each walk that stands for a frame (see enter_frameless).
    CallFrame* frame_limit = nullptr;
    CallFrame* throw_mark = nullptr; // set by the first unwinding of a throw, cleared by caller_word
    UnwindCode thrown_code = UnwindCode::Error; // the code of the last unwinding
    // A break, continue, return or exit whose stacks are already cut to its target and which travels back
    // to it by ordinary returns rather than by a C++ exception (see defer_break).
    UnwindCode pending = UnwindCode::None;
    // Frames with these symbols are internal: never named in traces nor as an error's place.
    SymbolId body_symbol = 0;
    SymbolId anonymous_symbol = 0;
    SymbolId not_found_symbol = 0;
    NodeId value_node = no_node; // the series that hold the stacks, kept through the root block
    NodeId frame_node = no_node;
    std::uint32_t overflows_raising = 0; // overflows raised since an error last landed
    // The walks under way that stand for a frame without pushing one (see enter_frameless).
    std::uint32_t frameless = 0;
};

// Where the stacks stand: taken before work whose frames and cells are all given up afterwards.
struct StackMark {
    Cell* base;
    Cell* top;
    CallFrame* frame_top;
};

// The one stack state. Every layer reads it through `state`; it changes only in runtime/stack.cpp and in the
// operations below that this class names its friends, so each way the stacks move has one name and one body.
class StateStore {
    static StackState s_state;
    friend struct StateWriter; // runtime/stack.cpp
    friend Cell* push_cell();
    friend void keep_first();
    friend void drop_arguments();
    friend void cut_to(Cell*);
    friend void take_back(std::uint32_t);
    friend void return_to(StackMark const&);
    friend void clear_pending();
    friend void raise_base();
    friend void lower_base(Cell*);
    friend void lower_base_keep(Cell*);
    friend void enter_frameless();
    friend void leave_frameless();

public:
    // A reference fixed at compile time: a read is one load from the object itself, as the evaluator needs.
    static constexpr StackState const& readable = s_state;
};

inline constexpr StackState const& state = StateStore::readable;

void init();
// The symbols of the internal frames (see StackState), known once the runtime words exist.
void set_internal_symbols(SymbolId body, SymbolId anonymous, SymbolId not_found);

inline std::uint32_t index_of(Cell const* cell)
{
    return static_cast<std::uint32_t>(cell - state.bottom);
}
inline Cell* cell_at(std::uint32_t index)
{
    return state.bottom + index;
}
inline bool has_frames()
{
    return state.frame_top != state.frame_bottom;
}
inline CallFrame* top_frame()
{
    return state.frame_top - 1;
}

// Frame pushes: each takes the called word (its symbol and context go into the frame) and makes the
// arguments base the value top, so that cells pushed afterwards are the new call's arguments. A push
// past the last frame raises internal stack-overflow.
CallFrame* push_frame(Cell const& word, std::uint32_t header);
CallFrame* push_call_frame(Cell const& word, NodeId function_context);
CallFrame* push_call_frame_eval(Cell const& word, NodeId function_context);
CallFrame* push_native_frame(Cell const& word);
CallFrame* push_native_frame_eval(Cell const& word);
CallFrame* push_compiled_frame(Cell const& word, NodeId function_context);
CallFrame* push_try_frame(Cell const& word);
CallFrame* push_barrier_frame(Cell const& word);
// A catch frame keeps where its names stand: `names_position` is their offset from the arguments base of the
// catch being made (the current base), or -1 for a catch that takes every throw.
CallFrame* push_catch_frame(Cell const& word, std::int32_t names_position = -1);
CallFrame* push_block_frame(Cell const& word);
CallFrame* push_loop_frame(Cell const& word);

inline void set_top_frame_bit28(bool on)
{
    CallFrame* frame = top_frame();
    frame->header = on ? frame->header | CallFrame::function_flag : frame->header & ~CallFrame::function_flag;
}
void flag_top_frame();
// Marks the top frame as running the library's code: a return or exit written there lands on the nearest
// function frame, one written in the user's code passes the frames of library functions (attempt, say),
// which run the user's blocks as compiled code would, without being their function.
inline void flag_top_frame_library()
{
    top_frame()->header |= CallFrame::library_flag;
}
bool flag_caller_frame(); // true when it set bit 28 on the frame below the top one
void clear_frame_bit28(CallFrame*);
bool has_flagged_frame(CallFrame* from, bool only_one);

// Cell operations. A push that reaches the limit raises internal stack-overflow.
[[noreturn]] void overflow_on_push();
inline Cell* push_cell()
{
    Cell* cell = StateStore::s_state.top++;
    if (state.top >= state.limit) [[unlikely]]
        overflow_on_push();
    return cell;
}
inline Cell* push(Cell const& value)
{
    Cell const copy = value; // an overflow moves the top: copy before reserving
    Cell* cell = push_cell();
    *cell = copy;
    return cell;
}
void pop(std::uint32_t count); // never below the bottom
Cell* top();

// The current call's result is its base cell. These write it, or cut the cells above it.
// The result becomes `value`; the cells above it stay.
inline void set_last(Cell const& value)
{
    *state.base = value;
}
// The result cell alone stays: the arguments and whatever was pushed above them go.
inline void keep_first()
{
    StateStore::s_state.top = state.base + 1;
}
// The result becomes `value`, and it alone stays.
inline void set_only_result(Cell const& value)
{
    *state.base = value;
    keep_first();
}
// Nothing of the current call stays, the base cell included: the next push lands there.
inline void drop_arguments()
{
    StateStore::s_state.top = state.base;
}
// The top goes back to `mark`, a top taken earlier (or a cell of the current call's own): every cell from
// `mark` up is given up.
inline void cut_to(Cell* mark)
{
    StateStore::s_state.top = mark;
}
// The `count` cells just above the top count again, as they are: cells set aside a moment ago (a
// left operand that the next frame takes as its first argument), never fresh ones, which `push` makes.
inline void take_back(std::uint32_t count)
{
    StateStore::s_state.top += count;
}
// A function body walked in its call frame, without a block frame: the base moves up to the top, above the
// arguments and locals the context's values are, so that the statements' values land where a block
// frame's base would be (the frames pushed meanwhile keep the same saved bases).
inline void raise_base()
{
    StateStore::s_state.base = state.top;
}
// The body's value goes down to `own`, the frame's own base the body began from, and alone stays there.
inline void lower_base(Cell* own)
{
    *own = *state.base;
    StateStore::s_state.base = own;
    StateStore::s_state.top = own + 1;
}
// The same for a paren walked without a frame of its own whose value is pushed: it stays where the base was,
// the new top cell, and `own` is the base again.
inline void lower_base_keep(Cell* own)
{
    StateStore::s_state.top = state.base + 1;
    StateStore::s_state.base = own;
}
// A walk that stands for a frame it does not push (a function body in its call frame, a paren) counts as one
// towards the frame limit while it runs, so that the stacks overflow where they did with the frame, and the
// machine stack is no deeper then. Raises internal stack-overflow where the frame's push would have.
inline void enter_frameless()
{
    if (state.frame_top >= state.frame_limit) [[unlikely]]
        overflow_on_push();
    --StateStore::s_state.frame_limit;
    ++StateStore::s_state.frameless;
}
inline void leave_frameless()
{
    ++StateStore::s_state.frame_limit;
    --StateStore::s_state.frameless;
}
// The error a try lands on becomes its result: from the top cell when it holds one; the result alone stays.
void reset_to_last();

inline StackMark mark()
{
    return { state.base, state.top, state.frame_top };
}
// The stacks as `where` found them: the frames pushed since are given up as they are (no context is put
// back), the caller's arguments base and top restored.
inline void return_to(StackMark const& where)
{
    StateStore::s_state.base = where.base;
    StateStore::s_state.top = where.top;
    StateStore::s_state.frame_top = where.frame_top;
}

// Frame pops: the restore variants first put a function frame's context value word back.
void pop_frame_keep();
void pop_frame_return();
void pop_frame_empty();
void pop_frame_keep_restore();
void pop_frame_return_restore();
void pop_frame_empty_restore();
void pop_one_frame();
void unroll_to_kind(FrameKind, bool keep);
void unroll_last(FrameKind);
inline void unroll_loop(bool keep)
{
    unroll_to_kind(FrameKind::Loop, keep);
}

// Non-local exits. None returns: each cuts the stacks back to its target and unwinds with its code,
// or raises the throw-category error when no target can be reached.
[[noreturn]] void throw_error();
[[noreturn]] void unroll_break(bool with_value, bool is_continue);
[[noreturn]] void unroll_exit(bool with_value);
[[noreturn]] void unroll_throw(UnwindCode);

// The same transfers made without a C++ exception: the stacks are cut to the target exactly as above and the
// code is left in `state.pending` for the evaluator's own callers to return through, which is far cheaper
// than unwinding the machine stack. Only code that checks `state.pending` after every evaluation may make
// them (the evaluator, and the natives the evaluator calls directly); whatever evaluates through the
// ordinary entries gets the exception instead. Failures raise as above.
void defer_break(bool with_value, bool is_continue);
void defer_exit(bool with_value);
// Turns a pending transfer into the C++ exception that carries it on. The pending code must be set.
[[noreturn]] void rethrow_pending();
inline bool has_pending()
{
    return state.pending != UnwindCode::None;
}
// The pending transfer has reached its target, which takes it.
inline void clear_pending()
{
    StateStore::s_state.pending = UnwindCode::None;
}

// Receivers: a C++ catch that stops an unwinding calls this once it has taken it. It puts the cycle guard
// back where it was when `frame` was pushed.
void land(CallFrame const* frame);
// A catch that takes a throw: the mark it left for naming the throw's place is stale from then on.
void clear_throw_mark();
// Code that runs while an unwinding travels (a tracer hearing of it) puts its code back afterwards.
void restore_thrown_code(UnwindCode);

// The word of the nearest frame that is not internal (a word! cell bound in that frame's context), or the
// word "<not-found>". Starts at the throw mark when one is set, and clears it.
Cell caller_word();

// The collector's visit of the nodes that hold the stacks: it may give either of them a new node id (the buffers,
// and so every address into them, stay where they are).
void for_each_node(void (*visit)(NodeId&));

template <typename Visit> void for_each_frame(Visit&& visit)
{
    for (CallFrame* frame = state.frame_bottom; frame < state.frame_top; ++frame) visit(*frame);
}

}

namespace errors {

// The error value in flight, as the error! datatype made it. Rooted.
Cell& current();

// How the process ends when nothing catches an error: 254 (-2), or 1 while a script named on the
// command line runs.
void set_uncaught_status(int status);
int uncaught_status();

}

}
