// The walks of the frame stack that name the active calls: the trace an error keeps and prints, and the
// list of `collect-calls`. A frame is named by its word; frames of the internal names <body> and <anon>
// never are. At depth 1 a trace lists only calls of function! values; deeper traces list every call. The
// walks start at the newest trace floor, the do of the user's code: the console's frames under it are not
// the user's calls.
#pragma once

#include <cstdint>

#include "runtime/stack.h"

namespace xol::stack {

// The value of the frame's word: looked up in the frame's word context, or in the global context when
// the frame has none or that context keeps its values on the value stack; nullptr when the word is not
// there. Valid until the next call that may allocate.
Cell const* frame_word_value(CallFrame const& frame);

// Appends to `block` a word for each listed frame from the bottom up to (not including) frame position
// `end`. May allocate.
void trace_words(std::int32_t level, Cell const& block, std::uint32_t end);
// Forms each listed frame's word followed by a space into the string; answers the limit left. May allocate.
std::int32_t trace_text(std::int32_t level, std::uint32_t end, Cell& string, std::int32_t limit);
// Appends, innermost call first, the word of each frame that is not internal (the bottom frame never)
// as its function context knows it, then its arguments base as an integer!. May allocate.
void collect_calls(Cell const& block);

}
