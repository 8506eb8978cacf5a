// pair!: two 32-bit integers written 10x20, for sizes, offsets and coordinates. Arithmetic stays in
// integers while it is exact; an inexact result belongs to point2D!.
// Cell: word 2 holds x and word 3 y, signed; word 1 carries nothing.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::pair {

inline constexpr TypeId type_id = type_ids::pair;

inline std::int32_t x(Cell const& value)
{
    return static_cast<std::int32_t>(value.word2);
}
inline std::int32_t y(Cell const& value)
{
    return static_cast<std::int32_t>(value.word3);
}

inline Cell make(std::int32_t x_value, std::int32_t y_value)
{
    return Cell { type_id, 0, static_cast<std::uint32_t>(x_value), static_cast<std::uint32_t>(y_value) };
}
void make_at(Cell& cell, std::int32_t x_value, std::int32_t y_value); // keeps the cell's header flags
Cell* make_in(Cell const& block, std::int32_t x_value, std::int32_t y_value); // at the block's tail. May allocate.
Cell* push(std::int32_t x_value, std::int32_t y_value); // a new pair! on the value stack

extern DatatypeRecord const record; // no parent

}
