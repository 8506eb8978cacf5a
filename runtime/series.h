// Operations on series through their nodes: appending cells and bytes, copying, and the small buffer
// operations the hash tables and the terminal back end use for arrays of bytes and 32-bit words.
// Addresses they answer are valid until the next call that may allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/assert.h"
#include "runtime/memory.h"

namespace xol {

namespace series {

// Whether the library's own code is running; the evaluator keeps it. A copy that the library makes of its
// own code stays the library's, so a function it builds at run time from a copied body (collect's keep)
// runs as the rest of the library does. A copy made by the user's code is the user's.
struct LibraryState {
    bool running = false;
    // Set while start-up evaluates the library's sources: its image blocks may be taken whole.
    bool setting_up = false;
};
extern LibraryState library_state;

// The flags among `flags` that a copy leaves behind: the library's mark too, unless the library copies.
std::uint32_t dropped_flags(std::uint32_t flags);

// Appends an unset cell (words 1-3 left as they were) and answers it; doubles the buffer when full.
// May allocate.
Cell* append_cell_raw(NodeId);
Cell* append_cell(Cell const& block); // the series of a block value (word 2)
// Makes room for `count` more bytes at the tail and answers where they go. May allocate.
std::byte* append_bytes(NodeId, std::uint32_t count);
// A new series of `count` units from `offset` units after the head. May allocate.
NodeId copy_part(NodeId, std::uint32_t offset, std::uint32_t count);
// A new series with the same capacity, flags and contents. May allocate.
NodeId copy_buffer(NodeId);

}

namespace buffer {

NodeId make(std::uint32_t count, std::uint32_t unit); // 16 bytes when count x unit is 0. May allocate.
std::uint32_t length(NodeId);
void clear(NodeId);
void set_tail_at(NodeId, std::uint32_t index); // 1-based
NodeId copy(NodeId); // May allocate.
std::uint32_t flags(NodeId);
void append_byte(NodeId, std::uint8_t); // May allocate.
std::byte* append_bytes(NodeId, void const* source, std::uint32_t count); // May allocate.
void append_int32(NodeId, std::uint32_t); // May allocate.
std::uint8_t pick_byte(NodeId, std::uint32_t index); // 1-based
std::uint32_t pick(NodeId, std::uint32_t index); // the index-th 32-bit word, 1-based
void poke(NodeId, std::uint32_t index, std::uint32_t value);
std::int64_t find_ptr(NodeId, std::uint32_t value); // byte offset from the head, -1 when absent
void insert_int32(NodeId, std::uint32_t value, std::uint32_t element); // 0-based. May allocate.
void remove_bytes(NodeId, std::uint32_t offset, std::uint32_t count);
std::int64_t remove_ptr(NodeId, std::uint32_t value); // -1 when absent, else the offset it had

}

// A short-lived view of a buffer's elements. Debug builds check on every access that nothing was
// allocated since the view was taken: the buffer may have moved.
template <typename Unit> class SeriesView {
public:
    explicit SeriesView(NodeId id)
        : m_data(reinterpret_cast<Unit*>(node::buffer(id)->head_address()))
        , m_length((node::buffer(id)->tail - node::buffer(id)->head) / sizeof(Unit))
        , m_epoch(memory::epoch())
    {
    }
    Unit& operator[](std::uint32_t index) const
    {
        XOL_ASSERT(memory::epoch() == m_epoch, "series view used after an allocation");
        XOL_ASSERT(index < m_length, "series view index past the tail");
        return m_data[index];
    }
    std::uint32_t size() const { return m_length; }

private:
    Unit* m_data;
    std::uint32_t m_length;
    std::uint64_t m_epoch;
};

namespace number {

// A 32-bit integer from an integer! or float! cell: floats truncate toward zero; a float outside the
// 32-bit range, or NaN, raises script out-of-range. Any other type answers word 2 as it is.
std::int32_t to_int_checked(Cell const& value);

}

}
