// Unicode at the edges of the runtime: the UTF-8 and UTF-16 codecs, simple case mapping through the
// generated tables, and the display width of a code point.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::unicode {

inline constexpr std::uint32_t max_code_point = 0x10FFFF;

// ---- UTF-8 decoding ------------------------------------------------------------------------------------

// Decodes one sequence with the table-driven automaton (overlongs, surrogates and values above
// max_code_point reject). Answers the position after the sequence and sets `code_point`, or -1 on a
// reject: the position then stands after a bad first byte, or at the continuation byte that rejected.
// A sequence cut short by `end` rejects with the position at `end`; nothing at or past `end` is read.
std::uint8_t const* utf8_decode(std::uint8_t const* position, std::uint8_t const* end, std::int32_t& code_point);
// Code points between start and end; every decode step counts one, rejected ones included.
std::uint32_t utf8_count(std::uint8_t const* start, std::uint8_t const* end);
// The position after `count` code points from `position`, never past `end`.
std::uint8_t const* utf8_skip(std::uint8_t const* position, std::uint8_t const* end, std::uint32_t count);
// The length a lead byte announces: 4 for 11110xxx, 3 for 1110xxxx, 2 for 110xxxxx, else 0.
int utf8_lead_length(std::uint8_t byte);

// What the checked decoder does with a malformed sequence.
enum class InvalidUtf8 {
    Raise, // access invalid-utf8 with a binary! of the bytes from the bad one (at most four)
    Answer, // answer utf8_invalid and consume one byte: for scanners that substitute a character
};
inline constexpr std::int32_t utf8_incomplete = -1; // the input ends inside the sequence
inline constexpr std::int32_t utf8_invalid = -2;

// Raises access invalid-utf8 with a binary! of `count` bytes copied from `bytes`, which must not lie in a
// series buffer. May allocate.
[[noreturn]] void fire_invalid_utf8(std::uint8_t const* bytes, std::uint32_t count);

// The checked decoder of external text: accepts the well-formed sequences only, so over-long forms,
// surrogates (U+D800-U+DFFF) and values above max_code_point are invalid. `length` is in: the bytes
// available (at least 1), out: the bytes consumed (0 when incomplete: the bytes so far could still start
// a sequence). Answers the code point, or utf8_incomplete, or (with InvalidUtf8::Answer) utf8_invalid.
// May allocate (the error value).
std::int32_t utf8_decode_checked(
    std::uint8_t const* bytes, std::uint32_t& length, InvalidUtf8 on_invalid = InvalidUtf8::Raise);

// ---- UTF-8 encoding ------------------------------------------------------------------------------------
// Every encoder raises script invalid-char with the code point as an integer! above max_code_point.

int utf8_length(std::uint32_t code_point); // 1 up to 0x7F, 2 up to 0x7FF, 3 up to 0xFFFF, else 4
// The UTF-8 bytes that the code points stored in [start, end) in units of `unit` (1, 2 or 4) need.
std::uint64_t utf8_size(void const* start, void const* end, std::uint32_t unit);
// Writes the 1 to 4 bytes of a code point and answers their count.
int utf8_encode(std::uint32_t code_point, char* output);
// Writes only the first min(budget, length) bytes of the encoding and answers how many it wrote.
int utf8_encode_limited(std::uint32_t code_point, char* output, std::uint32_t budget);

// ---- UTF-16 --------------------------------------------------------------------------------------------

// One unit below 0x10000, a surrogate pair up to max_code_point (answers 2), nothing above (answers 0).
int utf16_encode(std::uint32_t code_point, char16_t* output);
// The string unit that UTF-16LE text needs: 1 when every high byte is 0, 4 as soon as one is a surrogate
// (0xD8-0xDF), else 2. `units` points at `count` little-endian 16-bit units.
std::uint32_t utf16_unit_width(std::byte const* units, std::uint32_t count);

// ---- Case ----------------------------------------------------------------------------------------------

enum class Case { Lower = 0, Upper = 1 };

// Builds the flat tables of the Basic Multilingual Plane from the generated pairs. Start-up calls it once;
// a later call does nothing, and change_case builds them on first use when start-up has not.
void init_case_tables();
// The simple case mapping beyond ASCII, through the flat tables and the ranges above them.
std::uint32_t change_case_table(std::uint32_t code_point, Case);
// The simple case mapping: a code point without one is answered unchanged. ASCII, most of what the
// hash tables, searches and parse fold, is mapped here without a call.
inline std::uint32_t change_case(std::uint32_t code_point, Case which)
{
    if (code_point < 0x80) {
        std::uint32_t const first = which == Case::Upper ? 'a' : 'A';
        return code_point - first < 26 ? code_point ^ 0x20 : code_point;
    }
    return change_case_table(code_point, which);
}
// The body of uppercase and lowercase: a char! has its code point mapped in place; a text value has
// `count` characters from its index (clamped to the tail; negative counts as 0; `whole_rest` for the whole
// rest) mapped and written back, the buffer widening when a mapped value needs it. The caller resolves
// /part into the count and tells the series' owner. May allocate.
inline constexpr std::int32_t whole_rest = -1;
void change_case_value(Cell& value, std::int32_t count, Case);

}

namespace xol::charwidth {

// Terminal columns of a code point: 0 for U+0000 and for combining and enclosing marks, 1 for the other
// controls (below 0x20 and 0x7F-0x9F), 2 for East Asian Wide and Fullwidth characters, else 1.
int columns(std::uint32_t code_point);

}
