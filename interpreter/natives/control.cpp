// The natives that leave or guard a stretch of evaluation: break, continue, exit, return and throw, which
// never return, and try and catch, which receive what they throw.
//
// The unwinders cut the value and frame stacks back to their target frame before the C++ exception
// leaves, so a receiver finds its own frame on top and its values where the unwinder put them. A frame's
// record stays readable after the frame is cut, until the next push: try/keep reads the trace of the
// frames that stood when the error was raised from there.

#include "datatypes/error.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "interpreter/trace.h"
#include "runtime/assert.h"

namespace xol::natives {

namespace {

bool same_name(Cell const& word1, Cell const& word2)
{
    return symbol::resolve(word::symbol_of(word1)) == symbol::resolve(word::symbol_of(word2));
}

// A block of names holds words only. It is refused as soon as a throw reaches it, whatever that throw's name.
bool valid_names(Cell const& names)
{
    if (cell::type_of(names) != type_ids::block) return true;
    SeriesBuffer* buffer = series::buffer_of(names);
    for (std::uint32_t position = series::index_of(names); position < buffer->length(); ++position)
        if (cell::type_of(buffer->head_cell()[position]) != type_ids::word) return false;
    return true;
}

// Whether a catch with these names takes a throw named `thrown`: a word names one throw, a block of words
// any of them, case-blind. An unnamed throw passes every named catch.
bool catches(Cell const& names, Cell const& thrown)
{
    if (cell::type_of(thrown) != type_ids::word) return false;
    if (cell::type_of(names) != type_ids::block) return same_name(names, thrown);
    SeriesBuffer* buffer = series::buffer_of(names);
    for (std::uint32_t position = series::index_of(names); position < buffer->length(); ++position)
        if (same_name(buffer->head_cell()[position], thrown)) return true;
    return false;
}

}

bool catch_takes(Cell const& names, Cell const& thrown_name)
{
    return !valid_names(names) || catches(names, thrown_name);
}

// The block runs in a try frame, or with /all in a barrier frame, which break, continue, exit, return and
// throw cannot cross: they arrive as throw-category errors. Without /all they pass on to their targets,
// which lie outside.
void try_(std::int32_t const* refinements)
{
    bool const all = refinements[0] >= 0;
    bool const keep = refinements[1] >= 0;
    Cell* const result = stack::state.base;
    Cell const& name = words::word_of(words::Word::try_);
    CallFrame* const frame = all ? stack::push_barrier_frame(name) : stack::push_try_frame(name);
    try {
        interp::eval_block(*result, true);
        stack::pop_frame_return();
    } catch (Unwind const& unwind) {
        if (unwind.code != UnwindCode::Error) throw;
        // The raise popped this frame and pushed the error above everything that stood.
        XOL_ASSERT(stack::state.frame_top == frame && stack::state.base == result, "error landed elsewhere");
        stack::land(frame);
    }
    stack::reset_to_last();
    if (keep) error::capture_stack(*result);
}

void break_(std::int32_t const* refinements)
{
    Cell const* const value = refinement_argument(refinements[0]);
    if (value) stack::set_last(*value);
    stack::defer_break(value != nullptr, false);
}

void continue_(std::int32_t const*)
{
    stack::defer_break(false, true);
}

void exit_(std::int32_t const*)
{
    stack::defer_exit(false);
}

void return_(std::int32_t const*)
{
    stack::defer_exit(true);
}

// The value travels in the base cell and its name (unset! when none) in the next one.
void throw_(std::int32_t const* refinements)
{
    if (trace::state.on) trace::event(trace::throw_, nullptr, -1, nullptr, stack::state.base);
    Cell const* const name = refinement_argument(refinements[0]);
    Cell const name_cell = name ? *name : unset_value;
    stack::keep_first();
    stack::push(name_cell);
    stack::unroll_throw(UnwindCode::Throw);
}

void catch_(std::int32_t const* refinements)
{
    Cell* const result = stack::state.base;
    Cell const* const names = refinement_argument(refinements[0]);
    CallFrame* const frame = stack::push_catch_frame(words::word_of(words::Word::body), refinements[0]);
    try {
        interp::eval_block(*result, true);
        stack::pop_frame_return();
        stack::keep_first();
        return;
    } catch (Unwind const& unwind) {
        // A throw this catch does not take passed it by and landed on an outer catch.
        if (unwind.code != UnwindCode::Throw || stack::state.frame_top != frame + 1) throw;
        // The throw cut the stacks back to this frame and pushed the value and its name at its base.
        stack::land(frame);
    }
    // The mark names the place of a throw still travelling; once one is caught or thrown anew it is stale.
    stack::clear_throw_mark();
    if (names) {
        if (!valid_names(*names)) {
            stack::pop_frame_empty(); // raised from the native's own frame, not from the catch frame
            fire_error(err::script::invalid_refine_arg, &words::word_of(words::Word::name), names);
        }
        if (!catches(*names, stack::state.base[1])) stack::unroll_throw(UnwindCode::Throw); // to an outer catch
    }
    stack::pop_frame_return();
    stack::keep_first();
    if (trace::state.on) trace::event(trace::catch_, nullptr, -1, nullptr, stack::state.base);
}

}
