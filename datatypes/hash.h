// hash!: a block whose every cell is indexed by a runtime hash table, so that find and select on it look
// the value up instead of scanning. It behaves as a block in every other respect.
// Cell: the block layout (word 1 the index, word 2 the node of the cells) with word 3 the node of the table
// (the hash kind), which indexes every cell of the series from its head. The block code keeps the table in
// step: a modifier that replaces a run of cells tells the table which run (`replaced`), so that only the new
// cells are hashed and the shifted ones keep their buckets; a modifier that reorders cells everywhere
// (sort, trim, shuffling) re-indexes the table.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::hash_ {

inline constexpr TypeId type_id = type_ids::hash;

// The value, a hash! or a block!, becomes a hash! with a new table over its cells. May allocate.
void index_cells(Cell& value);

// After a modifier changed the cells of a hash!, its table indexes them afresh; any other value is left
// alone. May allocate.
void reindex(Cell const& value);

// After a modifier of a hash! put `added` new cells where `removed` cells stood from `place` (a series of
// `old_total` cells before it), the table drops the removed keys, moves the positions of the cells that
// shifted, and indexes the new ones. Any other value is left alone. May allocate.
void replaced(
    Cell const& value, std::uint32_t place, std::uint32_t removed, std::uint32_t added, std::uint32_t old_total);
// The same after `count` cells moved inside a hash! from `from` to begin at `to`.
void moved(Cell const& value, std::uint32_t to, std::uint32_t from, std::uint32_t count);

extern DatatypeRecord const record; // parent block!

}
