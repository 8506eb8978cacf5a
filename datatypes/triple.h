// triple!: three signed 32-bit integers in one cell, the counters the parse engine keeps on its stacks.
// Nothing in the language makes one (no make or to): code fills the cell through the makers below, and
// the module gives the values their text.
// Cell: words 1, 2 and 3 hold a, b and c.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::triple {

inline constexpr TypeId type_id = type_ids::triple;

inline Cell make(std::int32_t first, std::int32_t second, std::int32_t third)
{
    return Cell { type_id, static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(second),
        static_cast<std::uint32_t>(third) };
}
void make_at(Cell& cell, std::int32_t first, std::int32_t second, std::int32_t third); // keeps the header flags

inline std::int32_t a(Cell const& value)
{
    return static_cast<std::int32_t>(value.word1);
}
inline std::int32_t b(Cell const& value)
{
    return static_cast<std::int32_t>(value.word2);
}
inline std::int32_t c(Cell const& value)
{
    return static_cast<std::int32_t>(value.word3);
}

extern DatatypeRecord const record; // no parent

}
