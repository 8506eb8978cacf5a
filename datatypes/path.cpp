// path! and its children: the elements from the index to the tail joined by "/", with no spaces and no
// new-line handling; lit-path!, set-path! and get-path! add one character around that text.

#include "datatypes/path.h"

#include <algorithm>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/datatype.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/type_families.h"

namespace xol::path {

namespace {

using block::detail::CycleEntry;

// The text of a path: each element formed, or molded with `mold`; stops once a /part limit is spent.
std::int32_t write_elements(
    Cell const& value, Cell& buffer, bool mold, bool only, bool all, bool flat, Refinement part, std::int32_t limit)
{
    if (string::append_cycle_marker(value, buffer, limit, mold)) return limit;
    Rooted kept(value);
    CycleEntry const guard(value.word2);
    for (std::uint32_t i = std::min(kept->word1, series::rs_total_length(*kept)); i < series::rs_total_length(*kept);
         ++i) {
        Cell const element = *block::rs_abs_at(*kept, i); // a copy: writing may move the path's buffer
        TypeActions const& slots = datatype::actions(cell::type_of(element));
        if (mold) {
            if (!slots.mold) fire_error(err::internal::not_done);
            limit = slots.mold(element, buffer, only, all, flat, part, limit, 0);
        } else {
            if (!slots.form) fire_error(err::internal::not_done);
            limit = slots.form(element, buffer, part, limit);
        }
        if (part && limit < 1) break;
        if (i + 1 < series::rs_total_length(*kept)) limit = string::append_ascii(buffer, "/", limit);
    }
    return limit;
}

std::int32_t mold_with(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, std::string_view prefix, std::string_view suffix)
{
    Rooted kept(value);
    if (!prefix.empty()) limit = string::append_ascii(buffer, prefix, limit);
    limit = write_elements(*kept, buffer, true, only, all, flat, part, limit);
    if (!suffix.empty()) limit = string::append_ascii(buffer, suffix, limit);
    return limit;
}

}

Cell* push(Cell& cell)
{
    return block::push_as(cell, type_id);
}
void make_at(Cell& cell, std::int32_t n)
{
    block::make_at_as(cell, n, type_id);
}

// A size of 0 or below makes room for one cell.
Cell make(Cell const& prototype, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (block::is_any_block(spec_type)) return block::to(prototype, spec, type);
    if (type_ids::is_number(spec_type)) {
        Cell made;
        block::make_at(made, number::to_int_checked(spec));
        cell::set_type(made, type);
        return made;
    }
    Cell const made_type = datatype::make(type);
    fire_error(err::script::bad_make_arg, &made_type, &spec);
}

Cell to(Cell const& prototype, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (spec_type != type_ids::object && spec_type != type_ids::typeset && spec_type != type_ids::map)
        return block::to(prototype, spec, type);
    // An object or a map is held as its copy, so the path does not change with it.
    Rooted value(spec_type == type_ids::object ? object::copy(spec, nullptr, false, nullptr)
            : spec_type == type_ids::map       ? datatype::actions(type_ids::map).copy(spec, nullptr, false, nullptr)
                                               : spec);
    Rooted result(unset_value);
    block::make_at(*result, 1);
    block::rs_append(*result, *value);
    cell::set_type(*result, type);
    return *result;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return write_elements(value, buffer, false, false, false, false, part, limit);
}

std::int32_t mold(
    Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_with(value, buffer, only, all, flat, part, limit, "", "");
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = block::type_id,
    .name = "path!",
    .actions = {
        .make = make,
        .reflect = inherit,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = inherit,
        .compare = inherit,
        .append = inherit,
        .at = inherit,
        .back = inherit,
        .change = inherit,
        .clear = inherit,
        .copy = block::copy,
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

namespace {

// The children take everything from path! but their mold.
constexpr ActionTable child_actions(action_types::Mold mold)
{
    ActionTable actions = all_inherited();
    actions.mold = mold;
    return actions;
}

std::int32_t mold_lit(
    Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_with(value, buffer, only, all, flat, part, limit, "'", "");
}

std::int32_t mold_set(
    Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_with(value, buffer, only, all, flat, part, limit, "", ":");
}

std::int32_t mold_get(
    Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_with(value, buffer, only, all, flat, part, limit, ":", "");
}

}

}

namespace xol::lit_path {

Cell* push(Cell& cell)
{
    return block::push_as(cell, type_id);
}
void make_at(Cell& cell, std::int32_t n)
{
    block::make_at_as(cell, n, type_id);
}

constexpr DatatypeRecord record {
    .id = type_id, .parent = path::type_id, .name = "lit-path!", .actions = path::child_actions(path::mold_lit)
};

}

namespace xol::set_path {

Cell* push(Cell& cell)
{
    return block::push_as(cell, type_id);
}
void make_at(Cell& cell, std::int32_t n)
{
    block::make_at_as(cell, n, type_id);
}

constexpr DatatypeRecord record {
    .id = type_id, .parent = path::type_id, .name = "set-path!", .actions = path::child_actions(path::mold_set)
};

}

namespace xol::get_path {

Cell* push(Cell& cell)
{
    return block::push_as(cell, type_id);
}
void make_at(Cell& cell, std::int32_t n)
{
    block::make_at_as(cell, n, type_id);
}

constexpr DatatypeRecord record {
    .id = type_id, .parent = path::type_id, .name = "get-path!", .actions = path::child_actions(path::mold_get)
};

}
