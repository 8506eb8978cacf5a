// The parse engine's commands: what each keyword that waits for a sub-rule does once the sub-rule is done,
// and the edits of the input they make.

#include <algorithm>

#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "interpreter/parse/engine.h"
#include "runtime/errors.h"

namespace xol::parse {

Cell copy_part(Cell const& value, std::uint32_t count)
{
    TypeId const type = cell::type_of(value);
    auto const copy = datatype::is_registered(type) ? datatype::actions(type).copy : nullptr;
    if (copy == series::copy && type != type_ids::vector) {
        // What the series copy makes of a count from the index, without a refinement cell to pass it in.
        std::uint32_t const total = series::rs_total_length(value);
        std::uint32_t const from = std::min(series::index_of(value), total);
        std::uint32_t const header = value.header & (cell::type_mask | cell::new_line_flag);
        return Cell { header, 0, series::copy_part(series::node_of(value), from, std::min(count, total - from)), 0 };
    }
    Rooted at(value);
    Rooted part(integer::make(static_cast<std::int32_t>(count)));
    return copy ? copy(*at, &*part, false, nullptr) : series::copy(*at, &*part, false, nullptr);
}

State Engine::complete_command()
{
    std::size_t const place = stacks.rules.size() - 1;
    // A copy: completing may run code (a paren, an owner's handler) that runs parse in turn.
    Entry const entry = stacks.rules[place];
    switch (entry.command) {
    case Command::Repeat:
    case Command::While:
        return complete_repetition(stacks.rules[place]);
    case Command::To:
    case Command::Thru:
        return complete_to_thru(stacks.rules[place]);
    case Command::Copy:
        if (m_match) complete_copy(entry);
        break;
    case Command::Set:
        if (m_match) complete_set(entry);
        break;
    case Command::Not:
        // A look-ahead: the input is given back whatever the outcome.
        m_match = !m_match;
        set_index(entry.input_index);
        break;
    case Command::Into:
        complete_into();
        break;
    case Command::Remove:
        if (m_match) {
            remove_stretch(entry.input_index, index());
            set_index(entry.input_index);
        }
        break;
    case Command::Collect:
        complete_collect();
        break;
    case Command::Keep:
    case Command::KeepParen:
        complete_keep(entry);
        break;
    case Command::Ahead:
        set_index(entry.input_index);
        break;
    case Command::Change:
    case Command::ChangeOnly:
        complete_change(entry);
        break;
    case Command::Case:
        m_mode = static_cast<CompareOp>(entry.maximum);
        break;
    case Command::Block:
        break;
    }
    return drop_command();
}

// Another iteration while the sub-rule matches, below the maximum; an iteration of any, some, opt or a
// count that matched without moving the input (nor shortening it) ends the repetition. while goes on.
State Engine::complete_repetition(Entry& entry)
{
    auto const place = static_cast<std::int64_t>(&entry - stacks.rules.data());
    std::int32_t const count = entry.count;
    bool again = m_match && (entry.maximum < 0 || count < entry.maximum);
    if (entry.command == Command::Repeat && index() == entry.input_index && remaining() >= entry.input_length)
        again = false;
    if (m_break_target == place) {
        again = false;
        m_break_target = -1;
    }
    if (again) {
        entry.input_index = index();
        entry.input_length = remaining();
        entry.finished = Command::Block;
        entry.count = count + 1;
        m_cursor = entry.position;
        event(words::Word::iterate);
        return State::NextElement;
    }
    if (m_match)
        m_match = count >= entry.minimum;
    else
        m_match = count - 1 >= entry.minimum || entry.minimum == 0;
    return drop_command();
}

// The sub-rule is tried at each place from the input's position up to its end (or limit), in turn.
State Engine::complete_to_thru(Entry& entry)
{
    if (m_match) {
        if (entry.command == Command::To) set_index(entry.input_index);
        return drop_command();
    }
    if (entry.input_index >= end_index()) {
        m_match = is_word(rule_at(entry.position + 1), words::Symbol::end);
        return drop_command();
    }
    entry.input_index += 1;
    set_index(entry.input_index);
    entry.input_length = remaining();
    entry.finished = Command::Block;
    m_cursor = entry.position;
    event(words::Word::pop);
    event(words::Word::iterate);
    return State::NextElement;
}

void Engine::complete_copy(Entry const& entry)
{
    std::uint32_t const saved = std::min(entry.input_index, total());
    std::uint32_t const from = std::min(saved, index());
    Rooted word(entry.cell);
    charge(std::max(saved, index()) - from);
    Rooted copied(copy_part(input_at(from), std::max(saved, index()) - from));
    word::set(*word, *copied);
}

// The first element matched, when the input moved: a char!, an integer! byte or the cell.
void Engine::complete_set(Entry const& entry)
{
    Rooted word(entry.cell);
    Rooted value(index() > entry.input_index ? element_at(entry.input_index) : none_value);
    word::set(*word, *value);
}

// The inner series must be consumed and its rule block run to its tail; the outer input then moves past it.
void Engine::complete_into()
{
    bool const entered = m_match && at_end() && m_left_at_tail;
    stacks.inputs.pop_back();
    *m_input = stacks.inputs.back();
    m_kind = kind_of(cell::type_of(*m_input));
    clamp_index();
    if (entered) set_index(std::uint64_t { index() } + 1);
    m_match = entered;
}

// The rule element after the sub-rule is the new value, whether or not the sub-rule matched.
void Engine::complete_change(Entry const& entry)
{
    Cell const& keyword = words::word_of(words::Word::change);
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, keyword);
    ++m_cursor;
    if (!m_match) return;
    Rooted value(edit_value(rule_at(m_cursor)));
    std::uint32_t const saved = std::min(entry.input_index, total());
    std::uint32_t const from = std::min(saved, index());
    std::uint32_t const to = std::max(saved, index());
    Rooted at(input_at(from));
    TypeId const type = cell::type_of(*at);
    auto const change = datatype::is_registered(type) ? datatype::actions(type).change : nullptr;
    if (!change) fire_error(err::internal::not_done);
    std::uint32_t const before = total();
    Cell const after
        = change(*at, *value, static_cast<std::int32_t>(to - from), entry.command == Command::ChangeOnly, 1);
    charge(total() > before ? total() - before : 0);
    set_index(series::index_of(after));
}

Cell Engine::position_word_value(Cell const& rule) const
{
    TypeId const type = cell::type_of(rule);
    if (type != type_ids::word && type != type_ids::get_word) return none_value;
    Cell const value = value_of(rule);
    return is_input_series(value) ? value : none_value;
}

Cell Engine::edit_value(Cell const& given)
{
    Rooted rule(given);
    switch (cell::type_of(*rule)) {
    case type_ids::path:
        fire_with(err::script::parse_rule, *rule);
    case type_ids::paren:
        evaluate_paren(*rule);
        return *m_paren_value;
    case type_ids::word: {
        Cell const value = value_of(*rule);
        if (cell::type_of(value) == type_ids::unset) fire_with(err::script::no_value, *rule);
        return value;
    }
    default:
        return *rule;
    }
}

void Engine::remove_stretch(std::uint32_t from, std::uint32_t to)
{
    to = std::min(to, total());
    if (to <= from) return;
    Rooted at(input_at(from));
    Rooted part(integer::make(static_cast<std::int32_t>(to - from)));
    TypeId const type = cell::type_of(*at);
    auto const remove = datatype::is_registered(type) ? datatype::actions(type).remove : nullptr;
    if (remove)
        remove(*at, &*part, nullptr);
    else
        series::remove(*at, &*part, nullptr);
}

}
