// The stand-in read-eval-print loop: one line, one command; errors printed, the loop goes on.

#include "console/prompt_loop.h"

#include <string>

#include "console/standard_input.h"
#include "datatypes/error.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/errors.h"
#include "runtime/output.h"
#include "runtime/platform/terminal.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::console {

namespace {

constexpr std::int32_t no_limit = 0x7FFFFFFF;

void print_result(Cell const& value)
{
    if (cell::type_of(value) == type_ids::unset) return;
    Rooted kept(value);
    Rooted text(string::make(64));
    std::int32_t const limit = string::append_ascii(*text, "== ", no_limit);
    actions::mold_typed(*kept, *text, false, false, false, nullptr, limit, 0);
    output_hooks::run_value_printers(*text, true);
}

// Loads and evaluates one line under a try frame: an error raised anywhere inside, or a break, return or
// throw that finds no target, lands here and is printed. The stacks are left as they were found.
void do_command(std::string const& line)
{
    stack::StackMark const saved = stack::mark();
    Rooted result(cell::make(type_ids::unset));
    bool failed = false;
    {
        Rooted source(string::from_utf8(line));
        CallFrame* const guard = stack::push_try_frame(words::word_of(words::Word::body));
        try {
            Rooted code(lexer::load_all(*source));
            interp::eval_block(*code, true);
            *result = *stack::state.base;
            stack::pop_frame_empty();
        } catch (Unwind const& unwound) {
            if (unwound.code != UnwindCode::Error) throw;
            stack::land(guard);
            *result = *(stack::state.top - 1);
            failed = true;
        }
    }
    stack::return_to(saved);
    if (failed) {
        error::print_uncaught(*result);
        return;
    }
    print_result(*result);
}

}

void run_prompt_loop()
{
    bool const prompting = platform::stdin_is_terminal();
    std::string line;
    for (;;) {
        if (prompting) {
            print::cstr(">> ");
            conout::flush();
        }
        // Lines come through the buffer that ask and read-stdin share, so that no byte read ahead is lost.
        line = standard_input::read_line();
        bool const ended = standard_input::ended();
        if (!line.empty() || !ended) do_command(line);
        if (ended) break;
    }
}

}
