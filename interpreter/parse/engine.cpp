// The parse engine's loop: the run's registers, its steps, the keywords and the callback.

#include "interpreter/parse/engine.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/triple.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/calls.h"
#include "interpreter/trace.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::parse {

StacksState stacks;
KeywordTable keywords;

namespace {

using words::Symbol;
using words::Word;

struct KeywordName {
    std::string_view spelling;
    Keyword keyword;
};

// `|` is not here: it is compared by its exact symbol.
constexpr KeywordName keyword_names[] = {
    { "skip", Keyword::Skip },
    { "any", Keyword::Any },
    { "some", Keyword::Some },
    { "opt", Keyword::Opt },
    { "while", Keyword::While },
    { "copy", Keyword::Copy },
    { "set", Keyword::Set },
    { "to", Keyword::To },
    { "thru", Keyword::Thru },
    { "remove", Keyword::Remove },
    { "break", Keyword::Break },
    { "reject", Keyword::Reject },
    { "fail", Keyword::Fail },
    { "keep", Keyword::Keep },
    { "ahead", Keyword::Ahead },
    { "not", Keyword::Not },
    { "into", Keyword::Into },
    { "collect", Keyword::Collect },
    { "insert", Keyword::Insert },
    { "change", Keyword::Change },
    { "end", Keyword::End },
    { "if", Keyword::If },
    { "quote", Keyword::Quote },
    { "case", Keyword::Case },
    { "none", Keyword::NoneWord },
};

void mark_stacks()
{
    for (Entry& entry : stacks.rules) gc::mark_cell(entry.cell);
    for (Cell& input : stacks.inputs) gc::mark_cell(input);
    for (CollectFrame& frame : stacks.collects) {
        gc::mark_cell(frame.block);
        gc::mark_cell(frame.target);
    }
}

// The arguments of a callback before its first refinement, at most the five the engine passes. May allocate.
std::uint32_t leading_arguments(Cell const& function)
{
    Cell const descriptors = interp::descriptors(function);
    SeriesBuffer* entries = node::buffer(descriptors.word2);
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < entries->length(); ++i) {
        Cell const& entry = entries->head_cell()[i];
        TypeId const type = cell::type_of(entry);
        if (type == type_ids::typeset) {
            if (interp::argument_kind(entry) != interp::ArgumentKind::NotFetched) ++count;
        } else if (type == type_ids::refinement || type == type_ids::integer) {
            break;
        }
    }
    return std::min<std::uint32_t>(count, 5);
}

// The counts and positions of a rules entry as the callback sees them.
Cell position_triple(std::int32_t first, std::int32_t second, std::int32_t third)
{
    return triple::make(first, second, third);
}

// A command entry's code and its pick flag (1 for keep pick).
Cell command_pair(Command command, bool pick)
{
    return pair::make(static_cast<std::int32_t>(command), pick ? 1 : 0);
}

}

// ---- Start-up and the shared names ----------------------------------------------------------------------

void init_stacks()
{
    stacks = StacksState {};
    keywords = KeywordTable {};
    for (KeywordName const& name : keyword_names) {
        SymbolId const canonical = symbol::resolve(symbol::make(name.spelling));
        if (canonical >= keywords.by_symbol.size()) keywords.by_symbol.resize(canonical + 1, Keyword::None);
        keywords.by_symbol[canonical] = name.keyword;
    }
    keywords.bar = symbol::make("|");
    gc::remove_callback(mark_stacks);
    gc::add_callback(mark_stacks);
    init_matching();
}

bool stacks_empty()
{
    return stacks.rules.empty() && stacks.inputs.empty() && stacks.collects.empty();
}

void set_step_budget(std::uint64_t steps)
{
    stacks.budgeted = steps != 0;
    stacks.steps_left = steps;
}

bool is_word(Cell const& rule, Symbol name)
{
    return cell::type_of(rule) == type_ids::word
        && symbol::resolve(rule.word2) == symbol::resolve(words::symbol_of(name));
}

void fire_with(ErrorId id, Cell const& argument)
{
    Cell const copy = argument;
    fire_error(id, &copy);
}

Cell run(Cell const& input, Cell const& rules, CompareOp mode, std::uint32_t limit, Cell const& callback)
{
    Engine engine(input, rules, mode, limit, callback);
    return engine.run();
}

// ---- The run's registers ----------------------------------------------------------------------------

Engine::Engine(Cell const& input, Cell const& rules, CompareOp mode, std::uint32_t limit, Cell const& callback)
    : m_rules(rules)
    , m_input(input)
    , m_entering(rules)
    , m_paren_value(unset_value)
    , m_callback(callback)
    , m_result(none_value)
    , m_rules_head(stacks.rules.size())
    , m_inputs_head(stacks.inputs.size())
    , m_collects_head(stacks.collects.size())
    , m_limit(limit)
    , m_mode(mode)
    , m_kind(kind_of(cell::type_of(input)))
    , m_has_callback(cell::type_of(callback) == type_ids::function)
{
    clamp_index();
    stacks.inputs.push_back(*m_input);
    if (m_has_callback) m_callback_arguments = leading_arguments(*m_callback);
}

// However the run ends (its finish, a stop of the callback, an error or a transfer leaving a paren), the
// stacks go back to what they held when it began: a run nested in another leaves the outer run's entries.
Engine::~Engine()
{
    stacks.rules.erase(stacks.rules.begin() + static_cast<std::ptrdiff_t>(m_rules_head), stacks.rules.end());
    stacks.inputs.erase(stacks.inputs.begin() + static_cast<std::ptrdiff_t>(m_inputs_head), stacks.inputs.end());
    stacks.collects.erase(
        stacks.collects.begin() + static_cast<std::ptrdiff_t>(m_collects_head), stacks.collects.end());
}

Cell Engine::input_at(std::uint32_t place) const
{
    Cell at = *m_input;
    at.word1 = std::min(place, total());
    return at;
}

Cell Engine::element_at(std::uint32_t place) const
{
    SeriesBuffer* buffer = series::buffer_of(*m_input);
    switch (m_kind) {
    case InputKind::Text:
        return Cell { type_ids::char_, 0,
            string::get_char(buffer->head_address() + (std::size_t { place } << buffer->unit_shift()), buffer->unit()),
            0 };
    case InputKind::Binary:
        return integer::make(std::to_integer<std::int32_t>(buffer->head_address()[place]));
    default:
        return buffer->head_cell()[place];
    }
}

bool Engine::is_input_series(Cell const& value) const
{
    return cell::type_of(value) == cell::type_of(*m_input) && value.word2 == (*m_input).word2;
}

bool Engine::is_any_input(NodeId node) const
{
    if (node == (*m_input).word2) return true;
    for (std::size_t i = m_inputs_head; i < stacks.inputs.size(); ++i)
        if (stacks.inputs[i].word2 == node) return true;
    return false;
}

void Engine::rules_stack_full()
{
    fire_error(err::script::parse_stack);
}

void Engine::push_entry(Entry const& entry)
{
    check_rules_room();
    stacks.rules.push_back(entry);
}

void Engine::push_command(Command command, std::int32_t minimum, std::int32_t maximum, Cell const& word, bool pick)
{
    push_entry(Entry { command, Command::Block, pick, minimum, maximum, 1, m_cursor, index(), remaining(), word });
    if (m_cursor < static_cast<std::int32_t>(rule_length())) ++m_cursor;
    event(Word::push);
}

State Engine::drop_command()
{
    event(Word::pop);
    Entry const finished = stacks.rules.back();
    stacks.rules.pop_back();
    if (stacks.rules.size() > m_rules_head) {
        Entry& under = stacks.rules.back();
        under.finished = finished.command;
        // keep copy word rule keeps the word's value.
        if (finished.command == Command::Copy
            && (under.command == Command::Keep || under.command == Command::KeepParen))
            under.cell = finished.cell;
    }
    return State::AfterMatch;
}

void Engine::charge(std::uint64_t units)
{
    if (!stacks.budgeted) return;
    // Work that grows with the data (an insert of the input into itself doubles it) costs steps too.
    std::uint64_t const cost = units / 64;
    if (cost >= stacks.steps_left) fire_with(err::internal::limit_hit, words::word_of(Word::iterate));
    stacks.steps_left -= cost;
}

void Engine::take_step()
{
    if (stacks.steps_left == 0) fire_with(err::internal::limit_hit, words::word_of(Word::iterate));
    --stacks.steps_left;
}

// ---- The loop -----------------------------------------------------------------------------------------

Cell Engine::run()
{
    *m_entering = *m_rules;
    State state = State::EnterBlock;
    for (;;) {
        if (m_stopped) [[unlikely]]
            return logic::make(m_match);
        if (stacks.budgeted) [[unlikely]]
            take_step();
        switch (state) {
        case State::EnterBlock:
            state = enter_block();
            break;
        case State::NextElement:
            state = next_element();
            break;
        case State::CommandRule:
            state = command_rule();
            break;
        case State::AfterMatch:
            state = after_match();
            break;
        case State::FindAlternative:
            state = find_alternative();
            break;
        case State::LeaveBlock:
            state = leave_block();
            break;
        case State::CheckCommand:
            state = check_command();
            break;
        case State::Finish:
            return finish();
        }
    }
}

State Engine::enter_block()
{
    push_entry(Entry { Command::Block, Command::Block, false, 0, -1, 1, m_cursor, index(), remaining(), *m_rules });
    *m_rules = *m_entering;
    m_cursor = static_cast<std::int32_t>(std::min(series::index_of(*m_rules), rule_length())) - 1;
    m_match = true;
    event(Word::push);
    return State::NextElement;
}

State Engine::next_element()
{
    SeriesBuffer* rules = series::buffer_of(*m_rules);
    auto const length = static_cast<std::int32_t>(rules->length());
    if (m_cursor < length) ++m_cursor;
    if (m_cursor >= length) return top_is_command() ? State::CheckCommand : State::LeaveBlock;
    if (m_has_callback) [[unlikely]] {
        call_back(Word::fetch);
        if (!has_rule(m_cursor)) return top_is_command() ? State::CheckCommand : State::LeaveBlock;
        rules = series::buffer_of(*m_rules);
    }
    return dispatch(rules->head_cell()[m_cursor]);
}

State Engine::dispatch(Cell element)
{
    for (;;) {
        TypeId const type = cell::type_of(element);
        // The commonest rules first, with plain branches: a word, and the datatype it holds.
        if (type == type_ids::word) {
            Keyword const named = keyword_of(element);
            if (named != Keyword::None) return keyword(named, element);
            Cell const value = value_of(element);
            TypeId const held = cell::type_of(value);
            if (held == type_ids::unset || held == type_ids::word) fire_with(err::script::parse_rule, element);
            element = value; // dispatched in turn
            continue;
        }
        if (type == type_ids::datatype || type == type_ids::typeset) return match_type(element);
        switch (type) {
        case type_ids::block:
            if (!m_has_callback && match_alternatives(element)) return State::AfterMatch;
            *m_entering = element;
            return State::EnterBlock;
        case type_ids::set_word: {
            Rooted word(element);
            Rooted position(*m_input);
            word::set(*word, *position);
            return State::NextElement;
        }
        case type_ids::get_word:
            return get_word_position(element);
        case type_ids::integer:
            return integer_repetition(element);
        case type_ids::paren:
            return evaluated_paren(element);
        case type_ids::path:
            fire_with(err::script::parse_rule, element);
        default:
            return match_value(element);
        }
    }
}

State Engine::command_rule()
{
    if (!has_rule(m_cursor)) fire_with(err::script::parse_end, rule_at(top().position));
    Cell const rule = rule_at(m_cursor);
    Cell value = rule;
    if (cell::type_of(rule) == type_ids::word) {
        Command const command = top().command;
        bool const collecting
            = command == Command::Collect || command == Command::Keep || command == Command::KeepParen;
        if (collecting || keyword_of(rule) != Keyword::None) return dispatch(rule);
        // A word after a command stands for its value; a word held there is matched as it is.
        value = value_of(rule);
        TypeId const type = cell::type_of(value);
        if (type == type_ids::unset) fire_with(err::script::parse_rule, rule);
        if (type == type_ids::word) return command_literal(value, true);
    }
    switch (cell::type_of(value)) {
    case type_ids::block:
        if (!m_has_callback && match_alternatives(value)) return State::AfterMatch;
        *m_entering = value;
        return State::EnterBlock;
    case type_ids::integer:
    case type_ids::paren:
    case type_ids::typeset:
    case type_ids::datatype:
    case type_ids::path:
        return dispatch(value);
    default:
        return command_literal(value, false);
    }
}

// A literal right after a command: a repetition or a search is done at once, in one loop over the input.
State Engine::command_literal(Cell const& given, bool literal_word)
{
    Entry const& entry = top();
    Command const command = entry.command;
    if (command == Command::Repeat || command == Command::While || command == Command::To || command == Command::Thru) {
        run_literal(command, entry.minimum, entry.maximum, given);
        event(Word::match);
        return drop_command();
    }
    Rooted value(given);
    if (literal_word) return match_value(*value);
    return dispatch(*value);
}

// A repetition (any, some, opt, while, a count) or a search (to, thru) of a literal, in one loop over the
// input: sets the match flag and moves the index. Allocates nothing.
void Engine::run_literal(Command command, std::int32_t minimum, std::int32_t maximum, Cell const& value)
{
    if (command == Command::Repeat || command == Command::While) {
        bool matched = false;
        TypeId const type = cell::type_of(value);
        bool const unit_rule = type == type_ids::bitset || type == type_ids::char_;
        std::uint32_t const end = end_index();
        std::uint32_t const at = index();
        if (m_kind != InputKind::Cells && !unit_rule && is_empty_literal(value)) {
            // An empty literal matches without moving: its first iteration ends the repetition, as an
            // iteration of a rule block that does not move the input ends it.
            matched = at < end
                || (m_kind == InputKind::Text
                    && (type == type_ids::string || type == type_ids::file || type == type_ids::url));
        } else if (at < end && end - at >= static_cast<std::uint32_t>(minimum)) {
            Repeated const repeated = repeat_literal(*m_input, m_kind, value, m_mode, end, maximum);
            matched = repeated.count >= static_cast<std::uint32_t>(minimum);
            if (matched) set_index(std::uint64_t { at } + repeated.length);
        }
        m_match = matched || minimum == 0;
        return;
    }
    Found const found = search_literal(*m_input, m_kind, value, m_mode, end_index());
    if (found.unsupported) fire_with(err::script::parse_rule, value);
    m_match = found.found;
    if (found.found) set_index(command == Command::To ? found.start : std::uint64_t { found.start } + found.length);
}

// The literal the rule at `position` is, when a command's sub-rule there would be matched by run_literal: a
// char!, a text, a binary! or a bitset!, written in the rules or held by a word, over text or bytes. Not
// with a callback, which hears the command's entry come and go.
bool Engine::plain_literal(std::int32_t position, Cell& literal) const
{
    if (m_has_callback || (m_kind != InputKind::Text && m_kind != InputKind::Binary) || !has_rule(position))
        return false;
    Cell value = series::buffer_of(*m_rules)->head_cell()[position];
    if (cell::type_of(value) == type_ids::word) {
        if (keyword_of(value) != Keyword::None) return false;
        value = value_of(value);
    }
    TypeId const type = cell::type_of(value);
    if (type != type_ids::char_ && type != type_ids::bitset && type != type_ids::binary && !type_ids::is_text(type))
        return false;
    literal = value;
    return true;
}

// A command whose sub-rule is a plain literal, done at once: what pushing its entry, matching the literal
// and dropping the entry would leave, the cursor on the literal.
State Engine::literal_command_now(Command command, std::int32_t minimum, std::int32_t maximum, Cell const& literal)
{
    check_rules_room(); // as the entry's push would
    ++m_cursor;
    run_literal(command, minimum, maximum, literal);
    top().finished = command; // as the entry's drop tells the entry under it
    return State::AfterMatch;
}

State Engine::after_match()
{
    if (top_is_command()) return State::CheckCommand;
    return m_match ? State::NextElement : State::FindAlternative;
}

State Engine::find_alternative()
{
    set_index(top().input_index);
    SeriesBuffer* buffer = series::buffer_of(*m_rules);
    std::uint32_t const length = buffer->length();
    for (std::uint32_t place = static_cast<std::uint32_t>(std::max(m_cursor, 0)); place < length; ++place) {
        Cell const& cell = buffer->head_cell()[place];
        if (cell::type_of(cell) == type_ids::word && cell.word2 == keywords.bar) {
            m_cursor = static_cast<std::int32_t>(place);
            m_match = true;
            return State::NextElement;
        }
    }
    return State::LeaveBlock;
}

State Engine::leave_block()
{
    event(Word::pop);
    if (entry_count() == 1) return State::Finish;
    m_left_at_tail = m_cursor >= static_cast<std::int32_t>(rule_length());
    if (!m_has_callback && iterate_in_place()) return State::NextElement;
    Entry const entry = stacks.rules.back();
    stacks.rules.pop_back();
    *m_rules = entry.cell;
    m_cursor = entry.position;
    if (top_is_command()) return State::CheckCommand;
    return m_match ? State::NextElement : State::FindAlternative;
}

// A rule block repeated by any, some, while or a count, as in some [...], goes into its next iteration in
// place: what dropping its entry, completing the repetition and entering the block again would leave. Only
// when the repetition goes on and the block is still the cell right after the command; answers false,
// having done nothing, otherwise.
bool Engine::iterate_in_place()
{
    std::size_t const size = stacks.rules.size();
    Entry& block = stacks.rules[size - 1];
    Entry& repetition = stacks.rules[size - 2];
    if (!m_match || (repetition.command != Command::Repeat && repetition.command != Command::While)) return false;
    if (block.position != repetition.position + 1 || m_break_target == static_cast<std::int64_t>(size - 2))
        return false;
    if (repetition.maximum >= 0 && repetition.count >= repetition.maximum) return false;
    std::uint32_t const length = remaining();
    if (repetition.command == Command::Repeat && index() == repetition.input_index && length >= repetition.input_length)
        return false;
    // The cell the next iteration would enter, read from the enclosing block as it is now.
    SeriesBuffer* enclosing = series::buffer_of(block.cell);
    if (block.position < 0 || static_cast<std::uint32_t>(block.position) >= enclosing->length()) return false;
    Cell const& next = enclosing->head_cell()[block.position];
    if (cell::type_of(next) != type_ids::block || next.word2 != (*m_rules).word2 || next.word1 != (*m_rules).word1)
        return false;
    repetition.input_index = index();
    repetition.input_length = length;
    repetition.finished = Command::Block;
    repetition.count += 1;
    block.finished = Command::Block;
    block.input_index = index();
    block.input_length = length;
    m_cursor = static_cast<std::int32_t>(std::min(series::index_of(*m_rules), rule_length())) - 1;
    m_match = true;
    return true;
}

State Engine::check_command()
{
    if (top_is_command()) return complete_command();
    if (m_pending_pop) {
        // break, reject, fail: the block is done; one that fails gives its input back.
        m_pending_pop = false;
        if (!m_match) set_index(top().input_index);
        return State::LeaveBlock;
    }
    return State::NextElement;
}

Cell Engine::finish()
{
    bool matched = m_match && m_cursor >= static_cast<std::int32_t>(rule_length());
    // The outermost input must be consumed up to its end, or up to the limit.
    if (end_index() > index()) matched = false;
    m_match = matched;
    event(Word::end);
    if (m_collected && !m_stopped) return *m_result;
    return logic::make(m_match);
}

// ---- Matching one element -------------------------------------------------------------------------------

// A short block of literal alternatives over text or bytes, such as [#"," | #"^/"] or ["ab" | charset],
// is matched here without entering it: the outcome, the input index and whether the block was left at its
// tail are what entering it would give. Not with a callback, which hears every step. Answers false, having
// done nothing, for any other block. Allocates nothing.
bool Engine::match_alternatives(Cell const& block)
{
    constexpr std::uint32_t longest = 15;
    if (m_kind != InputKind::Text && m_kind != InputKind::Binary) return false;
    SeriesBuffer* buffer = series::buffer_of(block);
    std::uint32_t const from = series::index_of(block);
    std::uint32_t const length = buffer->length();
    if (from >= length || length - from > longest || (length - from) % 2 == 0) return false; // none, or a trailing |
    Cell const* cells = buffer->head_cell();
    std::uint32_t const end = end_index();
    bool const ended = index() >= end;
    std::uint32_t const unit = ended ? 0 : unit_of(series::buffer_of(*m_input), index());
    // The input's unit is folded once for every char! alternative, not once each.
    bool const folding = folds_chars(m_kind, m_mode);
    std::uint32_t const folded_unit = folding && !ended ? fold(unit) : unit;
    // One pass: the block must be literal (| literal)* throughout, and the first alternative that matches
    // is noted on the way; nothing is changed before the whole block has been seen.
    std::int64_t matched = -1; // the units the first matching alternative covers
    for (std::uint32_t place = from; place < length; place += 2) {
        Cell const& rule = cells[place];
        TypeId const type = cell::type_of(rule);
        if (type != type_ids::char_ && type != type_ids::string && type != type_ids::bitset) return false;
        if (place + 1 < length) {
            Cell const& bar = cells[place + 1];
            if (cell::type_of(bar) != type_ids::word || bar.word2 != keywords.bar) return false;
        }
        if (matched >= 0) continue;
        if (ended) {
            // An empty text matches at the end of text input.
            if (m_kind == InputKind::Text && type == type_ids::string && series::length_of(rule) == 0) matched = 0;
        } else if (is_unit_rule(rule, m_kind)) {
            bool const hit = type == type_ids::char_ ? (folding ? fold(rule.word2) : rule.word2) == folded_unit
                                                     : unit_matches(rule, m_kind, m_mode, unit);
            if (hit) matched = 1;
        } else {
            matched = match_literal(*m_input, m_kind, rule, m_mode, end);
        }
    }
    check_rules_room(); // as the block entry would
    m_match = matched >= 0;
    m_left_at_tail = m_match;
    if (m_match) set_index(std::uint64_t { index() } + static_cast<std::uint64_t>(matched));
    return true;
}

// Matching a literal allocates nothing: the value needs no root.
State Engine::match_value(Cell const value)
{
    if (at_end()) {
        TypeId const type = cell::type_of(value);
        m_match = m_kind == InputKind::Text
            && (type == type_ids::string || type == type_ids::file || type == type_ids::url)
            && series::length_of(value) == 0;
    } else {
        std::int64_t const units = match_literal(*m_input, m_kind, value, m_mode, end_index());
        m_match = units >= 0;
        if (m_match) set_index(std::uint64_t { index() } + static_cast<std::uint64_t>(units));
    }
    event(Word::match);
    return State::AfterMatch;
}

State Engine::match_type(Cell const types)
{
    if (m_kind == InputKind::Text) fire_error(err::script::parse_unsupported);
    if (at_end()) {
        m_match = false;
    } else if (m_kind == InputKind::Binary) {
        std::uint32_t const scanned = scan_binary_type(*m_input, end_index(), types);
        m_match = scanned > 0;
        if (m_match) set_index(std::uint64_t { index() } + scanned);
    } else {
        TypeId const type = cell::type_of(series::buffer_of(*m_input)->head_cell()[index()]);
        m_match = cell::type_of(types) == type_ids::typeset ? typeset::has(types, type) : type == types.word1;
        if (m_match) (*m_input).word1 = index() + 1;
    }
    event(Word::match);
    return after_match();
}

// n rule, or n m rule: a word after the count is looked up for the second count.
State Engine::integer_repetition(Cell const count)
{
    std::int32_t const minimum = integer::get(count);
    if (minimum < 0) fire_with(err::script::out_of_range, count);
    std::int32_t const next = m_cursor + 1;
    if (!has_rule(next)) fire_with(err::script::parse_rule, count);
    Cell second = rule_at(next);
    if (cell::type_of(second) == type_ids::word && keyword_of(second) == Keyword::None) second = value_of(second);
    std::int32_t maximum = minimum;
    if (cell::type_of(second) == type_ids::integer) {
        maximum = integer::get(second);
        if (!has_rule(next + 1) || maximum < minimum) fire_with(err::script::parse_rule, count);
        m_cursor = next;
    }
    if (maximum == 0) {
        // Nothing to repeat: the rule is passed over.
        ++m_cursor;
        m_match = true;
        return State::AfterMatch;
    }
    if (Cell literal; plain_literal(m_cursor + 1, literal))
        return literal_command_now(Command::Repeat, minimum, maximum, literal);
    push_command(Command::Repeat, minimum, maximum, none_value, false);
    return State::CommandRule;
}

State Engine::get_word_position(Cell const word)
{
    Cell const value = value_of(word);
    if (!is_input_series(value)) fire_with(err::script::parse_invalid_ref, word);
    set_index(series::index_of(value));
    m_match = true;
    return State::AfterMatch;
}

State Engine::evaluated_paren(Cell const& paren)
{
    evaluate_paren(paren);
    event(Word::paren);
    return State::AfterMatch;
}

// A paren may change the rules and the input as it likes: the cursor stays within the rules, clamped to
// their last cell, and the index within the input.
void Engine::evaluate_paren(Cell const& paren)
{
    if (lone_get_word(paren)) return;
    Rooted code(paren);
    interp::eval_block(*code, false);
    *m_paren_value = stack::state.top[-1];
    stack::pop(1);
    auto const last = static_cast<std::int32_t>(rule_length()) - 1;
    if (m_cursor > last) m_cursor = last;
    clamp_index();
}

// A paren holding one get-word, as in keep (:value), is worth its word's value: what evaluating it would
// give, without a trip through the evaluator. Not when tracing, whose events the evaluator sends, nor for a
// word with no value, whose error the evaluator raises. Answers false, having done nothing, for any other.
bool Engine::lone_get_word(Cell const& paren)
{
    if (trace::state.on) return false;
    SeriesBuffer* buffer = series::buffer_of(paren);
    if (series::index_of(paren) + 1 != buffer->length()) return false;
    Cell const& word = buffer->head_cell()[series::index_of(paren)];
    if (cell::type_of(word) != type_ids::get_word) return false;
    Cell const value = value_of(word);
    if (cell::type_of(value) == type_ids::unset) return false;
    *m_paren_value = value;
    return true;
}

// ---- The callback -------------------------------------------------------------------------------------

// Calls the callback with the event, the match flag, the rules at the cursor, the input at its position
// and the rules stack. It may change the rules and the input: both positions are clamped afterwards. An
// answer of none! or false stops the run with the current match flag. May allocate.
void Engine::call_back(Word which)
{
    Rooted stack_block(rules_stack_block());
    Rooted rules(*m_rules);
    rules->word1 = static_cast<std::uint32_t>(std::max(m_cursor, 0));
    Cell const arguments[] = { words::word_of(which), logic::make(m_match), *rules, *m_input, *stack_block };
    Cell const& name = words::word_of(Word::parse_callback);
    Cell* const saved_top = stack::state.top;
    stack::push_call_frame(name, function::context_of(*m_callback));
    Cell* const base = stack::state.base;
    for (std::uint32_t i = 0; i < m_callback_arguments; ++i) stack::push(arguments[i]);
    interp::call_function(*m_callback, context::global(), name, 0);
    Cell const answer = *base;
    stack::pop_frame_keep_restore();
    stack::cut_to(saved_top);
    if (!logic::true_q(answer)) m_stopped = true;
    auto const last = static_cast<std::int32_t>(rule_length());
    if (m_cursor > last) m_cursor = last;
    clamp_index();
}

// The run's rules entries, three cells each: a block entry is none!, the triple! of its positions (the
// cursor in the enclosing block, -1 before its head; the input index; the input length) and the enclosing
// rule block; a command entry is its target word (copy, set) or the triple! of its counts (minimum, maximum
// or -1, iteration; case keeps the comparison mode before it as the maximum, collect into and after the
// target's index at the start), the triple! of its positions (its last keyword's cell) and the pair! of its
// code and pick flag.
// May allocate.
Cell Engine::rules_stack_block() const
{
    std::size_t const count = entry_count();
    Rooted block(none_value);
    block::make_at(*block, static_cast<std::int32_t>(std::min<std::size_t>(count * cells_per_entry, 0x7FFF'FFFF)));
    // The block has room for every cell: the appends below never allocate.
    for (std::size_t i = m_rules_head; i < stacks.rules.size(); ++i) {
        Entry const& entry = stacks.rules[i];
        // The length field shows what was written last: the input length at the push or at the start of an
        // iteration, or the code of a command that finished right under the entry since.
        std::int32_t const length = entry.finished != Command::Block ? static_cast<std::int32_t>(entry.finished)
                                                                     : static_cast<std::int32_t>(entry.input_length);
        Cell const positions = position_triple(entry.position, static_cast<std::int32_t>(entry.input_index), length);
        if (entry.command == Command::Block) {
            Cell const cells[] = { none_value, positions, entry.cell };
            block::append_run(*block, cells, 3);
        } else {
            bool const targeted = entry.command == Command::Copy || entry.command == Command::Set;
            Cell const counts = targeted ? entry.cell : position_triple(entry.minimum, entry.maximum, entry.count);
            Cell const cells[] = { counts, positions, command_pair(entry.command, entry.pick) };
            block::append_run(*block, cells, 3);
        }
    }
    return *block;
}

}
