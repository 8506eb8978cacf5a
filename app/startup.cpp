// Start-up: the platform set up, the services record filled, the modules of every layer in their fixed
// order, the interpreter's stack and the outermost catch.

#include "app/startup.h"

#include <new>

#include "app/services.h"
#include "app/system_object.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/handle.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "interpreter/actions.h"
#include "interpreter/boot.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/natives/natives.h"
#include "interpreter/parse/parse.h"
#include "interpreter/routines.h"
#include "interpreter/trace.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/extres.h"
#include "runtime/handle_slots.h"
#include "runtime/memory.h"
#include "runtime/output.h"
#include "runtime/ownership.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/signals.h"
#include "runtime/platform/thread.h"
#include "runtime/quit.h"
#include "runtime/random.h"
#include "runtime/runtime_record.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xol::app {

namespace {

// Fatal signals end the run at once: what was printed so far, then the report, then the status.
[[noreturn]] void on_fault(int status, std::uintptr_t address)
{
    runtime::quit(status, address);
}

// Control-C outside the line editor ends the console quietly with status 0.
[[noreturn]] void on_interrupt()
{
    runtime::quit(0, 0);
}

void before_termination()
{
    conout::flush();
}

// The interpreter's whole life, on its large stack. Its outermost catch takes whatever no receiver took.
int run_interpreter(void*)
{
    platform::install_signal_handlers({ on_fault, on_interrupt, before_termination });
    try {
        init();
        gc::state.enabled = true;
        boot::run_library();
        system_object::complete();
        if (runtime::record.launch) runtime::record.launch();
        runtime::quit(0, 0);
    } catch (runtime::QuitRequest const& request) {
        runtime::end(request.status);
    } catch (std::bad_alloc const&) {
        runtime::quit(runtime::status_out_of_memory, runtime::here());
    } catch (...) {
        runtime::quit(runtime::status_no_catch_for_throw, runtime::here());
    }
}

}

void init()
{
    // The services first: every call a lower layer makes upward is set before any module runs.
    fill_services();
    // The collector's switches and root lists come first so that every module can register its roots;
    // collection itself stays disabled until start-up is complete.
    gc::init();
    errors::reset();
    output_hooks::init();
    conout::init(); // the platform initialisation: the output layer is all Linux needs of it
    random::init(); // seeded before any datatype can draw
    memory::init();
    extres::init();
    cycles::init();
    datatype::register_all();
    unicode::init_case_tables();
    string::init();
    // The value and frame stacks come before the names: the runtime words name the stacks' internal frames.
    stack::init();
    symbol::init();
    context::init_global();
    datatype::make_type_words();
    words::init();
    handle::define_null_handle();
    parse::init_stacks();
    ownership::init();
    native::init();
    object::init();
    error::init(); // from here on a raised error is an error! value
    lexer::init();
    actions::register_actions();
    natives::register_natives();
    routines::register_routines();
    interp::init();
    trace::root_tracer();
    // The built-in values described by the library's first source: typesets, natives and actions.
    boot::read_specs();
    slots::init();
}

int start(int argc, char** argv, void (*launch)())
{
    runtime::record.arguments.assign(argv, argv + argc);
    runtime::record.launch = launch;
    // Asynchronous signals wait, blocked, until the interpreter has installed its handlers.
    platform::block_async_signals();
    // Under an address-space limit too small to hold the stack and the node region, nothing else is tried.
    memory::AddressSpaceShares const shares
        = memory::shares_for(platform::address_space_limit(), platform::interpreter_stack_size);
    if (!shares.enough) runtime::quit(runtime::status_out_of_memory, runtime::here());
    int const status = platform::run_on_large_stack(run_interpreter, nullptr, shares.stack_bytes);
    if (status == platform::thread_not_started) runtime::quit(runtime::status_out_of_memory, runtime::here());
    conout::flush();
    return status;
}

}
