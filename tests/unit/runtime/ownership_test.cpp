// Series ownership: binding (recursive, cycle-safe, first owner kept), notification, unbinding, and the
// collector's sweep of records whose series or owner died.

#include <vector>

#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

struct OwnershipTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        gc::state.stress = false; // the tests choose when to collect
        notified.clear();
        services.tell_owner = [](Cell const&, Cell const&, Cell const& series, SymbolId action, Cell const*,
                                  std::int32_t index, std::int32_t part) {
            notified.push_back({ series.word2, action, index, part });
        };
    }
    void TearDown() override
    {
        app::fill_services();
        RuntimeTest::TearDown();
    }
    struct Notice {
        NodeId series;
        SymbolId action;
        std::int32_t index;
        std::int32_t part;
        bool operator==(Notice const&) const = default;
    };
    static inline std::vector<Notice> notified;
};

Cell make_block()
{
    return cell::make(type_ids::block, 0, series::alloc_cells(4));
}

void append(Cell const& block, Cell const& value)
{
    Rooted item(value);
    Rooted target(block);
    *series::append_cell_raw(target->word2) = *item;
}

// An object as the collector and ownership see it: a context node holding {context cell, owner cell},
// a word index, and a value series; `with_events` gives it an event record (word 3).
Cell make_object(std::vector<Cell> const& fields, bool with_events)
{
    Rooted words(cell::make(type_ids::block, 0, series::alloc_cells(4)));
    Rooted values(cell::make(type_ids::block, 0, series::alloc_cells(4)));
    for (std::uint32_t i = 0; i < fields.size(); ++i) {
        append(*words, cell::make(type_ids::word, 0, 500 + i, i));
        append(*values, fields[i]);
    }
    Rooted index(cell::make(type_ids::none, hashtable::init(4, &*words, hashtable::Kind::Symbols)));
    NodeId const context = series::alloc_cells(2);
    Cell* cells = node::buffer(context)->cells();
    cells[0] = cell::make(type_ids::context, index->word1, values->word2);
    cells[1] = cell::make(type_ids::none);
    node::buffer(context)->tail = 2 * sizeof(Cell);
    NodeId const events = with_events ? series::alloc_cells(1) : no_node;
    return cell::make(type_ids::object, context, 0, events);
}

Cell field_word()
{
    return cell::make(type_ids::word, 0, 777, 0);
}

}

TEST_F(OwnershipTest, BindingASelfContainingBlockTerminates)
{
    Rooted block(make_block());
    append(*block, *block);
    Rooted owner(make_object({}, true));
    ownership::bind(*block, *owner, field_word());
    ASSERT_NE(ownership::find(block->word2), nullptr);
    EXPECT_EQ(ownership::find(block->word2)->word1, owner->word1);
    EXPECT_TRUE(node::buffer(block->word2)->flags & ownership::owned_flag);
    EXPECT_TRUE(node::buffer(owner->word1)->cells()[0].header & ownership::owner_flag);
}

TEST_F(OwnershipTest, TheFirstOwnerStays)
{
    Rooted block(make_block());
    Rooted first(make_object({}, true));
    Rooted second(make_object({}, true));
    ownership::bind(*block, *first, field_word());
    ownership::bind(*block, *second, field_word());
    EXPECT_EQ(ownership::find(block->word2)->word1, first->word1);
}

TEST_F(OwnershipTest, ObjectsAreWalkedButNotTheOwnerItself)
{
    Rooted inner_block(make_block());
    Rooted inner(make_object({ *inner_block }, false));
    Rooted owner(make_object({ *inner }, true));
    // The owner's field refers back to the owner: binding must not recurse into it.
    node::buffer(node::buffer(owner->word1)->cells()[0].word2)->cells()[0] = *owner;
    Rooted outer_block(make_block());
    append(*outer_block, *inner);
    ownership::bind(*outer_block, *owner, field_word());
    EXPECT_NE(ownership::find(inner_block->word2), nullptr) << "a series inside an object field is owned too";
}

TEST_F(OwnershipTest, CheckTellsOwnersWithEventsOnly)
{
    Rooted quiet_block(make_block());
    Rooted quiet(make_object({}, false));
    ownership::bind(*quiet_block, *quiet, field_word());
    EXPECT_FALSE(ownership::check(*quiet_block, 1, nullptr, 0, 3));
    EXPECT_TRUE(notified.empty());

    Rooted block(make_block());
    Rooted owner(make_object({}, true));
    ownership::bind(*block, *owner, field_word());
    EXPECT_TRUE(ownership::check(*block, 42, nullptr, 2, 3));
    EXPECT_EQ(notified, (std::vector<Notice> { { block->word2, 42, 2, 3 } }));

    Rooted stranger(make_block());
    EXPECT_FALSE(ownership::check(*stranger, 42, nullptr, 0, 0)) << "a series nobody owns";
}

TEST_F(OwnershipTest, UnbindForgetsRecursively)
{
    Rooted inner(make_block());
    Rooted block(make_block());
    append(*block, *inner);
    Rooted owner(make_object({}, true));
    ownership::bind(*block, *owner, field_word());
    ASSERT_NE(ownership::find(inner->word2), nullptr);
    ownership::unbind(*block);
    EXPECT_EQ(ownership::find(block->word2), nullptr);
    EXPECT_EQ(ownership::find(inner->word2), nullptr);
    EXPECT_FALSE(node::buffer(inner->word2)->flags & ownership::owned_flag);
}

// The table is a root: an owned series and its owner live until the series is unbound.
TEST_F(OwnershipTest, RecordsKeepTheirSeriesAliveUntilUnbound)
{
    Rooted owner(make_object({}, true));
    // The bare id keeps nothing alive; a fresh runtime moves no node in one collection.
    NodeId owned = no_node;
    {
        Rooted block(make_block());
        ownership::bind(*block, *owner, field_word());
        owned = block->word2;
    }
    *owner = cell::make(type_ids::none);
    gc::collect();
    ASSERT_NE(ownership::find(owned), nullptr) << "kept by its record";
    Cell const series = ownership::find(owned)[-1]; // the record's copy of the owned value
    ownership::unbind(series);
    EXPECT_EQ(ownership::find(owned), nullptr);
    EXPECT_EQ(hashtable::count(ownership::state.table), 0u);
}

// A series action tells the owner before and after the change.
TEST_F(OwnershipTest, SeriesActionsTellTheOwner)
{
    Rooted block(make_block());
    Rooted owner(make_object({}, true));
    ownership::bind(*block, *owner, field_word());
    Cell const value = cell::make(type_ids::integer, 0, 5);
    datatype::actions(type_ids::block).append(*block, value, -1, false, 1, true);
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(notified[0].action, symbol::make("append"));
    EXPECT_EQ(notified[1].action, symbol::make("appended"));
    EXPECT_EQ(notified[0].series, block->word2);
}

// Every modifier of a block tells an owned block's owner once before and once after, with the action's
// word and its past tense; the same actions on a block nobody owns tell nothing.
TEST_F(OwnershipTest, EveryModifierTellsOnlyAnOwner)
{
    using Modify = void (*)(Cell const& block);
    struct Case {
        char const* before;
        char const* after;
        Modify run;
    };
    static Cell const five = cell::make(type_ids::integer, 0, 5);
    Case const cases[] = {
        { "append", "appended",
            [](Cell const& block) { datatype::actions(type_ids::block).append(block, five, -1, false, 1, true); } },
        { "change", "changed",
            [](Cell const& block) { datatype::actions(type_ids::block).change(block, five, -1, false, 1); } },
        { "poke", "poked", [](Cell const& block) { datatype::actions(type_ids::block).poke(block, 1, five, five); } },
        { "remove", "removed",
            [](Cell const& block) { datatype::actions(type_ids::block).remove(block, nullptr, nullptr); } },
        { "reverse", "reversed",
            [](Cell const& block) { datatype::actions(type_ids::block).reverse(block, nullptr, nullptr); } },
        { "sort", "sorted", [](Cell const& block) { datatype::actions(type_ids::block).sort(block, {}); } },
        { "take", "taken",
            [](Cell const& block) { datatype::actions(type_ids::block).take(block, nullptr, false, false); } },
        { "clear", "cleared", [](Cell const& block) { datatype::actions(type_ids::block).clear(block); } },
    };
    for (Case const& c : cases) {
        Rooted owned(make_block());
        Rooted free(make_block());
        for (std::uint32_t i = 1; i <= 3; ++i) {
            append(*owned, cell::make(type_ids::integer, 0, i));
            append(*free, cell::make(type_ids::integer, 0, i));
        }
        Rooted owner(make_object({}, true));
        ownership::bind(*owned, *owner, field_word());
        notified.clear();
        c.run(*free);
        EXPECT_TRUE(notified.empty()) << c.before;
        c.run(*owned);
        ASSERT_EQ(notified.size(), 2u) << c.before;
        EXPECT_EQ(notified[0].action, symbol::make(c.before));
        EXPECT_EQ(notified[1].action, symbol::make(c.after));
        EXPECT_EQ(notified[0].series, owned->word2) << c.before;
    }
}
