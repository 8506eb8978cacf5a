// apply: a call whose arguments come from a block instead of the code that follows, read in one of the
// call modes of the calls module.

#include "datatypes/none.h"
#include "datatypes/op.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "interpreter/calls.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

// Refinements: /all, /safer. Without /all the block holds the mandatory arguments, then refinement! values
// each followed by its truth and its arguments; with /all every argument and refinement in spec order.
// /safer takes each argument from exactly one value, never evaluated.
void apply(std::int32_t const* refinements)
{
    Rooted function(*argument(0));
    Rooted arguments(*argument(1));
    Rooted name(words::word_of(words::Word::applied));
    Rooted path(none_value);
    std::uint32_t path_rest = 0;
    TypeId const given = cell::type_of(*function);
    if (type_ids::is_plain_word(given)) {
        *name = *function;
        *function = *word::get_value(*name);
    } else if (type_ids::is_path(given)) {
        *path = *function;
        std::uint32_t const head = path->word1;
        if (head >= series::rs_total_length(*path)) fire_error(err::script::empty_path);
        *name = series::buffer_of(*path)->head_cell()[head];
        if (!type_ids::is_plain_word(cell::type_of(*name))) fire_error(err::script::word_first, &*path);
        *function = *word::get_value(*name);
        path_rest = head + 1;
    }
    TypeId const type = cell::type_of(*function);
    if (!type_ids::is_function(type)) fire_error(err::script::invalid_arg, &*function);
    // An op! is applied as the function it wraps.
    if (type == type_ids::op) *function = interp::unwrap_op(*function);

    std::uint32_t mode = refinements[0] >= 0 ? interp::call_apply_all : interp::call_apply_named;
    if (refinements[1] >= 0) mode |= interp::call_safer;
    stack::flag_top_frame();
    interp::Code const code { *arguments, series::rs_total_length(*arguments) };
    interp::CallSite const site {
        code,
        arguments->word1,
        cell::type_of(*path) == type_ids::none ? nullptr : &*path,
        path_rest,
        &*name,
        nullptr,
        mode,
        false,
        false,
    };
    interp::call_by_type(*function, site);
    if (stack::has_pending()) stack::rethrow_pending();
}

}
