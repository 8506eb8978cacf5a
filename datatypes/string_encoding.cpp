// string!: text in and out of UTF-8 and UTF-16LE, and the hexadecimal digit routines.

#include "datatypes/string.h"

#include <cstring>

#include "runtime/errors.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/text_encoding.h"
#include "runtime/unicode.h"

namespace xol::string {

namespace {

// The bytes from the first undecoded one to the end: the invalid-utf8 error's argument.
[[noreturn]] void fire_invalid_utf8(std::byte const* bytes, std::uint32_t length, std::uint32_t rest)
{
    unicode::fire_invalid_utf8(reinterpret_cast<std::uint8_t const*>(bytes) + length - rest, rest);
}

}

void append_utf8(Cell const& string, std::string_view utf8)
{
    std::uint32_t const length = series::checked_length(utf8.size());
    auto const* bytes = reinterpret_cast<std::byte const*>(utf8.data());
    std::uint32_t const rest = load_utf8_into(bytes, length, string);
    if (rest != 0) fire_invalid_utf8(bytes, length, rest);
}

Cell from_utf8(std::string_view utf8)
{
    Rooted result(make(series::checked_length(utf8.size())));
    append_utf8(*result, utf8);
    return *result;
}

std::string to_utf8(Cell const& string)
{
    std::uint32_t const unit = unit_of(string);
    std::byte const* end = rs_tail(string);
    std::byte const* start = end - std::uint64_t { rs_length_q(string) } * unit;
    std::string text(static_cast<std::size_t>(unicode::utf8_size(start, end, unit)), '\0');
    encode_utf8_into(string, text.data(), -1, Terminate::No);
    return text;
}

Cell load_utf8_strict(std::byte const* bytes, std::uint32_t length)
{
    Rooted result(make(length));
    std::uint32_t const rest = load_utf8_into(bytes, length, *result);
    if (rest != 0) fire_invalid_utf8(bytes, length, rest);
    return *result;
}

namespace {

Cell load_value(std::byte const* bytes, std::uint32_t length, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return load_utf8_strict(bytes, length);
    case Encoding::Utf16le:
        return cell::make(type_id, 0, load_utf16le(bytes, length / 2, no_node, LineEnds::Keep), 0);
    }
    runtime::no_switch_matched(); // a value cast into the enum: an internal fault, never a quiet success
}

}

Cell* load_into(std::byte const* bytes, std::uint32_t length, Cell* cell, Encoding encoding)
{
    Cell const loaded = load_value(bytes, length, encoding);
    if (cell == nullptr) return stack::push(loaded);
    *cell = loaded;
    return cell;
}

void load_at(std::byte const* bytes, std::uint32_t length, Cell const& block, Encoding encoding)
{
    Rooted target(block);
    Rooted loaded(load_value(bytes, length, encoding));
    *series::append_cell(*target) = *loaded;
}

Cell* load(std::byte const* bytes, std::uint32_t length, Encoding encoding)
{
    return load_into(bytes, length, nullptr, encoding);
}

// ---- Hexadecimal --------------------------------------------------------------------------------------

namespace {

inline constexpr char hex_digits[] = "0123456789ABCDEF";

struct HexState {
    char byte[3] = { 0, 0, 0 };
    char word[9] = "00000000";
};
HexState hex;

}

char const* byte_to_hex(std::uint8_t byte)
{
    hex.byte[0] = hex_digits[byte >> 4];
    hex.byte[1] = hex_digits[byte & 15];
    return hex.byte;
}

char const* to_hex(std::int32_t value, bool trim)
{
    std::int32_t const exhausted = value < 0 ? -1 : 0;
    char const filler = value < 0 ? 'F' : '0';
    int position = 8;
    do {
        hex.word[--position] = hex_digits[value & 15];
        value >>= 4; // arithmetic: a negative value runs out at -1
    } while (value != exhausted && position > 0);
    if (trim) {
        if (position == 7 && hex.word[7] == '0') hex.word[--position] = '0'; // 0 gives "00"
        return hex.word + position;
    }
    while (position > 0) hex.word[--position] = filler;
    return hex.word;
}

}
