// The line editor on a terminal: keys, history, completion and the redraw of the prompt and the line.
//
// The screen is drawn with moves relative to the cell the prompt starts in, which the editor tracks itself,
// so that a scrolled terminal or a multiplexer needs no cursor report. Typing at the end writes only the new
// character, and cursor keys only move the cursor; other edits erase from the prompt and write it again.

#include "console/terminal_editor.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <optional>
#include <string>

#include "console/keys.h"
#include "console/line_editor.h"
#include "console/line_layout.h"
#include "datatypes/block.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "runtime/output.h"
#include "runtime/platform/environment.h"
#include "runtime/platform/terminal.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xol::console::terminal_editor {

namespace {

using line_layout::Layout;
using line_layout::Place;

// The line a Tab with several candidates completed: the next edit starts from it.
struct SavedLine {
    std::u32string text;
    std::size_t cursor = 0;
};
SavedLine saved;

// Tests make the n-th allocation of the editor's output buffer fail, as a refused allocation would, by
// starting the console with XOL_EDITOR_FAIL_ALLOCATION=n. 0: none fails.
std::uint64_t allocations_until_failure = 0;

void count_allocation()
{
    if (allocations_until_failure > 0 && --allocations_until_failure == 0) throw std::bad_alloc();
}

// The bytes one edit writes: made when the edit starts, reused by every redraw, doubled when a redraw needs
// more, freed when the edit ends. A refused allocation throws std::bad_alloc: the run ends with the
// out-of-memory runtime error, once the terminal's modes are back.
class OutputBuffer {
public:
    explicit OutputBuffer(std::size_t size) { grow(size); }

    // Emptied, with room for `needed` bytes.
    std::string& cleared(std::size_t needed)
    {
        m_bytes.clear();
        if (needed > m_bytes.capacity()) grow(std::max(needed, 2 * m_bytes.capacity()));
        return m_bytes;
    }

private:
    void grow(std::size_t size)
    {
        count_allocation();
        m_bytes.reserve(size);
    }

    std::string m_bytes;
};

std::u32string text_of(Cell const& value)
{
    std::u32string text;
    if (!string::is_text_type(cell::type_of(value))) return text;
    std::uint32_t const length = string::length(value);
    for (std::uint32_t i = 0; i < length; ++i) text += static_cast<char32_t>(string::char_at(value, i));
    return text;
}

// The whole text of a string from its head, and its index.
std::u32string whole_text_of(Cell const& value, std::size_t& index)
{
    Cell head = value;
    index = series::index_of(value);
    series::set_index(head, 0);
    std::u32string text = text_of(head);
    index = std::min(index, text.size());
    return text;
}

std::string utf8_of(std::u32string_view text)
{
    std::string bytes;
    char encoded[4];
    for (char32_t code_point : text)
        bytes.append(encoded, static_cast<std::size_t>(unicode::utf8_encode(code_point, encoded)));
    return bytes;
}

void write_terminal(std::string const& bytes)
{
    conout::write_now(bytes.data(), bytes.size());
}

// Raw mode for the span of one edit; the terminal's modes come back however the edit ends.
class RawMode {
public:
    RawMode()
    {
        platform::watch_window_size(true);
        platform::enter_raw_mode();
    }
    ~RawMode()
    {
        platform::restore_terminal();
        platform::watch_window_size(false);
    }
    RawMode(RawMode const&) = delete;
    RawMode& operator=(RawMode const&) = delete;
};

class Session {
public:
    Session(std::u32string prompt, bool hidden)
        : m_prompt(std::move(prompt))
        , m_hidden(hidden)
    {
        read_window();
        conout::flush();
        std::optional<std::string_view> const tail = conout::line_tail();
        m_start_column = tail ? line_layout::column_after(*tail, m_columns) : 0;
    }

    // An edit given up half-way (memory refused, an error in completion) leaves the cursor after the text,
    // so that what is printed next does not overwrite it. Nothing here may allocate.
    ~Session()
    {
        if (m_finished || m_shown.bytes.empty()) return; // nothing drawn: the cursor stands where it was
        char bytes[48];
        std::size_t used = 0;
        auto append_move = [&](std::int32_t count, char final) {
            bytes[used++] = '\x1B';
            bytes[used++] = '[';
            used = static_cast<std::size_t>(std::to_chars(bytes + used, bytes + 40, count).ptr - bytes);
            bytes[used++] = final;
        };
        Place const target = m_shown.written;
        if (target.row < m_physical.row) append_move(m_physical.row - target.row, 'A');
        if (target.row > m_physical.row) append_move(target.row - m_physical.row, 'B');
        bytes[used++] = '\r';
        if (target.column > 0) append_move(target.column, 'C');
        conout::write_now(bytes, used);
    }

    Session(Session const&) = delete;
    Session& operator=(Session const&) = delete;

    std::u32string text;
    std::size_t cursor = 0;

    // The edit's output buffer, made once raw mode is on.
    void open_output() { m_output.emplace(initial_output_size); }

    enum class Redraw { Whole, Cursor, Appended, CursorAndErase };

    void refresh(Redraw redraw)
    {
        if (redraw == Redraw::Appended) {
            append_last();
            return;
        }
        Layout layout = line_layout::lay_out(m_prompt, text, cursor, m_start_column, m_columns, m_hidden);
        // Line feeds may open rows down to the end; only a whole redraw writes the text.
        std::size_t const opened = static_cast<std::size_t>(std::max(layout.end.row - m_opened, 0));
        std::string& out = output((redraw == Redraw::Whole ? layout.bytes.size() : 0) + opened);
        if (redraw == Redraw::Whole) {
            move(out, { 0, m_start_column });
            out += "\x1B[J";
            out += layout.bytes;
            m_physical = layout.written;
        }
        m_opened = std::max(m_opened, m_physical.row);
        move(out, layout.cursor);
        if (redraw == Redraw::CursorAndErase) out += "\x1B[J";
        m_shown = std::move(layout);
        write_terminal(out);
    }

    // The window changed: the terminal has re-wrapped the rows, so the cursor is found again by the new
    // width before everything is drawn anew.
    void resize()
    {
        read_window();
        m_start_column = std::min(m_start_column, m_columns - 1);
        Layout const layout = line_layout::lay_out(m_prompt, text, cursor, m_start_column, m_columns, m_hidden);
        m_physical = layout.cursor;
        m_opened = m_physical.row;
        refresh(Redraw::Whole);
    }

    // The cursor goes below the text shown, where the output after the edit starts.
    void finish()
    {
        m_finished = true;
        std::string out;
        move(out, { m_shown.written.row, 0 });
        out += "\n";
        write_terminal(out);
    }

private:
    static constexpr std::size_t initial_output_size = 256;
    // Room for the cursor moves besides the text: a few escape sequences.
    static constexpr std::size_t moves_size = 64;

    std::string& output(std::size_t text_size)
    {
        if (!m_output) open_output();
        return m_output->cleared(text_size + moves_size);
    }

    // A character typed at the end: the layout grows by that character alone, and only it is written, where
    // the terminal's cursor stands already.
    void append_last()
    {
        char32_t const added = text.back();
        line_layout::append(m_shown, added, m_columns, m_hidden);
        std::string& out = output(static_cast<std::size_t>(std::max(m_shown.end.row - m_opened, 0)));
        out += utf8_of(std::u32string(1, m_hidden ? U'*' : added));
        m_physical = m_shown.written;
        m_opened = std::max(m_opened, m_physical.row);
        move(out, m_shown.cursor);
        write_terminal(out);
    }

    void read_window()
    {
        line_editor::read_window_size();
        m_columns = std::max(line_editor::state.columns, 2);
    }

    // Relative moves from the tracked cell. A row below those the text has reached may not exist on the
    // screen yet: line feeds open it (a move down stops at the bottom, a line feed scrolls).
    void move(std::string& out, Place target)
    {
        if (target.row > m_opened) {
            if (m_physical.row < m_opened) out += "\x1B[" + std::to_string(m_opened - m_physical.row) + "B";
            out += std::string(static_cast<std::size_t>(target.row - m_opened), '\n');
            m_physical = { target.row, 0 };
            m_opened = target.row;
        } else if (target.row < m_physical.row) {
            out += "\x1B[" + std::to_string(m_physical.row - target.row) + "A";
        } else if (target.row > m_physical.row) {
            out += "\x1B[" + std::to_string(target.row - m_physical.row) + "B";
        }
        out += "\r";
        if (target.column > 0) out += "\x1B[" + std::to_string(target.column) + "C";
        m_physical = target;
    }

    std::u32string m_prompt;
    bool m_hidden;
    std::int32_t m_columns = 80;
    std::int32_t m_start_column = 0;
    Place m_physical { 0, 0 }; // where the terminal's cursor stands, from the prompt's first row
    std::int32_t m_opened = 0; // the lowest row reached since the edit began
    Layout m_shown {};
    std::optional<OutputBuffer> m_output;
    bool m_finished = false;
};

// The global xol-complete-input's value, when it is a function of any kind.
std::optional<Cell> completion_function()
{
    Rooted word(word::make_global("xol-complete-input"));
    Cell const* value = word::get_value_slow(*word);
    if (!value) return std::nullopt;
    switch (cell::type_of(*value)) {
    case type_ids::function:
    case type_ids::native:
    case type_ids::action:
    case type_ids::routine:
    case type_ids::op:
        return *value;
    default:
        return std::nullopt;
    }
}

// Calls xol-complete-input with the line (its index at the cursor) and true. The answer is a block of the
// completed line (its index marking the new cursor) alone, or of that line and the candidates; empty when
// there is nothing to do; none when there is no completion function. May allocate, may raise.
Cell ask_completion(std::u32string const& text, std::size_t cursor)
{
    if (!completion_function()) return none_value;
    Rooted line(string::from_utf8(utf8_of(text)));
    series::set_index(*line, static_cast<std::uint32_t>(cursor));
    Rooted code(none_value);
    block::make_at(*code, 3);
    Rooted word(word::make_global("xol-complete-input"));
    block::rs_append(*code, *word);
    block::rs_append(*code, *line);
    block::rs_append(*code, logic::make(true));
    interp::eval_block(*code, false);
    Cell const result = *(stack::state.top - 1);
    stack::pop(1);
    return result;
}

// Offers completion; answers how many elements it gave (0: the Tab is a character after all).
std::uint32_t complete(Session& session)
{
    Rooted result(ask_completion(session.text, session.cursor));
    if (!block::is_any_block(cell::type_of(*result))) return 0;
    std::uint32_t const count = block::rs_length_q(*result);
    if (count == 0) return 0;
    std::size_t index = 0;
    std::u32string const first = whole_text_of(block::rs_head(*result)[0], index);
    if (count == 1) {
        session.text = first;
        session.cursor = index;
    } else {
        saved = { first, index };
        session.text.clear();
        for (std::uint32_t i = 1; i < count; ++i) {
            std::size_t ignored = 0;
            session.text += whole_text_of(block::rs_head(*result)[i], ignored);
            session.text += U' ';
        }
        session.cursor = session.text.size();
    }
    session.refresh(Session::Redraw::Whole);
    return count;
}

// History entry k, counted from the newest: its text, or nothing for an entry that is no text.
std::u32string history_entry(std::uint32_t k)
{
    Cell const& history = line_editor::state.history;
    if (!block::is_any_block(cell::type_of(history)) || k >= block::rs_length_q(history)) return {};
    return text_of(block::rs_head(history)[k]);
}

std::uint32_t history_length()
{
    Cell const& history = line_editor::state.history;
    return block::is_any_block(cell::type_of(history)) ? block::rs_length_q(history) : 0;
}

// The line itself, not a copy, goes to the head of the history: not when hidden or empty, nor when it
// equals the newest entry. May allocate.
void add_to_history(bool hidden)
{
    Cell const line = line_editor::state.line;
    if (hidden || string::length(line) == 0) return;
    Rooted history(line_editor::state.history);
    if (!block::is_any_block(cell::type_of(*history))) return;
    if (block::rs_length_q(*history) > 0) {
        Cell const newest = block::rs_head(*history)[0];
        if (string::is_text_type(cell::type_of(newest)) && string::equal_q(newest, line, CompareOp::Equal, false) == 0)
            return;
    }
    block::insert_value(*history, line, false, true);
}

}

void reset()
{
    saved = {};
    allocations_until_failure = 0;
    if (std::optional<std::string> const count = platform::get_env("XOL_EDITOR_FAIL_ALLOCATION"))
        std::from_chars(count->data(), count->data() + count->size(), allocations_until_failure);
}

void edit(Echo echo)
{
    bool const hidden = echo == Echo::Hidden;
    Session session(text_of(line_editor::state.prompt), hidden);
    RawMode const raw;
    session.open_output();
    std::int32_t history_position = -1;
    std::uint32_t const history_count = history_length();
    if (!saved.text.empty()) {
        session.text = saved.text;
        session.cursor = std::min(saved.cursor, saved.text.size());
    }
    session.refresh(Session::Redraw::Whole);

    using Redraw = Session::Redraw;
    std::u32string& text = session.text;
    std::size_t& cursor = session.cursor;
    bool add = false;
    for (bool editing = true; editing;) {
        std::int32_t const key = keys::read_key();
        switch (key) {
        case keys::ended:
            // A terminal that hung up or fails for good: the line is given up, and the input is at its end.
            text.clear();
            editing = false;
            break;
        case keys::resized:
            session.resize();
            break;
        case keys::tab: {
            std::uint32_t const offered = complete(session);
            if (offered > 1) {
                text.clear();
                editing = false;
            }
            if (offered > 0) break;
            text.insert(cursor++, 1, U'\t');
            session.refresh(Redraw::Whole);
            break;
        }
        case keys::enter:
            add = true;
            saved = {};
            editing = false;
            break;
        case keys::backspace:
            if (cursor == 0) break;
            text.erase(--cursor, 1);
            session.refresh(cursor == text.size() ? Redraw::CursorAndErase : Redraw::Whole);
            break;
        case keys::left:
        case 2: // Ctrl-B
            if (cursor > 0) --cursor;
            session.refresh(Redraw::Cursor);
            break;
        case keys::right:
        case 6: // Ctrl-F
            if (cursor < text.size()) ++cursor;
            session.refresh(Redraw::Cursor);
            break;
        case keys::up:
        case 16: // Ctrl-P
            // Up steps before it fetches, Down fetches before it steps: the first Down after a run of Ups
            // shows the same entry again.
            if (history_position >= static_cast<std::int32_t>(history_count) - 1) {
                text.clear();
            } else {
                text = history_entry(static_cast<std::uint32_t>(++history_position));
            }
            cursor = text.size();
            session.refresh(Redraw::Whole);
            break;
        case keys::down:
        case 14: // Ctrl-N
            if (history_position < 0) {
                text.clear();
            } else {
                text = history_entry(static_cast<std::uint32_t>(history_position--));
            }
            cursor = text.size();
            session.refresh(Redraw::Whole);
            break;
        case keys::home:
        case 1: // Ctrl-A
            cursor = 0;
            session.refresh(Redraw::Cursor);
            break;
        case keys::end:
        case 5: // Ctrl-E
            cursor = text.size();
            session.refresh(Redraw::Cursor);
            break;
        case keys::delete_:
            if (cursor == text.size()) break;
            text.erase(cursor, 1);
            session.refresh(Redraw::Whole);
            break;
        case 11: // Ctrl-K
            if (cursor == text.size()) break;
            text.erase(cursor);
            session.refresh(Redraw::Whole);
            break;
        case 4: // Ctrl-D
            if (text.empty()) {
                text = U"q";
                editing = false;
            } else if (cursor < text.size()) {
                text.erase(cursor, 1);
                session.refresh(Redraw::Whole);
            }
            break;
        case 3: // Ctrl-C
            text = U"q";
            editing = false;
            break;
        case keys::escape:
            saved = {};
            text += U'\x1B';
            editing = false;
            break;
        default:
            if (key < 32) break; // the other control keys, Insert and the page keys do nothing
            if (cursor == text.size()) {
                text += static_cast<char32_t>(key);
                ++cursor;
                session.refresh(Redraw::Appended);
            } else {
                text.insert(cursor++, 1, static_cast<char32_t>(key));
                session.refresh(Redraw::Whole);
            }
            break;
        }
    }
    session.finish();
    {
        Rooted line(line_editor::state.line);
        string::append_utf8(*line, utf8_of(text));
    }
    if (add) add_to_history(hidden);
}

}
