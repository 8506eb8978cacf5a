// The console output layer and its hook lists.

#include "runtime/output.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/platform/signals.h"
#include "runtime/platform/terminal.h"
#include "runtime/services.h"
#include "runtime/unicode.h"

namespace xol {

namespace conout {

namespace {

constexpr std::size_t buffer_size = 16 * 1024;
constexpr std::size_t longest_encoding = 4;

struct OutputState {
    char* buffer = nullptr; // on the tracked heap, made once by init
    std::size_t used = 0;
    bool terminal = false;
    bool capturing = false; // tests only: flushed bytes are kept instead of written
    bool write_failed = false; // a write was refused other than by a closed pipe
    std::string captured;
    // The bytes written since the last line feed, so that the line editor knows where its prompt starts;
    // at most longest_line_tail of them, the rest dropped from the front.
    std::string line_tail;
    bool line_tail_cut = false;
} state;

constexpr std::size_t longest_line_tail = 4096;

void note_line_tail(char const* bytes, std::size_t count)
{
    std::string_view const text(bytes, count);
    std::size_t const line_feed = text.rfind('\n');
    if (line_feed != std::string_view::npos) {
        state.line_tail.assign(text.substr(line_feed + 1));
        state.line_tail_cut = false;
    } else {
        state.line_tail.append(text);
    }
    if (state.line_tail.size() > longest_line_tail) {
        state.line_tail.erase(0, state.line_tail.size() - longest_line_tail);
        state.line_tail_cut = true;
    }
}

void write_out(char const* bytes, std::size_t count)
{
    note_line_tail(bytes, count);
    if (state.capturing) {
        state.captured.append(bytes, count);
        return;
    }
    switch (platform::write_stdout(bytes, count)) {
    case platform::WriteResult::Written:
        break;
    case platform::WriteResult::BrokenPipe:
        platform::end_by_broken_pipe(); // a reader that quit early (a pager, head) ends the run quietly
    case platform::WriteResult::Failed:
        // The bytes are lost and there is nowhere to say so; the run carries on and ends as a failure.
        state.write_failed = true;
        break;
    }
}

// Makes room for one encoded code point.
void reserve_room()
{
    if (state.used + longest_encoding > buffer_size) flush();
}

void put_code_point(std::uint32_t code_point)
{
    reserve_room();
    state.used += static_cast<std::size_t>(unicode::utf8_encode(code_point, state.buffer + state.used));
}

void put_bytes(char const* bytes, std::size_t count)
{
    if (count > buffer_size - state.used) {
        flush();
        if (count > buffer_size) {
            write_out(bytes, count);
            return;
        }
    }
    std::memcpy(state.buffer + state.used, bytes, count);
    state.used += count;
}

// A terminal shows each print at once; redirected output waits for a full buffer or an explicit flush.
void end_of_print()
{
    if (state.terminal) flush();
}

}

void init()
{
    if (!state.buffer) state.buffer = static_cast<char*>(heap::allocate(buffer_size));
    state.used = 0;
    state.terminal = platform::stdout_is_terminal();
}

bool is_terminal()
{
    return state.terminal;
}

bool write_failed()
{
    return state.write_failed;
}

void write_now(char const* bytes, std::size_t count)
{
    flush();
    write_out(bytes, count);
}

std::optional<std::string_view> line_tail()
{
    if (state.line_tail_cut) return std::nullopt;
    return state.line_tail;
}

// The buffer counts as empty before the write starts: Control-C ends the run through a flush of its own,
// which must not write these bytes a second time.
void flush()
{
    std::size_t const used = state.used;
    state.used = 0;
    if (used) write_out(state.buffer, used);
}

void write(void const* text, std::size_t bytes, int unit, bool newline)
{
    if (!state.buffer) init();
    auto const* units = static_cast<unsigned char const*>(text);
    switch (unit) {
    case 1:
        for (std::size_t i = 0; i < bytes; ++i) {
            if (units[i] < 0x80) {
                reserve_room();
                state.buffer[state.used++] = static_cast<char>(units[i]);
            } else {
                put_code_point(units[i]);
            }
        }
        break;
    case 2:
        for (std::size_t i = 0; i + 2 <= bytes; i += 2) {
            std::uint16_t code;
            std::memcpy(&code, units + i, 2);
            put_code_point(code);
        }
        break;
    default:
        for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
            std::uint32_t code;
            std::memcpy(&code, units + i, 4);
            put_code_point(code);
        }
        break;
    }
    if (newline) {
        reserve_room();
        state.buffer[state.used++] = '\n';
    }
    end_of_print();
}

void capture_for_tests(bool on)
{
    if (!state.buffer) init();
    flush();
    state.capturing = on;
    state.captured.clear();
}

std::string_view captured_for_tests()
{
    flush();
    return state.captured;
}

}

namespace print {

void cstr(std::string_view text)
{
    if (!conout::state.buffer) conout::init();
    conout::put_bytes(text.data(), text.size());
    conout::end_of_print();
    output_hooks::run_text_listeners(text.data(), text.size(), 0);
}

void integer(std::int64_t number)
{
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    cstr({ digits, static_cast<std::size_t>(end - digits) });
}

}

namespace output_hooks {

namespace {

constexpr std::uint32_t growth_step = 5;

template <typename Function> struct HookList {
    Function* entries = nullptr; // on the tracked heap
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;

    void make()
    {
        heap::free(entries);
        entries = static_cast<Function*>(heap::allocate(growth_step * sizeof(Function)));
        count = 0;
        capacity = growth_step;
    }
    void add(Function function)
    {
        if (!function) return;
        if (count == capacity) {
            auto* grown = static_cast<Function*>(heap::allocate((capacity + growth_step) * sizeof(Function)));
            std::memcpy(grown, entries, count * sizeof(Function));
            heap::free(entries);
            entries = grown;
            capacity += growth_step;
        }
        entries[count++] = function;
    }
    void remove(Function function)
    {
        if (!function) return;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (entries[i] == function) {
                std::memmove(entries + i, entries + i + 1, (count - i - 1) * sizeof(Function));
                --count;
                return;
            }
        }
    }
};

struct HooksState {
    HookList<ValuePrinter> value_printers;
    HookList<TextListener> text_listeners;
    bool ready = false;
} hooks;

}

void init()
{
    hooks.value_printers.make();
    hooks.text_listeners.make();
    hooks.value_printers.add(print_string);
    hooks.ready = true;
}

void register_(ValuePrinter printer, TextListener listener)
{
    hooks.value_printers.add(printer);
    hooks.text_listeners.add(listener);
}

void unregister(ValuePrinter printer, TextListener listener)
{
    hooks.value_printers.remove(printer);
    hooks.text_listeners.remove(listener);
}

void run_value_printers(Cell const& string, bool newline)
{
    for (std::uint32_t i = 0; i < hooks.value_printers.count; ++i) hooks.value_printers.entries[i](string, newline);
}

void run_text_listeners(char const* text, std::size_t length, int flag)
{
    for (std::uint32_t i = 0; i < hooks.text_listeners.count; ++i) hooks.text_listeners.entries[i](text, length, flag);
}

void print_string(Cell const& string, bool newline)
{
    services.pause_for_print();
    SeriesBuffer* buffer = node::buffer(string.word2);
    std::uint32_t const unit = buffer->unit();
    if (unit == 1 || unit == 2 || unit == 4) {
        std::uint64_t const start = buffer->head + std::uint64_t { string.word1 } * unit;
        std::size_t const bytes = start < buffer->tail ? buffer->tail - start : 0;
        conout::write(
            buffer->data() + (start < buffer->tail ? start : buffer->tail), bytes, static_cast<int>(unit), newline);
    } else {
        print::cstr("Error: unknown string encoding: ");
        print::integer(unit);
        print::cstr("\n");
    }
    std::fflush(nullptr);
    services.resume_after_print();
}

}

}
