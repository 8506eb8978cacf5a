// The parse engine's matching routines: one literal at the input's position, a search for a literal (to and
// thru), a whole repetition of a literal, and the datatype test of binary input. Text and binary! input are
// read as raw 1-, 2- or 4-byte units in single loops, case folded inline (a charset tests each unit's code
// point as it is, never folded); block input cell by cell through the compare action.
//
// None of these allocates on the series heap (the datatype scan of binary input excepted, which copies the
// bytes out first), so they may read buffers through raw addresses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datatypes/bitset.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/operations.h"
#include "runtime/series_buffer.h"

namespace xol::parse {

// How the engine reads an input series.
enum class InputKind : std::uint8_t {
    Text, // code points: string!, file!, url!, tag!, email!, ref!
    Binary, // bytes, never case folded
    Cells, // values: the block and path families
    Other, // vector!, image!: not parsed
};

InputKind kind_of(TypeId type);

// Builds the folding table of the 1-byte units. Start-up calls it once the case tables exist.
void init_matching();

// The folded form of every 1-byte unit: one load instead of a case-table walk in the hottest loops.
extern std::array<std::uint32_t, 256> latin_fold;
// Whether no other 1-byte unit folds to the same as this one.
extern std::array<bool, 256> fold_alone;
std::uint32_t fold_beyond_latin(std::uint32_t code_point);

// The case-blind form of a code point: the same for both sides of every comparison.
inline std::uint32_t fold(std::uint32_t code_point)
{
    return code_point < latin_fold.size() ? latin_fold[code_point] : fold_beyond_latin(code_point);
}

// The unit of a text or binary! buffer at `place`, which the caller has checked lies before the tail.
inline std::uint32_t unit_of(SeriesBuffer* buffer, std::uint32_t place)
{
    std::byte const* head = buffer->head_address();
    switch (buffer->unit()) {
    case 1:
        return std::to_integer<std::uint32_t>(head[place]);
    case 2:
        return reinterpret_cast<std::uint16_t const*>(head)[place];
    default:
        return reinterpret_cast<std::uint32_t const*>(head)[place];
    }
}

// Whether the rule is one matched against a single unit of the input, the commonest literals: a char!
// (over binary input one that is a byte) or a bitset!. unit_matches answers those without a pattern.
inline bool is_unit_rule(Cell const& rule, InputKind kind)
{
    TypeId const type = cell::type_of(rule);
    return type == type_ids::bitset || (type == type_ids::char_ && (kind == InputKind::Text || rule.word2 <= 0xFF));
}

// A char! folds with text input unless the comparison is exact; a charset tests the code point as it is.
inline bool folds_chars(InputKind kind, CompareOp mode)
{
    return kind == InputKind::Text && mode != CompareOp::StrictEqual;
}
inline bool unit_matches(Cell const& rule, InputKind kind, CompareOp mode, std::uint32_t unit)
{
    if (cell::type_of(rule) == type_ids::char_) {
        if (folds_chars(kind, mode)) return fold(unit) == fold(rule.word2);
        return unit == rule.word2;
    }
    if (unit >= bitset::byte_length(rule) * std::uint64_t { 8 }) return bitset::complemented_q(rule);
    auto const byte = std::to_integer<std::uint32_t>(node::buffer(rule.word2)->head_address()[unit >> 3]);
    return (byte & (0x80u >> (unit & 7))) != 0;
}

// Whether an input cell equals a rule value: a lit-word! or lit-path! rule compares as a word or path of
// the input (case-blind, or exactly under StrictEqual), any other value with `mode`.
bool compare_values(Cell const& input_cell, Cell const& rule, CompareOp mode);

// Whether `rule` is a literal that covers no units of text or binary input: an empty text other than tag!,
// or an empty binary!.
bool is_empty_literal(Cell const& rule);

// The units the literal covers at the input's index when it matches there, without reaching past `end`
// (an absolute index at or below the tail); -1 when it does not match or the input is at `end`.
std::int64_t match_literal(Cell const& input, InputKind, Cell const& rule, CompareOp mode, std::uint32_t end);

// The first place from the input's index, before `end`, where the literal matches, and the units it
// covers there. A rule value that cannot be searched for answers `unsupported`.
struct Found {
    bool found;
    bool unsupported;
    std::uint32_t start; // absolute index of the match
    std::uint32_t length;
};
Found search_literal(Cell const& input, InputKind, Cell const& rule, CompareOp mode, std::uint32_t end);

// Every match of the literal from the input's index before `end`, in order, each searched for from where
// the one before it ended: what to rule followed by rule, over and over, would find. A match covering
// nothing ends the list.
std::vector<Found> search_all(Cell const& input, InputKind, Cell const& rule, CompareOp mode, std::uint32_t end);

// Consecutive matches of the literal from the input's index, at most `maximum` of them (-1: no bound),
// none reaching past `end`: how many, and the units they cover. An empty literal counts none.
struct Repeated {
    std::uint32_t count;
    std::uint32_t length;
};
Repeated repeat_literal(
    Cell const& input, InputKind, Cell const& rule, CompareOp mode, std::uint32_t end, std::int32_t maximum);

// binary! input: the bytes from the index to `end` scanned as source text, one value, without loading it.
// When its datatype is the datatype! rule's (or is in the typeset! rule), the bytes the value took; else 0.
// May allocate (the bytes are copied out for the lexer).
std::uint32_t scan_binary_type(Cell const& input, std::uint32_t end, Cell const& rule);

}
