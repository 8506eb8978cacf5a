// The cycle guard: the series and contexts that the recursive walks (form, mold, compare, copy, bind,
// ownership marking) are currently inside. A value found here is a cycle; the stack's fixed size also
// bounds how deep such walks nest.
// Invariant: entries from the start to the cursor are the nodes being walked, outermost first.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::cycles {

inline constexpr std::uint32_t capacity = 1000;

void init();
// The 1,000th entry empties the stack and raises internal too-deep: at most 999 levels are walked.
void push(NodeId);
void pop(); // nothing when empty
void drop(std::uint32_t count);
void reset();
bool find(NodeId);
inline std::uint32_t depth();

// Catching frames save the cursor and an unwinding that lands there puts it back, so a walk that an
// error or a halt left midway leaves no stale entries behind.
std::uint32_t save();
void restore(std::uint32_t saved);

// The node that identifies a value's contents on the stack: an object's context node (word 1), a
// series' node (word 2).
NodeId node_of(Cell const& value);

// The marker that molding (or forming) writes in place of a value already being walked (string's
// append_cycle_marker writes it). Molded / formed: block! and hash! "[...]" / "...", paren! "(...)" / "...",
// map! "#[...]" / "...", object! "make object! [...]" / "...", the path family "..." either way.
char const* marker_text(TypeId type, bool mold);

// The collector rewrites moved nodes.
template <typename Visit> void for_each_entry(Visit&& visit);

struct CycleState {
    NodeId* entries = nullptr; // `capacity` entries on the tracked heap
    std::uint32_t cursor = 0;
};
extern CycleState state;

inline std::uint32_t depth()
{
    return state.cursor;
}

template <typename Visit> void for_each_entry(Visit&& visit)
{
    for (std::uint32_t i = 0; i < state.cursor; ++i) visit(state.entries[i]);
}

}
