// The cycle guard: the stack of walked nodes, its depth limit, save and restore, and the cycle markers.

#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using CyclesTest = RuntimeTest;

}

TEST_F(CyclesTest, PushFindPop)
{
    EXPECT_EQ(cycles::depth(), 0u);
    cycles::push(10);
    cycles::push(20);
    cycles::push(30);
    EXPECT_EQ(cycles::depth(), 3u);
    EXPECT_TRUE(cycles::find(10));
    EXPECT_TRUE(cycles::find(30));
    EXPECT_FALSE(cycles::find(40));

    cycles::pop();
    EXPECT_FALSE(cycles::find(30)); // only entries below the cursor count
    EXPECT_TRUE(cycles::find(20));

    cycles::drop(5); // more than there are: empties, never wraps
    EXPECT_EQ(cycles::depth(), 0u);
    cycles::pop(); // empty: stays empty
    EXPECT_EQ(cycles::depth(), 0u);
    EXPECT_FALSE(cycles::find(10));

    cycles::push(1);
    cycles::push(2);
    cycles::push(3);
    cycles::drop(2);
    EXPECT_EQ(cycles::depth(), 1u);
    cycles::reset();
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(CyclesTest, TheThousandthEntryRaisesTooDeep)
{
    for (NodeId node = 1; node <= cycles::capacity - 1; ++node) cycles::push(node);
    EXPECT_EQ(cycles::depth(), 999u);
    EXPECT_TRUE(cycles::find(999));

    EXPECT_EQ(raised_by([] { cycles::push(1000); }), err::internal::too_deep);
    EXPECT_EQ(cycles::depth(), 0u);
    EXPECT_FALSE(cycles::find(1));

    cycles::push(5); // usable again at once
    EXPECT_EQ(cycles::depth(), 1u);
}

TEST_F(CyclesTest, SaveAndRestore)
{
    cycles::push(1);
    std::uint32_t const saved = cycles::save();
    cycles::push(2);
    cycles::push(3);
    cycles::restore(saved);
    EXPECT_EQ(cycles::depth(), 1u);
    EXPECT_TRUE(cycles::find(1));
    EXPECT_FALSE(cycles::find(2));
    cycles::restore(cycles::save()); // restoring the current cursor changes nothing
    EXPECT_EQ(cycles::depth(), 1u);
}

TEST_F(CyclesTest, NodeOfReadsTheContextForContextValues)
{
    struct Case {
        TypeId type;
        NodeId expected;
    };
    Case const cases[] = {
        { type_ids::object, 11 },
        { type_ids::error, 11 },
        { type_ids::port, 11 },
        { type_ids::block, 22 },
        { type_ids::map, 22 },
        { type_ids::string, 22 },
        { type_ids::path, 22 },
    };
    for (auto const& c : cases)
        EXPECT_EQ(cycles::node_of(cell::make(c.type, 11, 22, 33)), c.expected) << int { c.type };
}

TEST_F(CyclesTest, MarkerTexts)
{
    struct Case {
        TypeId type;
        char const* molded;
        char const* formed;
    };
    Case const cases[] = {
        { type_ids::block, "[...]", "..." },
        { type_ids::hash, "[...]", "..." },
        { type_ids::paren, "(...)", "..." },
        { type_ids::map, "#[...]", "..." },
        { type_ids::object, "make object! [...]", "..." },
        { type_ids::path, "...", "..." },
        { type_ids::lit_path, "...", "..." },
        { type_ids::set_path, "...", "..." },
        { type_ids::get_path, "...", "..." },
        { type_ids::string, "...", "..." },
        { type_ids::error, "...", "..." },
    };
    for (auto const& c : cases) {
        EXPECT_STREQ(cycles::marker_text(c.type, true), c.molded) << int { c.type };
        EXPECT_STREQ(cycles::marker_text(c.type, false), c.formed) << int { c.type };
    }
}
