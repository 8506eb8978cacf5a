// The cores of the math natives that routines share.
#pragma once

#include <cstdint>

namespace xol::natives {

enum class ShiftDirection { Right, Left, RightLogical };

// The shift native's core: a negative count shifts by nothing; 32 or more shifts every bit out, which
// leaves 0, or -1 for a negative value shifted right arithmetically.
std::int32_t shift_bits(std::int32_t value, std::int32_t bits, ShiftDirection);

}
