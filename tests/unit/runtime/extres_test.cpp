// The external-resource registry: slot reuse, growth, release through kinds and the collector's sweep.

#include <map>
#include <vector>

#include "runtime/extres.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

// Every release a handler heard of, by object.
std::map<void*, int> released;

void count_release(void* object)
{
    ++released[object];
}

struct ExtresTest : RuntimeTest {
    std::uint32_t kind = 0;
    void SetUp() override
    {
        RuntimeTest::SetUp();
        released.clear();
        kind = extres::register_kind("test", count_release);
    }
};

// Distinct addresses to stand for OS objects.
int objects[3000];

void* object(int index)
{
    return &objects[index];
}

int free_list_length()
{
    int length = 0;
    for (std::int32_t i = extres::state.free_head; i != extres::end_of_list; i = extres::state.slots[i].next) ++length;
    return length;
}

std::vector<std::int32_t> live_list()
{
    std::vector<std::int32_t> live;
    for (std::int32_t i = extres::state.live_head; i != extres::end_of_list; i = extres::state.slots[i].next)
        live.push_back(i);
    return live;
}

}

TEST_F(ExtresTest, FreshRegistry)
{
    EXPECT_EQ(kind, 1u);
    EXPECT_EQ(extres::register_kind("second", nullptr), 2u);
    EXPECT_EQ(extres::state.capacity, extres::initial_slots);
    EXPECT_EQ(extres::state.free_head, 0);
    EXPECT_EQ(extres::state.live_head, extres::end_of_list);
    EXPECT_EQ(free_list_length(), 1000);
    for (std::uint32_t i = 0; i < extres::initial_slots; ++i) {
        ASSERT_EQ(extres::state.slots[i].kind_word, extres::free_mark);
        ASSERT_EQ(extres::state.slots[i].object, nullptr);
    }
}

// The 1000th add finds the last free slot at the head and grows first, so the free list never runs dry.
TEST_F(ExtresTest, GrowsBeforeTakingTheLastFreeSlot)
{
    for (int i = 0; i < 999; ++i) ASSERT_EQ(extres::add(object(i), kind), i);
    EXPECT_EQ(extres::state.capacity, 1000u);
    EXPECT_EQ(extres::state.free_head, 999);

    EXPECT_EQ(extres::add(object(999), kind), 999);
    EXPECT_EQ(extres::state.capacity, 2000u);
    EXPECT_EQ(extres::state.free_head, 1000);
    EXPECT_EQ(free_list_length(), 1000);
    EXPECT_EQ(extres::add(object(1000), kind), 1000);

    for (int i = 0; i <= 1000; ++i) {
        ASSERT_EQ(extres::state.slots[i].object, object(i)) << i;
        ASSERT_EQ(extres::state.slots[i].kind_word, kind) << i;
    }
    std::vector<std::int32_t> const live = live_list();
    ASSERT_EQ(live.size(), 1001u);
    EXPECT_EQ(live.front(), 1000); // newest first
    EXPECT_EQ(live.back(), 0);
    EXPECT_TRUE(released.empty());
}

TEST_F(ExtresTest, RemoveReleasesOnlyWhenAsked)
{
    std::int32_t const first = extres::add(object(1), kind);
    std::int32_t const second = extres::add(object(2), kind);
    std::int32_t const third = extres::add(object(3), kind);

    extres::remove(second, true); // from the middle of the live list
    EXPECT_EQ(released[object(2)], 1);
    EXPECT_EQ(released.size(), 1u);
    EXPECT_EQ(live_list(), (std::vector<std::int32_t> { third, first }));
    EXPECT_EQ(extres::state.free_head, second);
    EXPECT_EQ(extres::state.slots[second].kind_word, extres::free_mark);
    EXPECT_EQ(extres::state.slots[second].object, nullptr);

    extres::remove(third, false); // the live head, kept by its owner
    EXPECT_EQ(released.count(object(3)), 0u);
    EXPECT_EQ(live_list(), (std::vector<std::int32_t> { first }));
    EXPECT_EQ(extres::state.free_head, third);
    EXPECT_EQ(extres::add(object(4), kind), third); // the newest free slot is taken first
    EXPECT_EQ(free_list_length(), 998);
}

TEST_F(ExtresTest, SetObjectReleasesADifferentOldObject)
{
    std::int32_t const slot = extres::add(object(1), kind);
    extres::set_object(slot, object(1));
    EXPECT_TRUE(released.empty());
    extres::set_object(slot, object(2));
    EXPECT_EQ(released[object(1)], 1);
    EXPECT_EQ(released.size(), 1u);
    EXPECT_EQ(extres::state.slots[slot].object, object(2));
}

// Kind 0 and kinds without a handler release nothing.
TEST_F(ExtresTest, ReleaseNeedsAKindWithAHandler)
{
    std::uint32_t const silent = extres::register_kind("silent", nullptr);
    extres::release_object(0, object(1));
    extres::release_object(silent, object(1));
    EXPECT_TRUE(released.empty());
    extres::release_object(kind | 0x1200, object(1)); // callers' flags above the kind index
    EXPECT_EQ(released[object(1)], 1);
}

TEST_F(ExtresTest, SweepReleasesUnmarkedSlotsAndKeepsMarkedOnes)
{
    std::int32_t slot[6];
    for (int i = 0; i < 6; ++i) slot[i] = extres::add(object(i), kind);
    // Marked: the newest (live head), one in the middle and the oldest (last on the list).
    EXPECT_TRUE(extres::mark(slot[5], nullptr));
    EXPECT_FALSE(extres::mark(slot[5], nullptr)); // already marked
    EXPECT_TRUE(extres::mark(slot[2], object(20))); // replaced, the old object not released
    EXPECT_TRUE(extres::mark(slot[0], nullptr));

    extres::sweep();
    EXPECT_EQ(released.size(), 3u);
    for (int i : { 1, 3, 4 }) EXPECT_EQ(released[object(i)], 1) << i;
    for (int i : { 0, 2, 5 }) EXPECT_EQ(released.count(object(i)), 0u) << i;
    EXPECT_EQ(live_list(), (std::vector<std::int32_t> { slot[5], slot[2], slot[0] }));
    for (int i : { 0, 2, 5 }) EXPECT_EQ(extres::state.slots[slot[i]].kind_word, kind) << "mark cleared on " << i;
    EXPECT_EQ(extres::state.slots[slot[2]].object, object(20));

    // The sweep walks newest first, so the oldest released slot is released last and heads the free list.
    EXPECT_EQ(extres::state.free_head, slot[1]);
    EXPECT_EQ(extres::state.slots[slot[1]].kind_word, extres::free_mark);
    EXPECT_EQ(extres::state.slots[slot[1]].next, slot[3]);
    EXPECT_EQ(extres::add(object(9), kind), slot[1]);
    EXPECT_EQ(free_list_length(), 1000 - 4);

    // A second sweep with nothing marked releases every survivor once more, and only them.
    released.clear();
    extres::sweep();
    EXPECT_EQ(released.size(), 4u);
    for (void* o : { object(0), object(20), object(5), object(9) }) EXPECT_EQ(released[o], 1);
    EXPECT_EQ(extres::state.live_head, extres::end_of_list);
    EXPECT_EQ(free_list_length(), 1000);
}
