// Analysed loop bodies: reading a body of plain integer assignments once, and running it without the walk.

#include "interpreter/analysed_body.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "datatypes/context.h"
#include "datatypes/logic.h"
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

// Appends the instructions of a body while it stays within the forms the walk reads in place.
class Reader {
public:
    Reader(
        Instruction* code, AnalysedBody::Operator* operators, AnalysedBody::ReadParen* parens, std::uint32_t capacity)
        : m_code(code)
        , m_operators(operators)
        , m_parens(parens)
        , m_capacity(capacity)
    {
    }

    std::uint32_t count() const { return m_count; }
    std::uint32_t operator_count() const { return m_operator_count; }
    std::uint32_t paren_count() const { return m_paren_count; }
    Cell const* stop_slot() const { return m_stop_slot; }

    // Statements may end before a word that is no operator: the rest of the body is then walked.
    void allow_stop() { m_stop_allowed = true; }

    // What has been read so far, to go back to when a statement cannot be read.
    struct Mark {
        std::uint32_t count;
        std::uint32_t operators;
        std::uint32_t parens;
    };
    Mark mark() const { return Mark { m_count, m_operator_count, m_paren_count }; }
    void rollback(Mark const& mark)
    {
        m_count = mark.count;
        m_operator_count = mark.operators;
        m_paren_count = mark.parens;
        m_stop_slot = nullptr;
    }

    // Whether a statement stores into a word read as an operator: the program checks the operators once a
    // run, so its own stores must leave them alone.
    bool stores_operator() const
    {
        for (std::uint32_t i = 0; i < m_count; ++i) {
            Kind const kind = m_code[i].kind;
            if (kind != Kind::Store && kind != Kind::UpdateLiteral && kind != Kind::UpdateLeftWord) continue;
            for (std::uint32_t j = 0; j < m_operator_count; ++j)
                if (m_operators[j].slot == m_code[i].slot) return true;
        }
        return false;
    }

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
            if (!paren(cells[position], 0)) return 0;
        } else if (!term(false, cells[position], 0)) {
            return 0;
        }
        position = operators(cells, position + 1, length, 0, m_first);
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
            if (!paren(cells[position], 0)) return false;
        } else if (!term(false, cells[position], 0)) {
            return false;
        }
        return operators(cells, position + 1, length, 0, m_first) == length;
    }

private:
    bool emit(Kind kind)
    {
        if (m_count == m_capacity) return false;
        m_code[m_count] = Instruction { kind, 0, 0, 0, m_statement, nullptr, nullptr, {} };
        ++m_count;
        return true;
    }

    // Records the operator word's value cell and the op! it holds, once for each cell.
    bool note_operator(Cell const* slot)
    {
        for (std::uint32_t i = 0; i < m_operator_count; ++i)
            if (m_operators[i].slot == slot) return true;
        if (m_operator_count == m_capacity) return false;
        m_operators[m_operator_count] = AnalysedBody::Operator { slot, *slot };
        ++m_operator_count;
        return true;
    }

    // An integer! literal or a bound word as a Load operand, or with `applied` an Apply operand.
    bool term(bool applied, Cell const& operand, std::uint8_t operation)
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
        return true;
    }

    // The operator and operand pairs from `position` up to the end or the next set-word; answers the
    // position after them, 0 when one is not an operator with a fast case or an operand of the program's.
    // `first` is the expression's first instruction; parens nest up to AnalysedBody::paren_depth (the walk
    // reads them in place), `depth` counting those around the expression.
    std::uint32_t operators(
        Cell const* cells, std::uint32_t position, std::uint32_t length, std::uint32_t depth, std::uint32_t first)
    {
        while (position < length && cell::type_of(cells[position]) != type_ids::set_word) {
            if (cell::type_of(cells[position]) != type_ids::word) return 0;
            Cell const* const op_slot = bound_value(cells[position]);
            if (!op_slot) return 0;
            if (cell::type_of(*op_slot) != type_ids::op) {
                // The statement ends before a word that is no operator now; the program checks that it
                // still is none at each run, as the walk's lookahead would.
                if (!m_stop_allowed) return 0;
                m_stop_slot = op_slot;
                return position;
            }
            std::uint8_t const operation = fast::operation_code(*op_slot);
            if (operation == 0 || position + 1 >= length || !note_operator(op_slot)) return 0;
            Cell const& right = cells[position + 1];
            bool const nested = cell::type_of(right) == type_ids::paren;
            if (nested && depth + 1 >= AnalysedBody::paren_depth) return 0;
            if (nested && m_count == first + 1
                && (m_code[first].kind == Kind::LoadWord || m_code[first].kind == Kind::LoadLiteral)) {
                // `total + (i and 127)`: the paren first, then the operator with the one operand before
                // it as its left (reading either runs nothing, so the order cannot be seen).
                Instruction const left = m_code[first];
                m_count = first;
                if (!paren(right, depth + 1)
                    || !emit(left.kind == Kind::LoadWord ? Kind::ApplyLeftWord : Kind::ApplyLeftLiteral))
                    return 0;
                Instruction& instruction = m_code[m_count - 1];
                instruction.slot = left.slot;
                instruction.literal = left.literal;
                instruction.operation = operation;
            } else if (nested) {
                if (!emit(Kind::Save)) return 0;
                m_code[m_count - 1].depth = static_cast<std::uint8_t>(depth);
                if (!paren(right, depth + 1) || !emit(Kind::ApplySaved)) return 0;
                Instruction& instruction = m_code[m_count - 1];
                instruction.operation = operation;
                instruction.depth = static_cast<std::uint8_t>(depth);
            } else if (!term(true, right, operation)) {
                return 0;
            }
            position += 2;
        }
        return position;
    }

    // A paren whose whole content is an operand followed by operator and operand pairs: its value in the
    // running value.
    bool paren(Cell const& paren, std::uint32_t depth)
    {
        SeriesBuffer* const buffer = node::buffer(paren.word2);
        std::uint32_t const length = buffer->length();
        if (paren.word1 >= length || m_paren_count == AnalysedBody::paren_capacity) return false;
        m_parens[m_paren_count] = AnalysedBody::ReadParen { paren.word2, paren.word1, length - paren.word1 };
        ++m_paren_count;
        Cell const* const cells = buffer->head_cell();
        std::uint32_t const first = m_count;
        if (!term(false, cells[paren.word1], 0)) return false;
        bool const stop_allowed = m_stop_allowed;
        m_stop_allowed = false;
        std::uint32_t const after = operators(cells, paren.word1 + 1, length, depth, first);
        m_stop_allowed = stop_allowed;
        return after == length;
    }

    Instruction* m_code;
    AnalysedBody::Operator* m_operators;
    AnalysedBody::ReadParen* m_parens;
    std::uint32_t m_paren_count = 0;
    bool m_stop_allowed = false; // a statement may end before a word that is not an operator
    Cell const* m_stop_slot = nullptr; // the value cell of the word the last statement ended before
    std::uint32_t m_capacity;
    std::uint32_t m_count = 0;
    std::uint32_t m_operator_count = 0;
    std::uint32_t m_statement = 0;
    std::uint32_t m_first = 0; // the statement's first instruction
};

// Two cells with the same bits: compared as two 64-bit halves.
bool same_cell(Cell const& a, Cell const& b)
{
    std::uint64_t a_half[2];
    std::uint64_t b_half[2];
    std::memcpy(a_half, &a, sizeof a_half);
    std::memcpy(b_half, &b, sizeof b_half);
    return ((a_half[0] ^ b_half[0]) | (a_half[1] ^ b_half[1])) == 0;
}

// The fast cases, numbered for the program's codes: the arithmetic and bitwise ones in MathOp order, then
// the comparisons in CompareOp order.
enum class Op : std::uint8_t {
    Add,
    Subtract,
    Multiply,
    Divide,
    Remainder,
    Or,
    And,
    Xor,
    Equal,
    NotEqual,
    StrictEqual,
    Lesser,
    LesserOrEqual,
    Greater,
    GreaterOrEqual
};
constexpr std::uint8_t op_count = 15;

constexpr Op op_of(std::uint8_t operation)
{
    return static_cast<Op>((operation & 0x80) ? 8 + (operation & 0x7F) : operation - 1);
}

constexpr bool is_comparison(Op op)
{
    return op >= Op::Equal;
}

// A fast case on two 32-bit integers, the result in `out` (a comparison's as 0 or 1): false when the result
// is not an integer! or logic! (an overflow into float!, an inexact quotient) or the action refuses the
// division. The walk then computes it as it always does.
template <Op op> [[gnu::always_inline]] inline bool calculate(std::int32_t left, std::int32_t right, std::int32_t& out)
{
    if constexpr (op == Op::Add) return !__builtin_add_overflow(left, right, &out);
    if constexpr (op == Op::Subtract) return !__builtin_sub_overflow(left, right, &out);
    if constexpr (op == Op::Multiply) return !__builtin_mul_overflow(left, right, &out);
    if constexpr (op == Op::Divide) {
        if (right == 0 || (left == INT32_MIN && right == -1) || left % right != 0) return false;
        out = left / right;
    }
    if constexpr (op == Op::Remainder) {
        if (right == 0 || (left == INT32_MIN && right == -1)) return false;
        out = left % right;
    }
    if constexpr (op == Op::Or) out = left | right;
    if constexpr (op == Op::And) out = left & right;
    if constexpr (op == Op::Xor) out = left ^ right;
    if constexpr (op == Op::Equal || op == Op::StrictEqual) out = left == right;
    if constexpr (op == Op::NotEqual) out = left != right;
    if constexpr (op == Op::Lesser) out = left < right;
    if constexpr (op == Op::LesserOrEqual) out = left <= right;
    if constexpr (op == Op::Greater) out = left > right;
    if constexpr (op == Op::GreaterOrEqual) out = left >= right;
    return true;
}

// What the running value is, known when the body is read: an operand's cell as it was read (kept whole,
// its header flags with it), an operation's integer! or a comparison's logic!.
enum class Shape : std::uint8_t { Plain, Integer, Logic };

inline Cell integer_cell(std::int32_t number)
{
    return cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(number), 0);
}

inline Cell shaped_cell(Shape shape, std::int32_t number, Cell const* plain)
{
    if (shape == Shape::Plain) return *plain;
    if (shape == Shape::Logic) return logic::make(number != 0);
    return integer_cell(number);
}

// One code a step: the kinds without an operator below the first 16, those with one at kind * 16 + Op.
constexpr std::uint8_t code_of(Kind kind)
{
    return static_cast<std::uint8_t>(kind);
}
constexpr std::uint8_t code_of(Kind kind, Op op)
{
    return static_cast<std::uint8_t>(16 * static_cast<unsigned>(kind) + static_cast<unsigned>(op));
}

inline bool is_integer(Cell const& cell)
{
    return cell::type_of(cell) == type_ids::integer;
}

template <Op op> inline void store_result(Cell& target, std::int32_t number)
{
    target = is_comparison(op) ? logic::make(number != 0) : integer_cell(number);
}

// Runs the program once, leaving its running value in `running`; answers nullptr, or the instruction that
// could not run (nothing of its statement done). Reads and writes only the slots the program holds:
// allocates nothing.
[[gnu::noinline]] Instruction const* execute(
    Instruction const* instruction, Instruction const* const end, std::int32_t& running)
{
    std::int32_t saved[AnalysedBody::paren_depth] = {};
    for (; instruction != end; ++instruction) {
        Instruction const& step = *instruction;
        std::int32_t const literal = cell::integer_payload(step.literal);
        switch (step.code) {
        case code_of(Kind::LoadWord):
            if (!is_integer(*step.slot)) return instruction;
            running = cell::integer_payload(*step.slot);
            break;
        case code_of(Kind::LoadLiteral):
            running = literal;
            break;
        case code_of(Kind::Save):
            saved[step.depth] = running;
            break;
        case code_of(Kind::Store):
            *step.slot = shaped_cell(static_cast<Shape>(step.operation), running, step.source);
            break;
#define XOL_ANALYSED_STEPS(op)                                                                                         \
    case code_of(Kind::ApplyWord, op):                                                                                 \
        if (!is_integer(*step.slot) || !calculate<op>(running, cell::integer_payload(*step.slot), running))            \
            return instruction;                                                                                        \
        break;                                                                                                         \
    case code_of(Kind::ApplyLiteral, op):                                                                              \
        if (!calculate<op>(running, literal, running)) return instruction;                                             \
        break;                                                                                                         \
    case code_of(Kind::ApplyLeftWord, op):                                                                             \
        if (!is_integer(*step.slot) || !calculate<op>(cell::integer_payload(*step.slot), running, running))            \
            return instruction;                                                                                        \
        break;                                                                                                         \
    case code_of(Kind::ApplyLeftLiteral, op):                                                                          \
        if (!calculate<op>(literal, running, running)) return instruction;                                             \
        break;                                                                                                         \
    case code_of(Kind::ApplySaved, op):                                                                                \
        if (!calculate<op>(saved[step.depth], running, running)) return instruction;                                   \
        break;                                                                                                         \
    case code_of(Kind::LoadApplyLiteral, op):                                                                          \
        if (!is_integer(*step.slot) || !calculate<op>(cell::integer_payload(*step.slot), literal, running))            \
            return instruction;                                                                                        \
        break;                                                                                                         \
    case code_of(Kind::UpdateLiteral, op):                                                                             \
        if (!is_integer(*step.slot) || !calculate<op>(cell::integer_payload(*step.slot), literal, running))            \
            return instruction;                                                                                        \
        store_result<op>(*step.slot, running);                                                                         \
        break;                                                                                                         \
    case code_of(Kind::UpdateLeftWord, op):                                                                            \
        if (!is_integer(*step.slot) || !calculate<op>(cell::integer_payload(*step.slot), running, running))            \
            return instruction;                                                                                        \
        store_result<op>(*step.slot, running);                                                                         \
        break;
            XOL_ANALYSED_STEPS(Op::Add)
            XOL_ANALYSED_STEPS(Op::Subtract)
            XOL_ANALYSED_STEPS(Op::Multiply)
            XOL_ANALYSED_STEPS(Op::Divide)
            XOL_ANALYSED_STEPS(Op::Remainder)
            XOL_ANALYSED_STEPS(Op::Or)
            XOL_ANALYSED_STEPS(Op::And)
            XOL_ANALYSED_STEPS(Op::Xor)
            XOL_ANALYSED_STEPS(Op::Equal)
            XOL_ANALYSED_STEPS(Op::NotEqual)
            XOL_ANALYSED_STEPS(Op::StrictEqual)
            XOL_ANALYSED_STEPS(Op::Lesser)
            XOL_ANALYSED_STEPS(Op::LesserOrEqual)
            XOL_ANALYSED_STEPS(Op::Greater)
            XOL_ANALYSED_STEPS(Op::GreaterOrEqual)
#undef XOL_ANALYSED_STEPS
        default:
            return instruction;
        }
    }
    return nullptr;
}

// Gives each instruction its code, following what the running value is: an operator applied to a
// comparison's logic! always takes the walk (its action refuses a logic!), so such a body is not read.
// Answers the shape of the body's value and, when plain, the cell it is read from.
bool assign_codes(Instruction* code, std::uint32_t count, Shape& shape, Cell const*& plain)
{
    shape = Shape::Plain;
    plain = nullptr;
    for (std::uint32_t i = 0; i < count; ++i) {
        Instruction& step = code[i];
        Op const op = op_of(step.operation);
        switch (step.kind) {
        case Kind::LoadWord:
        case Kind::LoadLiteral:
            step.code = code_of(step.kind);
            shape = Shape::Plain;
            plain = step.kind == Kind::LoadWord ? step.slot : &step.literal;
            continue;
        case Kind::Save:
            if (shape == Shape::Logic) return false;
            step.code = code_of(step.kind);
            continue;
        case Kind::Store:
            step.code = code_of(step.kind);
            step.operation = static_cast<std::uint8_t>(shape);
            step.source = plain;
            continue;
        case Kind::LoadApplyLiteral:
        case Kind::UpdateLiteral:
            break;
        default:
            if (shape == Shape::Logic) return false;
            break;
        }
        if (step.operation == 0 || static_cast<std::uint8_t>(op) >= op_count) return false;
        step.code = code_of(step.kind, op);
        shape = is_comparison(op) ? Shape::Logic : Shape::Integer;
    }
    return true;
}

}

Cell* AnalysedBody::direct_slot(Cell const& word)
{
    return interp::direct_slot(word);
}

bool AnalysedBody::analyse(Cell const& body)
{
    m_count = 0;
    m_operator_count = 0;
    m_rest = 0;
    m_stop_slot = nullptr;
    m_snapshot_count = 0;
    if (trace::state.on) return false;
    SeriesBuffer* const buffer = node::buffer(body.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t position = body.word1;
    if (position >= length) return false;
    Cell const* const cells = buffer->head_cell();
    Reader reader(m_code, m_operators, m_parens, capacity);
    if (cell::type_of(cells[position]) != type_ids::set_word) {
        // Only as the whole body: after a statement, a word could be an operator the walk would apply to it.
        if (!reader.expression(cells, position, length)) return false;
    } else {
        reader.allow_stop();
        while (position < length) {
            Reader::Mark const mark = reader.mark();
            std::uint32_t const after = reader.statement(cells, position, length);
            if (after == 0) {
                // The statements read so far run here, the rest of the body is walked.
                if (position == body.word1) return false;
                reader.rollback(mark);
                m_rest = position;
                break;
            }
            position = after;
            if (position < length && cell::type_of(cells[position]) != type_ids::set_word) {
                m_rest = position;
                m_stop_slot = reader.stop_slot();
                break;
            }
        }
    }
    if (reader.stores_operator()) return false;
    Shape shape = Shape::Plain;
    Cell const* plain = nullptr;
    if (!assign_codes(m_code, reader.count(), shape, plain)) return false;
    if (m_rest != 0 && !take_snapshot(body, reader.paren_count())) return false;
    m_shape = static_cast<std::uint8_t>(shape);
    m_plain = plain;
    m_count = reader.count();
    m_operator_count = reader.operator_count();
    m_runs = state.runs;
    m_epoch = memory::epoch();
    m_collections = gc::state.collections;
    return true;
}

// The walked rest of a body advances the run counter at every iteration: what was read is kept instead,
// the cells of the statements and of their parens, which hold every word's binding.
bool AnalysedBody::take_snapshot(Cell const& body, std::uint32_t paren_count)
{
    m_paren_count = paren_count;
    std::uint32_t total = m_rest - body.word1;
    for (std::uint32_t i = 0; i < paren_count; ++i) total += m_parens[i].count;
    if (total > snapshot_capacity) return false;
    Cell* out = m_snapshot;
    Cell const* const cells = node::buffer(body.word2)->head_cell();
    out = std::copy(cells + body.word1, cells + m_rest, out);
    for (std::uint32_t i = 0; i < paren_count; ++i) {
        Cell const* const paren_cells = node::buffer(m_parens[i].node)->head_cell() + m_parens[i].start;
        out = std::copy(paren_cells, paren_cells + m_parens[i].count, out);
    }
    m_snapshot_count = total;
    return true;
}

bool AnalysedBody::same_as_read(Cell const& body) const
{
    SeriesBuffer* const buffer = node::buffer(body.word2);
    if (buffer->length() < m_rest) return false;
    Cell const* snapshot = m_snapshot;
    std::uint32_t const count = m_rest - body.word1;
    if (std::memcmp(buffer->head_cell() + body.word1, snapshot, count * sizeof(Cell)) != 0) return false;
    snapshot += count;
    for (std::uint32_t i = 0; i < m_paren_count; ++i) {
        ReadParen const& paren = m_parens[i];
        SeriesBuffer* const paren_buffer = node::buffer(paren.node);
        if (paren_buffer->length() != paren.start + paren.count
            || std::memcmp(paren_buffer->head_cell() + paren.start, snapshot, paren.count * sizeof(Cell)) != 0)
            return false;
        snapshot += paren.count;
    }
    return true;
}

[[gnu::always_inline]] inline bool AnalysedBody::valid(Cell const& body) const
{
    if (m_epoch != memory::epoch() || m_collections != gc::state.collections || trace::state.on) return false;
    if (m_rest == 0 ? m_runs != state.runs : !same_as_read(body)) return false;
    if (m_stop_slot && cell::type_of(*m_stop_slot) == type_ids::op) return false;
    for (std::uint32_t i = 0; i < m_operator_count; ++i)
        if (!same_cell(*m_operators[i].slot, m_operators[i].value)) return false;
    return true;
}

[[gnu::always_inline]] inline bool AnalysedBody::ready(Cell const& body)
{
    if (m_state == State::Ready && valid(body)) {
        m_reads = 0;
        return true;
    }
    // A body read again at every run (its walked rest allocates each time) costs more than it saves.
    if (m_reads < max_reads && analyse(body)) {
        ++m_reads;
        m_state = State::Ready;
        return true;
    }
    m_state = State::Walk;
    return false;
}

bool AnalysedBody::reads_operator_from(Cell const* slot) const
{
    for (std::uint32_t i = 0; i < m_operator_count; ++i)
        if (m_operators[i].slot == slot) return true;
    return false;
}

void AnalysedBody::walk_from(Cell const& body, Instruction const* instruction)
{
    // The statement that could not run here, and those after it, take the walk: nothing of it is done yet.
    // What made it fail (a float!, an operator redefined) would most likely fail again: the loop walks on.
    m_state = State::Walk;
    Cell rest = body;
    rest.word1 = instruction->position;
    eval_block_deferred(rest, true);
}

void AnalysedBody::walk_rest(Cell const& body)
{
    Cell rest = body;
    rest.word1 = m_rest;
    eval_block_deferred(rest, true);
}

void AnalysedBody::run_analysed(Cell const& body)
{
    if (!ready(body)) {
        eval_block_deferred(body, true);
        return;
    }
    std::int32_t running = 0;
    Instruction const* const failed = execute(m_code, m_code + m_count, running);
    if (failed) {
        walk_from(body, failed);
        return;
    }
    if (m_rest != 0) {
        walk_rest(body);
        return;
    }
    stack::set_only_result(shaped_cell(static_cast<Shape>(m_shape), running, m_plain));
}

void AnalysedBody::run_times(Cell const& body, std::int32_t times, Next const& next, std::int32_t& begun)
{
    begun = 1;
    if (m_state == State::Walk || !ready(body)) {
        eval_block_deferred(body, true);
        return;
    }
    // The loop word's slot is written between iterations: never one the program reads an operator from.
    if (next.word_slot == nullptr ? next.counter || next.cursor : reads_operator_from(next.word_slot)) times = 1;
    // Nothing allocates while the program runs: the cursor's buffer stays where it is.
    Cell* const word_slot = next.word_slot;
    Cell* const counter = next.counter;
    Cell* const cursor = next.cursor;
    SeriesBuffer* const values = cursor ? node::buffer(cursor->word2) : nullptr;
    Instruction const* const end = m_code + m_count;
    std::int32_t running = 0;
    std::int32_t iteration = 0;
    for (;;) {
        Instruction const* const failed = execute(m_code, end, running);
        if (failed) {
            begun = iteration + 1;
            walk_from(body, failed);
            return;
        }
        if (m_rest != 0) {
            begun = iteration + 1;
            walk_rest(body);
            return;
        }
        ++iteration;
        if (iteration >= times) break;
        if (counter) {
            ++counter->word2; // unsigned: as the native steps it
            *word_slot = *counter;
        } else if (values) {
            std::uint32_t const index = cursor->word1;
            if (index >= values->length()) break;
            *word_slot = values->head_cell()[index];
            cursor->word1 = index + 1;
        }
    }
    begun = iteration;
    stack::set_only_result(shaped_cell(static_cast<Shape>(m_shape), running, m_plain));
}

}
