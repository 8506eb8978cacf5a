// routine!: functions whose bodies are built-in code of the library (system routines, type predicates,
// codecs). A routine's record holds the index of its entry in the routines table; the entry reads its
// arguments from the call frame and writes its result into the base cell, as a native does.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::routines {

using Entry = void (*)();

inline constexpr std::int32_t table_size = 256;

struct RoutinesState {
    Entry entries[table_size] {};
};

extern RoutinesState state;

// Runs the routine whose arguments were fetched into the current frame. A routine without an entry raises
// internal not-done. May allocate.
void call(Cell const& routine);

}
