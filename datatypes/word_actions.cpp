// The actions of the word family (make, to, form, mold, compare, index?) and its datatype records.

#include <string>

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::word {

namespace {

[[noreturn]] void bad_to(Cell const& spec, TypeId type)
{
    Cell const target = datatype::make(type);
    fire_error(err::script::bad_to_arg, &target, &spec);
}

// A new one-character string! on the value stack. May allocate.
Cell* push_char_string(std::uint32_t code_point)
{
    Cell* text = stack::push(string::make(1));
    string::append_char(*text, code_point);
    return text;
}

// The one value a text loads as; anything but a word of the family raises script invalid-chars.
Cell load_word(Cell const& text)
{
    Cell const loaded = services.load_single(text);
    if (!is_any_word(cell::type_of(loaded))) fire_error(err::script::invalid_chars);
    return loaded;
}

// The spelling, written as a string! from its start. May allocate.
std::int32_t append_spelling(Cell const& word, Cell& buffer, Refinement part, std::int32_t limit)
{
    Cell const text = cell::make(type_ids::string, 0, symbol::cache_string(word.word2), 0);
    return string::form(text, buffer, part, limit);
}

std::int32_t mold_word(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

// The variants: one mark before or after the spelling.
std::int32_t mold_marked(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit, std::string_view before,
    std::string_view after)
{
    Rooted word(value);
    if (!before.empty()) limit = string::append_ascii(buffer, before, limit);
    limit = append_spelling(*word, buffer, part, limit);
    if (!after.empty()) limit = string::append_ascii(buffer, after, limit);
    return limit;
}

std::int32_t mold_set_word(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_marked(value, buffer, part, limit, "", ":");
}

std::int32_t mold_lit_word(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_marked(value, buffer, part, limit, "'", "");
}

std::int32_t mold_get_word(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_marked(value, buffer, part, limit, ":", "");
}

std::int32_t mold_refinement(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_marked(value, buffer, part, limit, "/", "");
}

std::int32_t mold_issue(
    Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_marked(value, buffer, part, limit, "#", "");
}

bool is_word_against_lit_word(TypeId type1, TypeId type2)
{
    return (type1 == type_ids::word && type2 == type_ids::lit_word)
        || (type1 == type_ids::lit_word && type2 == type_ids::word);
}

void index_q()
{
    Cell& value = stack::state.base[0];
    value = value.word3 == unresolved ? none_value : integer::make(static_cast<std::int32_t>(value.word3) + 1);
}

}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return append_spelling(value, buffer, part, limit);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const type1 = cell::type_of(value1);
    TypeId const type2 = cell::type_of(value2);
    if (!is_any_word(type2) || (type1 == type_ids::issue) != (type2 == type_ids::issue)) return compare_incomparable;
    SymbolId const symbol1 = value1.word2;
    SymbolId const symbol2 = value2.word2;
    auto answer = [](bool equal) { return equal ? 0 : 1; };
    bool const same_canonical = symbol::resolve(symbol1) == symbol::resolve(symbol2);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::FindEqual:
        return answer(same_canonical);
    case CompareOp::StrictEqual:
        return answer(type1 == type2 && symbol1 == symbol2);
    case CompareOp::Same:
        return answer(type1 == type2 && symbol1 == symbol2 && value1.word1 == value2.word1);
    case CompareOp::FindPathEqual:
        return answer(symbol1 == symbol2 && (type1 == type2 || is_word_against_lit_word(type1, type2)));
    case CompareOp::FindStrictPathEqual:
        return answer(same_canonical && (type1 == type2 || is_word_against_lit_word(type1, type2)));
    default:
        return symbol::compare_spellings(symbol1, symbol2, op);
    }
}

Cell make_action(Cell const&, Cell const& spec, TypeId type)
{
    Cell result;
    switch (cell::type_of(spec)) {
    case type_ids::word:
    case type_ids::set_word:
    case type_ids::lit_word:
    case type_ids::get_word:
        result = spec;
        break;
    case type_ids::refinement:
    case type_ids::issue: {
        if (!type_ids::is_plain_word(scan_type(spec))) bad_to(spec, type);
        result = spec;
        context::bind_word(context::global(), result);
        break;
    }
    case type_ids::string:
        result = load_word(spec);
        break;
    case type_ids::char_: {
        Cell* const saved_top = stack::state.top;
        result = load_word(*push_char_string(spec.word2));
        stack::cut_to(saved_top);
        break;
    }
    case type_ids::datatype: {
        auto const denoted = static_cast<TypeId>(spec.word1);
        SymbolId symbol = datatype::is_registered(denoted) ? datatype::registry.types[denoted].word : 0;
        if (symbol == 0) symbol = symbol::make(datatype::name(denoted));
        result = make(symbol);
        break;
    }
    case type_ids::logic:
        result = make(symbol::make(spec.word1 != 0 ? "true" : "false"));
        break;
    default:
        bad_to(spec, type);
    }
    result.header = type;
    return result;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::symbol,
    .name = "word!",
    .actions = {
        .make = make_action,
        .to = make_action,
        .form = form,
        .mold = mold_word,
        .compare = compare,
        .index_q = index_q,
    },
};

}

namespace xol::issue {

namespace {

Cell make_action(Cell const& prototype, Cell const& spec, TypeId type)
{
    switch (cell::type_of(spec)) {
    case type_ids::string: {
        SymbolId const symbol = symbol::make_from_string(spec); // from the index: no copy needed
        return cell::make(type, context::global(), symbol, word::unresolved);
    }
    case type_ids::char_: {
        Cell* const saved_top = stack::state.top;
        SymbolId const symbol = symbol::make_from_string(*word::push_char_string(spec.word2));
        stack::cut_to(saved_top);
        return cell::make(type, context::global(), symbol, word::unresolved);
    }
    default:
        if (word::is_any_word(cell::type_of(spec))) {
            Cell result = spec;
            result.header = type;
            return result;
        }
        return word::make_action(prototype, spec, type);
    }
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return word::compare(value1, value2, op);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::word,
    .name = "issue!",
    .actions = {
        .make = make_action,
        .to = make_action,
        .form = inherit,
        .mold = word::mold_issue,
        .compare = compare,
    },
};

}

namespace xol::word {
namespace {

// set-word!, lit-word! and get-word! take everything from word! but their mold.
constexpr DatatypeRecord child_record(TypeId id, char const* name, action_types::Mold mold)
{
    return {
        .id = id,
        .parent = type_ids::word,
        .name = name,
        .actions
        = { .make = inherit, .to = inherit, .form = inherit, .mold = mold, .compare = inherit, .index_q = inherit },
    };
}

}
}

namespace xol::set_word {
constexpr DatatypeRecord record = word::child_record(type_id, "set-word!", word::mold_set_word);
}

namespace xol::lit_word {
constexpr DatatypeRecord record = word::child_record(type_id, "lit-word!", word::mold_lit_word);
}

namespace xol::get_word {
constexpr DatatypeRecord record = word::child_record(type_id, "get-word!", word::mold_get_word);
}

namespace xol::refinement {
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::word,
    .name = "refinement!",
    .actions = { .make = inherit, .to = inherit, .form = inherit, .mold = word::mold_refinement, .compare = inherit },
};
}
