// none!: forms and molds as "none". The searching and removing actions accept none! as their series and
// answer none!, so the result of a failed search flows through them.

#include "datatypes/none.h"

#include "datatypes/string.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::none {

void make_at(Cell& cell) { cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, 0, 0 }; }

Cell* push() { return stack::push(none_value); }

Cell* make_in(Cell const& block)
{
    Cell* cell = series::append_cell(block);
    *cell = none_value;
    return cell;
}

Cell* set_result()
{
    *stack::state.base = none_value;
    return stack::state.base;
}

namespace {

Cell make(Cell const&, Cell const&, TypeId) { return none_value; }

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "none", limit);
}

std::int32_t mold(Cell const&, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return string::append_ascii(buffer, all ? "#(none)" : "none", limit);
}

// Two none! values are equal and sort together; none! has no order and nothing else equals it.
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

Cell clear(Cell const&) { return none_value; }
Cell find(Cell const&, Cell const&, FindOptions const&) { return none_value; }
std::int32_t length_q(Cell const&) { return -1; } // the action's entry answers none! for it
Cell remove(Cell const&, Refinement, Refinement) { return none_value; }
Cell take(Cell const&, Refinement, bool, bool) { return none_value; }

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
        .compare = compare,
        .clear = clear,
        .find = find,
        .length_q = length_q,
        .remove = remove,
        .select = find,
        .take = take,
    },
};

}
