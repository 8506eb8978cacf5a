// The word family: word!, set-word!, lit-word!, get-word!, refinement! and issue!, the language's names
// as values. One cell layout: word 1 the node of the context the word is bound to (0 for none), word 2
// the symbol id exactly as spelled, word 3 the cached slot in that context (-1, `unresolved`, while
// unknown). Header flag 0x2000 marks a word-list entry read or set through an object's context.
//
// Reading and setting values go through the cached slot: no hashing on the evaluator's hottest path.
// Makers that may allocate write their result only once they are done, and answer cells by value where
// the caller keeps them; addresses answered point into the value stack or a series (the latter valid
// until the next call that may allocate).
#pragma once

#include <cstdint>
#include <string_view>

#include "datatypes/action_table.h"
#include "datatypes/context.h"
#include "runtime/type_families.h"

namespace xol::word {

inline constexpr TypeId type_id = type_ids::word;
inline constexpr std::uint32_t unresolved = 0xFFFFFFFF;

// word!, set-word!, lit-word!, get-word!, refinement!, issue!.
inline bool is_any_word(TypeId type)
{
    return type_ids::is_all_word(type);
}
// The types a context binds: the family without issue!.
inline bool is_bindable(TypeId type)
{
    return type_ids::is_bindable(type);
}

inline SymbolId symbol_of(Cell const& word)
{
    return word.word2;
}
inline NodeId context_of(Cell const& word)
{
    return word.word1;
}
inline std::int32_t index_of(Cell const& word)
{
    return static_cast<std::int32_t>(word.word3);
}

// ---- Makers ---------------------------------------------------------------------------------------

// The global word! of the symbol, found case-blind or added with an unset value. May allocate.
Cell make(SymbolId symbol);
// The same into `target`, which must not lie in a series buffer; answers it. May allocate.
Cell* make_at(SymbolId symbol, Cell& target);
// The global word of a name: interned, then found case-blind in the global context or added; a case
// variant found under another spelling comes back with this spelling and the shared slot. May allocate.
Cell make_global(std::string_view utf8);
// A word of `type` (the family) bound to the global context, appended at the block's tail. May allocate.
Cell* make_in(Cell const& block, SymbolId symbol, TypeId type = type_id);

// Pushes on the value stack and answers the pushed cell.
Cell* push_global(SymbolId symbol); // May allocate.
Cell* push(Cell const& word); // a copy, its type kept
Cell* push_local(NodeId context, std::uint32_t index); // a copy of the word-list entry
// As push and push_local, the copy given `type`: the family shares one layout, so a set-word!, lit-word!,
// get-word!, refinement! or issue! differs from its word! only in the header's type.
Cell* push_as(Cell const& word, TypeId type);
Cell* push_local_as(NodeId context, std::uint32_t index, TypeId type);

// The spelling as a new string! (a copy: changing it renames nothing), pushed. May allocate.
Cell* to_string(Cell const& word);
// The datatype id the word's spelling would load as (through the lexer).
TypeId scan_type(Cell const& word);

// ---- Values ---------------------------------------------------------------------------------------

// The address of the word's value cell in `context`. An unresolved word spelled self (exactly) reads as
// its own context's owner; any other raises script no-value. A context without values raises script
// not-in-context.
Cell* get_value_in(Cell const& word, NodeId context);
// The same in the word's own context: the evaluator's hottest path, inline for a resolved word.
Cell* get_value_slow(Cell const& word);
inline Cell* get_value(Cell const& word)
{
    if (word.word3 != unresolved && word.word1 != no_node) {
        Cell const& head = context::cell_of(word.word1);
        if (head.word2 != 0) {
            if (head.header & context::values_on_stack) return stack::cell_at(head.word2) + word.word3;
            return node::buffer(head.word2)->head_cell() + word.word3;
        }
    }
    return get_value_slow(word);
}

// Sets the word's value in `context` and answers the value cell. An unresolved word is looked up exactly
// and its slot cached in `word`; a word still absent is added. A context without values raises script
// not-defined. In an object's context the entry is flagged and, with `notify`, the owner's on-change*
// hears of the change. May allocate (adding, notifying).
Cell* set_notify(Cell& word, Cell const& value, NodeId context, bool notify);
Cell* set(Cell& word, Cell const& value); // in the word's own context, notifying

// Push a copy of the word's value. get raises script no-value for an unset value; get_any does not.
Cell* get(Cell const& word);
Cell* get_any(Cell const& word);
// Push a copy of the value at a slot; a context without values raises script not-defined with the entry.
Cell* get_local(NodeId context, std::uint32_t index);
// Series-valued contexts: pushes a copy of the value at the slot and copies it also into the cell that
// was the top before the push. An object's context flags the entry.
Cell* get_local_push(NodeId context, std::uint32_t index);
// Series-valued contexts: copies the value at the slot into the top cell of the value stack.
void set_local_from_top(NodeId context, std::uint32_t index);
// A set-word's assignment: the word is the cell at the arguments base, the value the cell after it; an
// unset value raises script need-value. The value becomes the result (the base cell). May allocate.
void set_arg();

// ---- Actions shared by the family ------------------------------------------------------------------

// The spelling; mold of word! writes the same. May allocate.
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
// 0 equal, 1 unequal, -2 not comparable (a non-word, or issue! against another kind); orderings compare
// the spellings.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);
// make and to: the answer has the target type. May allocate, may raise.
Cell make_action(Cell const& prototype, Cell const& spec, TypeId type);

extern DatatypeRecord const record; // parent symbol!

}

namespace xol::set_word {
inline constexpr TypeId type_id = type_ids::set_word;
Cell* push(Cell const& word);
Cell* push_local(NodeId context, std::uint32_t index);
extern DatatypeRecord const record; // parent word!
}

namespace xol::lit_word {
inline constexpr TypeId type_id = type_ids::lit_word;
Cell* push(Cell const& word);
Cell* push_local(NodeId context, std::uint32_t index);
extern DatatypeRecord const record; // parent word!
}

namespace xol::get_word {
inline constexpr TypeId type_id = type_ids::get_word;
Cell* push(Cell const& word);
Cell* push_local(NodeId context, std::uint32_t index);
extern DatatypeRecord const record; // parent word!
}

namespace xol::refinement {
inline constexpr TypeId type_id = type_ids::refinement;
Cell* push(Cell const& word);
Cell* push_local(NodeId context, std::uint32_t index);
// An unbound refinement! of the name (context 0, slot -1), such as /local. May allocate.
Cell make(std::string_view utf8);
extern DatatypeRecord const record; // parent word!
}

namespace xol::issue {
inline constexpr TypeId type_id = type_ids::issue;
Cell* push(Cell const& word);
// An issue! of the name: {global context, symbol, -1}. make_at's target must not lie in a series buffer.
// May allocate.
Cell make(std::string_view utf8);
Cell* make_at(Cell& target, std::string_view utf8);
Cell* load(std::string_view utf8); // pushed on the value stack. May allocate.
extern DatatypeRecord const record; // parent word!
}
