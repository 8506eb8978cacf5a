// The handle registry: values kept in the cells of one rooted block, free cells chained through their
// integer payloads.

#include "runtime/handle_slots.h"

#include "runtime/assert.h"
#include "runtime/memory.h"
#include "runtime/roots.h"

namespace xol::slots {

SlotsState state;

namespace {

constexpr std::uint32_t end_of_chain = 0xFFFF'FFFF; // -1 as word 2 holds it

Cell free_cell(std::uint32_t next)
{
    return cell::make(type_ids::integer, 0, next, 0);
}

SeriesBuffer* block_buffer()
{
    return node::buffer(state.block.word2);
}

std::uint32_t capacity_in_cells(SeriesBuffer const* buffer)
{
    return buffer->capacity / sizeof(Cell);
}

// Chains cells first..end-1 as free cells, the last one ending the chain, and puts the whole capacity in use.
void chain_free(SeriesBuffer* buffer, std::uint32_t first)
{
    std::uint32_t const end = capacity_in_cells(buffer);
    Cell* cells = buffer->cells();
    for (std::uint32_t i = first; i + 1 < end; ++i) cells[i] = free_cell(i + 1);
    cells[end - 1] = free_cell(end_of_chain);
    buffer->tail = buffer->capacity;
}

}

void init()
{
    // A block left by an earlier start-up refers to released memory: a collection must not see it.
    state.block = cell::make(type_ids::none);
    state.free_head = -1;
    NodeId const node = series::alloc_cells(initial_cells);
    state.block = cell::make(type_ids::block, 0, node, 0);
    chain_free(node::buffer(node), 0);
    state.free_head = 0;
}

std::uint32_t add(Cell const& value)
{
    Rooted item(value); // `value` may sit in this block, which growth moves
    if (state.free_head == -1) {
        std::uint32_t const old_capacity = block_buffer()->capacity;
        // The block is a root: if growth moves its node, the collector rewrites word 2.
        SeriesBuffer* buffer = series::expand(state.block.word2, std::uint64_t { old_capacity } * 2);
        chain_free(buffer, old_capacity / sizeof(Cell));
        state.free_head = static_cast<std::int32_t>(old_capacity / sizeof(Cell));
    }
    auto const index = static_cast<std::uint32_t>(state.free_head);
    Cell& target = block_buffer()->cells()[index];
    auto const next = static_cast<std::int32_t>(target.word2);
    target = *item;
    state.free_head = next;
    return index + 1;
}

Cell* get(std::uint32_t handle)
{
    XOL_ASSERT(handle >= 1 && handle <= capacity_in_cells(block_buffer()), "handle out of range");
    return &block_buffer()->cells()[handle - 1];
}

void remove(std::uint32_t handle)
{
    if (handle == 0) return;
    *get(handle) = free_cell(static_cast<std::uint32_t>(state.free_head));
    state.free_head = static_cast<std::int32_t>(handle - 1);
}

}
