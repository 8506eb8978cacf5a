// A runtime with the scalar datatypes, series!, string! and char! registered, and small drivers for text
// tests: making texts from UTF-8, reading them back, and blocks and binaries built by hand.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "datatypes/char.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "scalar_fixture.h"

struct TextTest : ScalarTest {
    void SetUp() override
    {
        ScalarTest::SetUp();
        for (xol::DatatypeRecord const* record : { &xol::series::record, &xol::string::record, &xol::char_::record })
            xol::datatype::register_(*record);
    }
};

// A new string! holding the UTF-8 text. The caller roots it before the next allocation.
inline xol::Cell text(std::string_view utf8)
{
    return xol::string::from_utf8(utf8);
}

inline std::string utf8(xol::Cell const& value)
{
    return xol::string::to_utf8(value);
}

inline std::uint32_t unit_of(xol::Cell const& value)
{
    return xol::string::unit_of(value);
}

inline xol::Cell at(xol::Cell value, std::uint32_t index)
{
    value.word1 = index;
    return value;
}

// A block! of the given cells, none of which may lie in a series buffer. May allocate.
inline xol::Cell block_of(std::initializer_list<xol::Cell> cells)
{
    using namespace xol;
    Rooted block(cell::make(type_ids::block, 0, series::alloc_cells(cells.size() + 1), 0));
    for (Cell const& item : cells) *series::append_cell(*block) = item;
    return *block;
}

// A binary! of the bytes. May allocate.
inline xol::Cell binary_of(std::initializer_list<unsigned char> bytes)
{
    using namespace xol;
    NodeId const node = series::alloc_bytes(bytes.size());
    for (unsigned char byte : bytes) buffer::append_byte(node, byte);
    return cell::make(type_ids::binary, 0, node, 0);
}
