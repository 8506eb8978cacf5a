// paren!: a block in parentheses. Its mold writes the cells as a block's, new-line markers and
// indentation included; everything else is block!'s.

#include "datatypes/paren.h"

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"

namespace xol::paren {

namespace {

// A paren met again inside itself writes its cycle marker, as a block does, rather than nesting until the
// cycle guard's depth runs out.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    if (string::append_cycle_marker(value, buffer, limit, true)) return limit;
    Rooted kept(value);
    if (!only) limit = string::append_ascii(buffer, "(", limit);
    limit = block::mold_each(*kept, buffer, only, all, flat, part, limit, indent);
    if (!only) limit = string::append_ascii(buffer, ")", limit);
    return limit;
}

}

Cell* push(Cell& cell)
{
    return block::push_as(cell, type_id);
}
void make_at(Cell& cell, std::int32_t n)
{
    block::make_at_as(cell, n, type_id);
}

// Everything is block!'s but the mold; trim is not available for a paren.
constexpr ActionTable actions()
{
    ActionTable table = all_inherited();
    table.mold = mold;
    table.trim = {};
    return table;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = block::type_id,
    .name = "paren!",
    .actions = actions(),
};

}
