// Routines behind the library's text utilities: split, replace/all over text and rejoin. split and
// replace do in one pass what their parse rules do, with the parse engine's own search: the same places.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "interpreter/natives/natives.h"
#include "interpreter/parse/engine.h"
#include "interpreter/parse/matching.h"
#include "interpreter/routines_entries.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

Cell at_index(Cell value, std::uint32_t index)
{
    value.word1 = index;
    return value;
}

// Every place where the delimiter matches from the text's index, as parse's to would find them in turn.
// Nothing here allocates on the series heap.
std::vector<parse::Found> matches(Cell const& text, Cell const& delimiter, CompareOp mode)
{
    std::uint32_t const tail = series::buffer_of(text)->length();
    return parse::search_all(text, parse::InputKind::Text, delimiter, mode, tail);
}

// The text with the formed value in place of each match, when both have the same unit: the result's size is
// known, so it is made once and filled with raw copies. none! when the units differ or the size is too large
// (the caller then splices, which widens or raises). May allocate.
Cell joined_in_place(Cell const& text_value, Cell const& formed_value, std::vector<parse::Found> const& found)
{
    Rooted text(text_value);
    Rooted formed(formed_value);
    SeriesBuffer* source = series::buffer_of(*text);
    std::uint32_t const unit = source->unit();
    if (series::buffer_of(*formed)->unit() != unit) return none_value;
    std::uint64_t const tail = source->length();
    std::uint64_t const start = std::min<std::uint64_t>(series::index_of(*text), tail);
    std::uint64_t const piece = series::buffer_of(*formed)->length();
    std::uint64_t units = tail - start;
    for (parse::Found const& match : found) units = units - match.length + piece;
    if ((units << 2) > memory::max_capacity) return none_value;
    Rooted out(none_value);
    string::make_at_unit(*out, static_cast<std::uint32_t>(std::max<std::uint64_t>(units, 1)), unit);
    // Nothing below allocates: the addresses stay valid.
    std::uint32_t const shift = source->unit_shift();
    source = series::buffer_of(*text);
    std::byte const* read = source->head_address();
    std::byte const* value = series::buffer_of(*formed)->head_address();
    SeriesBuffer* target = series::buffer_of(*out);
    std::byte* write = target->head_address();
    std::uint64_t place = start;
    for (parse::Found const& match : found) {
        std::size_t const stretch = static_cast<std::size_t>(match.start - place) << shift;
        std::memcpy(write, read + (place << shift), stretch);
        write += stretch;
        std::memcpy(write, value, static_cast<std::size_t>(piece << shift));
        write += piece << shift;
        place = match.start + match.length;
    }
    std::memcpy(write, read + (place << shift), static_cast<std::size_t>((tail - place) << shift));
    target->tail = target->head + static_cast<std::uint32_t>(units << shift);
    return *out;
}

}

// The pieces of the text between the delimiter's matches, case-blind, each of the text's type; the last is
// what follows the last match. What collect [any [keep copy piece to dlm dlm] keep copy piece to end] gives.
void split_text()
{
    Rooted text(*natives::argument(0));
    Rooted delimiter(*natives::argument(1));
    std::vector<parse::Found> const found = matches(*text, *delimiter, CompareOp::Equal);
    Rooted pieces(none_value);
    block::make_at(*pieces, static_cast<std::int32_t>(std::min<std::size_t>(found.size() + 1, 0x7FFF'FFFF)));
    std::uint32_t place = std::min(series::index_of(*text), series::buffer_of(*text)->length());
    for (parse::Found const& match : found) {
        Rooted piece(parse::copy_part(at_index(*text, place), match.start - place));
        block::rs_append(*pieces, *piece);
        place = match.start + match.length;
    }
    Rooted last(parse::copy_part(at_index(*text, place), series::buffer_of(*text)->length() - place));
    block::rs_append(*pieces, *last);
    stack::set_last(*pieces);
}

// The text with every match of the pattern replaced by the value, formed as insert forms it, in a new
// string; none when the pattern does not occur. Case-blind unless the fourth argument is true.
void replace_text()
{
    Rooted text(*natives::argument(0));
    Rooted pattern(*natives::argument(1));
    Rooted value(*natives::argument(2));
    CompareOp const mode = logic::true_q(*natives::argument(3)) ? CompareOp::StrictEqual : CompareOp::Equal;
    std::vector<parse::Found> const found = matches(*text, *pattern, mode);
    if (found.empty()) {
        stack::set_last(none_value);
        return;
    }
    // The value is formed once: the text it may hold does not change before the end.
    Rooted formed(string::make(16));
    string::insert(*formed, *value, -1, true, 1, true);
    std::uint32_t const tail = series::buffer_of(*text)->length();
    std::uint32_t place = std::min(series::index_of(*text), tail);
    if (Cell const joined = joined_in_place(*text, *formed, found); cell::type_of(joined) != type_ids::none) {
        stack::set_last(joined);
        return;
    }
    Rooted out(string::make(tail));
    for (parse::Found const& match : found) {
        string::splice(*out, at_index(*text, place), static_cast<std::int32_t>(match.start - place), 0, true,
            string::SpliceMode::Append);
        string::splice(*out, *formed, -1, 0, true, string::SpliceMode::Append);
        place = match.start + match.length;
    }
    string::splice(*out, at_index(*text, place), -1, 0, true, string::SpliceMode::Append);
    stack::set_last(*out);
}

// rejoin's commonest case, a reduced block whose first value is a string!: a copy of it with the rest
// appended (for a string!, copy and form give the same). The block itself when empty; none for any other
// first value, which rejoin's own code then joins.
void join_text()
{
    Rooted block(*natives::argument(0));
    std::uint32_t const index = series::index_of(*block);
    if (index >= series::buffer_of(*block)->cell_count()) {
        stack::set_last(*block);
        return;
    }
    Rooted first(series::buffer_of(*block)->head_cell()[index]);
    if (cell::type_of(*first) != type_ids::string) {
        stack::set_last(none_value);
        return;
    }
    // Strings, integers and chars, the usual parts, are added directly; any other value through its form,
    // as insert forms a block's values. The block's cells may move while the text grows: each is read afresh.
    std::uint32_t const count = series::buffer_of(*block)->cell_count();
    std::uint64_t units = 0;
    for (std::uint32_t i = index; i < count; ++i) {
        Cell const& item = series::buffer_of(*block)->head_cell()[i];
        TypeId const type = cell::type_of(item);
        units += type == type_ids::string ? series::buffer_of(item)->length() : type == type_ids::char_ ? 1 : 11;
    }
    Rooted text(string::make(static_cast<std::uint32_t>(std::min<std::uint64_t>(units, 1u << 20))));
    string::splice(*text, *first, -1, 0, true, string::SpliceMode::Append);
    Rooted item(none_value);
    for (std::uint32_t i = index + 1; i < count && i < series::buffer_of(*block)->cell_count(); ++i) {
        *item = series::buffer_of(*block)->head_cell()[i];
        TypeId const type = cell::type_of(*item);
        if (type == type_ids::string) {
            string::splice(*text, *item, -1, 0, true, string::SpliceMode::Append);
        } else if (type == type_ids::integer) {
            std::string_view const digits = integer::form_signed(integer::get(*item));
            string::concatenate_literal_part(*text, digits.data(), static_cast<std::uint32_t>(digits.size()));
        } else if (type == type_ids::char_) {
            string::append_char(*text, item->word2);
        } else {
            actions::form_typed(*item, *text, nullptr, std::numeric_limits<std::int32_t>::max());
        }
    }
    stack::set_last(*text);
}

}
