// percent!: a float! shown as a percentage. The cell holds the fraction (50% holds 0.5) where a float!
// holds its double; every action but the text is float!'s.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::percent {

inline constexpr TypeId type_id = type_ids::percent;

inline double get(Cell const& value)
{
    return cell::float_payload(value);
}
inline Cell make(double fraction)
{
    Cell value { type_id, 0, 0, 0 };
    cell::set_float_payload(value, fraction);
    return value;
}
// From the double's two 32-bit halves, as XOLBIN stores them.
inline Cell make(std::uint32_t high, std::uint32_t low)
{
    return Cell { type_id, 0, low, high };
}
void make_at(Cell& cell, double fraction); // keeps the cell's header flags
void make_at(Cell& cell, std::uint32_t high, std::uint32_t low);
Cell* make_in(Cell const& block, std::uint32_t high, std::uint32_t low); // appended at the block's tail. May allocate.
Cell* push(double fraction); // a new percent! on the value stack
Cell* push(std::uint32_t high, std::uint32_t low);
void set_result(double fraction); // into the current call's result cell

extern DatatypeRecord const record; // registered after float!

}
