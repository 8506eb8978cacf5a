// The series buffer: a 20-byte header of five 32-bit words followed by the data area. Values reach a
// buffer only through its node, so a buffer that moves (growth, compaction) needs only its node slot
// rewritten; head and tail are byte offsets into the data area for the same reason.
// Invariant: 0 <= head <= tail <= capacity; capacity is a multiple of 16; a fresh buffer has head = tail = 0.
// Inside a series frame a buffer occupies its header, its capacity and 4 bytes of slack, so the next
// buffer starts `capacity + buffer_overhead` bytes after this one and every data area is 8-byte aligned.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "runtime/assert.h"
#include "runtime/cell.h"

namespace xol {

namespace series_flags {

inline constexpr std::uint32_t unit_mask = 0x1F; // unit size in bytes: 1, 2, 4 or 16
inline constexpr std::uint32_t owned = 0x20000; // owned by an object, which hears of every change
// The library's own code: evaluating it sends no trace event and leaves the current position alone. A copy
// is the copier's: it keeps the mark only when the library copies its own code.
inline constexpr std::uint32_t library = 0x40000;
// A block of the boot image that no function has taken yet, reachable only through the block it came in:
// while the library is being set up, a function made from it takes it as its body instead of a copy.
inline constexpr std::uint32_t image_literal = 0x200000;
inline constexpr std::uint32_t on_heap = 0x100000; // on the tracked heap: never moved or freed by the collector
inline constexpr std::uint32_t big = 0x1000000; // a big buffer, outside the series frames
inline constexpr std::uint32_t marked = 0x8000000; // the collector's mark
inline constexpr std::uint32_t managed = 0x20000000; // made by the memory manager
inline constexpr std::uint32_t in_use = 0x80000000; // cleared when growth retires the buffer

}

struct SeriesBuffer {
    std::uint32_t flags;
    NodeId node; // no_node once retired
    std::uint32_t capacity; // bytes in the data area
    std::uint32_t head; // byte offset of the first element
    std::uint32_t tail; // byte offset just past the last element

    std::byte* data() { return reinterpret_cast<std::byte*>(this + 1); }
    std::byte const* data() const { return reinterpret_cast<std::byte const*>(this + 1); }
    std::byte* head_address() { return data() + head; }
    std::byte* tail_address() { return data() + tail; }

    std::uint32_t unit() const { return flags & series_flags::unit_mask; }
    // Units are 1, 2, 4 or 16 bytes: converting between units and bytes is a shift, never a division.
    std::uint32_t unit_shift() const { return static_cast<std::uint32_t>(std::countr_zero(unit())); }
    std::uint32_t length() const { return (tail - head) >> unit_shift(); }
    // The length of a series of cells (blocks, parens, paths, descriptors), whose unit is known: the
    // evaluator reads it at every step.
    std::uint32_t cell_count() const
    {
        XOL_ASSERT(unit() == sizeof(Cell), "cell count of a series of other units");
        return (tail - head) >> 4;
    }
    bool is_in_use() const { return (flags & series_flags::in_use) != 0; }

    Cell* cells() { return reinterpret_cast<Cell*>(data()); }
    Cell* head_cell() { return reinterpret_cast<Cell*>(head_address()); }
    Cell* tail_cell() { return reinterpret_cast<Cell*>(tail_address()); }
};

static_assert(sizeof(SeriesBuffer) == 20);
static_assert(offsetof(SeriesBuffer, flags) == 0 && offsetof(SeriesBuffer, node) == 4
    && offsetof(SeriesBuffer, capacity) == 8 && offsetof(SeriesBuffer, head) == 12
    && offsetof(SeriesBuffer, tail) == 16);

inline constexpr std::uint32_t buffer_header_size = sizeof(SeriesBuffer);
inline constexpr std::uint32_t buffer_slack = 4;
// What one buffer takes from a frame beyond its capacity.
inline constexpr std::uint32_t buffer_overhead = buffer_header_size + buffer_slack;
static_assert(buffer_overhead == 24);

}
