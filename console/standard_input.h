// Standard input as the console reads it: one buffer shared by the piped line reader, the line editor's keys
// and read-stdin, so that bytes read ahead for one of them are never lost to the others.
//
// Invariant: `position` <= bytes.size(); the bytes before `position` are taken, the rest wait for the next
// reader. Once `end_seen` is set no read is tried again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform/terminal.h"

namespace xol::console::standard_input {

// Where the bytes come from: standard input, or a test's stand-in.
using Source = platform::InputRead (*)(std::uint8_t* buffer, std::size_t capacity, bool report_interruption);

struct StandardInputState {
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
    bool end_seen = false; // a read answered the end of the input, or failed for good
    Source source = platform::read_stdin;
};

extern StandardInputState state;

// Forgets every byte kept and reads from `source` from now on.
void reset(Source source = platform::read_stdin);

// One line of UTF-8 text, without its line feed; a carriage return before the line feed stays. Each
// malformed sequence (a stray byte, a sequence cut short, an overlong or surrogate form, a code above
// U+10FFFF) becomes U+FFFD, and the byte that cut a sequence short starts the next character. At the end of
// the input the line holds what was read; the answer is well-formed UTF-8.
std::string read_line();

// Up to `capacity` bytes: those kept from earlier reads first; when none are kept, one read of standard input.
// 0 at the end of the input.
std::size_t read_bytes(std::uint8_t* buffer, std::size_t capacity);

// The next byte, waiting for it; none at the end of the input, or when a signal interrupted the wait and
// `report_interruption` is set.
std::optional<std::uint8_t> next_byte(bool report_interruption = false);

// Gives back the byte next_byte just answered, for the next reader.
void put_back();

// Whether a byte is kept from an earlier read, so that taking it cannot wait.
bool has_kept_byte();

// Whether the input is exhausted: its end was seen and every byte before it is taken.
bool ended();

}
