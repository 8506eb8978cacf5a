// The parse engine's inside, shared by its files: the stacks, the run's registers and the steps of its loop.
//
// The rules stack holds one entry per rule block entered (a block entry) and per keyword waiting for its
// sub-rule (a command entry); the input stack holds the series being matched, the outermost first, one
// more per `into`. Both are shared by every run: a run nested in another (from a paren or the callback)
// works above the entries of the run it is nested in and leaves the stacks as it found them, however it
// ends. Entries are kept compact here; the callback sees them as a block of three cells each.
//
// Invariant while a run works: its first rules entry is its outermost block entry and its first input
// cell its outermost input; the current input is a copy of the top input cell whose index is the input
// position, at or below the tail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "datatypes/context.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/parse/matching.h"
#include "interpreter/parse/parse.h"
#include "runtime/cell.h"
#include "runtime/error_ids.h"
#include "runtime/roots.h"

namespace xol::parse {

// The kind of a rules entry: a block entry, or the command a keyword pushed (the codes the callback sees).
enum class Command : std::int8_t {
    Block = 0,
    Repeat = -1, // any, some, opt, an integer count or range
    To = -2,
    Thru = -3,
    Copy = -4,
    Set = -5,
    Not = -6,
    Into = -7,
    Remove = -9,
    While = -11,
    Collect = -12,
    Keep = -13, // keep of the matched input
    KeepParen = -14, // keep of a paren's value
    Ahead = -16,
    Change = -17,
    ChangeOnly = -18,
    Case = -19,
};

struct Entry {
    Command command;
    Command finished; // the last command that finished right under this one; Block for none
    bool pick; // keep pick
    std::int32_t minimum; // Repeat, While
    std::int32_t maximum; // Repeat, While (-1: no bound); Case: the comparison mode before it
    std::int32_t count; // Repeat, While: the iteration, from 1
    std::int32_t position; // Block: the cursor in the enclosing block; a command: its last keyword's cell
    std::uint32_t input_index; // at the push, or where the current iteration or attempt began
    std::uint32_t input_length; // units from that index to the tail
    Cell cell; // Block: the enclosing rule block; Copy, Set: the target word; Keep: the word a keep copy set
};

enum class CollectKind : std::uint8_t {
    Block, // a block of its own: the result of an outermost collect, or handed to the enclosing collect
    Set, // a block of its own, set to a word
    Into, // straight into a series, at its index
    After, // straight into a series, at its tail
};

struct CollectFrame {
    CollectKind kind;
    Cell block; // Block, Set: the values kept so far
    Cell target; // Set: the word; Into, After: the series, its index moving past each value put in
};

struct StacksState {
    std::vector<Entry> rules;
    std::vector<Cell> inputs;
    std::vector<CollectFrame> collects; // the open collects of every run
    std::uint64_t steps_left = 0; // the step budget, when `budgeted`
    bool budgeted = false;
};

extern StacksState stacks;

// Each stack holds at most this many cells above the current run's share; a rules entry counts three.
inline constexpr std::size_t stack_cells = 10'000;
inline constexpr std::size_t cells_per_entry = 3;

enum class State : std::uint8_t {
    EnterBlock, // push a block entry for `m_entering` and start at its head
    NextElement, // advance the cursor and fetch
    CommandRule, // the sub-rule of the command on top
    AfterMatch, // a rule finished: complete the command on top, or go on in the block
    FindAlternative, // the block's current alternative failed: the next `|`
    LeaveBlock, // pop the block entry on top
    CheckCommand, // complete the command on top, or go on in the block
    Finish,
};

// The parse keywords: a word! rule element with one of these names (case-blind; `|` exactly) is not looked up.
enum class Keyword : std::uint8_t {
    None,
    Bar,
    Skip,
    Any,
    Some,
    Opt,
    While,
    Copy,
    Set,
    To,
    Thru,
    Remove,
    Break,
    Reject,
    Fail,
    Keep,
    Ahead,
    Not,
    Into,
    Collect,
    Insert,
    Change,
    End,
    If,
    Quote,
    Case,
    NoneWord, // none
};

// The keywords by canonical symbol id: a symbol past the table's end names none.
struct KeywordTable {
    std::vector<Keyword> by_symbol;
    SymbolId bar = 0;
};

extern KeywordTable keywords;

// The keyword a rule cell names; Keyword::None for any other cell.
inline Keyword keyword_of(Cell const& rule)
{
    if (cell::type_of(rule) != type_ids::word) return Keyword::None;
    if (rule.word2 == keywords.bar) return Keyword::Bar;
    SymbolId const canonical = symbol::resolve(rule.word2);
    return canonical < keywords.by_symbol.size() ? keywords.by_symbol[canonical] : Keyword::None;
}

// Whether the rule cell is a word! spelled, case-blind, as the runtime symbol.
bool is_word(Cell const& rule, words::Symbol);

// The value of a word, or unset! when it has none: an unbound word, a local of a function not running.
inline Cell value_of(Cell const& word)
{
    if (word.word3 == word::unresolved || word.word1 == no_node || !context::has_values(word.word1)) return unset_value;
    return *word::get_value(word);
}

// Raises the error with one argument, which may lie anywhere (it is copied first).
[[noreturn]] void fire_with(ErrorId, Cell const& argument);

// A copy of `count` units of the series from its index, of its type (commands.cpp). May allocate.
Cell copy_part(Cell const& series, std::uint32_t count);

// One run. Its registers are roots; its destructor gives the stacks back as the run found them.
class Engine {
public:
    Engine(Cell const& input, Cell const& rules, CompareOp mode, std::uint32_t limit, Cell const& callback);
    ~Engine();
    Engine(Engine const&) = delete;
    Engine& operator=(Engine const&) = delete;

    Cell run();

private:
    // ---- The input (engine.cpp) ----
    std::uint32_t index() const { return (*m_input).word1; }
    std::uint32_t total() const { return series::buffer_of(*m_input)->length(); }
    // The /part limit is an index of the outermost input: the series `into` enters end at their tails.
    bool limited() const { return m_limit != no_limit && stacks.inputs.size() - m_inputs_head == 1; }
    // The tail, or the /part limit when nearer (outermost input only).
    std::uint32_t end_index() const
    {
        std::uint32_t const tail = total();
        return limited() && m_limit < tail ? m_limit : tail;
    }
    bool at_end() const { return index() >= end_index(); }
    // Units from the index to the tail.
    std::uint32_t remaining() const
    {
        std::uint32_t const tail = total();
        return index() < tail ? tail - index() : 0;
    }
    // Every move of the index and every change of the input (a paren's, the callback's, an edit of the rules)
    // ends here or in clamp_index: the index never lies past the tail, and the end is always computed afresh.
    void set_index(std::uint64_t place)
    {
        std::uint32_t const tail = total();
        (*m_input).word1 = place < tail ? static_cast<std::uint32_t>(place) : tail;
    }
    void clamp_index() { set_index(index()); }
    Cell input_at(std::uint32_t place) const; // the current input at another index
    Cell element_at(std::uint32_t place) const; // one element: a char!, an integer! byte or the cell
    bool is_input_series(Cell const& value) const; // the same series as the current input
    bool is_any_input(NodeId node) const; // a series some level of the input stack matches

    // ---- The rules ----
    std::uint32_t rule_length() const { return series::buffer_of(*m_rules)->length(); }
    // unset! past the tail.
    Cell rule_at(std::int32_t position) const
    {
        return has_rule(position) ? series::buffer_of(*m_rules)->head_cell()[position] : unset_value;
    }
    bool has_rule(std::int32_t position) const
    {
        return position >= 0 && static_cast<std::uint32_t>(position) < rule_length();
    }
    std::size_t entry_count() const { return stacks.rules.size() - m_rules_head; }
    Entry& top() { return stacks.rules.back(); }
    bool top_is_command() const
    {
        return stacks.rules.size() > m_rules_head && stacks.rules.back().command != Command::Block;
    }
    // A run's rules entries take three cells each: one more entry must fit.
    void check_rules_room() const
    {
        if ((entry_count() + 1) * cells_per_entry > stack_cells) [[unlikely]]
            rules_stack_full();
    }
    [[noreturn]] static void rules_stack_full();
    void push_entry(Entry const& entry);
    void push_command(Command, std::int32_t minimum, std::int32_t maximum, Cell const& word, bool pick);
    State drop_command(); // event pop, the entry dropped, after match

    // ---- The steps (engine.cpp) ----
    State enter_block();
    State next_element();
    State dispatch(Cell element); // act on a rule value by its type
    State command_rule();
    State command_literal(Cell const& value, bool literal_word);
    void run_literal(Command, std::int32_t minimum, std::int32_t maximum, Cell const& value);
    bool plain_literal(std::int32_t position, Cell& literal) const;
    State literal_command_now(Command, std::int32_t minimum, std::int32_t maximum, Cell const& literal);
    State after_match();
    State find_alternative();
    State leave_block();
    bool iterate_in_place();
    State check_command();
    Cell finish();
    State match_value(Cell value);
    bool match_alternatives(Cell const& block);
    State match_type(Cell types);
    State integer_repetition(Cell count);
    State get_word_position(Cell word);
    State evaluated_paren(Cell const& paren);
    State keyword(Keyword, Cell const& word);
    State keyword_copy_set(Keyword, Cell const& word);
    State keyword_to_thru(Keyword, Cell const& word);
    State keyword_remove(Cell const& word);
    State keyword_break(bool matched);
    State keyword_keep(Cell const& word);
    bool keep_at_once(Keyword named, bool pick); // `named`: the keyword after keep (and pick)
    State keyword_into(Cell const& word);
    State keyword_collect(Cell const& word);
    State keyword_insert(Cell const& word);
    State keyword_change(Cell const& word);
    State keyword_case(Cell const& word);
    void take_step();
    void charge(std::uint64_t units); // the step budget, for work on `units` units

    // ---- Commands (commands.cpp) ----
    State complete_command();
    State complete_repetition(Entry& entry);
    State complete_to_thru(Entry& entry);
    void complete_copy(Entry const& entry);
    void complete_set(Entry const& entry);
    void complete_into();
    void complete_change(Entry const& entry);
    // The series of the input a word or get-word names when it names the current input; none! else.
    Cell position_word_value(Cell const& rule) const;
    // The new value of insert and change: a paren's value, a word's value or the cell itself.
    Cell edit_value(Cell const& rule);
    void remove_stretch(std::uint32_t from, std::uint32_t to);
    void evaluate_paren(Cell const& paren); // the value into m_paren_value
    bool lone_get_word(Cell const& paren);

    // ---- Collecting (collecting.cpp) ----
    void open_collect(CollectKind, Cell const& word, Cell const& target);
    void complete_collect();
    void complete_keep(Entry const& entry);
    void check_target(Cell const& target) const; // collect into/after: a series that may take the input's values
    void keep_value(std::size_t frame, Cell const& value);
    bool copy_units_into(std::size_t frame, std::uint32_t from, std::uint32_t to);

    // ---- The callback (engine.cpp) ----
    void event(words::Word which)
    {
        if (m_has_callback) [[unlikely]]
            call_back(which);
    }
    void call_back(words::Word which);
    Cell rules_stack_block() const;

    // Registers. Roots, released in the reverse order.
    Rooted m_rules; // the current rule block
    Rooted m_input; // the current input, at the input position
    Rooted m_entering; // the block enter_block enters
    Rooted m_paren_value; // the value of the last paren evaluated
    Rooted m_callback; // a function!, or none!
    Rooted m_result; // the block an outermost collect made, when `m_collected`

    std::size_t m_rules_head;
    std::size_t m_inputs_head;
    std::size_t m_collects_head;
    std::int32_t m_cursor = -1; // the rule element in the current block: an index from its head
    std::int64_t m_break_target = -1; // the stack place of the repetition a break or reject ends
    std::int32_t m_collect_depth = 0;
    std::uint32_t m_limit;
    std::uint32_t m_callback_arguments = 0;
    CompareOp m_mode;
    InputKind m_kind;
    bool m_match = true;
    bool m_pending_pop = false; // break, reject, fail: leave the block at the next check
    bool m_left_at_tail = false; // whether the last block left had run to its tail
    bool m_collected = false;
    bool m_stopped = false; // the callback answered false
    bool m_has_callback;
};

}
