// point3D!: the makers and the record; the actions are point_shared.cpp's.

#include "datatypes/point3d.h"

#include "datatypes/point_shared.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::point3d {

void make_at(Cell& cell, float x_value, float y_value, float z_value)
{
    Cell const value = make(x_value, y_value, z_value);
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, value.word1, value.word2, value.word3 };
}

Cell* make_in(Cell const& block, float x_value, float y_value, float z_value)
{
    Cell* cell = series::append_cell(block);
    *cell = make(x_value, y_value, z_value);
    return cell;
}

Cell* push(float x_value, float y_value, float z_value)
{
    return stack::push(make(x_value, y_value, z_value));
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "point3D!",
    .actions = point::actions,
};

}
