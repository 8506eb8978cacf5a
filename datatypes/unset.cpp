// unset!: forms as nothing, molds as "unset"; make and to of anything give unset!.

#include "datatypes/unset.h"

#include "datatypes/string.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::unset {

void make_at(Cell& cell) { cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, 0, 0 }; }

Cell* push() { return stack::push(unset_value); }

Cell* make_in(Cell const& block)
{
    Cell* cell = series::append_cell(block);
    *cell = unset_value;
    return cell;
}

Cell* set_result()
{
    *stack::state.base = unset_value;
    return stack::state.base;
}

namespace {

Cell make(Cell const&, Cell const&, TypeId) { return unset_value; }

std::int32_t form(Cell const&, Cell&, Refinement, std::int32_t limit) { return limit; }

std::int32_t mold(Cell const&, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, all ? "#(unset)" : "unset", limit);
}

// Two unset! values are equal and sort together; unset! has no order and nothing else equals it.
std::int32_t compare(Cell const&, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    switch (op) {
    case CompareOp::Lesser:
    case CompareOp::LesserOrEqual:
    case CompareOp::Greater:
    case CompareOp::GreaterOrEqual:
        return compare_incomparable;
    default:
        return 0;
    }
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
        .compare = compare,
    },
};

}
