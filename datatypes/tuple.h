// tuple!: 3 to 12 unsigned bytes in the cell itself, written with dots (colours 255.0.0, versions 1.2.3,
// addresses 192.168.0.1).
// Cell: header bits 19-22 hold the count n (3 to 12); bytes 4 to 15 hold the components in order, so words
// 1 to 3 carry components 1-4, 5-8 and 9-12, little-endian within each word. Bytes past n are 0 in every
// tuple the module makes, which lets compare and same? read whole words.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::tuple {

inline constexpr TypeId type_id = type_ids::tuple;
inline constexpr std::uint32_t most = 12;
inline constexpr std::uint32_t count_shift = 19;
inline constexpr std::uint32_t count_mask = 0xFu << count_shift;

inline std::uint32_t count(Cell const& value)
{
    return (value.header & count_mask) >> count_shift;
}

// The components as bytes, 12 of them, those past the count zero.
struct Bytes {
    std::uint8_t at[most] = {};
};
Bytes bytes(Cell const& value);

// A tuple of the first `count` bytes; fewer than 3 are padded with zeros to 3.
Cell make(std::uint8_t const* components, std::uint32_t count);
Cell* push(std::uint8_t const* components, std::uint32_t count); // a new tuple! on the value stack

bool zero_q(Cell const& value); // every component 0

// A hex colour: #RGB (each digit twice), #RRGGBB, #RRGGBBAA. Another length or a character that is not a
// hex digit raises script invalid-data with the issue.
Cell from_issue(Cell const& issue);

// Component `index` (1-based) set to the integer, clamped to 0..255; `none` cuts the tuple before it (never
// below 3 components). An index outside 1..count raises script out-of-range.
void poke_at(Cell& tuple, Cell const& index, Cell const& value);

// The arithmetic and bitwise body: the tuple in the call's result cell, the other operand after it.
void do_math(MathOp);

extern DatatypeRecord const record; // no parent

}
