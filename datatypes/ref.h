// ref!: a name after "@", a child of string! that shares its cell layout and most series actions. The "@"
// is not stored: mold writes it, form leaves it out.
#pragma once

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::ref {

inline constexpr TypeId type_id = type_ids::ref;

// "@" and the characters from the index as string! forms them; the "@" lowers the budget by one. May
// allocate.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);

extern DatatypeRecord const record; // registered after string!

}
