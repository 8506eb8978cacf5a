// Keys of the line editor, decoded from the terminal's bytes: characters as their code points, the editing
// keys as negative codes, and the ends of reading.
#pragma once

#include <cstdint>

namespace xol::console::keys {

// Control keys keep their byte (Ctrl-A is 1, Tab 9, Enter 13, Escape 27); characters are their code points.
enum Key : std::int32_t {
    nothing = 0, // a sequence the editor has no use for, consumed whole
    ended = -1, // the input ended or failed for good
    up = -20,
    down = -21,
    right = -22,
    left = -23,
    end = -24,
    home = -25,
    insert = -26,
    delete_ = -27,
    page_up = -28,
    page_down = -29,
    resized = -30, // the window changed size while the editor waited
    tab = 9,
    enter = 13,
    escape = 27,
    backspace = 127,
};

// Waits for the next key. The bytes come through standard input's shared buffer, so bytes of a paste that
// follow an Enter stay for the next read. A lone Escape is told from the start of a sequence by the pause
// after it.
std::int32_t read_key();

}
