// object!: the field printer, form and mold. Fields print as their word, ": " and the molded value, a
// word value with a quote before it so that the text loads back as the same object; the handler fields
// show only with /all. An object met inside itself prints its cycle marker.

#include <string_view>

#include "datatypes/context.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"

namespace xol::object {

namespace {

std::int32_t append_indent(Cell& buffer, std::int32_t level, std::int32_t limit)
{
    for (std::int32_t i = 0; i < level; ++i) limit = string::append_ascii(buffer, "    ", limit);
    return limit;
}

bool is_handler(SymbolId name)
{
    SymbolId const canonical = symbol::resolve(name);
    return canonical == symbol::resolve(words::word_of(words::Word::on_change_star).word2)
        || canonical == symbol::resolve(words::word_of(words::Word::on_deep_change_star).word2);
}

struct CycleEntry {
    explicit CycleEntry(NodeId node) { cycles::push(node); }
    ~CycleEntry() { cycles::pop(); }
    CycleEntry(CycleEntry const&) = delete;
    CycleEntry& operator=(CycleEntry const&) = delete;
};

}

std::int32_t serialize(Cell const& given, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, bool indent, std::int32_t level, bool mold)
{
    Rooted object(given);
    std::uint32_t const count = context::word_count(context_of(*object));
    if (count == 0) return limit;
    std::string_view const separator = flat ? " " : "\n";
    if (!flat && mold && !only) limit = string::append_ascii(buffer, "\n", limit);
    CycleEntry const guard(context_of(*object));

    auto const shown
        = [&](std::uint32_t i) { return all || !is_handler(context::word_at(context_of(*object), i)->word2); };
    for (std::uint32_t i = 0; i < count && limit > 0; ++i) {
        if (!shown(i)) continue;
        if (indent && !flat) limit = append_indent(buffer, level, limit);
        Cell name = *context::word_at(context_of(*object), i);
        cell::set_type(name, type_ids::word);
        limit = word::form(name, buffer, nullptr, limit);
        limit = string::append_ascii(buffer, ": ", limit);
        Rooted value(*context::values_at(context_of(*object), i));
        if (cell::type_of(*value) == 0) *value = unset_value;
        if (cell::type_of(*value) == type_ids::word) limit = string::append_ascii(buffer, "'", limit);
        limit = actions::mold_typed(*value, buffer, false, all, flat, part, limit, level);
        bool follows = false;
        for (std::uint32_t j = i + 1; j < count && !follows; ++j) follows = shown(j);
        if (indent || follows) limit = string::append_ascii(buffer, separator, limit);
    }
    return limit;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    if (string::append_cycle_marker(value, buffer, limit, false)) return limit;
    return serialize(value, buffer, false, false, false, part, limit, false, 0, false);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    if (string::append_cycle_marker(value, buffer, limit, true)) return limit;
    Rooted kept(value);
    if (!only) limit = string::append_ascii(buffer, "make object! [", limit);
    limit = serialize(*kept, buffer, only, all, flat, part, limit, true, indent + 1, true);
    // The closing bracket lines up under the field lines; an object without words has none.
    if (!flat && indent > 0 && word_count(*kept) > 0) limit = append_indent(buffer, indent, limit);
    if (!only) limit = string::append_ascii(buffer, "]", limit);
    return limit;
}

}
