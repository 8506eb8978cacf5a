// tag!: text between angle brackets, a child of string! that shares its cell layout and every series action.
// The brackets are not stored: the text is what lies between them, and only the printed forms add them.
#pragma once

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::tag {

inline constexpr TypeId type_id = type_ids::tag;

// form and mold write the same text: "<", the characters from the index as string! forms them, ">". Each
// bracket lowers the budget by one. May allocate.
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);

extern DatatypeRecord const record; // registered after string!

}
