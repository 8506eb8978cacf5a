// The runtime hash tables: the engine, which makes, grows, rehashes, looks up, copies and clears tables.
// The position index of hash! blocks, the node-keyed tables, the symbol index and the marking have files
// of their own (hashtable_*.cpp) and share the helpers of hashtable_private.h. Every array lives in a
// series named by the table's record, so no raw address into a table survives a call that may allocate:
// each step takes the record, the flags and the keys again from their nodes. A collection moves buffers
// but never rehashes a table, so a bucket number computed before an allocation still names the same
// bucket after it.

#include "runtime/hashtable.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/collector.h"
#include "runtime/hashtable_private.h"
#include "runtime/int_map.h"
#include "runtime/memory.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol {

namespace hashtable {

SymbolId canonical_symbol(SymbolId symbol)
{
    return services.canonical_symbol(symbol);
}

std::uint32_t folded(std::uint32_t code_point)
{
    return unicode::change_case(code_point, unicode::Case::Upper);
}

using namespace detail;

namespace {

// ---- Keys.

std::int32_t compare_keys(Cell const& stored, Cell const& probe, CompareOp op)
{
    return services.compare_keys(stored, probe, op);
}

// A map stores its word keys as set-words.
// TODO: text keys copied, once map! exists.
void normalize_map_key(NodeId block, std::uint32_t position)
{
    Cell& key = node::buffer(block)->head_cell()[position];
    if (type_ids::is_plain_word(cell::type_of(key))) key.header = type_ids::set_word;
}

// `count` units of `unit` bytes, each byte `fill`. May allocate.
NodeId make_array(std::uint32_t count, std::uint32_t unit, std::byte fill)
{
    NodeId const id = series::alloc_units(count, unit);
    buffer::fill(id, fill);
    node::buffer(id)->tail = count * unit;
    return id;
}

// `bucket_count` empty map slots. May allocate.
NodeId make_map_slots(std::uint32_t bucket_count)
{
    return make_array(bucket_count, sizeof(std::uint32_t), empty_slot_byte);
}

// The hash of the key stored at `position` (a cell index, or a record offset for node-keyed tables).
std::uint32_t stored_hash(TableRecord const& record, std::uint32_t position)
{
    switch (record.kind) {
    case Kind::Hash:
    case Kind::Map:
        return hash_cell(key_cells(record)[position]);
    case Kind::Symbols: {
        Cell const& key = key_cells(record)[position];
        if (cell::type_of(key) == type_ids::symbol) return symbol_name_hash(key.word3);
        return hash::mix32(canonical_symbol(key.word2));
    }
    case Kind::NodeKeys:
    case Kind::Ownership: {
        auto const* key = reinterpret_cast<Cell const*>(node::buffer(record.key_series)->head_address() + position);
        return hash::mix32(key->word1);
    }
    }
    return 0;
}

// ---- Re-placing every entry: growth in place, the same-size rehash, and the rehash after node moves.

// Map: places a key position in the first empty slot of the chain of `hash`.
std::uint32_t place_map_slot(TableRecord const& record, std::uint32_t position, std::uint32_t hash)
{
    std::uint32_t const mask = record.bucket_count - 1;
    XOL_ASSERT(position % 2 == 0 && position / 2 < mask, "a map key position beyond its table's pairs");
    std::uint32_t* slots = map_slots_of(record);
    std::uint32_t bucket = hash & mask;
    for (std::uint32_t step = 1; slots[bucket] != empty_slot; ++step) bucket = (bucket + step) & mask;
    slots[bucket] = map_slot(position, hash, mask);
    return bucket;
}

// Places an entry known to be absent, whose key hashes to `hash`, in the first empty bucket of its chain
// (the table holds no deleted bucket while this runs).
std::uint32_t place_fresh(TableRecord& record, std::uint32_t entry, std::uint32_t hash)
{
    if (record.kind == Kind::Map) return place_map_slot(record, entry, hash);
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t* flags = flags_of(record);
    std::uint32_t bucket = hash & mask;
    for (std::uint32_t step = 1; bucket_flags::flag_of(flags, bucket) != bucket_flags::empty; ++step)
        bucket = (bucket + step) & mask;
    keys_of(record)[bucket] = entry;
    bucket_flags::set_flag(flags, bucket, bucket_flags::in_use);
    if (record.kind == Kind::Hash) {
        std::uint32_t* index = words_of(record.index);
        for (std::uint32_t i = 0, n = member_count(record, entry); i < n; ++i) index[member(record, entry, i)] = bucket;
    }
    return bucket;
}

std::vector<std::uint32_t> live_entries(TableRecord const& record)
{
    std::vector<std::uint32_t> entries;
    if (record.kind == Kind::Map) {
        // A map's entries are distinct key positions inside its block: marked, then read back in order,
        // which is the sort below without its comparisons.
        std::uint32_t const* slots = map_slots_of(record);
        std::uint32_t const mask = record.bucket_count - 1;
        std::vector<bool> present(key_length(record));
        std::uint32_t live = 0;
        bool inside = true;
        for (std::uint32_t bucket = 0; bucket < record.bucket_count && inside; ++bucket) {
            if (slots[bucket] == empty_slot) continue;
            std::uint32_t const position = slot_position(slots[bucket], mask);
            inside = position < present.size();
            if (inside) present[position] = true;
            ++live;
        }
        if (inside) {
            entries.reserve(live);
            for (std::uint32_t position = 0; position < present.size(); ++position)
                if (present[position]) entries.push_back(position);
            return entries;
        }
        entries.clear();
        for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket)
            if (slots[bucket] != empty_slot) entries.push_back(slot_position(slots[bucket], mask));
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket)
        if (bucket_flags::flag_of(flags, bucket) == bucket_flags::in_use) entries.push_back(keys[bucket]);
    // Position order keeps the spellings of one name in interning order along their chain.
    std::sort(entries.begin(), entries.end(),
        [&](std::uint32_t a, std::uint32_t b) { return representative(record, a) < representative(record, b); });
    return entries;
}

// Map: every key hashed first, in position order, then placed while the home slots of the keys a little
// ahead are fetched: a large table's placements then wait for memory side by side, not one after another.
// Position order keeps the keys of one hash in position order along their chain. Allocates nothing.
void place_map_entries(TableRecord const& record, std::vector<std::uint32_t> const& positions)
{
    constexpr std::size_t ahead = 16;
    std::vector<std::uint32_t> hashes(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) hashes[i] = stored_hash(record, positions[i]);
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint32_t const* slots = map_slots_of(record);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (i + ahead < positions.size()) __builtin_prefetch(slots + (hashes[i + ahead] & mask), 1);
        place_map_slot(record, positions[i], hashes[i]);
    }
    // The pair hashes stay whole when the keys are the first pairs of the block and they fit the room they
    // have (nothing is allocated here); otherwise none is kept.
    SeriesBuffer* kept = node::buffer(record.pair_hashes);
    bool whole = hashes.size() * 4 <= kept->capacity - kept->head;
    for (std::size_t i = 0; i < positions.size() && whole; ++i) whole = positions[i] == 2 * i;
    kept->tail = kept->head + (whole ? static_cast<std::uint32_t>(hashes.size() * 4) : 0);
    if (whole && !hashes.empty()) std::memcpy(kept->head_address(), hashes.data(), hashes.size() * 4);
}

// Map growth from the kept pair hashes: pair numbers in order, so the keys of one hash stay in position order
// along their chain, and no key is hashed again. May allocate.
void grow_map(RootedTable const& table, std::uint32_t bucket_count, std::uint32_t upper_bound)
{
    constexpr std::uint32_t ahead = 16;
    NodeId const slots = make_map_slots(bucket_count);
    TableRecord& record = rec(*table);
    record.keys = slots;
    record.bucket_count = bucket_count;
    record.upper_bound = upper_bound;
    std::uint32_t const* hashes = pair_hashes_of(record);
    std::uint32_t const* fresh = map_slots_of(record);
    std::uint32_t const mask = bucket_count - 1;
    std::uint32_t const pairs = record.occupied;
    for (std::uint32_t pair = 0; pair < pairs; ++pair) {
        if (pair + ahead < pairs) __builtin_prefetch(fresh + (hashes[pair + ahead] & mask), 1);
        place_map_slot(record, 2 * pair, hashes[pair]);
    }
}

enum class Records {
    Kept, // a look-up's rehash: addresses answered before stay valid
    Compacted, // growth, which may allocate anyway: records of deleted buckets are dropped, the rest slide down
};

// Re-places every live entry into `bucket_count` buckets, hashing each key again. Allocates only when the
// count changes.
void replace_entries(RootedTable const& table, std::uint32_t bucket_count, std::uint32_t upper_bound, Records records)
{
    std::vector<std::uint32_t> entries = live_entries(rec(*table));
    bool const resized = bucket_count != rec(*table).bucket_count;
    bool const map = rec(*table).kind == Kind::Map;
    if (resized && map) {
        NodeId const slots = make_map_slots(bucket_count);
        rec(*table).keys = slots;
    } else if (resized) {
        NodeId const flags = make_flags(bucket_count);
        rec(*table).flags = flags;
        NodeId const keys = make_keys(bucket_count);
        rec(*table).keys = keys;
    } else if (map) {
        buffer::fill(rec(*table).keys, empty_slot_byte);
    } else {
        TableRecord const& record = rec(*table);
        std::memset(flags_of(record), std::to_integer<int>(fresh_flags_byte), record.bucket_count / 4);
    }
    TableRecord& record = rec(*table);
    record.bucket_count = bucket_count;
    record.upper_bound = upper_bound;
    if (is_node_keyed(record.kind)) {
        if (records == Records::Compacted) {
            SeriesBuffer* series = node::buffer(record.key_series);
            std::sort(entries.begin(), entries.end());
            std::uint32_t written = 0;
            for (std::uint32_t& offset : entries) {
                std::memmove(series->head_address() + written, series->head_address() + offset, record.record_size);
                offset = written;
                written += record.record_size;
            }
            series->tail = series->head + written;
        }
        record.count = static_cast<std::uint32_t>(entries.size());
    }
    if (record.kind == Kind::Map) {
        place_map_entries(record, entries);
    } else {
        for (std::uint32_t entry : entries)
            place_fresh(record, entry, stored_hash(record, representative(record, entry)));
    }
    record.occupied = static_cast<std::uint32_t>(entries.size());
    if (record.stamp != 0) record.stamp = relocation_stamp();
}

// Map and symbol keys: the caller has looked the key up, so it takes the first free bucket of its chain.
void place_new_key(TableRecord& record, std::uint32_t position, std::uint32_t hash)
{
    if (record.kind == Kind::Map) {
        place_map_slot(record, position, hash);
        ++record.occupied;
        ++record.count;
        return;
    }
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t* flags = flags_of(record);
    std::uint32_t bucket = hash & mask;
    std::uint32_t step = 1;
    while (bucket_flags::flag_of(flags, bucket) == bucket_flags::in_use) bucket = (bucket + step++) & mask;
    if (bucket_flags::flag_of(flags, bucket) == bucket_flags::empty) ++record.occupied;
    keys_of(record)[bucket] = position;
    bucket_flags::set_flag(flags, bucket, bucket_flags::in_use);
    ++record.count;
}

Cell prepared_probe(TableRecord const& record, Cell const& key)
{
    Cell probe = key;
    if (record.kind == Kind::Map && type_ids::is_plain_word(cell::type_of(probe)))
        cell::set_type(probe, type_ids::set_word);
    return probe;
}

}

namespace detail {

// ---- Sizing.

std::uint32_t power_of_two_at_least(std::uint64_t count)
{
    XOL_ASSERT(count <= 0x8000'0000u, "hash table too large");
    return std::bit_ceil(static_cast<std::uint32_t>(std::max<std::uint64_t>(count, minimum_buckets)));
}

NodeId make_flags(std::uint32_t bucket_count)
{
    return make_array(bucket_count / 4, 1, fresh_flags_byte);
}
NodeId make_keys(std::uint32_t bucket_count)
{
    return make_array(bucket_count, 4, std::byte { 0 });
}

// ---- Growth, freshness and key comparison, which the other files of the tables call too.

void resize_in_place(RootedTable const& table, std::uint32_t requested)
{
    std::uint32_t const bucket_count = power_of_two_at_least(requested);
    auto const upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit + 0.5);
    if (rec(*table).count >= upper_bound) return;
    TableRecord const& record = rec(*table);
    if (record.kind == Kind::Map && bucket_count > record.bucket_count
        && word_count(record.pair_hashes) == record.occupied) {
        grow_map(table, bucket_count, upper_bound);
        return;
    }
    replace_entries(table, bucket_count, upper_bound, Records::Compacted);
}

// Two strings of the same units from their indexes are equal under either equality: the commonest match of
// a text key, answered without the datatype's compare.
bool same_string_units(Cell const& stored, Cell const& probe)
{
    SeriesBuffer* const a = node::buffer(stored.word2);
    SeriesBuffer* const b = node::buffer(probe.word2);
    if (a->unit() != b->unit()) return false;
    std::uint32_t const a_length = a->length();
    std::uint32_t const b_length = b->length();
    std::uint32_t const a_index = std::min(stored.word1, a_length);
    std::uint32_t const b_index = std::min(probe.word1, b_length);
    if (a_length - a_index != b_length - b_index) return false;
    std::uint32_t const shift = a->unit_shift();
    return std::memcmp(a->head_address() + (std::size_t { a_index } << shift),
               b->head_address() + (std::size_t { b_index } << shift), std::size_t { a_length - a_index } << shift)
        == 0;
}

bool keys_match(Cell const& stored, Cell const& probe, CompareOp op)
{
    TypeId const type = cell::type_of(stored);
    if (type != cell::type_of(probe)) return false;
    bool const equality = op == CompareOp::Equal || op == CompareOp::StrictEqual;
    if (type == type_ids::string && equality && same_string_units(stored, probe)) return true;
    return compare_keys(stored, probe, op) == 0;
}

void note_identity_key(TableRecord& record, Cell const& key)
{
    if (record.stamp == 0 && hashes_by_identity(cell::type_of(key))) record.stamp = relocation_stamp();
}

bool grow_if_full(RootedTable const& table)
{
    TableRecord const& record = rec(*table);
    if (record.occupied < record.upper_bound) return false;
    // A map never has deleted buckets (a removed pair keeps its bucket): it always doubles.
    bool const mostly_deleted = record.kind != Kind::Map && record.bucket_count > 2 * record.count;
    std::uint32_t const size = mostly_deleted ? record.bucket_count - 1 : record.bucket_count + 1;
    if (record.kind == Kind::Hash) {
        rebuild_from_block(table, static_cast<std::uint32_t>(size * 1.5));
        return true;
    }
    resize_in_place(table, size);
    return false;
}

void ensure_fresh(NodeId table)
{
    TableRecord const& record = rec(table);
    if (record.stamp == 0 || record.stamp == relocation_stamp() || gc::state.collecting) return;
    RootedTable rooted(table);
    replace_entries(rooted, record.bucket_count, record.upper_bound, Records::Kept);
    rec(*rooted).stamp = relocation_stamp();
}

}

TableRecord& record(NodeId table)
{
    return rec(table);
}

NodeId init(std::uint32_t size, Cell const* block, Kind kind, std::uint32_t value_cells)
{
    Rooted source(block ? *block : cell::make(type_ids::none));
    bool const has_block = block && cell::type_of(*block) != type_ids::none && !is_node_keyed(kind);
    if (kind == Kind::Symbols && size >= 4000) size *= 2;
    size = std::max(size, minimum_buckets);
    std::uint32_t const bucket_count = power_of_two_at_least(static_cast<std::uint64_t>(size / load_limit));

    RootedTable table(series::alloc_zeroed(sizeof(TableRecord)));
    {
        TableRecord& record = rec(*table);
        record.kind = kind;
        record.bucket_count = bucket_count;
        record.upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit);
        if (is_node_keyed(kind)) {
            record.record_size = (value_cells + 1) * static_cast<std::uint32_t>(sizeof(Cell));
            record.stamp = relocation_stamp();
        }
    }
    if (kind == Kind::Map) {
        NodeId const slots = make_map_slots(bucket_count);
        rec(*table).keys = slots;
        NodeId const hashes = series::alloc_units(size, 4);
        rec(*table).pair_hashes = hashes;
    } else {
        NodeId const flags = make_flags(bucket_count);
        rec(*table).flags = flags;
        NodeId const keys = make_keys(bucket_count);
        rec(*table).keys = keys;
    }
    if (kind == Kind::Hash) {
        NodeId const index = make_array(size, 4, no_bucket_byte);
        rec(*table).index = index;
        NodeId const chain = make_array(0, 4, std::byte { 0 });
        rec(*table).chain = chain;
    }
    if (has_block) {
        rec(*table).key_series = source->word2;
        load_pairs(*table, 0, kind == Kind::Map ? 2 : 1);
    } else {
        NodeId const series = series::alloc_cells(size);
        rec(*table).key_series = series;
    }
    return *table;
}

InsertResult insert(NodeId table, std::uint32_t position, std::uint32_t const* known_hash)
{
    ensure_fresh(table);
    RootedTable rooted(table);
    Kind const kind = rec(table).kind;
    XOL_ASSERT(!is_node_keyed(kind), "insert into a node-keyed table");
    XOL_ASSERT(position < key_length(rec(table)), "insert of a position past the key series");
    if (grow_if_full(rooted)) return InsertResult::Rebuilt;
    // A map slot holds a pair number under the bucket mask: a key placed past the pairs indexed so far
    // needs the room.
    while (kind == Kind::Map && position / 2 >= rec(*rooted).upper_bound)
        resize_in_place(rooted, rec(*rooted).bucket_count + 1);
    if (kind == Kind::Hash) {
        insert_hash_key(rooted, position);
        return InsertResult::Added;
    }
    // A hash computed before a rehash for moved nodes may be stale: such tables hash again.
    bool const fresh = known_hash && rec(*rooted).stamp == 0;
    std::uint32_t const hash = fresh ? *known_hash : stored_hash(rec(*rooted), position);
    // A map keeps the hash of the next pair; pair hashes already incomplete stay so.
    if (kind == Kind::Map && word_count(rec(*rooted).pair_hashes) == position / 2
        && rec(*rooted).occupied == position / 2)
        std::memcpy(series::append_bytes(rec(*rooted).pair_hashes, 4), &hash, 4);
    TableRecord& record = rec(*rooted);
    place_new_key(record, position, hash);
    note_identity_key(record, key_cells(record)[position]);
    return InsertResult::Added;
}

std::int32_t get(NodeId table, Cell const& key, GetOptions const& options)
{
    ensure_fresh(table);
    RootedTable rooted(table);
    Rooted probe(prepared_probe(rec(table), key));
    Kind const kind = rec(table).kind;
    XOL_ASSERT(kind == Kind::Hash || kind == Kind::Map, "get on a table of symbols or nodes");
    std::uint32_t const step_size = std::max(options.step, 1u);
    auto qualifies = [&](std::uint32_t position) {
        if (kind != Kind::Hash) return true;
        if (options.reverse) return position < options.start && (options.start - position) % step_size == 0;
        return position >= options.start && (position - options.start) % step_size == 0;
    };
    bool const largest = options.last || options.reverse;
    std::int64_t best = -1;
    ProbeState walk;
    if (options.hash && rec(*rooted).stamp == 0) {
        walk.hashed = true;
        walk.hash = *options.hash;
    }
    // Every equal key of the chain is a candidate: a hash! answers by position, not by bucket.
    for (std::int32_t position; (position = find_next(*rooted, *probe, walk, options.op)) >= 0;) {
        auto const found = static_cast<std::uint32_t>(position);
        if (!qualifies(found)) continue;
        if (kind == Kind::Map) return position;
        if (best < 0 || (largest ? found > best : found < best)) best = found;
    }
    return static_cast<std::int32_t>(best);
}

std::uint32_t probe_hash(NodeId table, Cell const& key)
{
    return hash_cell(prepared_probe(rec(table), key));
}

std::int32_t find_map_key(NodeId table, Cell const& key, CompareOp op, bool live_only, std::uint32_t const* known_hash)
{
    ensure_fresh(table);
    XOL_ASSERT(rec(table).kind == Kind::Map, "find_map_key on a table that is no map's");
    RootedTable rooted(table);
    Rooted probe(prepared_probe(rec(table), key));
    // A hash computed before a rehash for moved nodes may be stale: such tables hash again.
    std::uint32_t const hash = known_hash && rec(table).stamp == 0 ? *known_hash : hash_cell(*probe);
    std::uint32_t const bucket_count = rec(table).bucket_count;
    std::uint32_t const mask = bucket_count - 1;
    std::uint32_t bucket = hash & mask;
    // The record and the slots are taken again after each comparison: a compare action may allocate.
    auto answers = [&](std::uint32_t position) {
        Cell const stored = key_cells(rec(*rooted))[position];
        if (!keys_match(stored, *probe, op)) return false;
        TableRecord const& record = rec(*rooted);
        // A removed pair's value cell has header 0; a key without a value cell counts as live.
        return !live_only || position + 1 >= key_length(record) || key_cells(record)[position + 1].header != 0;
    };
    for (std::uint32_t step = 1; step <= bucket_count; ++step) {
        std::uint32_t const slot = map_slots_of(rec(*rooted))[bucket];
        if (slot == empty_slot) break;
        if (slot_agrees(slot, hash, mask) && answers(slot_position(slot, mask)))
            return static_cast<std::int32_t>(slot_position(slot, mask));
        bucket = (bucket + step) & mask;
    }
    return -1;
}

std::int32_t find_next(NodeId table, Cell const& key, ProbeState& walk, CompareOp op)
{
    if (walk.done) return -1;
    if (walk.step == 0) ensure_fresh(table);
    RootedTable rooted(table);
    Rooted probe(prepared_probe(rec(table), key));
    std::uint32_t const bucket_count = rec(table).bucket_count;
    std::uint32_t const mask = bucket_count - 1;
    if (walk.step == 0) {
        if (!walk.hashed) walk.hash = hash_cell(*probe);
        walk.hashed = true;
        walk.bucket = walk.hash & mask;
        walk.step = 1;
        walk.member = 0;
    }
    if (rec(table).kind == Kind::Map) {
        // One slot a bucket, compared by hash first; `member` 1 marks the bucket already answered.
        while (walk.step <= bucket_count) {
            std::uint32_t const slot = map_slots_of(rec(*rooted))[walk.bucket];
            if (slot == empty_slot) break;
            if (walk.member == 0 && slot_agrees(slot, walk.hash, mask)) {
                walk.member = 1;
                std::uint32_t const position = slot_position(slot, mask);
                Cell const stored = key_cells(rec(*rooted))[position];
                if (keys_match(stored, *probe, op)) return static_cast<std::int32_t>(position);
            }
            walk.bucket = (walk.bucket + walk.step) & mask;
            ++walk.step;
            walk.member = 0;
        }
        walk.done = true;
        return -1;
    }
    while (walk.step <= bucket_count) {
        std::uint32_t const flag = bucket_flags::flag_of(flags_of(rec(*rooted)), walk.bucket);
        if (flag == bucket_flags::empty) break;
        if (flag == bucket_flags::in_use) {
            // The record is taken again after each comparison: a compare action may allocate.
            while (true) {
                TableRecord const& record = rec(*rooted);
                std::uint32_t const entry = keys_of(record)[walk.bucket];
                if (walk.member >= member_count(record, entry)) break;
                std::uint32_t const position = member(record, entry, walk.member++);
                Cell const stored = key_cells(record)[position];
                if (keys_match(stored, *probe, op)) return static_cast<std::int32_t>(position);
            }
        }
        walk.bucket = (walk.bucket + walk.step) & mask;
        ++walk.step;
        walk.member = 0;
    }
    walk.done = true;
    return -1;
}

void delete_(NodeId table, std::uint32_t position)
{
    TableRecord& record = rec(table);
    if (record.kind == Kind::Hash) {
        remove_position(record, position);
        return;
    }
    XOL_ASSERT(record.kind == Kind::Map, "delete by position in a table of symbols or nodes");
    if (position + 1 >= key_length(record)) return;
    Cell& value = key_cells(record)[position + 1];
    if (value.header == 0) return; // already removed
    value.header = 0;
    --record.count;
}

void rebuild(NodeId table)
{
    RootedTable rooted(table);
    TableRecord const& record = rec(table);
    if (record.kind == Kind::Hash) {
        rebuild_from_block(rooted, record.bucket_count);
        return;
    }
    replace_entries(rooted, record.bucket_count, record.upper_bound, Records::Compacted);
}

NodeId copy(NodeId table, NodeId key_series)
{
    RootedTable source(table);
    RootedNode keys(key_series);
    // The copy starts out naming its source's arrays, then takes copies of them one by one: marking an
    // array from two tables is harmless.
    RootedTable target(series::copy_buffer(table));
    Kind const kind = rec(*target).kind;
    if (is_node_keyed(kind) && *keys == no_node) *keys = series::copy_buffer(rec(*source).key_series);
    rec(*target).key_series = *keys;
    if (kind != Kind::Map) {
        NodeId const flags = buffer::copy(rec(*source).flags);
        rec(*target).flags = flags;
    } else {
        NodeId const hashes = buffer::copy(rec(*source).pair_hashes);
        rec(*target).pair_hashes = hashes;
    }
    NodeId const bucket_keys = buffer::copy(rec(*source).keys);
    rec(*target).keys = bucket_keys;
    if (kind != Kind::Hash) return *target;

    NodeId const index = buffer::copy(rec(*source).index);
    rec(*target).index = index;
    NodeId const chain = buffer::copy(rec(*source).chain);
    rec(*target).chain = chain;
    // Every duplicate list is copied too: deleting a key from one hash! must never touch the other's index.
    for (std::uint32_t slot = 0; slot < word_count(rec(*source).chain); ++slot) {
        NodeId const list = words_of(rec(*source).chain)[slot];
        if (list == no_node) continue;
        NodeId const copied = buffer::copy(list);
        words_of(rec(*target).chain)[slot] = copied;
    }
    return *target;
}

void clear(NodeId table)
{
    TableRecord& record = rec(table);
    record.count = 0;
    record.occupied = 0;
    buffer::clear(record.key_series);
    if (record.kind == Kind::Map) {
        buffer::fill(record.keys, empty_slot_byte);
        buffer::clear(record.pair_hashes);
        return;
    }
    std::memset(flags_of(record), std::to_integer<int>(fresh_flags_byte), record.bucket_count / 4);
    if (record.kind == Kind::Hash) {
        buffer::fill(record.index, no_bucket_byte);
        buffer::clear(record.chain);
    }
}

void load_pairs(NodeId table, std::uint32_t start, std::uint32_t step)
{
    RootedTable rooted(table);
    step = std::max(step, 1u);
    Kind const kind = rec(table).kind;
    for (std::uint32_t position = start; position < key_length(rec(*rooted));) {
        if (kind != Kind::Map) {
            if (insert(*rooted, position) == InsertResult::Rebuilt) return;
            position += step;
            continue;
        }
        Cell const key = key_cells(rec(*rooted))[position];
        std::int32_t const earlier = get(*rooted, key, { .op = CompareOp::StrictEqual });
        if (earlier < 0) {
            normalize_map_key(rec(*rooted).key_series, position);
            insert(*rooted, position);
            position += step;
            continue;
        }
        // A repeated key: its value replaces the earlier pair's, and the later pair leaves the block.
        SeriesBuffer* block = node::buffer(rec(*rooted).key_series);
        Cell* cells = block->head_cell();
        std::uint32_t const length = block->length();
        std::uint32_t const pair = std::min(2u, length - position);
        if (pair == 2) cells[earlier + 1] = cells[position + 1];
        std::memmove(cells + position, cells + position + pair, (length - position - pair) * sizeof(Cell));
        block->tail -= pair * static_cast<std::uint32_t>(sizeof(Cell));
    }
}

void dump(NodeId table)
{
    TableRecord const& record = rec(table);
    if (record.kind == Kind::Map) {
        print::cstr("\n== Alive keys ==\n");
        for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket) {
            std::uint32_t const slot = map_slots_of(record)[bucket];
            if (slot == empty_slot) continue;
            std::uint32_t const position = slot_position(slot, record.bucket_count - 1);
            print::integer(bucket);
            print::cstr(" ");
            print::integer(position);
            print::cstr("\n");
        }
        return;
    }
    auto line = [&](std::uint32_t bucket) {
        std::uint32_t const entry = keys_of(record)[bucket];
        print::integer(bucket);
        if (record.kind == Kind::Hash && is_list(entry)) {
            for (std::uint32_t i = 0, n = member_count(record, entry); i < n; ++i) {
                print::cstr(" ");
                print::integer(member(record, entry, i));
            }
        } else {
            print::cstr(" ");
            print::integer(entry);
        }
        print::cstr("\n");
    };
    print::cstr("\n== Deleted keys ==\n");
    for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket)
        if (bucket_flags::flag_of(flags_of(record), bucket) == bucket_flags::deleted) line(bucket);
    print::cstr("== Alive keys ==\n");
    for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket)
        if (bucket_flags::flag_of(flags_of(record), bucket) == bucket_flags::in_use) line(bucket);
}

}

}
