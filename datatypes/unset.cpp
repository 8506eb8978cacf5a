// unset!: forms as nothing, molds as "unset"; make and to of anything give unset!.

#include "datatypes/unset.h"

#include "datatypes/constant_value.h"
#include "datatypes/string.h"
#include "runtime/stack.h"

namespace xol::unset {

void make_at(Cell& cell)
{
    constant_value::make_at(cell, type_id);
}
Cell* push()
{
    return stack::push(unset_value);
}
Cell* make_in(Cell const& block)
{
    return constant_value::make_in(block, unset_value);
}
Cell* set_result()
{
    return constant_value::set_result(unset_value);
}

namespace {

Cell make(Cell const&, Cell const&, TypeId)
{
    return unset_value;
}

std::int32_t form(Cell const&, Cell&, Refinement, std::int32_t limit)
{
    return limit;
}

std::int32_t mold(Cell const&, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, all ? "#(unset)" : "unset", limit);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "unset!",
    .actions = {
        .make = make,
        .to = make,
        .form = form,
        .mold = mold,
        .compare = constant_value::compare,
    },
};

}
