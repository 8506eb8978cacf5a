// The datatype ids: the low byte of every cell header. The order is fixed; boot data, XOLBIN and
// typesets depend on it.
#pragma once

#include <cstdint>

namespace xol {

using TypeId = std::uint8_t;

namespace type_ids {

inline constexpr TypeId datatype = 1;
inline constexpr TypeId unset = 2;
inline constexpr TypeId none = 3;
inline constexpr TypeId logic = 4;
inline constexpr TypeId block = 5;
inline constexpr TypeId paren = 6;
inline constexpr TypeId string = 7;
inline constexpr TypeId file = 8;
inline constexpr TypeId url = 9;
inline constexpr TypeId char_ = 10;
inline constexpr TypeId integer = 11;
inline constexpr TypeId float_ = 12;
inline constexpr TypeId symbol = 13;
inline constexpr TypeId context = 14;
inline constexpr TypeId word = 15;
inline constexpr TypeId set_word = 16;
inline constexpr TypeId lit_word = 17;
inline constexpr TypeId get_word = 18;
inline constexpr TypeId refinement = 19;
inline constexpr TypeId issue = 20;
inline constexpr TypeId native = 21;
inline constexpr TypeId action = 22;
inline constexpr TypeId op = 23;
inline constexpr TypeId function = 24;
inline constexpr TypeId path = 25;
inline constexpr TypeId lit_path = 26;
inline constexpr TypeId set_path = 27;
inline constexpr TypeId get_path = 28;
inline constexpr TypeId routine = 29;
inline constexpr TypeId bitset = 30;
inline constexpr TypeId triple = 31;
inline constexpr TypeId object = 32;
inline constexpr TypeId typeset = 33;
inline constexpr TypeId error = 34;
inline constexpr TypeId vector = 35;
inline constexpr TypeId hash = 36;
inline constexpr TypeId pair = 37;
inline constexpr TypeId percent = 38;
inline constexpr TypeId tuple = 39;
inline constexpr TypeId map = 40;
inline constexpr TypeId binary = 41;
inline constexpr TypeId series = 42; // a parent only: no value has this type
inline constexpr TypeId time = 43;
inline constexpr TypeId tag = 44;
inline constexpr TypeId email = 45;
inline constexpr TypeId handle = 46;
inline constexpr TypeId date = 47;
inline constexpr TypeId port = 48;
inline constexpr TypeId money = 49;
inline constexpr TypeId ref = 50;
inline constexpr TypeId point2d = 51;
inline constexpr TypeId point3d = 52;
inline constexpr TypeId image = 53;
inline constexpr TypeId event = 54;

inline constexpr TypeId last = event;

}

}
