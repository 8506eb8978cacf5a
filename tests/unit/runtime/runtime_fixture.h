// A fresh runtime for each test, released afterwards, and a way to catch the errors a test provokes.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "app/services.h"
#include "app/startup.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/services.h"
#include "runtime/stack.h"

// Collection is enabled as in a running program, so that XOL_GC_STRESS=1 collects at every allocation.
struct RuntimeTest : ::testing::Test {
    void SetUp() override
    {
        xol::app::init();
        xol::gc::state.enabled = true;
    }
    void TearDown() override { xol::memory::release_all(); }
};

// Runs `action` inside a try frame, as a script's `try` would, and answers the id of the error it raised
// (nullopt when it raised nothing). The stacks are left as the try found them.
template <typename Action> std::optional<xol::ErrorId> raised_by(Action&& action)
{
    using namespace xol;
    Cell const word = cell::make(type_ids::word);
    CallFrame* frame = stack::push_try_frame(word);
    try {
        action();
    } catch (Unwind const& unwind) {
        EXPECT_EQ(unwind.code, UnwindCode::Error);
        stack::land(frame);
        stack::reset_to_last();
        stack::drop_arguments();
        return errors::last_raised().id;
    }
    stack::pop_frame_empty();
    return std::nullopt;
}
