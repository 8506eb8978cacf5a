// The console's own routines: the evaluation of the user's code, the one warning the console may give on
// standard error, and whether a user sits at standard input.

#include <string>

#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_entries.h"
#include "runtime/output.h"
#include "runtime/platform/terminal.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

struct ConsoleRoutinesState {
    bool warned = false; // a run warns once: a folder that cannot be made fails the same way at every save
};

ConsoleRoutinesState state;

}

// The code runs in a frame named do that is the floor of traces: an error in the user's code names the
// user's calls alone, as when the code runs with nothing around it.
void console_do()
{
    Cell* const code = stack::state.base;
    CallFrame* const frame = stack::push_native_frame(word::make_global("do"));
    frame->header |= CallFrame::trace_floor_flag;
    interp::eval_block(*code, true);
    stack::pop_frame_return();
    stack::reset_to_last();
}

void console_warn()
{
    if (!state.warned) {
        state.warned = true;
        std::string line = string::to_utf8(*natives::argument(0));
        line += '\n';
        conout::flush(); // what the run printed so far comes first when both streams go to one place
        static_cast<void>(platform::write_stderr(line.data(), line.size()));
    }
    stack::set_only_result(unset_value);
}

void stdin_terminal_q()
{
    stack::set_last(logic::make(platform::stdin_is_terminal()));
}

}
