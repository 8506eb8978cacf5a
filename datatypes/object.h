// object!: a named set of fields, a context with a word list and a value table, a class id telling which
// objects share a layout, and an optional record of change handlers (datatypes/object_events.h). error!
// and port! use the same cell and reuse the copier, the serializer and the path step.
//
// Cell: header type 32 (34 error!, 48 port!); word 1 the node of the object's context (kind object, with
// self; its owner cell holds a copy of the object, so that code holding only the context finds it); word 2
// the class id; word 3 the node of the event record, or 0 when the object has neither on-change* nor
// on-deep-change*.
//
// Class ids: objects of one class have the same words in the same order, so compiled code reaches a field
// by its index once the class matches. Run-time ids count up from 1,000,001; start-up gives its own
// objects fixed ids below that range. A new object keeps its prototype's id only when it adds no word.
// Field marks: word-list entries carry 0x2000 once their field is set after the object was made.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::object {

inline constexpr TypeId type_id = type_ids::object;
inline constexpr std::uint32_t class_counter_start = 1'000'000;

inline NodeId context_of(Cell const& object)
{
    return object.word1;
}
inline std::uint32_t class_of(Cell const& object)
{
    return object.word2;
}
inline NodeId events_of(Cell const& object)
{
    return object.word3;
}

struct ObjectState {
    std::uint32_t class_counter = class_counter_start;
};
extern ObjectState state;

// Resets the class counter. Start-up calls it once, after the contexts and the ownership table exist.
void init();

// The next run-time class id.
std::uint32_t class_id();

// ---- Fields. Addresses are valid until the next call that may allocate.

// The slot of the word's name (case-blind), or -1.
std::int32_t find_word(Cell const& object, Cell const& word);
// The field's value, or none! when the object lacks it.
Cell select_word(Cell const& object, Cell const& word);
Cell self_word(Cell const& object); // the word at slot 0
Cell* get_values(Cell const& object); // the first value cell
std::uint32_t word_count(Cell const& object);
Cell* value_at(Cell const& object, std::uint32_t slot);
// True when the word's value is an object! of that class; the same for a slot of a context.
bool same_class_q(Cell const& word, std::uint32_t class_id);
bool same_class_at_q(NodeId context, std::uint32_t index, std::uint32_t class_id);
// Clears the changed mark of every word of the context.
void clear_changed(NodeId context);

// ---- Makers. Each may allocate.

// Pushes an object on a context built elsewhere (start-up); an empty value table is sized to the words.
Cell* make_from_context(NodeId context, std::uint32_t class_id);
// Pushes the object and makes it its context's owner.
Cell* push(NodeId context, std::uint32_t class_id, NodeId events);
// Fills `target` (which must not lie in a series buffer) with an empty object of that capacity, class 0.
void make_empty(Cell& target, std::uint32_t capacity);
// The maker of `construct`: set-words take the value after their run of set-words, never evaluated;
// unless `only`, the words true, yes, on, false, no, off and none stand for their values. Events are not
// attached. Answers the object.
Cell make_from_proto(Cell const& spec, Cell const& prototype, bool only);
// The copier behind make from a prototype and copy: `target` (not in a series buffer) gets a new context
// with the source's words and values, class, type and (unless `rebuild_events`) event record; series are
// copied deep with `deep`, or the values of `types`; functions are re-made for the new object.
void copy_into(Cell const& source, Cell& target, bool deep, Refinement types, bool rebuild_events);
// A function found in a copied object, re-made with its body bound to the new object: it always runs
// interpreted. A function without body raises script bad-func-def.
Cell clone_function(Cell const& function, NodeId object_context);
// The `set` native on an object: the fields in order take the block's values, the same-named fields of
// an object, or the value itself; with `some` none! values are skipped; an unset! value is refused
// (script need-value naming the field) unless `any`. Fires on-change* for every field but the handlers'.
void set_fields(Cell const& object, Cell const& value, bool any, bool only, bool some);

// The field printer of form and mold (object!, error!, port!): answers the limit left.
std::int32_t serialize(Cell const& object, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, bool indent, std::int32_t level, bool mold);

// Actions.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell reflect(Cell const& value, SymbolId field);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
Cell eval_path(PathStep const& step);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);
Cell copy(Cell const& value, Refinement part, bool deep, Refinement types);
Cell put(Cell const& object, Cell const& key, Cell const& value, bool case_sensitive);
Cell select(Cell const& object, Cell const& value, FindOptions const& options);
Cell modify(Cell const& object, Cell const& field, Cell const& value, bool case_sensitive);

extern DatatypeRecord const record; // no parent

}
