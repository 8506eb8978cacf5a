// The routines table and the call of a routine!.

#include "interpreter/routines.h"

#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "runtime/errors.h"

namespace xol::routines {

RoutinesState state;

void call(Cell const& routine)
{
    Cell const entry_cell = function::record_cell(routine, function::compiled_entry_cell);
    if (cell::type_of(entry_cell) != type_ids::integer) fire_error(err::internal::not_done);
    std::int32_t const index = integer::get(entry_cell);
    if (index < 0 || index >= table_size || !state.entries[index]) fire_error(err::internal::not_done);
    state.entries[index]();
}

}
