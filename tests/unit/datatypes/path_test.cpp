// path!, its children and paren!: their text, their action rows and make.

#include "block_fixture.h"

using namespace xol;

TEST_F(BlockTest, PathTextJoinsElementsWithSlashes)
{
    Rooted elements(ints({ 1, 2, 3 }));
    struct Case {
        TypeId type;
        char const* molded;
    };
    Case const cases[] = {
        { type_ids::path, "1/2/3" },
        { type_ids::lit_path, "'1/2/3" },
        { type_ids::set_path, "1/2/3:" },
        { type_ids::get_path, ":1/2/3" },
    };
    for (Case const& c : cases) {
        Cell const path = as_type(*elements, c.type);
        EXPECT_EQ(mold_text(path), c.molded);
        EXPECT_EQ(form_text(path), "1/2/3");
    }
    Rooted text(string::from_utf8("a b"));
    Rooted mixed(series_of({ *text, on_new_line(int_cell(4)) }, type_ids::path));
    EXPECT_EQ(mold_text(*mixed), "\"a b\"/4") << "no new-line handling in paths";
    EXPECT_EQ(form_text(*mixed), "a b/4");
    EXPECT_EQ(mold_text(at_index(*mixed, 1)), "4");

    Rooted self(ints({ 1 }, type_ids::path));
    block::rs_append(*self, *self);
    EXPECT_EQ(mold_text(*self), "1/...");
}

TEST_F(BlockTest, ParenMoldsInParentheses)
{
    Rooted paren(ints({ 1, 2 }, type_ids::paren));
    EXPECT_EQ(mold_text(*paren), "(1 2)");
    EXPECT_EQ(mold_text(*paren, { .only = true }), "1 2");
    EXPECT_EQ(form_text(*paren), "1 2");
    Rooted lines(series_of({ on_new_line(int_cell(1)), int_cell(2) }, type_ids::paren));
    EXPECT_EQ(mold_text(*lines), "(\n    1 2\n)");
}

// lit-path!, set-path! and get-path! differ from path! only in mold; path! lacks random, sort and trim,
// paren! only trim.
TEST_F(BlockTest, PathFamilyRowsInheritFromPath)
{
    TypeActions const& path = datatype::actions(type_ids::path);
    TypeActions const& block = datatype::actions(type_ids::block);
    TypeActions const& series = datatype::actions(type_ids::series);
    for (TypeId child : { type_ids::lit_path, type_ids::set_path, type_ids::get_path }) {
        TypeActions const& row = datatype::actions(child);
        EXPECT_NE(row.mold, path.mold);
        EXPECT_EQ(row.form, path.form);
        EXPECT_EQ(row.make, path.make);
        EXPECT_EQ(row.copy, path.copy);
        EXPECT_EQ(row.find, block.find) << "block!'s entry through path!";
        EXPECT_EQ(row.pick, series.pick) << "series!'s entry through block! and path!";
        EXPECT_EQ(row.sort, nullptr);
    }
    EXPECT_EQ(path.sort, nullptr);
    EXPECT_EQ(path.random, nullptr);
    EXPECT_EQ(path.trim, nullptr);
    EXPECT_EQ(path.copy, block.copy);
    TypeActions const& paren = datatype::actions(type_ids::paren);
    EXPECT_EQ(paren.sort, block.sort);
    EXPECT_EQ(paren.random, series.random);
    EXPECT_EQ(paren.trim, nullptr);
    EXPECT_EQ(paren.form, block.form);
    EXPECT_EQ(block.trim != nullptr, true);
}

TEST_F(BlockTest, SortOfAParenWorks)
{
    Rooted paren(ints({ 3, 1, 2 }, type_ids::paren));
    datatype::actions(type_ids::paren).sort(*paren, {});
    EXPECT_EQ(mold_text(*paren), "(1 2 3)");
}

TEST_F(BlockTest, MakeAPath)
{
    TypeActions const& path = datatype::actions(type_ids::path);
    Rooted empty(path.make(none_value, int_cell(0), type_ids::path));
    EXPECT_EQ(cell::type_of(*empty), type_ids::path);
    EXPECT_EQ(series::buffer_of(*empty)->capacity, sizeof(Cell)) << "room for one cell";
    Rooted negative(path.make(none_value, int_cell(-3), type_ids::path));
    EXPECT_EQ(series::buffer_of(*negative)->capacity, sizeof(Cell));

    Rooted source(ints({ 1, 2, 3 }));
    Rooted made(datatype::actions(type_ids::set_path).make(none_value, at_index(*source, 1), type_ids::set_path));
    EXPECT_EQ(mold_text(*made), "2/3:");
    EXPECT_EQ(raised_by([&] { path.make(none_value, none_value, type_ids::path); }), err::script::bad_make_arg);
    EXPECT_EQ(mold_text(path.to(none_value, int_cell(5), type_ids::get_path)), ":5");

    Cell cell = *source;
    Cell* pushed = lit_path::push(cell);
    EXPECT_EQ(cell::type_of(*pushed), type_ids::lit_path);
    stack::pop(1);
    Cell made_at;
    get_path::make_at(made_at, 4);
    EXPECT_EQ(cell::type_of(made_at), type_ids::get_path);
}

TEST_F(BlockTest, PathAndLitPathCompareAsOneForTheSearchCodes)
{
    Rooted elements(ints({ 1, 2 }));
    Cell const path = as_type(*elements, type_ids::path);
    Rooted copied(ints({ 1, 2 }, type_ids::lit_path));
    EXPECT_EQ(datatype::actions(type_ids::path).compare(path, *copied, CompareOp::FindStrictPathEqual), 0);
    EXPECT_EQ(datatype::actions(type_ids::lit_path).compare(*copied, path, CompareOp::FindPathEqual), 0);
    EXPECT_EQ(datatype::actions(type_ids::path).compare(path, *copied, CompareOp::FindEqual), compare_incomparable);
}
