// The value makers shared by none! and unset!.

#include "datatypes/constant_value.h"

#include "datatypes/compare.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::constant_value {

void make_at(Cell& cell, TypeId type)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type, 0, 0, 0 };
}

Cell* make_in(Cell const& block, Cell const& value)
{
    Cell* cell = series::append_cell(block);
    *cell = value;
    return cell;
}

Cell* set_result(Cell const& value)
{
    stack::set_last(value);
    return stack::state.base;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    return cell::type_of(value2) != cell::type_of(value1) || actions::is_ordering(op) ? compare_incomparable : 0;
}

}
