// Tests of virtual memory from the OS: allocation rounding, and the reserve, commit, decommit, release cycle.

#include "runtime/platform/memory.h"

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace xol::platform {
namespace {

bool is_page_aligned(void const* address)
{
    return reinterpret_cast<std::uintptr_t>(address) % page_size == 0;
}

bool all_zero(unsigned char const* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

TEST(OsAlloc, RoundsUpToWholeZeroedPages)
{
    struct Case {
        std::size_t bytes;
        std::size_t rounded;
    };
    Case const cases[] = {
        { 1, page_size },
        { page_size - 1, page_size },
        { page_size, page_size },
        { page_size + 1, 2 * page_size },
        { 3 * page_size + 1, 4 * page_size },
        { 1 << 20, 1 << 20 },
    };
    for (Case const& c : cases) {
        auto* block = static_cast<unsigned char*>(os_alloc(c.bytes));
        ASSERT_NE(block, nullptr) << c.bytes;
        EXPECT_TRUE(is_page_aligned(block)) << c.bytes;
        EXPECT_TRUE(all_zero(block, c.rounded)) << c.bytes;
        // The whole rounded range is usable, not just the bytes asked for.
        std::memset(block, 0xA5, c.rounded);
        EXPECT_EQ(block[c.rounded - 1], 0xA5) << c.bytes;
        EXPECT_TRUE(os_free(block, c.bytes)) << c.bytes;
    }
}

TEST(OsAlloc, RefusesImpossibleSizes)
{
    std::size_t const sizes[] = { 0, SIZE_MAX, SIZE_MAX - page_size + 2, std::size_t { 1 } << 62 };
    for (std::size_t bytes : sizes) EXPECT_EQ(os_alloc(bytes), nullptr) << bytes;
}

TEST(OsFree, AcceptsNull)
{
    EXPECT_TRUE(os_free(nullptr, page_size));
}

// Freed blocks come back zeroed for a request they can hold, the best fitting first, a longer one split;
// the cache never holds more than its limit, and a request none fits gives cached bytes back first.
TEST(OsFree, KeepsBlocksForTheNextRequestsWithinTheLimit)
{
    limit_free_cache(0);
    limit_free_cache(16 * page_size);
    auto* small = static_cast<unsigned char*>(os_alloc(2 * page_size));
    auto* large = static_cast<unsigned char*>(os_alloc(6 * page_size));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    std::memset(small, 0x11, 2 * page_size);
    std::memset(large, 0x22, 6 * page_size);
    ASSERT_TRUE(os_free(small, 2 * page_size));
    ASSERT_TRUE(os_free(large, 6 * page_size));
    EXPECT_EQ(free_cache_bytes(), 8 * page_size);

    auto* again = static_cast<unsigned char*>(os_alloc(2 * page_size - 5));
    EXPECT_EQ(again, small);
    EXPECT_TRUE(all_zero(again, 2 * page_size));
    auto* head = static_cast<unsigned char*>(os_alloc(4 * page_size));
    EXPECT_EQ(head, large);
    EXPECT_TRUE(all_zero(head, 4 * page_size));
    EXPECT_EQ(free_cache_bytes(), 2 * page_size);
    auto* rest = static_cast<unsigned char*>(os_alloc(2 * page_size));
    EXPECT_EQ(rest, large + 4 * page_size);
    EXPECT_TRUE(all_zero(rest, 2 * page_size));
    EXPECT_EQ(free_cache_bytes(), 0u);

    // Past the limit the oldest blocks go back to the OS; a block longer than the limit is never kept.
    ASSERT_TRUE(os_free(again, 2 * page_size));
    ASSERT_TRUE(os_free(head, 4 * page_size));
    ASSERT_TRUE(os_free(rest, 2 * page_size));
    EXPECT_EQ(free_cache_bytes(), 8 * page_size);
    limit_free_cache(6 * page_size);
    EXPECT_EQ(free_cache_bytes(), 6 * page_size);
    auto* huge = static_cast<unsigned char*>(os_alloc(20 * page_size));
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(free_cache_bytes(), 0u);
    ASSERT_TRUE(os_free(huge, 20 * page_size));
    EXPECT_EQ(free_cache_bytes(), 0u);

    // A request no cached block holds gives back at least its own length, oldest blocks first.
    limit_free_cache(16 * page_size);
    void* blocks[3];
    for (void*& block : blocks) block = os_alloc(page_size);
    for (void* block : blocks) ASSERT_TRUE(os_free(block, page_size));
    EXPECT_EQ(free_cache_bytes(), 3 * page_size);
    void* pair = os_alloc(2 * page_size);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(free_cache_bytes(), page_size);
    EXPECT_EQ(os_alloc(page_size), blocks[2]);
    EXPECT_TRUE(os_free(blocks[2], page_size));
    EXPECT_TRUE(os_free(pair, 2 * page_size));

    limit_free_cache(0);
    EXPECT_EQ(free_cache_bytes(), 0u);
    limit_free_cache(default_free_cache_limit);
}

TEST(Reserve, CommitsZeroedPagesAndZeroesThemAgainAfterDecommit)
{
    constexpr std::size_t pages = 16;
    auto* base = static_cast<unsigned char*>(reserve(pages * page_size));
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(is_page_aligned(base));

    unsigned char* middle = base + 4 * page_size;
    constexpr std::size_t length = 3 * page_size;
    ASSERT_TRUE(commit(middle, length));
    EXPECT_TRUE(all_zero(middle, length));
    std::memset(middle, 0x5A, length);

    ASSERT_TRUE(decommit(middle, length));
    ASSERT_TRUE(commit(middle, length));
    EXPECT_TRUE(all_zero(middle, length));

    // Committing more of the reservation leaves what is already there alone.
    std::memset(middle, 0x3C, length);
    ASSERT_TRUE(commit(base, pages * page_size));
    EXPECT_EQ(middle[0], 0x3C);
    EXPECT_EQ(middle[length - 1], 0x3C);
    EXPECT_TRUE(all_zero(base, 4 * page_size));

    EXPECT_TRUE(release(base, pages * page_size));
}

TEST(Reserve, TakesLargeAddressRangesCheaply)
{
    constexpr std::size_t bytes = std::size_t { 64 } << 30;
    auto* base = static_cast<unsigned char*>(reserve(bytes));
    ASSERT_NE(base, nullptr);
    unsigned char* last_page = base + bytes - page_size;
    ASSERT_TRUE(commit(last_page, page_size));
    last_page[page_size - 1] = 1;
    EXPECT_EQ(last_page[page_size - 1], 1);
    EXPECT_TRUE(release(base, bytes));
}

TEST(Commit, RefusesBadRanges)
{
    auto* base = static_cast<unsigned char*>(reserve(4 * page_size));
    ASSERT_NE(base, nullptr);
    EXPECT_FALSE(commit(base + 1, page_size));
    EXPECT_FALSE(decommit(base + 1, page_size));
    EXPECT_FALSE(commit(nullptr, page_size));
    EXPECT_FALSE(commit(base, 0));
    EXPECT_TRUE(release(base, 4 * page_size));
}

// The limit read back is the soft limit set, in bytes; the hard limit is left alone.
TEST(AddressSpaceLimit, ReadsTheSoftLimit)
{
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlim_t const wanted = rlim_t { 3'000'000 } * 1024; // ulimit -v 3000000
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < wanted) GTEST_SKIP() << "the hard limit is lower";
    // Nothing may allocate while the limit stands: a sanitizer's process already maps far more than it.
    struct rlimit lowered = saved;
    lowered.rlim_cur = wanted;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &lowered), 0);
    std::uint64_t const read = address_space_limit();
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(read, std::uint64_t { wanted });
    EXPECT_EQ(address_space_limit(),
        saved.rlim_cur == RLIM_INFINITY ? no_address_space_limit : std::uint64_t { saved.rlim_cur });
}

using MemoryDeathTest = testing::Test;

TEST_F(MemoryDeathTest, UncommittedPagesCannotBeTouched)
{
    auto* base = static_cast<unsigned char volatile*>(reserve(2 * page_size));
    ASSERT_NE(base, nullptr);
    EXPECT_DEATH(base[0] = 1, "");
    ASSERT_TRUE(commit(const_cast<unsigned char*>(base), 2 * page_size));
    base[page_size] = 1;
    ASSERT_TRUE(decommit(const_cast<unsigned char*>(base + page_size), page_size));
    EXPECT_DEATH(base[page_size] = 1, "");
    base[0] = 2;
    EXPECT_EQ(base[0], 2);
    EXPECT_TRUE(release(const_cast<unsigned char*>(base), 2 * page_size));
}

}
}
