// The collector's integer map: sizing, replacing, reuse of deleted buckets, growth and iteration.

#include <cstdint>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "runtime/int_map.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using IntMapTest = RuntimeTest;

// Frees the map however the test ends.
struct MapHolder {
    IntMap* map;
    explicit MapHolder(std::uint32_t expected)
        : map(hashmap::make(expected))
    {
    }
    ~MapHolder() { hashmap::free(map); }
};

std::uint32_t flag_of(IntMap const* map, std::uint32_t bucket)
{
    return (map->flags[bucket >> 2] >> ((bucket & 3) * 2)) & 3u;
}

}

// Buckets: the next power of two of max(expected, 4) / 0.77; the bound is 0.77 of the buckets.
TEST_F(IntMapTest, MakeSizing)
{
    struct Case {
        std::uint32_t expected, bucket_count, upper_bound;
    };
    Case const cases[] = {
        { 0, 8, 6 }, // raised to 4: 5.19 rounds up to 8
        { 4, 8, 6 },
        { 6, 8, 6 }, // 7.79 still fits 8
        { 7, 16, 12 }, // 9.09
        { 20000, 32768, 25231 },
    };
    for (auto const& c : cases) {
        MapHolder holder(c.expected);
        IntMap const* map = holder.map;
        EXPECT_EQ(map->bucket_count, c.bucket_count) << c.expected;
        EXPECT_EQ(map->upper_bound, c.upper_bound) << c.expected;
        EXPECT_EQ(map->size, 0u);
        EXPECT_EQ(map->occupied, 0u);
        for (std::uint32_t bucket = 0; bucket < map->bucket_count; ++bucket)
            ASSERT_EQ(flag_of(map, bucket), 2u) << "bucket " << bucket << " of " << c.expected;
    }
}

TEST_F(IntMapTest, PutReplaceFindRemove)
{
    MapHolder holder(10);
    IntMap* map = holder.map;
    EXPECT_FALSE(hashmap::put(map, 7, 70));
    EXPECT_FALSE(hashmap::put(map, 0, 1)); // key 0 is an ordinary key
    EXPECT_FALSE(hashmap::put(map, 0xFFFFFFFF, 2));
    EXPECT_TRUE(hashmap::put(map, 7, 71)); // replaced
    EXPECT_EQ(hashmap::size(map), 3u);
    EXPECT_EQ(map->occupied, 3u);

    ASSERT_NE(hashmap::value_ptr(map, 7), nullptr);
    EXPECT_EQ(*hashmap::value_ptr(map, 7), 71u);
    EXPECT_EQ(*hashmap::value_ptr(map, 0), 1u);
    EXPECT_EQ(*hashmap::value_ptr(map, 0xFFFFFFFF), 2u);
    std::int64_t const bucket = hashmap::find(map, 7);
    ASSERT_GE(bucket, 0);
    EXPECT_EQ(map->slots[bucket].key, 7u);
    EXPECT_EQ(hashmap::find(map, 8), -1);
    EXPECT_EQ(hashmap::value_ptr(map, 8), nullptr);

    *hashmap::value_ptr(map, 7) = 99; // the pointer writes in place
    EXPECT_EQ(*hashmap::value_ptr(map, 7), 99u);

    hashmap::remove(map, 8); // absent: nothing changes
    EXPECT_EQ(hashmap::size(map), 3u);
    hashmap::remove(map, 7);
    EXPECT_EQ(hashmap::size(map), 2u);
    EXPECT_EQ(map->occupied, 3u); // the deleted bucket still counts until a rehash
    EXPECT_EQ(hashmap::find(map, 7), -1);
    EXPECT_EQ(flag_of(map, static_cast<std::uint32_t>(bucket)), 1u);
}

// A deleted bucket on a key's probe path takes the key back without adding to the occupied count.
TEST_F(IntMapTest, DeleteThenPutReusesTheBucket)
{
    MapHolder holder(10);
    IntMap* map = holder.map;
    for (std::uint32_t key = 1; key <= 5; ++key) hashmap::put(map, key, key * 10);
    std::int64_t const bucket = hashmap::find(map, 3);
    hashmap::remove(map, 3);
    std::uint32_t const occupied = map->occupied;

    EXPECT_FALSE(hashmap::put(map, 3, 33));
    EXPECT_EQ(hashmap::find(map, 3), bucket);
    EXPECT_EQ(*hashmap::value_ptr(map, 3), 33u);
    EXPECT_EQ(map->occupied, occupied);
    EXPECT_EQ(hashmap::size(map), 5u);
}

// Puts and removes at random against a shadow: the map grows several times and rehashes away
// deleted buckets, and every live key stays findable with its latest value.
TEST_F(IntMapTest, ManyKeysAgainstAShadow)
{
    MapHolder holder(4);
    IntMap* map = holder.map;
    std::unordered_map<std::uint32_t, std::uint32_t> shadow;
    std::mt19937 random(12345);
    for (std::uint32_t i = 0; i < 100'000; ++i) {
        std::uint32_t const key = random() % 200'000;
        if (random() % 4 == 0) {
            hashmap::remove(map, key);
            shadow.erase(key);
        } else {
            bool const present = shadow.count(key) != 0;
            ASSERT_EQ(hashmap::put(map, key, i), present) << "key " << key;
            shadow[key] = i;
        }
        ASSERT_LT(map->occupied, map->bucket_count);
    }
    ASSERT_EQ(hashmap::size(map), shadow.size());
    EXPECT_GT(map->bucket_count, 8u);
    EXPECT_EQ(map->bucket_count & (map->bucket_count - 1), 0u);
    for (auto const& [key, value] : shadow) {
        std::uint32_t const* found = hashmap::value_ptr(map, key);
        ASSERT_NE(found, nullptr) << "key " << key;
        ASSERT_EQ(*found, value) << "key " << key;
    }
    for (std::uint32_t key = 200'000; key < 210'000; ++key) ASSERT_EQ(hashmap::find(map, key), -1);
}

// Many removals followed by puts: the resize keeps the bucket count and rehashes the deleted buckets away.
TEST_F(IntMapTest, DeletedBucketsAreReclaimedWithoutGrowing)
{
    MapHolder holder(100);
    IntMap* map = holder.map;
    std::uint32_t const bucket_count = map->bucket_count;
    std::uint32_t next_key = 0;
    // A sliding window of 20 live keys: the occupied count climbs while the size stays small.
    for (std::uint32_t round = 0; round < 1000; ++round) {
        hashmap::put(map, next_key, next_key);
        if (next_key >= 20) hashmap::remove(map, next_key - 20);
        ++next_key;
    }
    EXPECT_EQ(map->bucket_count, bucket_count);
    EXPECT_EQ(hashmap::size(map), 20u);
    for (std::uint32_t key = next_key - 20; key < next_key; ++key) EXPECT_NE(hashmap::find(map, key), -1);
}

TEST_F(IntMapTest, ResizeRules)
{
    MapHolder holder(4);
    IntMap* map = holder.map;
    for (std::uint32_t key = 0; key < 5; ++key) hashmap::put(map, key, key);
    // 4 buckets hold at most 3 keys: the resize is refused and the map is unchanged.
    EXPECT_TRUE(hashmap::resize(map, 3));
    EXPECT_EQ(map->bucket_count, 8u);
    // A resize rounds up to a power of two and sets the bound with rounding.
    EXPECT_TRUE(hashmap::resize(map, 17));
    EXPECT_EQ(map->bucket_count, 32u);
    EXPECT_EQ(map->upper_bound, 25u); // 24.64 rounds to 25
    EXPECT_EQ(map->occupied, 5u);
    for (std::uint32_t key = 0; key < 5; ++key) EXPECT_EQ(*hashmap::value_ptr(map, key), key);
}

TEST_F(IntMapTest, NextLiveVisitsEachLiveKeyOnce)
{
    MapHolder holder(0);
    IntMap* map = holder.map;
    EXPECT_EQ(hashmap::next_live(map, nullptr), nullptr);

    for (std::uint32_t key = 1; key <= 1000; ++key) hashmap::put(map, key, key + 1);
    for (std::uint32_t key = 1; key <= 1000; key += 3) hashmap::remove(map, key);
    std::unordered_set<std::uint32_t> seen;
    IntMapSlot* previous = nullptr;
    for (IntMapSlot* slot = hashmap::next_live(map, nullptr); slot; slot = hashmap::next_live(map, slot)) {
        ASSERT_TRUE(previous == nullptr || slot > previous) << "bucket order";
        ASSERT_TRUE(seen.insert(slot->key).second) << "visited twice: " << slot->key;
        EXPECT_EQ(slot->value, slot->key + 1);
        EXPECT_NE(slot->key % 3, 1u) << "removed key visited: " << slot->key;
        previous = slot;
    }
    EXPECT_EQ(seen.size(), hashmap::size(map));
    EXPECT_EQ(seen.size(), 666u);

    hashmap::clear(map);
    EXPECT_EQ(hashmap::size(map), 0u);
    EXPECT_EQ(map->occupied, 0u);
    EXPECT_EQ(hashmap::next_live(map, nullptr), nullptr);
    EXPECT_EQ(hashmap::find(map, 2), -1);
    EXPECT_FALSE(hashmap::put(map, 2, 5));
}
