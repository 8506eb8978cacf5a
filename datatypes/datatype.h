// datatype!: the value that names a type (word 1 holds the id it denotes). Two are equal exactly when
// they name the same type; they have no order. The registry (datatypes/registry.h) owns the names.
#pragma once

#include "datatypes/registry.h"

namespace xol::datatype {

inline TypeId get(Cell const& value)
{
    return static_cast<TypeId>(value.word1);
}
void make_at(Cell& cell, TypeId denoted); // keeps the cell's header flags
Cell* push(TypeId denoted); // a new datatype! on the value stack
Cell* make_in(Cell const& block, TypeId denoted); // appended at the block's tail. May allocate.

extern DatatypeRecord const record; // no parent

}
