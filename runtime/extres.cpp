// The external-resource registry: a slot table on the tracked heap threaded into a live list and a
// free list, and the kinds whose handlers release the OS objects.

#include "runtime/extres.h"

#include "runtime/assert.h"
#include "runtime/heap.h"

namespace xol::extres {

ExtresState state;

namespace {

Slot free_slot(std::int32_t next)
{
    return { free_mark, nullptr, next };
}

Slot& slot_at(std::int32_t index)
{
    XOL_ASSERT(index >= 0 && static_cast<std::uint32_t>(index) < state.capacity, "resource slot out of range");
    return state.slots[index];
}

void free_slots(std::uint32_t first, std::uint32_t end)
{
    for (std::uint32_t i = first; i < end; ++i) state.slots[i] = free_slot(static_cast<std::int32_t>(i + 1));
    state.slots[end - 1].next = end_of_list;
}

// Doubles the table and hangs the new slots after the last free one, which is `last_free`.
void grow(std::int32_t last_free)
{
    std::uint32_t const old_capacity = state.capacity;
    std::uint32_t const new_capacity = old_capacity * 2;
    state.slots = static_cast<Slot*>(heap::reallocate(state.slots, new_capacity * sizeof(Slot)));
    state.capacity = new_capacity;
    free_slots(old_capacity, new_capacity);
    state.slots[last_free].next = static_cast<std::int32_t>(old_capacity);
}

void unlink_live(std::int32_t index)
{
    if (state.live_head == index) {
        state.live_head = state.slots[index].next;
        return;
    }
    std::int32_t previous = state.live_head;
    while (previous != end_of_list && state.slots[previous].next != index) previous = state.slots[previous].next;
    XOL_ASSERT(previous != end_of_list, "resource slot not on the live list");
    if (previous != end_of_list) state.slots[previous].next = state.slots[index].next;
}

void push_free(std::int32_t index)
{
    state.slots[index] = free_slot(state.free_head);
    state.free_head = index;
}

}

void init()
{
    state.kind_count = 0;
    for (Kind& kind : state.kinds) kind = { nullptr, nullptr };
    // A second start-up in the same process replaces the table the first one made.
    heap::free(state.slots);
    state.slots = static_cast<Slot*>(heap::allocate(initial_slots * sizeof(Slot)));
    state.capacity = initial_slots;
    free_slots(0, initial_slots);
    state.free_head = 0;
    state.live_head = end_of_list;
}

std::uint32_t register_kind(char const* name, ReleaseHandler release)
{
    XOL_ASSERT(state.kind_count < max_kinds, "too many resource kinds");
    state.kinds[state.kind_count] = { name, release };
    return ++state.kind_count;
}

std::int32_t add(void* object, std::uint32_t kind_word)
{
    XOL_ASSERT((kind_word & (free_mark | collector_mark)) == 0, "resource kind word uses reserved bits");
    // Growing before the last free slot is taken keeps the free list from ever running empty.
    if (slot_at(state.free_head).next == end_of_list) grow(state.free_head);
    std::int32_t const index = state.free_head;
    state.free_head = state.slots[index].next;
    state.slots[index] = { kind_word, object, state.live_head };
    state.live_head = index;
    return index;
}

void remove(std::int32_t index, bool release)
{
    Slot& slot = slot_at(index);
    XOL_ASSERT((slot.kind_word & free_mark) == 0, "resource slot removed twice");
    if (release) release_object(slot.kind_word, slot.object);
    unlink_live(index);
    push_free(index);
}

void set_object(std::int32_t index, void* object)
{
    Slot& slot = slot_at(index);
    void* old_object = slot.object;
    slot.object = object;
    if (old_object != object) release_object(slot.kind_word, old_object);
}

void release_object(std::uint32_t kind_word, void* object)
{
    std::uint32_t const kind = kind_word & kind_mask;
    if (kind == 0) return;
    XOL_ASSERT(kind <= state.kind_count, "resource of an unregistered kind");
    if (kind > state.kind_count) return;
    if (ReleaseHandler release = state.kinds[kind - 1].release) release(object);
}

bool mark(std::int32_t index, void* object)
{
    Slot& slot = slot_at(index);
    bool const was_unmarked = (slot.kind_word & collector_mark) == 0;
    slot.kind_word |= collector_mark;
    if (object) slot.object = object;
    return was_unmarked;
}

void sweep()
{
    std::int32_t previous = end_of_list;
    std::int32_t index = state.live_head;
    while (index != end_of_list) {
        Slot& slot = state.slots[index];
        std::int32_t const next = slot.next;
        if (slot.kind_word & collector_mark) {
            slot.kind_word &= ~collector_mark;
            previous = index;
        } else {
            release_object(slot.kind_word, slot.object);
            (previous == end_of_list ? state.live_head : state.slots[previous].next) = next;
            push_free(index);
        }
        index = next;
    }
}

}
