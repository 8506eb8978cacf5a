// block!: form and mold. Mold honours each cell's new-line marker: a block whose first value starts a line
// puts every marked value on a line of its own, one level deeper, and its closing bracket on a line at
// the block's level. Both stop as soon as a /part limit is spent, and a block met again inside itself
// writes its cycle marker instead of recursing.

#include <string_view>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"

namespace xol::block {

using namespace detail;

namespace {

constexpr std::string_view indent_unit = "    ";

// The last character of the output; 0 when it is empty.
std::uint32_t last_char(Cell const& buffer)
{
    SeriesBuffer* text = node::buffer(buffer.word2);
    if (text->tail == text->head) return 0;
    std::uint32_t const unit = text->unit();
    return string::get_char(text->tail_address() - unit, unit);
}

struct NestingLevel {
    NestingLevel() { ++state.mold_nesting; }
    ~NestingLevel() { --state.mold_nesting; }
    NestingLevel(NestingLevel const&) = delete;
    NestingLevel& operator=(NestingLevel const&) = delete;
};

std::int32_t form_typed(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    auto const form_slot = datatype::actions(cell::type_of(value)).form;
    if (!form_slot) fire_error(err::internal::not_done);
    return form_slot(value, buffer, part, limit);
}

std::int32_t mold_typed(
    Cell const& value, Cell& buffer, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t indent)
{
    auto const mold_slot = datatype::actions(cell::type_of(value)).mold;
    if (!mold_slot) fire_error(err::internal::not_done);
    return mold_slot(value, buffer, false, all, flat, part, limit, indent);
}

std::int32_t append_indent(Cell& buffer, std::int32_t indent, std::int32_t limit)
{
    for (std::int32_t level = 0; level < indent; ++level) limit = string::append_ascii(buffer, indent_unit, limit);
    return limit;
}

}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    if (string::append_cycle_marker(value, buffer, limit, false)) return limit;
    Rooted kept(value);
    CycleEntry const guard(value.word2);
    for (std::uint32_t i = position_of(*kept); i < total_of(*kept); ++i) {
        if (part && limit < 1) break;
        Cell const element = cell_at(*kept, i); // a copy: forming may move the block's buffer
        limit = form_typed(element, buffer, part, limit);
        if (i + 1 < total_of(*kept)) {
            std::uint32_t const last = last_char(buffer);
            if (last != '\t' && last != '\n' && last != '\r') limit = string::append_ascii(buffer, " ", limit);
        }
    }
    return limit;
}

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    if (string::append_cycle_marker(value, buffer, limit, true)) return limit;
    Rooted kept(value);
    if (!only) limit = string::append_ascii(buffer, "[", limit);
    limit = mold_each(*kept, buffer, only, all, flat, part, limit, indent);
    if (!only) limit = string::append_ascii(buffer, "]", limit);
    return limit;
}

std::int32_t mold_each(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, std::int32_t indent)
{
    Rooted kept(value);
    CycleEntry const guard(value.word2);
    std::uint32_t const first = position_of(*kept);
    bool indented = false;
    for (std::uint32_t i = first; i < total_of(*kept); ++i) {
        if (part && limit <= 0) return limit;
        NestingLevel const level;
        if (!flat && cell::has_new_line(cell_at(*kept, i))) {
            if (!only && i == first) {
                indented = true;
                ++indent;
            }
            if (!(only && i == first)) limit = string::append_ascii(buffer, "\n", limit);
            limit = append_indent(buffer, indent, limit);
        } else if (i != first) {
            limit = string::append_ascii(buffer, " ", limit);
        }
        // Read after the appends, which may collect; a copy, since molding may move the block's buffer.
        Cell const element = cell_at(*kept, i);
        limit = mold_typed(element, buffer, all, flat, part, limit, indent);
    }
    if (indented) {
        --indent;
        limit = string::append_ascii(buffer, "\n", limit);
        limit = append_indent(buffer, indent, limit);
    }
    return limit;
}

}
