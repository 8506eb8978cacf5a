// string!: text in a series buffer of fixed-width units (1, 2 or 4 bytes a code point), widened in place
// when a wider code point arrives and never narrowed again except by rs_reset. The same cell layout
// serves file!, url!, tag!, email! and ref!.
//
// Cell: word 1 the index in units (it may lie past the tail after the series shrank: readers clamp it),
// word 2 the node of the text buffer, word 3 the node of the conversion buffer for OS calls (0 when none).
// A compare operand of type `bounded_slice_type` carries in word 3 the count of units that take part.
//
// Offsets named "from the head" count units from the buffer's first unit; everything else reads from the
// value's index. Functions that may allocate say so; every other one leaves every buffer where it is. A
// collection can move nodes as well as buffers: after a call that may allocate, take a node id afresh
// from a rooted value rather than reusing one read before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/action_table.h"
#include "runtime/memory.h"
#include "runtime/text_encoding.h" // the codecs and widening of text buffers, in this namespace too
#include "runtime/type_families.h"

namespace xol::string {

inline constexpr TypeId type_id = type_ids::string;

// A compare operand of this type is a slice of a text: word 3 holds how many of its units take part.
inline constexpr TypeId bounded_slice_type = 56;

// The unit a code point needs when appended, inserted or changed in: 1 up to 127, 2 up to 0xFFFF, else 4.
inline std::uint32_t unit_for(std::uint32_t code_point)
{
    return code_point <= 0x7F ? 1 : code_point <= 0xFFFF ? 2 : 4;
}

// True for the types that share the text layout: string!, file!, url!, tag!, email!, ref!.
inline bool is_text_type(TypeId type)
{
    return type_ids::is_text(type);
}

// ---- Makers -------------------------------------------------------------------------------------------

// A new empty string! (unit 1) with room for `capacity_units` units (0 counts as 1). May allocate.
Cell make(std::uint32_t capacity_units);
// The same in a cell, which holds unset! while the buffer is allocated; the cell must stay put meanwhile
// (a value-stack cell, a root or a local, never one inside a series). May allocate.
void make_at(Cell& cell, std::uint32_t units);
// An empty string! of a given unit (0 units: 16 bytes' worth). May allocate.
void make_at_unit(Cell& cell, std::uint32_t units, std::uint32_t unit);
// Pushes a copy of the value (the same buffer) on the value stack and answers the pushed cell. May allocate.
Cell* push(Cell const& value);

// ---- Accessors ----------------------------------------------------------------------------------------

inline NodeId node_of(Cell const& value)
{
    return value.word2;
}
inline std::uint32_t unit_of(Cell const& value)
{
    return node::buffer(value.word2)->unit();
}

std::uint32_t rs_length_q(Cell const& value); // units from the index to the tail (0 past the tail)
inline std::uint32_t length(Cell const& value)
{
    return rs_length_q(value);
}
std::uint32_t rs_length_all(Cell const& value); // units from the head to the tail
// Moves the index by n when the result stays within head..tail; answers whether the value is at its tail.
bool rs_skip(Cell& value, std::int32_t n);
bool rs_next(Cell& value);
// The address of the unit at the index; an index past the tail is first set back to the tail, in the value.
std::byte* rs_head(Cell& value);
std::byte* rs_tail(Cell const& value);
bool rs_tail_q(Cell const& value);
// The index clamped to the tail, in units.
std::uint32_t clamped_index(Cell const& value);
std::uint32_t char_at(Cell const& value, std::uint32_t offset); // the code point at index + offset
std::uint32_t get_char(std::byte const* position, std::uint32_t unit);
void set_unit(std::byte* position, std::uint32_t unit, std::uint32_t code_point); // no widening
// Empties the buffer, sets its unit back to 1 and the value's index to 0.
void rs_reset(Cell& value);
// The offset from the index of the first unit equal to the code point, or -1.
std::int32_t find_char(Cell const& value, std::uint32_t code_point);

// ---- Editing one unit or a run ------------------------------------------------------------------------
// Appending keeps 1-byte units for 0-127 only; positional writes keep them for 0-255.

void append_char(NodeId buffer, std::uint32_t code_point); // May allocate.
inline void append_char(Cell const& string, std::uint32_t code_point)
{
    append_char(string.word2, code_point);
}
// Overwrites the unit at `offset` from the head, growing the buffer when the offset lies at or past the
// capacity; moves the tail just after it when the write lands at or past the tail. May allocate.
void write_char(NodeId buffer, std::uint32_t offset, std::uint32_t code_point);
// Inserts at `offset` from the head (at most the tail), moving the rest up one unit. May allocate.
void insert_char_at(NodeId buffer, std::uint32_t offset, std::uint32_t code_point);
// Overwrites the unit at `offset` from the head (inside the capacity); the tail does not move. May allocate.
void put_char(NodeId buffer, std::uint32_t offset, std::uint32_t code_point);
// Removes n units at `offset` from the head; nothing at or past the tail; n is clipped to the tail.
void remove_at(Cell const& value, std::uint32_t offset, std::uint32_t n);
void remove_unit(Cell const& value, std::uint32_t offset);
// Sets the tail at `offset` from the head when that lies before the tail.
void truncate_at(NodeId buffer, std::uint32_t offset);
// Widens a 1- or 2-byte buffer to 2 or 4 bytes a unit, in place. May allocate.
void widen_to(NodeId buffer, std::uint32_t unit);
// Moves `byte_count` bytes' worth of units at the source's index to the target's index (each code point
// inserted on its own), then removes them from the source. May allocate.
void move_units(Cell const& source, Cell const& target, std::uint32_t byte_count);
// Exchanges two adjacent runs of bytes at `offset` from the head: [length1 bytes][gap][length2 bytes]
// becomes [length2 bytes][gap][length1 bytes]. No allocation on the series heap.
void rotate_runs(NodeId buffer, std::uint32_t offset, std::uint32_t length1, std::uint32_t length2, std::uint32_t gap);

// ---- Splicing and literals ----------------------------------------------------------------------------

enum class SpliceMode : std::uint32_t { Append = 0, Insert = 1, Overwrite = 2 };

// Copies the source's units from its index (at most `part` of them; -1 all) into the target: appended at
// the tail, inserted or written over at the target's index + `offset`. The narrower buffer is widened to
// the wider unit, except a source when `keep_source`, which is then converted unit by unit. A source on
// the target's own buffer reads as it stood before the splice. May allocate.
void splice(
    Cell const& target, Cell const& source, std::int32_t part, std::uint32_t offset, bool keep_source, SpliceMode mode);
void concatenate(
    Cell const& target, Cell const& source, std::int32_t part, std::uint32_t offset, bool keep_source, SpliceMode mode);
// Appends every byte as one code point (a byte of 128 or more widens). May allocate.
void concatenate_literal(Cell const& string, std::string_view bytes);
void concatenate_literal_part(Cell const& string, char const* bytes, std::uint32_t n);
// Appends ASCII text and answers `limit` less what it appended: the form/mold budget convention. May allocate.
std::int32_t append_ascii(Cell const& string, std::string_view text, std::int32_t limit);
// Appends UTF-8 text, decoded; invalid bytes raise access invalid-utf8. The text must not lie in a series
// buffer. May allocate.
void append_utf8(Cell const& string, std::string_view utf8);
// When the value's node is on the cycle stack (a value already being molded or formed), appends its cycle
// marker (cycles::marker_text) to `output`, subtracts the marker's length from `remaining` and answers
// true; else answers false and does nothing. May allocate.
bool append_cycle_marker(Cell const& value, Cell const& output, std::int32_t& remaining, bool mold);
// True when the text at the index starts with these bytes (exact; a code point above 255 never matches).
bool with_c_string(Cell const& value, std::string_view bytes);

// ---- Comparing and matching ---------------------------------------------------------------------------

// -1, 0 or 1 (0 for equal; the equality codes answer 1 for unequal). In match mode, 0 when value 2 is a
// prefix of value 1 at its index.
std::int32_t equal_q(Cell const& value1, Cell const& value2, CompareOp op, bool match);
// 1 when the pattern matches at the input's index; `case_code` 2 is exact, anything else folds case.
std::int32_t match_arg(Cell const& input, Cell const& pattern, std::int32_t case_code);
bool tag_delimited_q(Cell const& input, Cell const& tag);
bool char_in_bitset_q(Cell const& value, Cell const& bitset);
// A unit equal to the code point occurs from the index, testing every step-th unit.
bool char_in_run_q(Cell const& value, std::uint32_t code_point, std::uint32_t step, bool case_sensitive);

// ---- Loading text -------------------------------------------------------------------------------------

enum class Encoding : std::int32_t { Utf8 = 0, Utf16le = -1 };

// A string! (index 0) from external text, in `cell` or, when it is null, in a new value-stack cell
// (answered). May allocate.
Cell* load_into(std::byte const* bytes, std::uint32_t length, Cell* cell, Encoding);
void load_at(std::byte const* bytes, std::uint32_t length, Cell const& block, Encoding); // appended to a block
Cell* load(std::byte const* bytes, std::uint32_t length, Encoding);
// A new string! of the UTF-8 bytes; invalid bytes, or a sequence cut by the end, raise access invalid-utf8
// with the bytes from there to the end as a binary!. May allocate.
Cell load_utf8_strict(std::byte const* bytes, std::uint32_t length);
Cell from_utf8(std::string_view utf8); // May allocate.

// The text from the index as UTF-8: for tests and the OS boundary.
std::string to_utf8(Cell const& string);

// ---- Numbers and hexadecimal --------------------------------------------------------------------------

// Two upper-case digits, high nibble first; valid until the next call.
char const* byte_to_hex(std::uint8_t byte);
// The digits of a 32-bit integer: eight of them padded with 0 (F when negative), or with `trim` only the
// digits (0 gives "00"). Valid until the next call.
char const* to_hex(std::int32_t value, bool trim);

// ---- Actions shared with the other text types ----------------------------------------------------------

// Writes one code point in the escaped literal form (controls as caret escapes, 128-159 and with `all`
// everything above 127 as ^(hex), DEL as ^~). May allocate.
void mold_char(Cell const& buffer, std::uint32_t code_point, bool all);

// The actions. Each may allocate.
// form: the text from the index; with /part at most `limit` units. mold: the quoted or braced literal.
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
// make: a number is a capacity; anything else goes to `to`. The answer has the target type.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell to(Cell const& prototype, Cell const& spec, TypeId type);
// 0 or 1 for the equality codes, the order for the others; texts of other types are comparable only for
// equal? and not-equal?.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp);
// An integer! picks or pokes; another key selects the code point after it, or pokes there.
Cell eval_path(PathStep const& step);

// find answers the position of the match (after it with /tail), select the code point after the match;
// none! when there is none.
Cell find(Cell const& series, Cell const& value, FindOptions const&);
Cell select(Cell const& series, Cell const& value, FindOptions const&);
// The commonest append, done at once: a text of the target's unit from another buffer (at most `part`
// units when `part` is not negative), or without a `part` an integer!'s digits or a char! of no wider
// unit, at the tail of a target with room for it and no owner to hear of it. Nothing allocates. Answers
// false, having done nothing, for any other; insert then does the work.
bool append_in_room(Cell const& target, Cell const& text, std::int32_t part);
// append and insert (one body): texts and chars go in as they are, other values formed, /part limiting the
// units added and /dup repeating them. append answers the head, insert the position after what it added.
Cell insert(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
// Replaces /part units, or as many as the value brings, and answers the position after the new content.
Cell change(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup);
Cell sort(Cell const& series, SortOptions const&);
Cell swap(Cell const& series1, Cell const& series2);
// The series take; one unit taken without /part comes back as a char!.
Cell take(Cell const& series, Refinement part, bool deep, bool last);
Cell trim(Cell const& series, TrimOptions const&);
// unique, union, intersect, exclude and difference: records of /skip units that qualify by their first
// code point; `second` is null for unique. The answer is a new text of the first argument's type.
Cell do_set_op(Cell const& first, Cell const* second, bool case_sensitive, Refinement skip, MathOp op);

// Allocates the scratch buffer of rotate_runs; called once before the datatypes register.
void init();

extern DatatypeRecord const record; // parent series!

// The actions of a text child of string! (tag!, email!, ref!): make, reflect, to, compare and every series
// action but sort taken from string!, with the printed forms and the path step the child gives (`inherit`
// to take string!'s). The rest stay empty: such a child has no random, arithmetic, sort, trim or port
// actions.
constexpr ActionTable text_child_actions(ActionSlot<action_types::Form> form, ActionSlot<action_types::Mold> mold,
    ActionSlot<action_types::EvalPath> eval_path)
{
    ActionTable actions;
    actions.make = inherit;
    actions.reflect = inherit;
    actions.to = inherit;
    actions.form = form;
    actions.mold = mold;
    actions.eval_path = eval_path;
    actions.compare = inherit;
    actions.append = inherit;
    actions.at = inherit;
    actions.back = inherit;
    actions.change = inherit;
    actions.clear = inherit;
    actions.copy = inherit;
    actions.find = inherit;
    actions.head = inherit;
    actions.head_q = inherit;
    actions.index_q = inherit;
    actions.insert = inherit;
    actions.length_q = inherit;
    actions.move = inherit;
    actions.next = inherit;
    actions.pick = inherit;
    actions.poke = inherit;
    actions.put = inherit;
    actions.remove = inherit;
    actions.reverse = inherit;
    actions.select = inherit;
    actions.skip = inherit;
    actions.swap = inherit;
    actions.tail = inherit;
    actions.tail_q = inherit;
    actions.take = inherit;
    actions.modify = inherit;
    return actions;
}

}
