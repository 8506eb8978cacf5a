// Analysed code: the side form of a block walked as code, read once, and the walk that runs with it.

#include "interpreter/analysed_code.h"

#include <array>
#include <cstring>
#include <vector>

#include "datatypes/function.h"
#include "datatypes/op.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator_walk.h"
#include "interpreter/fast_paths.h"
#include "interpreter/trace.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::interp::analysed {

namespace {

// Longer blocks are mostly run once (a script, a spec): copying and comparing them would not pay.
constexpr std::uint32_t max_cells = 64;

enum class Kind : std::uint8_t {
    Expression, // an operand, then an Op node and its right operand for each operator
    Literal, // a value that evaluates to itself
    Variable, // a word that held a value to read
    Call, // a word that held a function with a simple shape; followed by its argument expressions
    Paren,
    Op, // an operator word
};

struct Node {
    Kind kind;
    std::uint8_t count = 0; // Expression: operators; Call: arguments
    bool simple = false; // Expression: its operands are literals and variables only
    bool word_after = false; // Expression: a word follows it, which the lookahead looks at
    std::uint32_t position = 0; // the first cell
    std::uint32_t end = 0; // the position after the node's cells, arguments and operators included
    std::uint32_t next = 0; // the node after this one's own nodes
    Cell cell {}; // the cell at `position`, as read
};

}

struct Form {
    NodeId node = no_node;
    std::uint32_t head = 0;
    std::uint32_t length = 0;
    std::uint32_t users = 0; // walks using it now
    bool cached = true; // still in the table: a form evicted while in use is freed by its last user
    bool useful = false; // some statement is analysed
    std::vector<Cell> cells; // the block's cells from its index, as they were read
    std::vector<std::int32_t> statements; // per cell: the Expression node of a statement starting there, or -1
    std::vector<Node> nodes;
};

namespace {

// ---- The table: direct-mapped by series and index. A block is read on its second walk, so one walked
// once costs only its entry.

struct Entry {
    NodeId node = no_node;
    std::uint32_t head = 0;
    std::uint32_t length = 0;
    Form* form = nullptr;
};

constexpr std::uint32_t table_bits = 10;
std::array<Entry, std::size_t { 1 } << table_bits> table;

Entry& entry_for(NodeId node, std::uint32_t head)
{
    std::uint32_t const hash = (node * 2654435761u) ^ (head * 40503u);
    return table[hash >> (32 - table_bits)];
}

void release(Form* form)
{
    if (!form) return;
    form->cached = false;
    if (form->users == 0) delete form;
}

bool same_cells(Cell const* live, Cell const* copy, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        if (live[i].header != copy[i].header || live[i].word1 != copy[i].word1 || live[i].word2 != copy[i].word2
            || live[i].word3 != copy[i].word3)
            return false;
    }
    return true;
}

// ---- Reading a block into its form. The copy is read, not the block: finding a function's shape may
// allocate.

class Reader {
public:
    explicit Reader(Form& form)
        : m_form(form)
    {
    }

    Cell const& cell(std::uint32_t position) const { return m_form.cells[position - m_form.head]; }

    // The expression at `position`: answers the position after it, or 0 when the form cannot hold it.
    std::uint32_t expression(std::uint32_t position)
    {
        std::uint32_t const index = add(Kind::Expression, position);
        std::uint32_t end = operand(position);
        if (end == 0) return 0;
        bool simple = plain_operand(index + 1);
        while (end < m_form.length) {
            Cell const& word = cell(end);
            if (cell::type_of(word) != type_ids::word) break;
            Cell const* value = walk::peek_value(word);
            if (!value || cell::type_of(*value) != type_ids::op) break;
            if (end + 1 >= m_form.length || m_form.nodes[index].count == 255) return 0;
            finish(add(Kind::Op, end), end + 1);
            std::uint32_t const right = static_cast<std::uint32_t>(m_form.nodes.size());
            end = operand(end + 1);
            if (end == 0) return 0;
            simple = simple && plain_operand(right);
            ++m_form.nodes[index].count;
        }
        m_form.nodes[index].simple = simple;
        m_form.nodes[index].word_after = end < m_form.length && cell::type_of(cell(end)) == type_ids::word;
        return finish(index, end);
    }

private:
    bool plain_operand(std::uint32_t index) const
    {
        Kind const kind = m_form.nodes[index].kind;
        return kind == Kind::Literal || kind == Kind::Variable;
    }

    std::uint32_t add(Kind kind, std::uint32_t position)
    {
        Node node { kind };
        node.position = position;
        if (kind != Kind::Expression) node.cell = cell(position);
        m_form.nodes.push_back(node);
        return static_cast<std::uint32_t>(m_form.nodes.size() - 1);
    }

    std::uint32_t finish(std::uint32_t index, std::uint32_t end)
    {
        m_form.nodes[index].end = end;
        m_form.nodes[index].next = static_cast<std::uint32_t>(m_form.nodes.size());
        return end;
    }

    std::uint32_t operand(std::uint32_t position)
    {
        Cell const current = cell(position);
        switch (cell::type_of(current)) {
        case type_ids::integer:
        case type_ids::float_:
        case type_ids::string:
        case type_ids::char_:
        case type_ids::block:
            return finish(add(Kind::Literal, position), position + 1);
        case type_ids::paren:
            return finish(add(Kind::Paren, position), position + 1);
        case type_ids::word:
            break;
        default:
            return 0;
        }
        Cell const* held = walk::peek_value(current);
        if (!held) return 0;
        Cell const value = *held;
        switch (cell::type_of(value)) {
        case type_ids::native:
        case type_ids::action:
        case type_ids::function:
            return call(value, position);
        case type_ids::unset:
        case type_ids::routine:
        case type_ids::op:
            return 0;
        default:
            return finish(add(Kind::Variable, position), position + 1);
        }
    }

    std::uint32_t call(Cell const& function, std::uint32_t position)
    {
        NodeId descriptor_node = no_node;
        std::uint32_t const shape = call_shape(function, descriptor_node);
        if (!(shape & call_shape_simple)) return 0;
        std::uint32_t const leading = shape & call_shape_leading_mask;
        std::uint32_t arguments = 0;
        SeriesBuffer* const descriptors = node::buffer(descriptor_node);
        for (std::uint32_t i = 0; i < leading && i < descriptors->cell_count(); ++i)
            if (argument_kind(descriptors->head_cell()[i]) != ArgumentKind::NotFetched) ++arguments;
        if (arguments > 255) return 0;
        std::uint32_t const index = add(Kind::Call, position);
        m_form.nodes[index].count = static_cast<std::uint8_t>(arguments);
        std::uint32_t end = position + 1;
        for (std::uint32_t i = 0; i < arguments; ++i) {
            if (end >= m_form.length) return 0;
            end = expression(end);
            if (end == 0) return 0;
        }
        return finish(index, end);
    }

    Form& m_form;
};

Form* read_form(Cell const& series, std::uint32_t length)
{
    auto* form = new Form;
    form->node = series.word2;
    form->head = series.word1;
    form->length = length;
    Cell const* live = node::buffer(series.word2)->head_cell();
    form->cells.assign(live + series.word1, live + length);
    form->statements.assign(length - series.word1, -1);
    Reader reader(*form);
    std::uint32_t position = form->head;
    while (position < length) {
        std::size_t const first = form->nodes.size();
        std::uint32_t const end = reader.expression(position);
        if (end == 0) {
            // The statements after one the form cannot hold start where the walk finds them.
            form->nodes.resize(first);
            break;
        }
        form->statements[position - form->head] = static_cast<std::int32_t>(first);
        form->useful = true;
        position = end;
    }
    return form;
}

// ---- The walk with the form.

// The value of a simple expression (its first operand at `operand`), read from the words' values and
// computed without a frame, as the walk's plain reading does; false, with nothing done, when the walk is to
// evaluate it (a variable that no longer holds a plain value, an operator word no longer an operator, a
// value or operation without a fast case).
[[gnu::always_inline]] inline bool simple_value(Node const* operand, std::uint32_t count, Cell& value)
{
    if (operand->kind == Kind::Literal) {
        value = operand->cell;
    } else {
        Cell const* held = walk::peek_value(operand->cell);
        if (!held || !walk::is_plain_held(*held)) return false;
        value = *held;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        Node const* const op_node = operand + 1;
        operand += 2;
        Cell const* op_value = walk::peek_value(op_node->cell);
        if (!op_value || cell::type_of(*op_value) != type_ids::op || cell::type_of(value) != type_ids::integer)
            return false;
        std::uint8_t const operation = fast::operation_code(*op_value);
        Cell const* right = operand->kind == Kind::Literal ? &operand->cell : walk::peek_value(operand->cell);
        if (operation == 0 || !right || cell::type_of(*right) != type_ids::integer
            || !fast::apply_known(operation, value, *right))
            return false;
    }
    return true;
}

struct Run {
    Node const* nodes;
    Form const& form;
    Code const& code;
    bool valid;

    // After anything that may have run code: the cells from `position` on must still be the copy's, and
    // tracing still off.
    void check(std::uint32_t position)
    {
        if (!valid) return;
        SeriesBuffer* const buffer = node::buffer(code.series.word2);
        if (trace::state.on || buffer->cell_count() < form.length) {
            valid = false;
            return;
        }
        if (position < form.length)
            valid = same_cells(
                buffer->head_cell() + position, form.cells.data() + (position - form.head), form.length - position);
    }

    std::uint32_t plain(std::uint32_t position, bool prefix, bool pushed)
    {
        position = walk::expression(code, position, prefix, pushed, false);
        check(position);
        return position;
    }

    // The expression (node `index`) at `position`, as expression(code, position, false, pushed, false).
    [[gnu::always_inline]] inline std::uint32_t expression(std::uint32_t index, std::uint32_t position, bool pushed)
    {
        Node const& whole = nodes[index];
        if (!valid || position != whole.position) return plain(position, false, pushed);
        if (whole.simple) {
            Cell value;
            if (!simple_value(&whole + 1, whole.count, value)) return plain(position, false, pushed);
            if (whole.word_after) {
                // A word after it that now names an operator: the lookahead applies it.
                Cell const* after = walk::peek_value(code.at(whole.end));
                if (after && cell::type_of(*after) == type_ids::op) return plain(position, false, pushed);
            }
            walk::produce(value, pushed);
            return whole.end;
        }
        return compound(index, position, pushed);
    }

    std::uint32_t compound(std::uint32_t index, std::uint32_t position, bool pushed);
    std::uint32_t operand(std::uint32_t index, std::uint32_t position, bool pushed);
};

struct ArgumentReading {
    Run* run;
    std::uint32_t next; // the node of the next argument
    std::uint32_t left; // arguments not yet read
};

std::uint32_t read_argument(void* context, std::uint32_t position)
{
    auto& reading = *static_cast<ArgumentReading*>(context);
    Run& run = *reading.run;
    if (reading.left == 0 || !run.valid) return 0;
    std::uint32_t const index = reading.next;
    Node const& argument = run.nodes[index];
    if (argument.position != position) {
        reading.left = 0;
        return 0;
    }
    --reading.left;
    reading.next = argument.next;
    return run.expression(index, position, true);
}

std::uint32_t Run::compound(std::uint32_t index, std::uint32_t position, bool pushed)
{
    Node const& whole = nodes[index];
    Cell* const entry_top = stack::state.top;
    std::uint32_t operand_index = index + 1;
    position = this->operand(operand_index, position, pushed);
    if (stack::has_pending()) return position;
    // The left operand sits where the expression began: pushed there, or stored in the base cell.
    Cell* const left = pushed ? entry_top : stack::state.base;
    for (std::uint32_t k = 0; k < whole.count; ++k) {
        Node const& op_node = nodes[nodes[operand_index].next];
        if (!valid || position != op_node.position) break;
        Cell const* value = walk::peek_value(op_node.cell);
        // No longer an operator: the expression ends here, as the lookahead would end it.
        if (!value || cell::type_of(*value) != type_ids::op) return position;
        std::uint8_t const operation = fast::operation_code(*value);
        if (operation == 0 || cell::type_of(*left) != type_ids::integer) break;
        std::uint32_t const right_index = nodes[operand_index].next + 1;
        Node const& right_node = nodes[right_index];
        if (right_node.kind == Kind::Literal || right_node.kind == Kind::Variable) {
            Cell const* right = right_node.kind == Kind::Literal ? &right_node.cell : walk::peek_value(right_node.cell);
            if (!right || cell::type_of(*right) != type_ids::integer || !fast::apply_known(operation, *left, *right))
                break;
            stack::cut_to(left + 1);
            position += 2;
        } else {
            // The operand's evaluation may move the operator's record: the function is kept rooted.
            Rooted function(Cell { op::wrapped_type(*value), value->word1, value->word2, value->word3 });
            Rooted name(op_node.cell);
            stack::cut_to(left + 1);
            std::uint32_t const after = this->operand(right_index, position + 1, true);
            if (stack::has_pending()) return after;
            Cell const& right = stack::state.top[-1];
            if (cell::type_of(right) == type_ids::integer && fast::apply_known(operation, *left, right)) {
                stack::cut_to(left + 1);
            } else {
                call_pushed(*function, *name);
                check(after);
            }
            position = after;
        }
        operand_index = right_index;
    }
    // The rest, and the lookahead after the last operator, as the walk does them.
    Cell const* next = code.peek(position);
    if (next && cell::type_of(*next) == type_ids::word) {
        position = walk::infix_tail(code, position, left);
        check(position);
    }
    return position;
}

std::uint32_t Run::operand(std::uint32_t index, std::uint32_t position, bool pushed)
{
    Node const& current = nodes[index];
    if (!valid || position != current.position) return plain(position, true, pushed);
    switch (current.kind) {
    case Kind::Literal:
        walk::produce(current.cell, pushed);
        return position + 1;
    case Kind::Variable: {
        Cell const* held = word::get_value(current.cell);
        if (!walk::is_plain_held(*held)) break;
        Cell const value = *held;
        walk::produce(value, pushed);
        return position + 1;
    }
    case Kind::Paren:
        walk::eval_paren(current.cell, pushed);
        check(position + 1);
        return position + 1;
    case Kind::Call: {
        Cell const* held = word::get_value(current.cell);
        TypeId const type = cell::type_of(*held);
        if (type != type_ids::native && type != type_ids::action && type != type_ids::function) break;
        Cell const function = *held;
        NodeId descriptor_node = no_node;
        std::uint32_t const shape = call_shape(function, descriptor_node);
        if (!(shape & call_shape_simple)) break;
        Cell const name = current.cell;
        CallSite const site { code, position + 1, nullptr, 0, &name, nullptr, call_evaluate, false, pushed };
        ArgumentReading reading { this, index + 1, current.count };
        position
            = call_reading(function, site, descriptor_node, shape & call_shape_leading_mask, read_argument, &reading);
        check(position);
        return position;
    }
    default:
        break;
    }
    return plain(position, true, pushed);
}

}

Use::Use(Cell const& series, std::uint32_t length)
{
    if (trace::state.on) return;
    std::uint32_t const head = series.word1;
    if (head >= length || length - head > max_cells) return;
    NodeId const node = series.word2;
    Entry& entry = entry_for(node, head);
    if (entry.node != node || entry.head != head || entry.length != length) {
        release(entry.form);
        entry = Entry { node, head, length, nullptr };
        return;
    }
    Form* form = entry.form;
    if (form && !form->useful) return;
    if (!form || !same_cells(node::buffer(node)->head_cell() + head, form->cells.data(), length - head)) {
        release(form);
        entry.form = nullptr;
        form = read_form(series, length);
        // Reading may have allocated: the table and the block are looked at again.
        Entry& again = entry_for(node, head);
        release(again.form);
        again = Entry { node, head, length, form };
        if (!form->useful || node::buffer(node)->cell_count() != length
            || !same_cells(node::buffer(node)->head_cell() + head, form->cells.data(), length - head))
            return;
    }
    m_form = form;
    ++form->users;
    m_valid = true;
}

Use::~Use()
{
    if (m_form && --m_form->users == 0 && !m_form->cached) delete m_form;
}

std::uint32_t Use::statement(Code const& code, std::uint32_t position)
{
    Run run { m_form->nodes.data(), *m_form, code, m_valid };
    std::int32_t const index = m_valid ? m_form->statements[position - m_form->head] : -1;
    position = index < 0 ? run.plain(position, false, false)
                         : run.expression(static_cast<std::uint32_t>(index), position, false);
    m_valid = run.valid;
    return position;
}

}
