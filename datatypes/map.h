// map!: an associative array of unique keys kept in insertion order, indexed by a runtime hash table.
// Cell: word 1 the index into the pair block (0), word 2 the node of the pair block, word 3 the node of the
// table (the map kind).
// Invariants: the pair block holds key, value, key, value...; pairs are appended and never reordered. A
// removed pair stays in the block with a value cell of header 0 and its key still indexed, so setting the
// key again revives it in place; the table's count is the number of live pairs.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::map {

inline constexpr TypeId type_id = type_ids::map;

inline NodeId block_of(Cell const& map)
{
    return map.word2;
}
inline NodeId table_of(Cell const& map)
{
    return map.word3;
}

// True for the 24 datatypes a key may have.
bool valid_key_q(TypeId);

// A key made ready to store: a word of any kind becomes a set-word! (flags dropped), text and binary keys
// become fresh copies. Another type raises script invalid-path with `path` (or none) and the key's type.
// `key` must not lie in a series buffer. May allocate.
void normalize_key(Cell& key, Cell const* path);

// A map over the cells of `block` (their pairs loaded, later duplicates folded into earlier keys), or over
// a new block with room for `capacity` pairs when `block` is nullptr. May allocate.
Cell make(Cell const* block, std::uint32_t capacity);
// A map over `count` key/value cells that lie outside series buffers. May allocate.
Cell make_from_cells(Cell const* cells, std::uint32_t count);

std::int32_t rs_length(Cell const& map); // live pairs

// Sets a key (a new pair at the tail, a removed one revived in place); matching is strict with
// `case_sensitive`. Answers the value. May allocate.
Cell put(Cell const& map, Cell const& key, Cell const& value, bool case_sensitive, Cell const* path = nullptr);

// extend's work: every pair of the block set in turn. An odd count raises script invalid-arg. May allocate.
Cell extend(Cell const& map, Cell const& block, bool case_sensitive);

// One step of foreach over a map: the words take the cells from the cursor's index, removed pairs skipped;
// words left over get none. Moves the cursor past what it read; false when nothing was left.
bool set_words(Cell const& words, Cell& cursor, std::uint32_t count);
bool more_q(Cell const& cursor); // live cells left from the cursor's index

// The live pairs as a block of keys and values, a key cell starting a new line. May allocate.
Cell body_of(Cell const& map);

extern DatatypeRecord const record; // no parent

}
