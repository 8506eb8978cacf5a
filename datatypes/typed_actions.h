// Form, mold and copy of a value of any type, through its type's slot: what C++ code calls on the values it
// walks (object fields, error arguments, function bodies). A type without the slot raises internal
// not-done for form and mold; copy answers the value itself.
#pragma once

#include <cstdint>

#include "datatypes/registry.h"
#include "runtime/errors.h"

namespace xol::actions {

// Appends the formed text to the string! `buffer`; answers the limit less what was appended. May allocate.
inline std::int32_t form_typed(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    TypeId const type = cell::type_of(value);
    auto const slot = datatype::is_registered(type) ? datatype::actions(type).form : nullptr;
    if (!slot) fire_error(err::internal::not_done);
    return slot(value, buffer, part, limit);
}

// Appends the molded text; answers the limit less what was appended. May allocate.
inline std::int32_t mold_typed(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, std::int32_t indent)
{
    TypeId const type = cell::type_of(value);
    auto const slot = datatype::is_registered(type) ? datatype::actions(type).mold : nullptr;
    if (!slot) fire_error(err::internal::not_done);
    return slot(value, buffer, only, all, flat, part, limit, indent);
}

// The copy of a value, deep or not, restricted to `types` when given. May allocate.
inline Cell copy_typed(Cell const& value, bool deep, Refinement types)
{
    TypeId const type = cell::type_of(value);
    auto const slot = datatype::is_registered(type) ? datatype::actions(type).copy : nullptr;
    if (!slot) return value;
    return slot(value, nullptr, deep, types);
}

}
