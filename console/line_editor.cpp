// The line editor's routines and the piped path: lines from standard input, read-stdin, the console's
// terminal set-up.

#include "console/line_editor.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "console/standard_input.h"
#include "console/terminal_editor.h"
#include "datatypes/binary.h"
#include "datatypes/context.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines.h"
#include "runtime/collector.h"
#include "runtime/output.h"
#include "runtime/platform/terminal.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::console::line_editor {

LineEditorState state { none_value, none_value, none_value };

namespace {

// The size of a window that is no terminal.
constexpr std::int32_t piped_columns = 80;
constexpr std::int32_t piped_rows = 50;
// The most bytes one read-stdin hands over, whatever room the caller offers.
constexpr std::int64_t largest_read = 1 << 20;

void mark_editor()
{
    gc::mark_cell(state.line);
    gc::mark_cell(state.prompt);
    gc::mark_cell(state.history);
}

// The value cell of the object's field, or nullptr when the value is no object or lacks the field. Valid
// until the next call that may allocate.
Cell* field(Cell const& object, std::string_view name)
{
    if (cell::type_of(object) != type_ids::object) return nullptr;
    NodeId const context = object::context_of(object);
    std::int32_t const slot = context::find_word(context, symbol::make(name), true);
    return slot < 0 ? nullptr : context::values_at(context, static_cast<std::uint32_t>(slot));
}

// system/console, or nullptr while the console object does not exist. Valid until the next call that may
// allocate.
Cell* console_object()
{
    Cell const global { type_ids::object, context::global(), 0, no_node };
    Cell const* system = field(global, "system");
    if (!system) return nullptr;
    Cell const system_value = *system;
    Cell* console = field(system_value, "console");
    return console && cell::type_of(*console) == type_ids::object ? console : nullptr;
}

}

// The window size into the editor's state and into system/console/size: a terminal's own, else 80x50.
void read_window_size()
{
    state.columns = piped_columns;
    state.rows = piped_rows;
    if (is_console()) {
        if (std::optional<platform::WindowSize> const size = platform::window_size()) {
            state.columns = size->columns;
            state.rows = size->rows;
        }
    }
    // The words are made first, so that the lookups allocate nothing and the value cells stay where they are.
    for (std::string_view name : { "system", "console", "size" }) symbol::make(name);
    if (Cell* console = console_object()) {
        Cell const console_value = *console;
        if (Cell* size = field(console_value, "size")) *size = pair::make(state.columns, state.rows);
    }
}

namespace {

// The piped line into the edit buffer, at its tail. May allocate.
void read_piped_line(Cell const& line)
{
    std::string const text = standard_input::read_line();
    Rooted kept(line);
    string::append_utf8(*kept, text);
}

// ---- The routines -------------------------------------------------------------------------------------

// The edit buffer and the history of the next _read-input: both shared with the caller, never copied.
void set_buffer_history()
{
    state.line = *natives::argument(0);
    state.history = *natives::argument(1);
    stack::set_only_result(unset_value);
}

// One line into the buffer given to _set-buffer-history: edited on a terminal, else read from standard
// input. Output is flushed first, so that whatever was printed stands before the line is read.
void read_input()
{
    state.prompt = *natives::argument(0);
    bool const hidden = logic::get(*natives::argument(1));
    conout::flush();
    if (cell::type_of(state.line) == type_ids::string) {
        if (is_console())
            terminal_editor::edit(hidden ? terminal_editor::Echo::Hidden : terminal_editor::Echo::Shown);
        else
            read_piped_line(state.line);
    }
    state.prompt = none_value;
    stack::set_only_result(unset_value);
}

void terminate_console()
{
    stack::set_only_result(unset_value);
}

// Whether standard input is exhausted: its end was reached (a closed pipe, the end of a file) or a read
// failed for good (a hang-up). A loop reading lines ends on it; a further line read answers "".
void input_ended_q()
{
    stack::set_only_result(logic::make(standard_input::ended()));
}

// A new string holding the next line of standard input, read as piped input is.
void input_stdin()
{
    conout::flush();
    Rooted line(string::make(256));
    read_piped_line(*line);
    stack::set_only_result(*line);
}

// Up to `buflen` bytes of standard input inserted at the binary's index: bytes already read ahead for a
// line come first, so nothing after a line is lost.
void read_stdin()
{
    Rooted buffer(*natives::argument(0));
    std::int64_t const wanted = integer::get(*natives::argument(1));
    conout::flush();
    if (wanted > 0) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(wanted, largest_read)));
        std::size_t const count = standard_input::read_bytes(bytes.data(), bytes.size());
        if (count > 0) binary::insert_bytes(*buffer, 0, { bytes.data(), count });
    }
    stack::set_only_result(unset_value);
}

// The console's start: the window title (on a terminal only), whether the editor works on keys, and the
// window size in system/console/size.
void console_init()
{
    state.console_known = false;
    if (platform::stdout_is_terminal()) {
        std::string const title = "\x1B]0;" + string::to_utf8(*natives::argument(0)) + "\x07";
        print::cstr(title);
        conout::flush();
    }
    read_window_size();
    terminal_editor::reset();
    stack::set_only_result(unset_value);
}

}

bool is_console()
{
    if (!state.console_known) {
        state.is_console = platform::stdin_is_terminal() && platform::stdout_is_terminal();
        state.console_known = true;
    }
    return state.is_console;
}

void install()
{
    gc::remove_callback(mark_editor);
    gc::add_callback(mark_editor);
    routines::install("_set-buffer-history", set_buffer_history);
    routines::install("_read-input", read_input);
    routines::install("_terminate-console", terminate_console);
    routines::install("_input-ended?", input_ended_q);
    routines::install("_console-init", console_init);
    routines::install("input-stdin", input_stdin);
    routines::install("read-stdin", read_stdin);
}

}
