// The datatype registry: names, and action rows resolved through parents once, at registration.

#include <gtest/gtest.h>

#include "datatypes/registry.h"

using namespace xol;

namespace {

std::int32_t form_a(Cell const&, Cell&, Refinement, std::int32_t limit)
{
    return limit - 1;
}
std::int32_t form_b(Cell const&, Cell&, Refinement, std::int32_t limit)
{
    return limit - 2;
}
std::int32_t mold_a(Cell const&, Cell&, bool, bool, bool, Refinement, std::int32_t limit, std::int32_t)
{
    return limit;
}
std::int32_t length_a(Cell const&)
{
    return 7;
}
Cell clear_a(Cell const& value)
{
    return value;
}

}

// A grandchild that inherits everywhere gets its grandparent's entries in one step; an inherited slot that
// the parent leaves empty stays empty; a slot a child fills itself is its own.
TEST(Registry, InheritanceResolvesThroughParents)
{
    datatype::reset();
    datatype::register_({ .id = 42,
        .parent = no_parent,
        .name = "series!",
        .actions = { .form = form_a, .mold = mold_a, .length_q = length_a } });
    datatype::register_({ .id = 5,
        .parent = 42,
        .name = "block!",
        .actions = { .form = inherit, .mold = inherit, .clear = clear_a, .length_q = inherit, .sort = inherit } });
    datatype::register_({ .id = 25,
        .parent = 5,
        .name = "path!",
        .actions = { .form = form_b, .mold = inherit, .clear = inherit, .length_q = inherit } });
    datatype::register_({ .id = 26,
        .parent = 25,
        .name = "lit-path!",
        .actions = { .form = inherit, .mold = mold_a, .clear = inherit, .length_q = inherit, .sort = inherit } });

    TypeActions const& lit_path = datatype::actions(26);
    EXPECT_EQ(lit_path.form, &form_b);
    EXPECT_EQ(lit_path.mold, &mold_a);
    EXPECT_EQ(lit_path.clear, &clear_a);
    EXPECT_EQ(lit_path.length_q, &length_a) << "from series! through block! and path!";
    EXPECT_EQ(lit_path.sort, nullptr) << "path! leaves sort empty";
    EXPECT_EQ(lit_path.make, nullptr) << "a slot nobody names stays empty";
    EXPECT_EQ(datatype::actions(5).sort, nullptr) << "series! leaves sort empty";

    EXPECT_EQ(datatype::name(26), "lit-path!");
    EXPECT_EQ(datatype::name_without_bang(5), "block");
    EXPECT_EQ(datatype::name(30), "") << "not registered";
    EXPECT_EQ(datatype::registry.highest, 42);
    datatype::reset();
}
