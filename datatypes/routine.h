// routine!: a language-visible function whose body is built-in code (the system routines, type
// predicates, directory and codec routines of the library), called through its entry with the number of
// arguments its header records, so that a call needs no walk of the spec.
//
// Cell: header type 29, 0x8000 for the maker's variant flag, bits 25-29 the number of word! cells of the
// spec (at most 31); word 1 the node of a context of the spec's words (its owner cell is not set); word 2
// the spec's node (not copied); word 3 a record laid out as function!'s: 0 the body value as given (or
// none!), 2 the entry as an integer!, 4 the result type as an integer! (-1 when none is declared).
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::routine {

inline constexpr TypeId type_id = type_ids::routine;

inline constexpr std::uint32_t variant_flag = 0x8000;
inline constexpr std::uint32_t arg_count_shift = 25;
inline constexpr std::uint32_t arg_count_mask = 0x1F;
inline constexpr std::uint32_t max_arg_count = 31;

// Builds the routine, pushes it on the value stack and answers it. A spec of more than 31 word! cells
// cannot be recorded and raises internal limit-hit with the count. May allocate.
Cell* make(Cell const& spec, Cell const& body, std::int32_t entry, std::int32_t result_type, bool variant);

// Counts the word! cells of the spec from its first cell and records the count in the header.
void set_arg_count(Cell& routine);
inline std::uint32_t arg_count(Cell const& routine)
{
    return (routine.header >> arg_count_shift) & arg_count_mask;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // parent function!

}
