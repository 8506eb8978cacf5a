// The step routines of the loop natives, shared with compiled loops so that a compiled loop behaves exactly
// like an evaluated one, and the positional word setter behind set.
//
// The routines work on the cells at and below the current arguments base, which is the base of the running
// loop frame; the loop natives push their work cells just below it:
//   base - 1  a copy of the word or block-of-words argument (forall: the loop word);
//   base - 2  the cursor, a copy of the series argument whose index the steps advance (forall: the saved
//             series the word goes back to);
//   base - 3  remove-each only: an integer! word count, n for a block of n words, 0 for a single word.
// The loop frame's base cell is the loop's result cell.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::natives {

// One step with a single word: when the cursor is not at its tail, sets the word to the value at the
// cursor (the cell of a block, else the pick action's value at position 1) and advances the cursor by one.
// Answers whether a value was taken. May allocate.
bool foreach_next();

// One step with a block of `count` words: when the cursor is not at its tail and count > 0, sets the
// words from the values at the cursor and advances it by `count`, even past its tail. Answers whether
// the words were set. May allocate.
bool foreach_next_block(std::int32_t count);

// Sets words 1..count of `words` (from its index) by position from `source`: a block-like source (the
// block and path families, map!) gives its i-th value from its index, none! past its tail; any other
// source, or any source with `only`, is the value of every word. Words must be word!, set-word!, get-word!
// or lit-word! (script invalid-arg); unless `any`, an unset! value raises script need-value before any
// word is set; with `some` a none! value leaves its word alone. May allocate.
void set_many(Cell const& words, Cell const& source, std::int32_t count, bool any, bool only, bool some);

// Sets words 1..count to the i-th element of a text, binary! or vector! series from its index, none! past
// its tail. May allocate.
void foreach_set_picked(Cell const& words, Cell const& source, std::int32_t count);

// Whether the series' index lies before its tail.
bool series_more_q(Cell const& series);

// After a remove-each body: when the body's value (the loop's result cell) is true, removes the `count`
// items just visited, the cursor staying where they were. May allocate.
void remove_each_step(std::int32_t count);

// With `step`, advances the forall word's series by one (script bad-loop-series when the word no longer
// refers to the loop's series); answers whether the word's series is at its tail.
bool forall_tail_q(bool step);

// Sets the forall word back to the saved series. May allocate.
void forall_end();

// Converts a float! count in the arguments base cell to integer!.
void loop_count();

// A float! cell becomes the integer! of its value truncated toward zero; NaN or a value without an integer!
// raises script out-of-range. Other types are left as they are.
void count_to_integer(Cell& cell);

// Adds 1 to the integer! value of the repeat word in place; a word of an object is then set again to that
// value, so that the object hears of the change. May allocate.
void repeat_next(Cell& word);

}
