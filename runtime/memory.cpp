// The memory manager's frames: node frames and their slots, series frames, big buffers, and the OS
// blocks under them.

#include "runtime/memory.h"

#include <algorithm>
#include <cstring>

#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/thread.h"
#include "runtime/quit.h"

namespace xol {

namespace memory {

MemoryState state {};

namespace {

constexpr std::size_t node_frame_bytes = node_frame_stride * sizeof(std::uintptr_t);
static_assert(node_frame_bytes % platform::page_size == 0);

std::uint64_t rounded_to_pages(std::uint64_t bytes)
{
    return (bytes + platform::page_size - 1) & ~std::uint64_t { platform::page_size - 1 };
}

// Taken again when the OS has room for it: once a raised refusal is on its way to its catcher (its error
// may not have needed the whole reserve), and whenever blocks go back to the OS, though not while the
// error is still being made, which may need every byte.
void rearm_reserve()
{
    if (!state.reserve && !state.raising_no_memory) state.reserve = platform::reserve(reserve_bytes);
}

// Set while a refusal is raised, cleared as the unwinding leaves the refused allocation.
class RaisingNoMemory {
public:
    RaisingNoMemory() { state.raising_no_memory = true; }
    ~RaisingNoMemory()
    {
        state.raising_no_memory = false;
        rearm_reserve();
    }
    RaisingNoMemory(RaisingNoMemory const&) = delete;
    RaisingNoMemory& operator=(RaisingNoMemory const&) = delete;
};

// An OS block for a frame or a big buffer, counted in the OS total; nullptr when refused.
std::byte* os_try_alloc(std::uint64_t bytes)
{
    void* block = platform::os_alloc(bytes);
    if (block) state.os_total += rounded_to_pages(bytes);
    return static_cast<std::byte*>(block);
}

// An OS block made longer, counted anew; nullptr when refused (the block is then unchanged).
std::byte* os_try_grow(void* block, std::uint64_t bytes, std::uint64_t new_bytes)
{
    void* grown = platform::os_grow(block, bytes, new_bytes);
    if (grown) state.os_total += rounded_to_pages(new_bytes) - rounded_to_pages(bytes);
    return static_cast<std::byte*>(grown);
}

void os_free(void* block, std::uint64_t bytes)
{
    state.os_total -= rounded_to_pages(bytes);
    if (!platform::os_free(block, bytes)) fire_error(err::internal::wrong_mem);
    rearm_reserve();
}

}

// Making the error value, and printing it when nothing catches it, need memory too: the reserve goes back
// to the OS first, and a refusal met while the error is made or printed ends the run with runtime error 94
// instead of raising again inside the raise.
void raise_refusal()
{
    if (state.raising_no_memory) runtime::quit(runtime::status_out_of_memory, runtime::here());
    if (state.reserve) platform::release(state.reserve, reserve_bytes);
    state.reserve = nullptr;
    RaisingNoMemory const raising;
    fire_error(err::internal::no_memory);
}

AddressSpaceShares shares_for(std::uint64_t address_space_limit, std::uint64_t full_stack_bytes)
{
    std::uint64_t const full_region_bytes = std::uint64_t { node_region_frames } * node_frame_bytes;
    if (address_space_limit == platform::no_address_space_limit) return { full_stack_bytes, node_region_frames, true };
    std::uint64_t const eighth = address_space_limit / 8;
    std::uint64_t const smallest_stack = std::min(smallest_stack_bytes, full_stack_bytes);
    std::uint64_t const stack_bytes = std::clamp(eighth, smallest_stack, full_stack_bytes) & ~(platform::page_size - 1);
    auto const region_frames = static_cast<std::uint32_t>(std::min(eighth, full_region_bytes) / node_frame_bytes);
    // A quarter for the stack at most: below that the library could not even be loaded.
    return { stack_bytes, region_frames, address_space_limit / 4 >= smallest_stack && region_frames > 0 };
}

void init()
{
    state = MemoryState {};
    state.first_frame_size = first_series_frame_size;
    state.next_frame_size = first_series_frame_size;
    state.largest_frame_size = largest_series_frame_size;
    state.region_frames
        = shares_for(platform::address_space_limit(), platform::interpreter_stack_size).node_region_frames;
    state.node_slots
        = static_cast<std::uintptr_t*>(platform::reserve(std::uint64_t { state.region_frames } * node_frame_bytes));
    // Nothing can run without the region, and no error can be made yet: the run ends here with its report.
    if (!state.node_slots) runtime::quit(runtime::status_out_of_memory, runtime::here());
    state.frame_at_position = static_cast<NodeFrame**>(heap::allocate_zeroed(state.region_frames * sizeof(NodeFrame*)));
    rearm_reserve();
}

std::uint64_t series_bytes_in_use()
{
    std::uint64_t bytes = 0;
    for (SeriesFrame* frame = state.series_head; frame; frame = frame->next)
        bytes += static_cast<std::uint64_t>(frame->fill - frame->start());
    for (BigBuffer* block = state.big_head; block; block = block->next) bytes += block->size - frame_data_offset;
    return bytes;
}

void release_all()
{
    while (state.node_head) node_frame::release(state.node_head);
    while (state.series_head) series_frame::release(state.series_head);
    while (state.big_head) big_buffer::release(state.big_head->buffer());
    if (state.node_slots) platform::release(state.node_slots, std::uint64_t { state.region_frames } * node_frame_bytes);
    if (state.reserve) platform::release(state.reserve, reserve_bytes);
    heap::free(state.frame_at_position);
    state = MemoryState {};
}

}

using memory::state;

// Node frames and nodes.

namespace node_frame {

memory::NodeFrame* make(std::uint32_t slot_count)
{
    XOL_ASSERT(slot_count >= 1 && slot_count <= memory::node_frame_stride - 1, "node frame size");
    std::uint32_t position = 0;
    while (position < state.region_frames && state.frame_at_position[position]) ++position;
    if (position == state.region_frames) memory::raise_refusal();
    std::uintptr_t* slots = state.node_slots + std::size_t { position } * memory::node_frame_stride;
    if (!platform::commit(slots, memory::node_frame_bytes)) memory::raise_refusal();
    // The free list below writes every slot: its pages come in with one call rather than a fault each.
    platform::prefault(slots, memory::node_frame_bytes);
    state.os_total += memory::node_frame_bytes;

    auto* frame = static_cast<memory::NodeFrame*>(heap::allocate_zeroed(sizeof(memory::NodeFrame)));
    frame->position = position;
    frame->slot_count = slot_count;
    frame->collection_count = gc::state.collections;
    NodeId const first = frame->first_id();
    NodeId const last = first + slot_count - 1;
    for (NodeId id = first; id < last; ++id) state.node_slots[id] = (std::uintptr_t { id + 1 } << 1) | 1;
    state.node_slots[last] = 1;
    frame->free_head = first;
    state.frame_at_position[position] = frame;

    frame->previous = state.node_tail;
    if (state.node_tail)
        state.node_tail->next = frame;
    else
        state.node_head = state.node_current = frame;
    state.node_tail = frame;
    return frame;
}

void release(memory::NodeFrame* frame)
{
    (frame->previous ? frame->previous->next : state.node_head) = frame->next;
    (frame->next ? frame->next->previous : state.node_tail) = frame->previous;
    if (state.node_current == frame) state.node_current = state.node_tail;
    std::uintptr_t* slots = state.node_slots + std::size_t { frame->position } * memory::node_frame_stride;
    platform::decommit(slots, memory::node_frame_bytes);
    state.os_total -= memory::node_frame_bytes;
    state.frame_at_position[frame->position] = nullptr;
    heap::free(frame);
}

void sweep()
{
    bool current_chosen = false;
    for (memory::NodeFrame* frame = state.node_head; frame;) {
        memory::NodeFrame* next = frame->next;
        if (frame->used == 0 || frame->retired) {
            release(frame);
        } else {
            if (!current_chosen && frame->used < frame->slot_count) {
                state.node_current = frame;
                current_chosen = true;
            }
            frame->history = (frame->history << 1) | (frame->used == frame->used_at_previous_collection ? 1u : 0u);
            frame->used_at_previous_collection = frame->used;
        }
        frame = next;
    }
}

}

namespace node {

NodeId alloc()
{
    memory::NodeFrame* frame = state.node_current;
    if (!frame || frame->free_head == no_node || frame->retired) {
        frame = state.node_head;
        while (frame && (frame->free_head == no_node || frame->retired)) frame = frame->next;
        if (!frame) frame = node_frame::make();
        state.node_current = frame;
    }
    NodeId const id = frame->free_head;
    frame->free_head = static_cast<NodeId>(state.node_slots[id] >> 1);
    state.node_slots[id] = 0;
    ++frame->used;
    return id;
}

memory::NodeFrame* frame_of(NodeId id)
{
    return state.frame_at_position[id / memory::node_frame_stride];
}

void free(NodeId id)
{
    memory::NodeFrame* frame = frame_of(id);
    XOL_ASSERT(frame && !is_free(id), "freeing a node that is not live");
    state.node_slots[id] = (std::uintptr_t { frame->free_head } << 1) | 1;
    frame->free_head = id;
    --frame->used;
}

}

// Series frames.

namespace series_frame {

memory::SeriesFrame* make()
{
    memory::SeriesFrame* frame = try_make();
    if (!frame) memory::raise_refusal();
    return frame;
}

memory::SeriesFrame* try_make()
{
    std::uint32_t const size = state.next_frame_size;
    std::uint64_t const block_size = memory::frame_data_offset + std::uint64_t { size };
    auto* frame = reinterpret_cast<memory::SeriesFrame*>(memory::os_try_alloc(block_size));
    if (!frame) return nullptr;
    // The first buffers go at the frame's start: its first pages come in with one call. Later ones come
    // in as the fill reaches them (series::cut_from_frames).
    platform::prefault(frame, std::min<std::uint64_t>(block_size, memory::series_prefault_bytes));
    if (size < state.largest_frame_size) state.next_frame_size = size * 2;
    frame->next = frame->previous = nullptr;
    frame->size = block_size;
    frame->fill = frame->start();
    frame->end = frame->start() + size;

    if (!state.series_head) {
        state.series_head = state.series_tail = state.series_current = frame;
    } else if (frame < state.series_head) {
        frame->next = state.series_head;
        state.series_head->previous = frame;
        state.series_head = frame;
    } else {
        memory::SeriesFrame* after = state.series_head;
        while (after->next && after->next < frame) after = after->next;
        frame->next = after->next;
        frame->previous = after;
        (after->next ? after->next->previous : state.series_tail) = frame;
        after->next = frame;
    }
    return frame;
}

memory::SeriesFrame* find_room(std::uint64_t bytes)
{
    for (memory::SeriesFrame* frame = state.series_head; frame; frame = frame->next)
        if (static_cast<std::uint64_t>(frame->end - frame->fill) > bytes) return frame;
    return nullptr;
}

void release(memory::SeriesFrame* frame)
{
    (frame->previous ? frame->previous->next : state.series_head) = frame->next;
    (frame->next ? frame->next->previous : state.series_tail) = frame->previous;
    if (state.series_current == frame) state.series_current = state.series_tail;
    memory::os_free(frame, frame->size);
}

}

// Big buffers.

namespace big_buffer {

namespace {

memory::BigBuffer* block_of(SeriesBuffer* buffer)
{
    return reinterpret_cast<memory::BigBuffer*>(reinterpret_cast<std::byte*>(buffer) - memory::frame_data_offset);
}

}

SeriesBuffer* make(std::uint64_t bytes)
{
    SeriesBuffer* buffer = try_make(bytes);
    if (!buffer) memory::raise_refusal();
    return buffer;
}

SeriesBuffer* try_make(std::uint64_t bytes)
{
    std::uint64_t const block_size = memory::frame_data_offset + bytes;
    auto* block = reinterpret_cast<memory::BigBuffer*>(memory::os_try_alloc(block_size));
    if (!block) return nullptr;
    block->next = nullptr;
    block->previous = state.big_tail;
    block->size = block_size;
    (state.big_tail ? state.big_tail->next : state.big_head) = block;
    state.big_tail = block;
    return block->buffer();
}

SeriesBuffer* try_grow(SeriesBuffer* buffer, std::uint64_t bytes)
{
    memory::BigBuffer* block = block_of(buffer);
    std::uint64_t const block_size = memory::frame_data_offset + bytes;
    if (block_size < block->size) return nullptr;
    auto* grown = reinterpret_cast<memory::BigBuffer*>(memory::os_try_grow(block, block->size, block_size));
    if (!grown) return nullptr;
    grown->size = block_size;
    (grown->previous ? grown->previous->next : state.big_head) = grown;
    (grown->next ? grown->next->previous : state.big_tail) = grown;
    return grown->buffer();
}

void release(SeriesBuffer* buffer)
{
    memory::BigBuffer* block = block_of(buffer);
    (block->previous ? block->previous->next : state.big_head) = block->next;
    (block->next ? block->next->previous : state.big_tail) = block->previous;
    memory::os_free(block, block->size);
}

void sweep(void (*release_node)(NodeId))
{
    for (memory::BigBuffer* block = state.big_head; block;) {
        memory::BigBuffer* next = block->next;
        SeriesBuffer* buffer = block->buffer();
        if (buffer->flags & series_flags::marked) {
            buffer->flags &= ~series_flags::marked;
        } else {
            if (buffer->node != no_node) release_node(buffer->node);
            release(buffer);
        }
        block = next;
    }
}

}

}
