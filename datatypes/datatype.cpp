// datatype!: forms as the type's name without its "!", molds with it. Equal exactly when naming the same
// type; no order; unequal to every value of another type.

#include "datatypes/datatype.h"

#include "datatypes/compare.h"
#include "datatypes/string.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::datatype {

void make_at(Cell& cell, TypeId denoted)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, denoted, 0, 0 };
}

Cell* push(TypeId denoted)
{
    return stack::push(make(denoted));
}

Cell* make_in(Cell const& block, TypeId denoted)
{
    Cell* cell = series::append_cell(block);
    *cell = make(denoted);
    return cell;
}

namespace {

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, name_without_bang(get(value)), limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    if (!all) return string::append_ascii(buffer, name(get(value)), limit);
    limit = string::append_ascii(buffer, "#(", limit);
    limit = string::append_ascii(buffer, name(get(value)), limit);
    return string::append_ascii(buffer, ")", limit);
}

// The search equalities under which paths compare as one type are still equalities: a datatype! found
// in a block by any of them is the same type.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (!actions::is_equality(op)) return compare_incomparable;
    return cell::type_of(value2) == type_id && get(value1) == get(value2) ? 0 : 1;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "datatype!",
    .actions = {
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}
