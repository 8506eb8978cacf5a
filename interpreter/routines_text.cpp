// Routines behind the library's text utilities: split and replace/all over text. Each does in one pass what
// its parse rule does, with the parse engine's own search, so the two match the same places.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "interpreter/natives/natives.h"
#include "interpreter/parse/engine.h"
#include "interpreter/parse/matching.h"
#include "interpreter/routines_entries.h"
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
    Rooted out(string::make(tail));
    std::uint32_t place = std::min(series::index_of(*text), tail);
    for (parse::Found const& match : found) {
        string::splice(*out, at_index(*text, place), static_cast<std::int32_t>(match.start - place), 0, true,
            string::SpliceMode::Append);
        string::splice(*out, *formed, -1, 0, true, string::SpliceMode::Append);
        place = match.start + match.length;
    }
    string::splice(*out, at_index(*text, place), -1, 0, true, string::SpliceMode::Append);
    stack::set_last(*out);
}

}
