// bitset!: a set of non-negative integers, above all of code points, held as a byte series of bits with a
// complement flag, so that a set made with `not` ("everything but these") stays finite.
//
// Cell: word 2 the node of a byte series (unit 1, head at 0); words 1 and 3 are 0. Bit n is the mask
// 0x80 >> (n & 7) of byte n >> 3: the most significant bit of byte 0 is bit 0.
// Invariant: the stored bytes (head to tail) are the membership of the bits they cover; every bit past them
// is a member exactly when the complement flag of the buffer is set. Growth fills new bytes with 0xFF on a
// complemented set and 0 on a plain one, so it never changes the membership.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/memory.h"

namespace xol::bitset {

inline constexpr TypeId type_id = type_ids::bitset;

// The complement flag, in the series buffer's flags.
inline constexpr std::uint32_t complement_flag = 0x80000;

// What the spec language does with the values of a spec.
enum class SpecMode : std::int32_t {
    Size = 0, // only the highest bit named, for the size of a new set
    Set = 1,
    Test = 2, // true when every value named is a member
    Clear = 3,
};

// Which error a value the spec language does not know raises: bad-make-arg, bad-to-arg or invalid-arg.
enum class SpecError : std::int32_t { Make = 0, To = 1, Action = 2 };

inline bool complemented_q(Cell const& bitset)
{
    return (node::buffer(bitset.word2)->flags & complement_flag) != 0;
}

// The stored bytes.
inline std::uint64_t byte_length(Cell const& bitset)
{
    SeriesBuffer const* buffer = node::buffer(bitset.word2);
    return buffer->tail - buffer->head;
}

// The membership of bit n: the stored bit, or past the stored bytes (and for a negative n) the flag. Inline:
// searches and parse ask it once per character.
inline bool member_q(Cell const& bitset, std::int64_t n)
{
    SeriesBuffer* buffer = node::buffer(bitset.word2);
    if (n < 0 || static_cast<std::uint64_t>(n) >= std::uint64_t { buffer->tail - buffer->head } * 8)
        return (buffer->flags & complement_flag) != 0;
    auto const bit = static_cast<std::uint64_t>(n);
    auto const byte = std::to_integer<std::uint32_t>(buffer->head_address()[bit >> 3]);
    return (byte & (0x80u >> (bit & 7))) != 0;
}

// A new set of `bytes` bytes, all 0xFF and complemented or all 0 and plain. Raises internal no-memory
// when that many bytes cannot be had. May allocate.
Cell make(std::uint64_t bytes, bool complemented);

// Runs the spec language over `spec` (a char!, integer!, float!, string! from its index, or a block! of
// those from its index, where `low - high` names a range) against the set in `bitset` (none! for Size).
// Size answers the bytes a new set needs (at least 1); Test 1 when every bit named is a member, else 0;
// Set and Clear answer 1. Raises script out-of-range (a negative bit outside Test, NaN or a float beyond
// 64 bits), past-end and invalid-arg (a malformed range), internal not-done (a binary! in a block), and
// the error of `kind` for any other value. May allocate.
std::uint64_t process_spec(Cell const& spec, Cell const& bitset, SpecMode, SpecError kind);

// make bitset! and to bitset!: from a spec block (led by the word `not` for a complemented set), a char!,
// an integer!, a string!, a copy of another bitset!, or a binary!'s bytes from its index (also first in a
// block, after `not`: complemented with the flag set); a number (make only) is a size in bits. May allocate.
Cell make_from_spec(Cell const& spec, bool to);

// The bit operations and set operations on two sets: Or, And, Xor and Union, Intersect, Exclude,
// Difference; Unique answers `left` as it is. The right operand must be a bitset!, else script invalid-type
// naming its datatype. Each operand reads as padded with its own complement (0xFF bytes when flagged, else
// 0), and the result's flag is the operation on the two flags, so membership is exact. The result spans the
// longer operand, except And between two plain sets, which stops at the shorter. May allocate.
Cell bitwise(Cell const& left, Cell const& right, MathOp);
// The same on the call frame: the arguments base and the cell after it; the result replaces the base.
void do_bitwise(MathOp);

extern DatatypeRecord const record; // no parent

}
