// A runtime with the names and the lexer, and drivers for lexer tests: loading a text, its molded values,
// and the syntax error it raises with its arguments as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "../datatypes/names_fixture.h"
#include "datatypes/datatype.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/errors.h"
#include "runtime/unicode.h"

struct LexerTest : NamesTest {
    void SetUp() override
    {
        NamesTest::SetUp();
        xol::lexer::init();
    }
};

// The values of source bytes as a block (the bytes need not be UTF-8). May allocate.
inline xol::Cell load_text(std::string_view source)
{
    using namespace xol;
    Cell* result = stack::push(none_value);
    lexer::scan(*result, reinterpret_cast<std::uint8_t const*>(source.data()),
        static_cast<std::uint32_t>(source.size()), {}, nullptr, none_value, none_value, nullptr);
    Cell const value = *result;
    stack::pop(1);
    return value;
}

// The name of every datatype, registered or not.
inline std::string type_name(xol::TypeId type)
{
    static char const* const names[] = { "", "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!",
        "file!", "url!", "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!",
        "get-word!", "refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!",
        "set-path!", "get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
        "pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!", "date!",
        "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!" };
    return type < std::size(names) ? names[type] : "?";
}

// An error argument as text: strings as their text, a datatype! as its name, a char! as the character.
inline std::string argument_text(xol::Cell const& argument)
{
    using namespace xol;
    TypeId const type = cell::type_of(argument);
    if (string::is_text_type(type)) return string::to_utf8(argument);
    if (type == type_ids::datatype) return type_name(datatype::get(argument));
    if (type == type_ids::char_) {
        char bytes[4];
        return std::string(bytes, static_cast<std::size_t>(unicode::utf8_encode(char_::get(argument), bytes)));
    }
    return mold_text(argument);
}

struct RaisedSyntax {
    std::string id; // "invalid", "missing", "malconstruct", "bad-char", or "" when nothing was raised
    std::vector<std::string> arguments;

    friend bool operator==(RaisedSyntax const&, RaisedSyntax const&) = default;
};

inline std::string describe(RaisedSyntax const& raised)
{
    std::string text = raised.id;
    for (std::string const& argument : raised.arguments) text += " [" + argument + "]";
    return text;
}

inline std::ostream& operator<<(std::ostream& out, RaisedSyntax const& raised)
{
    return out << describe(raised);
}

inline std::string syntax_id_name(xol::ErrorId id)
{
    using namespace xol;
    if (id == err::syntax::invalid) return "invalid";
    if (id == err::syntax::missing) return "missing";
    if (id == err::syntax::malconstruct) return "malconstruct";
    if (id == err::syntax::bad_char) return "bad-char";
    return "category " + std::to_string(id.category()) + " id " + std::to_string(id.position());
}

// What loading the text raises.
inline RaisedSyntax raised_loading(std::string_view source)
{
    using namespace xol;
    std::optional<ErrorId> const id = raised_by([&] { load_text(source); });
    if (!id) return {};
    RaisedSyntax raised { syntax_id_name(*id), {} };
    RaisedError const& error = errors::last_raised();
    for (std::uint8_t i = 0; i < error.argument_count; ++i)
        raised.arguments.push_back(argument_text(error.arguments[i]));
    return raised;
}

// The molded values of a text, without the outer brackets, on one line; or the error it raises.
inline std::string loaded(std::string_view source)
{
    std::string molded;
    if (raised_by([&] {
            xol::Rooted block(load_text(source));
            molded = mold_text(*block, { .only = true, .flat = true });
        }))
        return "raised " + describe(raised_loading(source));
    return molded;
}
