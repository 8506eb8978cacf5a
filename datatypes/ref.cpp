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

// Slots appear in table order. Those not named stay empty: a ref has no random, paths, arithmetic, append,
// put, sort, trim or port actions.
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "ref!",
    .actions = {
        .make = inherit,
        .reflect = inherit,
        .to = inherit,
        .form = inherit,
        .mold = mold,
        .compare = inherit,
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
