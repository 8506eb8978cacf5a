// The evaluator: blocks, expressions, words, set-words, paths and the infix lookahead.

#include "interpreter/evaluator.h"

#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/op.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/calls.h"
#include "interpreter/fast_paths.h"
#include "interpreter/trace.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::interp {

EvaluatorState state;

namespace {

// The evaluator's own walks: a break, continue, return or exit made without an exception may come back
// out of them pending (stack::state.pending), the stacks already cut to its target. Each returns at once
// when it sees one; the public entries turn what is still pending into the exception.
void run_block(Cell const& block, bool return_result);
std::uint32_t expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive);
std::uint32_t infix_tail(Code const& code, std::uint32_t position, Cell* operand);

Cell const& body_word()
{
    return words::word_of(words::Word::body);
}

// Puts the current position back when a block's evaluation ends, however it ends: an error caught further
// out names its own code, and the expression that continues is named again by the block it stands in.
class PositionGuard {
public:
    PositionGuard()
        : m_saved(state.current_position)
    {
    }
    ~PositionGuard() { state.current_position = *m_saved; }
    PositionGuard(PositionGuard const&) = delete;
    PositionGuard& operator=(PositionGuard const&) = delete;

private:
    Rooted m_saved;
};

// Pops the top frame, its result stored as the caller's statement result (the top cut to base + 1).
void pop_frame_into_base()
{
    stack::pop_frame_return();
    stack::keep_first();
}

// Pops the top frame keeping its result as the caller's new top cell, or storing it in the caller's base.
void pop_frame_for(bool pushed)
{
    if (pushed)
        stack::pop_frame_keep();
    else
        pop_frame_into_base();
}

bool at_end(Code const& code, std::uint32_t position)
{
    return code.at_end(position);
}

Cell const& cell_at(Code const& code, std::uint32_t position)
{
    return code.at(position);
}

// The value of an expression: pushed as a new cell, or stored as the statement's result.
[[gnu::always_inline]] inline void produce(Cell const& value, bool pushed)
{
    if (pushed) {
        stack::push(value);
    } else {
        stack::set_only_result(value);
    }
}

void send(trace::Event event, Code const& code, std::uint32_t position, Cell const* reference, Cell const* value)
{
    trace::event(event, &code.series, static_cast<std::int32_t>(position), reference, value);
}

// The value a word names in the infix lookahead, or nullptr: only a bound word whose context has values
// can name an operator there, and looking never raises.
[[gnu::always_inline]] inline Cell const* peek_value(Cell const& word)
{
    if (word.word1 == no_node || word.word3 == word::unresolved) return nullptr;
    if (!context::has_values(word.word1)) return nullptr;
    return word::get_value(word);
}

// How deep plain operands may nest parens: one level, so that a paren found not to be plain has cost one
// short scan (it is looked at again when the lookahead meets it), and one that holds itself is never plain.
constexpr std::uint32_t plain_depth = 1;

bool plain_integer(Cell const& operand, Cell& out, std::uint32_t depth);

// Whether the cell is a word that names an operator (as the infix lookahead sees it).
bool is_op_word(Cell const* cell)
{
    if (!cell || cell::type_of(*cell) != type_ids::word) return false;
    Cell const* value = peek_value(*cell);
    return value && cell::type_of(*value) == type_ids::op;
}

// Applies, left to right, the operators from `position` on while `left` (the running value) is an
// integer!, the operator has a fast integer case and its right operand is a plain integer; answers the
// position of the first operator it did not apply. Runs no code and allocates nothing, so it needs no
// frame: nothing in it can fail or be traced.
std::uint32_t fold_integers(Code const& code, std::uint32_t position, Cell& left, std::uint32_t depth)
{
    while (cell::type_of(left) == type_ids::integer) {
        Cell const* next = code.peek(position);
        if (!next || cell::type_of(*next) != type_ids::word) break;
        Cell const* op_value = peek_value(*next);
        if (!op_value || cell::type_of(*op_value) != type_ids::op) break;
        Cell const* right_cell = code.peek(position + 1);
        Cell right;
        if (!right_cell || !plain_integer(*right_cell, right, depth)) break;
        if (!fast::apply_integers(*op_value, left, right)) break;
        position += 2;
    }
    return position;
}

// The integer an operand stands for when reading it runs no code and cannot fail: an integer! literal, a
// word that holds an integer!, or a paren whose whole content is one such operand followed by operators
// fold_integers applies. False when the operand needs the full evaluation.
bool plain_integer(Cell const& operand, Cell& out, std::uint32_t depth)
{
    switch (cell::type_of(operand)) {
    case type_ids::integer:
        out = operand;
        return true;
    case type_ids::word: {
        Cell const* value = peek_value(operand);
        if (!value || cell::type_of(*value) != type_ids::integer) return false;
        out = *value;
        return true;
    }
    case type_ids::paren: {
        if (depth >= plain_depth) return false;
        std::uint32_t const length = node::buffer(operand.word2)->cell_count();
        if (operand.word1 >= length) return false;
        Code const code { operand, length };
        Cell value;
        if (!plain_integer(code.at(operand.word1), value, depth + 1)) return false;
        if (fold_integers(code, operand.word1 + 1, value, depth + 1) < length) return false;
        // Its last operator may have overflowed into a float: the operand is then no integer.
        if (cell::type_of(value) != type_ids::integer) return false;
        out = value;
        return true;
    }
    default:
        return false;
    }
}

// Whether a word's value is what reading the word gives, without running code or failing: neither unset!
// nor callable.
bool is_plain_held(Cell const& value)
{
    switch (cell::type_of(value)) {
    case type_ids::unset:
    case type_ids::native:
    case type_ids::action:
    case type_ids::function:
    case type_ids::routine:
    case type_ids::op:
        return false;
    default:
        return true;
    }
}

// The value a set-word's first operand stands for when reading it runs no code and cannot fail: a plain
// integer, a word that holds a value that is neither unset! nor callable, or a literal of a type that
// evaluates to itself.
bool plain_value(Cell const& operand, Cell& out)
{
    if (plain_integer(operand, out, 0)) return true;
    switch (cell::type_of(operand)) {
    case type_ids::word: {
        Cell const* value = peek_value(operand);
        if (!value || !is_plain_held(*value)) return false;
        out = *value;
        return true;
    }
    case type_ids::float_:
    case type_ids::string:
    case type_ids::block:
    case type_ids::char_:
        out = operand;
        return true;
    default:
        return false;
    }
}

// A set-word's assignment. Outside objects (whose owners hear of changes) the value goes straight to
// the word's cached slot.
void assign(Cell& word, Cell const& value)
{
    NodeId const context = word.word1;
    if (word.word3 != word::unresolved && context != no_node && context::has_values(context)
        && context::kind_of(context) != context::Kind::Object) {
        *context::value_cell(context, word.word3) = value;
        return;
    }
    word::set(word, value);
}

// The slot a set-word writes straight into (see assign), or nullptr when the assignment takes word::set.
Cell* direct_slot(Cell const& word)
{
    NodeId const context = word.word1;
    if (word.word3 == word::unresolved || context == no_node || !context::has_values(context)
        || context::kind_of(context) == context::Kind::Object)
        return nullptr;
    return context::value_cell(context, word.word3);
}

// The cell a plain first operand reads as, or nullptr when reading it needs the walk: a word holding a
// value that is neither unset! nor callable (its value cell), or a literal that evaluates to itself.
[[gnu::always_inline]] inline Cell const* plain_operand(Cell const& cell)
{
    switch (cell::type_of(cell)) {
    case type_ids::word: {
        Cell const* held = peek_value(cell);
        if (!held || !is_plain_held(*held)) return nullptr;
        return held;
    }
    case type_ids::integer:
    case type_ids::float_:
    case type_ids::string:
    case type_ids::block:
    case type_ids::char_:
        return &cell;
    default:
        return nullptr;
    }
}

// The operators of a plain expression, from the one at `position` (a word holding `op_value`), applied to
// `value` while each has a fast case between integers and its right operand is an integer! literal or a
// word's integer!. Answers the position after the last one, or 0 when the expression needs the walk.
[[gnu::noinline]] std::uint32_t plain_operators(
    Cell const* cells, std::uint32_t position, std::uint32_t length, Cell& value, Cell const* op_value)
{
    while (true) {
        if (cell::type_of(value) != type_ids::integer || position + 1 >= length) return 0;
        std::uint8_t const operation = fast::operation_code(*op_value);
        if (operation == 0) return 0;
        Cell const* right = &cells[position + 1];
        if (cell::type_of(*right) == type_ids::word) right = peek_value(*right);
        if (!right || cell::type_of(*right) != type_ids::integer || !fast::apply_known(operation, value, *right))
            return 0;
        position += 2;
        if (position >= length || cell::type_of(cells[position]) != type_ids::word) return position;
        op_value = peek_value(cells[position]);
        if (!op_value || cell::type_of(*op_value) != type_ids::op) return position;
    }
}

// The value of the expression at `position`, infix lookahead included, when reading it runs no code and
// cannot fail: a word holding a value that is neither unset! nor callable, or a literal that evaluates to
// itself, then operators with a fast case between integers and an integer! literal or a word's integer!.
// Answers the position after it, `value` pointing at the result (the cell read, or `scratch` when an
// operator made it), or 0 when the expression needs the walk.
[[gnu::always_inline]] inline std::uint32_t plain_expression(
    Code const& code, std::uint32_t position, Cell& scratch, Cell const*& value)
{
    // Nothing below allocates: the cells stay where they are.
    SeriesBuffer* const buffer = node::buffer(code.series.word2);
    std::uint32_t const count = buffer->cell_count();
    std::uint32_t const length = code.end < count ? code.end : count;
    if (position >= length) return 0;
    Cell const* const cells = buffer->head_cell();
    Cell const* const source = plain_operand(cells[position]);
    if (!source) return 0;
    ++position;
    value = source;
    // The infix lookahead: most operands are followed by no word (an argument block, the end of the code)
    // or by one that holds no operator (the next argument).
    if (position < length && cell::type_of(cells[position]) == type_ids::word) {
        Cell const* const op_value = peek_value(cells[position]);
        if (op_value && cell::type_of(*op_value) == type_ids::op) {
            scratch = *source;
            value = &scratch;
            return plain_operators(cells, position, length, scratch, op_value);
        }
    }
    return position;
}

// A short block or paren whose content from its index is one plain expression (`[n]`, `["NEEDLE "]`, `(n + 1)`)
// gives its value without a frame: reading it runs no code and cannot fail, so with tracing off nothing can
// tell the difference, and the position, library state and stacks end as the walk leaves them. False, with
// nothing done, for anything else.
[[gnu::noinline]] bool plain_short_block(Cell const& block, std::uint32_t length, bool pushed)
{
    Code const code { block, length };
    Cell scratch;
    Cell const* value = nullptr;
    if (plain_expression(code, block.word1, scratch, value) != length) return false;
    produce(*value, pushed);
    return true;
}

// Only the short ones are looked at: a value, or with `operation` one operator on two (a branch or a paren;
// a loop body of three cells is mostly a call). A longer block seldom is one plain expression, and finding
// that out would cost more than it saves. Inline, so that a walk pays a few instructions for the look.
[[gnu::always_inline]] inline bool plain_block(Cell const& block, bool pushed, bool operation)
{
    if (trace::state.on) return false;
    std::uint32_t const length = node::buffer(block.word2)->cell_count();
    std::uint32_t const size = length - block.word1;
    if (block.word1 >= length || (size != 1 && !(operation && size == 3))) return false;
    return plain_short_block(block, length, pushed);
}

[[gnu::noinline]] void walk_block(Cell const& block, bool return_result);

// How a walk keeps its statements' values: in a block frame of its own; in a function's call frame (its body)
// or in no frame (a paren), with the base raised above the cells below instead. Those frames would be
// internal, so nothing but the frame count can tell.
enum class Walk { Framed, Body, Paren };
template <Walk walk> void walk_framed(Cell const& block, bool return_result);

std::uint32_t finish_set_word(Code const& code, std::uint32_t position, bool pushed, Cell* base);

std::uint32_t eval_set_word(Code const& code, std::uint32_t position, bool pushed)
{
    // A plain expression (`i: i + 1`, `x: y`) is read and assigned without a frame: nothing in it can fail,
    // run code or allocate, so no error report, trace or collection can see the difference.
    if (!trace::state.on) {
        Cell const* first = code.peek(position + 1);
        Cell value;
        Cell* slot = nullptr;
        if (first && plain_value(*first, value) && (slot = direct_slot(cell_at(code, position)))) {
            std::uint32_t const after = fold_integers(code, position + 2, value, 0);
            if (!is_op_word(code.peek(after))) {
                *slot = value; // nothing has allocated since the slot was found
                produce(value, pushed);
                return after;
            }
            // The plain part stands as the left operand it would have been; the rest runs in the frame.
            Cell const set_word = cell_at(code, position);
            stack::push_native_frame_eval(set_word);
            Cell* const base = stack::push(set_word);
            stack::push(value);
            position = infix_tail(code, after, base + 1);
            return finish_set_word(code, position, pushed, base);
        }
    }
    Cell const set_word = cell_at(code, position);
    stack::push_native_frame_eval(set_word);
    // The frame's first cell keeps the word: the collector rewrites it there if its context moves while
    // the value is evaluated.
    Cell* const base = stack::push(set_word);
    ++position;
    if (at_end(code, position)) fire_error(err::script::need_value, base);
    position = expression(code, position, false, true, false);
    return finish_set_word(code, position, pushed, base);
}

// The set-word's value is at base[1], the word at base[0], in its own frame: the assignment.
std::uint32_t finish_set_word(Code const& code, std::uint32_t position, bool pushed, Cell* base)
{
    if (stack::has_pending()) return position;
    if (trace::state.on) send(trace::set, code, position, base, base + 1);
    if (cell::type_of(base[1]) == type_ids::unset) fire_error(err::script::need_value, base);
    assign(base[0], base[1]);
    base[0] = base[1];
    stack::keep_first();
    pop_frame_for(pushed);
    return position;
}

std::uint32_t eval_set_path(Code const& code, std::uint32_t position, bool pushed)
{
    Cell const path = cell_at(code, position);
    Rooted kept(path);
    ++position;
    if (at_end(code, position)) fire_error(err::script::need_value, &*kept);
    stack::push_native_frame_eval(words::word_of(words::Word::set_path));
    position = expression(code, position, false, true, false);
    if (stack::has_pending()) return position;
    if (trace::state.on) send(trace::set, code, position, &*kept, stack::state.base);
    eval_path(*kept, code, code.end, PathMode::Set, false, false);
    if (stack::has_pending()) return position;
    stack::keep_first();
    pop_frame_for(pushed);
    return position;
}

// A paren is a block evaluated in place: its value pushed, or stored as the statement's result.
void eval_paren(Cell const& paren, bool pushed)
{
    if (!plain_block(paren, pushed, true)) walk_framed<Walk::Paren>(paren, !pushed);
}

std::uint32_t call_at(Cell const& function, Code const& code, std::uint32_t position, Cell const* name, bool pushed)
{
    CallSite const site { code, position, nullptr, 0, name, nullptr, call_evaluate, false, pushed };
    return call_by_type(function, site);
}

// The operator word at `position` and its left operand at `operand` (the entry top of the expression):
// the call's first argument is that cell; the result replaces it.
[[gnu::noinline]] std::uint32_t apply_operator(
    Code const& code, std::uint32_t position, Cell* operand, Cell const& given_op)
{
    Cell op_value = given_op;
    if (trace::state.on) {
        Cell const fetched = cell_at(code, position);
        send(trace::fetch, code, position, nullptr, &fetched);
        // The tracer may have moved what the operator refers to: read it again.
        Cell const* again = peek_value(cell_at(code, position));
        if (again && cell::type_of(*again) == type_ids::op) op_value = *again;
    }
    Cell const word = cell_at(code, position);
    stack::cut_to(operand + 1);
    ++position;
    Cell const function = unwrap_op(op_value);
    CallSite const site { code, position, nullptr, 0, &word, nullptr, call_evaluate, true, true };
    return call_by_type(function, site);
}

// An operator with a fast case (`operation`) after an integer! left operand at `operand` (the top cell),
// tracing off: its right operand is evaluated as the operator's call would evaluate it, then the case is
// applied in place when that is an integer! and the case takes it; else the operator's own call takes
// both operands from the stack. Answers the position after the right operand, or 0 with nothing done
// when there is none (the call reports it).
[[gnu::noinline]] std::uint32_t apply_integer_operator(
    Code const& code, std::uint32_t position, Cell* operand, Cell const& op_value, std::uint8_t operation)
{
    if (at_end(code, position + 1)) return 0;
    // The operand's evaluation may move the operator's record and spec: the function is kept rooted.
    Rooted function(Cell { op::wrapped_type(op_value), op_value.word1, op_value.word2, op_value.word3 });
    Rooted name(cell_at(code, position));
    stack::cut_to(operand + 1);
    std::uint32_t const after = expression(code, position + 1, true, true, false);
    if (stack::has_pending()) return after;
    Cell const& right = stack::state.top[-1];
    if (cell::type_of(right) == type_ids::integer && fast::apply_known(operation, *operand, right)) {
        stack::cut_to(operand + 1);
        return after;
    }
    // Both operands are on the stack: the operator's own call takes them from there.
    call_pushed(*function, *name);
    return after;
}

std::uint32_t eval_word(Code const& code, std::uint32_t position, Cell const& word, bool pushed)
{
    Cell const* value = word::get_value(word);
    switch (cell::type_of(*value)) {
    case type_ids::unset: {
        Cell const named = word;
        fire_error(err::script::no_value, &named);
    }
    case type_ids::native:
    case type_ids::action:
    case type_ids::function:
    case type_ids::routine: {
        Cell const function = *value;
        Cell const name = word;
        return call_at(function, code, position + 1, &name, pushed);
    }
    case type_ids::op: {
        Cell const named = word;
        fire_error(err::script::no_op_arg, &named);
    }
    default:
        if (trace::state.on) {
            Cell const produced = *value;
            produce(produced, pushed);
            send(trace::push, code, position, nullptr, &produced);
        } else {
            produce(*value, pushed);
        }
        return position + 1;
    }
}

bool is_system_issue(Cell const& issue)
{
    SymbolId const symbol = symbol::resolve(issue.word2);
    return symbol == symbol::resolve(words::symbol_of(words::Symbol::system))
        || symbol == symbol::resolve(words::symbol_of(words::Symbol::system_global));
}

}

void init()
{
    state = EvaluatorState {};
    gc::add_root(&state.current_position);
}

void eval_block_dropped(Cell const& block)
{
    eval_block(block, false);
    stack::pop(1);
}

// The lexer's callbacks run as the word <lexer-callback>; the input argument goes back as the callback
// left it (it may move the input's index).
Cell call_lexer_callback(Cell const& given, Cell* arguments, std::uint32_t count)
{
    Rooted callback(given);
    Cell* const saved_top = stack::state.top;
    stack::push_call_frame(words::word_of(words::Word::lexer_callback), function::context_of(*callback));
    Cell* const base = stack::state.base;
    for (std::uint32_t i = 0; i < count; ++i) stack::push(arguments[i]);
    call_function(*callback, context::global(), words::word_of(words::Word::lexer_callback), 0);
    Cell const result = *base;
    // The first cell now holds the result; the others are the arguments as the callback left them.
    for (std::uint32_t i = 1; i < count; ++i) arguments[i] = base[i];
    stack::pop_frame_keep_restore();
    stack::cut_to(saved_top);
    return result;
}

Cell callback_body(Cell const& callback)
{
    TypeId const type = cell::type_of(callback);
    if (type != type_ids::function && type != type_ids::routine) return cell::make(type_ids::none);
    return function::record_cell(callback, function::body_cell);
}

Cell unwrap_op(Cell const& op_value)
{
    TypeId const wrapped = op::wrapped_type(op_value);
    if (type_ids::is_context_function(wrapped)) return function::record_cell(op_value, function::op_value_cell);
    return Cell { wrapped, op_value.word1, op_value.word2, op_value.word3 };
}

namespace {

void run_block(Cell const& block, bool return_result)
{
    if (!plain_block(block, !return_result, false)) walk_block(block, return_result);
}

// Counts a walk without a frame of its own towards the frame limit, however the walk ends.
class Frameless {
public:
    explicit Frameless(bool counted)
        : m_counted(counted)
    {
        if (counted) stack::enter_frameless();
    }
    ~Frameless()
    {
        if (m_counted) stack::leave_frameless();
    }
    Frameless(Frameless const&) = delete;
    Frameless& operator=(Frameless const&) = delete;

private:
    bool m_counted;
};

// A paren takes no frame with tracing off where its code is the library's as the code around it is (a return
// in it is then read as written in the same code, as its frame would tell).
template <Walk walk> [[gnu::noinline]] void walk_framed(Cell const& block, bool return_result)
{
    ++state.runs;
    Rooted series(block);
    PositionGuard const guard;
    // The library's blocks leave the position to the user's code that called them, and send no events.
    bool const library = (node::buffer(series->word2)->flags & series_flags::library) != 0;
    bool const framed = walk == Walk::Framed
        || (walk == Walk::Paren && (trace::state.on || library != series::library_state.running));
    trace::LibraryScope const quiet(library);
    std::uint32_t const length = node::buffer(series->word2)->cell_count();
    std::uint32_t position = series->word1 < length ? series->word1 : length;
    Code const code { *series, length };
    Cell* const own = stack::state.base;
    Frameless const counted(!framed);
    if (framed) {
        stack::push_block_frame(body_word());
        if (library) stack::flag_top_frame_library();
    } else {
        // A body's call frame is marked as the library's already when the body is.
        stack::raise_base();
    }
    if (trace::state.on) send(trace::enter, code, position, nullptr, nullptr);
    if (at_end(code, position)) {
        stack::set_only_result(cell::make(type_ids::unset));
    } else {
        while (true) {
            if (!library) state.current_position = Cell { series->header, position, series->word2, series->word3 };
            position = expression(code, position, false, false, false);
            if (stack::has_pending()) return;
            if (at_end(code, position)) break;
            stack::drop_arguments();
        }
    }
    if (trace::state.on) send(trace::exit, code, code.end, nullptr, stack::state.base);
    if (framed)
        pop_frame_for(!return_result);
    else if (!return_result)
        stack::lower_base_keep(own);
    else
        stack::lower_base(own);
}

void walk_block(Cell const& block, bool return_result)
{
    walk_framed<Walk::Framed>(block, return_result);
}

// run_block without a block frame of its own: the statements' values land in the current frame's base.
// Only for natives done with their arguments, whose base the last value becomes (if, either). The frame is
// internal, so no error report, trace or `stack` walk names it; with tracing on the block takes run_block,
// whose enter and exit events the tracer hears.
[[gnu::noinline]] void walk_in_place(Cell const& block);

void run_in_place(Cell const& block)
{
    if (trace::state.on) {
        walk_block(block, true);
        return;
    }
    if (!plain_block(block, false, true)) walk_in_place(block);
}

void walk_in_place(Cell const& block)
{
    ++state.runs;
    Rooted series(block);
    PositionGuard const guard;
    bool const library = (node::buffer(series->word2)->flags & series_flags::library) != 0;
    trace::LibraryScope const quiet(library);
    std::uint32_t const length = node::buffer(series->word2)->cell_count();
    std::uint32_t position = series->word1 < length ? series->word1 : length;
    Code const code { *series, length };
    if (at_end(code, position)) {
        stack::set_only_result(cell::make(type_ids::unset));
        return;
    }
    while (true) {
        // The block is kept in `series`: the arguments it came from may be overwritten from here on.
        stack::drop_arguments();
        if (!library) state.current_position = Cell { series->header, position, series->word2, series->word3 };
        position = expression(code, position, false, false, false);
        if (stack::has_pending()) return;
        if (at_end(code, position)) break;
    }
}

// The integer! cell a right operand reads as when it is plain (see plain_integer; a paren's value is made
// in `scratch`), or nullptr. A word's value and a literal are looked at without a call.
[[gnu::always_inline]] inline Cell const* plain_right(Cell const* operand, Cell& scratch)
{
    if (!operand) return nullptr;
    switch (cell::type_of(*operand)) {
    case type_ids::integer:
        return operand;
    case type_ids::word: {
        Cell const* value = peek_value(*operand);
        return value && cell::type_of(*value) == type_ids::integer ? value : nullptr;
    }
    case type_ids::paren:
        return plain_integer(*operand, scratch, 0) ? &scratch : nullptr;
    default:
        return nullptr;
    }
}

// The infix lookahead: applies the operators that follow, left to right, to the left operand at `operand`
// (the top cell); answers the position after the last one.
std::uint32_t infix_tail(Code const& code, std::uint32_t position, Cell* operand)
{
    while (Cell const* next = code.peek(position)) {
        if (cell::type_of(*next) != type_ids::word) break;
        Cell const* value = peek_value(*next);
        if (!value || cell::type_of(*value) != type_ids::op) break;
        if (!trace::state.on && cell::type_of(*operand) == type_ids::integer) {
            std::uint8_t const operation = fast::operation_code(*value);
            if (operation != 0) {
                // On a plain right operand the case is applied without evaluating anything.
                Cell right;
                Cell const* plain = plain_right(code.peek(position + 1), right);
                if (plain && fast::apply_known(operation, *operand, *plain)) {
                    stack::cut_to(operand + 1);
                    position += 2;
                    continue;
                }
                Cell const op_value = *value;
                std::uint32_t const after = apply_integer_operator(code, position, operand, op_value, operation);
                if (after != 0) {
                    position = after;
                    if (stack::has_pending()) return position;
                    continue;
                }
            }
        }
        Cell const op_value = *value;
        position = apply_operator(code, position, operand, op_value);
        if (stack::has_pending()) return position;
    }
    return position;
}

// What follows an expression's own value: the infix lookahead (not for an operator's right operand) and
// the trace event of a statement.
[[gnu::always_inline]] inline std::uint32_t expression_tail(
    Code const& code, std::uint32_t position, bool prefix, bool pushed, Cell* entry_top)
{
    if (stack::has_pending()) return position;
    if (!prefix) {
        // The left operand sits where the expression began: pushed there, or stored in the base cell.
        Cell const* next = code.peek(position);
        if (next && cell::type_of(*next) == type_ids::word) {
            position = infix_tail(code, position, pushed ? entry_top : stack::state.base);
            if (stack::has_pending()) return position;
        }
    }
    if (!pushed && trace::state.on) send(trace::expr, code, position, nullptr, stack::state.base);
    return position;
}

// A word naming a function, tracing off: its call, as eval_word makes it, and what follows.
[[gnu::noinline]] std::uint32_t call_word(
    Code const& code, std::uint32_t position, Cell const function, bool prefix, bool pushed)
{
    Cell* const entry_top = stack::state.top;
    Cell const name = cell_at(code, position);
    position = call_at(function, code, position + 1, &name, pushed);
    return expression_tail(code, position, prefix, pushed, entry_top);
}

[[gnu::noinline]] std::uint32_t general_expression(
    Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive);

// The commonest expression, a word naming a function with tracing off, goes to its call without the
// frame the other kinds need.
std::uint32_t expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive)
{
    if (!trace::state.on) {
        Cell const& current = cell_at(code, position);
        if (cell::type_of(current) == type_ids::word) {
            Cell const* value = peek_value(current);
            if (value) {
                switch (cell::type_of(*value)) {
                case type_ids::native:
                case type_ids::action:
                case type_ids::function:
                case type_ids::routine:
                    return call_word(code, position, *value, prefix, pushed);
                default:
                    break;
                }
            }
        }
    }
    return general_expression(code, position, prefix, pushed, passive);
}

std::uint32_t general_expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive)
{
    Cell* const entry_top = stack::state.top;
    if (trace::state.on) {
        Cell const fetched = cell_at(code, position);
        send(trace::fetch, code, position, nullptr, &fetched);
    }
    // Read again after every call that may allocate.
    Cell const& current = cell_at(code, position);
    switch (cell::type_of(current)) {
    case type_ids::word:
        position = eval_word(code, position, current, pushed);
        break;
    case type_ids::set_word:
        position = eval_set_word(code, position, pushed);
        break;
    case type_ids::paren: {
        Cell const paren = current;
        eval_paren(paren, pushed);
        ++position;
        break;
    }
    case type_ids::get_word: {
        Cell const* value = word::get_value(current);
        produce(*value, pushed);
        ++position;
        break;
    }
    case type_ids::lit_word: {
        Cell const word { type_ids::word, current.word1, current.word2, current.word3 };
        produce(word, pushed);
        ++position;
        break;
    }
    case type_ids::set_path:
        position = eval_set_path(code, position, pushed);
        break;
    case type_ids::path: {
        Cell const path = current;
        position = eval_path(path, code, position + 1, PathMode::Evaluate, pushed, false);
        break;
    }
    case type_ids::get_path: {
        Cell const path = current;
        position = eval_path(path, code, position + 1, PathMode::Get, pushed, false);
        break;
    }
    case type_ids::lit_path: {
        Cell const path { type_ids::path, current.word1, current.word2, 0 };
        produce(path, pushed);
        ++position;
        break;
    }
    case type_ids::op:
        fire_error(err::internal::not_done);
    case type_ids::native:
    case type_ids::action:
    case type_ids::function:
    case type_ids::routine: {
        Cell const function = current;
        if (passive) {
            produce(function, pushed);
            ++position;
        } else {
            position = call_at(function, code, position + 1, nullptr, pushed);
        }
        break;
    }
    case type_ids::issue:
        if (!at_end(code, position + 1) && cell::type_of(cell_at(code, position + 1)) == type_ids::block
            && is_system_issue(current))
            fire_error(err::internal::xol_system);
        [[fallthrough]];
    default: {
        Cell const value = current;
        produce(value, pushed);
        if (trace::state.on) send(trace::push, code, position, nullptr, &value);
        ++position;
        break;
    }
    }
    return expression_tail(code, position, prefix, pushed, entry_top);
}

}

// ---- The public entries: nothing comes back out of them pending.

void eval_block(Cell const& block, bool return_result)
{
    run_block(block, return_result);
    if (stack::has_pending()) stack::rethrow_pending();
}

void eval_block_deferred(Cell const& block, bool return_result)
{
    run_block(block, return_result);
}

void eval_branch_deferred(Cell const& block)
{
    run_in_place(block);
}

void eval_body_deferred(Cell const& block)
{
    if (!plain_block(block, false, false)) walk_framed<Walk::Body>(block, true);
}

std::uint32_t eval_next(Code const& code, std::uint32_t position, bool pushed)
{
    stack::push_native_frame_eval(body_word());
    position = expression(code, position, false, false, false);
    if (stack::has_pending()) stack::rethrow_pending();
    pop_frame_for(pushed);
    return position;
}

std::uint32_t eval_next_at(Cell const& given)
{
    Rooted series(given);
    std::uint32_t const length = node::buffer(series->word2)->cell_count();
    if (series->word1 >= length) {
        stack::set_only_result(cell::make(type_ids::unset));
        return series->word1;
    }
    Code const code { *series, length };
    return eval_next(code, series->word1, false);
}

std::uint32_t push_plain(Code const& code, std::uint32_t position)
{
    Cell scratch;
    Cell const* value = nullptr;
    std::uint32_t const after = plain_expression(code, position, scratch, value);
    if (after != 0) stack::push(*value);
    return after;
}

std::uint32_t eval_expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive)
{
    position = expression(code, position, prefix, pushed, passive);
    if (stack::has_pending()) stack::rethrow_pending();
    return position;
}

std::uint32_t eval_expression_deferred(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive)
{
    return expression(code, position, prefix, pushed, passive);
}

}
