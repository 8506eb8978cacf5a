// The generic sorts against the standard library as oracle: stable results for the merge sort, ordered
// results for the quick sort, over record widths of 1, 3, 4 and 16 bytes and the input shapes that
// stress run detection and partitioning.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/radix_sorting.h"
#include "runtime/sorting.h"

using namespace xol;

namespace {

// A record of a block sort: a key to order by and the position it started at, which stability keeps.
struct Record {
    std::int32_t key;
    std::uint32_t position;
    std::uint32_t padding[2];
};
static_assert(sizeof(Record) == 16);

std::int32_t by_key(void const* a, void const* b, void* counter, void*)
{
    if (counter) ++*static_cast<std::uint64_t*>(counter);
    std::int32_t const x = static_cast<Record const*>(a)->key;
    std::int32_t const y = static_cast<Record const*>(b)->key;
    return (x > y) - (x < y);
}

enum class Shape { Random, FewKeys, Sorted, Reversed, OrganPipe, Sawtooth, NearlySorted, AllEqual };

std::vector<Record> make_records(Shape shape, std::uint32_t count, std::mt19937& generator)
{
    std::vector<Record> records(count);
    std::uniform_int_distribution<std::int32_t> any(-1'000'000, 1'000'000);
    std::uniform_int_distribution<std::int32_t> few(0, 7);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::int32_t key = 0;
        std::int32_t const index = static_cast<std::int32_t>(i);
        switch (shape) {
        case Shape::Random:
            key = any(generator);
            break;
        case Shape::FewKeys:
            key = few(generator);
            break;
        case Shape::Sorted:
            key = index / 3;
            break; // runs of equal keys
        case Shape::Reversed:
            key = -index;
            break;
        case Shape::OrganPipe:
            key = index < static_cast<std::int32_t>(count / 2) ? index : static_cast<std::int32_t>(count) - index;
            break;
        case Shape::Sawtooth:
            key = index % 97;
            break;
        case Shape::NearlySorted:
            key = index;
            break;
        case Shape::AllEqual:
            key = 5;
            break;
        }
        records[i] = Record { key, i, { 0, 0 } };
    }
    if (shape == Shape::NearlySorted) {
        std::uniform_int_distribution<std::uint32_t> where(0, count - 1);
        for (std::uint32_t swaps = 0; swaps < count / 100 + 1; ++swaps)
            std::swap(records[where(generator)], records[where(generator)]);
    }
    return records;
}

constexpr Shape all_shapes[] = { Shape::Random, Shape::FewKeys, Shape::Sorted, Shape::Reversed, Shape::OrganPipe,
    Shape::Sawtooth, Shape::NearlySorted, Shape::AllEqual };

bool same_records(std::vector<Record> const& a, std::vector<Record> const& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Record const& x, Record const& y) {
        return x.key == y.key && x.position == y.position;
    });
}

std::vector<std::int32_t> keys_of(std::vector<Record> const& records)
{
    std::vector<std::int32_t> keys;
    for (Record const& record : records) keys.push_back(record.key);
    return keys;
}

}

// The merge sort gives exactly what a stable sort gives: equal keys keep their input order.
TEST(SortMerge, MatchesStableSortOnEveryShape)
{
    std::mt19937 generator(12345);
    for (std::uint32_t const count : { 2U, 3U, 23U, 24U, 25U, 100U, 1'000U, 30'011U }) {
        for (Shape const shape : all_shapes) {
            std::vector<Record> records = make_records(shape, count, generator);
            std::vector<Record> expected = records;
            std::stable_sort(
                expected.begin(), expected.end(), [](Record const& a, Record const& b) { return a.key < b.key; });
            sort::merge(records.data(), count, sizeof(Record), nullptr, nullptr, by_key);
            EXPECT_TRUE(same_records(records, expected)) << "count " << count << ", shape " << static_cast<int>(shape);
        }
    }
}

// The quick sort orders the keys; which of two equal records comes first is its own business.
TEST(SortQuick, MatchesSortOnEveryShape)
{
    std::mt19937 generator(6789);
    for (std::uint32_t const count : { 2U, 3U, 7U, 8U, 9U, 100U, 1'000U, 30'011U }) {
        for (Shape const shape : all_shapes) {
            std::vector<Record> records = make_records(shape, count, generator);
            std::vector<Record> expected = records;
            std::sort(expected.begin(), expected.end(), [](Record const& a, Record const& b) { return a.key < b.key; });
            sort::quick(records.data(), count, sizeof(Record), nullptr, nullptr, by_key);
            EXPECT_EQ(keys_of(records), keys_of(expected))
                << "count " << count << ", shape " << static_cast<int>(shape);
            std::vector<std::uint32_t> positions;
            for (Record const& record : records) positions.push_back(record.position);
            std::sort(positions.begin(), positions.end());
            for (std::uint32_t i = 0; i < count; ++i) ASSERT_EQ(positions[i], i) << "every record once";
        }
    }
}

// Nothing to do for 0 or 1 records: the comparator is never called.
TEST(Sort, ZeroAndOneRecordsAreLeftAlone)
{
    Record one[1] = { { 3, 0, { 0, 0 } } };
    std::uint64_t calls = 0;
    for (std::uint32_t const count : { 0U, 1U }) {
        sort::merge(one, count, sizeof(Record), &calls, nullptr, by_key);
        sort::quick(one, count, sizeof(Record), &calls, nullptr, by_key);
    }
    EXPECT_EQ(calls, 0U);
    EXPECT_EQ(one[0].key, 3);
}

// Already ordered data costs one pass: a strictly descending block is one run, reversed in place; an
// ascending one is found ordered by both sorts.
TEST(Sort, OrderedInputTakesOnePass)
{
    std::vector<Record> records(1'000);
    for (std::uint32_t i = 0; i < 1'000; ++i) records[i] = Record { 1'000 - static_cast<std::int32_t>(i), i, { 0, 0 } };
    std::uint64_t calls = 0;
    sort::merge(records.data(), 1'000, sizeof(Record), &calls, nullptr, by_key);
    EXPECT_EQ(calls, 999U);
    for (std::uint32_t i = 0; i < 1'000; ++i) ASSERT_EQ(records[i].key, static_cast<std::int32_t>(i) + 1);

    calls = 0;
    sort::merge(records.data(), 1'000, sizeof(Record), &calls, nullptr, by_key);
    EXPECT_EQ(calls, 999U);
    calls = 0;
    sort::quick(records.data(), 1'000, sizeof(Record), &calls, nullptr, by_key);
    EXPECT_EQ(calls, 999U);
}

// Widths that are not multiples of 4 move byte by byte: a string of 1-byte units, and 3-byte records.
TEST(Sort, OddWidths)
{
    std::mt19937 generator(42);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text(5'000, ' ');
    for (char& c : text) c = static_cast<char>(letter(generator));
    std::string expected = text;
    std::sort(expected.begin(), expected.end());
    auto const by_byte = [](void const* a, void const* b) {
        return static_cast<int>(*static_cast<unsigned char const*>(a)) - *static_cast<unsigned char const*>(b);
    };
    std::string merged = text;
    sort::merge(merged.data(), static_cast<std::uint32_t>(merged.size()), 1, by_byte);
    EXPECT_EQ(merged, expected);
    std::string quick = text;
    sort::quick(quick.data(), static_cast<std::uint32_t>(quick.size()), 1, by_byte);
    EXPECT_EQ(quick, expected);

    // Three bytes: a key byte and two bytes of original position, which stability keeps in order.
    std::vector<std::array<std::uint8_t, 3>> triples(3'000);
    for (std::uint32_t i = 0; i < triples.size(); ++i)
        triples[i] = { static_cast<std::uint8_t>(letter(generator)), static_cast<std::uint8_t>(i >> 8),
            static_cast<std::uint8_t>(i & 0xFF) };
    auto expected_triples = triples;
    std::stable_sort(
        expected_triples.begin(), expected_triples.end(), [](auto const& a, auto const& b) { return a[0] < b[0]; });
    sort::merge(triples.data(), static_cast<std::uint32_t>(triples.size()), 3, by_byte);
    EXPECT_EQ(triples, expected_triples);
}

// A comparator that raises part-way leaves every record in place exactly once, whichever merge it stopped.
TEST(SortMerge, RaisingComparatorLosesNoRecord)
{
    struct Stop { };
    std::mt19937 generator(7);
    for (std::uint64_t const stop_after : { 10U, 500U, 5'000U, 20'000U, 40'000U }) {
        std::vector<Record> records = make_records(Shape::Random, 5'000, generator);
        std::uint64_t calls = 0;
        auto const stopping = [&](void const* a, void const* b) {
            if (++calls == stop_after) throw Stop {};
            return by_key(a, b, nullptr, nullptr);
        };
        bool stopped = false;
        try {
            sort::merge(records.data(), 5'000, sizeof(Record), stopping);
        } catch (Stop const&) {
            stopped = true;
        }
        EXPECT_TRUE(stopped) << stop_after;
        std::vector<std::uint32_t> positions;
        for (Record const& record : records) positions.push_back(record.position);
        std::sort(positions.begin(), positions.end());
        for (std::uint32_t i = 0; i < positions.size(); ++i)
            ASSERT_EQ(positions[i], i) << "stopped after " << stop_after;
    }
}

// A comparator that orders inconsistently must not make the quick sort run away: it stays in place and
// ends, with every record still present.
TEST(SortQuick, InconsistentComparatorStillEnds)
{
    std::mt19937 generator(99);
    std::vector<Record> records = make_records(Shape::Random, 20'000, generator);
    std::uniform_int_distribution<int> coin(-1, 1);
    auto const random_order = [&](void const*, void const*) { return coin(generator); };
    sort::quick(records.data(), 20'000, sizeof(Record), random_order);
    std::vector<std::uint32_t> positions;
    for (Record const& record : records) positions.push_back(record.position);
    std::sort(positions.begin(), positions.end());
    for (std::uint32_t i = 0; i < positions.size(); ++i) ASSERT_EQ(positions[i], i);
}

namespace {

std::int32_t by_key_descending(void const* a, void const* b, void*, void*)
{
    return by_key(b, a, nullptr, nullptr);
}

}

// The key sorts make the very moves of the comparator sorts: equal keys end in the same places, ascending
// and descending, and with the key at another offset of a wider record.
TEST(SortByKey, SamePermutationAsTheComparatorSorts)
{
    std::mt19937 generator(2468);
    for (std::uint32_t const count : { 2U, 3U, 8U, 25U, 129U, 1'000U, 30'011U }) {
        for (Shape const shape : all_shapes) {
            for (bool const descending : { false, true }) {
                std::vector<Record> const input = make_records(shape, count, generator);
                auto const comparator = descending ? by_key_descending : by_key;
                std::vector<Record> expected = input;
                std::vector<Record> got = input;
                sort::quick(expected.data(), count, sizeof(Record), nullptr, nullptr, comparator);
                sort::quick_by_key(got.data(), count, sizeof(Record), 0, descending);
                EXPECT_TRUE(same_records(got, expected)) << "quick, count " << count << ", shape "
                                                         << static_cast<int>(shape) << ", descending " << descending;
                expected = input;
                got = input;
                sort::merge(expected.data(), count, sizeof(Record), nullptr, nullptr, comparator);
                sort::merge_by_key(got.data(), count, sizeof(Record), 0, descending);
                EXPECT_TRUE(same_records(got, expected)) << "merge, count " << count << ", shape "
                                                         << static_cast<int>(shape) << ", descending " << descending;
            }
        }
    }
    // The key in the second half of 32-byte records (two cells, the second compared).
    std::vector<std::array<Record, 2>> pairs(500);
    for (std::uint32_t i = 0; i < pairs.size(); ++i) {
        pairs[i][0] = Record { static_cast<std::int32_t>(i), i, { 0, 0 } };
        pairs[i][1] = Record { static_cast<std::int32_t>(i * 7919 % 13), i, { 0, 0 } };
    }
    sort::quick_by_key(pairs.data(), 500, sizeof(pairs[0]), sizeof(Record), false);
    for (std::uint32_t i = 1; i < pairs.size(); ++i) ASSERT_LE(pairs[i - 1][1].key, pairs[i][1].key);
    for (auto const& pair : pairs) ASSERT_EQ(pair[0].position, pair[1].position) << "records move whole";
}

// The radix sort against the standard library's stable sort: 32-bit keys of every shape, and 64-bit keys
// whose high digits alone differ (the passes of the equal low digits are skipped).
TEST(SortRadix, MatchesStableSort)
{
    std::mt19937 generator(4);
    for (std::uint32_t const count : { 0U, 1U, 2U, 3U, 64U, 1'000U, 30'011U }) {
        for (Shape const shape : all_shapes) {
            std::vector<Record> input = make_records(count ? shape : Shape::Random, count, generator);
            auto const key_of
                = [](Record const& record) { return static_cast<std::uint32_t>(record.key) ^ 0x8000'0000u; };
            std::vector<Record> expected = input;
            std::stable_sort(expected.begin(), expected.end(),
                [&](Record const& a, Record const& b) { return key_of(a) < key_of(b); });
            std::vector<Record> scratch(count);
            Record const* sorted = sort::radix<32>(input.data(), scratch.data(), count, key_of);
            EXPECT_TRUE(sorted == input.data() || sorted == scratch.data());
            EXPECT_TRUE(same_records(std::vector<Record>(sorted, sorted + count), expected))
                << "count " << count << ", shape " << static_cast<int>(shape);
        }
    }
    std::vector<std::uint64_t> keys(5'000);
    for (std::uint32_t i = 0; i < keys.size(); ++i) keys[i] = std::uint64_t { i * 7919u % 5'000u } << 44 | 0x1234;
    std::vector<std::uint64_t> scratch(keys.size());
    std::vector<std::uint64_t> expected = keys;
    std::sort(expected.begin(), expected.end());
    std::uint64_t const* sorted = sort::radix<64>(
        keys.data(), scratch.data(), static_cast<std::uint32_t>(keys.size()), [](std::uint64_t key) { return key; });
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), sorted));
}
