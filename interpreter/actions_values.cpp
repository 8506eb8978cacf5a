// The entries of the actions on values as a whole: make and to, random, reflect, form and mold, and round.
// The scalar operations whose slots answer their result alone (negate, even?, odd?, complement) are
// actions_private.h's `unary` and `predicate`.

#include <limits>

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/actions_private.h"

namespace xol::actions {

namespace {

using namespace detail;

// make integer! 10 and make 5 10 reach the same slot: a datatype! names the type to make.
TypeId target_type(Cell const& prototype)
{
    return cell::type_of(prototype) == type_ids::datatype ? datatype::get(prototype) : cell::type_of(prototype);
}

Cell make_or_to(Cell const& prototype, Cell const& spec, action_types::Make TypeActions::*slot)
{
    TypeId const type = target_type(prototype);
    return lookup(type, slot)(prototype, spec, type);
}

// The /part limit of form and mold: an integer! count of characters.
std::int32_t part_limit(Cell const& part)
{
    if (cell::type_of(part) != type_ids::integer) fire_error(err::script::invalid_arg, &part);
    return integer::get(part);
}

// A new string on the value stack receives the text; it is cut to the limit (slots may overshoot it by
// the end of their last item) and becomes the result.
template <typename Write> void write_text(Refinement part, Write&& write)
{
    std::int32_t limit = std::numeric_limits<std::int32_t>::max();
    if (part) {
        limit = part_limit(*part);
        // A limit of nothing writes nothing: no slot runs.
        if (limit <= 0) {
            set_result(string::make(0));
            return;
        }
    }
    Cell* const top = stack::state.top;
    Cell* buffer = stack::push(string::make(16));
    write(*buffer, limit);
    if (part && string::rs_length_q(*buffer) > static_cast<std::uint32_t>(limit))
        string::truncate_at(string::node_of(*buffer), static_cast<std::uint32_t>(limit));
    set_result(*buffer);
    stack::cut_to(top);
}

}

Cell make_typed(Cell const& prototype, Cell const& spec)
{
    return make_or_to(prototype, spec, &TypeActions::make);
}

Cell to_typed(Cell const& prototype, Cell const& spec)
{
    return make_or_to(prototype, spec, &TypeActions::to);
}

namespace detail {

void make(std::int32_t const*)
{
    set_result(make_typed(argument(0), argument(1)));
}

void to(std::int32_t const*)
{
    set_result(to_typed(argument(0), argument(1)));
}

// Refinements: /seed /secure /only.
void random(std::int32_t const* refinements)
{
    Cell const& value = argument(0);
    set_result(lookup_of(value, &TypeActions::random)(
        value, used(refinements[0]), used(refinements[1]), used(refinements[2])));
}

void reflect(std::int32_t const*)
{
    Cell const& value = argument(0);
    action_types::Reflect const slot = lookup_of(value, &TypeActions::reflect);
    Cell const& field = argument(1);
    if (!word::is_any_word(cell::type_of(field))) fire_error(err::script::invalid_arg, &field);
    set_result(slot(value, word::symbol_of(field)));
}

// Refinement: /part.
void form(std::int32_t const* refinements)
{
    Refinement const part = refinement_argument(refinements[0]);
    write_text(part, [&](Cell& buffer, std::int32_t limit) {
        Cell const& value = argument(0);
        lookup_of(value, &TypeActions::form)(value, buffer, part, limit);
    });
}

// Refinements: /only /all /flat /part.
void mold(std::int32_t const* refinements)
{
    Refinement const part = refinement_argument(refinements[3]);
    write_text(part, [&](Cell& buffer, std::int32_t limit) {
        Cell const& value = argument(0);
        lookup_of(value, &TypeActions::mold)(
            value, buffer, used(refinements[0]), used(refinements[1]), used(refinements[2]), part, limit, 0);
    });
}

// Refinements: /to /even /down /half-down /floor /ceiling /half-ceiling.
void round(std::int32_t const* refinements)
{
    RoundOptions const options {
        .to = refinement_argument(refinements[0]),
        .even = used(refinements[1]),
        .down = used(refinements[2]),
        .half_down = used(refinements[3]),
        .floor = used(refinements[4]),
        .ceiling = used(refinements[5]),
        .half_ceiling = used(refinements[6]),
    };
    Cell const& value = argument(0);
    set_result(lookup_of(value, &TypeActions::round)(value, options));
}

}

}
