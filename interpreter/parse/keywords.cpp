// The parse engine's keywords: what each of them does when the loop meets it, and the commands they push.

#include <algorithm>

#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "interpreter/parse/engine.h"
#include "runtime/errors.h"
#include "runtime/type_families.h"

namespace xol::parse {

using words::Symbol;
using words::Word;

namespace {

// The command a repetition or search keyword pushes, with its counts; false for any other rule.
bool searching_command(Keyword named, Command& command, std::int32_t& minimum, std::int32_t& maximum)
{
    command = Command::Repeat;
    minimum = 0;
    maximum = -1;
    switch (named) {
    case Keyword::Some:
        minimum = 1;
        return true;
    case Keyword::Opt:
        maximum = 1;
        return true;
    case Keyword::While:
        command = Command::While;
        return true;
    case Keyword::To:
        command = Command::To;
        return true;
    case Keyword::Thru:
        command = Command::Thru;
        return true;
    case Keyword::Any:
        return true;
    default:
        return false;
    }
}

}

State Engine::keyword(Keyword named, Cell const& given)
{
    Cell const word = given;
    switch (named) {
    case Keyword::None:
        break;
    case Keyword::Bar:
        // Reached after an alternative that matched: the block is done.
        m_cursor = static_cast<std::int32_t>(rule_length());
        return State::NextElement;
    case Keyword::Skip:
        m_match = !at_end();
        if (m_match) set_index(index() + 1);
        event(Word::match);
        return State::AfterMatch;
    case Keyword::Any:
    case Keyword::Some:
    case Keyword::Opt:
    case Keyword::While: {
        if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
        Command const command = named == Keyword::While ? Command::While : Command::Repeat;
        std::int32_t const minimum = named == Keyword::Some ? 1 : 0;
        std::int32_t const maximum = named == Keyword::Opt ? 1 : -1;
        if (Cell literal; plain_literal(m_cursor + 1, literal))
            return literal_command_now(command, minimum, maximum, literal);
        push_command(command, minimum, maximum, none_value, false);
        return State::CommandRule;
    }
    case Keyword::Copy:
    case Keyword::Set:
        return keyword_copy_set(named, word);
    case Keyword::To:
    case Keyword::Thru:
        return keyword_to_thru(named, word);
    case Keyword::Remove:
        return keyword_remove(word);
    case Keyword::Break:
        return keyword_break(true);
    case Keyword::Reject:
        return keyword_break(false);
    case Keyword::Fail:
        // The rest of the alternative is not tried, nor are the block's other alternatives.
        m_match = false;
        if (!top_is_command()) m_pending_pop = true;
        event(Word::match);
        return State::CheckCommand;
    case Keyword::Keep:
        return keyword_keep(word);
    case Keyword::Ahead:
    case Keyword::Not:
        if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
        push_command(named == Keyword::Ahead ? Command::Ahead : Command::Not, 0, -1, none_value, false);
        return State::CommandRule;
    case Keyword::Into:
        return keyword_into(word);
    case Keyword::Collect:
        return keyword_collect(word);
    case Keyword::Insert:
        return keyword_insert(word);
    case Keyword::Change:
        return keyword_change(word);
    case Keyword::End:
        m_match = at_end();
        event(Word::match);
        return State::AfterMatch;
    case Keyword::If:
        if (cell::type_of(rule_at(m_cursor + 1)) != type_ids::paren) fire_with(err::script::parse_end, word);
        ++m_cursor;
        evaluate_paren(rule_at(m_cursor));
        m_match = logic::true_q(*m_paren_value);
        event(Word::match);
        return State::AfterMatch;
    case Keyword::Quote:
        if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
        ++m_cursor;
        return match_value(rule_at(m_cursor));
    case Keyword::Case:
        return keyword_case(word);
    case Keyword::NoneWord:
        m_match = true;
        event(Word::match);
        return State::AfterMatch;
    }
    return State::AfterMatch;
}

State Engine::keyword_copy_set(Keyword named, Cell const& word)
{
    Cell const target = rule_at(m_cursor + 1);
    if (cell::type_of(target) != type_ids::word || !has_rule(m_cursor + 2)) fire_with(err::script::parse_end, word);
    ++m_cursor;
    Command const command = named == Keyword::Copy ? Command::Copy : Command::Set;
    // copy or set of a repetition or a search of a plain literal, done at once: what pushing the entries,
    // running the command on the literal and completing them would leave, the cursor on the literal.
    Command inner;
    std::int32_t minimum;
    std::int32_t maximum;
    if (Cell literal; searching_command(keyword_of(rule_at(m_cursor + 1)), inner, minimum, maximum)
        && plain_literal(m_cursor + 2, literal)) {
        check_rules_room(); // the entry of copy or set
        if ((entry_count() + 2) * cells_per_entry > stack_cells) fire_error(err::script::parse_stack); // the search's
        Entry const entry { command, inner, false, 0, -1, 1, m_cursor, index(), remaining(), target };
        m_cursor += 2;
        run_literal(inner, minimum, maximum, literal);
        if (m_match) {
            if (command == Command::Copy)
                complete_copy(entry);
            else
                complete_set(entry);
        }
        Entry& under = top();
        under.finished = command;
        // keep copy word rule keeps the word's value.
        if (command == Command::Copy && (under.command == Command::Keep || under.command == Command::KeepParen))
            under.cell = target;
        return State::AfterMatch;
    }
    push_command(command, 0, -1, target, false);
    return State::CommandRule;
}

State Engine::keyword_to_thru(Keyword named, Cell const& word)
{
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
    if (is_word(rule_at(m_cursor + 1), Symbol::end)) {
        ++m_cursor;
        set_index(end_index());
        m_match = true;
        event(Word::match);
        return State::AfterMatch;
    }
    Command const command = named == Keyword::To ? Command::To : Command::Thru;
    if (Cell literal; plain_literal(m_cursor + 1, literal)) return literal_command_now(command, 0, -1, literal);
    push_command(command, 0, -1, none_value, false);
    return State::CommandRule;
}

State Engine::keyword_remove(Cell const& word)
{
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
    Cell const next = rule_at(m_cursor + 1);
    if (cell::type_of(next) == type_ids::path) fire_with(err::script::parse_rule, next);
    Cell const position = position_word_value(next);
    if (cell::type_of(position) != type_ids::none) {
        // remove position: the stretch between that position and the input's.
        ++m_cursor;
        std::uint32_t const other = std::min(series::index_of(position), total());
        std::uint32_t const from = std::min(other, index());
        std::uint32_t const to = std::max(other, index());
        remove_stretch(from, to);
        set_index(from);
        m_match = true;
        return State::AfterMatch;
    }
    push_command(Command::Remove, 0, -1, none_value, false);
    return State::CommandRule;
}

// break and reject end the nearest repetition after its current iteration, and leave the block they
// stand in.
State Engine::keyword_break(bool matched)
{
    m_match = matched;
    m_break_target = -1;
    for (std::size_t place = stacks.rules.size(); place-- > m_rules_head;) {
        Command const command = stacks.rules[place].command;
        if (command == Command::Repeat || command == Command::While) {
            m_break_target = static_cast<std::int64_t>(place);
            break;
        }
    }
    if (!top_is_command()) m_pending_pop = true;
    if (matched && m_cursor < static_cast<std::int32_t>(rule_length())) ++m_cursor;
    event(Word::match);
    return State::CheckCommand;
}

State Engine::keyword_keep(Cell const& word)
{
    if (m_collect_depth == 0) fire_with(err::script::parse_keep, words::word_of(Word::keep));
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
    bool pick = false;
    Cell next = rule_at(m_cursor + 1);
    // pick is no keyword: a keyword there (keep some ...) needs no spelling test.
    Keyword named = keyword_of(next);
    if (named == Keyword::None && is_word(next, Symbol::pick)) {
        if (!has_rule(m_cursor + 2)) fire_with(err::script::parse_end, word);
        ++m_cursor;
        pick = true;
        next = rule_at(m_cursor + 1);
        named = keyword_of(next);
    }
    bool const of_paren = cell::type_of(next) == type_ids::paren;
    if (!of_paren && keep_at_once(named, pick)) return State::AfterMatch;
    push_command(of_paren ? Command::KeepParen : Command::Keep, 0, -1, none_value, pick);
    return State::CommandRule;
}

// keep of a repetition or a search of a plain literal, the commonest keep, done at once (also with a copy in
// between, as in keep copy piece to ","): what pushing the entries, running the command on the literal and
// completing them would leave, the cursor on the literal. Answers false, having done nothing, for any other
// sub-rule.
bool Engine::keep_at_once(Keyword named, bool pick)
{
    Command command;
    std::int32_t minimum;
    std::int32_t maximum;
    Cell literal;
    if (named == Keyword::Copy) {
        Cell const target = rule_at(m_cursor + 2);
        if (cell::type_of(target) != type_ids::word
            || !searching_command(keyword_of(rule_at(m_cursor + 3)), command, minimum, maximum)
            || !plain_literal(m_cursor + 4, literal))
            return false;
        check_rules_room(); // keep's entry
        if ((entry_count() + 2) * cells_per_entry > stack_cells) fire_error(err::script::parse_stack); // copy's
        if ((entry_count() + 3) * cells_per_entry > stack_cells) fire_error(err::script::parse_stack); // the search's
        Entry keep { Command::Keep, Command::Copy, pick, 0, -1, 1, m_cursor, index(), remaining(), target };
        Entry const copy { Command::Copy, command, false, 0, -1, 1, m_cursor + 2, index(), remaining(), target };
        m_cursor += 4;
        run_literal(command, minimum, maximum, literal);
        if (m_match) complete_copy(copy);
        complete_keep(keep);
        top().finished = Command::Keep;
        return true;
    }
    if (!searching_command(named, command, minimum, maximum) || !plain_literal(m_cursor + 2, literal)) return false;
    check_rules_room(); // keep's entry
    if ((entry_count() + 2) * cells_per_entry > stack_cells) fire_error(err::script::parse_stack); // the command's
    Entry const keep { Command::Keep, command, pick, 0, -1, 1, m_cursor, index(), remaining(), none_value };
    m_cursor += 2;
    run_literal(command, minimum, maximum, literal);
    complete_keep(keep);
    top().finished = Command::Keep;
    return true;
}

State Engine::keyword_into(Cell const& word)
{
    if (m_kind != InputKind::Cells) fire_with(err::script::parse_block, *m_input);
    Cell const next = rule_at(m_cursor + 1);
    Cell const rules = cell::type_of(next) == type_ids::word ? value_of(next) : next;
    if (cell::type_of(rules) != type_ids::block) fire_with(err::script::parse_end, word);
    if (!at_end()) {
        Cell const value = element_at(index());
        TypeId const type = cell::type_of(value);
        if (type_ids::is_series(type) && type != type_ids::vector && type != type_ids::image) {
            if (stacks.inputs.size() - m_inputs_head + 1 > stack_cells) fire_error(err::script::parse_stack);
            stacks.inputs.back().word1 = index();
            stacks.inputs.push_back(value);
            *m_input = value;
            m_kind = kind_of(type);
            clamp_index();
            push_command(Command::Into, 0, -1, none_value, false);
            return State::CommandRule;
        }
    }
    // Nothing to enter: the rule block after into is passed over.
    m_match = false;
    ++m_cursor;
    event(Word::match);
    return State::AfterMatch;
}

State Engine::keyword_collect(Cell const& word)
{
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
    Cell const next = rule_at(m_cursor + 1);
    CollectKind kind = CollectKind::Block;
    if (is_word(next, Symbol::set))
        kind = CollectKind::Set;
    else if (is_word(next, Symbol::into))
        kind = CollectKind::Into;
    else if (is_word(next, Symbol::after))
        kind = CollectKind::After;
    Rooted target_word(none_value);
    if (kind != CollectKind::Block) {
        *target_word = rule_at(m_cursor + 2);
        if (cell::type_of(*target_word) != type_ids::word) fire_with(err::script::parse_end, word);
        m_cursor += 2;
    }
    if (!has_rule(m_cursor + 1)) fire_with(err::script::parse_end, word);
    std::int32_t target_index = -1; // shown to the callback
    if (kind == CollectKind::Into || kind == CollectKind::After) {
        Rooted target(value_of(*target_word));
        check_target(*target);
        target_index = static_cast<std::int32_t>(series::index_of(*target));
        open_collect(kind, *target_word, *target);
    } else {
        open_collect(kind, *target_word, none_value);
    }
    ++m_collect_depth;
    push_command(Command::Collect, 0, target_index, none_value, false);
    return State::CommandRule;
}

State Engine::keyword_insert(Cell const& word)
{
    std::int32_t next = m_cursor + 1;
    if (!has_rule(next)) fire_with(err::script::parse_end, word);
    bool only = false;
    if (is_word(rule_at(next), Symbol::only)) {
        only = true;
        if (!has_rule(++next)) fire_with(err::script::parse_end, word);
    }
    std::uint32_t place = index();
    Cell const position = position_word_value(rule_at(next));
    if (cell::type_of(position) != type_ids::none) {
        place = series::index_of(position);
        if (!has_rule(++next)) fire_with(err::script::parse_rule, word);
    }
    m_cursor = next;
    std::uint32_t const before = index();
    Rooted value(edit_value(rule_at(next)));
    Rooted at(input_at(place));
    place = series::index_of(*at);
    TypeId const type = cell::type_of(*at);
    auto const insert = datatype::is_registered(type) ? datatype::actions(type).insert : nullptr;
    if (!insert) fire_error(err::internal::not_done);
    Cell const after = insert(*at, *value, -1, only, 1, false);
    std::uint32_t const inserted = series::index_of(after) > place ? series::index_of(after) - place : 0;
    charge(inserted);
    if (place <= before) set_index(std::uint64_t { before } + inserted);
    clamp_index();
    return State::NextElement;
}

State Engine::keyword_change(Cell const& word)
{
    std::int32_t next = m_cursor + 1;
    if (!has_rule(next)) fire_with(err::script::parse_rule, word);
    bool only = false;
    if (is_word(rule_at(next), Symbol::only)) {
        only = true;
        if (!has_rule(++next)) fire_with(err::script::parse_rule, word);
    }
    Cell const position = position_word_value(rule_at(next));
    if (cell::type_of(position) == type_ids::none) {
        m_cursor = next - 1; // on the command's last keyword: change, or only
        push_command(only ? Command::ChangeOnly : Command::Change, 0, -1, none_value, false);
        return State::CommandRule;
    }
    // change position value: the stretch between that position and the input's.
    if (!has_rule(next + 1)) fire_with(err::script::parse_rule, word);
    m_cursor = next + 1;
    std::uint32_t const other = series::index_of(position);
    Rooted value(edit_value(rule_at(m_cursor)));
    std::uint32_t const here = index();
    std::uint32_t const from = std::min({ other, here, total() });
    std::uint32_t const to = std::min(std::max(other, here), total());
    Rooted at(input_at(from));
    TypeId const type = cell::type_of(*at);
    auto const change = datatype::is_registered(type) ? datatype::actions(type).change : nullptr;
    if (!change) fire_error(err::internal::not_done);
    std::uint32_t const before = total();
    change(*at, *value, static_cast<std::int32_t>(to - from), only, 1);
    charge(total() > before ? total() - before : 0);
    set_index(from);
    m_match = true;
    return State::AfterMatch;
}

State Engine::keyword_case(Cell const& word)
{
    Cell const flag_word = rule_at(m_cursor + 1);
    if (cell::type_of(flag_word) != type_ids::word || !has_rule(m_cursor + 2)) fire_with(err::script::parse_end, word);
    bool const exact = logic::true_q(value_of(flag_word));
    ++m_cursor;
    push_command(Command::Case, 0, static_cast<std::int32_t>(m_mode), none_value, false);
    m_mode = exact ? CompareOp::StrictEqual : CompareOp::Equal;
    return State::CommandRule;
}

}
