// The scanner's constant tables, which tools/lexer_tables.py generates into the build tree from its
// automaton data: the character class of every byte with the token flags it carries, the transitions of
// the working states, the datatype each state stands for, and the classes that end a path element.
// States 0 to 64 are working states; 66 to 101 are final states, whose token kind is the state less 66.
#pragma once

#include <cstdint>

#include "runtime/type_ids.h"

namespace xol::lexer {

inline constexpr int class_count = 40;
inline constexpr int working_state_count = 65;
inline constexpr int first_final_state = 66;
inline constexpr int token_kind_count = 36;
inline constexpr int state_count = first_final_state + token_kind_count;

inline constexpr std::uint32_t class_mask = 0xFF;
inline constexpr std::uint8_t line_feed_class = 1;
inline constexpr std::uint8_t end_class = 39; // NUL, and the class read when the input ends

// The token's flag word is the OR of the flags of the bytes read for it, the byte that ended it included.
namespace token_flags {
inline constexpr std::uint32_t percent = 0x00040000; // percent-escapes to decode in files and URLs
inline constexpr std::uint32_t greater = 0x00080000;
inline constexpr std::uint32_t less = 0x00100000;
inline constexpr std::uint32_t sign = 0x00200000;
inline constexpr std::uint32_t nul = 0x00400000;
inline constexpr std::uint32_t hash = 0x00800000;
inline constexpr std::uint32_t exponent = 0x01000000;
inline constexpr std::uint32_t quote = 0x02000000; // digit separators
inline constexpr std::uint32_t colon = 0x04000000;
inline constexpr std::uint32_t comma = 0x08000000;
inline constexpr std::uint32_t point = 0x10000000;
inline constexpr std::uint32_t caret = 0x20000000; // escapes to decode
// The two top bits: a string made from the token needs units of 1 << (flags >> 30) bytes, at most 4.
inline constexpr std::uint32_t width_shift = 30;
// Kept with a brace string's collected flags: a line was consumed before its opening brace.
inline constexpr std::uint32_t new_line_before = 0x00020000;

inline std::uint32_t unit_width(std::uint32_t flags)
{
    std::uint32_t const width = 1u << (flags >> width_shift);
    return width > 4 ? 4 : width;
}
}

// The start states a lexer state may name, and the states the driver tests by number.
namespace states {
inline constexpr int between_tokens = 0;
inline constexpr int brace_body = 4;
inline constexpr int point_body = 35;
inline constexpr int path_element = 59;
inline constexpr int last_working = 64;
}

enum class TokenKind : std::uint8_t {
    Eof,
    Error,
    BlockOpen,
    BlockClose,
    ParenOpen,
    ParenClose,
    StringOpen,
    StringClose,
    MapOpen,
    Path,
    Construct,
    Comment,
    Comma,
    String,
    Word,
    Issue,
    Integer,
    Refinement,
    Char,
    File,
    Binary,
    Percent,
    Float,
    FloatSpecial,
    Tuple,
    Date,
    Pair,
    Point,
    Time,
    Money,
    Tag,
    Url,
    Email,
    Hex,
    RawString,
    Ref,
};

inline constexpr TokenKind kind_of_state(int final_state)
{
    return static_cast<TokenKind>(final_state - first_final_state);
}
inline constexpr int final_state_of(TokenKind kind)
{
    return static_cast<int>(kind) + first_final_state;
}

namespace tables {

// Low byte the class (0 to 39), upper bits the token flags.
extern std::uint32_t const character_classes[256];
extern std::uint8_t const transitions[working_state_count][class_count];
// The datatype of every state (0 for none): a pre-scan reports it, an "invalid" syntax error names it.
extern TypeId const state_types[state_count];
extern bool const path_terminators[class_count];

}

inline std::uint8_t class_of(std::uint8_t byte)
{
    return static_cast<std::uint8_t>(tables::character_classes[byte] & class_mask);
}

}
