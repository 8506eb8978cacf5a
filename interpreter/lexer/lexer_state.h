// The record one running lexer keeps, the shared output buffer, and the operations its scanner, token
// handlers and loaders share. Output positions are cell indexes into the shared buffer, never addresses:
// the buffer moves when it grows, which any nested lexer (a callback's) may make it do.
#pragma once

#include <cstdint>

#include "interpreter/lexer/lexer.h"
#include "interpreter/lexer/scanner_tables.h"
#include "runtime/cell.h"
#include "runtime/error_ids.h"

namespace xol::lexer {

// An open series on the output is a marker cell pushed where the series will stand. Its type is no
// datatype's, so it is never mistaken for a value and never leaves the lexer. Word 1: the distance in
// cells back to the enclosing series' first cell; word 2: the series' datatype in the low 16 bits and,
// for a point, its count of commas above them; word 3: the byte offset of the opening in the input.
inline constexpr TypeId marker_type = 0xFE;
inline bool is_marker(Cell const& cell)
{
    return cell::type_of(cell) == marker_type;
}
inline TypeId marker_series_type(Cell const& marker)
{
    return static_cast<TypeId>(marker.word2 & 0xFFFF);
}
inline std::uint32_t marker_commas(Cell const& marker)
{
    return marker.word2 >> 16;
}

// Syntax error codes that are not datatypes.
namespace codes {
inline constexpr std::int32_t bad_char = -1;
inline constexpr std::int32_t malconstruct = -2;
inline constexpr std::int32_t missing = -3;
inline constexpr std::int32_t missing_at_end = -4;
}

struct Token {
    std::uint8_t const* start;
    std::uint8_t const* end;
    std::uint32_t flags;
};

struct LexerState {
    LexerState* next = nullptr; // the lexer nested inside this one
    LexerState* parent = nullptr; // the lexer this one is nested in
    std::uint32_t head = 0; // this lexer's first output cell
    std::uint32_t begin = 0; // first cell of the innermost series being built
    std::uint32_t tail = 0; // next free output cell
    std::uint8_t const* input_start = nullptr;
    std::uint8_t const* input_end = nullptr;
    std::uint8_t const* position = nullptr; // next byte to scan
    std::uint8_t const* token_end = nullptr;
    std::int32_t line = 1;
    std::int32_t lines_consumed = 0; // by the last token, blanks before it included
    std::int32_t loader_type = -1; // the type a loader is to give its value; -1: its own
    std::int32_t type = 0; // of the last token; error! after a syntax error that was not raised
    int start_state = states::between_tokens;
    int token_start_state = states::between_tokens; // the state the current token was scanned from
    int previous_state = 0; // the last working state before the final one
    std::int32_t open_type = -1; // the open series a `missing` error names
    std::int32_t last_type = 0;
    TokenKind kind = TokenKind::Eof; // of the current token
    // A brace string being scanned: where its text starts, how deep its braces nest, the flags of its parts.
    std::uint8_t const* brace_start = nullptr;
    std::int32_t brace_depth = 0;
    std::uint32_t brace_flags = 0;
    std::int32_t point_lines = 0; // lines consumed before a point literal's opening paren
    bool load_mode = false; // values are made
    bool stopped = false; // a handler or a refused event ended the scan
    bool has_callback = false;
    std::uint32_t event_mask = 0;
    // Where a callback moved the input: the scan goes on from there once the current token is done.
    std::uint8_t const* moved_position = nullptr;
    Cell callback {}; // function! or routine!, or none!
    Cell input_value {}; // string!, binary! or none!: what callbacks receive
    Cell into {}; // the block the result goes into, or none!
    std::uint32_t input_base = 0; // the input value's index at the text's start
    bool counts_characters = false; // positions reported in characters (string input), else in bytes
    // The last byte position converted into a character offset, and that offset.
    std::uint8_t const* cached_position = nullptr;
    std::uint32_t cached_offset = 0;
};

// The shared output buffer. The address is valid until the next store (here or in a nested lexer).
Cell* output();
inline Cell& output_at(std::uint32_t index)
{
    return output()[index];
}

// A new output cell at the tail holding `value`, with the new-line marker when `new_line`; grows the
// buffer. Answers its index.
std::uint32_t store_value(LexerState&, Cell const& value, bool new_line);
// The same, with the new-line marker when the last token consumed a line.
inline std::uint32_t store_value(LexerState& state, Cell const& value)
{
    return store_value(state, value, state.lines_consumed > 0);
}

// The innermost open marker's index, or -1 when no series is open.
std::int64_t innermost_marker(LexerState const&);

// Reports a syntax error: raises it in load mode, else sets the type to error! and stops the scan. With
// a callback that refuses the error the scan stops without raising. `start` null: at the innermost
// opening, else at the input's start. `code`: a datatype id ("invalid") or one of the codes above.
// Returns only when nothing was raised; the caller then returns at once.
void syntax_error(LexerState&, std::uint8_t const* start, std::uint8_t const* end, std::int32_t code);

// Hands an event to the callback; answers its truth, or true when there is no callback or the event is
// not in its mask. `type`: a datatype id, 0, or -(kind + 1) for a token kind without a datatype.
bool fire(LexerState&, Event, std::int32_t type, Cell const* value, std::uint8_t const* start, std::uint8_t const* end);
inline bool wants(LexerState const& state, Event event)
{
    return state.has_callback && (state.event_mask & static_cast<std::uint32_t>(event)) != 0;
}

// The automaton's loop: tokens until the input ends, a handler stops it, or (one-value or pre-scan)
// one complete top-level value was recognised.
void scan_tokens(LexerState&, bool one_value, bool prescan);

// Internal error: the datatype of a literal is not built yet.
[[noreturn]] void not_done(TypeId type);

// The Unicode blanks that end a word: U+0085, U+00A0, U+1680, U+2000-U+200B, U+2028, U+2029, U+202F,
// U+205F, U+3000 and U+180E.
bool is_unicode_blank(std::uint32_t code_point);

// The value of a hexadecimal digit of either case, -1 for any other byte: for caret escapes, percent
// escapes and binary literals.
inline int hex_value(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}
