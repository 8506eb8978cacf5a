// The lexer: UTF-8 source text into values. A table-driven automaton cuts the text into tokens, handlers
// keep the structure (blocks, parens, maps, paths, brace strings) and loaders make the values. Lexers
// nest (a callback or a loader may load text itself): every running lexer appends to one shared output
// buffer of cells, an inner one after its parent's cells, and the collector marks them all.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::lexer {

// The events a callback hears, as bits of its event mask.
enum class Event : std::uint32_t {
    Prescan = 1,
    Scan = 2,
    Load = 4,
    Open = 8,
    Close = 16,
    Error = 32,
};
inline constexpr std::uint32_t all_events = 63;

struct ScanOptions {
    bool one_value = false; // stop after the first complete top-level value
    bool load = true; // false: a pre-scan, which only follows the structure and makes no values
    bool make_result = true; // false: tokens are checked but no values are made (the scan mode)
    bool block_for_one = false; // in one-value mode, answer a block of the value rather than the value
};

// Allocates the output and conversion buffers, registers the collector hook and interns the event words.
// Start-up calls it once the datatypes (symbols and words included) are registered; a later call starts
// afresh. May allocate.
void init();

// Scans `length` bytes of UTF-8 at `text` and answers the type of the last token: a datatype id, 0 for
// none, or error! after a syntax error that was not raised (scan modes, or a callback that refused it).
// The text must not lie in a series buffer (collections move those). In load mode the values go to
// `destination` (a block of them, or in one-value mode the first value) or, when `into` is given, are
// appended to that block. `input_value` (a string!, binary! or none!) is what callbacks receive as their
// input and decides how `consumed` counts: characters for a string!, else bytes, from the text's start
// to where the scan stopped. `destination` must not lie in a series buffer. May allocate, may raise.
std::int32_t scan(Cell& destination, std::uint8_t const* text, std::uint32_t length, ScanOptions const&,
    std::uint32_t* consumed, Cell const& callback, Cell const& input_value, Cell const* into);

// Converts `length` characters of the string from its index (-1: all of them) to UTF-8 and scans them
// with the string as the input value. May allocate, may raise.
std::int32_t load_string(Cell& destination, Cell const& string, std::int32_t length, ScanOptions const&,
    std::uint32_t* consumed, Cell const& callback, Cell const* into);

// The same over `length` bytes of a binary! from its index, which are copied out first (collections move
// series). May allocate, may raise.
std::int32_t scan_bytes(Cell& destination, Cell const& binary, std::uint32_t length, ScanOptions const&,
    std::uint32_t* consumed, Cell const& callback, Cell const* into);

// The values of a text (from its index) as a block. May allocate, may raise.
Cell load_all(Cell const& text);
// The values of UTF-8 bytes that lie outside any series (a script read from its file) as a block. The
// bytes are scanned as they stand, so a malformed sequence is a syntax error at its token. May allocate,
// may raise.
Cell load_all_bytes(std::string_view utf8);
// The first value of a text, or an empty block when it holds none. May allocate, may raise.
Cell load_first(Cell const& text);
// The one value of a text alone, or a block of its values when it holds none or several. May allocate,
// may raise.
Cell load_single(Cell const& text);
// The money! of a text (from its index) read by the money text scanner, or none! when it is none or names a
// currency the list lacks. May allocate.
Cell scan_money_text(Cell const& text);
// The datatype the UTF-8 text scans as, taken as one value: error! for a syntax error, 0 for none.
// May allocate.
TypeId scan_type(std::string_view utf8);

// system/lexer/exit-states: a block of one word per token kind, handed to callbacks as the type of a
// token without a datatype. none! until the library sets it.
void set_exit_states(Cell const& block);

}
