// The value and frame stacks: pushes, pops, overflow and recovery, and the unwinding rules of errors,
// break, continue, return, exit and throw. The natives that will use them are played here by small C++
// receivers that catch what their frame accepts.

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/stack.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using StackTest = RuntimeTest;

Cell word(SymbolId symbol)
{
    return cell::make(type_ids::word, no_node, symbol, 0);
}
Cell integer(std::int32_t value)
{
    return cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(value));
}
std::int32_t integer_at(Cell const* cell)
{
    return cell::integer_payload(*cell);
}

constexpr SymbolId loop_word = 101;
constexpr SymbolId function_word = 102;
constexpr SymbolId break_word = 103;

// A loop native's receiver: runs `body` `times` times; break ends the loop, continue starts the next turn.
// Answers how many turns ran to their end.
template <typename Body> int run_loop(int times, Body&& body, UnwindCode* stopped_by = nullptr)
{
    CallFrame* frame = stack::push_loop_frame(word(loop_word));
    int completed = 0;
    for (int turn = 0; turn < times; ++turn) {
        try {
            body(turn);
            ++completed;
        } catch (Unwind const& unwind) {
            if (unwind.code != UnwindCode::Break && unwind.code != UnwindCode::Continue) throw;
            EXPECT_EQ(stack::top_frame(), frame) << "the loop frame is the top one when its receiver runs";
            stack::land(frame);
            if (stopped_by) *stopped_by = unwind.code;
            if (unwind.code == UnwindCode::Break) break;
        }
    }
    stack::pop_frame_return();
    return completed;
}

// A function call's receiver: return and exit stop here.
template <typename Body> void call_function(Body&& body)
{
    CallFrame* frame = stack::push_native_frame(word(function_word));
    stack::set_top_frame_bit28(true);
    try {
        body();
    } catch (Unwind const& unwind) {
        if (unwind.code != UnwindCode::Return && unwind.code != UnwindCode::Exit) throw;
        stack::land(frame);
    }
    stack::pop_frame_return();
}

// A native call that unwinds: break, continue, return, exit or throw, with its argument cells pushed.
void call_break(bool is_continue, Cell const* argument = nullptr)
{
    stack::push_native_frame(word(break_word));
    if (argument) stack::push(*argument);
    stack::unroll_break(argument != nullptr, is_continue);
}

void call_return(Cell const* argument)
{
    stack::push_native_frame(word(break_word));
    if (argument) stack::push(*argument);
    stack::unroll_exit(argument != nullptr);
}

void call_throw(Cell const& value)
{
    stack::push_native_frame(word(break_word));
    stack::push(value);
    stack::unroll_throw(UnwindCode::Throw);
}

// try/all: a barrier frame whose receiver takes raised errors.
template <typename Body> std::optional<ErrorId> try_all(Body&& body)
{
    CallFrame* frame = stack::push_barrier_frame(word(loop_word));
    try {
        body();
    } catch (Unwind const& unwind) {
        if (unwind.code != UnwindCode::Error) throw;
        stack::land(frame);
        stack::reset_to_last();
        return errors::last_raised().id;
    }
    stack::pop_frame_keep();
    return std::nullopt;
}

}

// Only the operations of runtime/stack.h move the stacks: the state every other file sees is read-only.
static_assert(std::is_const_v<std::remove_reference_t<decltype(stack::state)>>);

TEST_F(StackTest, CallsPassTheirResultToTheCallersBase)
{
    Cell* caller_base = stack::state.base;
    stack::push(integer(1));
    stack::push_native_frame(word(function_word));
    EXPECT_EQ(stack::state.base, caller_base + 1) << "the arguments begin at the top";
    stack::push(integer(7));
    stack::push(integer(8));
    stack::set_last(integer(42));
    stack::pop_frame_return();
    EXPECT_EQ(stack::state.base, caller_base);
    EXPECT_EQ(integer_at(caller_base), 42);
    EXPECT_EQ(stack::state.top, caller_base + 2) << "the result cell stays";
    EXPECT_FALSE(stack::has_frames());
}

TEST_F(StackTest, ValueStackOverflowAndRecovery)
{
    std::optional<ErrorId> raised;
    std::uint32_t top_when_caught = 0;
    CallFrame* frame = stack::push_try_frame(word(loop_word));
    try {
        while (stack::index_of(stack::state.top) < stack::value_capacity - 1) stack::push_cell();
        EXPECT_EQ(stack::index_of(stack::state.top), 19'999u) << "19,999 cells are live";
        stack::push_cell();
    } catch (Unwind const&) {
        raised = errors::last_raised().id;
        top_when_caught = stack::index_of(stack::state.top);
        stack::land(frame);
        stack::reset_to_last();
    }
    EXPECT_EQ(raised, err::internal::stack_overflow);
    EXPECT_EQ(top_when_caught, 19'995u + 1) << "4 cells below the last live one, then the error pushed";
    EXPECT_EQ(cell::type_of(*stack::state.base), type_ids::error) << "the catcher holds the error";
    stack::drop_arguments();
    EXPECT_EQ(raised_by([] { stack::push(integer(1)); }), std::nullopt) << "the stack is usable again";
}

TEST_F(StackTest, FrameStackOverflowAndRecovery)
{
    cycles::push(77);
    auto const raised = raised_by([] {
        for (std::uint32_t i = 1; i < stack::frame_capacity; ++i) stack::push_native_frame(word(function_word));
        EXPECT_EQ(stack::state.frame_top, stack::state.frame_limit) << "all 12,000 frames are usable";
        stack::push_native_frame(word(function_word));
    });
    EXPECT_EQ(raised, err::internal::stack_overflow);
    EXPECT_EQ(cycles::depth(), 0u) << "an overflow empties the cycle guard";
    EXPECT_FALSE(stack::has_frames());
    EXPECT_EQ(raised_by([] { stack::push_native_frame(word(function_word)); }), std::nullopt);
}

// An overflow gives up cells only of the frames it unwinds, however few they hold, even none (parens push
// frames alone): the cells below the catching frame's own base stay as they were, the error lands at or
// above it, and both stacks are back at their limits afterwards.
TEST_F(StackTest, OverflowKeepsTheCellsOfTheFramesThatOutliveIt)
{
    struct Case {
        std::uint32_t free_cells; // between the try frame's base and the value limit
        bool frames_overflow; // else the value stack does
    };
    Case const cases[] = {
        { 1, false },
        { 2, false },
        { 4, false },
        { 5, false },
        { 6, false },
        { 9, false },
        { 1, true },
        { 3, true },
        { 10'000, true },
    };
    for (Case const& c : cases) {
        std::uint32_t const try_base = stack::value_capacity - c.free_cells;
        while (stack::index_of(stack::state.top) < try_base)
            stack::push(integer(static_cast<std::int32_t>(stack::index_of(stack::state.top))));
        CallFrame* frame = stack::push_try_frame(word(loop_word));
        std::optional<ErrorId> raised;
        try {
            if (c.frames_overflow)
                while (true) stack::push_block_frame(word(0));
            else
                while (true) stack::push_cell();
        } catch (Unwind const&) {
            raised = errors::last_raised().id;
            stack::land(frame);
        }
        EXPECT_EQ(raised, err::internal::stack_overflow) << c.free_cells;
        EXPECT_EQ(stack::state.frame_top, frame) << "the try frame is gone";
        EXPECT_GE(stack::index_of(stack::state.top - 1), try_base) << c.free_cells << " cells free";
        EXPECT_EQ(cell::type_of(stack::state.top[-1]), type_ids::error);
        std::uint32_t damaged = 0;
        for (std::uint32_t i = 0; i < try_base; ++i)
            if (integer_at(stack::cell_at(i)) != static_cast<std::int32_t>(i)) ++damaged;
        EXPECT_EQ(damaged, 0u) << c.free_cells << " cells free, " << (c.frames_overflow ? "frames" : "cells");
        EXPECT_EQ(stack::state.limit, stack::cell_at(stack::value_capacity)) << "the reserve is closed again";
        EXPECT_EQ(stack::state.frame_limit, stack::state.frame_bottom + stack::frame_capacity);
        stack::cut_to(stack::state.bottom);
    }
}

// Function frames do not stop break: it ends the loop that called the function.
TEST_F(StackTest, BreakCrossesFunctionFramesToTheOuterLoop)
{
    std::vector<int> seen;
    UnwindCode stopped = UnwindCode::Error;
    int const completed = run_loop(
        5,
        [&](int turn) {
            seen.push_back(turn);
            call_function([&] {
                if (turn == 2) call_break(false);
            });
        },
        &stopped);
    EXPECT_EQ(seen, (std::vector<int> { 0, 1, 2 }));
    EXPECT_EQ(completed, 2);
    EXPECT_EQ(stopped, UnwindCode::Break);
    EXPECT_FALSE(stack::has_frames());
}

TEST_F(StackTest, ContinueAndBreakWithAValue)
{
    int const completed = run_loop(4, [&](int turn) {
        if (turn % 2) call_break(true);
    });
    EXPECT_EQ(completed, 2) << "continue skips the rest of a turn only";

    Cell* base = stack::state.base;
    Cell const value = integer(9);
    run_loop(3, [&](int) { call_break(false, &value); });
    EXPECT_EQ(integer_at(base), 9) << "break/return leaves its value as the loop's result";
}

TEST_F(StackTest, ReturnReachesTheNearestFunction)
{
    Cell* base = stack::state.base;
    Cell const value = integer(5);
    call_function([&] {
        run_loop(3, [&](int) { call_return(&value); }); // a loop does not stop return
        ADD_FAILURE() << "return went on after the loop";
    });
    EXPECT_EQ(integer_at(base), 5);
    EXPECT_FALSE(stack::has_frames());
}

TEST_F(StackTest, ExitsWithoutATargetRaiseTheirThrowErrors)
{
    Cell const value = integer(3);
    struct Case {
        char const* name;
        void (*exit)(Cell const&);
        ErrorId expected;
    };
    Case const cases[] = {
        { "break", [](Cell const&) { call_break(false); }, err::throw_::break_ },
        { "continue", [](Cell const&) { call_break(true); }, err::throw_::continue_ },
        { "return", [](Cell const& v) { call_return(&v); }, err::throw_::return_ },
        { "exit", [](Cell const&) { call_return(nullptr); }, err::throw_::return_ },
        { "throw", [](Cell const& v) { call_throw(v); }, err::throw_::throw_ },
    };
    for (auto const& c : cases) {
        EXPECT_EQ(raised_by([&] { c.exit(value); }), c.expected) << c.name << " with no target";
        // A barrier turns them into errors even with a target beyond it.
        std::optional<ErrorId> in_barrier;
        run_loop(1, [&](int) {
            call_function([&] {
                CallFrame* catch_frame = stack::push_catch_frame(word(loop_word));
                in_barrier = try_all([&] { c.exit(value); });
                stack::pop_frame_keep();
                (void)catch_frame;
            });
        });
        EXPECT_EQ(in_barrier, c.expected) << c.name << " across a barrier";
        EXPECT_FALSE(stack::has_frames()) << c.name;
    }
    EXPECT_EQ(raised_by([&] { call_throw(value); }), err::throw_::throw_);
    EXPECT_EQ(integer_at(&errors::last_raised().arguments[0]), 3) << "no catch for throw: names the value";
}

TEST_F(StackTest, ThrowReachesCatchWithValueAndName)
{
    CallFrame* frame = stack::push_catch_frame(word(loop_word));
    Cell* catch_base = stack::state.base;
    try {
        call_function([] { run_loop(2, [](int) { call_throw(integer(11)); }); });
        ADD_FAILURE() << "throw did not unwind";
    } catch (Unwind const& unwind) {
        EXPECT_EQ(unwind.code, UnwindCode::Throw);
        EXPECT_EQ(stack::top_frame(), frame);
        EXPECT_EQ(stack::state.base, catch_base);
        EXPECT_EQ(stack::state.top, catch_base + 2) << "the value, then the name";
        EXPECT_EQ(integer_at(catch_base), 11);
        EXPECT_EQ(cell::type_of(catch_base[1]), type_ids::unset);
    }
}

TEST_F(StackTest, ErrorsStopAtTheNearestTryAndRestoreTheCycleGuard)
{
    cycles::push(1);
    std::optional<ErrorId> raised = raised_by([] {
        cycles::push(2);
        cycles::push(3); // a walk the error leaves midway
        call_function([] { run_loop(1, [](int) { fire_error(err::math::zero_divide); }); });
    });
    EXPECT_EQ(raised, err::math::zero_divide);
    EXPECT_EQ(cycles::depth(), 1u) << "the entries the abandoned walk pushed are gone";
    EXPECT_FALSE(stack::has_frames());
    EXPECT_EQ(stack::state.base, stack::state.bottom);
}

TEST_F(StackTest, CallerWordSkipsInternalFrames)
{
    stack::set_internal_symbols(900, stack::state.anonymous_symbol, 901);
    EXPECT_EQ(stack::caller_word().word2, 901u) << "no frames";
    stack::push_native_frame(word(function_word));
    stack::push_loop_frame(word(900));
    EXPECT_EQ(stack::caller_word().word2, function_word);
    stack::pop_frame_empty();
    stack::pop_frame_empty();
}

TEST_F(StackTest, UnrollToKindKeepsOrCutsTheFoundFrame)
{
    stack::push(integer(1));
    CallFrame* loop = stack::push_loop_frame(word(loop_word));
    Cell* loop_base = stack::state.base;
    stack::push(integer(2));
    stack::push_native_frame(word(function_word));
    stack::push(integer(3));

    stack::unroll_loop(true);
    EXPECT_EQ(stack::top_frame(), loop);
    EXPECT_EQ(stack::state.base, loop_base);

    stack::push_native_frame(word(function_word));
    stack::unroll_loop(false);
    EXPECT_EQ(stack::top_frame(), loop) << "the record stays; the base is cut back to its caller";
    EXPECT_EQ(stack::state.base, stack::cell_at(loop->saved_base));
}
