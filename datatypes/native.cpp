// native! and action!: make with its shape check, reflect, form, mold and compare.

#include "datatypes/native.h"

#include <cstring>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::native {

namespace {

// The built-in shapes: one cell per natives-table slot, then one per action, each none! until its entry
// registers a block of pairs [kind typeset]: the argument's word (its type is the kind) and the typeset
// it accepts, or the refinement and none!.
struct NativeState {
    Cell shapes = none_value;
};
NativeState state;

constexpr std::uint32_t shape_slot(TypeId type, std::int32_t index)
{
    return static_cast<std::uint32_t>(type == type_ids::native ? index - 1 : table_size + index - 1);
}

std::int32_t table_size_of(TypeId type)
{
    return type == type_ids::native ? table_size : action_table_size;
}

bool is_argument_word(TypeId type)
{
    return type == type_ids::word || type == type_ids::lit_word || type == type_ids::get_word;
}

Cell cell_at(Cell const& block, std::uint32_t i)
{
    return node::buffer(block.word2)->head_cell()[i];
}
std::uint32_t total_of(Cell const& block)
{
    return node::buffer(block.word2)->length();
}

// The shape of a spec: for each argument its word and typeset, for each refinement the refinement and
// none!, up to /local. Doc strings, attribute blocks and `return:` with its block leave no trace. May
// allocate.
Cell describe(Cell const& given_spec)
{
    Rooted spec(given_spec);
    Rooted shape(*block::push_new(8));
    stack::pop(1);
    SymbolId const local = symbol::resolve(words::refinement_of(words::RefinementWord::local).word2);
    for (std::uint32_t i = spec->word1; i < total_of(*spec); ++i) {
        Rooted item(cell_at(*spec, i));
        TypeId const type = cell::type_of(*item);
        if (is_argument_word(type)) {
            Cell entry = *item;
            cell::clear_new_line(entry);
            block::rs_append(*shape, entry);
            if (i + 1 < total_of(*spec) && cell::type_of(cell_at(*spec, i + 1)) == type_ids::block) {
                Rooted types(cell_at(*spec, i + 1));
                typeset::make_from_block(*shape, *types);
                ++i;
            } else {
                typeset::make_default(*shape);
            }
        } else if (type == type_ids::refinement) {
            if (symbol::resolve(item->word2) == local) break;
            block::rs_append(*shape, *item);
            block::rs_append(*shape, none_value);
        } else if (type == type_ids::set_word) {
            ++i; // return: and its type block
        }
    }
    return *shape;
}

// Every type the made spec accepts, the built-in one accepts too.
bool is_subset(Cell const& made, Cell const& builtin)
{
    return (made.word1 & ~builtin.word1) == 0 && (made.word2 & ~builtin.word2) == 0
        && (made.word3 & ~builtin.word3) == 0;
}

bool matches_builtin(Cell const& spec, TypeId type, std::int32_t index)
{
    Cell const builtin_shape = cell_at(state.shapes, shape_slot(type, index));
    if (cell::type_of(builtin_shape) != type_ids::block) return true; // no built-in entry to protect
    Rooted builtin(builtin_shape);
    Rooted made(describe(spec));
    if (total_of(*made) != total_of(*builtin)) return false;
    for (std::uint32_t i = 0; i < total_of(*made); i += 2) {
        if (cell::type_of(cell_at(*made, i)) != cell::type_of(cell_at(*builtin, i))) return false;
        Cell const accepted = cell_at(*made, i + 1);
        if (cell::type_of(accepted) == type_ids::typeset && !is_subset(accepted, cell_at(*builtin, i + 1)))
            return false;
    }
    return true;
}

// What an argument without a type block accepts: every type but unset!.
Cell default_types()
{
    Cell accepted = Cell { type_ids::typeset, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF };
    std::uint8_t bytes[12];
    std::memcpy(bytes, &accepted.word1, sizeof bytes);
    bytes[type_ids::unset >> 3]
        = static_cast<std::uint8_t>(bytes[type_ids::unset >> 3] & ~(0x80u >> (type_ids::unset & 7)));
    std::memcpy(&accepted.word1, bytes, sizeof bytes);
    return accepted;
}

// The typeset a type block names, read without evaluating: datatypes, typesets and words whose global
// value is one of them; nested blocks are skipped. False for anything else.
bool plain_types(Cell const& types, Cell& result)
{
    result = typeset::make();
    for (std::uint32_t i = 0; i < total_of(types); ++i) {
        Cell value = cell_at(types, i);
        if (cell::type_of(value) == type_ids::word) {
            std::int32_t const slot = context::find_word(context::global(), value.word2, true);
            if (slot < 0) return false;
            value = *context::values_at(context::global(), static_cast<std::uint32_t>(slot));
        }
        if (cell::type_of(value) == type_ids::datatype) {
            typeset::set_bit(result, value.word1 & 0xFF);
        } else if (cell::type_of(value) == type_ids::typeset) {
            result.word1 |= value.word1;
            result.word2 |= value.word2;
            result.word3 |= value.word3;
        } else if (cell::type_of(value) != type_ids::block) {
            return false;
        }
    }
    return true;
}

}

bool loadable_q(TypeId type, std::int32_t index, Cell const& spec)
{
    if (index < 1 || index > table_size_of(type)) return false;
    Cell const builtin = cell_at(state.shapes, shape_slot(type, index));
    if (cell::type_of(builtin) != type_ids::block) return false;
    SymbolId const local = symbol::resolve(words::refinement_of(words::RefinementWord::local).word2);
    std::uint32_t entry = 0;
    std::uint32_t const entries = total_of(builtin);
    for (std::uint32_t i = spec.word1; i < total_of(spec); ++i) {
        Cell const item = cell_at(spec, i);
        TypeId const kind = cell::type_of(item);
        if (kind == type_ids::set_word) {
            ++i; // return: and its type block
            continue;
        }
        if (kind == type_ids::refinement && symbol::resolve(item.word2) == local) break;
        if (!is_argument_word(kind) && kind != type_ids::refinement) continue;
        if (entry >= entries || cell::type_of(cell_at(builtin, entry)) != kind) return false;
        if (kind != type_ids::refinement) {
            Cell accepted = typeset::make();
            if (i + 1 < total_of(spec) && cell::type_of(cell_at(spec, i + 1)) == type_ids::block) {
                if (!plain_types(cell_at(spec, i + 1), accepted)) return false;
                ++i;
            } else {
                accepted = default_types();
            }
            if (!is_subset(accepted, cell_at(builtin, entry + 1))) return false;
        }
        entry += 2;
    }
    return entry == entries;
}

void init()
{
    state = NativeState {};
    gc::add_root(&state.shapes);
    std::uint32_t const slots = static_cast<std::uint32_t>(table_size + action_table_size);
    Rooted shapes(cell::make(type_ids::block, 0, series::alloc_cells(slots), 0));
    for (std::uint32_t i = 0; i < slots; ++i) block::rs_append(*shapes, none_value);
    state.shapes = *shapes;
}

void set_builtin_shape(TypeId type, std::int32_t index, Cell const& spec)
{
    Cell const shape = describe(spec);
    node::buffer(state.shapes.word2)->head_cell()[shape_slot(type, index)] = shape;
}

Cell make_value(TypeId type, Cell const& given_spec, std::int32_t index, bool loaded)
{
    Rooted spec(given_spec);
    RootedNode native_record(series::alloc_cells(2));
    NodeId const context = context::make_from_spec(*spec, true, false, context::Kind::Function);
    SeriesBuffer* buffer = node::buffer(*native_record);
    buffer->head_cell()[0] = context::cell_of(context);
    buffer->head_cell()[1] = loaded ? unset_value : none_value;
    buffer->tail = buffer->head + 2 * static_cast<std::uint32_t>(sizeof(Cell));
    return Cell { type, static_cast<std::uint32_t>(index - 1), spec->word2, *native_record };
}

// The argument: a block of exactly a spec block and an index into the table.
Cell make(Cell const& prototype, Cell const& given, TypeId type)
{
    Rooted argument(given);
    Rooted kept_prototype(prototype);
    auto const refuse = [&]() { fire_error(err::script::bad_make_arg, &*kept_prototype, &*argument); };
    if (cell::type_of(*argument) != type_ids::block || block::rs_length_q(*argument) != 2) refuse();
    Rooted spec(block::rs_head(*argument)[0]);
    Cell const index_value = block::rs_head(*argument)[1];
    if (cell::type_of(*spec) != type_ids::block || cell::type_of(index_value) != type_ids::integer) refuse();
    std::int32_t const index = integer::get(index_value);
    if (index < 1 || index > table_size_of(type)) refuse();
    if (!matches_builtin(*spec, type, index)) refuse();
    return make_value(type, *spec, index, false);
}

Cell reflect(Cell const& value, SymbolId field)
{
    SymbolId const name = symbol::resolve(field);
    if (name == symbol::resolve(words::symbol_of(words::Symbol::spec)))
        return cell::make(type_ids::block, 0, value.word2, 0);
    if (name != symbol::resolve(words::symbol_of(words::Symbol::body))) fire_error(err::internal::not_done);
    if (cell::type_of(value) == type_ids::op) {
        TypeId const wrapped = static_cast<TypeId>((value.header >> 16) & 0xFF);
        if (type_ids::is_context_function(wrapped)) return function::record_cell(value, function::body_cell);
    }
    return integer::make(index_of(value));
}

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "?native?", limit);
}

// The spec keeps its own brackets inside the outer ones: "make native! [[...]]".
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    limit = string::append_ascii(
        buffer, cell::type_of(*kept) == type_ids::action ? "make action! [" : "make native! [", limit);
    limit = block::mold(cell::make(type_ids::block, 0, kept->word2, 0), buffer, only, all, flat, part, limit, indent);
    return string::append_ascii(buffer, "]", limit);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != cell::type_of(value1)) return compare_incomparable;
    return function::compare_identities(value1.word1, value2.word1, op);
}

namespace {

std::int32_t form_action(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "?action?", limit);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "native!",
    .actions = {
        .make = make,
        .reflect = reflect,
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}

namespace xol::action {

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::native,
    .name = "action!",
    .actions = {
        .make = native::make,
        .reflect = inherit,
        .form = native::form_action,
        .mold = native::mold,
        .compare = native::compare,
    },
};

}
