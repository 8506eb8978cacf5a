// The terminal's key sequences: CSI and SS3 forms of the arrows, Home, End, Insert, Delete and the page keys,
// as the common terminal emulators, tmux and the Linux console send them.

#include "console/keys.h"

#include <optional>

#include "console/standard_input.h"
#include "runtime/platform/terminal.h"

namespace xol::console::keys {

namespace {

// An Escape key alone is followed by nothing for this long; a sequence's bytes arrive together.
constexpr int escape_pause_milliseconds = 50;

std::int32_t letter_key(std::uint8_t final)
{
    switch (final) {
    case 'A':
        return up;
    case 'B':
        return down;
    case 'C':
        return right;
    case 'D':
        return left;
    case 'H':
        return home;
    case 'F':
        return end;
    default:
        return nothing;
    }
}

std::int32_t numbered_key(std::int32_t number)
{
    switch (number) {
    case 1:
    case 7:
        return home;
    case 4:
    case 8:
        return end;
    case 2:
        return insert;
    case 3:
        return delete_;
    case 5:
        return page_up;
    case 6:
        return page_down;
    default:
        return nothing;
    }
}

// After ESC "[": parameters (digits and ";", and the private markers "<=>?"), intermediate bytes, then a
// final byte from "@" to "~". Only the first parameter is kept; a modifier after ";" changes nothing.
std::int32_t control_sequence()
{
    std::int32_t first = 0;
    bool in_first = true;
    for (;;) {
        std::optional<std::uint8_t> const byte = standard_input::next_byte();
        if (!byte) return ended;
        if (*byte >= '0' && *byte <= '9') {
            if (in_first && first < 1000) first = first * 10 + (*byte - '0');
            continue;
        }
        if (*byte == ';') {
            in_first = false;
            continue;
        }
        if (*byte >= 0x20 && *byte <= 0x3F) continue; // other parameter and intermediate bytes
        if (*byte == '~') return numbered_key(first);
        if (*byte >= 0x40 && *byte <= 0x7E) return letter_key(*byte);
        return nothing; // a malformed sequence ends at the first byte that cannot belong to it
    }
}

// The rest of a UTF-8 character whose lead byte was read; U+FFFD for a malformed one. A byte that cuts the
// sequence short is left for the next key.
std::int32_t character(std::uint8_t lead)
{
    std::int32_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0xFFFD;
    }
    for (std::int32_t i = 1; i < length; ++i) {
        std::optional<std::uint8_t> const byte = standard_input::next_byte();
        if (!byte) return ended;
        if ((*byte & 0xC0) != 0x80) {
            standard_input::put_back();
            return 0xFFFD;
        }
        code = (code << 6) | (*byte & 0x3Fu);
    }
    bool const overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
    return static_cast<std::int32_t>(code);
}

}

std::int32_t read_key()
{
    std::optional<std::uint8_t> byte;
    for (;;) {
        if (platform::take_window_size_change()) return resized;
        byte = standard_input::next_byte(true);
        if (byte) break;
        if (standard_input::ended()) return ended;
    }
    if (*byte == '\n') return enter;
    if (*byte == 8) return backspace;
    if (*byte < 0x80) {
        if (*byte != escape) return *byte;
        if (!standard_input::has_kept_byte() && !platform::stdin_ready_within(escape_pause_milliseconds)) return escape;
        std::optional<std::uint8_t> const next = standard_input::next_byte();
        if (!next) return escape;
        if (*next == '[') return control_sequence();
        if (*next == 'O') {
            std::optional<std::uint8_t> const final = standard_input::next_byte();
            return final ? letter_key(*final) : ended;
        }
        return nothing; // Alt with a key, and other sequences the editor has no use for
    }
    return character(*byte);
}

}
