// The handle registry: a block of values addressed by 1-based handles, so that C++ code and OS callbacks
// can keep values by a number. The block is marked as a root at every collection: a value stays alive
// until its handle is removed.
// Invariant: the block's series always has its whole capacity in use; a free cell is an integer! whose
// word 2 is the 0-based index of the next free cell (-1 ends the chain).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol {

namespace slots {

inline constexpr std::uint32_t initial_cells = 100;

struct SlotsState {
    Cell block; // a block! whose series always has its whole capacity in use
    std::int32_t free_head; // 0-based cell index, -1 when none
};
extern SlotsState state;

void init(); // May allocate.
std::uint32_t add(Cell const& value); // the handle. May allocate.
Cell* get(std::uint32_t handle);
void remove(std::uint32_t handle); // handle 0 does nothing

}

}
