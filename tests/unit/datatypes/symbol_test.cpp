// The symbol table: interning, the aliases of case variants, growth, and the cached spelling strings.

#include <string>
#include <vector>

#include "names_fixture.h"
#include "runtime/collector.h"

using namespace xol;

namespace {

struct SymbolTest : NamesTest { };

TEST_F(SymbolTest, InterningIsStableAndCaseVariantsAliasTheFirstSpelling)
{
    SymbolId const foo = symbol::make("foo-sym");
    EXPECT_EQ(symbol::make("foo-sym"), foo);
    EXPECT_EQ(symbol::alias_of(foo), -1);

    SymbolId const capital = symbol::make("Foo-Sym");
    SymbolId const upper = symbol::make("FOO-SYM");
    EXPECT_NE(capital, foo);
    EXPECT_NE(upper, capital);
    // Every variant names the canonical spelling, never another variant.
    EXPECT_EQ(symbol::alias_of(capital), static_cast<std::int32_t>(foo));
    EXPECT_EQ(symbol::alias_of(upper), static_cast<std::int32_t>(foo));
    EXPECT_EQ(symbol::resolve(capital), foo);
    EXPECT_EQ(symbol::resolve(foo), foo);
    EXPECT_EQ(symbol::make("Foo-Sym"), capital);
    EXPECT_EQ(symbol::spelling(upper), "FOO-SYM");
}

TEST_F(SymbolTest, CaseBlindInterningFindsAnySpellingAndCreatesNothing)
{
    SymbolId const foo = symbol::make("quux");
    std::uint32_t const before = symbol::count();
    EXPECT_EQ(symbol::make_case("QUUX"), foo);
    EXPECT_EQ(symbol::make_case("qUuX"), foo);
    EXPECT_EQ(symbol::count(), before);
    SymbolId const fresh = symbol::make_case("Brand-New");
    EXPECT_EQ(symbol::count(), before + 1);
    EXPECT_EQ(symbol::alias_of(fresh), -1);
}

TEST_F(SymbolTest, OnlyAsciiLettersFoldAndLengthsMustMatch)
{
    struct Case {
        char const* first;
        char const* second;
        bool aliased;
    };
    Case const cases[] = {
        { "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", false }, // été / ÉTÉ: é and É are distinct
        { "\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9", true }, // été / éTé: only the ASCII letter differs
        { "abc", "ABCD", false }, { "a[b", "A{B", false }, // [ and { differ by 0x20 but are not letters
        { "x@", "X`", false }, { "", "", false }, // the empty name is a name like any other
    };
    for (Case const& c : cases) {
        SymbolId const first = symbol::make(c.first);
        SymbolId const second = symbol::make(c.second);
        if (std::string(c.first) == c.second) {
            EXPECT_EQ(first, second);
            continue;
        }
        EXPECT_NE(first, second) << c.first << " / " << c.second;
        EXPECT_EQ(symbol::resolve(second) == first, c.aliased) << c.first << " / " << c.second;
    }
}

TEST_F(SymbolTest, NameLengthIsGivenNotSearched)
{
    char const text[] = { 'a', 'b', 'c', 'd' };
    SymbolId const ab = symbol::make_len(text, 2);
    EXPECT_EQ(symbol::spelling(ab), "ab");
    EXPECT_EQ(symbol::make("ab"), ab);
    EXPECT_NE(symbol::make_len(text, 3), ab);
}

TEST_F(SymbolTest, TextLyingInASeriesIsCopiedBeforeAnythingMoves)
{
    Rooted text(string::from_utf8("inside-a-series"));
    auto const* bytes = reinterpret_cast<char const*>(node::buffer(text->word2)->head_address());
    SymbolId const symbol = symbol::make_len(bytes, 15);
    EXPECT_EQ(symbol::spelling(symbol), "inside-a-series");
}

TEST_F(SymbolTest, CachedStringIsMadeOnceOnDemand)
{
    SymbolId const symbol = symbol::make("lazy-name");
    EXPECT_EQ(symbol::cell_of(symbol).word2, no_node);
    Cell const* cell = symbol::get(symbol);
    NodeId const cached = cell->word2;
    ASSERT_NE(cached, no_node);
    EXPECT_EQ(string::to_utf8(cell::make(type_ids::string, 0, cached, 0)), "lazy-name");
    gc::collect();
    NodeId const again = symbol::cache_string(symbol);
    EXPECT_EQ(again, symbol::cell_of(symbol).word2);
    EXPECT_EQ(string::to_utf8(cell::make(type_ids::string, 0, again, 0)), "lazy-name");
}

TEST_F(SymbolTest, MakeFromStringReadsFromTheIndexAndCountsBytes)
{
    Rooted text(string::from_utf8("xx\xC3\xA9l\xC3\xA8ve"));
    Cell at_two = *text;
    at_two.word1 = 2;
    std::uint32_t bytes = 0;
    SymbolId const symbol = symbol::make_from_string(at_two, &bytes);
    EXPECT_EQ(symbol::spelling(symbol), "\xC3\xA9l\xC3\xA8ve");
    EXPECT_EQ(bytes, 7u);
}

TEST_F(SymbolTest, CompareActionComparesSpellings)
{
    SymbolId const apple = symbol::make("apple");
    SymbolId const upper = symbol::make("APPLE");
    SymbolId const pear = symbol::make("pear");
    Cell const a = symbol::cell_of(apple);
    Cell const b = symbol::cell_of(upper);
    Cell const c = symbol::cell_of(pear);
    EXPECT_EQ(symbol::compare(a, b, CompareOp::Equal), 0);
    EXPECT_EQ(symbol::compare(a, b, CompareOp::StrictEqual), 1);
    EXPECT_EQ(symbol::compare(a, c, CompareOp::Lesser), -1);
    EXPECT_EQ(symbol::compare(a, integer::make(1), CompareOp::Equal), compare_incomparable);
}

// Sorts and searches hold buffer addresses across comparisons, so spellings are compared from the names
// themselves, without making their strings: the answers are those of the strings, and nothing is allocated.
TEST_F(SymbolTest, SpellingsCompareAsTheirStringsWithoutAllocating)
{
    char const* const spellings[] = { "a", "A", "ab", "abc", "b", "B", "zeta", "\xC3\xA9p\xC3\xA9\x65",
        "\xC3\x89P\xC3\x89\x45", "\xF0\x9D\x90\x80", "x\xC3\xBF", "X\xC5\xB8" };
    CompareOp const codes[] = { CompareOp::Equal, CompareOp::NotEqual, CompareOp::StrictEqual, CompareOp::Lesser,
        CompareOp::Sort, CompareOp::CaseSort, CompareOp::Same, CompareOp::FindEqual };
    std::vector<SymbolId> symbols;
    for (char const* spelling : spellings) symbols.push_back(symbol::make(spelling));
    for (SymbolId const first : symbols) {
        for (SymbolId const second : symbols) {
            for (CompareOp const op : codes) {
                Rooted text1(string::from_utf8(symbol::spelling(first)));
                Rooted text2(string::from_utf8(symbol::spelling(second)));
                std::int32_t expected = string::equal_q(*text1, *text2, op, false);
                if (op == CompareOp::Same) expected = first == second ? 0 : -1;
                std::uint64_t const epoch = memory::epoch();
                EXPECT_EQ(symbol::compare_spellings(first, second, op), expected)
                    << symbol::spelling(first) << " vs " << symbol::spelling(second) << " op " << int(op);
                EXPECT_EQ(symbol::compare(symbol::cell_of(first), symbol::cell_of(second), op), expected);
                EXPECT_EQ(memory::epoch(), epoch) << "a comparison allocated";
            }
        }
    }
    for (SymbolId const made : symbols) EXPECT_EQ(symbol::cell_of(made).word2, no_node) << "no string was cached";
}

// Growth rehashes the name index many times over. Under the stress switch the bulk is interned without
// a collection at each allocation (the rooting of interning is the other tests' business); everything is
// then checked across collections.
TEST_F(SymbolTest, HundredThousandSymbolsSurviveGrowthWithCanonicalAliases)
{
    constexpr int count = 100'000;
    bool const stress = gc::state.stress;
    gc::state.stress = false;
    std::vector<SymbolId> lower(count);
    std::vector<SymbolId> upper(count);
    for (int i = 0; i < count; ++i) lower[i] = symbol::make("name-" + std::to_string(i));
    // The variants arrive after growth has reordered the chains.
    for (int i = 0; i < count; i += 7) upper[i] = symbol::make("NAME-" + std::to_string(i));
    for (int i = 3; i < count; i += 7) upper[i] = symbol::make("Name-" + std::to_string(i));
    gc::state.stress = stress;
    gc::collect();
    for (int i = 0; i < count; ++i) {
        std::string const name = "name-" + std::to_string(i);
        ASSERT_EQ(symbol::make(name), lower[i]) << name;
        ASSERT_EQ(symbol::spelling(lower[i]), name);
        if (upper[i] != 0) {
            ASSERT_EQ(symbol::resolve(upper[i]), lower[i]) << name;
            ASSERT_EQ(symbol::resolve(symbol::make_case(name)), lower[i]) << name;
        }
    }
    // A third spelling of a name interned after all that growth still aliases the canonical one.
    SymbolId const third = symbol::make("nAME-7");
    EXPECT_EQ(symbol::alias_of(third), static_cast<std::int32_t>(lower[7]));
    EXPECT_GE(symbol::count(), static_cast<std::uint32_t>(count));
}

}
