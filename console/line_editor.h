// The console's line editor and standard input, as the library's routines reach them: _set-buffer-history,
// _read-input, _terminate-console, _input-ended?, _console-init, input-stdin and read-stdin.
//
// With a terminal on standard input and output the line editor reads keys; otherwise a line is read from
// standard input as UTF-8 text, without prompt or echo.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::console::line_editor {

struct LineEditorState {
    // Marked by the collector: the line being edited, the prompt of the edit, the history (newest first).
    Cell line;
    Cell prompt;
    Cell history;
    bool console_known = false; // whether is_console has been decided
    bool is_console = false; // standard input and output are terminals
    std::int32_t columns = 80;
    std::int32_t rows = 50;
};

extern LineEditorState state;

// Puts the routines' entries into the routines table and lets the collector see the editor's values.
// The console's launch calls it once, before any library code can ask for a line.
void install();

// Reads the window size into the state and into system/console/size (80x50 when piped). May allocate.
void read_window_size();

// Whether the line editor works on keys: standard input and standard output are terminals.
bool is_console();

}
