// Tests of the line editor's measure: the cells of the cursor and of the end, the terminal's own cursor
// after the write, and the bytes written.

#include "console/line_layout.h"

#include <string>

#include <gtest/gtest.h>

namespace xol::console::line_layout {
namespace {

TEST(LineLayout, Places)
{
    struct Case {
        char const* name;
        std::u32string prompt;
        std::u32string line;
        std::size_t cursor;
        std::int32_t start;
        std::int32_t columns;
        Place cursor_place;
        Place end;
        Place written;
    };
    Case const cases[] = {
        { "short line", U">> ", U"abc", 3, 0, 80, { 0, 6 }, { 0, 6 }, { 0, 6 } },
        { "cursor inside", U">> ", U"abc", 1, 0, 80, { 0, 4 }, { 0, 6 }, { 0, 6 } },
        { "prompt after earlier text", U">> ", U"ab", 2, 5, 80, { 0, 10 }, { 0, 10 }, { 0, 10 } },
        { "wrapped", U">> ", U"abcdefgh", 8, 0, 5, { 2, 1 }, { 2, 1 }, { 2, 1 } },
        { "home of a wrapped line", U">> ", U"abcdefgh", 0, 0, 5, { 0, 3 }, { 2, 1 }, { 2, 1 } },
        // Text that fills its last row exactly: the terminal keeps its cursor on the last cell.
        { "end on a row boundary", U">> ", U"ab", 2, 0, 5, { 1, 0 }, { 1, 0 }, { 0, 4 } },
        // A wide character that would start in the last cell opens the next row.
        { "wide at the last column", U">> ", U"a\u4E2D", 2, 0, 5, { 1, 2 }, { 1, 2 }, { 1, 2 } },
        { "cursor on a moved wide character", U">> ", U"a\u4E2D", 1, 0, 5, { 1, 0 }, { 1, 2 }, { 1, 2 } },
        { "wide in the middle", U">> ", U"\u4E2Dx", 2, 0, 80, { 0, 6 }, { 0, 6 }, { 0, 6 } },
        { "combining mark takes no cell", U"", U"e\u0301x", 3, 0, 80, { 0, 2 }, { 0, 2 }, { 0, 2 } },
        { "tab shows as four spaces", U"", U"\tx", 2, 0, 80, { 0, 5 }, { 0, 5 }, { 0, 5 } },
        { "escape sequence in the prompt", U"\x1B[1;31m>\x1B[0m ", U"a", 1, 0, 80, { 0, 3 }, { 0, 3 }, { 0, 3 } },
        { "line feed in the prompt", U"one\n> ", U"a", 1, 0, 80, { 1, 3 }, { 1, 3 }, { 1, 3 } },
    };
    for (Case const& c : cases) {
        Layout const layout = lay_out(c.prompt, c.line, c.cursor, c.start, c.columns, false);
        EXPECT_EQ(layout.cursor, c.cursor_place) << c.name;
        EXPECT_EQ(layout.end, c.end) << c.name;
        EXPECT_EQ(layout.written, c.written) << c.name;
    }
}

TEST(LineLayout, Bytes)
{
    EXPECT_EQ(lay_out(U"> ", U"a\u00E9", 0, 0, 80, false).bytes, "> a\xC3\xA9");
    EXPECT_EQ(lay_out(U"> ", U"a\u4E2D", 0, 0, 80, true).bytes, "> **"); // hidden: one star a character
    EXPECT_EQ(lay_out(U"", U"\tx", 0, 0, 80, false).bytes, "    x");
}

// Typing at the end extends the layout character by character; it must agree with laying out the whole line.
TEST(LineLayout, AppendingAgreesWithWholeLayout)
{
    struct Case {
        char const* name;
        std::u32string prompt;
        std::u32string line;
        std::int32_t start;
        std::int32_t columns;
        bool hidden;
    };
    Case const cases[] = {
        { "plain, wrapping", U">> ", U"abcdefghijklmnop", 0, 5, false },
        { "after earlier text", U">> ", U"abcdefgh", 3, 6, false },
        { "wide characters meeting the last column", U">> ", U"a\u4E2D\u4E2Db\u4E2D\u4E2D\u4E2Dc", 0, 5, false },
        { "combining marks", U"", U"e\u0301xe\u0301\u0301y", 0, 3, false },
        { "hidden", U"Secret: ", U"ab\u4E2Dcdefg", 0, 10, true },
        { "prompt with an escape sequence", U"\x1B[1m>\x1B[0m ", U"abcdefghij", 0, 4, false },
    };
    for (Case const& c : cases) {
        Layout layout = lay_out(c.prompt, U"", 0, c.start, c.columns, c.hidden);
        for (std::size_t i = 0; i < c.line.size(); ++i) {
            append(layout, c.line[i], c.columns, c.hidden);
            std::u32string const typed = c.line.substr(0, i + 1);
            Layout const whole = lay_out(c.prompt, typed, typed.size(), c.start, c.columns, c.hidden);
            EXPECT_EQ(layout.cursor, whole.cursor) << c.name << " after " << i + 1;
            EXPECT_EQ(layout.end, whole.end) << c.name << " after " << i + 1;
            EXPECT_EQ(layout.written, whole.written) << c.name << " after " << i + 1;
            EXPECT_EQ(layout.bytes, whole.bytes) << c.name << " after " << i + 1;
        }
    }
}

TEST(LineLayout, ColumnAfterEarlierOutput)
{
    EXPECT_EQ(column_after("", 80), 0);
    EXPECT_EQ(column_after("abc", 80), 3);
    EXPECT_EQ(column_after("abc\rx", 80), 1);
    EXPECT_EQ(column_after(std::string(85, 'x'), 80), 5);
    EXPECT_EQ(column_after("\x1B[1mab\x1B[0m", 80), 2);
    EXPECT_EQ(column_after("\xE4\xB8\xAD", 80), 2);
    EXPECT_EQ(column_after("\x1B]0;Xol Console\x07", 80), 0); // a window title
    EXPECT_EQ(column_after("\x1B]0;title\x1B\\ab", 80), 2);
}

}
}
