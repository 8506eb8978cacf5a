// The cycle guard: a fixed stack of the nodes that recursive walks are inside, and the markers that
// molding prints in place of a value already being molded.

#include "runtime/cycles.h"

#include "runtime/errors.h"
#include "runtime/heap.h"

namespace xol::cycles {

CycleState state;

void init()
{
    // A second start-up in the same process keeps the table it already has.
    if (!state.entries) state.entries = static_cast<NodeId*>(heap::allocate(capacity * sizeof(NodeId)));
    state.cursor = 0;
}

void push(NodeId node)
{
    state.entries[state.cursor++] = node;
    if (state.cursor == capacity) {
        // The raise unwinds every walk at once, so none of their entries stays meaningful.
        state.cursor = 0;
        fire_error(err::internal::too_deep);
    }
}

void pop()
{
    if (state.cursor > 0) --state.cursor;
}

void drop(std::uint32_t count)
{
    state.cursor = count > state.cursor ? 0 : state.cursor - count;
}

void reset()
{
    state.cursor = 0;
}

bool find(NodeId node)
{
    for (std::uint32_t i = 0; i < state.cursor; ++i)
        if (state.entries[i] == node) return true;
    return false;
}

std::uint32_t save()
{
    return state.cursor;
}

// Only ever lowers the cursor: entries above a reset may have been overwritten since.
void restore(std::uint32_t saved)
{
    if (saved < state.cursor) state.cursor = saved;
}

NodeId node_of(Cell const& value)
{
    switch (cell::type_of(value)) {
    case type_ids::object:
    case type_ids::error:
    case type_ids::port:
        return value.word1;
    default:
        return value.word2;
    }
}

char const* marker_text(TypeId type, bool mold)
{
    if (!mold) return "...";
    switch (type) {
    case type_ids::block:
    case type_ids::hash:
        return "[...]";
    case type_ids::paren:
        return "(...)";
    case type_ids::map:
        return "#[...]";
    case type_ids::object:
        return "make object! [...]";
    default:
        return "...";
    }
}

}
