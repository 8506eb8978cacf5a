// The datatype families that C++ code tests, as one row of family bits per type id: a test of a family
// reads one entry, and a new datatype joins its families with its row. The typesets of library/boot.xol
// are the language's view of these groups; a family named after a typeset holds the same types (a unit
// test compares them), and the others are groups that only the C++ code needs.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "runtime/type_ids.h"

namespace xol::type_ids {

using Families = std::uint16_t;

namespace family {

inline constexpr Families series = 1 << 0; // a series buffer under the value (series!)
inline constexpr Families text = 1 << 1; // code points in 1-, 2- or 4-byte units (any-string!)
inline constexpr Families list = 1 << 2; // cells: block!, paren!, hash! (any-list!)
inline constexpr Families path = 1 << 3; // cells, the steps of a path (any-path!)
inline constexpr Families plain_word = 1 << 4; // word!, set-word!, lit-word!, get-word! (any-word!)
inline constexpr Families bindable = 1 << 5; // the words a context binds: the plain words and refinement!
inline constexpr Families all_word = 1 << 6; // a symbol in word 2: the bindable words and issue! (all-word!)
inline constexpr Families number = 1 << 7; // integer!, float!, percent!: compare and sort order them together
inline constexpr Families scalar = 1 << 8; // (scalar!)
inline constexpr Families function = 1 << 9; // (any-function!)
inline constexpr Families context_function = 1 << 10; // function!, routine!: a spec context and a record
inline constexpr Families object = 1 << 11; // a context in word 1 (any-object!)

}

struct FamilyRow {
    TypeId id;
    Families families;
};

// Every datatype id once, in id order.
inline constexpr FamilyRow family_rows[] = {
    { datatype, 0 },
    { unset, 0 },
    { none, 0 },
    { logic, 0 },
    { block, family::series | family::list },
    { paren, family::series | family::list },
    { string, family::series | family::text },
    { file, family::series | family::text },
    { url, family::series | family::text },
    { char_, family::scalar },
    { integer, family::number | family::scalar },
    { float_, family::number | family::scalar },
    { symbol, 0 },
    { context, 0 },
    { word, family::plain_word | family::bindable | family::all_word },
    { set_word, family::plain_word | family::bindable | family::all_word },
    { lit_word, family::plain_word | family::bindable | family::all_word },
    { get_word, family::plain_word | family::bindable | family::all_word },
    { refinement, family::bindable | family::all_word },
    { issue, family::all_word },
    { native, family::function },
    { action, family::function },
    { op, family::function },
    { function, family::function | family::context_function },
    { path, family::series | family::path },
    { lit_path, family::series | family::path },
    { set_path, family::series | family::path },
    { get_path, family::series | family::path },
    { routine, family::function | family::context_function },
    { bitset, 0 },
    { triple, 0 },
    { object, family::object },
    { typeset, 0 },
    { error, family::object },
    { vector, family::series },
    { hash, family::series | family::list },
    { pair, family::scalar },
    { percent, family::number | family::scalar },
    { tuple, family::scalar },
    { map, 0 },
    { binary, family::series },
    { series, 0 }, // a parent only
    { time, family::scalar },
    { tag, family::series | family::text },
    { email, family::series | family::text },
    { handle, 0 },
    { date, family::scalar },
    { port, family::object },
    { money, family::scalar },
    { ref, family::series | family::text },
    { point2d, family::scalar },
    { point3d, family::scalar },
    { image, family::series },
    { event, 0 },
};

static_assert(std::size(family_rows) == last, "one family row per datatype id");

// Indexed by any type id, so that a byte read from a header never reads past the table.
inline constexpr std::array<Families, 256> family_table = [] {
    std::array<Families, 256> table {};
    TypeId expected = 1;
    for (FamilyRow const& row : family_rows) {
        if (row.id != expected++) throw "the family rows leave the id order"; // stops the compilation
        table[row.id] = row.families;
    }
    return table;
}();

constexpr bool in_family(TypeId type, Families families)
{
    return (family_table[type] & families) != 0;
}

constexpr bool is_series(TypeId type)
{
    return in_family(type, family::series);
}
constexpr bool is_text(TypeId type)
{
    return in_family(type, family::text);
}
constexpr bool is_list(TypeId type)
{
    return in_family(type, family::list);
}
constexpr bool is_path(TypeId type)
{
    return in_family(type, family::path);
}
// The series of cells: lists and paths (any-block!).
constexpr bool is_any_block(TypeId type)
{
    return in_family(type, family::list | family::path);
}
constexpr bool is_plain_word(TypeId type)
{
    return in_family(type, family::plain_word);
}
constexpr bool is_bindable(TypeId type)
{
    return in_family(type, family::bindable);
}
constexpr bool is_all_word(TypeId type)
{
    return in_family(type, family::all_word);
}
constexpr bool is_number(TypeId type)
{
    return in_family(type, family::number);
}
constexpr bool is_scalar(TypeId type)
{
    return in_family(type, family::scalar);
}
constexpr bool is_function(TypeId type)
{
    return in_family(type, family::function);
}
constexpr bool is_context_function(TypeId type)
{
    return in_family(type, family::context_function);
}
constexpr bool is_object(TypeId type)
{
    return in_family(type, family::object);
}

}
