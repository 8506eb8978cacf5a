// Fuzz target for the lexer: arbitrary bytes through every scan mode, as a binary! and as a string!. A
// syntax error is an answer; a crash, a sanitizer report, an assertion or a hang is a fault.

#include <cstddef>
#include <cstdint>

#include "datatypes/none.h"
#include "datatypes/string.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/lexer/transcode.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/startup.h"

namespace {

using namespace xol;

// Runs `action` inside a try frame, as a script's `try` would.
template <typename Action> void guarded(Action&& action)
{
    CallFrame* frame = stack::push_try_frame(cell::make(type_ids::word));
    try {
        action();
    } catch (Unwind const&) {
        stack::land(frame);
        stack::reset_to_last();
        stack::drop_arguments();
        return;
    }
    stack::pop_frame_empty();
}

bool start()
{
    runtime::init();
    lexer::init();
    gc::state.enabled = true;
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    auto const length = static_cast<std::uint32_t>(size);
    lexer::ScanOptions const modes[] = {
        {},
        { .one_value = true },
        { .one_value = true, .load = false },
        { .one_value = true, .make_result = false },
        { .load = false },
    };
    for (lexer::ScanOptions const& options : modes) {
        guarded([&] {
            Cell* result = stack::push(none_value);
            std::uint32_t consumed = 0;
            lexer::scan(*result, data, length, options, &consumed, none_value, none_value, nullptr);
            if (consumed > length) __builtin_trap();
        });
    }
    // The same bytes as text, when they are UTF-8, with a /part that reaches past them.
    guarded([&] {
        Rooted text(string::from_utf8({ reinterpret_cast<char const*>(data), size }));
        Cell const part = cell::make(type_ids::integer, 0, length + 7, 0);
        Rooted loaded(lexer::transcode(*text, { .next = true, .part = &part }));
    });
    return 0;
}
