// The conditional natives: if, unless, either, any and all.
//
// if, unless, any and all test leniently (an unset! value is true, so a condition that printed something
// still chooses); either tests strictly (an unset! condition raises script no-return).

#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "interpreter/natives/stepped_block.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

// if and unless: the block runs when the condition's truth is `wanted`, else the result is none!.
void run_if(bool wanted)
{
    if (logic::true_q(*argument(0)) != wanted) {
        stack::set_only_result(none_value);
        return;
    }
    interp::eval_branch_deferred(*argument(1));
}

// any and all: the block's expressions one by one, each value landing in the result cell, until one's
// truth is `stop_when`; that value answers for any, none! for all. At the end: none! for any (and for an
// empty block), the last value for all.
void walk_conditions(bool stop_when)
{
    Rooted code(*argument(0)); // the result cell takes each value: the walk keeps its own copy of the block
    SteppedBlock const steps(*code);
    stack::set_only_result(none_value);
    while (!series::rs_tail_q(*code)) {
        series::set_index(*code, interp::eval_next_at(*code));
        stack::keep_first();
        if (logic::true_q(*stack::state.base) == stop_when) {
            if (!stop_when) stack::set_only_result(none_value);
            steps.done(stack::state.base);
            return;
        }
    }
    if (stop_when) stack::set_only_result(none_value);
    steps.done(stack::state.base);
}

}

void if_(std::int32_t const*)
{
    run_if(true);
}

void unless(std::int32_t const*)
{
    run_if(false);
}

void either(std::int32_t const*)
{
    Cell const& condition = *argument(0);
    if (cell::type_of(condition) == type_ids::unset) fire_error(err::script::no_return);
    interp::eval_branch_deferred(*argument(logic::true_q(condition) ? 1 : 2));
}

void any(std::int32_t const*)
{
    walk_conditions(true);
}

void all(std::int32_t const*)
{
    walk_conditions(false);
}

}
