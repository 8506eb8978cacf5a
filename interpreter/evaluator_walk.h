// The evaluator's own walk, for the code that runs blocks beside it (the analysed form): the pieces it falls
// back to where its cached reading no longer holds. Each may leave a transfer pending (stack::state.pending).
#pragma once

#include <cstdint>

#include "datatypes/context.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xol::interp::walk {

// One expression as the walk evaluates it (see eval_expression).
std::uint32_t expression(Code const& code, std::uint32_t position, bool prefix, bool pushed, bool passive);
// The infix lookahead from `position`, the left operand at `operand`.
std::uint32_t infix_tail(Code const& code, std::uint32_t position, Cell* operand);
// A paren's value, pushed or stored as the statement's result.
void eval_paren(Cell const& paren, bool pushed);

// The value a word names, or nullptr: only a bound word whose context has values has one, and looking
// never raises.
[[gnu::always_inline]] inline Cell const* peek_value(Cell const& word)
{
    if (word.word1 == no_node || word.word3 == word::unresolved) return nullptr;
    if (!context::has_values(word.word1)) return nullptr;
    return word::get_value(word);
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

// Whether reading a word that holds the value gives the value: neither unset! nor callable.
inline bool is_plain_held(Cell const& value)
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

}
