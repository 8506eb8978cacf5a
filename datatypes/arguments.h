// The checks and accessors compiled code calls at nearly every call site: argument type checks, unset
// checks, setting and reading words and context slots from the value stack, refinement set-up, the key
// look-up behind switch-like selections, and the make-argument error. Every failure is raised, never
// returned. Argument indexes are 0-based positions among the running function's argument words; cell
// offsets and indexes count from the current call's arguments base.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::arg {

// Answers `value` when its datatype's bit is set in the typeset; else raises script expect-arg with the
// caller's word, the value's datatype and the index-th argument word of the running function.
Cell const& check_type(Cell const& typeset, std::uint32_t argument, Cell const& value);
// check_type on the cell at base + offset. A negative offset is an unused refinement's position: nothing
// is checked.
void check_type_at(std::int32_t offset, Cell const& typeset, std::uint32_t argument);
// check_type only when the refinement's flag word is set; answers `value` either way.
Cell const& check_type_if_set(Cell const& refinement, Cell const& typeset, std::uint32_t argument, Cell const& value);
// Answers `value` unless it is unset!, which raises script expect-arg as check_type does, naming unset!.
Cell const& check_set(std::uint32_t argument, Cell const& value);
// Returns when the value is of the datatype; else raises script invalid-arg with the value. For runtime
// code that takes a value of one datatype from outside a spec's check (an image's parts, for one).
void require_type(Cell const& value, TypeId expected);
// A true refinement sets the flag word of the logic! cell at base + index; any other leaves it and makes
// the `count` cells after it none!.
void refinement_or_none(Cell const& refinement, std::uint32_t index, std::uint32_t count);

}

namespace xol::word {

// Sets the word to the last pushed cell and answers the word's value cell; an unset! value raises script
// need-value naming the word. Object words tell their owner's on-change* of the change. The word's cached
// slot is written into `word`, which must therefore not lie in a series buffer. May allocate.
Cell* set_from_top(Cell& word);
// set_from_top, then the value stack is cut back to the arguments base, which it answers. May allocate.
Cell* set_from_top_pop(Cell& word);
// The word's value cell; an unset! value raises script no-value naming the word.
Cell* get_checked(Cell const& word);

}

namespace xol::ctx {

// Copies the last pushed cell into value slot `index` and answers the slot; an unset! value raises
// script need-value naming the index-th word. A context without values raises script not-defined.
Cell* set_slot(NodeId context, std::uint32_t index);
// set_slot, then the value stack is cut back to the arguments base, which it answers.
Cell* set_slot_pop(NodeId context, std::uint32_t index);
// Copies the last pushed cell, unset! included, into slot `index` (an object's context first flags the
// slot's word-list entry as changed), then cuts the value stack back to the arguments base and answers it.
Cell* set_slot_owned(NodeId context, std::uint32_t index);
// The address of value slot `index`; a context without values raises script not-defined naming the
// index-th word. Valid until the next call that may allocate.
Cell* get_slot(NodeId context, std::uint32_t index);

}

namespace xol::block {

// The key is the arguments base cell, the block the cell after it. Scans the block from its index in
// steps of one cell (`one_step`) or two for a cell of the key's datatype that is equal to it; a block!
// key finds nothing. With `to_block` the answer is the next block! after the match, else the cell after
// the match (the match itself when it is the last cell); none! when nothing answers. With `one_step` the
// answer is pushed, else it becomes the result.
void select_key(bool one_step, bool to_block);

}

namespace xol::error {

// Raises script bad-make-arg: `make` cannot build a value of `type` from `spec`.
[[noreturn]] void fire_make_arg(Cell const& type, Cell const& spec);

}
