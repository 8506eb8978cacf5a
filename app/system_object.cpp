// The system object's parts made by start-up, and the settings the lower layers read from it.

#include "app/system_object.h"

#include <string>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/roots.h"
#include "runtime/runtime_record.h"
#include "runtime/text_encoding.h"

namespace xol::system_object {

namespace {

// The value cell of the object's field of that name, or nullptr when the object lacks it. Valid until the
// next call that may allocate.
Cell* field(Cell const& object, SymbolId name)
{
    if (cell::type_of(object) != type_ids::object) return nullptr;
    NodeId const context = object::context_of(object);
    std::int32_t const slot = context::find_word(context, name, true);
    return slot < 0 ? nullptr : context::values_at(context, static_cast<std::uint32_t>(slot));
}

Cell system_value()
{
    Cell const* system
        = field(Cell { type_ids::object, context::global(), 0, no_node }, words::symbol_of(words::Symbol::system));
    return system ? *system : none_value;
}

// The value at a path of field names below system; none! when a step is missing.
Cell system_at(std::initializer_list<std::string_view> names)
{
    Rooted current(system_value());
    for (std::string_view name : names) {
        SymbolId const symbol = symbol::make(name);
        Cell const* next = field(*current, symbol);
        *current = next ? *next : none_value;
    }
    return *current;
}

void set_field(Cell const& object, std::string_view name, Cell const& value)
{
    Rooted kept(value);
    Rooted owner(object);
    SymbolId const symbol = symbol::make(name);
    if (Cell* slot = field(*owner, symbol)) *slot = *kept;
}

}

std::string command_line(std::vector<std::string> const& arguments)
{
    std::string line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string const& argument = arguments[i];
        if (i > 1) line += ' ';
        bool const quoted = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        if (quoted) line += '"';
        line += argument;
        if (quoted) line += '"';
    }
    return line;
}

void complete()
{
    Rooted system(system_value());
    if (cell::type_of(*system) != type_ids::object) return;
    // The global context as an object of no class: its fields are the global words.
    set_field(*system, "words", Cell { type_ids::object, context::global(), 0xFFFFFFFF, no_node });
    Rooted catalog(system_at({ "catalog" }));
    set_field(*catalog, "errors", error::state.errors);
    std::string const line = command_line(runtime::record.arguments);
    Rooted script(system_at({ "script" }));
    std::uint32_t rest = 0;
    // Arguments are the OS's bytes: what is not UTF-8 loads as Latin-1 rather than stopping start-up.
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(line.data()),
        static_cast<std::uint32_t>(line.size()), no_node, rest, string::LineEnds::Keep, string::BadBytes::AsLatin1);
    Rooted args(cell::make(type_ids::string, 0, node, 0));
    set_field(*script, "args", *args);
}

Cell stack_trace_setting()
{
    if (cell::type_of(system_value()) != type_ids::object) return integer::make(1);
    return system_at({ "state", "stack-trace" });
}

}
