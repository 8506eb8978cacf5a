// The tracked heap: every block carries a 32-byte header linking it into one doubly linked list and
// recording its size, so that the memory statistics can total the live blocks.

#include "runtime/heap.h"

#include <cstdlib>

#include "runtime/quit.h"

namespace xol::heap {

namespace {

struct alignas(16) BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
    std::size_t size; // the bytes asked for
};
static_assert(sizeof(BlockHeader) == block_header_size);

struct HeapState {
    BlockHeader* first = nullptr;
    BlockHeader* last = nullptr;
    std::size_t count = 0;
    std::size_t bytes = 0; // the sizes of the live blocks
} state;

void link(BlockHeader* block, std::size_t size)
{
    block->size = size;
    state.bytes += size;
    block->previous = state.last;
    block->next = nullptr;
    if (state.last)
        state.last->next = block;
    else
        state.first = block;
    state.last = block;
    ++state.count;
}

void unlink(BlockHeader* block)
{
    (block->previous ? block->previous->next : state.first) = block->next;
    (block->next ? block->next->previous : state.last) = block->previous;
    --state.count;
    state.bytes -= block->size;
}

BlockHeader* header_of(void* block)
{
    return static_cast<BlockHeader*>(block) - 1;
}

[[noreturn]] void out_of_memory()
{
    runtime::quit(runtime::status_out_of_memory, runtime::here());
}

std::size_t with_header(std::size_t bytes)
{
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) out_of_memory();
    return bytes + sizeof(BlockHeader);
}

}

void* allocate(std::size_t bytes)
{
    auto* block = static_cast<BlockHeader*>(std::malloc(with_header(bytes)));
    if (!block) out_of_memory();
    link(block, bytes);
    return block + 1;
}

// calloc, not malloc and memset: a large block comes as fresh zero pages, and only those used are touched.
void* allocate_zeroed(std::size_t bytes)
{
    auto* block = static_cast<BlockHeader*>(std::calloc(1, with_header(bytes)));
    if (!block) out_of_memory();
    link(block, bytes);
    return block + 1;
}

void* reallocate(void* data, std::size_t bytes)
{
    if (!data) return allocate(bytes);
    BlockHeader* old_block = header_of(data);
    std::size_t const old_size = old_block->size;
    unlink(old_block);
    auto* block = static_cast<BlockHeader*>(std::realloc(old_block, with_header(bytes)));
    if (!block) {
        link(old_block, old_size);
        out_of_memory();
    }
    link(block, bytes);
    return block + 1;
}

void free(void* data)
{
    if (!data) return;
    BlockHeader* block = header_of(data);
    unlink(block);
    std::free(block);
}

void free_all()
{
    while (state.first) {
        BlockHeader* block = state.first;
        unlink(block);
        std::free(block);
    }
}

std::size_t block_count()
{
    return state.count;
}
std::size_t live_bytes()
{
    return state.bytes;
}

}
