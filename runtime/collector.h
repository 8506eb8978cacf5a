// The garbage collector: stop-the-world mark and compact. Marking starts from explicit roots and follows
// the node references of cells with an explicit work stack (never C++ recursion); compaction slides live
// buffers together, frame by frame, and rewrites only node slots (heads and tails are offsets). Before
// marking it may empty sparsely used node frames whose use has been stable, moving their nodes and
// rewriting every reference that marking meets.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::gc {

using MarkCallback = void (*)();

// A full collection marks everything live, so collecting whenever the series frames fill would cost a
// program that builds a large live set one full marking per frame it fills: the square of its size. A
// collection is due instead once the bytes allocated since the last one pass a budget that grows with
// what that collection left live, so that marking costs at most a fixed share of each byte allocated,
// and memory grows to at most about one and a half times the live data (plus the budget's floor) before
// garbage is reclaimed. A collection that reclaimed less than half of what was allocated since the one
// before met a program that is building its live data (a table filled with fresh keys, say): marking it all
// again after half its size would mostly find the same data live, so the next one waits for as much again
// as is live, and memory may reach twice the live data there. Until a collection is due, a request that finds
// no room gets a new frame or big buffer; one that the OS refuses collects first.
inline constexpr std::uint64_t smallest_budget = std::uint64_t { 8 } << 20;

// The budget after a collection that left `live` bytes of series in use and reclaimed `reclaimed` of the
// `allocated` bytes allocated since the collection before.
inline std::uint64_t budget_after(std::uint64_t live, std::uint64_t allocated = 0, std::uint64_t reclaimed = 0)
{
    std::uint64_t const share = allocated != 0 && reclaimed < allocated / 2 ? live : live / 2;
    return share > smallest_budget ? share : smallest_budget;
}

struct CollectorState {
    // Collection runs only while enabled; start-up enables it once everything made before is rooted.
    bool enabled = false;
    bool collecting = false;
    bool relocate_nodes = true;
    // XOL_GC_STRESS=1 in the environment: every allocation collects, so a value that C++ code forgot to
    // root is lost at once instead of one day.
    bool stress = false;
    std::uint32_t collections = 0;
    std::uint32_t node_relocations = 0;
    std::uint32_t holds = 0; // live CollectionHold guards: while above 0, allocation never collects
    // Pacing: the series bytes allocated since the last collection, and how many of them make the next one
    // due (see budget_after).
    std::uint64_t allocated = 0;
    std::uint64_t budget = smallest_budget;
};

extern CollectorState state;

inline constexpr std::uint32_t history_depth = 5;
inline constexpr std::uint32_t max_callbacks = 100;

void init(); // reads the stress switch; counters to 0

// Collects when enabled, not already collecting and not held.
void collect_if_enabled();
// Whether allocating `bytes` more would pass the budget. The allocator counts each buffer in `allocated`.
inline bool collection_due(std::uint64_t bytes)
{
    return state.allocated + bytes > state.budget;
}
void collect();

// Mark callbacks run during marking, in order of registration; they mark what they hold with the
// functions below. A removed callback leaves its place empty.
void add_callback(MarkCallback);
void remove_callback(MarkCallback);

// Process-wide roots of the runtime's own modules (the root block, the symbol table, the global context...):
// marked at every collection, and rewritten when their nodes move.
void add_root(Cell* cell);
void add_root_node(NodeId* node);
void clear_roots(); // a fresh start-up in tests

// For mark callbacks and the marking of other modules. Each takes the reference itself, so that a moved
// node is rewritten in place.
bool mark_node(NodeId& node); // true when newly marked
void mark_series(NodeId& node); // the node, and the cells of a cell series
void mark_context(NodeId& node);
void mark_cell(Cell& cell);
// Whether the buffer of a node (moved or not) was marked in this collection: for the sweeps of tables
// whose entries hold nothing alive.
bool is_marked(NodeId node);

// While one lives, no allocation collects, so no node and no buffer moves. For code that keeps buffer
// addresses across calls that never allocate by design (the comparisons of an in-place sort): should one
// allocate all the same, the addresses stay valid. What is allocated meanwhile waits for the next collection.
class CollectionHold {
public:
    CollectionHold() { ++state.holds; }
    ~CollectionHold() { --state.holds; }
    CollectionHold(CollectionHold const&) = delete;
    CollectionHold& operator=(CollectionHold const&) = delete;
};

// The root block: values made during start-up that must live for the whole run.
Cell& root_block();

}
