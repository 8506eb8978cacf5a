// Where the prompt and the line of an edit fall on the screen: the bytes to write and the cells of the
// cursor and of the end, counted from the cell the prompt starts in. Nothing here writes.
//
// Cells are counted as the terminal fills them: a row holds `columns` cells; a character of width 2 that
// would start in the last cell opens the next row and leaves that cell empty; combining characters take no
// cell; a tab shows as four spaces; an escape sequence in the prompt takes none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xol::console::line_layout {

// A cell: the row below the prompt's first row, and the column.
struct Place {
    std::int32_t row;
    std::int32_t column;
    bool operator==(Place const&) const = default;
};

struct Layout {
    std::string bytes; // the prompt, then the line (as "*" when hidden), in UTF-8
    Place cursor; // the cell of the character at the cursor (after the line when the cursor is at its end)
    Place end; // the cell after the last character
    // The terminal's own cursor after writing `bytes`: at the end, except when the text fills its last row
    // exactly, where it stays on the row's last cell until more text comes.
    Place written;
};

// The column where text written after `tail` (the bytes since the last line feed) starts.
std::int32_t column_after(std::string_view tail, std::int32_t columns);

// Lays out the prompt from `start_column`, then the line with the cursor before `line[cursor]`.
Layout lay_out(std::u32string_view prompt, std::u32string_view line, std::size_t cursor, std::int32_t start_column,
    std::int32_t columns, bool hidden);

// The layout after one more character at the end of the line, the cursor after it: what lay_out of the
// longer line gives, in the time of one character.
void append(Layout& layout, char32_t code_point, std::int32_t columns, bool hidden);

}
