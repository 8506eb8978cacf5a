// The measure of the prompt and the line in terminal cells.

#include "console/line_layout.h"

#include <algorithm>

#include "runtime/unicode.h"

namespace xol::console::line_layout {

namespace {

void append_utf8(std::string& bytes, char32_t code_point)
{
    char encoded[4];
    int const count = unicode::utf8_encode(static_cast<std::uint32_t>(code_point), encoded);
    bytes.append(encoded, static_cast<std::size_t>(count));
}

// A cell count from the start of the prompt's row, walked character by character.
class Walk {
public:
    // `cells`: those before the first character, from the start of the prompt's row.
    Walk(std::int32_t cells, std::int32_t columns)
        : m_cells(cells)
        , m_columns(columns)
    {
    }

    // The cells of the next character and the bytes that show it. A wide character that cannot fit on the
    // row moves to the next one first.
    void put(char32_t code_point, std::string& bytes, bool hidden)
    {
        if (code_point == '\t') {
            for (int i = 0; i < 4; ++i) put(' ', bytes, false);
            return;
        }
        if (code_point == '\n') {
            bytes += "\n";
            m_cells = (m_cells / m_columns + 1) * m_columns;
            return;
        }
        if (code_point == '\r') {
            bytes += "\r";
            m_cells -= m_cells % m_columns;
            return;
        }
        int const width = hidden ? 1 : charwidth::columns(static_cast<std::uint32_t>(code_point));
        prepare(width);
        if (hidden)
            bytes += '*';
        else
            append_utf8(bytes, code_point);
        m_cells += width;
    }

    // Moves past the empty last cell a wide character leaves behind it, as the terminal does.
    void prepare(int width)
    {
        if (width == 2 && m_columns > 1 && m_cells % m_columns == m_columns - 1) ++m_cells;
    }

    std::int32_t cells() const { return m_cells; }
    Place place() const { return { m_cells / m_columns, m_cells % m_columns }; }

private:
    std::int32_t m_cells;
    std::int32_t m_columns;
};

// Copies an escape sequence, which takes no cell: ESC "[" or "(" with parameters up to the final character;
// ESC "]" (a title) up to BEL or ESC "\"; ESC and one other character. Answers the index after it.
std::size_t copy_sequence(std::u32string_view text, std::size_t index, std::string& bytes)
{
    std::size_t const start = index++;
    if (index < text.size() && (text[index] == '[' || text[index] == '(')) {
        ++index;
        while (index < text.size() && ((text[index] >= '0' && text[index] <= '9') || text[index] == ';')) ++index;
        if (index < text.size()) ++index;
    } else if (index < text.size() && text[index] == ']') {
        while (index < text.size() && text[index] != 0x07 && !(text[index] == 0x1B && index + 1 < text.size())) ++index;
        index = std::min(index + (index < text.size() && text[index] == 0x1B ? 2 : 1), text.size());
    } else if (index < text.size()) {
        ++index;
    }
    for (std::size_t i = start; i < index; ++i) append_utf8(bytes, text[i]);
    return index;
}

void set_written(Layout& layout, std::int32_t columns)
{
    layout.written = layout.end;
    if (layout.end.column == 0 && layout.end.row > 0 && !layout.bytes.empty() && layout.bytes.back() != '\n')
        layout.written = { layout.end.row - 1, columns - 1 };
}

}

std::int32_t column_after(std::string_view tail, std::int32_t columns)
{
    std::u32string text;
    auto const* position = reinterpret_cast<std::uint8_t const*>(tail.data());
    auto const* const end = position + tail.size();
    while (position < end) {
        std::int32_t code_point = 0;
        position = unicode::utf8_decode(position, end, code_point);
        text += code_point < 0 ? U'\uFFFD' : static_cast<char32_t>(code_point);
    }
    return lay_out(text, {}, 0, 0, columns, false).end.column;
}

Layout lay_out(std::u32string_view prompt, std::u32string_view line, std::size_t cursor, std::int32_t start_column,
    std::int32_t columns, bool hidden)
{
    columns = std::max(columns, 1);
    Layout layout {};
    Walk walk(std::clamp(start_column, 0, columns - 1), columns);
    for (std::size_t i = 0; i < prompt.size();) {
        if (prompt[i] == 0x1B) {
            i = copy_sequence(prompt, i, layout.bytes);
            continue;
        }
        walk.put(prompt[i++], layout.bytes, false);
    }
    cursor = std::min(cursor, line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i == cursor) {
            walk.prepare(hidden ? 1 : charwidth::columns(static_cast<std::uint32_t>(line[i])));
            layout.cursor = walk.place();
        }
        walk.put(line[i], layout.bytes, hidden);
    }
    layout.end = walk.place();
    if (cursor == line.size()) layout.cursor = layout.end;
    set_written(layout, columns);
    return layout;
}

void append(Layout& layout, char32_t code_point, std::int32_t columns, bool hidden)
{
    columns = std::max(columns, 1);
    Walk walk(layout.end.row * columns + layout.end.column, columns);
    walk.put(code_point, layout.bytes, hidden);
    layout.end = walk.place();
    layout.cursor = layout.end;
    set_written(layout, columns);
}

}
