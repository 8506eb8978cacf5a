// The evaluator: walks a block (or paren) expression by expression, resolving words and paths, assigning
// through set-words and set-paths, calling functions and applying infix operators strictly left to right.
//
// Results live on the value stack: an expression's value is either pushed as a new cell (an argument being
// fetched) or stored in the current arguments base, with the top cut to base + 1 (a statement's result).
// Positions are cell indexes into the evaluated series, never addresses: the series may grow, shrink or be
// moved by the collector while its own code runs, so every read goes through its node and stops at the
// live tail.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xol::interp {

// What one walk reads: the series value being evaluated (its node, rooted by whoever made the walk) and
// the index past which nothing is read.
struct Code {
    Cell const& series;
    std::uint32_t end;

    // The series may have shrunk since the walk began: nothing past its live tail is read.
    bool at_end(std::uint32_t position) const
    {
        return position >= end || position >= node::buffer(series.word2)->cell_count();
    }
    // Valid until the next call that may allocate.
    Cell const& at(std::uint32_t position) const { return node::buffer(series.word2)->head_cell()[position]; }
    // The cell at the position, or nullptr at the end: one look at the buffer for both.
    Cell const* peek(std::uint32_t position) const
    {
        if (position >= end) return nullptr;
        SeriesBuffer* buffer = node::buffer(series.word2);
        return position < buffer->cell_count() ? buffer->head_cell() + position : nullptr;
    }
};

// The evaluator's process-wide state. The current position cell names the block (and index) of the
// expression about to run: errors take their "near" field from it. Rooted.
struct EvaluatorState {
    Cell current_position = cell::make(type_ids::unset);
    std::uint32_t depth = 0; // nested C++ evaluations, bounded so the machine stack cannot overflow
    // Advanced at every block walk, the one door through which code runs (function bodies, parens, blocks;
    // a native runs only when an expression of a walked block calls it): while it stays the same, no code
    // has run (see analysed_body.h).
    std::uint64_t runs = 0;
};

extern EvaluatorState state;

// Starts the evaluator: roots its cells. Start-up calls it once, after the natives and actions are
// registered.
void init();

// ---- What the layers below call in the evaluator (entries of the services record) ----

// Evaluates the block as eval_block does and drops its value: the datatypes run spec blocks so. May allocate.
void eval_block_dropped(Cell const& block);
// Calls a lexer callback as the word <lexer-callback> with the `count` argument cells at `arguments` (on the
// value stack) and answers its result; the arguments go back as the callback left them (it may move the
// input's index). May allocate, may raise.
Cell call_lexer_callback(Cell const& callback, Cell* arguments, std::uint32_t count);
// The body block of a function! or routine!, none! for anything else.
Cell callback_body(Cell const& callback);

// Evaluates every expression of the block or paren from its index to its tail in a block frame named
// <body>. With `return_result` the value lands in the caller's arguments base (the top is cut to base + 1);
// else it is left pushed as one new cell on top. An empty block gives unset!. May allocate.
void eval_block(Cell const& block, bool return_result);

// Evaluates one expression at `position` of `code` in a <body> frame; the value is pushed (`pushed`) or
// stored in the arguments base. Answers the position after the expression. May allocate.
std::uint32_t eval_next(Code const& code, std::uint32_t position, bool pushed);

// The same walks for the natives that hand the evaluator's results straight back (if, either, the loops,
// function bodies): a break, continue, return or exit aimed past the block may come back pending in
// stack::state.pending, the stacks already cut to its target, instead of as a C++ exception. The caller
// takes what is aimed at it and returns at once, untouched, with anything else.
void eval_block_deferred(Cell const& block, bool return_result);
std::uint32_t eval_expression_deferred(
    Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive);
// eval_block_deferred for a native whose arguments are done with once the block is chosen (if, either): the
// block runs in the native's own frame, its value left in the frame's base. May allocate.
void eval_branch_deferred(Cell const& block);
// eval_block_deferred(block, true) for a function body, with tracing off and not quieted as the call
// begins: the body runs in the call frame, whose base cell gets its value. May allocate.
void eval_body_deferred(Cell const& block);

// One expression from the series' index, its value stored in the arguments base; answers the index after
// it. At the tail: unset! and the index unchanged. May allocate.
std::uint32_t eval_next_at(Cell const& series);

// Evaluates one expression; answers the position after it. `prefix` suppresses the infix lookahead (an
// operator's right operand), `pushed` pushes the value instead of storing it in the base, `passive` takes
// a function value met literally as a value instead of calling it. May allocate.
std::uint32_t eval_expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive);

// Pushes the value of the expression at `position`, infix lookahead included, when reading it runs no
// code and cannot fail (a plain operand and the integer operators that follow it, as a set-word's value is
// read), and answers the position after it; answers 0, with nothing pushed, when the expression needs the
// walk. Tracing must be off: the walk's events are not sent. Allocates nothing, except that a push past the
// stack's limit raises internal stack-overflow as the walk's would.
std::uint32_t push_plain(Code const& code, std::uint32_t position);

// The function an op! wraps, as a value of the wrapped type.
Cell unwrap_op(Cell const& op_value);

// Path modes.
enum class PathMode : std::uint8_t { Evaluate, Get, Set };

// Evaluates a path value (the series of `code` and `position` say where it stands in the code, for a
// function call's arguments; position is code.end when the path stands alone). In Set mode the new value
// is the arguments base cell. Answers the position after the path (after a called function's arguments).
// A function it calls may leave a transfer pending, as eval_expression_deferred does. May allocate.
std::uint32_t eval_path(
    Cell const& path, Code const& code, std::uint32_t position, PathMode mode, bool pushed, bool case_sensitive);

// A path read or write outside code (get, set): the value is pushed (read) or the base cell is assigned
// (write; the new value is the base cell). May allocate.
void eval_path_alone(Cell const& path, PathMode mode, bool case_sensitive);

}
