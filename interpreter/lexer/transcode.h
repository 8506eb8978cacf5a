// transcode: the language's door to the lexer. It turns UTF-8 source (a binary!) or text (a string!) into
// values, all of them or one at a time, or only reports the type of the next value. The native wraps
// this function: its refinements are the options below.
#pragma once

#include "runtime/cell.h"

namespace xol::lexer {

struct TranscodeOptions {
    bool next = false; // the first value and the rest of the source, in a block of two
    bool one = false; // the first value alone
    bool prescan = false; // only the type of the next value, from the structure of the text
    bool scan = false; // only the type of the next value, its syntax checked
    Cell const* part = nullptr; // an integer! length, or a position in the source (binary! or string!)
    Cell const* into = nullptr; // a block! the values are appended to, which becomes the result
    Cell const* trace = nullptr; // a function! or routine! that hears the lexer's events
};

// The values of `source` (binary! or string!) from its index. A /part position of another kind raises
// script not-same-type. May allocate, may raise.
Cell transcode(Cell const& source, TranscodeOptions const&);

}
