// The garbage collector: roots, marking, node relocation and compaction.

#include "runtime/collector.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "runtime/assert.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/extres.h"
#include "runtime/handle_slots.h"
#include "runtime/hashtable.h"
#include "runtime/int_map.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/platform/environment.h"
#include "runtime/platform/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::gc {

CollectorState state;

namespace {

// How the payload of each datatype refers to memory, by type id: one entry per datatype.
enum class Payload : std::uint8_t {
    None,
    Block, // word 2: a cell series (0 allowed)
    Text, // word 2: the text series; word 3: a second node when not 0
    Symbol, // word 3: the UTF-8 name; word 2: the cached string when not 0
    Context, // word 1: the symbol index; word 2: the value series unless the values live on the stack
    Word, // word 1: the context when not 0
    Native, // words 2 and 3: series; an op! wrapping a function or routine: word 1 a context
    Function, // word 1: context; words 2 and 3: series
    Bytes, // word 2: a byte series
    Object, // word 1: context; word 3: a node when not 0
    HashedBlock, // word 2: the cell series; word 3: the hash table
    Handle, // word 3: an external-resource slot when not negative
    Image, // word 2: the record of the pixel store when not 0
    Event, // word 2: a 4-cell series when word 3 has bit 16
};

constexpr auto payload_table = [] {
    std::array<Payload, 256> table {};
    using namespace type_ids;
    for (TypeId id = 1; id <= last; ++id) {
        if (is_any_block(id)) table[id] = Payload::Block;
        if (is_text(id)) table[id] = Payload::Text;
        if (is_bindable(id)) table[id] = Payload::Word;
        if (is_function(id)) table[id] = is_context_function(id) ? Payload::Function : Payload::Native;
        if (is_object(id)) table[id] = Payload::Object;
    }
    table[symbol] = Payload::Symbol;
    table[context] = Payload::Context;
    for (TypeId id : { bitset, vector, binary }) table[id] = Payload::Bytes;
    for (TypeId id : { type_ids::hash, map }) table[id] = Payload::HashedBlock; // hash! is a list with a table
    table[handle] = Payload::Handle;
    table[image] = Payload::Image;
    table[event] = Payload::Event;
    return table;
}();

constexpr std::uint32_t values_on_stack = 0x400000;
constexpr std::uint32_t event_series_present = 0x10000;

struct Marking {
    std::vector<NodeId> pending_series; // cell series marked but not yet scanned
    std::vector<NodeId> marked_on_heap; // heap buffers: no sweep visits them, so their marks are cleared here
    IntMap* relocation = nullptr; // old node -> new node, during a collection that moved nodes
    std::vector<MarkCallback> callbacks;
    std::vector<Cell*> root_cells;
    std::vector<NodeId*> root_nodes;
    Cell root_block = cell::make(type_ids::none);
} marking;

NodeId relocated(NodeId node)
{
    if (!marking.relocation) return node;
    std::uint32_t* moved = hashmap::value_ptr(marking.relocation, node);
    return moved ? *moved : node;
}

void scan_pending()
{
    while (!marking.pending_series.empty()) {
        NodeId const node = marking.pending_series.back();
        marking.pending_series.pop_back();
        SeriesBuffer* buffer = node::buffer(node);
        // Cells are read through the node each time: marking allocates nothing, so the buffer stays put.
        // Cells that refer to nothing, the numbers of a big block among them, cost no call.
        for (std::uint32_t offset = buffer->head; offset + sizeof(Cell) <= buffer->tail; offset += sizeof(Cell)) {
            Cell& cell = *reinterpret_cast<Cell*>(buffer->data() + offset);
            if (payload_table[cell::type_of(cell)] != Payload::None) mark_cell(cell);
        }
    }
}

// A runtime hash table marks its own series, keys and record cells.
void mark_table(NodeId& node)
{
    hashtable::mark(node);
}

// Node relocation: frames whose use has been stable and low are emptied into the others, so that
// long-lived nodes gather and whole frames go back to the OS.
void relocate_nodes()
{
    std::uint32_t const mask = (1u << (history_depth + 1)) - 1;
    memory::NodeFrame* current = memory::state.node_head;
    while (current && (current->free_head == no_node || current->retired)) current = current->next;
    if (!current) return;
    memory::state.node_current = current;

    std::uint64_t free = 0;
    for (auto* frame = memory::state.node_head; frame; frame = frame->next)
        if (frame->free_head != no_node && !frame->retired) free += frame->slot_count - frame->used;

    bool emptied_any = false;
    for (auto* frame = memory::state.node_tail; frame; frame = frame->previous) {
        if ((frame->history & mask) != mask || frame->used >= memory::node_frame_slots / 2
            || free <= memory::node_frame_slots || frame == memory::state.node_current || frame->retired)
            continue;
        if (!marking.relocation) marking.relocation = hashmap::make(20'000);
        free -= memory::node_frame_slots;
        emptied_any = true;
        frame->retired = true;
        NodeId const first = frame->first_id();
        for (NodeId old_node = first; old_node < first + frame->slot_count; ++old_node) {
            if (node::is_free(old_node) || memory::state.node_slots[old_node] == 0) continue;
            NodeId const new_node = node::alloc(); // never from a retired frame
            SeriesBuffer* buffer = node::buffer(old_node);
            node::set_buffer(new_node, buffer);
            buffer->node = new_node;
            hashmap::put(marking.relocation, old_node, new_node);
            --frame->used;
        }
    }
    if (emptied_any) ++state.node_relocations;
}

void mark_roots()
{
    mark_series(marking.root_block.word2);
    ownership::mark();
    for (Cell* cell : marking.root_cells) mark_cell(*cell);
    for (NodeId* node : marking.root_nodes) mark_series(*node);

    // The stacks: their series (nodes only), the live cells, the frames' contexts.
    stack::for_each_node([](NodeId& node) { mark_node(node); });
    for (Cell* cell = stack::state.bottom; cell && cell < stack::state.top; ++cell) mark_cell(*cell);
    stack::for_each_frame([](CallFrame& frame) {
        if (frame.word_context != no_node) mark_context(frame.word_context);
        if (frame.function_context != no_node) mark_context(frame.function_context);
    });

    mark_cell(slots::state.block);
    for (Cell& argument : errors::last_raised_for_marking().arguments) mark_cell(argument);
    mark_cell(errors::current());

    // What C++ code holds now: rooted values and nodes.
    roots::for_each_cell([](Cell& cell) { mark_cell(cell); });
    roots::for_each_node([](NodeId& node) { mark_series(node); });

    for (MarkCallback callback : marking.callbacks)
        if (callback) callback();
    scan_pending();
}

// Compaction of one series frame. Live runs slide down to the frame's first gap, or move into the free
// end of the previous frame while that has room to spare; pinned addresses move with their buffers.
struct Pin {
    std::byte* address;
    std::byte** slot;
};

void move_run(std::byte* from, std::byte* to, std::size_t length, std::vector<Pin>& pins)
{
    std::memmove(to, from, length);
    std::ptrdiff_t const distance = from - to;
    for (std::byte* place = to; place < to + length;) {
        auto* buffer = reinterpret_cast<SeriesBuffer*>(place);
        node::set_buffer(buffer->node, buffer);
        place += buffer_overhead + buffer->capacity;
    }
    for (Pin& pin : pins)
        if (pin.address >= from && pin.address < from + length) *pin.slot = pin.address - distance;
}

void compact_frame(memory::SeriesFrame* frame, memory::SeriesFrame* previous, std::vector<Pin>& pins)
{
    std::byte* gap = nullptr;
    bool may_move_out = previous != nullptr;
    std::byte* place = frame->start();
    while (place < frame->fill) {
        auto* buffer = reinterpret_cast<SeriesBuffer*>(place);
        std::size_t const size = buffer_overhead + buffer->capacity;
        if (!(buffer->flags & series_flags::marked)) {
            if (buffer->node != no_node && (buffer->flags & series_flags::in_use)) node::free(buffer->node);
            if (!gap) gap = place;
            place += size;
            continue;
        }
        // A live run: as many marked buffers as follow, or as fit in the previous frame.
        std::byte* const run_start = place;
        std::size_t room = may_move_out ? static_cast<std::size_t>(previous->end - previous->fill) : 0;
        bool const moving_out = may_move_out && room > memory::crowded_frame_limit;
        while (place < frame->fill) {
            auto* next = reinterpret_cast<SeriesBuffer*>(place);
            if (!(next->flags & series_flags::marked)) break;
            std::size_t const next_size = buffer_overhead + next->capacity;
            if (moving_out && static_cast<std::size_t>(place - run_start) + next_size >= room) break;
            next->flags &= ~series_flags::marked;
            place += next_size;
        }
        std::size_t const length = static_cast<std::size_t>(place - run_start);
        if (moving_out && length > 0) {
            move_run(run_start, previous->fill, length, pins);
            previous->fill += length;
            if (!gap) gap = run_start;
            continue;
        }
        if (moving_out) {
            // Not even the first buffer fits the previous frame: it stays in this one.
            may_move_out = false;
            continue;
        }
        may_move_out = false;
        if (gap) {
            move_run(run_start, gap, length, pins);
            gap += length;
        }
    }
    if (gap) frame->fill = gap;
}

void compact(std::vector<Pin>& pins)
{
    std::sort(pins.begin(), pins.end(), [](Pin const& a, Pin const& b) { return a.address < b.address; });
    memory::SeriesFrame* previous = nullptr;
    for (memory::SeriesFrame* frame = memory::state.series_head; frame;) {
        memory::SeriesFrame* next = frame->next;
        compact_frame(frame, previous, pins);
        if (frame->fill == frame->start() && next) {
            series_frame::release(frame);
        } else {
            previous = frame;
        }
        frame = next;
    }
}

std::vector<Pin> pinned_addresses()
{
    std::vector<Pin> pins;
    roots::for_each_pinned([&](std::byte*& address) { pins.push_back({ address, &address }); });
    return pins;
}

void clear_heap_marks()
{
    for (NodeId node : marking.marked_on_heap) node::buffer(node)->flags &= ~series_flags::marked;
    marking.marked_on_heap.clear();
}

}

bool mark_node(NodeId& node)
{
    if (node == no_node) return false;
    node = relocated(node);
    XOL_ASSERT(!node::is_free(node), "a value refers to a freed node");
    SeriesBuffer* buffer = node::buffer(node);
    if (!buffer || (buffer->flags & series_flags::marked)) return false;
    buffer->flags |= series_flags::marked;
    if (buffer->flags & series_flags::on_heap) marking.marked_on_heap.push_back(node);
    return true;
}

void mark_series(NodeId& node)
{
    if (mark_node(node) && node::buffer(node)->unit() == sizeof(Cell)) marking.pending_series.push_back(node);
}

void mark_context(NodeId& node)
{
    if (!mark_node(node)) return;
    SeriesBuffer* buffer = node::buffer(node);
    if (buffer->tail < 2 * sizeof(Cell)) return;
    Cell& context = buffer->cells()[0];
    if (context.word1 != no_node) mark_table(context.word1);
    if (!(context.header & values_on_stack) && context.word2 != no_node) mark_series(context.word2);
    mark_cell(buffer->cells()[1]); // the owner
}

void mark_cell(Cell& cell)
{
    switch (payload_table[cell::type_of(cell)]) {
    case Payload::None:
        break;
    case Payload::Block:
        mark_series(cell.word2);
        break;
    case Payload::Text:
        mark_node(cell.word2);
        if (cell.word3 != no_node) mark_node(cell.word3); // most texts have no second node
        break;
    case Payload::Symbol:
        mark_node(cell.word3);
        mark_node(cell.word2);
        break;
    case Payload::Context:
        mark_table(cell.word1);
        if (!(cell.header & values_on_stack)) mark_series(cell.word2);
        break;
    case Payload::Word:
        mark_context(cell.word1);
        break;
    case Payload::Native:
        mark_series(cell.word2);
        mark_series(cell.word3);
        if (cell::type_of(cell) == type_ids::op) {
            auto const wrapped = static_cast<TypeId>((cell.header >> 16) & 0xFF);
            if (type_ids::is_context_function(wrapped)) mark_context(cell.word1);
        }
        break;
    case Payload::Function:
        mark_context(cell.word1);
        mark_series(cell.word2);
        mark_series(cell.word3);
        break;
    case Payload::Bytes:
        mark_node(cell.word2);
        break;
    case Payload::Object:
        mark_context(cell.word1);
        mark_node(cell.word3);
        break;
    case Payload::HashedBlock:
        mark_series(cell.word2);
        mark_table(cell.word3);
        break;
    case Payload::Handle:
        if (static_cast<std::int32_t>(cell.word3) >= 0) extres::mark(static_cast<std::int32_t>(cell.word3), nullptr);
        break;
    case Payload::Image:
        // The record's first word is the external-resource slot of the image's pixel store.
        if (cell.word2 != no_node) {
            mark_node(cell.word2);
            std::int32_t slot;
            std::memcpy(&slot, node::buffer(cell.word2)->head_address(), sizeof slot);
            extres::mark(slot, nullptr);
        }
        break;
    case Payload::Event:
        if (cell.word3 & event_series_present) mark_series(cell.word2);
        break;
    }
}

bool is_marked(NodeId node)
{
    node = relocated(node);
    return node != no_node && (node::buffer(node)->flags & series_flags::marked);
}

void init()
{
    auto stress = platform::get_env("XOL_GC_STRESS");
    state = CollectorState {};
    state.stress = stress && !stress->empty() && *stress != "0";
    clear_roots();
}

void collect_if_enabled()
{
    if (state.enabled && !state.collecting && state.holds == 0) collect();
}

void collect()
{
    std::uint64_t const in_use_before = memory::series_bytes_in_use();
    std::uint64_t const allocated = state.allocated;
    state.collecting = true;
    if (state.relocate_nodes) relocate_nodes();
    mark_roots();
    if (marking.relocation) cycles::for_each_entry([](NodeId& node) { node = relocated(node); });
    extres::sweep();
    ownership::sweep();
    std::vector<Pin> pins = pinned_addresses();
    compact(pins);
    big_buffer::sweep([](NodeId node) { node::free(node); });
    node_frame::sweep();
    if (marking.relocation) {
        hashmap::free(marking.relocation);
        marking.relocation = nullptr;
    }
    clear_heap_marks();
    state.allocated = 0;
    std::uint64_t const live = memory::series_bytes_in_use();
    state.budget = budget_after(live, allocated, in_use_before > live ? in_use_before - live : 0);
    // Frames freed now are likely wanted again before the next collection, which comes after one budget.
    platform::limit_free_cache(state.budget);
    ++state.collections;
    state.collecting = false;
}

void add_callback(MarkCallback callback)
{
    XOL_ASSERT(marking.callbacks.size() < max_callbacks, "too many mark callbacks");
    marking.callbacks.push_back(callback);
}

void remove_callback(MarkCallback callback)
{
    auto found = std::find(marking.callbacks.begin(), marking.callbacks.end(), callback);
    if (found != marking.callbacks.end()) *found = nullptr;
}

void add_root(Cell* cell)
{
    marking.root_cells.push_back(cell);
}
void add_root_node(NodeId* node)
{
    marking.root_nodes.push_back(node);
}

void clear_roots()
{
    marking.root_cells.clear();
    marking.root_nodes.clear();
    marking.callbacks.clear();
    marking.root_block = cell::make(type_ids::none);
}

Cell& root_block()
{
    return marking.root_block;
}

}
