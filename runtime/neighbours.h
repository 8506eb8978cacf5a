// What the runtime core calls in the layers built on it (the evaluator and lexer, the GUI's terminal back
// end). Each layer fills its table when it initialises; until then an entry is null and the runtime goes
// on without it, which lets the core be built and tested alone.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::neighbours {

struct EvaluatorServices {
    // Loads a string's text from its index into `target` as a block of values; answers the units consumed.
    std::uint32_t (*load_string)(Cell const& string, Cell& target) = nullptr;
    // Forms `value` into the string `buffer`, at most `limit` units; answers the limit less what it wrote.
    std::int32_t (*form)(Cell const& value, Cell& buffer, std::int32_t limit) = nullptr;
    // Evaluates every expression of the block in a block-evaluation frame; errors propagate. Making an
    // object from a spec block and an error from a set-word spec run their specs through it.
    void (*eval_block)(Cell const& block) = nullptr;
    // Runs a function! whose arguments the caller pushed after pushing its function call frame; the result
    // is left in the frame's result cell. `callback_bit` names the kind of callback for tracing (8 for
    // on-change*, 16 for on-deep-change*). The object change handlers are called through it.
    void (*call_function)(Cell const& function, NodeId context, Cell const& word, std::uint32_t callback_bit) = nullptr;
    // Hears of every error raised, once its error! value is made and before the unwinding starts: the
    // tracer reports it. It may run code, but leaves the error in flight as it found it.
    void (*error_raised)(Cell const& error) = nullptr;
    // The block being evaluated, at the expression about to run: an error's "near" field. Rooted there.
    Cell const* current_position = nullptr;
};

struct ViewServices {
    // Clear the drawn terminal interface before ordinary text is printed, and draw it again after.
    void (*pause_for_print)() = nullptr;
    void (*resume_after_print)() = nullptr;
};

extern EvaluatorServices evaluator;
extern ViewServices view;

}
