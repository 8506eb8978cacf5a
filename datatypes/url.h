// url!: a resource locator, a child of string!, and its percent coding, which dehex and enhex use too. The
// text of a url! value is held decoded; coding happens at the edges: loading a literal, molding, and those
// two natives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::url {

// The characters that stay as they are when encoding; every other byte, and every byte of 128 or more,
// becomes "%" and two upper-case hexadecimal digits.
enum class KeptSet {
    Path, // letters, digits and ! # $ & ' ( ) * + , - . / : = ? @ _ ~ (a url!'s molded text)
    Component, // letters, digits and - . _ ~ (one component of a URL: a string! handed to enhex)
};

// The byte of the escape "%" and two hexadecimal digits (either case) at the start of `text`; nothing
// when `text` does not start with one.
std::optional<std::uint8_t> decode_escape(std::string_view text);
// The byte itself when the set keeps it, else its escape.
std::string_view encode_char(std::uint8_t byte, KeptSet);

// UTF-8 text with its escapes decoded, as code points. An escaped byte below 128 (or a stray continuation
// byte) gives the code point of its value; an escaped lead byte followed by the escapes of as many
// continuation bytes as it announces gives the code point they encode together (U+FFFE when they are not
// valid UTF-8). A "%" that starts no escape, and a lead byte whose continuation is not escaped, stay as
// written.
std::u32string decode_utf8(std::string_view utf8);
// Appends the text of `value` (any text, from its index) to the string! `output`, escapes decoded. May
// allocate.
void decode(Cell const& value, Cell const& output);
// Appends the text of `value` (from its index) to the string! `output` as its UTF-8 bytes, each encoded
// through encode_char. May allocate.
void encode(Cell const& value, Cell const& output, KeptSet);

// The actions file! takes from url!. make and to build a url! from a block (scheme, host, port, then the
// path, "#" before an issue!); any other spec goes to string!. Path access joins the parent's text and the
// formed element with one "/", in a new value of the parent's type. May allocate.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell to(Cell const& prototype, Cell const& spec, TypeId type);
Cell eval_path(PathStep const& step);

extern DatatypeRecord const record; // registered after string!

}
