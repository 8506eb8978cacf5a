// The console output layer: text of 1-, 2- or 4-byte units written to standard output as UTF-8, line
// ends as LF, escape sequences passed through for the terminal to interpret. Output to a terminal is
// written at the end of each print; redirected output is buffered and flushed when the buffer fills and
// wherever order matters (before reading input, starting a child, waiting, and on every exit path).
// Also the two hook lists: value printers run by `print`, and raw-text listeners run after every
// low-level print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/cell.h"

namespace xol {

namespace conout {

void init();
bool is_terminal();

// `bytes` of text in units of `unit` (1, 2 or 4) bytes; a code point above 0x10FFFF raises
// script invalid-char. Surrogates in 2-byte text are not paired: each is encoded alone.
void write(void const* text, std::size_t bytes, int unit, bool newline);
inline void write_latin1(void const* text, std::size_t bytes)
{
    write(text, bytes, 1, false);
}
inline void write_latin1_line(void const* text, std::size_t bytes)
{
    write(text, bytes, 1, true);
}
inline void write_ucs2(void const* text, std::size_t bytes)
{
    write(text, bytes, 2, false);
}
inline void write_ucs2_line(void const* text, std::size_t bytes)
{
    write(text, bytes, 2, true);
}
inline void write_ucs4(void const* text, std::size_t bytes)
{
    write(text, bytes, 4, false);
}
inline void write_ucs4_line(void const* text, std::size_t bytes)
{
    write(text, bytes, 4, true);
}

void flush();
// Bytes that must reach the terminal now, after what is buffered: the line editor's drawing. Its line ends
// count for line_tail as a print's do.
void write_now(char const* bytes, std::size_t count);
// The bytes flushed since the last line feed, where the line editor's prompt starts; none when there were
// too many to keep.
std::optional<std::string_view> line_tail();
// Whether a write to standard output was refused for a reason other than a closed pipe (a full disk, a
// closed descriptor, an I/O error): the process then ends with status 1 where it would have ended with 0.
bool write_failed();

// Redirected output is kept in memory until flush: for tests of the bytes written.
void capture_for_tests(bool on);
std::string_view captured_for_tests();

}

namespace print {

// The runtime's low-level prints: the bytes as they are, then the raw-text listeners.
void cstr(std::string_view text);
void integer(std::int64_t number);

}

namespace output_hooks {

using ValuePrinter = void (*)(Cell const& string, bool newline);
using TextListener = void (*)(char const* text, std::size_t length, int);

void init(); // registers print_string as the only value printer
void register_(ValuePrinter, TextListener); // either may be null
void unregister(ValuePrinter, TextListener);
void run_value_printers(Cell const& string, bool newline);
void run_text_listeners(char const* text, std::size_t length, int);

// The default value printer: writes a string! value from its index.
void print_string(Cell const& string, bool newline);

}

}
