// binary!: the byte series, a child of string! that shares its cell layout and most of its series actions.
// Its own code turns values into bytes, inserts and changes bytes, prints the #{...} form, compares byte by
// byte and does byte-wise logic. Files, checksums, compression, call, the clipboard, XOLBIN and images read
// and write binaries through the byte accessors below; the base codecs are in binary_codecs.h.
//
// Cell: word 1 the index in bytes, word 2 the node of a buffer of 1-byte units, word 3 0. The content is
// the bytes from the index to the tail. The index may lie past the tail after another value on the same
// buffer shortened it: readers take such a value as empty, and the operations that change the binary
// first set its index back to the tail.
//
// Addresses and allocation: any allocation may collect, and a collection moves buffers and nodes. An
// address answered here is valid until the next call that may allocate; take it again afterwards, from a
// rooted value (a Rooted, a value-stack cell). Functions that may allocate say so; they root the cells they
// are given, so a caller may pass a cell of a series buffer. Bytes handed in by address (append_bytes,
// load, ...) must not lie in a series buffer: copy a series' bytes out first.
#pragma once

#include <cstdint>
#include <span>

#include "datatypes/action_table.h"
#include "runtime/memory.h"
#include "runtime/type_families.h"

namespace xol::binary {

inline constexpr TypeId type_id = type_ids::binary;

// ---- Reading bytes ------------------------------------------------------------------------------------

// Bytes from the index to the tail; 0 when the index lies past the tail.
std::uint32_t rs_length(Cell const& value);
// The address of the byte at the index (the tail's when the index lies past it); the value is unchanged.
std::uint8_t* rs_head(Cell const& value);
// rs_head and rs_length together: the content, valid until the next allocation.
inline std::span<std::uint8_t> bytes(Cell const& value)
{
    return { rs_head(value), rs_length(value) };
}
// The byte `offset` bytes after the buffer's first byte (not after the index); it must lie before the tail.
std::uint8_t get_byte(Cell const& value, std::uint32_t offset);

// ---- Making binaries ----------------------------------------------------------------------------------

// A new empty binary! (index 0) with room for `capacity` bytes (0 gives 16). May allocate.
Cell make(std::uint32_t capacity);
// The same in a cell, which holds unset! while the buffer is allocated: the cell must not lie in a series
// buffer (a value-stack cell, a root or a local). May allocate.
void make_at(Cell& cell, std::uint32_t capacity);
// A new binary! holding a copy of the bytes. May allocate.
Cell load(std::span<std::uint8_t const> bytes);
// The same, appended at the tail of a block. May allocate.
void load_at(std::span<std::uint8_t const> bytes, Cell const& block);

// ---- Writing bytes ------------------------------------------------------------------------------------
// None of these tells an owning object: they are for the system's own binaries (results being built).

// Copies the bytes at the tail, growing the buffer, and answers where they went. May allocate.
std::uint8_t* append_bytes(Cell const& value, std::span<std::uint8_t const> bytes);
// Reserves `count` bytes at the tail (the tail moves past them; their contents are left as they were) and
// answers their address, for writers that produce the bytes in place. May allocate.
std::uint8_t* append_space(Cell const& value, std::uint32_t count);
// Opens a gap at `offset` bytes after the index (at most the tail) and copies the bytes into it. May allocate.
void insert_bytes(Cell const& value, std::uint32_t offset, std::span<std::uint8_t const> bytes);
// Sets the tail `count` bytes after the index, which must stay within the capacity: a writer that reserved
// more than it wrote gives the rest back.
void set_length(Cell const& value, std::uint32_t count);

// The byte that poke stores for a value: the low 8 bits of an integer! or a char!, without a range check;
// any other value raises script invalid-arg.
std::uint8_t byte_value(Cell const& value);

// ---- Comparing ----------------------------------------------------------------------------------------

// Byte-wise comparison with a binary! or a text (compared through its units, each as one byte value); any
// other value answers compare_incomparable. same? answers 0 only for the same buffer and index. The
// equality codes answer 0 or 1; the orders -1, 0 or 1, a prefix before the longer value. In match mode,
// 0 when `other` is a prefix of the binary from its index (an empty `other` matches under the equality
// codes). Never allocates.
std::int32_t compare_bytes(Cell const& binary, Cell const& other, CompareOp, bool match);
// Whether the byte at the index is in the bitset! (a byte past the set's stored bits by its complement
// flag); false at the tail.
bool in_bitset_q(Cell const& binary, Cell const& bitset);
// Whether the binary starts with the value: the bytes of a binary! or a text (as compare_bytes matches),
// the code of a char! equal to the byte at the index. Any other value answers false.
bool equal_to(Cell const& binary, Cell const& value, CompareOp);

// ---- Actions ------------------------------------------------------------------------------------------
// Each may allocate.

// append and insert (one body). Every value is turned into bytes before the binary changes, so a value
// that cannot go in (an integer! outside -128..255, a value of no bytes) leaves the binary as it was; a
// binary! on the target's own buffer goes in as a copy of what it held. /part limits the bytes of one
// value, or counts the values of a block (its bytes with /only); /dup repeats the bytes. append answers the
// head, insert the position after what it added.
Cell insert(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
// Replaces /part bytes, or as many as the value brings (times /dup), and answers the position after the
// new bytes. A value with no bytes of its own goes in as its formed text's UTF-8.
Cell change(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup);
// Zero bytes at both ends, or at the ends /head and /tail name; /all every zero byte; /with the bytes its
// value names. /auto and /lines raise internal not-done.
Cell trim(Cell const& series, TrimOptions const&);
// The bytes of a value: text and char! as UTF-8, integer! as 4 bytes and float! and percent! as the 8
// bytes of the double (most significant first), an issue! as its digits in base 16 (script invalid-data
// when they are not), a block as if appended, a bitset!'s stored bytes, a binary! copied.
Cell to(Cell const& prototype, Cell const& spec, TypeId type);
// "#{" and two upper-case digits a byte, "}". Above 30 bytes, and unless /flat, the digits go on lines of
// 64, one level deeper than `indent`.
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
// and~, or~, xor~ on the call frame: both operands binary!, the result as long as the longer one.
void and_();
void or_();
void xor_();
// Inverts every byte from the index in place.
Cell complement(Cell const& value);

extern DatatypeRecord const record; // parent string!

}
