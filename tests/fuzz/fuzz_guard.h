// What the fuzz targets share: each step runs as a script's `try` would run it, so a raised error ends the
// step and leaves the stacks as they were before it.
#pragma once

#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol::fuzz {

// Runs `action` inside a try frame; answers whether it raised (the error is then errors::last_raised()).
template <typename Action> bool raised(Action&& action)
{
    CallFrame* frame = stack::push_try_frame(cell::make(type_ids::word));
    try {
        action();
    } catch (Unwind const&) {
        stack::land(frame);
        stack::reset_to_last();
        stack::drop_arguments();
        return true;
    }
    stack::pop_frame_empty();
    return false;
}

}
