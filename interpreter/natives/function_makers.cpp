// The function-making natives: func makes a function! from a spec and a body; function, does and has
// rewrite their arguments into a spec and a body in the same cells and then run func, so that a spec is
// checked and built in one place only. The caller's blocks are never changed: rewritten specs are copies.

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

// An index past the tail (another value of the series shortened it) counts as the tail.
void clamp_to_tail(Cell& series)
{
    (void)series::rs_length_from(series, false);
}

// A shallow copy of the block from its index replaces it in its argument cell. May allocate.
void copy_in_place(Cell& block)
{
    clamp_to_tail(block);
    Cell const copy = *block::clone(block, false, false);
    stack::pop(1);
    block = copy;
}

}

void func(std::int32_t const*)
{
    Cell* const spec = argument(0);
    Cell* const body = argument(1);
    clamp_to_tail(*spec);
    clamp_to_tail(*body);
    std::uint32_t const flags = function::check_spec(*spec);
    (void)function::make_compiled(*spec, *body, no_node, 0, 0, flags);
    stack::set_only_result(*stack::top());
}

void function(std::int32_t const*)
{
    copy_in_place(*argument(0));
    (void)function::collect_locals(*argument(0), *argument(1));
    func(nullptr);
}

void does(std::int32_t const*)
{
    stack::keep_first();
    stack::push(*argument(0));
    block::make_at(*argument(0), 1);
    func(nullptr);
}

void has(std::int32_t const*)
{
    copy_in_place(*argument(0));
    block::insert_value(*argument(0), words::refinement_of(words::RefinementWord::local), false, true);
    func(nullptr);
}

}
