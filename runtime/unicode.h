// Unicode encodings at the edges of the runtime.
#pragma once

#include <cstdint>

namespace xol::unicode {

inline constexpr std::uint32_t max_code_point = 0x10FFFF;

// Writes the 1 to 4 bytes of a code point and answers their count. Above max_code_point raises
// script invalid-char with the code point.
int utf8_encode(std::uint32_t code_point, char* output);

}
