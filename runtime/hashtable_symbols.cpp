// The runtime hash tables over names: the symbol table's index of names and a context's index of words,
// both looked up exactly or case-blind.

#include "runtime/hashtable.h"

#include <algorithm>
#include <cstring>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/hashtable_private.h"
#include "runtime/int_map.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::hashtable {

using namespace detail;

namespace {

// The chain walk of put_index: the word's position, or -1 with `place` set to the first free bucket. An
// exact spelling is compared first, so that a word found as spelt costs no look-up of its canonical id.
[[gnu::always_inline]] inline std::int32_t probe_words(
    TableRecord const& record, SymbolId symbol, SymbolId canonical, bool case_blind, std::uint32_t& place)
{
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    Cell const* words = key_cells(record);
    std::uint32_t bucket = hash::mix32(canonical) & mask;
    for (std::uint32_t step = 1; step <= record.bucket_count; bucket = (bucket + step++) & mask) {
        if (bucket_flags::flag_of(flags, bucket) != bucket_flags::in_use) {
            place = bucket;
            return -1;
        }
        SymbolId const stored = words[keys[bucket]].word2;
        if (stored == symbol || (case_blind && canonical_symbol(stored) == canonical))
            return static_cast<std::int32_t>(keys[bucket]);
    }
    return -1;
}

}

std::int32_t put_index(NodeId table, SymbolId symbol, bool case_blind, NodeId context, std::uint32_t* added)
{
    XOL_ASSERT(rec(table).kind == Kind::Symbols, "put-index on a table that is not a word index");
    SymbolId const canonical = canonical_symbol(symbol);
    std::uint32_t place = none_bucket;
    // Only adding may allocate: a word found, or a look-up alone, needs no roots and never grows the table.
    std::int32_t const found = probe_words(rec(table), symbol, canonical, case_blind, place);
    if (found >= 0 || context == no_node) return found;
    RootedTable rooted(table);
    RootedNode owner(context); // growing may move the context's node
    if (rec(table).occupied >= rec(table).upper_bound) {
        grow_if_full(rooted);
        probe_words(rec(*rooted), symbol, canonical, case_blind, place);
    }
    XOL_ASSERT(place != none_bucket, "word index without an empty bucket");
    std::uint32_t const position = key_length(rec(*rooted));
    Cell* word = series::append_cell_raw(rec(*rooted).key_series);
    *word = cell::make(type_ids::word, *owner, symbol, position);
    TableRecord& record = rec(*rooted);
    keys_of(record)[place] = position;
    bucket_flags::set_flag(flags_of(record), place, bucket_flags::in_use);
    ++record.count;
    ++record.occupied;
    if (added) *added = position;
    return -1;
}

std::int32_t find_name(NodeId table, std::string_view name, std::uint32_t hash, std::int32_t& variant)
{
    TableRecord const& record = rec(table);
    XOL_ASSERT(record.kind == Kind::Symbols, "find-name on a table that is not a name index");
    auto const* text = reinterpret_cast<std::uint8_t const*>(name.data());
    auto const length = static_cast<std::uint32_t>(name.size());
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    Cell const* symbols = key_cells(record);
    variant = -1;
    std::uint32_t bucket = hash & mask;
    for (std::uint32_t step = 1; step <= record.bucket_count; bucket = (bucket + step++) & mask) {
        if (bucket_flags::flag_of(flags, bucket) == bucket_flags::empty) return -1;
        if (bucket_flags::flag_of(flags, bucket) != bucket_flags::in_use) continue;
        SeriesBuffer* stored = node::buffer(symbols[keys[bucket]].word3);
        if (stored->tail - stored->head != length) continue;
        auto const* bytes = reinterpret_cast<std::uint8_t const*>(stored->head_address());
        if (std::memcmp(bytes, text, length) == 0) {
            // An exact match is also a case-blind one: the first of those met is the variant.
            if (variant < 0) variant = static_cast<std::int32_t>(keys[bucket]);
            return static_cast<std::int32_t>(keys[bucket]);
        }
        if (variant < 0 && std::equal(bytes, bytes + length, text, [](std::uint8_t a, std::uint8_t b) {
                return hash::lower_ascii(a) == hash::lower_ascii(b);
            }))
            variant = static_cast<std::int32_t>(keys[bucket]);
    }
    return -1;
}

std::int32_t get_string_key(NodeId table, std::string_view name, bool case_blind)
{
    std::int32_t variant = -1;
    std::int32_t const exact
        = find_name(table, name, hash::lowered_name(name.data(), static_cast<std::uint32_t>(name.size())), variant);
    return case_blind ? variant : exact;
}

}
