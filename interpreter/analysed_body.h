// Analysed loop bodies: a body made only of plain integer assignments (`i: i + 1`, `total: total + (i and
// 127)`) is read once into a short program of slots and operator codes, held by the loop native for the
// duration of one loop, and run in place of the walk while nothing could have changed what it was read from.
// A body that is one plain expression without a set-word (a while condition, `i < n`) is read so too, and a
// body whose first statements are such assignments runs those as a program and walks the rest.
//
// The program is valid while no code has run and nothing has been allocated since it was read: no code can
// then have changed the body, rebound its words or redefined an operator, and no buffer can have moved (the
// collector runs only at an allocation or from code). The evaluator's run counter, the allocation epoch and
// the collection count say so, checked at each run; with a walked rest, the cells read are compared in
// place of the run counter, which the walk advances. The operator words' values are checked at each run too
// (a native between two runs may set a word); within a run only the body's own stores write, and a body
// storing into an operator word is never read. An operand that is not an integer!, or an operation whose
// result the program does not hold (an overflow into float!, an inexact quotient, a refused division) hands
// the rest of the iteration to the walk, from the statement it stands in, with nothing of that statement
// done yet: the walk computes that statement as it always does.
//
// A loop whose word the native sets by itself (repeat's counter, foreach's value) can hand the whole run
// of iterations to the program: the word is written straight into its slot, as word::set does outside
// objects, and the values stay 32-bit integers in registers within one iteration.
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

    // Whether the body may run many iterations in one call: it has not been handed to the walk.
    bool analysable() const { return m_state != State::Walk; }

    // Runs the body up to `times` times (at least once), as many calls of run would. Before each iteration
    // after the first, `word_slot` (the loop word's value cell, or nullptr for none) is set as `next` says:
    // with `counter`, to the counter stepped by one; with `cells`, to the next cell up to `end`, the cursor
    // stepped. Answers through `begun` the iterations begun, set before any walk, so that it holds when a
    // break or continue leaves from inside; stops after an iteration the walk took part in, and when
    // `cells` reach `end`. `word_slot` must be where word::set writes the word now. May allocate.
    struct Next {
        Cell* word_slot = nullptr;
        Cell* counter = nullptr; // repeat: the word's value of the iteration just begun, stepped in place
        Cell* cursor = nullptr; // foreach: the series cursor at the next value, stepped in place
    };
    void run_times(Cell const& body, std::int32_t times, Next const& next, std::int32_t& begun);

    // The value cell word::set writes a word's value straight into (a bound word outside objects), or
    // nullptr: the cell is good until the next allocation.
    static Cell* direct_slot(Cell const& word);

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
        std::uint8_t operation; // Apply*: the fast case (fast::operation_code); Store: the value's shape
        std::uint8_t code; // what the step runs: its kind joined with its operation
        std::uint8_t depth; // Save, ApplySaved: the parens around the expression, the saved value's register
        std::uint32_t position; // the position of the statement it belongs to, in the body
        Cell* slot; // the operand word's value cell (LoadApply, Update: also the target's); Store: the target's
        Cell const* source; // Store of a plain operand: the cell it was read from
        Cell literal; // *Literal: the operand
    };
    // An operator word's value cell and the op! it held when the body was read.
    struct Operator {
        Cell const* slot;
        Cell value;
    };
    // A paren read, whose cells are kept to compare.
    struct ReadParen {
        NodeId node;
        std::uint32_t start;
        std::uint32_t count;
    };
    static constexpr std::uint32_t capacity = 48;
    static constexpr std::uint32_t paren_capacity = 16;
    static constexpr std::uint32_t paren_depth = 4;
    static constexpr std::uint32_t snapshot_capacity = 64;
    static constexpr std::uint32_t max_reads = 4;

private:
    void run_analysed(Cell const& body);
    bool analyse(Cell const& body);
    bool valid(Cell const& body) const;
    bool take_snapshot(Cell const& body, std::uint32_t paren_count);
    bool same_as_read(Cell const& body) const;
    void walk_rest(Cell const& body);
    bool ready(Cell const& body);
    bool reads_operator_from(Cell const* slot) const;
    void walk_from(Cell const& body, Instruction const* instruction);

    enum class State : std::uint8_t { Unread, Ready, Walk };
    State m_state = State::Unread;
    std::uint64_t m_runs = ~std::uint64_t { 0 }; // a count never reached: nothing read is valid
    std::uint64_t m_epoch = 0;
    std::uint32_t m_collections = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_operator_count = 0;
    std::uint8_t m_shape = 0; // the shape of the body's value
    Cell const* m_plain = nullptr; // a plain value's cell
    std::uint32_t m_rest = 0; // where the walk takes over from the program, or 0: the program is the body
    Cell const* m_stop_slot = nullptr; // the value cell of the word the program ends before, never an op!
    std::uint32_t m_paren_count = 0;
    std::uint32_t m_snapshot_count = 0;
    std::uint32_t m_reads = 0; // the reads since the program last stayed valid from one run to the next
    Instruction m_code[capacity];
    Operator m_operators[capacity];
    ReadParen m_parens[paren_capacity];
    Cell m_snapshot[snapshot_capacity]; // with a walked rest: the cells read, from the body then its parens
};

}
