// point3D!: the three-coordinate twin of point2D!, written (x, y, z).
// Cell: words 1, 2 and 3 hold x, y and z, as float bits.
#pragma once

#include <bit>
#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::point3d {

inline constexpr TypeId type_id = type_ids::point3d;

inline float x(Cell const& value)
{
    return std::bit_cast<float>(value.word1);
}
inline float y(Cell const& value)
{
    return std::bit_cast<float>(value.word2);
}
inline float z(Cell const& value)
{
    return std::bit_cast<float>(value.word3);
}

inline Cell make(float x_value, float y_value, float z_value)
{
    return Cell { type_id, std::bit_cast<std::uint32_t>(x_value), std::bit_cast<std::uint32_t>(y_value),
        std::bit_cast<std::uint32_t>(z_value) };
}
void make_at(Cell& cell, float x_value, float y_value, float z_value); // keeps the cell's header flags
Cell* make_in(Cell const& block, float x_value, float y_value, float z_value); // May allocate.
Cell* push(float x_value, float y_value, float z_value); // a new point3D! on the value stack

extern DatatypeRecord const record; // no parent

}
