// Unicode encodings at the edges of the runtime.

#include "runtime/unicode.h"

#include "runtime/cell.h"
#include "runtime/errors.h"

namespace xol::unicode {

int utf8_encode(std::uint32_t code_point, char* output)
{
    auto byte = [](std::uint32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
    if (code_point < 0x80) {
        output[0] = byte(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        output[0] = byte(0xC0 | (code_point >> 6));
        output[1] = byte(0x80 | (code_point & 0x3F));
        return 2;
    }
    if (code_point < 0x10000) {
        output[0] = byte(0xE0 | (code_point >> 12));
        output[1] = byte(0x80 | ((code_point >> 6) & 0x3F));
        output[2] = byte(0x80 | (code_point & 0x3F));
        return 3;
    }
    if (code_point > max_code_point) {
        Cell const value = cell::make(type_ids::char_, 0, code_point);
        fire_error(err::script::invalid_char, &value);
    }
    output[0] = byte(0xF0 | (code_point >> 18));
    output[1] = byte(0x80 | ((code_point >> 12) & 0x3F));
    output[2] = byte(0x80 | ((code_point >> 6) & 0x3F));
    output[3] = byte(0x80 | (code_point & 0x3F));
    return 4;
}

}
