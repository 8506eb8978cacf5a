// The parse engine's matching routines: one literal at the input's position, a search for a literal (to and
// thru), a whole repetition of a literal, and the datatype test of binary input. Text and binary! input are
// read as raw 1-, 2- or 4-byte units in single loops, case folded inline (a charset tests each unit's code
// point as it is, never folded); block input cell by cell through the compare action.
//
// None of these allocates on the series heap (the datatype scan of binary input excepted, which copies the
// bytes out first), so they may read buffers through raw addresses.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/operations.h"

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

// The case-blind form of a code point: the same for both sides of every comparison.
std::uint32_t fold(std::uint32_t code_point);

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
