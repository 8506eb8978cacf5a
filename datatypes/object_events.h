// Object change events: the on-change* handler hears of every assignment to a field of its object, the
// on-deep-change* handler of every in-place change of a series its object owns.
//
// Event record: two cells reached through word 3 of the object (0 when the object has neither handler),
// plain storage under the pair! type byte: cell 0 describes on-change*, cell 1 on-deep-change*; word 2 of
// each holds the handler's slot in the high 16 bits (0xFFFF, read as -1, when the object has no such
// field) and the number of its local slots in the low 16 bits; word 3 the node of the handler's spec when
// the count was taken (0 when start-up made the record).
//
// The collector does not follow word 3 (the cells are plain storage): after a collection the recorded
// node may name another series. So the local count is taken afresh from the handler's spec at every call
// and written back with its spec; nothing relies on the recorded node.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::object {

using SymbolId = std::uint32_t;

inline constexpr std::int32_t no_handler = -1;

// The handlers' slots (the last of duplicates) and local counts; 0 when the object has neither. A handler
// that is no function! or routine! raises script bad-field-set with its word and its datatype. May allocate.
NodeId build_events(NodeId context);
// Stores the record built from the object's fields in `object` (not in a series buffer), makes the object
// the owner of its series when it has on-deep-change*, and makes it its context's owner. May allocate.
void attach_events(Cell& object);
// The start-up form with the slots (-1 for none) and counts given; the object is the top of the value
// stack. May allocate.
NodeId make_events(NodeId context, std::int32_t on_change_index, std::int32_t on_change_count,
    std::int32_t on_deep_change_index, std::int32_t on_deep_change_count);
// A new record. May allocate.
NodeId event_record(NodeId on_change_spec, NodeId on_deep_change_spec, std::int32_t on_change_index,
    std::int32_t on_change_count, std::int32_t on_deep_change_index, std::int32_t on_deep_change_count);
bool has_on_deep_change_q(Cell const& object);

// Calls on-change* with the word (bound to the object), the old and the new value. The object must have a
// record; a handler slot holding no function! raises script invalid-obj-evt. May allocate, may raise.
void fire_on_change(Cell const& object, Cell const& word, Cell const& old_value, Cell const& new_value);
// Compiled code pushes the new value, then the old one.
void fire_on_change_top(Cell const& object, Cell const& word);
void fire_on_change_word(Cell const& object_word, Cell const& field);
// Calls on-deep-change* with the owner, the word, the changed series, the action word, the new value (none!
// when there is none), the index and the part. An owner without a record raises script invalid-obj-evt; a
// handler replaced by no function! is skipped. May allocate, may raise.
void fire_on_deep_change(Cell const& owner, Cell const& word, Cell const& target, Cell const& action, Cell const* value,
    std::int32_t index, std::int32_t part);
// The same with the action given by its symbol, as the ownership table tells an owner of a change (its entry
// of the services record). The arguments may lie in series buffers. May allocate, may raise.
void tell_owner(Cell const& owner, Cell const& word, Cell const& series, SymbolId action, Cell const* new_value,
    std::int32_t index, std::int32_t part);

}
