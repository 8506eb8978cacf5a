// The stats native: the memory in use, or the detailed figures of the memory manager's node frames,
// series frames, big buffers and tracked heap.

#include <cstdint>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/calls.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

constexpr std::uint32_t sub_block_room = 8;

struct NodeFrameFigures {
    std::uint32_t free, used, total; // slots
};

struct SeriesFrameFigures {
    std::uint64_t free, used, total; // bytes of the data area
};

// Every figure is taken in one walk that allocates nothing the collector manages, so that no collection
// can move or release a frame while it is read; the blocks are built from the figures afterwards.
struct Figures {
    std::vector<NodeFrameFigures> node_frames;
    std::vector<SeriesFrameFigures> series_frames;
    std::vector<std::uint64_t> big_buffers; // bytes
    double in_use = 0; // the bytes the values use
    double total = 0; // the bytes the memory manager holds, the tracked heap included
    double heap_total = 0;
};

Figures take_figures()
{
    // Nothing collects while the lists are walked, and the hold is released however the walk ends.
    gc::CollectionHold const hold;
    Figures figures;
    for (memory::NodeFrame* frame = memory::state.node_head; frame; frame = frame->next) {
        figures.node_frames.push_back({ frame->slot_count - frame->used, frame->used, frame->slot_count });
        figures.in_use += static_cast<double>(frame->used) * sizeof(std::uintptr_t);
        figures.total += static_cast<double>(frame->slot_count) * sizeof(std::uintptr_t) + sizeof(memory::NodeFrame);
    }
    for (memory::SeriesFrame* frame = memory::state.series_head; frame; frame = frame->next) {
        auto const free = static_cast<std::uint64_t>(frame->end - frame->fill);
        auto const used = static_cast<std::uint64_t>(frame->fill - frame->start());
        figures.series_frames.push_back({ free, used, free + used });
        figures.in_use += static_cast<double>(used);
        figures.total += static_cast<double>(frame->size);
    }
    for (memory::BigBuffer* buffer = memory::state.big_head; buffer; buffer = buffer->next) {
        std::uint64_t const size = buffer->size - memory::frame_data_offset;
        figures.big_buffers.push_back(size);
        figures.in_use += static_cast<double>(size);
        figures.total += static_cast<double>(buffer->size);
    }
    figures.heap_total = static_cast<double>(heap::live_bytes())
        + static_cast<double>(heap::block_count()) * static_cast<double>(heap::block_header_size);
    figures.total += figures.heap_total;
    return figures;
}

// A count as integer! while it fits, as float! above.
Cell count_value(double count)
{
    if (count <= 2147483647.0) return integer::make(static_cast<std::int32_t>(count));
    return float_::make(count);
}

void append_count(Cell const& block, double count, bool new_line)
{
    Cell* const appended = block::rs_append(block, count_value(count));
    if (new_line) appended->header |= cell::new_line_flag;
}

// A new block in `parent`, marked to start a new line; answered rooted by the caller. May allocate.
Cell new_line_block(Cell const& parent, std::int32_t room)
{
    Cell* const made = block::make_at_from(parent, room);
    made->header |= cell::new_line_flag;
    return *made;
}

// The block of the five statistics, pushed on the value stack. May allocate.
Cell* push_details(Figures const& figures)
{
    Cell* const details = block::push_new(5);
    {
        Rooted frames(*block::make_at_from(*details, sub_block_room));
        for (NodeFrameFigures const& frame : figures.node_frames) {
            Rooted entry(new_line_block(*frames, 3));
            append_count(*entry, frame.free, false);
            append_count(*entry, frame.used, false);
            append_count(*entry, frame.total, false);
        }
    }
    {
        Rooted frames(*block::make_at_from(*details, sub_block_room));
        for (SeriesFrameFigures const& frame : figures.series_frames) {
            Rooted entry(new_line_block(*frames, 3));
            append_count(*entry, static_cast<double>(frame.free), false);
            append_count(*entry, static_cast<double>(frame.used), false);
            append_count(*entry, static_cast<double>(frame.total), false);
        }
    }
    {
        Rooted buffers(*block::make_at_from(*details, sub_block_room));
        for (std::uint64_t const size : figures.big_buffers) append_count(*buffers, static_cast<double>(size), true);
    }
    append_count(*details, figures.total, false);
    append_count(*details, figures.heap_total, false);
    return details;
}

// Hands the block to the library's printer of the statistics. May allocate.
void show(Cell const& details)
{
    Rooted kept(details);
    Rooted name(word::make_global("show-memory-stats"));
    Cell const printer = *word::get_value(*name);
    if (cell::type_of(printer) != type_ids::function) fire_error(err::script::no_value, &*name);
    Rooted function(printer);
    stack::push_call_frame(*name, function::context_of(*function));
    stack::push(*kept);
    interp::call_function(*function, context::global(), *name, 0);
    stack::pop_frame_empty_restore();
}

}

void stats(std::int32_t const* refinements)
{
    bool const show_them = refinements[0] >= 0;
    bool const info = refinements[1] >= 0;
    Figures const figures = take_figures();
    // No arguments: the result cell is the top one, taken before anything is pushed above it.
    stack::set_only_result(count_value(figures.in_use));
    if (!show_them && !info) return;
    Cell* const details = push_details(figures);
    if (show_them) {
        show(*details);
        stack::set_only_result(unset_value);
    } else {
        stack::set_only_result(*details);
    }
}

}
