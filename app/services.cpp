// Filling the services record: which module provides each call that a lower layer makes upward.

#include "app/services.h"

#include "app/system_object.h"
#include "datatypes/compare.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object_events.h"
#include "datatypes/symbol.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/lexer/numbers.h"
#include "interpreter/natives/natives.h"
#include "interpreter/trace.h"
#include "runtime/assert.h"
#include "runtime/services.h"

namespace xol::app {

namespace {

// TODO: system/state/source-files, once the loaders record the files they read.
Cell no_source_files()
{
    return none_value;
}

// The GUI's terminal back end does not exist yet: nothing is drawn, so printing has nothing to clear.
void no_terminal_interface() { }

}

// Every entry is named, in the record's order: the compiler reports one left out.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wmissing-field-initializers"

void fill_services()
{
    services = Services {
        .make_error = error::make_raised,
        .error_has_where = error::has_where,
        .set_error_where = error::set_where,
        .error_has_stack_block = error::has_stack_block,
        .set_error_stack_position = error::set_stack_position,
        .keep_error_stack = error::capture_stack_text,
        .print_error = error::print_uncaught,
        .stack_trace_setting = system_object::stack_trace_setting,
        .source_files = no_source_files,
        .canonical_symbol = symbol::resolve,
        .compare_keys = actions::compare_keys,
        .fire_on_change = object::fire_on_change,
        .tell_owner = object::tell_owner,
        .load_all = lexer::load_all,
        .scan_type = lexer::scan_type,
        .load_single = lexer::load_single,
        .scan_integer = lexer::scan_integer,
        .scan_float = lexer::scan_float,
        .scan_money = lexer::scan_money_text,
        .eval_block = interp::eval_block_dropped,
        .call_function = interp::call_function,
        .call_lexer_callback = interp::call_lexer_callback,
        .callback_body = interp::callback_body,
        .catch_takes = natives::catch_takes,
        .current_position = &interp::state.current_position,
        .error_raised = trace::report_error,
        .pause_for_print = no_terminal_interface,
        .resume_after_print = no_terminal_interface,
    };
    XOL_ASSERT(is_complete(services), "an entry of the services record is empty");
}

#pragma GCC diagnostic pop

}
