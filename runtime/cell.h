// The value cell: every value of the language is one cell of four 32-bit words, copied by value.
// Word 0 is the header: the datatype id in bits 0-7, flags above (bit 30 the new-line marker; every
// other flag belongs to its datatype). Words 1-3 hold the payload, laid out by each datatype; payloads
// refer to series only through 32-bit node ids, never through addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/type_ids.h"

namespace xol {

// A node id: the index of a node slot, which holds the address of a series buffer. 0 is "no node".
using NodeId = std::uint32_t;
inline constexpr NodeId no_node = 0;

struct Cell {
    std::uint32_t header;
    std::uint32_t word1;
    std::uint32_t word2;
    std::uint32_t word3;
};

static_assert(sizeof(Cell) == 16);
static_assert(alignof(Cell) == 4);
static_assert(offsetof(Cell, header) == 0 && offsetof(Cell, word1) == 4 && offsetof(Cell, word2) == 8
    && offsetof(Cell, word3) == 12);

namespace cell {

inline constexpr std::uint32_t type_mask = 0xFF;
inline constexpr std::uint32_t new_line_flag = 0x40000000;

inline TypeId type_of(Cell const& value)
{
    return static_cast<TypeId>(value.header & type_mask);
}

// Keeps every flag, the new-line marker included.
inline void set_type(Cell& value, TypeId type)
{
    value.header = (value.header & ~type_mask) | type;
}

inline void clear_new_line(Cell& value)
{
    value.header &= ~new_line_flag;
}

inline bool has_new_line(Cell const& value)
{
    return (value.header & new_line_flag) != 0;
}

inline Cell& copy(Cell const& source, Cell& target)
{
    if (&source != &target) target = source;
    return target;
}

inline Cell make(TypeId type, std::uint32_t word1 = 0, std::uint32_t word2 = 0, std::uint32_t word3 = 0)
{
    return Cell { type, word1, word2, word3 };
}

// A double spans words 2 and 3 (low half in word 2).
inline double float_payload(Cell const& value)
{
    double result;
    std::memcpy(&result, &value.word2, sizeof result);
    return result;
}

inline void set_float_payload(Cell& value, double number)
{
    std::memcpy(&value.word2, &number, sizeof number);
}

inline std::int32_t integer_payload(Cell const& value)
{
    return static_cast<std::int32_t>(value.word2);
}

}

}
