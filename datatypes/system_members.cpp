// Reading members of the system object from C++: the global word, then one field at each level.

#include "datatypes/system_members.h"

#include <initializer_list>

#include "datatypes/context.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"

namespace xol::system_members {

namespace {

using words::Symbol;

// The value of a field of an object, or none! when the value is no object or lacks the field.
Cell field(Cell const& object, Symbol name)
{
    if (cell::type_of(object) != type_ids::object) return none_value;
    NodeId const context = object::context_of(object);
    std::int32_t const slot = context::find_word(context, words::symbol_of(name), true);
    if (slot < 0 || !context::has_values(context)) return none_value;
    return *context::value_cell(context, static_cast<std::uint32_t>(slot));
}

// system, then each field of the path in turn.
Cell member(std::initializer_list<Symbol> path)
{
    std::int32_t const slot = context::find_word(context::global(), words::symbol_of(Symbol::system), true);
    if (slot < 0) return none_value;
    Cell value = *context::value_cell(context::global(), static_cast<std::uint32_t>(slot));
    for (Symbol const name : path) value = field(value, name);
    return value;
}

}

Cell months()
{
    return member({ Symbol::locale, Symbol::months });
}

Cell currency_list()
{
    return member({ Symbol::locale, Symbol::currencies, Symbol::list });
}

Cell money_digits()
{
    return member({ Symbol::options, Symbol::money_digits });
}

}
