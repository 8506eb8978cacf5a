// handle!: the makers, the text and the order of handles.

#include "datatypes/handle.h"

#include <cstdio>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::handle {

void box(std::uint32_t value, Kind kind)
{
    stack::state.base[0] = make(value, kind);
}

Cell* make_in(Cell const& block, std::uint32_t value, Kind kind)
{
    Cell* cell = series::append_cell(block);
    *cell = make(value, kind);
    return cell;
}

Cell* push(std::uint32_t value, Kind kind)
{
    return stack::push(make(value, kind));
}

Cell* push_null()
{
    return push(0, Kind::None);
}

void define_null_handle()
{
    Cell const word = word::make_global("null-handle");
    *context::value_of_global(word.word2, context::global()) = make(0, Kind::None);
}

namespace {

std::string_view kind_name(Kind kind)
{
    constexpr std::string_view names[] = { "", "null", "fd", "monitor", "window", "font", "rich-text" };
    auto const index = static_cast<std::uint32_t>(kind);
    return index < std::size(names) ? names[index] : std::string_view {};
}

// Eight upper-case hexadecimal digits and "h": 000000FFh.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    char text[16];
    int const length = std::snprintf(text, sizeof text, "%08Xh", value_of(value));
    return string::append_ascii(buffer, { text, static_cast<std::size_t>(length) }, limit);
}

// The plain mold names only the type: a handle means nothing outside this process. With /all it shows
// the value and the kind's name: #[handle! 000000FFh window].
std::int32_t mold(
    Cell const& value, Cell& buffer, bool, bool all, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    if (!all) return string::append_ascii(buffer, "handle!", limit);
    limit = string::append_ascii(buffer, "#[handle! ", limit);
    limit = form(value, buffer, part, limit);
    std::string_view const name = kind_name(kind_of(value));
    if (!name.empty()) {
        limit = string::append_ascii(buffer, " ", limit);
        limit = string::append_ascii(buffer, name, limit);
    }
    return string::append_ascii(buffer, "]", limit);
}

// By the signed handle values, whatever the operation; the kinds do not take part. Any other type is
// greater.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp)
{
    if (cell::type_of(value2) != type_id) return 1;
    auto const a = static_cast<std::int32_t>(value_of(value1));
    auto const b = static_cast<std::int32_t>(value_of(value2));
    return (a > b) - (a < b);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::integer,
    .name = "handle!",
    .actions = {
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}
