// context!: the binding table of the language, an ordered word list and a parallel list of values.
// Objects, function frames, errors and the global namespace are contexts; a word bound to one holds the
// context's node and caches its slot index, so a bound word reaches its value in constant time.
//
// A context is a node whose series holds exactly two cells: the context cell and the owner cell (a copy
// of the object! or function! that owns the context, unset until the owner fills it).
// Context cell: header type 14 with the flags below; word 1 the node of the word index (a runtime hash
// table of the symbols kind whose key series is the word list); word 2 the node of the value series, or,
// when the values live on the value stack, the value-stack index of value 0 (`stack::cell_at`), never an
// address; 0 = no values at the moment (a function that is not running), so a running frame's values
// must not begin at the very bottom cell of the value stack (index 0).
// Word-list entry: a word! {context node, symbol as spelled when added, slot}. The slot is the entry's own
// position, except for a case variant added to the global context, whose slot is that of the first
// spelling: every case variant of a global name shares one value. Word lists only grow.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xol::context {

inline constexpr TypeId type_id = type_ids::context;

inline constexpr std::uint32_t values_on_stack = 0x400000;
inline constexpr std::uint32_t has_self = 0x1000000;
inline constexpr std::uint32_t kind_shift = 11;
inline constexpr std::uint32_t kind_mask = 0x3 << kind_shift;
inline constexpr std::uint32_t changed_flag = 0x2000; // on a word-list entry read or set through an object

enum class Kind : std::uint32_t {
    Plain = 0, // the global context and plain contexts
    Function = 1, // arguments and locals of a function
    Object = 2, // flags its entries when read or set and tells its owner of changes
    Loaded = 3, // rebuilt by the loaders; no maker here gives it
};

struct ContextState {
    NodeId global = no_node; // the global context: a collector root for the whole run
};

extern ContextState state;

inline constexpr std::uint32_t global_slots = 4000;

// Makes the global context (4,000 slots, values in a series, no self) and roots it. Start-up calls it
// once, after symbol::init. May allocate.
void init_global();
inline NodeId global()
{
    return state.global;
}

// ---- Layout. Addresses are valid until the next call that may allocate.

inline Cell& cell_of(NodeId context)
{
    return node::buffer(context)->head_cell()[0];
}
inline Cell& owner_of(NodeId context)
{
    return node::buffer(context)->head_cell()[1];
}
inline Kind kind_of(NodeId context)
{
    return static_cast<Kind>((cell_of(context).header & kind_mask) >> kind_shift);
}
inline bool is_on_stack(NodeId context)
{
    return (cell_of(context).header & values_on_stack) != 0;
}
inline bool has_values(NodeId context)
{
    return cell_of(context).word2 != 0;
}
inline NodeId index_of(NodeId context)
{
    return cell_of(context).word1;
}
NodeId words_of(NodeId context); // the node of the word list
std::uint32_t word_count(NodeId context);

// The word-list entry at a position.
Cell* word_at(NodeId context, std::uint32_t index);
// The value cell at a slot of a series-valued context.
Cell* values_at(NodeId context, std::uint32_t index);
// The value cell at a slot, wherever the values live; the context must have values.
inline Cell* value_cell(NodeId context, std::uint32_t index)
{
    Cell const& head = cell_of(context);
    if (head.header & values_on_stack) return stack::cell_at(head.word2) + index;
    return node::buffer(head.word2)->head_cell() + index;
}

// A stack-valued context's values begin at `first` on the value stack (the call that owns the frame sets
// it), or it has none (the call has ended).
void set_stack_values(NodeId context, Cell const* first);
void clear_values(NodeId context);

// ---- Look-up. Case-blind compares canonical symbols; exact compares the symbols as spelled.

// The slot of the symbol, or -1.
std::int32_t find_word(NodeId context, SymbolId symbol, bool case_blind);
// The slot when found (also stored in `index`); -1 when a word was added, its slot in `index`. The
// value side is the caller's: nothing is appended to the values. May allocate.
std::int32_t find_or_add(NodeId context, SymbolId symbol, bool case_blind, std::uint32_t& index);
// Finds the word's symbol case-blind or adds it (a new unset value in a series-valued context); answers
// the slot. May allocate.
std::uint32_t add_word(NodeId context, Cell const& word);
// Finds or adds the word case-blind and copies its value (unset for a new word) into `target`, which
// must not lie in a series buffer. May allocate.
void get_or_add_value(NodeId context, Cell const& word, Cell& target);
// When the word (case-blind) is absent: adds it with a copy of the value. May allocate.
void add_if_missing(NodeId context, Cell const& word, Cell const& value);

// ---- Makers. Each answers the new context's node. May allocate.

// `slots` words expected (0 counts as 1); with `source`, its word index is copied.
NodeId make(std::uint32_t slots, bool on_stack, bool self, NodeId source, Kind kind);
// A function's context from its spec block: every word!, get-word!, lit-word! and refinement! of the
// spec from its index, each name once; set-words and other values are not slots.
NodeId make_from_spec(Cell const& spec, bool on_stack, bool self, Kind kind);
// A new context with the same words as the one in `value`'s word 1 (the entries bound to the new one),
// and `value` rebound to it; `value` must not lie in a series buffer. Its values start empty: the owner
// fills them.
NodeId clone(Cell& value, Kind kind);

// ---- Binding.

// Binds the word (context and slot) when its symbol is found case-blind; answers the slot or -1 (the
// word is then left as it was).
std::int32_t bind_word(NodeId context, Cell& word);
// Binds every word of the block from its index, and the blocks, parens, paths and hashes inside it,
// recursively; a block met again is not walked twice. With `self`, a word! spelled self (exactly) gets
// the context with slot -1: it reads as the context's owner. Answers the block.
Cell const& bind_block(Cell const& block, NodeId context, bool self);
// Adds every set-word! of the block from its index (an index past the tail is first clamped, in the
// block value); true when the word list grew. May allocate.
bool collect_set_words(NodeId context, Cell& block);
// The number of set-word! cells of a block from its index (0 for any other value): the most words
// collect_set_words can add, for sizing a context once rather than growing it word by word.
std::uint32_t count_set_words(Cell const& block);

// ---- The global context.

// The entry with exactly this symbol; when absent, the symbol's word in the global context. May allocate.
Cell get_or_add(NodeId context, SymbolId symbol);
// The global word of a symbol, found (case-blind or exact) or added with an unset value. With both flags,
// a case variant found under another spelling comes back with the requested spelling and the variant's
// slot. May allocate.
Cell add_global(SymbolId symbol, bool case_blind, bool copy);
Cell add_global_word(SymbolId symbol); // exact
// The value cell of the symbol (case-blind) in the context, or in the global context when the context's
// values live on the stack. The symbol must be present.
Cell* value_of_global(SymbolId symbol, NodeId context);

extern DatatypeRecord const record; // no parent, no actions

}
