// The parse engine: matches an input series (text, binary! or any block) against a block of grammar rules,
// with alternatives and backtracking, repetition, searching, extraction and editing of the input. One loop
// over an explicit state: nested rules live in the engine's own stacks, never on the machine stack, so the
// depth of a grammar is bounded by data (a deep or self-recursive rule ends with script parse-stack).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol::parse {

// A run's end index when /part gave none. Any index is a real end, 0 included.
inline constexpr std::uint32_t no_limit = 0xFFFF'FFFF;

// Whether a series of the type can be parsed: text, binary! and the block and path families.
bool is_input_type(TypeId type);

// Makes the stacks and the keyword table and registers the stacks' marking. Start-up calls it once, after
// the runtime words exist. May allocate.
void init_stacks();

// Runs `rules` over `input` from its index. `mode` is CompareOp::Equal (case-blind) or StrictEqual; `limit`
// an absolute index of the input past which nothing is matched, or no_limit; `callback` a function! that
// hears the run's events, or none!. Answers a logic! (whether the rules matched and consumed the input up to
// its end or limit), or the block an outermost collect made. Errors and control transfers out of the
// rules' parens and the callback pass on; the stacks are left as the run found them however it ends.
// May allocate.
Cell run(Cell const& input, Cell const& rules, CompareOp mode, std::uint32_t limit, Cell const& callback);

// True when no run holds anything on the stacks: between runs, always.
bool stacks_empty();

// At most `steps` more steps of the engine's loop, over every run, before internal limit-hit; 0 for no
// bound. `while` and `insert` may legally run for ever: a fuzzer bounds them so.
void set_step_budget(std::uint64_t steps);

}
