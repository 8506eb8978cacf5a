// The tracked heap: C-heap blocks for the runtime's own fixed tables (the collector's arrays, hook lists,
// registries, heap series). Every block is linked into one list so that `free_all` can release them at
// exit; the collector never moves or frees them. Exhaustion ends the process with runtime error 94.
#pragma once

#include <cstddef>

namespace xol::heap {

void* allocate(std::size_t bytes); // 16-byte aligned
void* allocate_zeroed(std::size_t bytes);
void* reallocate(void* block, std::size_t bytes); // a null block allocates
void free(void* block); // a null block does nothing
void free_all();
std::size_t block_count();
std::size_t live_bytes(); // the sizes asked for by the live blocks, headers excluded
inline constexpr std::size_t block_header_size = 32;

}
