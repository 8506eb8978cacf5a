// Analysed loop bodies: a body made only of plain integer assignments (`i: i + 1`, `total: total + (i and
// 127)`) is read once into a short program of slots and operator codes, held by the loop native for the
// duration of one loop, and run in place of the walk while nothing could have changed what it was read from.
// A body that is one plain expression without a set-word (a while condition, `i < n`) is read so too.
//
// The program is valid while no code has run and nothing has been allocated since it was read: no code can
// then have changed the body, rebound its words or redefined an operator, and no buffer can have moved (the
// collector runs only at an allocation or from code). The evaluator's run counter, the allocation epoch and
// the collection count say so, checked once an iteration. What can change without code, a word's value, is
// checked at every use: an operand that is not an integer!, an operator word that holds another value, or an
// operation the fast cases refuse hands the rest of the iteration to the walk, from the statement it stands
// in, with nothing of that statement done yet.
#pragma once

#include <cstdint>

#include "interpreter/evaluator.h"
#include "runtime/cell.h"

namespace xol::interp {

class AnalysedBody {
public:
    // Runs the body once, with the effect of eval_block_deferred(body, true): its value is stored in the
    // arguments base. `body` is a cell that stays where it is for the whole loop (a loop argument). May
    // allocate (when the walk runs it).
    void run(Cell const& body)
    {
        if (m_state == State::Walk)
            eval_block_deferred(body, true);
        else
            run_analysed(body);
    }

    // How the operands and operators are kept; public for the reader in analysed_body.cpp.
    // Load: the operand becomes the running value; Apply: the operator applied to the running value and
    // the operand; Save, ApplySaved: a paren as right operand (the running value kept, then applied to
    // the paren's value); ApplyLeft: a paren as right operand of the statement's first operand, the
    // operator applied to that operand and the running value (the paren's); Store: the running value
    // assigned. Joined: LoadApplyLiteral, `i and 127`; UpdateLiteral, `i: i + 1` (the word's value cell
    // both operand and target); UpdateLeftWord, `total: total + (...)`, ApplyLeftWord then the store.
    enum class Kind : std::uint8_t {
        LoadWord,
        LoadLiteral,
        ApplyWord,
        ApplyLiteral,
        ApplyLeftWord,
        ApplyLeftLiteral,
        Save,
        ApplySaved,
        Store,
        LoadApplyLiteral,
        UpdateLiteral,
        UpdateLeftWord
    };
    struct Instruction {
        Kind kind;
        std::uint8_t operation; // Apply*: the fast case (fast::operation_code)
        std::uint32_t position; // the position of the statement it belongs to, in the body
        Cell* slot; // the operand word's value cell (LoadApply, Update: also the target's); Store: the target's
        Cell const* op_slot; // Apply*: the operator word's value cell, and the op! it held
        Cell op_value;
        Cell literal; // *Literal: the operand
    };
    static constexpr std::uint32_t capacity = 48;

private:
    void run_analysed(Cell const& body);
    bool analyse(Cell const& body);
    bool valid() const;

    enum class State : std::uint8_t { Unread, Ready, Walk };
    State m_state = State::Unread;
    std::uint64_t m_runs = ~std::uint64_t { 0 }; // a count never reached: nothing read is valid
    std::uint64_t m_epoch = 0;
    std::uint32_t m_collections = 0;
    std::uint32_t m_count = 0;
    Instruction m_code[capacity];
};

}
