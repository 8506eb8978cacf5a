// point2D!: a point of two single-precision coordinates, written (x, y). Arithmetic widens them to doubles
// and stores the results back in single precision; pair! arithmetic that is not exact lands here.
// Cell: word 1 holds x and word 2 y, as float bits; word 3 carries nothing.
#pragma once

#include <bit>
#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::point2d {

inline constexpr TypeId type_id = type_ids::point2d;

inline float x(Cell const& value)
{
    return std::bit_cast<float>(value.word1);
}
inline float y(Cell const& value)
{
    return std::bit_cast<float>(value.word2);
}

inline Cell make(float x_value, float y_value)
{
    return Cell { type_id, std::bit_cast<std::uint32_t>(x_value), std::bit_cast<std::uint32_t>(y_value), 0 };
}
void make_at(Cell& cell, float x_value, float y_value); // keeps the cell's header flags
Cell* make_in(Cell const& block, float x_value, float y_value); // at the block's tail. May allocate.
Cell* push(float x_value, float y_value); // a new point2D! on the value stack

// The arithmetic body: the point in the call's result cell, the other operand after it. pair! hands its
// inexact operations here with both operands made points.
void do_math(MathOp);

extern DatatypeRecord const record; // no parent

}
