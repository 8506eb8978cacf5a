// tag!: the printed form; every other action is string!'s.

#include "datatypes/tag.h"

#include "datatypes/string.h"
#include "runtime/roots.h"

namespace xol::tag {

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    // Appending may move the series the value lies in: keep it rooted across the brackets.
    Rooted text(value);
    string::append_char(buffer, '<');
    std::int32_t const left = string::form(*text, buffer, part, limit - 1);
    string::append_char(buffer, '>');
    return left - 1;
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "tag!",
    .actions = string::text_child_actions(form, mold, inherit),
};

}
