// Allocating series buffers, and moving a series into a larger buffer.

#include <algorithm>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/platform/memory.h"
#include "runtime/roots.h"

namespace xol {

using memory::state;

namespace series {

namespace {

constexpr std::ptrdiff_t prefault_chunk = memory::series_prefault_bytes;

// count x unit rounded up to 16, in 64 bits: a request that cannot fit a buffer raises, never wraps.
std::uint64_t capacity_for(std::uint64_t count, std::uint32_t unit)
{
    if (unit != 0 && count > memory::max_capacity / unit) fire_error(err::internal::no_memory);
    std::uint64_t const capacity = (count * unit + 15) & ~std::uint64_t { 15 };
    if (capacity > memory::max_capacity) fire_error(err::internal::no_memory);
    return capacity;
}

// A frame for a request that no frame has room for. Until a collection is due it is a new frame; once one
// is due, or when the OS refuses the new frame, a collection runs first, and a frame it left too crowded
// to last long is passed over for a new one while the OS gives one.
memory::SeriesFrame* frame_for(std::uint64_t needed)
{
    if (needed >= state.next_frame_size) state.next_frame_size = state.largest_frame_size;
    if (!gc::collection_due(needed))
        if (memory::SeriesFrame* frame = series_frame::try_make()) return frame;
    gc::collect_if_enabled();
    memory::SeriesFrame* frame = series_frame::find_room(needed);
    if (!frame) return series_frame::make();
    if (static_cast<std::uint64_t>(frame->end - frame->fill) < memory::crowded_frame_limit)
        if (memory::SeriesFrame* made = series_frame::try_make()) return made;
    return frame;
}

std::byte* cut_from_frames(std::uint64_t needed)
{
    memory::SeriesFrame* frame = state.series_current;
    if (!frame || static_cast<std::uint64_t>(frame->end - frame->fill) <= needed) {
        frame = series_frame::find_room(needed);
        if (!frame) frame = frame_for(needed);
        state.series_current = frame;
    }
    std::byte* start = frame->fill;
    frame->fill += needed;
    // Buffers fill a frame from its start, so the pages ahead of the fill are the next ones written: when
    // the fill enters a new chunk, the chunk's pages come in with one call rather than a fault each.
    // (Pages already in, after a compaction, make the call cheap.)
    auto const chunk_of = [](std::byte* at) { return reinterpret_cast<std::uintptr_t>(at) / prefault_chunk; };
    if (chunk_of(start) != chunk_of(frame->fill) && frame->fill < frame->end) {
        auto* const chunk = reinterpret_cast<std::byte*>(chunk_of(frame->fill) * prefault_chunk);
        platform::prefault(chunk, static_cast<std::size_t>(std::min(prefault_chunk, frame->end - chunk)));
    }
    return start;
}

// A big buffer: after a collection when one is due, or when the OS refuses it at first.
SeriesBuffer* big_buffer_for(std::uint64_t needed)
{
    std::uint32_t const collections = gc::state.collections;
    if (gc::collection_due(needed)) gc::collect_if_enabled();
    if (SeriesBuffer* buffer = big_buffer::try_make(needed)) return buffer;
    if (gc::state.collections == collections) gc::collect_if_enabled();
    return big_buffer::make(needed);
}

SeriesBuffer* attach(SeriesBuffer* buffer)
{
    NodeId const id = node::alloc();
    node::set_buffer(id, buffer);
    buffer->node = id;
    return buffer;
}

}

std::uint32_t checked_length(std::uint64_t count)
{
    if (count > memory::max_capacity) fire_error(err::internal::no_memory);
    return static_cast<std::uint32_t>(count);
}

SeriesBuffer* alloc_buffer(std::uint64_t count, std::uint32_t unit)
{
    std::uint64_t const capacity = capacity_for(count, unit);
    std::uint64_t const needed = capacity + buffer_overhead;
    ++state.epoch;
    if (gc::state.stress) gc::collect_if_enabled();

    SeriesBuffer* buffer;
    std::uint32_t flags = unit | series_flags::in_use | series_flags::managed;
    if (needed >= memory::big_buffer_threshold) {
        buffer = big_buffer_for(needed);
        flags |= series_flags::big;
    } else {
        buffer = reinterpret_cast<SeriesBuffer*>(cut_from_frames(needed));
    }
    gc::state.allocated += needed;
    buffer->flags = flags;
    buffer->node = no_node;
    buffer->capacity = static_cast<std::uint32_t>(capacity);
    buffer->head = buffer->tail = 0;
    return buffer;
}

NodeId alloc_with_node(std::uint64_t count, std::uint32_t unit)
{
    return attach(alloc_buffer(count, unit))->node;
}

NodeId alloc_cells(std::uint64_t count)
{
    return alloc_with_node(count, sizeof(Cell));
}

NodeId alloc_cells_unset(std::uint64_t count)
{
    NodeId const id = alloc_cells(count);
    SeriesBuffer* buffer = node::buffer(id);
    Cell* cells = buffer->cells();
    for (std::uint32_t i = 0; i < buffer->capacity / sizeof(Cell); ++i) cells[i] = cell::make(type_ids::unset);
    return id;
}

NodeId alloc_bytes(std::uint64_t count)
{
    return alloc_with_node(count == 0 ? 16 : count, 1);
}

NodeId alloc_units(std::uint64_t count, std::uint32_t unit)
{
    return alloc_with_node(count == 0 ? 16u >> (unit >> 1) : count, unit);
}

NodeId alloc_bytes_filled(std::uint64_t count, std::byte fill)
{
    NodeId const id = alloc_bytes(count);
    buffer::fill(id, fill);
    return id;
}

NodeId alloc_zeroed(std::uint64_t count)
{
    return alloc_filled(count, std::byte { 0 });
}

NodeId alloc_filled(std::uint64_t count, std::byte fill)
{
    NodeId const id = alloc_bytes_filled(count, fill);
    SeriesBuffer* buffer = node::buffer(id);
    buffer->tail = buffer->capacity;
    return id;
}

NodeId alloc_on_heap(std::uint64_t count, std::uint32_t unit)
{
    std::uint64_t const capacity = capacity_for(count, unit);
    // The block starts 4 bytes before the header so that the data area is 8-byte aligned.
    auto* block = static_cast<std::byte*>(heap::allocate(buffer_slack + buffer_header_size + capacity));
    auto* buffer = reinterpret_cast<SeriesBuffer*>(block + buffer_slack);
    buffer->flags = unit | series_flags::in_use | series_flags::managed | series_flags::on_heap;
    buffer->capacity = static_cast<std::uint32_t>(capacity);
    buffer->head = buffer->tail = 0;
    return attach(buffer)->node;
}

void set_flags(NodeId id, std::uint32_t bits)
{
    node::buffer(id)->flags |= bits;
}

namespace {

struct Replacement {
    SeriesBuffer* old_buffer;
    SeriesBuffer* new_buffer;
};

// The old buffer stays readable until `finish_replacement`: nothing allocates in between.
Replacement replace_keeping_old(NodeId id, std::uint64_t bytes)
{
    RootedNode node(id); // the collection that the allocation may run can move the node
    SeriesBuffer const* old_buffer = node::buffer(id);
    if (bytes == 0) bytes = std::uint64_t { old_buffer->capacity } * 2;
    // Doubling nothing gives nothing: an empty buffer grows to one 16-byte step.
    if (bytes == 0) bytes = 16;
    std::uint32_t const unit = old_buffer->unit();
    SeriesBuffer* new_buffer = alloc_buffer((bytes + unit - 1) / unit, unit);

    SeriesBuffer* old_now = node::buffer(*node);
    std::uint32_t const kept_flags = series_flags::big | series_flags::on_heap | series_flags::marked;
    new_buffer->flags = (old_now->flags & ~kept_flags) | (new_buffer->flags & series_flags::big);
    new_buffer->node = *node;
    new_buffer->tail = std::min(old_now->tail - old_now->head, new_buffer->capacity);
    node::set_buffer(*node, new_buffer);
    old_now->node = no_node;
    old_now->flags &= ~series_flags::in_use;
    return { old_now, new_buffer };
}

// A retired heap buffer is freed at once; frame and big buffers wait for the collector.
void finish_replacement(SeriesBuffer* old_buffer)
{
    if (old_buffer->flags & series_flags::on_heap) heap::free(reinterpret_cast<std::byte*>(old_buffer) - buffer_slack);
}

std::uint32_t copy_old_data(Replacement const& replacement)
{
    SeriesBuffer* old_buffer = replacement.old_buffer;
    std::uint32_t const bytes = std::min(old_buffer->capacity - old_buffer->head, replacement.new_buffer->capacity);
    std::memcpy(replacement.new_buffer->data(), old_buffer->head_address(), bytes);
    return bytes;
}

// A big buffer grows in its own block: the OS extends it or moves its pages, so the data are neither
// copied nor faulted in again, and no retired copy waits for the collector. nullptr when the buffer is not
// big or the OS refuses: the caller then moves the data to a new buffer.
SeriesBuffer* grow_big(NodeId id, std::uint64_t bytes)
{
    SeriesBuffer const* old_buffer = node::buffer(id);
    if ((old_buffer->flags & (series_flags::big | series_flags::on_heap)) != series_flags::big) return nullptr;
    if (bytes == 0) bytes = std::uint64_t { old_buffer->capacity } * 2;
    std::uint32_t const unit = old_buffer->unit();
    std::uint64_t const capacity = capacity_for((bytes + unit - 1) / unit, unit);
    if (capacity <= old_buffer->capacity) return nullptr;
    std::uint64_t const added = capacity - old_buffer->capacity;
    RootedNode node(id); // the collection below can move the node
    ++state.epoch;
    if (gc::state.stress || gc::collection_due(added)) gc::collect_if_enabled();
    SeriesBuffer* buffer = big_buffer::try_grow(node::buffer(*node), capacity + buffer_overhead);
    if (!buffer) return nullptr;
    gc::state.allocated += added;
    node::set_buffer(*node, buffer);
    std::uint32_t const old_capacity = buffer->capacity;
    buffer->capacity = static_cast<std::uint32_t>(capacity);
    if (buffer->head != 0) {
        std::memmove(buffer->data(), buffer->head_address(), old_capacity - buffer->head);
        buffer->tail -= buffer->head;
        buffer->head = 0;
    }
    return buffer;
}

}

SeriesBuffer* replace_buffer(NodeId id, std::uint64_t bytes)
{
    Replacement const replacement = replace_keeping_old(id, bytes);
    finish_replacement(replacement.old_buffer);
    return replacement.new_buffer;
}

SeriesBuffer* expand(NodeId id, std::uint64_t bytes)
{
    if (SeriesBuffer* grown = grow_big(id, bytes)) return grown;
    Replacement const replacement = replace_keeping_old(id, bytes);
    copy_old_data(replacement);
    finish_replacement(replacement.old_buffer);
    return replacement.new_buffer;
}

SeriesBuffer* expand_filled(NodeId id, std::uint64_t bytes, std::byte fill)
{
    Replacement const replacement = replace_keeping_old(id, bytes);
    std::uint32_t const copied = copy_old_data(replacement);
    SeriesBuffer* buffer = replacement.new_buffer;
    std::memset(buffer->data() + copied, std::to_integer<int>(fill), buffer->capacity - copied);
    finish_replacement(replacement.old_buffer);
    return buffer;
}

}

namespace buffer {

void fill(NodeId id, std::byte value)
{
    SeriesBuffer* buffer = node::buffer(id);
    std::memset(buffer->data(), std::to_integer<int>(value), buffer->capacity);
}

}

namespace mem {

void fill_range(std::byte* start, std::byte* end, std::byte value)
{
    if (end > start) std::memset(start, std::to_integer<int>(value), static_cast<std::size_t>(end - start));
}

void zero_words(std::uint32_t* first, std::uint32_t* last)
{
    if (last > first) std::memset(first, 0, static_cast<std::size_t>(last - first) * sizeof(std::uint32_t));
}

std::byte* replicate(std::byte* address, std::int64_t unit, std::int64_t count)
{
    if (unit <= 0 || count <= 0) return address;
    std::int64_t const total = unit * count;
    std::int64_t filled = unit;
    while (total - filled >= filled) {
        std::memcpy(address + filled, address, static_cast<std::size_t>(filled));
        filled *= 2;
    }
    if (filled < total) std::memcpy(address + filled, address, static_cast<std::size_t>(total - filled));
    return address + total;
}

}

}
