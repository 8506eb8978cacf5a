// typeset!: a set of datatypes held as a 96-bit map inside the cell, so testing an argument's type is
// one bit test with no series. Words 1-3 are read as 12 bytes in memory order: datatype id t is bit
// 0x80 >> (t & 7) of byte t >> 3 (the most significant bit of each byte first). Ids 0 to 95 fit; bit 0
// (no datatype) is set only by complement and make_default.
#pragma once

#include <cstdint>
#include <cstring>

#include "datatypes/action_table.h"

namespace xol::typeset {

inline constexpr TypeId type_id = type_ids::typeset;
inline constexpr std::uint32_t bit_count = 96;

// The bits are bytes in memory order, most significant bit first: bit 0 is 0x80 of the first byte.
inline bool has(Cell const& typeset, std::uint32_t type)
{
    auto const* bytes = reinterpret_cast<unsigned char const*>(&typeset.word1); // bytes may alias anything
    return type < bit_count && (bytes[type >> 3] & (0x80u >> (type & 7))) != 0;
}
inline void set_bit(Cell& typeset, std::uint32_t type)
{
    std::uint8_t bytes[12];
    std::memcpy(bytes, &typeset.word1, sizeof bytes);
    bytes[type >> 3] = static_cast<std::uint8_t>(bytes[type >> 3] | (0x80u >> (type & 7)));
    std::memcpy(&typeset.word1, bytes, sizeof bytes);
}

inline Cell make()
{
    return cell::make(type_id);
} // the empty set
void clear(Cell& typeset); // words 1-3 set to 0
// Set bits for the datatype ids 1 to the highest registered one.
std::uint32_t count(Cell const& typeset);

// Appended at the block's tail; each answers the new cell. May allocate.
Cell* make_in(Cell const& block, std::uint32_t word1, std::uint32_t word2, std::uint32_t word3);
// Every bit but unset!'s: what an argument without a type block accepts.
Cell* make_default(Cell const& block);
// From a type block of a spec: datatypes, typesets, words whose values are either (a word whose value is
// a word adds object!); nested blocks are skipped; anything else raises script invalid-type-spec.
Cell* make_from_block(Cell const& block, Cell const& spec);

// Adds a datatype! or typeset! (a word! stands for its value); anything else raises script invalid-arg
// with the value as given. May raise.
void add(Cell& typeset, Cell const& value);

// A block! in `target` of the type-name words of the set's datatypes, in id order. `target` must not lie
// in a series buffer. May allocate.
void to_block(Cell const& typeset, Cell& target);

// The bitwise and set operations: Or, And, Xor, Unique, Union, Intersect, Exclude, Difference. The right
// operand must be a typeset! or a datatype!, else script invalid-arg (Unique ignores it).
Cell bitwise(Cell const& left, Cell const& right, MathOp op);
// The same on the call frame: the arguments base and the cell after it; the result replaces the base.
void do_bitwise(MathOp op);

// The text of form and mold: "make typeset! [" names "]", or with `only` just the names. Answers the
// part budget left. May allocate.
std::int32_t mold_body(
    Cell const& typeset, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit);

extern DatatypeRecord const record; // no parent

}
