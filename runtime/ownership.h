// Series ownership: an object with an `on-deep-change*` handler owns the series held in its fields (and
// the series nested in them), and hears of every change made to them in place. The ownership table, keyed
// by the owned series' node (an object's context node), holds for each key {the owned value, the owner
// object, the owner's field word}. The table is a root of the collector: its records keep the owned
// series and their owners alive until they are unbound.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::ownership {

using SymbolId = std::uint32_t;

inline constexpr std::uint32_t owned_flag = 0x20000; // series buffer flags: the series is owned
inline constexpr std::uint32_t image_owned_flag = 0x10000; // an image! value's header: the image is owned
inline constexpr std::uint32_t owner_flag = 0x10000; // an owner's context cell header: it owns series

struct OwnershipState {
    NodeId table = no_node;
};
extern OwnershipState state;

void init(); // May allocate.

// Binds `value` (recursively into blocks and objects) to `owner` under `word`, then flags the owner.
// May allocate.
void bind(Cell const& value, Cell const& owner, Cell const& word);
void bind_series(Cell const& value, Cell const& owner, Cell const& word);
void unbind(Cell const& value);
void unbind_range(Cell const& block, std::uint32_t index, std::uint32_t count);

// The owner cell of the series of `node`, nullptr when it is not owned. Valid until the next allocation.
Cell const* find(NodeId node);

// Tells the owner of `series` (when it has one with an event record) of a change, through object!'s
// on-deep-change* service; true when told. May allocate, may raise.
bool check(Cell const& series, SymbolId action, Cell const* new_value, std::int32_t index, std::int32_t part);

// The collector's parts: the table and its records as a root, and after marking the removal of any
// record whose key or owner was not marked.
void mark();
void sweep();

}
