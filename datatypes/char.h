// char!: one Unicode code point as a value (word 2, 0 to 0x10FFFF). A child of integer!: arithmetic is the
// integer arithmetic with a range check, and random, absolute, even? and odd? are integer!'s own.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::char_ {

inline constexpr TypeId type_id = type_ids::char_;
inline constexpr std::uint32_t max_code_point = 0x10FFFF;

inline std::uint32_t get(Cell const& value)
{
    return value.word2;
}
inline Cell make(std::uint32_t code_point)
{
    return Cell { type_id, 0, code_point, 0 };
}
Cell* push(std::uint32_t code_point); // a new char! on the value stack
Cell* make_at(Cell const& block, std::uint32_t code_point); // appended at the block's tail. May allocate.

// The arithmetic body: the char! in the call's result cell, the other operand after it. A result outside
// 0..0x10FFFF, or one that is not an integer, raises math overflow.
void do_math(MathOp);

// The make and to action (one body for both).
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);

extern DatatypeRecord const record; // parent integer!

}
