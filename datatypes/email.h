// email!: a user part, "@" and a host part, a child of string! that shares its cell layout and every series
// action. The "@" is part of the text. Paths read and set the two parts by name.
#pragma once

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::email {

inline constexpr TypeId type_id = type_ids::email;

// The characters from the index as string! forms them, with no quotes. May allocate.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
// An integer! element picks or pokes as for string!. The words `user` and `host` (any case) read a new
// string! of the text before the first "@" from the index (all of it when there is none) or after it
// (empty when there is none); setting one changes that part in place and answers the value set. Any other
// element raises script invalid-path. May allocate.
Cell eval_path(PathStep const& step);

extern DatatypeRecord const record; // registered after string!

}
