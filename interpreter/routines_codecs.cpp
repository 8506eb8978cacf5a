// Routines behind the data codecs written in Xol.

#include <cstdint>

#include "datatypes/string.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_codecs.h"
#include "interpreter/routines_entries.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

// The value of four hex digits at `offset` from the string's index, or -1 when one is not a hex digit.
std::int32_t hex4(Cell const& text, std::uint32_t offset)
{
    std::int32_t value = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        std::uint32_t const c = string::char_at(text, offset + i);
        std::int32_t digit = -1;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::int32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::int32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::int32_t>(c - 'a' + 10);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}

// Resolves JSON escapes in place from the string's index. The text only shrinks, so the write position
// never overtakes the read one; a unit too wide for the buffer widens it, and the reads go through the
// node, so they follow the buffer wherever widening puts it.
void json_unescape_in_place(Cell const& text)
{
    std::uint32_t const start = string::clamped_index(text);
    std::uint32_t const length = string::length(text);
    NodeId const buffer = string::node_of(text);
    std::uint32_t read = 0;
    std::uint32_t write = 0;
    while (read < length) {
        std::uint32_t code = string::char_at(text, read++);
        if (code == '\\') {
            if (read >= length) fire_error(err::script::invalid_data, &text);
            std::uint32_t const selector = string::char_at(text, read++);
            switch (selector) {
            case '"':
            case '\\':
            case '/':
                code = selector;
                break;
            case 'b':
                code = 8;
                break;
            case 'f':
                code = 12;
                break;
            case 'n':
                code = 10;
                break;
            case 'r':
                code = 13;
                break;
            case 't':
                code = 9;
                break;
            case 'u': {
                if (read + 4 > length) fire_error(err::script::invalid_data, &text);
                std::int32_t const high = hex4(text, read);
                if (high < 0) fire_error(err::script::invalid_data, &text);
                read += 4;
                code = static_cast<std::uint32_t>(high);
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (read + 6 > length || string::char_at(text, read) != '\\'
                        || string::char_at(text, read + 1) != 'u')
                        fire_error(err::script::invalid_data, &text);
                    std::int32_t const low = hex4(text, read + 2);
                    if (low < 0xDC00 || low > 0xDFFF) fire_error(err::script::invalid_data, &text);
                    read += 6;
                    code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
                }
                break;
            }
            default:
                fire_error(err::script::invalid_data, &text);
            }
        }
        string::put_char(buffer, start + write++, code);
    }
    string::truncate_at(buffer, start + write);
}

void json_unescape()
{
    Cell const text = *natives::argument(0);
    json_unescape_in_place(text);
    stack::set_last(text);
}

}
