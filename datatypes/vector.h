// vector!: numbers of one element type packed at a fixed width, a child of string! that shares its cell
// layout and navigation. Elements are char! or integer! of 8, 16 or 32 bits, float! of 32 or 64 bits, or
// percent! of 64 bits (the fraction: 50% holds 0.5), stored in the machine's byte order. The module reads
// and writes elements for the series actions, makes vectors from the spec language, prints them, compares
// them and does element-wise arithmetic.
//
// Cell: word 1 the index in elements, word 2 the node of a byte series whose unit is the element width in
// bytes (1, 2, 4 or 8), word 3 the element datatype id. Integer elements read signed at their width and
// take the low bits of a 32-bit value when written; char! elements read zero-extended, so no width gives a
// negative code point. Float elements of width 4 are single precision, converted on access.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/memory.h"
#include "runtime/type_families.h"

namespace xol::vector {

inline constexpr TypeId type_id = type_ids::vector;

inline TypeId element_type(Cell const& vector)
{
    return static_cast<TypeId>(vector.word3);
}
inline std::uint32_t width(Cell const& vector)
{
    return node::buffer(vector.word2)->unit();
}
// Elements from the index to the tail (0 when the index lies past the tail).
std::uint32_t rs_length(Cell const& vector);
// Whether the element type and width (in bytes) make a vector: char!/integer! 1, 2, 4; float! 4, 8;
// percent! 8.
bool valid_layout(TypeId element, std::uint32_t width);

// A new vector of `count` zero elements, index 0. Internal no-memory when count x width is beyond a
// series. May allocate.
Cell make(TypeId element, std::uint32_t width, std::uint64_t count);

// The element at `address` as a value of the element type.
Cell get_value(std::byte const* address, std::uint32_t width, TypeId element);
// The element as a double, for comparison and search.
double number_at(std::byte const* address, std::uint32_t width, TypeId element);
// Stores a value into the element, writing only its bytes: integer! and char! values (their low bits) into
// integer and char elements, float! and percent! values into float and percent elements. A value of the
// other kind of number raises script invalid-arg with it, any other value script invalid-type with its
// datatype.
void set_value(std::byte* address, Cell const& value, std::uint32_t width, TypeId element);
// Raises script invalid-arg with the value unless it has exactly the element type: what insert, append,
// change and make ask of every value before anything moves.
void check_element(Cell const& value, TypeId element);

// A new block with one value per element from the index. May allocate.
Cell to_block(Cell const& vector);

// Element-wise arithmetic with a scalar (integer!, char!, float! or percent!) on the vector's elements
// from its index, in place; answers the vector. A scalar of another type raises internal not-done. The
// integer and char! arithmetic wraps modulo 2^32 and keeps the low bits at the width; a float! or percent!
// scalar for such elements is cut toward zero (math overflow when it has no 32-bit value). May allocate.
Cell do_math_scalar(MathOp, Cell const& vector, Cell const& scalar);
// The same with the scalar as the left operand (10 - v subtracts each element from 10), for the number
// types' arithmetic when a vector is their right operand. May allocate.
Cell do_math_scalar_left(MathOp, Cell const& scalar, Cell const& vector);
// The arithmetic body: the vector in the call's result cell, the other operand after it. Another vector
// gives a new vector; a scalar changes the vector in place.
void do_math(MathOp);

// The actions of its own.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
Cell insert(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
Cell change(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup);
Cell find(Cell const& series, Cell const& value, FindOptions const&);
Cell select(Cell const& series, Cell const& value, FindOptions const&);
Cell sort(Cell const& series, SortOptions const&);

extern DatatypeRecord const record; // registered after error!

}
