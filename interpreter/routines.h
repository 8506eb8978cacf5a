// routine!: functions whose bodies are built-in code of the library (system routines, type predicates,
// codecs). A routine's record holds the index of its entry in the routines table; the entry reads its
// arguments from the call frame and writes its result into the base cell, as a native does.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::routines {

using Entry = void (*)();

inline constexpr std::int32_t table_size = 256;

struct RoutinesState {
    Entry entries[table_size] {};
};

extern RoutinesState state;

// A routine of the library: its name, its entry and the datatype id of its declared result (-1 for none).
// Start-up makes each routine! from the spec the library's descriptions give under that name.
struct Row {
    char const* name;
    Entry entry;
    std::int32_t result_type;
};

// The row of the name, its index being the routine's entry index; -1 when there is none.
std::int32_t find(std::string_view name);
// The same, trying the row at `likely` first: start-up meets the rows in the table's order.
std::int32_t find(std::string_view name, std::int32_t likely);
std::int32_t result_type(std::int32_t index);
// Gives the row of the name its entry: for the routines of the layers above the interpreter (the console's
// line editor), whose rows name no entry of their own. Their launch installs them before any call.
void install(std::string_view name, Entry entry);
// Fills the table's entries from the rows. Start-up calls it once, before the descriptions are read.
void register_routines();

// Runs the routine whose arguments were fetched into the current frame. A routine without an entry raises
// internal not-done. May allocate.
void call(Cell const& routine);

}
