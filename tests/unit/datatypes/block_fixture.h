// A runtime with the scalar datatypes, series!, string!, char!, block!, paren! and the path family
// registered, and small drivers for block tests: blocks of integers built in one call, text of values.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/paren.h"
#include "datatypes/path.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"
#include "scalar_fixture.h"

struct BlockTest : ScalarTest {
    void SetUp() override
    {
        ScalarTest::SetUp();
        // The error record outlives a runtime: arguments that an earlier test raised name nodes of a
        // runtime that is gone, and the collector marks them.
        for (xol::Cell& argument : xol::errors::last_raised_for_marking().arguments) argument = xol::unset_value;
        for (xol::DatatypeRecord const* record :
            { &xol::series::record, &xol::string::record, &xol::char_::record, &xol::block::record, &xol::paren::record,
                &xol::path::record, &xol::lit_path::record, &xol::set_path::record, &xol::get_path::record })
            xol::datatype::register_(*record);
    }
};

// A series of `type` holding the cells, none of which may lie in a series buffer. May allocate.
inline xol::Cell series_of(std::initializer_list<xol::Cell> cells, xol::TypeId type = xol::type_ids::block)
{
    xol::Cell made;
    xol::block::make_from_run(made, cells.begin(), static_cast<std::uint32_t>(cells.size()), type);
    return made;
}

// A block of integer! values. May allocate.
inline xol::Cell ints(std::initializer_list<std::int32_t> numbers, xol::TypeId type = xol::type_ids::block)
{
    std::vector<xol::Cell> cells;
    for (std::int32_t number : numbers) cells.push_back(xol::integer::make(number));
    xol::Cell made;
    xol::block::make_from_run(made, cells.data(), static_cast<std::uint32_t>(cells.size()), type);
    return made;
}

inline xol::Cell int_cell(std::int32_t number)
{
    return xol::integer::make(number);
}

// The cell with its new-line marker set.
inline xol::Cell on_new_line(xol::Cell value)
{
    value.header |= xol::cell::new_line_flag;
    return value;
}

inline xol::Cell at_index(xol::Cell value, std::uint32_t index)
{
    value.word1 = index;
    return value;
}

inline xol::Cell as_type(xol::Cell value, xol::TypeId type)
{
    xol::cell::set_type(value, type);
    return value;
}

struct MoldFlags {
    bool only = false;
    bool all = false;
    bool flat = false;
};

// The molded text of a value; with `part` the /part limit applies from `limit`.
inline std::string mold_text(xol::Cell const& value, MoldFlags flags = {}, bool part = false, std::int32_t limit = 1000,
    std::int32_t* left = nullptr)
{
    using namespace xol;
    Rooted kept(value);
    Rooted buffer(string::make(16));
    Cell const part_cell = integer::make(limit);
    std::int32_t const answer
        = datatype::actions(cell::type_of(value))
              .mold(*kept, *buffer, flags.only, flags.all, flags.flat, part ? &part_cell : nullptr, limit, 0);
    if (left) *left = answer;
    return string::to_utf8(*buffer);
}

inline std::string form_text(xol::Cell const& value)
{
    using namespace xol;
    Rooted kept(value);
    Rooted buffer(string::make(16));
    datatype::actions(cell::type_of(value)).form(*kept, *buffer, nullptr, 1000);
    return string::to_utf8(*buffer);
}

// The molded text of a series from its head.
inline std::string whole(xol::Cell const& value)
{
    return mold_text(at_index(value, 0));
}
