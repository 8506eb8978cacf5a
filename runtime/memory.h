// The memory manager: node slots from node frames, series buffers cut from series frames, and big
// buffers that live alone. Nothing here frees a buffer on request: the collector reclaims buffers,
// compacts frames and calls the sweeps below.
//
// Node ids index one reserved region of node slots. Node frame k owns the slots k * node_frame_stride + 1
// to k * node_frame_stride + node_frame_slots, so id 0 is never a node and a frame's slots are whole
// pages that can be given back to the OS. A live slot holds its buffer's address (or 0 before one is
// set); a free slot holds (next free id << 1) | 1, chained only within its own frame, so the odd value
// tells a free slot from a live one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/series_buffer.h"

namespace xol {

namespace memory {

inline constexpr std::uint32_t node_frame_slots = 10'000;
inline constexpr std::uint32_t node_frame_stride = 10'240; // slots per frame position: 20 whole pages
inline constexpr std::uint32_t node_region_frames = 52'428; // room for about 524 million nodes, without a limit
inline constexpr std::uint32_t first_series_frame_size = 0x100000;
inline constexpr std::uint32_t largest_series_frame_size = 0x200000; // also the big-buffer threshold
inline constexpr std::uint32_t big_buffer_threshold = largest_series_frame_size;
// The pages of a series frame are faulted in this many bytes at a time, ahead of its fill.
inline constexpr std::uint32_t series_prefault_bytes = 0x10000;
// After a collection that left no room, a frame with less free space than this is passed over and a
// new frame is made: otherwise every few allocations would collect again.
inline constexpr std::uint32_t crowded_frame_limit = 0xCCCC;
// The largest data area of one buffer. Offsets and lengths then fit comfortably in 32 bits.
inline constexpr std::uint64_t max_capacity = 0x7FFF'FFF0;

// How start-up shares an address-space limit between its two large reservations. The limit counts a
// reservation whole, touched or not, so under a limit each takes at most an eighth of it and the rest stays
// for the data; without one both take their full sizes. The stack never gets less than a smallest size
// that the frame stack's depth limit cannot exhaust, so the language's stack overflow still fires before
// the machine's.
inline constexpr std::uint64_t smallest_stack_bytes = std::uint64_t { 64 } << 20;

struct AddressSpaceShares {
    std::uint64_t stack_bytes; // the interpreter thread's machine stack
    std::uint32_t node_region_frames; // frame positions of the node region
    bool enough; // false: the limit leaves too little beside the smallest stack to start at all
};

// `full_stack_bytes` is the stack taken without a limit (it caps the share).
AddressSpaceShares shares_for(std::uint64_t address_space_limit, std::uint64_t full_stack_bytes);

struct NodeFrame {
    NodeFrame* next;
    NodeFrame* previous;
    std::uint32_t position; // frame k of the node region
    std::uint32_t slot_count; // node_frame_slots
    NodeId free_head; // no_node when full
    std::uint32_t used;
    std::uint32_t collection_count; // the collector's count when the frame was made
    std::uint32_t used_at_previous_collection;
    std::uint32_t history; // one bit a collection, newest lowest: 1 when the used count did not change
    bool retired; // being emptied by the collector: gives no new slots, released after the collection

    NodeId first_id() const { return position * node_frame_stride + 1; }
};

struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* previous;
    std::uint64_t size; // the whole OS block
    std::byte* fill; // where the next buffer goes
    std::byte* end; // end of the data area

    std::byte* start();
};

struct BigBuffer {
    BigBuffer* next;
    BigBuffer* previous;
    std::uint64_t size; // the whole OS block

    SeriesBuffer* buffer();
};

// Headers sit at the start of their OS block; the first buffer follows at this offset, so that every
// data area is 8-byte aligned (a buffer header and its slack take 24 bytes).
inline constexpr std::size_t frame_data_offset = 44;
static_assert(sizeof(SeriesFrame) <= frame_data_offset && sizeof(BigBuffer) <= frame_data_offset);
static_assert((frame_data_offset + buffer_header_size) % 16 == 0);

inline std::byte* SeriesFrame::start()
{
    return reinterpret_cast<std::byte*>(this) + frame_data_offset;
}
inline SeriesBuffer* BigBuffer::buffer()
{
    return reinterpret_cast<SeriesBuffer*>(reinterpret_cast<std::byte*>(this) + frame_data_offset);
}

struct MemoryState {
    std::uint64_t os_total; // bytes currently obtained from the OS for frames and big buffers
    NodeFrame* node_head;
    NodeFrame* node_tail;
    NodeFrame* node_current;
    SeriesFrame* series_head; // in ascending address order
    SeriesFrame* series_current;
    SeriesFrame* series_tail;
    std::uint32_t first_frame_size;
    std::uint32_t next_frame_size; // doubles with each new frame until it reaches the largest size
    std::uint32_t largest_frame_size;
    BigBuffer* big_head; // in order of creation
    BigBuffer* big_tail;
    std::uintptr_t* node_slots; // the reserved node region
    std::uint32_t region_frames; // its frame positions: node_region_frames, or fewer under an address-space limit
    NodeFrame** frame_at_position;
    std::uint64_t epoch; // advanced at every allocation: views of a buffer check it in debug builds
    void* reserve; // address space held back for reporting no-memory; nullptr once spent
    bool raising_no_memory; // a refusal is being raised: another one now cannot be reported
};

// The address space held back while memory lasts: room for a series frame and the error's own blocks.
inline constexpr std::uint64_t reserve_bytes = std::uint64_t { 4 } << 20;

extern MemoryState state;

void init();
void release_all();

// The OS refused memory, or the node region is full: raises internal no-memory once. Never returns.
[[noreturn]] void raise_refusal();

// The bytes of the series frames' buffers, live or not yet reclaimed, and of the big buffers: after a
// collection, the series data left live.
std::uint64_t series_bytes_in_use();

// The allocation epoch: a raw address into a series is valid only while the epoch is unchanged.
inline std::uint64_t epoch()
{
    return state.epoch;
}

}

namespace node {

NodeId alloc();
void free(NodeId);

inline SeriesBuffer* buffer(NodeId id)
{
    return reinterpret_cast<SeriesBuffer*>(memory::state.node_slots[id]);
}
inline void set_buffer(NodeId id, SeriesBuffer* buffer)
{
    memory::state.node_slots[id] = reinterpret_cast<std::uintptr_t>(buffer);
}
inline bool is_free(NodeId id)
{
    return (memory::state.node_slots[id] & 1) != 0;
}

memory::NodeFrame* frame_of(NodeId);

}

namespace node_frame {

memory::NodeFrame* make(std::uint32_t slot_count = memory::node_frame_slots);
void release(memory::NodeFrame*);
void sweep(); // after a collection

}

namespace series_frame {

memory::SeriesFrame* make(); // May raise no-memory.
memory::SeriesFrame* try_make(); // nullptr when the OS refuses
memory::SeriesFrame* find_room(std::uint64_t bytes); // nullptr when no frame has room
void release(memory::SeriesFrame*);

}

namespace big_buffer {

SeriesBuffer* make(std::uint64_t bytes); // May raise no-memory.
SeriesBuffer* try_make(std::uint64_t bytes); // nullptr when the OS refuses
// The buffer's block made room for `bytes` (header and slack included) with its contents kept, possibly at
// another address: the answer. nullptr when the OS refuses; the buffer is then unchanged. The caller sets
// the capacity and the node slot.
SeriesBuffer* try_grow(SeriesBuffer*, std::uint64_t bytes);
void release(SeriesBuffer*);
// After marking: clears the marks of reached buffers; releases the others, handing their nodes (when
// they still have one) to `release_node`.
void sweep(void (*release_node)(NodeId));

}

namespace series {

// A count from outside the series world (the bytes of a file or of a C++ string) as a series length:
// above max_capacity no buffer can hold it, and it raises internal no-memory rather than being cut to
// 32 bits.
std::uint32_t checked_length(std::uint64_t count);

// Buffers of `count` units; the data area is rounded up to 16 bytes. May collect; a request larger than
// max_capacity raises internal no-memory.
SeriesBuffer* alloc_buffer(std::uint64_t count, std::uint32_t unit); // its node field is left to the caller
NodeId alloc_with_node(std::uint64_t count, std::uint32_t unit);
NodeId alloc_cells(std::uint64_t count);
NodeId alloc_cells_unset(std::uint64_t count); // every cell of the capacity unset; the tail stays at the head
NodeId alloc_bytes(std::uint64_t count); // 0 gives 16 bytes
NodeId alloc_units(std::uint64_t count, std::uint32_t unit); // 0 gives 16 bytes' worth
NodeId alloc_bytes_filled(std::uint64_t count, std::byte fill); // the tail stays at the head
NodeId alloc_zeroed(std::uint64_t count); // the tail at the end of the capacity
NodeId alloc_filled(std::uint64_t count, std::byte fill); // the tail at the end of the capacity
// A buffer on the tracked heap: never moved or freed by the collector.
NodeId alloc_on_heap(std::uint64_t count, std::uint32_t unit);
void set_flags(NodeId, std::uint32_t bits);

// Moves the series of `node` into a new buffer of `bytes` (0 = twice the capacity) and retires the old
// one; the data are not copied. May collect.
SeriesBuffer* replace_buffer(NodeId node, std::uint64_t bytes);
// replace_buffer, keeping the data from the old head on at the new head. May collect.
SeriesBuffer* expand(NodeId node, std::uint64_t bytes = 0);
// expand, with the rest of the new data area set to `fill`.
SeriesBuffer* expand_filled(NodeId node, std::uint64_t bytes, std::byte fill);

}

namespace buffer {

void fill(NodeId, std::byte); // every byte of the capacity; the tail does not move

}

namespace mem {

void fill_range(std::byte* start, std::byte* end, std::byte value);
void zero_words(std::uint32_t* first, std::uint32_t* last);
// Repeats the first `unit` bytes at `address` `count` times in place; answers the end.
std::byte* replicate(std::byte* address, std::int64_t unit, std::int64_t count);

}

}
