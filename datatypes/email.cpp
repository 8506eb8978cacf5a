// email!: the molded form and the user and host paths; every other action is string!'s.

#include "datatypes/email.h"

#include <algorithm>

#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::email {

namespace {

bool is_word(Cell const& value, words::Symbol entry)
{
    return cell::type_of(value) == type_ids::word
        && symbol::resolve(value.word2) == symbol::resolve(words::symbol_of(entry));
}

// The email seen from `offset` units past its index.
Cell at_offset(Cell const& email, std::uint32_t offset)
{
    Cell moved = email;
    moved.word1 = string::clamped_index(email) + offset;
    return moved;
}

}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return string::form(value, buffer, part, limit);
}

Cell eval_path(PathStep const& step)
{
    if (cell::type_of(step.element) == type_ids::integer) return string::eval_path(step);
    bool const user = is_word(step.element, words::Symbol::user);
    if (!user && !is_word(step.element, words::Symbol::host)) {
        Cell const* path = step.path ? step.path : &step.value;
        fire_error(err::script::invalid_path, path, &step.element);
    }
    Rooted email(step.value);
    std::uint32_t const length = string::rs_length_q(*email);
    std::int32_t const found = string::find_char(*email, '@');
    std::uint32_t const at = found < 0 ? length : static_cast<std::uint32_t>(found);
    // The host runs from after the "@"; with no "@" it is the empty run at the tail.
    std::uint32_t const from = user ? 0 : std::min(at + 1, length);
    std::uint32_t const count = user ? at : length - from;
    if (!step.new_value) {
        Rooted part(string::make(count));
        string::concatenate(
            *part, at_offset(*email, from), static_cast<std::int32_t>(count), 0, false, string::SpliceMode::Append);
        return *part;
    }
    Rooted new_value(*step.new_value);
    string::change(at_offset(*email, from), *new_value, static_cast<std::int32_t>(count), false, 1);
    return *new_value;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "email!",
    .actions = string::text_child_actions(inherit, mold, eval_path),
};

}
