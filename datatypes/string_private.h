// string!: helpers shared by the string module's own files; nothing outside the module includes this.
#pragma once

#include <cstdint>

#include "datatypes/string.h"
#include "runtime/unicode.h"

namespace xol::string::detail {

// The upper-case form of a code point, for the case-folding comparisons and searches.
inline std::uint32_t fold_upper(std::uint32_t code_point)
{
    return unicode::change_case(code_point, unicode::Case::Upper);
}

inline std::uint32_t fold_unless(bool case_sensitive, std::uint32_t code_point)
{
    return case_sensitive ? code_point : fold_upper(code_point);
}

// The code point `place` units after the buffer's head (not the value's index).
inline std::uint32_t unit_at(SeriesBuffer* buffer, std::uint32_t place)
{
    std::uint32_t const unit = buffer->unit();
    return get_char(buffer->head_address() + (std::uint64_t { place } << buffer->unit_shift()), unit);
}

// Appends the form of any value through its type's form slot; answers the limit left. May allocate.
std::int32_t form_typed(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
// A new string of 16 units holding the form of the value. May allocate.
Cell formed(Cell const& value);

// Raises script invalid-refine-arg with the refinement! of `name` ("part" gives /part) and the argument.
// May allocate (the refinement's symbol).
[[noreturn]] void fire_bad_refinement(char const* name, Cell const& argument);

// The count a /part argument gives from the series' position: an integer! as it is, a position of the
// same type on the same series as the distance; anything else raises invalid-refine-arg with `word`.
std::int32_t part_count(Cell const& series, Cell const& part, char const* word);

}
