// The cycle guard: a fixed stack of the nodes that recursive walks are inside, and the markers that
// molding prints in place of a value already being molded.

#include "runtime/cycles.h"

#include <cstring>
#include <string_view>

#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/series.h"

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

bool mold_marker(Cell const& value, Cell& output, std::int32_t& remaining, bool mold)
{
    if (!find(node_of(value))) return false;
    std::string_view const marker = marker_text(cell::type_of(value), mold);
    auto const length = static_cast<std::uint32_t>(marker.size());
    // TODO: string appends move to the string module once string! exists.
    NodeId const node = output.word2;
    std::uint32_t const unit = node::buffer(node)->unit();
    std::byte* place = series::append_bytes(node, length * unit);
    for (char const character : marker) {
        // Markers are ASCII: each byte widens to one unit of the string's own width.
        auto const code = static_cast<unsigned char>(character);
        if (unit == 1) {
            *place = std::byte { code };
        } else if (unit == 2) {
            auto const wide = static_cast<std::uint16_t>(code);
            std::memcpy(place, &wide, sizeof wide);
        } else {
            auto const wide = static_cast<std::uint32_t>(code);
            std::memcpy(place, &wide, sizeof wide);
        }
        place += unit;
    }
    remaining -= static_cast<std::int32_t>(length);
    return true;
}

}
