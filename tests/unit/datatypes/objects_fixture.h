// A runtime with the callable datatypes, object! and error! on top of the names, the catalogue built and
// the error services installed; a stand-in evaluator that runs the set-word specs these tests give to
// make, and records the calls of change handlers; small builders of spec blocks.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/op.h"
#include "datatypes/routine.h"
#include "names_fixture.h"
#include "runtime/ownership.h"
#include "runtime/services.h"

namespace objects_test {

// A handler call as the stand-in evaluator saw it: the function and the cells pushed after its frame.
struct HandlerCall {
    xol::Cell function;
    xol::Cell frame_word;
    std::vector<xol::Cell> arguments;
};

inline std::vector<HandlerCall> calls;

// Runs a spec the way these tests write them: runs of set-words followed by one value; a word stands for
// its value, a lit-word for its word, anything else for itself.
inline void eval_block(xol::Cell const& block)
{
    using namespace xol;
    Rooted kept(block);
    std::uint32_t const total = node::buffer(kept->word2)->length();
    for (std::uint32_t i = kept->word1; i < total;) {
        std::uint32_t end = i;
        while (end < total && cell::type_of(node::buffer(kept->word2)->head_cell()[end]) == type_ids::set_word) ++end;
        if (end == i || end == total) return;
        Cell value = node::buffer(kept->word2)->head_cell()[end];
        if (cell::type_of(value) == type_ids::word)
            value = *word::get_value(value);
        else if (cell::type_of(value) == type_ids::lit_word)
            cell::set_type(value, type_ids::word);
        Rooted kept_value(value);
        for (std::uint32_t j = i; j < end; ++j) {
            Cell target = node::buffer(kept->word2)->head_cell()[j];
            word::set(target, *kept_value);
        }
        i = end + 1;
    }
}

inline void call_function(xol::Cell const& function, xol::NodeId, xol::Cell const& word, std::uint32_t)
{
    using namespace xol;
    HandlerCall call { function, word, {} };
    for (Cell* cell = stack::state.base; cell < stack::state.top; ++cell) call.arguments.push_back(*cell);
    calls.push_back(call);
}

}

struct ObjectsTest : NamesTest {
    void SetUp() override
    {
        NamesTest::SetUp();
        using namespace xol;
        for (DatatypeRecord const* record : { &native::record, &action::record, &op::record, &function::record,
                 &routine::record, &object::record, &error::record })
            datatype::register_(*record);
        // Type words stand for their datatypes, as the library's start-up makes them.
        for (TypeId type = 1; type <= datatype::registry.highest; ++type) {
            if (!datatype::is_registered(type)) continue;
            Cell word = word::make_global(datatype::name(type));
            word::set(word, datatype::make(type));
        }
        native::init();
        object::init();
        error::init();
        services.eval_block = objects_test::eval_block;
        services.call_function = objects_test::call_function;
        objects_test::calls.clear();
    }
    void TearDown() override
    {
        using namespace xol;
        objects_test::calls.clear();
        app::fill_services();
        NamesTest::TearDown();
    }
};

// ---- Builders of values, none of which may lie in a series buffer -------------------------------------

inline xol::Cell word_of(std::string_view name, xol::TypeId type = xol::type_ids::word)
{
    return typed(global_word(name), type);
}
inline xol::Cell lit(std::string_view name)
{
    return word_of(name, xol::type_ids::lit_word);
}
inline xol::Cell get(std::string_view name)
{
    return word_of(name, xol::type_ids::get_word);
}
inline xol::Cell set(std::string_view name)
{
    return word_of(name, xol::type_ids::set_word);
}
inline xol::Cell refinement_of(std::string_view name)
{
    return word_of(name, xol::type_ids::refinement);
}
inline xol::Cell text(std::string_view utf8)
{
    return xol::string::from_utf8(utf8);
}
inline xol::Cell type_value(xol::TypeId type)
{
    return xol::datatype::make(type);
}

// A block built value by value: `(Built() << word_of("a") << text("b")).cell()`. Each value is appended
// before the next one is made, so values that allocate may be made in place. The block stays on the value
// stack (a root) for the rest of the test: a builder may end before or after the roots made from it.
class Built {
public:
    explicit Built(xol::TypeId type = xol::type_ids::block)
        : m_index(xol::stack::index_of(xol::block::push_new(4)))
    {
        xol::cell::set_type(*xol::stack::cell_at(m_index), type);
    }
    Built& operator<<(xol::Cell const& value)
    {
        xol::Rooted kept(value);
        xol::block::rs_append(*xol::stack::cell_at(m_index), *kept);
        return *this;
    }
    xol::Cell cell() const { return *xol::stack::cell_at(m_index); }

private:
    std::uint32_t m_index;
};

// The error raised last, as the raising machinery made it.
inline xol::Cell last_error()
{
    return xol::errors::current();
}
inline xol::Cell error_field(xol::Cell const& error, xol::error::Field which)
{
    return *xol::error::field(error, which);
}

inline std::string formed_text(xol::Cell const& value)
{
    return form_text(value);
}
