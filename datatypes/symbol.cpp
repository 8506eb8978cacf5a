// symbol!: interning, the alias of case variants and the lazily made string of each spelling.

#include "datatypes/symbol.h"

#include <cstring>
#include <string>

#include "datatypes/string.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::symbol {

SymbolTableState state;

namespace {

// The name is copied here before anything is allocated: callers such as the lexer pass text that lies in
// a series buffer, which a collection may move. Reused between calls, enlarged only for longer names.
std::string scratch;

// The name index marks its arrays and its key series, the symbol block, whose cells mark their names and
// cached strings. The block's node is also a root of its own, so that a moved node is rewritten there.
void mark_table()
{
    hashtable::mark(state.table);
}

constexpr std::int32_t no_alias = -1;

// Appends the symbol cell for the name in `scratch` and indexes it; answers its id. May allocate.
SymbolId create(std::int32_t alias)
{
    auto const length = static_cast<std::uint32_t>(scratch.size());
    RootedNode name(series::alloc_bytes(length + 1));
    {
        SeriesBuffer* buffer = node::buffer(*name);
        std::memcpy(buffer->head_address(), scratch.data(), length);
        buffer->head_address()[length] = std::byte { 0 }; // outside the tail: C callers may read a C string
        buffer->tail = buffer->head + length;
    }
    Cell* symbol = series::append_cell_raw(state.block);
    *symbol = cell::make(type_id, static_cast<std::uint32_t>(alias), no_node, *name);
    std::uint32_t const position = node::buffer(state.block)->length() - 1;
    hashtable::insert(state.table, position);
    return position + 1;
}

SymbolId intern(std::string_view utf8, bool case_blind)
{
    scratch.assign(utf8.data(), utf8.size());
    if (case_blind) {
        std::int32_t const found = hashtable::get_string_key(state.table, scratch, true);
        return found >= 0 ? static_cast<SymbolId>(found) + 1 : create(no_alias);
    }
    std::int32_t const exact = hashtable::get_string_key(state.table, scratch, false);
    if (exact >= 0) return static_cast<SymbolId>(exact) + 1;
    // Growth may reorder a chain, so the variant met first need not be the first interned: its canonical
    // id is the alias, which keeps every alias naming a canonical spelling.
    std::int32_t const variant = hashtable::get_string_key(state.table, scratch, true);
    if (variant < 0) return create(no_alias);
    return create(static_cast<std::int32_t>(resolve(static_cast<SymbolId>(variant) + 1)));
}

}

void init()
{
    state = SymbolTableState {};
    gc::add_root_node(&state.block);
    gc::add_callback(mark_table);
    state.block = series::alloc_cells(initial_capacity);
    Cell const block = cell::make(type_ids::block, 0, state.block, 0);
    state.table = hashtable::init(initial_capacity, &block, hashtable::Kind::Symbols);
    hashtable::state.resolve_symbol = resolve;
}

SymbolId make(std::string_view utf8)
{
    return intern(utf8, false);
}

SymbolId make_len(char const* utf8, std::uint32_t length)
{
    return intern({ utf8, length }, false);
}

SymbolId make_case(std::string_view utf8)
{
    return intern(utf8, true);
}

SymbolId make_from_string(Cell const& string, std::uint32_t* byte_count)
{
    std::string const text = string::to_utf8(string);
    if (byte_count) *byte_count = static_cast<std::uint32_t>(text.size());
    return make(text);
}

NodeId cache_string(SymbolId id)
{
    if (NodeId const cached = cell_of(id).word2; cached != no_node) return cached;
    std::string const text(spelling(id)); // copied: the name's buffer may move while the string is made
    Cell const made = string::from_utf8(text);
    cell_of(id).word2 = made.word2;
    return made.word2;
}

Cell* get(SymbolId id)
{
    cache_string(id);
    return &cell_of(id);
}

std::string_view spelling(SymbolId id)
{
    SeriesBuffer* name = node::buffer(cell_of(id).word3);
    return { reinterpret_cast<char const*>(name->head_address()), name->tail - name->head };
}

std::uint32_t count()
{
    return node::buffer(state.block)->length();
}

namespace {

// A symbol cell as a string! from its start: the cached string when there is one, else a new one.
Cell as_string(Cell const& symbol)
{
    if (symbol.word2 != no_node) return cell::make(type_ids::string, 0, symbol.word2, 0);
    SeriesBuffer* name = node::buffer(symbol.word3);
    std::string const text(reinterpret_cast<char const*>(name->head_address()), name->tail - name->head);
    return string::from_utf8(text);
}

}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    Rooted second(value2);
    Rooted first(as_string(value1));
    Rooted other(as_string(*second));
    return string::equal_q(*first, *other, op, false);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "symbol!",
    .actions = {
        .compare = compare,
    },
};

}
