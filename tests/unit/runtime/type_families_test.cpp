// The table of datatype families: it agrees with the typesets of the boot library where they share a
// name, its families nest as the code relies on, and the layouts its families promise hold.

#include <string>
#include <string_view>

#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/type_families.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

using TypeTest = bool (*)(TypeId);

struct TypeFamiliesTest : RuntimeTest { };

Cell boot_typeset(std::string_view name)
{
    Cell const value = *word::get_value(word::make_global(name));
    EXPECT_EQ(cell::type_of(value), type_ids::typeset) << name;
    return value;
}

}

TEST_F(TypeFamiliesTest, FamiliesAgreeWithTheBootTypesetsOfTheirName)
{
    struct Case {
        char const* typeset;
        TypeTest in_family;
    };
    Case const cases[] = {
        { "series!", type_ids::is_series },
        { "any-string!", type_ids::is_text },
        { "any-list!", type_ids::is_list },
        { "any-path!", type_ids::is_path },
        { "any-block!", type_ids::is_any_block },
        { "any-word!", type_ids::is_plain_word },
        { "all-word!", type_ids::is_all_word },
        { "scalar!", type_ids::is_scalar },
        { "any-function!", type_ids::is_function },
        { "any-object!", type_ids::is_object },
    };
    for (Case const& c : cases) {
        Cell const set = boot_typeset(c.typeset);
        for (TypeId type = 1; type <= type_ids::last; ++type)
            EXPECT_EQ(c.in_family(type), typeset::has(set, type)) << c.typeset << " and type id " << int { type };
    }
    // number! also holds money!, which compare and sort do not yet order among the other numbers.
    Cell const numbers = boot_typeset("number!");
    for (TypeId type = 1; type <= type_ids::last; ++type)
        EXPECT_EQ(type_ids::is_number(type), typeset::has(numbers, type) && type != type_ids::money)
            << "type id " << int { type };
}

TEST(TypeFamilies, NestAsTheCodeReliesOn)
{
    struct Case {
        char const* inner_name;
        TypeTest inner;
        TypeTest outer;
    };
    Case const cases[] = {
        { "text in series", type_ids::is_text, type_ids::is_series },
        { "any-block in series", type_ids::is_any_block, type_ids::is_series },
        { "plain words in bindable", type_ids::is_plain_word, type_ids::is_bindable },
        { "bindable in all words", type_ids::is_bindable, type_ids::is_all_word },
        { "numbers in scalars", type_ids::is_number, type_ids::is_scalar },
        { "context functions in functions", type_ids::is_context_function, type_ids::is_function },
    };
    for (Case const& c : cases)
        for (unsigned type = 0; type < 256; ++type) {
            auto const id = static_cast<TypeId>(type);
            EXPECT_TRUE(!c.inner(id) || c.outer(id)) << c.inner_name << ": type id " << type;
        }
    // Ids outside the datatypes (the lexer's markers among them) belong to no family.
    for (unsigned type = type_ids::last + 1; type < 256; ++type)
        EXPECT_EQ(type_ids::family_table[type], 0) << "type id " << type;
    EXPECT_EQ(type_ids::family_table[0], 0);
}

// The collector marks every text type's buffer as text: a text of each unit width survives a collection
// under each text type, its code points intact.
TEST_F(TypeFamiliesTest, EveryTextTypeKeepsItsBufferOfOneTwoOrFourByteUnits)
{
    struct Width {
        std::uint32_t unit;
        std::u32string code_points;
        std::string utf8;
    };
    Width const widths[] = {
        { 1, U"ab", "ab" },
        { 2, U"a\u263A", "a\xE2\x98\xBA" },
        { 4, U"a\U0001F600", "a\xF0\x9F\x98\x80" },
    };
    for (TypeId type = 1; type <= type_ids::last; ++type) {
        if (!type_ids::is_text(type)) continue;
        for (Width const& width : widths) {
            Cell made;
            string::make_at_unit(made, 4, width.unit);
            Rooted text(made);
            for (char32_t code_point : width.code_points) string::append_char(*text, code_point);
            cell::set_type(*text, type);
            gc::collect();
            EXPECT_EQ(node::buffer(text->word2)->unit(), width.unit) << "type id " << int { type };
            EXPECT_EQ(string::to_utf8(*text), width.utf8) << "type id " << int { type };
        }
    }
}

// The collector marks the cells of every any-block type: a text held only by one survives a collection.
TEST_F(TypeFamiliesTest, EveryAnyBlockTypeKeepsTheValuesItHolds)
{
    for (TypeId type = 1; type <= type_ids::last; ++type) {
        if (!type_ids::is_any_block(type)) continue;
        Rooted block(cell::make(type, 0, series::alloc_cells(2), 0));
        Rooted text(string::from_utf8("held"));
        *series::append_cell_raw(block->word2) = *text;
        gc::collect();
        EXPECT_EQ(string::to_utf8(node::buffer(block->word2)->head_cell()[0]), "held") << "type id " << int { type };
    }
}
