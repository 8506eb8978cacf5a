// The natives over the process environment: set-env, get-env and list-env.

#include <string>

#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/platform/environment.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/text_encoding.h"

namespace xol::natives {

namespace {

// The OS hands over bytes: whatever is not UTF-8 loads as Latin-1 rather than failing the whole listing.
Cell os_text(std::string const& bytes)
{
    std::uint32_t rest = 0;
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(bytes.data()),
        static_cast<std::uint32_t>(bytes.size()), no_node, rest, string::LineEnds::Keep, string::BadBytes::AsLatin1);
    return cell::make(type_ids::string, 0, node, 0);
}

// The variable's name: a string's text from its index, or a word's spelling. The C library would cut a
// name at NUL or misread one holding "=", and an empty one names nothing: each is refused, never mangled.
std::string variable_name(Cell const& var)
{
    std::string name = word::is_any_word(cell::type_of(var)) ? std::string(symbol::spelling(word::symbol_of(var)))
                                                             : string::to_utf8(var);
    if (name.empty() || name.find('=') != std::string::npos || name.find('\0') != std::string::npos)
        fire_error(err::script::invalid_arg, &var);
    return name;
}

}

// A none! value removes the variable; the value is the result either way.
void set_env(std::int32_t const*)
{
    std::string const name = variable_name(*argument(0));
    Cell const value = *argument(1);
    if (cell::type_of(value) == type_ids::none) {
        platform::unset_env(name);
    } else {
        std::string const text = string::to_utf8(value);
        if (text.find('\0') != std::string::npos) fire_error(err::script::invalid_arg, &value);
        if (!platform::set_env(name, text)) fire_error(err::script::invalid_arg, &value);
    }
    stack::set_only_result(value);
}

void get_env(std::int32_t const*)
{
    std::optional<std::string> const value = platform::get_env(variable_name(*argument(0)));
    if (!value) {
        none::set_result();
        stack::keep_first();
        return;
    }
    stack::set_only_result(os_text(*value));
}

// Names are keys as in any map: two that differ only in case share one key, the later entry winning.
void list_env(std::int32_t const*)
{
    auto const entries = platform::environment();
    Rooted map(map::make(nullptr, static_cast<std::uint32_t>(entries.size())));
    for (auto const& [name, value] : entries) {
        Rooted key(os_text(name));
        Rooted text(os_text(value));
        map::put(*map, *key, *text, false);
    }
    stack::set_only_result(*map);
}

}
