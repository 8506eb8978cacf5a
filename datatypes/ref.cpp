// ref!: the molded form; form and the reading series actions are string!'s.

#include "datatypes/ref.h"

#include "datatypes/string.h"
#include "runtime/roots.h"

namespace xol::ref {

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    // Appending may move the series the value lies in: keep it rooted across the "@".
    Rooted text(value);
    string::append_char(buffer, '@');
    return string::form(*text, buffer, part, limit - 1);
}

// A ref has no paths, and is not appended or put to: those slots stay empty.
constexpr ActionTable actions()
{
    ActionTable table = string::text_child_actions(inherit, mold, {});
    table.append = {};
    table.put = {};
    return table;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "ref!",
    .actions = actions(),
};

}
