// triple!: the makers and the text, "make triple! [a b c]", the same for form and mold.

#include "datatypes/triple.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "datatypes/string.h"

namespace xol::triple {

void make_at(Cell& cell, std::int32_t first, std::int32_t second, std::int32_t third)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, static_cast<std::uint32_t>(first),
        static_cast<std::uint32_t>(second), static_cast<std::uint32_t>(third) };
}

namespace {

// Written whole, whatever the budget: /part cuts the finished text, and every character counts against it.
// /only, /all and /flat change nothing.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    constexpr std::string_view opening = "make triple! [";
    constexpr std::ptrdiff_t widest = 11; // "-2147483648"
    char text[opening.size() + 3 * widest + 3];
    char* position = std::copy(opening.begin(), opening.end(), text);
    position = std::to_chars(position, position + widest, a(value)).ptr;
    *position++ = ' ';
    position = std::to_chars(position, position + widest, b(value)).ptr;
    *position++ = ' ';
    position = std::to_chars(position, position + widest, c(value)).ptr;
    *position++ = ']';
    return string::append_ascii(buffer, { text, position }, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "triple!",
    .actions = {
        .form = form,
        .mold = mold,
    },
};

}
