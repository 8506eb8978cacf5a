// Text series and external encodings: loading UTF-8 and UTF-16LE text into string buffers (the unit
// widening as the text demands), widening a buffer in place, and converting a string value into UTF-8
// or UTF-16 bytes in its conversion buffer or a caller's buffer.
//
// A text value's cell: word 1 the index in units, word 2 the node of the text series (unit 1, 2 or 4:
// Latin-1, UCS-2, UCS-4), word 3 the node of its conversion buffer (0 until first needed). A unit other
// than 1, 2 or 4 is a broken invariant and ends the process with runtime error 101.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::string {

// The code point stored at a position of a text buffer, and its storing, for units of 1, 2 or 4 bytes.
std::uint32_t load_unit(std::byte const* position, std::uint32_t unit);
void store_unit(std::byte* position, std::uint32_t unit, std::uint32_t code_point);

// ---- Widening, in place from the tail backwards ------------------------------------------------------
// Each grows the buffer first when its capacity is short, keeps every code point and sets the unit.
// May allocate.

void widen_1_to_2(NodeId);
void widen_1_to_4(NodeId);
void widen_2_to_4(NodeId);

// ---- External text to strings ---------------------------------------------------------------------------
// `bytes` must not lie in a series buffer: these allocate while they read. Copy series bytes out first.

enum class LineEnds { Keep, Convert }; // Convert: CR LF and a lone CR both become LF

// What decoding does with bytes that are not UTF-8.
enum class BadBytes {
    Raise, // access invalid-utf8 with a binary! of the bad bytes (text files, HTTP bodies, child output)
    Stop, // stop there as at an incomplete sequence: `rest` counts from the bad byte
    AsLatin1 // each bad byte, and a sequence cut by the end, becomes the character of the same code:
             // text from the OS (arguments, environment, file names) always loads
};

// Whether the bytes are all the text there is, or one piece of text fed in pieces.
enum class Input {
    Whole, // a sequence cut by the end raises access invalid-utf8 with the bytes left over: nothing is
           // dropped silently (files, HTTP bodies, child output read at once)
    Pieces // a sequence cut by the end stops decoding; `rest` tells the caller to keep those bytes
};

// The count of leading ASCII bytes, up to the first CR when `stop_at_cr`: text that is all ASCII is its
// own UTF-8 and its own Latin-1.
std::size_t ascii_prefix(std::uint8_t const* bytes, std::size_t length, bool stop_at_cr);
// Decodes UTF-8 and appends it at the tail of `target` (a new 1-byte string's node when no_node), widening
// as needed: a 1-byte buffer keeps Latin-1. A leading byte-order mark is skipped. A sequence cut by the
// end raises or stops as `Input` says (BadBytes::AsLatin1 keeps its bytes as characters either way);
// `rest` gets the count of bytes not decoded. Answers the string's node. May allocate.
NodeId decode_utf8(std::byte const* bytes, std::uint32_t length, NodeId target, std::uint32_t& rest, LineEnds,
    BadBytes = BadBytes::Raise, Input = Input::Whole);
// A new string! (index 0) of the UTF-8 text, line ends kept; malformed or cut input raises. May allocate.
Cell load_utf8(std::byte const* bytes, std::uint32_t length);
// Appends the UTF-8 text to the string's series; stops at a malformed or incomplete sequence and answers
// the count of bytes from there to the end (0 when all were decoded). May allocate.
std::uint32_t load_utf8_into(std::byte const* bytes, std::uint32_t length, Cell const& string);
// Replaces the content of `target` (a new string's node when no_node) with `count` UTF-16LE units from
// `units`, in the narrowest unit that holds them; surrogate pairs are combined. LineEnds::Convert drops
// every CR. A surrogate without its partner is kept as its own code point (in a 4-byte string), never an
// error: foreign text must not end the session. Answers the string's node. May allocate.
NodeId load_utf16le(std::byte const* units, std::uint32_t count, NodeId target, LineEnds);

// ---- Strings to external text ---------------------------------------------------------------------------
// These read from the value's index (clamped to the tail), at most `units` units (-1: all). Pointers they
// answer are valid until the next allocation. The value's cell gets the conversion buffer in word 3, so it
// must be a cell that stays put (on the value stack, rooted or local), not one inside a series.

// The value's conversion buffer with room for `bytes` bytes: made on first use, reused while large
// enough, replaced by a larger one otherwise. May allocate.
NodeId conversion_buffer(Cell& value, std::uint64_t bytes);
// NUL-terminated UTF-8 in the conversion buffer; `length` in: units to take (-1 all), out: bytes written
// (the NUL not counted). May allocate.
char const* to_utf8_cstr(Cell& value, std::int32_t& length);
// The same, writing CR before every LF with LineEnds::Convert. May allocate.
char const* to_utf8_cstr_crlf(Cell& value, std::int32_t& length, LineEnds);
// UTF-8 into a caller's buffer of at least utf8_size(...) (+1 with `terminate`) bytes; answers the bytes
// written, the NUL not counted.
enum class Terminate : bool { No = false, Yes = true };
std::uint32_t encode_utf8_into(Cell const& value, char* buffer, std::int32_t units, Terminate);
// The same within `budget` bytes, the NUL included when asked: a character that does not fit whole is
// left out with everything after it, so the text stays valid UTF-8.
std::uint32_t encode_utf8_limited(Cell const& value, char* buffer, std::uint32_t budget, std::int32_t units, Terminate);
// Zero-terminated UTF-16LE in the conversion buffer, surrogate pairs above 0xFFFF, CR before every LF with
// LineEnds::Convert. `length` in: units to take (-1 all), out: 16-bit units written (the zero not counted).
// Answers null when a 4-byte string holds a value above 0x10FFFF. May allocate.
char16_t const* to_utf16(Cell& value, std::int32_t& length, LineEnds);
char16_t const* to_utf16_crlf(Cell& value); // the whole string with LineEnds::Convert. May allocate.

}
