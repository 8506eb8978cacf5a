// The key-driven line editor: one edit of a line on a terminal, with the prompt, the history, completion on
// Tab and hidden echo. Raw mode lasts for the edit only.
#pragma once

#include <cstdint>

namespace xol::console::terminal_editor {

enum class Echo { Shown, Hidden };

// Edits the line editor's line (line_editor::state.line, which must be an empty string!) after its prompt,
// with its history, and leaves the line there. The terminal is restored on every way out, an error raised by
// completion included. May allocate.
void edit(Echo echo);

// Forgets the completed line a Tab with several candidates left for the next edit.
void reset();

}
