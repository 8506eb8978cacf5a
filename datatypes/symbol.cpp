// symbol!: interning, the alias of case variants and the lazily made string of each spelling.

#include "datatypes/symbol.h"

#include <cstring>
#include <string>

#include "datatypes/string.h"
#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/unicode.h"

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

// Appends the symbol cell for the name in `scratch`, whose name hash is `hash`, and indexes it; answers its
// id. May allocate.
SymbolId create(std::int32_t alias, std::uint32_t hash)
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
    hashtable::insert(state.table, position, &hash);
    return position + 1;
}

SymbolId intern_hashed(std::string_view utf8, bool case_blind, std::uint32_t hash)
{
    scratch.assign(utf8.data(), utf8.size());
    XOL_ASSERT(hash == hash::lowered_name(scratch.data(), static_cast<std::uint32_t>(scratch.size())),
        "a name interned with another name's hash");
    std::int32_t variant = -1;
    std::int32_t const exact = hashtable::find_name(state.table, scratch, hash, variant);
    if (case_blind) return variant >= 0 ? static_cast<SymbolId>(variant) + 1 : create(no_alias, hash);
    if (exact >= 0) return static_cast<SymbolId>(exact) + 1;
    // Growth may reorder a chain, so the variant met first need not be the first interned: its canonical
    // id is the alias, which keeps every alias naming a canonical spelling.
    if (variant < 0) return create(no_alias, hash);
    return create(static_cast<std::int32_t>(resolve(static_cast<SymbolId>(variant) + 1)), hash);
}

// One hash serves the look-ups and the insertion: every spelling of a name hashes alike.
SymbolId intern(std::string_view utf8, bool case_blind)
{
    return intern_hashed(utf8, case_blind, hash::lowered_name(utf8.data(), static_cast<std::uint32_t>(utf8.size())));
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
}

SymbolId make(std::string_view utf8)
{
    return intern(utf8, false);
}

SymbolId make_hashed(std::string_view utf8, std::uint32_t name_hash)
{
    return intern_hashed(utf8, false, name_hash);
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

Cell text_of(Cell const& symbol)
{
    if (symbol.word2 != no_node) return cell::make(type_ids::string, 0, symbol.word2, 0);
    SeriesBuffer* name = node::buffer(symbol.word3);
    // Copied: the name's buffer may move while the string is made.
    std::string const text(reinterpret_cast<char const*>(name->head_address()), name->tail - name->head);
    return string::from_utf8(text);
}

std::uint32_t count()
{
    return node::buffer(state.block)->length();
}

namespace {

// The next code point of a spelling: ASCII directly, the rest through the decoder. A byte the decoder
// rejects counts as one code point of its own value, as nothing interned is malformed.
std::uint32_t next_code_point(std::uint8_t const*& position, std::uint8_t const* end)
{
    if (*position < 0x80) return *position++;
    std::int32_t code_point = 0;
    std::uint8_t const* const start = position;
    position = unicode::utf8_decode(position, end, code_point);
    if (position == start) ++position;
    return code_point < 0 ? *start : static_cast<std::uint32_t>(code_point);
}

std::string_view name_of(NodeId name)
{
    SeriesBuffer* buffer = node::buffer(name);
    return { reinterpret_cast<char const*>(buffer->head_address()), buffer->tail - buffer->head };
}

// The upper-case fold of string comparison, with ASCII on the fast path.
std::uint32_t folded(std::uint32_t code_point)
{
    if (code_point < 0x80) return code_point >= 'a' && code_point <= 'z' ? code_point - 32 : code_point;
    return unicode::change_case(code_point, unicode::Case::Upper);
}

// Two spellings compared as the strings they form would be (string equality under `op`), straight from
// their UTF-8 names. `same` tells that both are one name.
std::int32_t compare_names(std::string_view text1, std::string_view text2, bool same, CompareOp op)
{
    if (op == CompareOp::Same) return same ? 0 : -1;
    auto const* position1 = reinterpret_cast<std::uint8_t const*>(text1.data());
    auto const* position2 = reinterpret_cast<std::uint8_t const*>(text2.data());
    auto const* const end1 = position1 + text1.size();
    auto const* const end2 = position2 + text2.size();
    bool const equality = op == CompareOp::Equal || op == CompareOp::NotEqual || op == CompareOp::StrictEqual
        || op == CompareOp::FindEqual;
    // The equalities answer 1 for texts of different lengths, whichever is longer.
    if (equality && (same || unicode::utf8_count(position1, end1) != unicode::utf8_count(position2, end2)))
        return same ? 0 : 1;
    bool const fold = op != CompareOp::StrictEqual && op != CompareOp::CaseSort;
    while (position1 < end1 && position2 < end2) {
        std::uint32_t c1 = next_code_point(position1, end1);
        std::uint32_t c2 = next_code_point(position2, end2);
        if (fold) {
            c1 = folded(c1);
            c2 = folded(c2);
        }
        if (c1 != c2) return c1 > c2 ? 1 : -1;
    }
    // A text that the other one begins orders first.
    return position1 < end1 ? 1 : position2 < end2 ? -1 : 0;
}

}

std::int32_t compare_spellings(SymbolId symbol1, SymbolId symbol2, CompareOp op)
{
    return compare_names(spelling(symbol1), spelling(symbol2), symbol1 == symbol2, op);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return compare_names(name_of(value1.word3), name_of(value2.word3), value1.word3 == value2.word3, op);
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
