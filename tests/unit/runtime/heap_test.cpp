// The tracked heap's accounting: the sizes of the live blocks, which the memory statistics report.

#include <gtest/gtest.h>

#include "runtime/heap.h"

using namespace xol;

// Allocating, growing, shrinking and freeing keep the total of the live sizes exact.
TEST(TrackedHeap, LiveBytesFollowEveryChange)
{
    std::size_t const bytes = heap::live_bytes();
    std::size_t const count = heap::block_count();
    void* first = heap::allocate(100);
    void* second = heap::allocate_zeroed(28);
    EXPECT_EQ(heap::live_bytes(), bytes + 128);
    EXPECT_EQ(heap::block_count(), count + 2);
    first = heap::reallocate(first, 1000);
    EXPECT_EQ(heap::live_bytes(), bytes + 1028);
    first = heap::reallocate(first, 10);
    EXPECT_EQ(heap::live_bytes(), bytes + 38);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 16, 0u);
    heap::free(second);
    heap::free(first);
    EXPECT_EQ(heap::live_bytes(), bytes);
    EXPECT_EQ(heap::block_count(), count);
}
