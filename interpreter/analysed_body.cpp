// Analysed loop bodies: reading a body of plain integer assignments once, and running it without the walk.

#include "interpreter/analysed_body.h"

#include <cstring>

#include "datatypes/context.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "interpreter/fast_paths.h"
#include "interpreter/trace.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/operations.h"
#include "runtime/stack.h"

namespace xol::interp {

namespace {

using Instruction = AnalysedBody::Instruction;
using Kind = AnalysedBody::Kind;

// The value cell of a bound word whose context has values (as the infix lookahead reads words), or nullptr.
Cell* bound_value(Cell const& word)
{
    if (word.word1 == no_node || word.word3 == word::unresolved) return nullptr;
    if (!context::has_values(word.word1)) return nullptr;
    return context::value_cell(word.word1, word.word3);
}

// The slot a set-word writes straight into, or nullptr: an object's field (whose owner hears of the change)
// or a word without a slot takes the walk.
Cell* direct_slot(Cell const& word)
{
    if (word.word1 == no_node || word.word3 == word::unresolved || !context::has_values(word.word1)
        || context::kind_of(word.word1) == context::Kind::Object)
        return nullptr;
    return context::value_cell(word.word1, word.word3);
}

// Two cells with the same bits: compared as two 64-bit halves.
bool same_cell(Cell const& a, Cell const& b)
{
    std::uint64_t a_half[2];
    std::uint64_t b_half[2];
    std::memcpy(a_half, &a, sizeof a_half);
    std::memcpy(b_half, &b, sizeof b_half);
    return ((a_half[0] ^ b_half[0]) | (a_half[1] ^ b_half[1])) == 0;
}

// Appends the instructions of a body while it stays within the forms the walk reads in place.
class Reader {
public:
    Reader(Instruction* code, std::uint32_t capacity)
        : m_code(code)
        , m_capacity(capacity)
    {
    }

    std::uint32_t count() const { return m_count; }

    // A statement: set-word, a first operand, then operator and operand pairs; answers the position after
    // it, or 0 when the statement is not one the program can hold.
    std::uint32_t statement(Cell const* cells, std::uint32_t position, std::uint32_t length)
    {
        if (cell::type_of(cells[position]) != type_ids::set_word) return 0;
        Cell* const target = direct_slot(cells[position]);
        if (!target) return 0;
        m_statement = position;
        m_first = m_count;
        ++position;
        if (position >= length) return 0;
        if (cell::type_of(cells[position]) == type_ids::paren) {
            if (!paren(cells[position])) return 0;
        } else if (!term(false, cells[position], 0, nullptr)) {
            return 0;
        }
        position = operators(cells, position + 1, length, true);
        if (position == 0) return 0;
        // `i: i + 1` and `total: total + (...)`: the store joins the instruction that reads the target.
        Instruction& last = m_code[m_count - 1];
        if (last.slot == target && m_count == m_first + 1 && last.kind == Kind::LoadApplyLiteral) {
            last.kind = Kind::UpdateLiteral;
            return position;
        }
        if (last.slot == target && last.kind == Kind::ApplyLeftWord) {
            last.kind = Kind::UpdateLeftWord;
            return position;
        }
        if (!emit(Kind::Store)) return 0;
        m_code[m_count - 1].slot = target;
        return position;
    }

    // A body that is one expression without a set-word (a while condition): whether the program can hold
    // it. Its value is the body's.
    bool expression(Cell const* cells, std::uint32_t position, std::uint32_t length)
    {
        m_statement = position;
        m_first = m_count;
        if (cell::type_of(cells[position]) == type_ids::paren) {
            if (!paren(cells[position])) return false;
        } else if (!term(false, cells[position], 0, nullptr)) {
            return false;
        }
        return operators(cells, position + 1, length, true) == length;
    }

private:
    bool emit(Kind kind)
    {
        if (m_count == m_capacity) return false;
        m_code[m_count] = Instruction { kind, 0, m_statement, nullptr, nullptr, {}, {} };
        ++m_count;
        return true;
    }

    // An integer! literal or a bound word as a Load operand, or with `applied` an Apply operand.
    bool term(bool applied, Cell const& operand, std::uint8_t operation, Cell const* op_slot)
    {
        Cell* slot = nullptr;
        switch (cell::type_of(operand)) {
        case type_ids::integer:
            if (applied && m_count > m_first && m_code[m_count - 1].kind == Kind::LoadWord) {
                // A word then an operator with a literal (`i and 127`): one instruction, the word's slot kept.
                slot = m_code[m_count - 1].slot;
                m_code[m_count - 1].kind = Kind::LoadApplyLiteral;
            } else if (!emit(applied ? Kind::ApplyLiteral : Kind::LoadLiteral)) {
                return false;
            }
            break;
        case type_ids::word:
            slot = bound_value(operand);
            if (!slot || !emit(applied ? Kind::ApplyWord : Kind::LoadWord)) return false;
            break;
        default:
            return false;
        }
        Instruction& instruction = m_code[m_count - 1];
        instruction.slot = slot;
        instruction.literal = operand;
        instruction.operation = operation;
        instruction.op_slot = op_slot;
        if (op_slot) instruction.op_value = *op_slot;
        return true;
    }

    // The operator and operand pairs from `position` up to the end or the next set-word; answers the
    // position after them, 0 when one is not an operator with a fast case or an operand of the program's.
    // Parens (one level, as the walk reads them in place) only where `outer`.
    std::uint32_t operators(Cell const* cells, std::uint32_t position, std::uint32_t length, bool outer)
    {
        while (position < length && cell::type_of(cells[position]) != type_ids::set_word) {
            if (cell::type_of(cells[position]) != type_ids::word) return 0;
            Cell const* const op_slot = bound_value(cells[position]);
            if (!op_slot || cell::type_of(*op_slot) != type_ids::op) return 0;
            std::uint8_t const operation = fast::operation_code(*op_slot);
            if (operation == 0 || position + 1 >= length) return 0;
            Cell const& right = cells[position + 1];
            if (outer && cell::type_of(right) == type_ids::paren && m_count == m_first + 1
                && (m_code[m_first].kind == Kind::LoadWord || m_code[m_first].kind == Kind::LoadLiteral)) {
                // `total + (i and 127)`: the paren first, then the operator with the one operand before
                // it as its left (reading either runs nothing, so the order cannot be seen).
                Instruction const left = m_code[m_first];
                m_count = m_first;
                if (!paren(right) || !emit(left.kind == Kind::LoadWord ? Kind::ApplyLeftWord : Kind::ApplyLeftLiteral))
                    return 0;
                Instruction& instruction = m_code[m_count - 1];
                instruction.slot = left.slot;
                instruction.literal = left.literal;
                instruction.operation = operation;
                instruction.op_slot = op_slot;
                instruction.op_value = *op_slot;
            } else if (outer && cell::type_of(right) == type_ids::paren) {
                if (!emit(Kind::Save) || !paren(right) || !emit(Kind::ApplySaved)) return 0;
                Instruction& instruction = m_code[m_count - 1];
                instruction.operation = operation;
                instruction.op_slot = op_slot;
                instruction.op_value = *op_slot;
            } else if (!term(true, right, operation, op_slot)) {
                return 0;
            }
            position += 2;
        }
        return position;
    }

    // A paren whose whole content is an operand followed by operator and operand pairs: its value in the
    // running value.
    bool paren(Cell const& paren)
    {
        SeriesBuffer* const buffer = node::buffer(paren.word2);
        std::uint32_t const length = buffer->length();
        if (paren.word1 >= length) return false;
        Cell const* const cells = buffer->head_cell();
        if (!term(false, cells[paren.word1], 0, nullptr)) return false;
        std::uint32_t const after = operators(cells, paren.word1 + 1, length, false);
        return after == length;
    }

    Instruction* m_code;
    std::uint32_t m_capacity;
    std::uint32_t m_count = 0;
    std::uint32_t m_statement = 0;
    std::uint32_t m_first = 0; // the statement's first instruction
};

}

bool AnalysedBody::analyse(Cell const& body)
{
    m_count = 0;
    if (trace::state.on) return false;
    SeriesBuffer* const buffer = node::buffer(body.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t position = body.word1;
    if (position >= length) return false;
    Reader reader(m_code, capacity);
    if (cell::type_of(buffer->head_cell()[position]) != type_ids::set_word) {
        // Only as the whole body: after a statement, a word could be an operator the walk would apply to it.
        if (!reader.expression(buffer->head_cell(), position, length)) return false;
    } else {
        while (position < length) {
            position = reader.statement(buffer->head_cell(), position, length);
            if (position == 0) return false;
        }
    }
    m_count = reader.count();
    m_runs = state.runs;
    m_epoch = memory::epoch();
    m_collections = gc::state.collections;
    return true;
}

bool AnalysedBody::valid() const
{
    return m_runs == state.runs && m_epoch == memory::epoch() && m_collections == gc::state.collections
        && !trace::state.on;
}

void AnalysedBody::run_analysed(Cell const& body)
{
    if (!valid() && !analyse(body)) {
        m_state = State::Walk;
        eval_block_deferred(body, true);
        return;
    }
    m_state = State::Ready;
    Cell running = cell::make(type_ids::unset);
    Cell saved = running;
    Instruction const* instruction = m_code;
    Instruction const* const end = m_code + m_count;
    for (; instruction != end; ++instruction) {
        switch (instruction->kind) {
        case Kind::LoadWord:
            running = *instruction->slot;
            if (cell::type_of(running) != type_ids::integer) goto walk;
            break;
        case Kind::LoadLiteral:
            running = instruction->literal;
            break;
        case Kind::ApplyWord:
            if (cell::type_of(running) != type_ids::integer || cell::type_of(*instruction->slot) != type_ids::integer
                || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, running, *instruction->slot))
                goto walk;
            break;
        case Kind::ApplyLiteral:
            if (cell::type_of(running) != type_ids::integer || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, running, instruction->literal))
                goto walk;
            break;
        case Kind::ApplyLeftWord:
            saved = *instruction->slot;
            if (cell::type_of(saved) != type_ids::integer || cell::type_of(running) != type_ids::integer
                || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, saved, running))
                goto walk;
            running = saved;
            break;
        case Kind::ApplyLeftLiteral:
            saved = instruction->literal;
            if (cell::type_of(running) != type_ids::integer || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, saved, running))
                goto walk;
            running = saved;
            break;
        case Kind::LoadApplyLiteral:
            running = *instruction->slot;
            if (cell::type_of(running) != type_ids::integer || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, running, instruction->literal))
                goto walk;
            break;
        case Kind::UpdateLeftWord:
            saved = *instruction->slot;
            if (cell::type_of(saved) != type_ids::integer || cell::type_of(running) != type_ids::integer
                || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, saved, running))
                goto walk;
            running = saved;
            *instruction->slot = running;
            break;
        case Kind::UpdateLiteral:
            running = *instruction->slot;
            if (cell::type_of(running) != type_ids::integer || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, running, instruction->literal))
                goto walk;
            *instruction->slot = running;
            break;
        case Kind::Save:
            saved = running;
            break;
        case Kind::ApplySaved:
            if (cell::type_of(saved) != type_ids::integer || cell::type_of(running) != type_ids::integer
                || !same_cell(*instruction->op_slot, instruction->op_value)
                || !fast::apply_known(instruction->operation, saved, running))
                goto walk;
            running = saved;
            break;
        case Kind::Store:
            *instruction->slot = running;
            break;
        }
    }
    stack::set_only_result(running);
    return;

walk:
    // The statement that could not run here, and those after it, take the walk: nothing of it is done yet.
    // What made it fail (a float!, an operator redefined) would most likely fail again: the loop walks on.
    m_state = State::Walk;
    Cell rest = body;
    rest.word1 = instruction->position;
    eval_block_deferred(rest, true);
}

}
