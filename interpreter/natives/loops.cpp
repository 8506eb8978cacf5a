// The loop natives: while, until, loop, repeat, forever, foreach, forall and remove-each.
//
// Each loop runs in one loop frame named <body>, whose base cell is the loop's result. break and continue
// reach a loop as an Unwind after the unwinder has cut both stacks back to the nearest loop frame (the
// frame is the top one, the arguments base its own, the break value or unset! in its base cell): any such
// unwind that reaches a loop's catch is its own, since every inner loop catches those aimed at it. The
// argument cells lie below the frame and the value stack never moves, so their addresses stay good.

#include "interpreter/natives/loops.h"

#include <cstdint>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/analysed_body.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

namespace {

// Pending: a return or exit made in the body is on its way out past the loop, the stacks already cut
// beyond its frame; the loop returns at once and touches nothing.
enum class Ending { Done, Continued, Broken, Pending };

constexpr bool ended(Ending ending)
{
    return ending == Ending::Broken || ending == Ending::Pending;
}

// The frame a loop runs in, with its result cell (unset! until a body gives a value).
class LoopFrame {
public:
    LoopFrame()
        : m_frame(stack::push_loop_frame(words::word_of(words::Word::body)))
    {
        unset::push();
    }

    // Runs one step of the loop (its body, and the routines that must hear break and continue with it):
    // break and continue end it here, the stacks back at the frame with its result cell kept.
    template <typename Step> Ending run(Step&& step)
    {
        try {
            step();
            if (stack::has_pending()) {
                UnwindCode const code = stack::state.pending;
                if (code != UnwindCode::Break && code != UnwindCode::Continue) return Ending::Pending;
                stack::clear_pending();
                XOL_ASSERT(stack::top_frame() == m_frame, "break or continue landed past its loop");
                stack::land(m_frame);
                stack::keep_first();
                return code == UnwindCode::Break ? Ending::Broken : Ending::Continued;
            }
            stack::keep_first(); // only the result cell stays: the stack must not grow with the iterations
            return Ending::Done;
        } catch (Unwind const& unwind) {
            if (unwind.code != UnwindCode::Break && unwind.code != UnwindCode::Continue) throw;
            XOL_ASSERT(stack::top_frame() == m_frame, "break or continue landed past its loop");
            stack::land(m_frame);
            stack::keep_first();
            return unwind.code == UnwindCode::Break ? Ending::Broken : Ending::Continued;
        }
    }

    Cell& result() { return *stack::state.base; }

    // The frame's result becomes the native's (nothing to do when a transfer is on its way past the loop).
    void finish()
    {
        if (stack::has_pending()) return;
        stack::pop_frame_return();
        stack::keep_first();
    }

private:
    CallFrame* m_frame;
};

// The count of loop and repeat as an integer: a float! count truncates toward zero.
std::int32_t checked_count(Cell& count)
{
    count_to_integer(count);
    if (cell::type_of(count) != type_ids::integer) fire_error(err::script::invalid_arg, &count);
    return integer::get(count);
}

// The number of words a word argument names: 0 for a single word, n for a block of n words (script
// invalid-arg for an empty block or a value that is neither). A single word cannot walk a map!.
std::int32_t words_of(Cell const& words, Cell const& series)
{
    TypeId const type = cell::type_of(words);
    if (type == type_ids::block) {
        std::uint32_t const length = block::rs_length_q(words);
        if (length < 1) fire_error(err::script::invalid_arg, &words);
        return static_cast<std::int32_t>(length);
    }
    if (!word::is_bindable(type) || type == type_ids::refinement) fire_error(err::script::invalid_arg, &words);
    if (cell::type_of(series) == type_ids::map) fire_error(err::script::invalid_arg, &words);
    return 0;
}

// One foreach or remove-each step: a single word or a block of `count` words.
bool take_values(std::int32_t count)
{
    return count == 0 ? foreach_next() : foreach_next_block(count);
}

// The types forall walks.
bool is_forall_series(TypeId type)
{
    return type_ids::is_series(type);
}

}

void while_(std::int32_t const*)
{
    Cell const* const condition = argument(0);
    Cell const* const body = argument(1);
    LoopFrame loop;
    interp::AnalysedBody analysed_condition;
    interp::AnalysedBody analysed;
    for (;;) {
        Ending const tested = loop.run([&] { analysed_condition.run(*condition); });
        if (tested == Ending::Pending) return;
        if (tested != Ending::Done) fire_error(err::throw_::while_cond);
        if (!logic::result_true_q()) break;
        if (ended(loop.run([&] { analysed.run(*body); }))) break;
    }
    if (stack::has_pending()) return;
    loop.result() = unset_value;
    loop.finish();
}

void until(std::int32_t const*)
{
    Cell const* const body = argument(0);
    LoopFrame loop;
    interp::AnalysedBody analysed;
    for (;;) {
        Ending const ending = loop.run([&] { analysed.run(*body); });
        if (ended(ending)) break;
        if (ending == Ending::Continued) continue; // the body again, untested
        if (logic::result_true_q()) break;
    }
    loop.finish();
}

void loop(std::int32_t const*)
{
    Cell const* const body = argument(1);
    std::int32_t const count = checked_count(*argument(0));
    if (count < 1) {
        stack::set_only_result(none_value);
        return;
    }
    LoopFrame loop;
    interp::AnalysedBody analysed;
    for (std::int32_t done = 0; done < count;) {
        std::int32_t begun = 1;
        if (ended(loop.run([&] { analysed.run_times(*body, count - done, {}, begun); }))) break;
        done += begun;
    }
    loop.finish();
}

// The counter is the count's own argument cell: the body may set the word to anything without changing
// the next value or the number of iterations.
void repeat(std::int32_t const*)
{
    Cell* const word = argument(0);
    Cell* const counter = argument(1);
    Cell const* const body = argument(2);
    std::int32_t const count = checked_count(*counter);
    if (count < 1) {
        stack::set_only_result(none_value);
        return;
    }
    integer::make_at(*counter, 1);
    LoopFrame loop;
    interp::AnalysedBody analysed;
    for (std::int32_t done = 0; done < count;) {
        std::int32_t begun = 1;
        Ending const ending = loop.run([&] {
            word::set(*word, *counter);
            if (!analysed.analysable()) {
                analysed.run(*body);
                return;
            }
            // The analysed body steps the counter and writes the word itself while it runs.
            interp::AnalysedBody::Next next;
            next.word_slot = interp::AnalysedBody::direct_slot(*word);
            next.counter = counter;
            analysed.run_times(*body, count - done, next, begun);
        });
        if (ended(ending)) break;
        done += begun;
        ++counter->word2; // unsigned: the step past the last count wraps harmlessly
    }
    loop.finish();
}

void forever(std::int32_t const*)
{
    Cell const* const body = argument(0);
    LoopFrame loop;
    interp::AnalysedBody analysed;
    while (!ended(loop.run([&] { analysed.run(*body); }))) { }
    loop.finish();
}

void foreach (std::int32_t const*)
{
    Cell const* const body = argument(2);
    std::int32_t const count = words_of(*argument(0), *argument(1));
    Cell* const cursor = stack::push(*argument(1));
    Cell const* const loop_word = stack::push(*argument(0));
    LoopFrame loop;
    interp::AnalysedBody analysed;
    for (;;) {
        bool took = false;
        Ending const ending = loop.run([&] {
            took = take_values(count);
            if (!took) return;
            if (count != 0 || !series::is_cell_series(cell::type_of(*cursor)) || !analysed.analysable()) {
                analysed.run(*body);
                return;
            }
            // The analysed body takes the next values of a block itself while it runs.
            interp::AnalysedBody::Next next;
            next.word_slot = interp::AnalysedBody::direct_slot(*loop_word);
            next.cursor = cursor;
            std::int32_t begun = 0;
            analysed.run_times(*body, INT32_MAX, next, begun);
        });
        if (ended(ending) || (ending == Ending::Done && !took)) break;
    }
    loop.finish();
}

void forall(std::int32_t const*)
{
    Cell const* const word = argument(0);
    Cell const* const body = argument(1);
    if (!word::is_bindable(cell::type_of(*word)) || cell::type_of(*word) == type_ids::refinement)
        fire_error(err::script::invalid_arg, word);
    Cell const* const series = word::get(*word); // the saved series
    if (!is_forall_series(cell::type_of(*series))) {
        Cell const caller = stack::caller_word();
        Cell const type = datatype::make(cell::type_of(*series));
        Cell const argument_word = error::function_arg_word(0);
        fire_error(err::script::expect_arg, &caller, &type, &argument_word);
    }
    stack::push(*word);
    LoopFrame loop;
    interp::AnalysedBody analysed;
    if (!forall_tail_q(false)) {
        for (;;) {
            if (ended(loop.run([&] { analysed.run(*body); }))) {
                loop.finish(); // the word stays where the break left it
                return;
            }
            if (forall_tail_q(true)) break;
        }
    }
    if (stack::has_pending()) return;
    loop.run([] { forall_end(); });
    loop.finish();
}

void remove_each(std::int32_t const*)
{
    Cell const* const body = argument(2);
    std::int32_t const count = words_of(*argument(0), *argument(1));
    integer::push(count);
    stack::push(*argument(1)); // the cursor
    stack::push(*argument(0));
    Cell const* const series = argument(1);
    LoopFrame loop;
    interp::AnalysedBody analysed;
    for (;;) {
        bool took = false;
        // An item whose body ends by continue or break is kept: the removal runs only after a whole body.
        Ending const ending = loop.run([&] {
            took = take_values(count);
            if (!took) return;
            analysed.run(*body);
            if (stack::has_pending()) return;
            remove_each_step(count == 0 ? 1 : count);
        });
        if (ended(ending) || (ending == Ending::Done && !took)) break;
    }
    if (stack::has_pending()) return;
    loop.result() = *series;
    loop.finish();
}

}
