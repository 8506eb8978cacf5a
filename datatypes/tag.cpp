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

// Slots appear in table order. Those not named stay empty: a tag has no random, arithmetic, sort, trim or
// port actions.
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "tag!",
    .actions = {
        .make = inherit,
        .reflect = inherit,
        .to = inherit,
        .form = form,
        .mold = mold,
        .eval_path = inherit,
        .compare = inherit,
        .append = inherit,
        .at = inherit,
        .back = inherit,
        .change = inherit,
        .clear = inherit,
        .copy = inherit,
        .find = inherit,
        .head = inherit,
        .head_q = inherit,
        .index_q = inherit,
        .insert = inherit,
        .length_q = inherit,
        .move = inherit,
        .next = inherit,
        .pick = inherit,
        .poke = inherit,
        .put = inherit,
        .remove = inherit,
        .reverse = inherit,
        .select = inherit,
        .skip = inherit,
        .swap = inherit,
        .tail = inherit,
        .tail_q = inherit,
        .take = inherit,
        .modify = inherit,
    },
};

}
