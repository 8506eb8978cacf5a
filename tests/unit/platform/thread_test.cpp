// Tests of the interpreter's large stack: the body runs over it on the calling thread, its result comes
// back, exceptions thrown and caught inside it unwind there, and the guard region lies just below it.

#include "runtime/platform/thread.h"

#include <cstdint>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

constexpr std::size_t stack_bytes = std::size_t { 8 } << 20;

struct Seen {
    std::uintptr_t local = 0;
    std::thread::id thread;
    int depth_reached = 0;
    bool caught = false;
};

// Deep enough to need far more than a page of the new stack, shallow enough for the smallest one.
int recurse(int depth)
{
    volatile char pad[256] = {};
    if (depth == 0) return pad[0];
    return recurse(depth - 1) + 1 + pad[255];
}

int body(void* given)
{
    auto* seen = static_cast<Seen*>(given);
    int local = 0;
    seen->local = reinterpret_cast<std::uintptr_t>(&local);
    seen->thread = std::this_thread::get_id();
    seen->depth_reached = recurse(2'000);
    try {
        throw std::runtime_error("inside");
    } catch (std::runtime_error const&) {
        seen->caught = true;
    }
    return 42;
}

TEST(LargeStack, RunsTheBodyOnItsOwnStackInTheCallingThread)
{
    Seen seen;
    int const result = run_on_large_stack(body, &seen, stack_bytes);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(seen.depth_reached, 2'000);
    EXPECT_TRUE(seen.caught);
    // The guard region sits just below the stack, and the body's locals lie above it, within the stack.
    EXPECT_FALSE(is_in_stack_guard(seen.local));
    std::uintptr_t guard_end = seen.local;
    while (!is_in_stack_guard(guard_end - 1) && seen.local - guard_end < stack_bytes) --guard_end;
    EXPECT_TRUE(is_in_stack_guard(guard_end - 1));
    EXPECT_LT(seen.local - guard_end, stack_bytes);
}

TEST(LargeStack, RunsAgainAfterReturning)
{
    for (int round = 0; round < 3; ++round) {
        Seen seen;
        EXPECT_EQ(run_on_large_stack(body, &seen, stack_bytes), 42) << round;
        EXPECT_TRUE(seen.caught) << round;
    }
}

}
}
