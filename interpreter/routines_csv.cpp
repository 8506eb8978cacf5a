// csv-rows: the rows of CSV text as load-csv's rules read them, for a delimiter and a quote character that
// are one ASCII character each, neither a letter nor a line end, and not the same: the case-insensitive
// matching of those rules then leaves every character as it is, so a plain scan gives what they give.

#include <cstdint>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_entries.h"
#include "runtime/roots.h"
#include "runtime/series_buffer.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

bool plain_mark(std::uint32_t code)
{
    bool const letter = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
    return code < 128 && !letter && code != '\n' && code != '\r';
}

// The one character of a char! or a one-character string!, or -1.
std::int32_t single_char(Cell const& value)
{
    if (cell::type_of(value) == type_ids::char_) return static_cast<std::int32_t>(char_::get(value));
    if (cell::type_of(value) == type_ids::string && string::length(value) == 1)
        return static_cast<std::int32_t>(string::char_at(value, 0));
    return -1;
}

template <typename Unit> class Splitter {
public:
    Splitter(std::vector<Unit> const& text, std::uint32_t unit, std::uint32_t delimiter, std::uint32_t quote)
        : m_text(text)
        , m_length(static_cast<std::uint32_t>(text.size()))
        , m_unit(unit)
        , m_delimiter(delimiter)
        , m_quote(quote)
    {
    }

    // Fills `answer` (a block of four cells): the header row or none, the rows, whether /header finds too
    // little data, whether a row's length differs from the first's (the rows then stop before it).
    void split(Cell const& answer, bool header)
    {
        Cell* rows = stack::push(unset_value);
        block::make_at(*rows, static_cast<std::int32_t>(m_length / 80));
        Cell* row = stack::push(unset_value);
        Cell* field = stack::push(unset_value);
        Cell* header_row = stack::push(none_value);
        bool too_small = false;
        bool misaligned = false;
        if (header) {
            block::make_at(*header_row, 8);
            values(*header_row, *field);
            if (!newline()) *header_row = none_value;
            too_small = cell::type_of(*header_row) == type_ids::none || m_position == m_length;
        }
        if (!too_small) {
            std::uint32_t lines = 0;
            while (m_position < m_length) {
                std::uint32_t const start = m_position;
                block::make_at(*row, 8);
                values(*row, *field);
                if (m_position < m_length && !newline()) {
                    m_position = start;
                    break;
                }
                ++lines;
                if (!add(*rows, *row)) {
                    misaligned = true;
                    break;
                }
            }
            if (lines == 0 && m_position < m_length) {
                block::make_at(*row, 8);
                values(*row, *field);
                misaligned = !add(*rows, *row);
            }
        }
        Cell* const cells = series::buffer_of(answer)->head_cell();
        cells[0] = *header_row;
        cells[1] = *rows;
        cells[2] = logic::make(too_small);
        cells[3] = logic::make(misaligned);
        stack::pop(4);
    }

private:
    bool newline()
    {
        if (m_position >= m_length) return false;
        if (m_text[m_position] == '\r') {
            ++m_position;
            if (m_position < m_length && m_text[m_position] == '\n') ++m_position;
            return true;
        }
        if (m_text[m_position] == '\n') {
            ++m_position;
            return true;
        }
        return false;
    }

    // The row joins the rows when it has as many fields as the first.
    bool add(Cell const& rows, Cell const& row)
    {
        std::uint32_t const count = block::rs_length_q(row);
        if (m_expected < 0) m_expected = static_cast<std::int32_t>(count);
        if (static_cast<std::int32_t>(count) != m_expected) return false;
        block::rs_append(rows, row);
        return true;
    }

    // Fields separated by the delimiter, up to a line end, the end or text that is no field.
    void values(Cell const& row, Cell& field)
    {
        while (true) {
            one_field(field);
            block::rs_append(row, field);
            if (m_position < m_length && m_text[m_position] == m_delimiter) {
                ++m_position;
                continue;
            }
            return;
        }
    }

    // A quoted field, doubled quotes made single, else the run of characters up to a delimiter or a line end
    // (a quote that never closes is such a character).
    void one_field(Cell& field)
    {
        std::uint32_t const start = m_position;
        if (start < m_length && m_text[start] == m_quote) {
            std::uint32_t i = start + 1;
            std::uint32_t doubled = 0;
            while (i < m_length) {
                if (m_text[i] != m_quote) {
                    ++i;
                } else if (i + 1 < m_length && m_text[i + 1] == m_quote) {
                    i += 2;
                    ++doubled;
                } else {
                    break;
                }
            }
            if (i < m_length) {
                make_field(field, start + 1, i, doubled);
                m_position = i + 1;
                return;
            }
        }
        std::uint32_t end = start;
        while (end < m_length) {
            std::uint32_t const c = m_text[end];
            if (c == m_delimiter || c == '\n' || c == '\r') break;
            ++end;
        }
        make_field(field, start, end, 0);
        m_position = end;
    }

    void make_field(Cell& field, std::uint32_t start, std::uint32_t end, std::uint32_t doubled)
    {
        std::uint32_t const count = end - start - doubled;
        string::make_at_unit(field, count, m_unit);
        SeriesBuffer* buffer = series::buffer_of(field);
        auto* out = reinterpret_cast<Unit*>(buffer->head_address());
        if (doubled == 0) {
            if (count > 0) std::memcpy(out, m_text.data() + start, count * sizeof(Unit));
        } else {
            for (std::uint32_t i = start; i < end; ++i) {
                *out++ = m_text[i];
                if (m_text[i] == m_quote) ++i;
            }
        }
        buffer->tail = buffer->head + count * static_cast<std::uint32_t>(sizeof(Unit));
    }

    std::vector<Unit> const& m_text;
    std::uint32_t m_length;
    std::uint32_t m_unit;
    std::uint32_t m_delimiter;
    std::uint32_t m_quote;
    std::uint32_t m_position = 0;
    std::int32_t m_expected = -1;
};

template <typename Unit>
void split(Cell const& data, Cell const& answer, std::uint32_t delimiter, std::uint32_t quote, bool header)
{
    std::uint32_t const count = string::length(data);
    std::vector<Unit> text(count);
    if (count > 0)
        std::memcpy(text.data(), series::buffer_of(data)->head_address() + string::clamped_index(data) * sizeof(Unit),
            count * sizeof(Unit));
    Splitter<Unit>(text, static_cast<std::uint32_t>(sizeof(Unit)), delimiter, quote).split(answer, header);
}

}

// The block of the header row (or none), the rows, whether /header finds too little data and whether the
// rows are not aligned; none when the delimiter or the quote character needs the rules themselves.
void csv_rows()
{
    Cell* const arguments = natives::argument(0);
    std::int32_t const delimiter = single_char(arguments[1]);
    std::int32_t const quote = static_cast<std::int32_t>(char_::get(arguments[2]));
    if (delimiter < 0 || !plain_mark(static_cast<std::uint32_t>(delimiter))
        || !plain_mark(static_cast<std::uint32_t>(quote)) || delimiter == quote) {
        stack::set_last(none_value);
        return;
    }
    Rooted data(arguments[0]);
    Rooted answer(unset_value);
    // Its four cells are written only at the end, and the splitting collects meanwhile: they start unset,
    // never as the buffer's old bytes, which the collector would follow.
    block::make_at_sized(*answer, 4, false);
    block::rs_set_tail_at(*answer, 4);
    bool const header = logic::true_q(arguments[3]);
    auto const d = static_cast<std::uint32_t>(delimiter);
    auto const q = static_cast<std::uint32_t>(quote);
    switch (string::unit_of(*data)) {
    case 1:
        split<std::uint8_t>(*data, *answer, d, q, header);
        break;
    case 2:
        split<std::uint16_t>(*data, *answer, d, q, header);
        break;
    default:
        split<std::uint32_t>(*data, *answer, d, q, header);
    }
    stack::set_last(*answer);
}

}
