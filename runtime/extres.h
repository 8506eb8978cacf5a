// The external-resource registry: OS objects owned by values. Each slot names a kind whose release handler frees the
// object; handle! values carry the slot's index, and the collector releases every slot no marked value reached.
// Invariant: every slot is on exactly one of two lists, the live list (newest first) and the free list,
// and the free list never runs empty (the table grows before its last free slot is taken).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol {

namespace extres {

using ReleaseHandler = void (*)(void* object);

inline constexpr std::uint32_t max_kinds = 20;
inline constexpr std::uint32_t initial_slots = 1000;
inline constexpr std::uint32_t kind_mask = 0xFF;
inline constexpr std::uint32_t free_mark = 0x40000000;
inline constexpr std::uint32_t collector_mark = 0x80000000;
inline constexpr std::int32_t end_of_list = -1;

struct Slot {
    std::uint32_t kind_word; // kind index in bits 0-7 (0 = none); callers' flags above, except bits 30 and 31
    void* object;
    std::int32_t next;
};

struct Kind {
    char const* name;
    ReleaseHandler release;
};

struct ExtresState {
    Kind kinds[max_kinds];
    std::uint32_t kind_count;
    Slot* slots; // on the tracked heap
    std::uint32_t capacity;
    std::int32_t live_head;
    std::int32_t free_head;
};
extern ExtresState state;

void init();
std::uint32_t register_kind(char const* name, ReleaseHandler); // the 1-based kind index
std::int32_t add(void* object, std::uint32_t kind_word); // the slot index
void remove(std::int32_t slot, bool release);
void set_object(std::int32_t slot, void* object); // releases the old object when it differs
void release_object(std::uint32_t kind_word, void* object);
bool mark(std::int32_t slot, void* object); // true when it was unmarked; a non-null object replaces, unreleased
template <typename Visit> void for_each_of_kind(std::uint32_t kind, Visit&& visit);
void sweep(); // after marking: releases and frees every unmarked live slot

template <typename Visit> void for_each_of_kind(std::uint32_t kind, Visit&& visit)
{
    for (std::int32_t i = state.live_head; i != end_of_list; i = state.slots[i].next)
        if ((state.slots[i].kind_word & kind_mask) == kind) visit(state.slots[i].object);
}

}

}
