// What point2D! and point3D! share: every action reads the number of coordinates from the value's own type,
// so both records name the same functions.
#pragma once

#include <array>
#include <cstdint>

#include "datatypes/action_table.h"
#include "datatypes/number_shared.h"

namespace xol::point {

using Coordinates = std::array<float, 3>; // z is 0 for a point2D!

inline std::uint32_t dimensions(TypeId type)
{
    return type == type_ids::point3d ? 3 : 2;
}
Coordinates coordinates(Cell const& value);
float coordinate_of(Cell const& number); // an integer! or float! as a coordinate, in single precision
void store(Cell& cell, TypeId type, Coordinates const&); // keeps the cell's header flags

Cell make_action(Cell const& prototype, Cell const& spec, TypeId type);
Cell random(Cell const& value, bool seed, bool secure, bool only);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
Cell eval_path(PathStep const& step);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
void absolute();
Cell negate(Cell const& value);
void do_math(MathOp);
Cell round(Cell const& value, RoundOptions const&);
Cell pick(Cell const& value, std::int32_t index, Cell const& index_value);
Cell reverse(Cell const& value, Refinement part, Refinement skip);

// The actions of both records.
inline constexpr ActionTable actions {
    .make = make_action,
    .random = random,
    .to = make_action,
    .form = form,
    .mold = mold,
    .eval_path = eval_path,
    .compare = compare,
    .absolute = absolute,
    .add = number::math_slot<do_math, MathOp::Add>,
    .divide = number::math_slot<do_math, MathOp::Divide>,
    .multiply = number::math_slot<do_math, MathOp::Multiply>,
    .negate = negate,
    .remainder = number::math_slot<do_math, MathOp::Remainder>,
    .round = round,
    .subtract = number::math_slot<do_math, MathOp::Subtract>,
    .pick = pick,
    .reverse = reverse,
};

}
