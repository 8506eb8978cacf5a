// The action entry points: the 62 polymorphic operations, each dispatching on its first argument's
// datatype to the slot that datatype registered. An entry reads its arguments from the current call frame
// (the cells from the arguments base, in spec order) and writes its result into the base cell.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::actions {

// An action's entry: per refinement of its spec, in order, -1 when unused or the position (from the
// arguments base) of the cell where its arguments begin (where they would begin, for one without any).
using Entry = void (*)(std::int32_t const* refinements);

inline constexpr std::int32_t count = action_count;

struct ActionsState {
    Entry entries[count + 1] {}; // by index; 0 and set-path empty
    Entry word_entries[count + 1] {}; // the same, less those no word reaches: what an action! value calls
    Cell values = cell::make(type_ids::none); // block!: the built-in action! values, index i in cell i - 1; rooted
};

extern ActionsState state;

// The entry of action `index` (1..count), from the rows of actions_table.h; nullptr for set-path and for
// an index outside 1..count. Two entries have no word and serve compiled code: eval-path reads the value in
// cell 0 and the selector in cell 1 and, when its one refinement position is not -1, sets cell 2 as the
// new value; compare compares cells 0 and 1 under the CompareOp code held by the integer! in cell 2 and
// stores a logic!.
inline Entry entry(std::int32_t index)
{
    return index < 1 || index > count ? nullptr : state.entries[index];
}

// The entry an action! value of `index` reaches when it is called: nullptr also for eval-path and compare,
// whose machine arguments no call from a script can give.
inline Entry word_entry(std::int32_t index)
{
    return index < 1 || index > count ? nullptr : state.word_entries[index];
}

// Stores the built-in action! value of `index`, as start-up makes it from its spec. May allocate.
void add_builtin(std::int32_t index, Cell const& action);
// The built-in action! value of `index`; unset! when none was added.
Cell builtin(std::int32_t index);

// Fills the action table and roots the block of built-in values. Start-up calls it once, after the
// datatypes are registered. May allocate.
void register_actions();

// One step of a path through the current value's type: raises script bad-path-type (path known) or
// bad-path-type2 when the type has no path action. May allocate.
Cell eval_path_typed(PathStep const& step);

// ---- Typed dispatchers ------------------------------------------------------------------------------------
// What natives, datatype modules and compiled code call with explicit arguments: the slot of the first
// value's type. An empty slot raises script expect-arg naming the calling word, the datatype and the word
// of the caller's first argument. May allocate.

// make and to: a datatype! prototype names the type whose slot runs, any other value its own type.
Cell make_typed(Cell const& prototype, Cell const& spec);
Cell to_typed(Cell const& prototype, Cell const& spec);
// append (`append` true) and insert, with the /part limit already a count (-1 for all) and the /dup
// count (1 without).
Cell insert_typed(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
// The index pick and poke hand their slots: an integer! itself, a char! its code point, logic! true 1 and
// false 2, any other value 0.
std::int32_t pick_index(Cell const& index);
Cell pick_typed(Cell const& series, Cell const& index);
Cell poke_typed(Cell const& series, Cell const& index, Cell const& value);
Cell find_typed(Cell const& series, Cell const& value, FindOptions const&);
Cell select_typed(Cell const& series, Cell const& value, FindOptions const&);
// The length from the value's position; -1 when the type has none to give.
std::int32_t length_q_typed(Cell const& value);

}
