// function!: the rules a spec follows, its attribute flags, and the count of its local slots.
//
// A spec reads: an optional attribute block, then arguments (word!, lit-word!, get-word!), each with an
// optional type block and doc string in that order; refinements with their own arguments; at most one
// `return:` with its type block; /local and the local words last. Nothing reads past a fault: the first
// one raises.

#include "datatypes/function.h"

#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::function {

namespace {

SymbolId canonical(Cell const& word)
{
    return symbol::resolve(word.word2);
}

bool is_refinement_named(Cell const& value, words::RefinementWord name)
{
    return cell::type_of(value) == type_ids::refinement
        && canonical(value) == symbol::resolve(words::refinement_of(name).word2);
}

bool is_argument_word(TypeId type)
{
    return type == type_ids::word || type == type_ids::lit_word || type == type_ids::get_word;
}

// A spec read in place: checking allocates nothing, so cells are addressed through the node each time.
struct SpecReader {
    NodeId node;
    std::uint32_t total;

    explicit SpecReader(Cell const& spec)
        : node(spec.word2)
        , total(node::buffer(spec.word2)->length())
    {
    }
    Cell const& at(std::uint32_t i) const { return node::buffer(node)->head_cell()[i]; }
    TypeId type_at(std::uint32_t i) const { return i < total ? cell::type_of(at(i)) : TypeId { 0 }; }
};

// Each value must be a datatype!, a typeset! or a word!, a word standing for its value.
void check_type_block(Cell const& block)
{
    SpecReader const reader(block);
    for (std::uint32_t i = block.word1; i < reader.total; ++i) {
        Cell const& item = reader.at(i);
        Cell const* value = &item;
        if (cell::type_of(item) == type_ids::word) {
            value = word::get_value(item);
            if (cell::type_of(*value) == type_ids::unset) fire_error(err::script::no_value, &item);
        }
        TypeId const type = cell::type_of(*value);
        if (type != type_ids::datatype && type != type_ids::typeset && type != type_ids::word)
            fire_error(err::script::invalid_type_spec, &item);
    }
}

[[noreturn]] void fault(Cell const& spec)
{
    fire_error(err::script::bad_func_def, &spec);
}

// The first entry (word, lit-word, get-word or refinement) whose name an earlier entry has.
void check_duplicates(Cell const& spec, SpecReader const& reader)
{
    auto const is_entry = [](TypeId type) { return is_argument_word(type) || type == type_ids::refinement; };
    for (std::uint32_t i = spec.word1; i < reader.total; ++i) {
        if (!is_entry(reader.type_at(i))) continue;
        for (std::uint32_t j = i + 1; j < reader.total; ++j)
            if (is_entry(reader.type_at(j)) && canonical(reader.at(j)) == canonical(reader.at(i)))
                fire_error(err::script::dup_vars, &reader.at(j));
    }
}

}

std::int32_t attribute_flags(Cell const& block)
{
    SpecReader const reader(block);
    std::int32_t flags = 0;
    SymbolId const trace = symbol::resolve(words::symbol_of(words::Symbol::trace));
    SymbolId const no_trace = symbol::resolve(words::symbol_of(words::Symbol::no_trace));
    for (std::uint32_t i = block.word1; i < reader.total; ++i) {
        if (reader.type_at(i) != type_ids::word) return -1;
        SymbolId const name = canonical(reader.at(i));
        if (name == trace) flags |= static_cast<std::int32_t>(trace_flag);
        if (name == no_trace) flags |= static_cast<std::int32_t>(no_trace_flag);
    }
    return flags;
}

std::uint32_t check_spec(Cell const& given)
{
    Rooted spec(given);
    SpecReader const reader(*spec);
    std::uint32_t i = spec->word1;
    std::uint32_t flags = 0;
    if (reader.type_at(i) == type_ids::block) {
        std::int32_t const attributes = attribute_flags(reader.at(i));
        if (attributes < 0) fault(*spec);
        flags = static_cast<std::uint32_t>(attributes);
        ++i;
    }
    bool return_seen = false;
    bool local_seen = false;
    SymbolId const return_symbol = symbol::resolve(words::symbol_of(words::Symbol::return_));
    while (i < reader.total) {
        TypeId const type = reader.type_at(i);
        if (is_argument_word(type)) {
            if (local_seen && type != type_ids::word) fault(*spec);
            // The type block comes before the doc string.
            if (reader.type_at(i + 1) == type_ids::string && reader.type_at(i + 2) == type_ids::block) fault(*spec);
            if (return_seen && !local_seen) fault(*spec);
            ++i;
            if (reader.type_at(i) == type_ids::block) {
                check_type_block(reader.at(i));
                ++i;
            }
        } else if (type == type_ids::set_word) {
            if (canonical(reader.at(i)) != return_symbol || return_seen || local_seen) fault(*spec);
            if (reader.type_at(i + 1) != type_ids::block) fault(*spec);
            TypeId const after = reader.type_at(i + 2);
            if (i + 2 < reader.total && after != type_ids::refinement && after != type_ids::string) fault(*spec);
            return_seen = true;
            i += 2;
        } else if (type == type_ids::refinement) {
            if (is_refinement_named(reader.at(i), words::RefinementWord::local))
                local_seen = true;
            else if (local_seen || return_seen)
                fault(*spec);
            if (i + 1 < reader.total) {
                TypeId const next = reader.type_at(i + 1);
                if (!is_argument_word(next) && next != type_ids::refinement && next != type_ids::set_word
                    && next != type_ids::string)
                    fault(*spec);
            }
            ++i;
        } else if (type == type_ids::string) {
            ++i;
        } else {
            fault(*spec);
        }
    }
    check_duplicates(*spec, reader);
    return flags;
}

std::int32_t count_locals(NodeId spec, std::uint32_t index, bool require_local)
{
    SeriesBuffer* buffer = node::buffer(spec);
    std::int32_t count = 0;
    bool counting = false;
    for (std::uint32_t i = index; i < buffer->length(); ++i) {
        Cell const& item = buffer->head_cell()[i];
        if (!counting) {
            if (is_refinement_named(item, words::RefinementWord::local)) {
                counting = true;
                count = 1;
            }
        } else if (cell::type_of(item) == type_ids::word) {
            ++count;
        }
    }
    return !counting && require_local ? -1 : count;
}

}
