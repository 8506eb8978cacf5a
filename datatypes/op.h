// op!: an infix operator wrapping a native!, action!, function! or routine! of two arguments.
//
// Cell: header (wrapped type << 16) + 23; words 1 to 3 copied from the wrapped value (entry index, spec and
// record for a native or action; context, spec and function record for a function or routine). An op of a
// function or routine shares its record, whose cell 3 holds a copy of the wrapped value so that the
// evaluator can call it.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::op {

inline constexpr TypeId type_id = type_ids::op;

inline TypeId wrapped_type(Cell const& value)
{
    return static_cast<TypeId>((value.header >> 16) & 0xFF);
}

// Two arguments before any refinement but /local and /extern, and no lit-word or get-word first.
bool valid_spec_q(Cell const& spec);

// make: wraps the value; another type raises script invalid-type, a spec that breaks the rule above script
// bad-op-spec. May allocate nothing but the error.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // parent native!

}
