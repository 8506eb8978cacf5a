// A runtime with the symbol table, the global context, the word family, typeset! and the runtime words,
// on top of the block datatypes; a stand-in lexer for the words' make and to; small drivers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "block_fixture.h"
#include "datatypes/context.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"

namespace names_test {

// The lexer's verdict on a lone name, for what these tests feed it: a text with a space, a quote or a
// leading digit is no word; a leading ' : / # or a trailing : gives the matching type.
inline xol::TypeId scan_type(std::string_view text)
{
    using namespace xol;
    if (text.empty() || text.find_first_of(" \"") != std::string_view::npos) return type_ids::string;
    if (text[0] >= '0' && text[0] <= '9') return type_ids::integer;
    if (text[0] == '\'') return type_ids::lit_word;
    if (text[0] == ':') return type_ids::get_word;
    if (text[0] == '/') return type_ids::refinement;
    if (text[0] == '#') return type_ids::issue;
    if (text.back() == ':') return type_ids::set_word;
    return type_ids::word;
}

// One word of that type for a lone name; a block! for anything else.
inline xol::Cell load_single(xol::Cell const& text)
{
    using namespace xol;
    std::string spelling = string::to_utf8(text);
    TypeId const type = scan_type(spelling);
    if (!word::is_any_word(type)) return cell::make(type_ids::block, 0, series::alloc_cells(1), 0);
    if (type == type_ids::set_word)
        spelling.pop_back();
    else if (type != type_ids::word)
        spelling.erase(0, 1);
    Cell made = word::make(symbol::make(spelling));
    cell::set_type(made, type);
    return made;
}

}

struct NamesTest : BlockTest {
    void SetUp() override
    {
        BlockTest::SetUp();
        for (xol::DatatypeRecord const* record : { &xol::symbol::record, &xol::context::record, &xol::word::record,
                 &xol::lit_word::record, &xol::set_word::record, &xol::get_word::record, &xol::refinement::record,
                 &xol::issue::record, &xol::typeset::record })
            xol::datatype::register_(*record);
        xol::symbol::init();
        xol::context::init_global();
        xol::datatype::make_type_words();
        xol::words::init();
        xol::services.scan_type = names_test::scan_type;
        xol::services.load_single = names_test::load_single;
    }
};

// The global word! of a name.
inline xol::Cell global_word(std::string_view name)
{
    return xol::word::make_global(name);
}

inline xol::Cell typed(xol::Cell value, xol::TypeId type)
{
    xol::cell::set_type(value, type);
    return value;
}
