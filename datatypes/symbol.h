// symbol!: the interned names of the language and the symbol table that holds them. Every name is
// interned once and named everywhere else by its symbol id, the 1-based position of its cell in the
// table's block; ids are stable for the whole run (symbols are never removed).
//
// Case: spellings that differ only in ASCII letter case are distinct symbols, but a later spelling keeps
// the id of the canonical spelling (the first one interned) as its alias, so case-blind look-ups compare
// canonical ids. Letters outside ASCII never fold: é and É are two canonical symbols.
//
// Symbol cell: word 1 the alias (signed; 0 or less marks a canonical spelling), word 2 the node of the
// cached string! of the spelling (0 until first needed), word 3 the node of the name: 1-byte units of
// UTF-8 followed by a NUL that the tail excludes.
#pragma once

#include <cstdint>
#include <string_view>

#include "datatypes/action_table.h"
#include "runtime/memory.h"

namespace xol::symbol {

inline constexpr TypeId type_id = type_ids::symbol;

// The symbol table: a block of symbol cells and its name index (a runtime hash table of the symbols
// kind over the block's series). Both nodes are collector roots.
struct SymbolTableState {
    NodeId block = no_node;
    NodeId table = no_node;
};

extern SymbolTableState state;

inline constexpr std::uint32_t initial_capacity = 4000;

// Makes the table (empty). Start-up calls it once, before anything is interned. May allocate.
void init();

// Interning. Each answers the id of the spelling, creating its symbol when it is new. May allocate.
SymbolId make(std::string_view utf8);
SymbolId make_len(char const* utf8, std::uint32_t length);
// Case-blind: any existing spelling of the name regardless of ASCII case; a new canonical one otherwise.
SymbolId make_case(std::string_view utf8);
// As make, with the name's hash (hash::lowered_name of the bytes) already known.
SymbolId make_hashed(std::string_view utf8, std::uint32_t name_hash);
// The text of a string! (from its index) as UTF-8, interned; `byte_count`, when given, receives the
// number of UTF-8 bytes. May allocate.
SymbolId make_from_string(Cell const& string, std::uint32_t* byte_count = nullptr);

// The symbol cell of an id: valid until the next call that may allocate.
inline Cell& cell_of(SymbolId id)
{
    return node::buffer(state.block)->head_cell()[id - 1];
}

// The symbol cell, its cached string made first. The address is valid until the next call that may
// allocate. May allocate.
Cell* get(SymbolId id);
// The symbol cell of a word's spelling, its cached string made first. May allocate.
inline Cell* of_word(Cell const& word)
{
    return get(word.word2);
}
// Makes the cached string! of the spelling when there is none yet; answers its node. May allocate.
NodeId cache_string(SymbolId id);
// A symbol cell's spelling as a string! from its head: its cached string, or a new one when it has none.
// May allocate.
Cell text_of(Cell const& symbol);

// The canonical id: the alias when there is one, else the id itself. One step: every alias names a
// canonical spelling.
inline SymbolId resolve(SymbolId id)
{
    auto const alias = static_cast<std::int32_t>(cell_of(id).word1);
    return alias > 0 ? static_cast<SymbolId>(alias) : id;
}
inline std::int32_t alias_of(SymbolId id)
{
    return static_cast<std::int32_t>(cell_of(id).word1);
}

// The UTF-8 bytes of the spelling: valid until the next call that may allocate.
std::string_view spelling(SymbolId id);

// Number of symbols interned; ids run from 1 to it.
std::uint32_t count();

// Two spellings compared as the strings they form would be, under the code (case folds but for the strict
// and case-sorting codes). Reads the names themselves and never allocates: sorts and searches hold buffer
// addresses across comparisons.
std::int32_t compare_spellings(SymbolId symbol1, SymbolId symbol2, CompareOp op);
// The compare action: the two spellings compared as above. Never allocates.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // no parent

}
