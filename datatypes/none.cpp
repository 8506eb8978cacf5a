// none!: forms and molds as "none". The searching and removing actions accept none! as their series and
// answer none!, so the result of a failed search flows through them.

#include "datatypes/none.h"

#include "datatypes/constant_value.h"
#include "datatypes/string.h"
#include "runtime/stack.h"

namespace xol::none {

void make_at(Cell& cell)
{
    constant_value::make_at(cell, type_id);
}
Cell* push()
{
    return stack::push(none_value);
}
Cell* make_in(Cell const& block)
{
    return constant_value::make_in(block, none_value);
}
Cell* set_result()
{
    return constant_value::set_result(none_value);
}

namespace {

Cell make(Cell const&, Cell const&, TypeId)
{
    return none_value;
}

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "none", limit);
}

std::int32_t mold(Cell const&, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, all ? "#(none)" : "none", limit);
}

Cell clear(Cell const&)
{
    return none_value;
}
Cell find(Cell const&, Cell const&, FindOptions const&)
{
    return none_value;
}
std::int32_t length_q(Cell const&)
{
    return -1;
} // the action's entry answers none! for it
Cell remove(Cell const&, Refinement, Refinement)
{
    return none_value;
}
Cell take(Cell const&, Refinement, bool, bool)
{
    return none_value;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "none!",
    .actions = {
        .make = make,
        .to = make,
        .form = form,
        .mold = mold,
        .compare = constant_value::compare,
        .clear = clear,
        .find = find,
        .length_q = length_q,
        .remove = remove,
        .select = find,
        .take = take,
    },
};

}
