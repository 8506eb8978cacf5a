// binary!: the base codecs, between bytes and their text in base 2, 16, 58 or 64. enbase, debase and
// `to binary!` of an issue! stand on them.
//
// The encoders and decoders work on plain memory and never allocate: an encoder writes into room its
// caller reserved (encoded_capacity), a decoder reads text units and writes into room for
// decoded_capacity bytes. enbase and debase below wrap them for values.
//
// Text the decoders read: 1-, 2- or 4-byte units. Each base has its digits and its skipped characters;
// a ";" starts a comment up to the next line feed (a comment running to the end ends the text); any other
// character makes the text invalid, every code point above 127 outside a comment included, whatever the
// width of the units. Invalid text is an answer (nothing decoded), never an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "runtime/cell.h"

namespace xol::binary {

enum class Base : std::uint8_t { Two = 2, Sixteen = 16, FiftyEight = 58, SixtyFour = 64 };

// The base of a number, when it is 2, 16, 58 or 64.
std::optional<Base> base_of(std::int32_t number);

// ---- Encoders -----------------------------------------------------------------------------------------
// Each writes the text of `count` bytes at `output` and answers the end of what it wrote. No line breaks.

// Eight "0" or "1" a byte, most significant bit first.
char* enbase_2(char* output, std::uint8_t const* input, std::uint32_t count);
// Two upper-case digits a byte, high nibble first.
char* enbase_16(char* output, std::uint8_t const* input, std::uint32_t count);
// Base 58 in the alphabet without 0, O, I and l: one "1" for each leading zero byte, then the rest of the
// bytes as one big-endian number. Its time grows with the square of the count.
char* enbase_big(char* output, std::uint8_t const* input, std::uint32_t count);
// Four characters for three bytes; a last group of two bytes ends with "=", of one byte with "==".
char* enbase_64(char* output, std::uint8_t const* input, std::uint32_t count);

// The room enbase reserves for the text of `count` bytes: never less than the encoder writes. Above
// 2^31 - 1 the text does not fit in a series (enbase raises too-long).
std::uint64_t encoded_capacity(Base, std::uint32_t count);

// ---- Decoders -----------------------------------------------------------------------------------------

// Text to decode: `length` units of `unit` bytes (1, 2 or 4) from `data`.
struct TextUnits {
    std::byte const* data;
    std::uint32_t length;
    std::uint32_t unit;
};

// Each writes the bytes the text stands for at `output` (room for decoded_capacity bytes) and answers
// their count, or nothing when the text is invalid in the base.
//
// Base 2: "0" and "1", codes up to 32 skipped; bits left over that make no whole byte are invalid.
std::optional<std::uint32_t> debase_2(TextUnits, std::uint8_t* output);
// Base 16: digits in either case, codes up to 32 skipped; a last odd digit is dropped.
std::optional<std::uint32_t> debase_16(TextUnits, std::uint8_t* output);
// Base 58: backspace, tab, line feed, form feed, carriage return, space and "'" skipped. A leading "1"
// stands for a zero byte. Its time grows with the square of the length.
std::optional<std::uint32_t> debase_big(TextUnits, std::uint8_t* output);
// Base 64: skips as base 58. The first "=" ends the text: after 2 or 3 digits of a group it completes the
// group's bytes, after 0 or 1 the text is invalid. A last group of 1 to 3 digits without "=" is dropped.
std::optional<std::uint32_t> debase_64(TextUnits, std::uint8_t* output);

std::optional<std::uint32_t> debase_into(Base, TextUnits, std::uint8_t* output);
// The room a decoder needs for `length` units of text.
std::uint64_t decoded_capacity(Base, std::uint32_t length);

// ---- Values -------------------------------------------------------------------------------------------

// A new string! (1-byte units) of the text of a binary!'s bytes from its index, or of a string!'s UTF-8.
// A text too long for a series raises script too-long; when its buffer cannot be had, none!. May allocate.
Cell enbase(Cell const& source, Base);
// A new binary! of the bytes that a string! from its index stands for; none! when the text is invalid.
// May allocate.
Cell debase(Cell const& text, Base);

}
