// hash!: a block whose every cell is indexed by a runtime hash table, so that find and select on it look
// the value up instead of scanning. It behaves as a block in every other respect.
// Cell: the block layout (word 1 the index, word 2 the node of the cells) with word 3 the node of the table
// (the hash kind), which indexes every cell of the series from its head. The block code keeps the table in
// step: every modifier of a hash! re-indexes it.
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

extern DatatypeRecord const record; // parent block!

}
