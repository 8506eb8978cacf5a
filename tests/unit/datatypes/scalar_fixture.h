// A runtime with the scalar datatypes registered (datatype!, unset!, none!, logic!, integer!, float!),
// and the small drivers their tests share: running a frame action on two operands, forming and molding.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "../runtime/runtime_fixture.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/roots.h"

namespace xol {

// Cells compare word by word in tests; gtest prints them as their four words.
inline bool operator==(Cell const& a, Cell const& b)
{
    return a.header == b.header && a.word1 == b.word1 && a.word2 == b.word2 && a.word3 == b.word3;
}

inline void PrintTo(Cell const& value, std::ostream* out)
{
    *out << "{type " << int(cell::type_of(value)) << ", " << value.word1 << ", " << value.word2 << ", " << value.word3
         << "}";
}

}

struct ScalarTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        xol::datatype::reset();
        for (xol::DatatypeRecord const* record : { &xol::datatype::record, &xol::unset::record, &xol::none::record,
                 &xol::logic::record, &xol::integer::record, &xol::float_::record })
            xol::datatype::register_(*record);
    }
    void TearDown() override
    {
        xol::datatype::reset();
        RuntimeTest::TearDown();
    }
};

// Runs a frame action (add, power, and~...) on two operands in a call frame of its own and answers the
// result cell.
inline xol::Cell run_frame(xol::action_types::FromFrame action, xol::Cell const& left, xol::Cell const& right)
{
    using namespace xol;
    stack::push_native_frame(cell::make(type_ids::word));
    stack::push(left);
    stack::push(right);
    action();
    Cell const result = *stack::state.base;
    stack::pop_frame_empty();
    return result;
}

inline xol::Cell run_frame(xol::action_types::FromFrame action, xol::Cell const& value)
{
    return run_frame(action, value, xol::none_value);
}

struct Printed {
    std::string text;
    std::int32_t limit; // what the former answered, from a limit of 100
};

inline Printed formed(xol::Cell const& value)
{
    using namespace xol;
    Rooted buffer(string::make(16));
    std::int32_t const limit = datatype::actions(cell::type_of(value)).form(value, *buffer, nullptr, 100);
    return { string::to_utf8(*buffer), limit };
}

inline Printed molded(xol::Cell const& value, bool all = false)
{
    using namespace xol;
    Rooted buffer(string::make(16));
    std::int32_t const limit
        = datatype::actions(cell::type_of(value)).mold(value, *buffer, false, all, false, nullptr, 100, 0);
    return { string::to_utf8(*buffer), limit };
}
