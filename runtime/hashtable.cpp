// The runtime hash tables. Every array lives in a series named by the table's record, so no raw address
// into a table survives a call that may allocate: each step takes the record, the flags and the keys again
// from their nodes. A collection moves buffers but never rehashes a table, so a bucket number computed
// before an allocation still names the same bucket after it.

#include "runtime/hashtable.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/collector.h"
#include "runtime/int_map.h"
#include "runtime/memory.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol {

namespace hashtable {

HashtableState state;

SymbolId canonical_symbol(SymbolId symbol)
{
    return state.resolve_symbol ? state.resolve_symbol(symbol) : symbol;
}

std::uint32_t folded(std::uint32_t code_point)
{
    if (state.fold_case) return state.fold_case(code_point);
    return code_point >= 'a' && code_point <= 'z' ? code_point - 0x20 : code_point;
}

namespace {

constexpr double load_limit = 0.77;
constexpr std::uint32_t minimum_buckets = 4;

constexpr std::byte fresh_flags_byte { bucket_flags::fresh_byte }; // the flags live in byte series here
constexpr std::byte no_bucket_byte { 0xFF }; // index entries of none_bucket

constexpr std::uint32_t live_record = type_ids::unset; // the header of a record's key cell
constexpr std::uint32_t dead_record = 0;

// ---- Services, with the defaults that let the runtime stand alone.

bool is_word_kind(TypeId type)
{
    return type >= type_ids::word && type <= type_ids::issue;
}

std::int32_t compare_keys(Cell const& stored, Cell const& probe, CompareOp op)
{
    if (state.compare) return state.compare(stored, probe, op);
    if (is_word_kind(cell::type_of(stored))) {
        bool const exact = op == CompareOp::StrictEqual || op == CompareOp::Same;
        return (exact ? stored.word2 == probe.word2 : canonical_symbol(stored.word2) == canonical_symbol(probe.word2))
            ? 0
            : 1;
    }
    return stored.word1 == probe.word1 && stored.word2 == probe.word2 && stored.word3 == probe.word3 ? 0 : 1;
}

bool is_map_word(TypeId type)
{
    return type >= type_ids::word && type <= type_ids::get_word;
}

void normalize_map_key(NodeId block, std::uint32_t position)
{
    if (state.normalize_map_key) {
        state.normalize_map_key(block, position);
        return;
    }
    Cell& key = node::buffer(block)->head_cell()[position];
    if (is_map_word(cell::type_of(key))) key.header = type_ids::set_word;
}

// ---- The record and its arrays, reached through their nodes every time.

TableRecord& rec(NodeId table)
{
    return *reinterpret_cast<TableRecord*>(node::buffer(table)->head_address());
}

std::uint8_t* flags_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint8_t*>(node::buffer(record.flags)->head_address());
}

std::uint32_t* keys_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(record.keys)->head_address());
}

std::uint32_t* words_of(NodeId series)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(series)->head_address());
}

std::uint32_t word_count(NodeId series)
{
    SeriesBuffer const* buffer = node::buffer(series);
    return (buffer->tail - buffer->head) / 4;
}

Cell* key_cells(TableRecord const& record)
{
    return node::buffer(record.key_series)->head_cell();
}
std::uint32_t key_length(TableRecord const& record)
{
    return node::buffer(record.key_series)->length();
}

bool is_node_keyed(Kind kind)
{
    return kind == Kind::NodeKeys || kind == Kind::Ownership;
}

// ---- Duplicate lists (Hash kind): a keys entry -k names list k, the node in slot k - 1 of the chain
// series. A list always holds at least two positions: one left alone becomes a plain entry again.

bool is_list(std::uint32_t entry)
{
    return entry >= 0x80000000u;
}
std::uint32_t list_number(std::uint32_t entry)
{
    return 0u - entry;
}
std::uint32_t list_entry(std::uint32_t number)
{
    return 0u - number;
}

NodeId list_node(TableRecord const& record, std::uint32_t entry)
{
    return words_of(record.chain)[list_number(entry) - 1];
}

std::uint32_t member_count(TableRecord const& record, std::uint32_t entry)
{
    return is_list(entry) ? word_count(list_node(record, entry)) : 1;
}

std::uint32_t member(TableRecord const& record, std::uint32_t entry, std::uint32_t which)
{
    return is_list(entry) ? words_of(list_node(record, entry))[which] : entry;
}

// ---- Sizing.

std::uint32_t power_of_two_at_least(std::uint64_t count)
{
    XOL_ASSERT(count <= 0x8000'0000u, "hash table too large");
    return std::bit_ceil(static_cast<std::uint32_t>(std::max<std::uint64_t>(count, minimum_buckets)));
}

// `count` units of `unit` bytes, each byte `fill`. May allocate.
NodeId make_array(std::uint32_t count, std::uint32_t unit, std::byte fill)
{
    NodeId const id = series::alloc_units(count, unit);
    buffer::fill(id, fill);
    node::buffer(id)->tail = count * unit;
    return id;
}

NodeId make_flags(std::uint32_t bucket_count)
{
    return make_array(bucket_count / 4, 1, fresh_flags_byte);
}
NodeId make_keys(std::uint32_t bucket_count)
{
    return make_array(bucket_count, 4, std::byte { 0 });
}

// ---- Keeping tables alive. The collector marks word 3 of a map! cell as a table: through that cell a
// table, every series it names and its key series survive a collection, and the node id follows a move.
class RootedTable {
public:
    explicit RootedTable(NodeId table)
        : m_cell(cell::make(type_ids::map, 0, no_node, table))
    {
    }
    NodeId operator*() const { return (*m_cell).word3; }

private:
    Rooted m_cell;
};

std::uint32_t relocation_stamp()
{
    return gc::state.node_relocations + 1;
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

std::uint32_t representative(TableRecord const& record, std::uint32_t entry)
{
    return member(record, entry, 0);
}

// ---- Re-placing every entry: growth in place, the same-size rehash, and the rehash after node moves.

// Places an entry known to be absent in the first empty bucket of its chain (the table holds no
// deleted bucket while this runs).
std::uint32_t place_fresh(TableRecord& record, std::uint32_t entry)
{
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t* flags = flags_of(record);
    std::uint32_t bucket = stored_hash(record, representative(record, entry)) & mask;
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
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket)
        if (bucket_flags::flag_of(flags, bucket) == bucket_flags::in_use) entries.push_back(keys[bucket]);
    // Position order keeps the spellings of one name in interning order along their chain.
    std::sort(entries.begin(), entries.end(),
        [&](std::uint32_t a, std::uint32_t b) { return representative(record, a) < representative(record, b); });
    return entries;
}

enum class Records {
    Kept, // a look-up's rehash: addresses answered before stay valid
    Compacted, // growth, which may allocate anyway: records of deleted buckets are dropped, the rest slide down
};

// Re-places every live entry into `bucket_count` buckets. Allocates only when the count changes.
void replace_entries(RootedTable const& table, std::uint32_t bucket_count, std::uint32_t upper_bound, Records records)
{
    std::vector<std::uint32_t> entries = live_entries(rec(*table));
    bool const resized = bucket_count != rec(*table).bucket_count;
    if (resized) {
        NodeId const flags = make_flags(bucket_count);
        rec(*table).flags = flags;
        NodeId const keys = make_keys(bucket_count);
        rec(*table).keys = keys;
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
    for (std::uint32_t entry : entries) place_fresh(record, entry);
    record.occupied = static_cast<std::uint32_t>(entries.size());
    if (record.stamp != 0) record.stamp = relocation_stamp();
}

void resize_in_place(RootedTable const& table, std::uint32_t requested)
{
    std::uint32_t const bucket_count = power_of_two_at_least(requested);
    auto const upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit + 0.5);
    if (rec(*table).count >= upper_bound) return;
    replace_entries(table, bucket_count, upper_bound, Records::Compacted);
}

// ---- The Hash kind: duplicate lists and the index of positions.

// The index covers at least `length` positions. May allocate.
void ensure_index(RootedTable const& table, std::uint32_t length)
{
    NodeId const index = rec(*table).index;
    std::uint32_t const have = word_count(index);
    if (have >= length) return;
    std::uint64_t const wanted = std::max<std::uint64_t>(std::uint64_t { have } * 2, length);
    SeriesBuffer* buffer = series::expand_filled(index, wanted * 4, no_bucket_byte);
    buffer->tail = buffer->capacity;
}

std::uint32_t bucket_of_position(TableRecord const& record, std::uint32_t position)
{
    return position < word_count(record.index) ? words_of(record.index)[position] : none_bucket;
}

void free_list_slot(TableRecord const& record, std::uint32_t number)
{
    words_of(record.chain)[number - 1] = no_node;
    // Trailing empty slots are given back, so that lists made and emptied in turn reuse their slot.
    SeriesBuffer* chain = node::buffer(record.chain);
    while (chain->tail > chain->head && words_of(record.chain)[(chain->tail - chain->head) / 4 - 1] == no_node)
        chain->tail -= 4;
}

// Takes one indexed position out of its bucket. Allocates nothing.
void remove_position(TableRecord& record, std::uint32_t position)
{
    std::uint32_t const bucket = bucket_of_position(record, position);
    if (bucket == none_bucket) return;
    std::uint32_t* keys = keys_of(record);
    std::uint32_t const entry = keys[bucket];
    if (!is_list(entry)) {
        XOL_ASSERT(entry == position, "hash index names the wrong bucket");
        bucket_flags::set_flag(flags_of(record), bucket, bucket_flags::deleted);
    } else {
        NodeId const list = list_node(record, entry);
        buffer::remove_ptr(list, position);
        if (word_count(list) == 1) {
            keys[bucket] = words_of(list)[0];
            free_list_slot(record, list_number(entry));
        }
    }
    words_of(record.index)[position] = none_bucket;
    --record.count;
}

// Adds `position` to the bucket that holds an equal key. May allocate.
void add_duplicate(RootedTable const& table, std::uint32_t bucket, std::uint32_t position)
{
    std::uint32_t entry = keys_of(rec(*table))[bucket];
    if (!is_list(entry)) {
        std::uint32_t const first = entry;
        // The list gets its chain slot before it exists, so that it is never unreachable.
        NodeId const chain = rec(*table).chain;
        buffer::append_int32(chain, no_node);
        std::uint32_t const number = word_count(rec(*table).chain);
        NodeId const list = series::alloc_units(4, 4);
        TableRecord const& record = rec(*table);
        words_of(record.chain)[number - 1] = list;
        buffer::append_int32(list, first);
        entry = list_entry(number);
        keys_of(rec(*table))[bucket] = entry;
    }
    buffer::append_int32(list_node(rec(*table), entry), position);
}

bool keys_match(Cell const& stored, Cell const& probe, CompareOp op)
{
    return cell::type_of(stored) == cell::type_of(probe) && compare_keys(stored, probe, op) == 0;
}

void note_identity_key(TableRecord& record, Cell const& key)
{
    if (record.stamp == 0 && hashes_by_identity(cell::type_of(key))) record.stamp = relocation_stamp();
}

// Indexes one cell of a hash! block, without growing. May allocate.
void insert_hash_key(RootedTable const& table, std::uint32_t position)
{
    ensure_index(table, position + 1);
    remove_position(rec(*table), position);
    Rooted key(key_cells(rec(*table))[position]);
    std::uint32_t const hash = hash_cell(*key);
    std::uint32_t const bucket_count = rec(*table).bucket_count;
    std::uint32_t const mask = bucket_count - 1;
    std::uint32_t bucket = hash & mask;
    std::uint32_t place = none_bucket;
    bool place_was_empty = false;
    bool duplicate = false;
    for (std::uint32_t step = 1; step <= bucket_count; bucket = (bucket + step++) & mask) {
        TableRecord const& record = rec(*table);
        std::uint32_t const flag = bucket_flags::flag_of(flags_of(record), bucket);
        if (flag == bucket_flags::empty) {
            if (place == none_bucket) {
                place = bucket;
                place_was_empty = true;
            }
            break;
        }
        if (flag == bucket_flags::deleted) {
            if (place == none_bucket) place = bucket;
            continue;
        }
        std::uint32_t const first = representative(record, keys_of(record)[bucket]);
        Cell const stored = key_cells(record)[first];
        if (keys_match(stored, *key, CompareOp::Equal)) {
            place = bucket;
            duplicate = true;
            break;
        }
    }
    XOL_ASSERT(place != none_bucket, "hash table without an empty bucket");
    if (duplicate) {
        add_duplicate(table, place, position);
    } else {
        TableRecord& record = rec(*table);
        keys_of(record)[place] = position;
        bucket_flags::set_flag(flags_of(record), place, bucket_flags::in_use);
        if (place_was_empty) ++rec(*table).occupied;
    }
    TableRecord& record = rec(*table);
    words_of(record.index)[position] = place;
    ++record.count;
    note_identity_key(record, *key);
}

// Indexes every cell of the block afresh in at least `bucket_count` buckets: enough that the reload
// never needs to grow. May allocate.
void rebuild_from_block(RootedTable const& table, std::uint32_t wanted_buckets)
{
    std::uint32_t const length = key_length(rec(*table));
    std::uint32_t bucket_count = power_of_two_at_least(wanted_buckets);
    while (static_cast<std::uint32_t>(bucket_count * load_limit) <= length) bucket_count *= 2;
    NodeId const flags = make_flags(bucket_count);
    rec(*table).flags = flags;
    NodeId const keys = make_keys(bucket_count);
    rec(*table).keys = keys;
    ensure_index(table, length);
    TableRecord& record = rec(*table);
    record.bucket_count = bucket_count;
    record.upper_bound = static_cast<std::uint32_t>(bucket_count * load_limit);
    record.count = 0;
    record.occupied = 0;
    record.stamp = 0;
    buffer::clear(record.chain);
    buffer::fill(record.index, no_bucket_byte);
    for (std::uint32_t position = 0; position < length; ++position) insert_hash_key(table, position);
}

// Before adding: a table whose occupied buckets reached the bound rehashes at the same size when most
// buckets are deleted ones, and doubles otherwise. Answers true when a hash! index was rebuilt.
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

// Tables whose hashes depend on node ids rehash in place once the collector has moved nodes; never
// during a collection, whose sweeps walk buckets without hashing. Allocates nothing.
void ensure_fresh(NodeId table)
{
    TableRecord const& record = rec(table);
    if (record.stamp == 0 || record.stamp == relocation_stamp() || gc::state.collecting) return;
    RootedTable rooted(table);
    replace_entries(rooted, record.bucket_count, record.upper_bound, Records::Kept);
    rec(*rooted).stamp = relocation_stamp();
}

// Map and symbol keys: the caller has looked the key up, so it takes the first free bucket of its chain.
void place_new_key(TableRecord& record, std::uint32_t position)
{
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t* flags = flags_of(record);
    std::uint32_t bucket = stored_hash(record, position) & mask;
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
    if (record.kind == Kind::Map && is_map_word(cell::type_of(probe))) cell::set_type(probe, type_ids::set_word);
    return probe;
}

// ---- Node-keyed records.

Cell* record_at(TableRecord const& record, std::uint32_t offset)
{
    return reinterpret_cast<Cell*>(node::buffer(record.key_series)->head_address() + offset);
}

struct NodeProbe {
    std::uint32_t found; // the bucket, or none_bucket
    std::uint32_t place; // where an absent key goes: the first deleted bucket met, else the empty one
    bool place_was_empty;
};

NodeProbe probe_node(TableRecord const& record, NodeId node)
{
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    std::uint32_t bucket = hash::mix32(node) & mask;
    std::uint32_t first_deleted = none_bucket;
    for (std::uint32_t step = 1; step <= record.bucket_count; ++step) {
        std::uint32_t const flag = bucket_flags::flag_of(flags, bucket);
        if (flag == bucket_flags::empty) {
            if (first_deleted != none_bucket) return { none_bucket, first_deleted, false };
            return { none_bucket, bucket, true };
        }
        if (flag == bucket_flags::deleted) {
            if (first_deleted == none_bucket) first_deleted = bucket;
        } else if (record_at(record, keys[bucket])->word1 == node) {
            return { bucket, bucket, false };
        }
        bucket = (bucket + step) & mask;
    }
    return { none_bucket, first_deleted, false };
}

void set_record(TableRecord const& record, std::uint32_t offset, NodeId node)
{
    Cell* cells = record_at(record, offset);
    cells[0] = cell::make(type_ids::unset, node);
    for (std::uint32_t i = 1; i < record.record_size / sizeof(Cell); ++i) cells[i] = cell::make(type_ids::unset);
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
    NodeId const flags = make_flags(bucket_count);
    rec(*table).flags = flags;
    NodeId const keys = make_keys(bucket_count);
    rec(*table).keys = keys;
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

InsertResult insert(NodeId table, std::uint32_t position)
{
    ensure_fresh(table);
    RootedTable rooted(table);
    Kind const kind = rec(table).kind;
    XOL_ASSERT(!is_node_keyed(kind), "insert into a node-keyed table");
    XOL_ASSERT(position < key_length(rec(table)), "insert of a position past the key series");
    if (grow_if_full(rooted)) return InsertResult::Rebuilt;
    if (kind == Kind::Hash) {
        insert_hash_key(rooted, position);
        return InsertResult::Added;
    }
    TableRecord& record = rec(*rooted);
    place_new_key(record, position);
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
    // Every equal key of the chain is a candidate: a hash! answers by position, not by bucket.
    for (std::int32_t position; (position = find_next(*rooted, *probe, walk, options.op)) >= 0;) {
        auto const found = static_cast<std::uint32_t>(position);
        if (!qualifies(found)) continue;
        if (kind == Kind::Map) return position;
        if (best < 0 || (largest ? found > best : found < best)) best = found;
    }
    return static_cast<std::int32_t>(best);
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
        walk.bucket = hash_cell(*probe) & mask;
        walk.step = 1;
        walk.member = 0;
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

void remove_range(NodeId table, std::uint32_t position, std::uint32_t count)
{
    TableRecord& record = rec(table);
    XOL_ASSERT(record.kind == Kind::Hash, "remove-range on a table that is not a hash! index");
    std::uint32_t const length = key_length(record);
    if (position >= length) return;
    count = std::min(count, length - position);
    if (position == 0 && count == length) {
        record.count = 0;
        record.occupied = 0;
        std::memset(flags_of(record), std::to_integer<int>(fresh_flags_byte), record.bucket_count / 4);
        buffer::fill(record.index, no_bucket_byte);
        buffer::clear(record.chain);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) remove_position(rec(table), position + i);
}

namespace {

// Moves the positions of the keys indexed in [low, high) to new_position(p), which must map that window
// onto positions that nothing else indexes. Buckets are rewritten list by list, each member once, so
// that overlapping old and new positions never mix. May allocate (the index grows first).
template <typename NewPosition>
void remap_positions(NodeId table, std::uint32_t low, std::uint32_t high, NewPosition new_position)
{
    RootedTable rooted(table);
    std::uint32_t highest = 0;
    for (std::uint32_t p = low; p < high; ++p) highest = std::max(highest, new_position(p));
    if (high > low) ensure_index(rooted, std::max(highest + 1, high));

    TableRecord const& record = rec(*rooted);
    std::uint32_t* index = words_of(record.index);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> moved; // new position, bucket
    std::vector<std::uint32_t> buckets;
    for (std::uint32_t p = low; p < high; ++p) {
        if (index[p] == none_bucket) continue;
        moved.emplace_back(new_position(p), index[p]);
        buckets.push_back(index[p]);
        index[p] = none_bucket;
    }
    std::sort(buckets.begin(), buckets.end());
    buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
    std::uint32_t* keys = keys_of(record);
    for (std::uint32_t bucket : buckets) {
        std::uint32_t const entry = keys[bucket];
        if (!is_list(entry)) {
            if (entry >= low && entry < high) keys[bucket] = new_position(entry);
            continue;
        }
        NodeId const list = list_node(record, entry);
        std::uint32_t* members = words_of(list);
        for (std::uint32_t i = 0, n = word_count(list); i < n; ++i)
            if (members[i] >= low && members[i] < high) members[i] = new_position(members[i]);
    }
    for (auto [position, bucket] : moved) {
        XOL_ASSERT(index[position] == none_bucket, "keys moved onto an indexed position");
        index[position] = bucket;
    }
}

}

void reindex_range(NodeId table, std::int32_t offset, std::uint32_t from, std::uint32_t count)
{
    XOL_ASSERT(rec(table).kind == Kind::Hash, "reindex-range on a table that is not a hash! index");
    XOL_ASSERT(offset >= 0 || from >= static_cast<std::uint32_t>(-offset), "keys shifted below position 0");
    if (offset == 0 || count == 0) return;
    remap_positions(table, from, from + count,
        [offset](std::uint32_t p) { return static_cast<std::uint32_t>(static_cast<std::int64_t>(p) + offset); });
}

void move_range(NodeId table, std::uint32_t to, std::uint32_t from, std::uint32_t count)
{
    XOL_ASSERT(rec(table).kind == Kind::Hash, "move-range on a table that is not a hash! index");
    if (to == from || count == 0) return;
    std::uint32_t const low = std::min(to, from);
    std::uint32_t const high = std::max(to, from) + count;
    remap_positions(table, low, high, [=](std::uint32_t p) {
        if (p >= from && p < from + count) return to + (p - from); // the moved cells
        return to < from ? p + count : p - count; // the cells they passed over
    });
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
    NodeId const flags = buffer::copy(rec(*source).flags);
    rec(*target).flags = flags;
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

std::int32_t put_index(NodeId table, SymbolId symbol, bool case_blind, NodeId context, std::uint32_t* added)
{
    RootedTable rooted(table);
    RootedNode owner(context); // growing may move the context's node
    XOL_ASSERT(rec(table).kind == Kind::Symbols, "put-index on a table that is not a word index");
    if (context != no_node) grow_if_full(rooted);
    SymbolId const canonical = canonical_symbol(symbol);
    std::uint32_t place = none_bucket;
    {
        TableRecord const& record = rec(*rooted);
        std::uint32_t const mask = record.bucket_count - 1;
        std::uint8_t const* flags = flags_of(record);
        std::uint32_t const* keys = keys_of(record);
        Cell const* words = key_cells(record);
        std::uint32_t bucket = hash::mix32(canonical) & mask;
        for (std::uint32_t step = 1; step <= record.bucket_count; bucket = (bucket + step++) & mask) {
            if (bucket_flags::flag_of(flags, bucket) != bucket_flags::in_use) {
                place = bucket;
                break;
            }
            SymbolId const stored = words[keys[bucket]].word2;
            if (case_blind ? canonical_symbol(stored) == canonical : stored == symbol)
                return static_cast<std::int32_t>(keys[bucket]);
        }
    }
    if (*owner == no_node) return -1;
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

std::int32_t get_string_key(NodeId table, std::string_view name, bool case_blind)
{
    TableRecord const& record = rec(table);
    XOL_ASSERT(record.kind == Kind::Symbols, "get-string-key on a table that is not a name index");
    auto const* text = reinterpret_cast<std::uint8_t const*>(name.data());
    auto const length = static_cast<std::uint32_t>(name.size());
    std::uint32_t const mask = record.bucket_count - 1;
    std::uint8_t const* flags = flags_of(record);
    std::uint32_t const* keys = keys_of(record);
    Cell const* symbols = key_cells(record);
    std::uint32_t bucket = hash::lowered_name(text, length) & mask;
    for (std::uint32_t step = 1; step <= record.bucket_count; bucket = (bucket + step++) & mask) {
        if (bucket_flags::flag_of(flags, bucket) == bucket_flags::empty) return -1;
        if (bucket_flags::flag_of(flags, bucket) != bucket_flags::in_use) continue;
        SeriesBuffer* stored = node::buffer(symbols[keys[bucket]].word3);
        if (stored->tail - stored->head != length) continue;
        auto const* bytes = reinterpret_cast<std::uint8_t const*>(stored->head_address());
        bool const same = case_blind
            ? std::equal(bytes, bytes + length, text,
                [](std::uint8_t a, std::uint8_t b) { return hash::lower_ascii(a) == hash::lower_ascii(b); })
            : std::memcmp(bytes, text, length) == 0;
        if (same) return static_cast<std::int32_t>(keys[bucket]);
    }
    return -1;
}

Cell* put_node_key(NodeId table, NodeId node)
{
    ensure_fresh(table);
    RootedTable rooted(table);
    RootedNode key(node);
    XOL_ASSERT(is_node_keyed(rec(table).kind), "put-node-key on a table not keyed by node");
    {
        TableRecord const& record = rec(table);
        if (record.occupied >= record.upper_bound) {
            bool const mostly_deleted = record.bucket_count > 2 * record.count;
            resize_in_place(rooted, mostly_deleted ? record.bucket_count - 1 : record.bucket_count + 1);
        }
    }
    NodeProbe const probe = probe_node(rec(*rooted), *key);
    if (probe.found != none_bucket) {
        TableRecord const& record = rec(*rooted);
        return record_at(record, keys_of(record)[probe.found]) + 1;
    }
    XOL_ASSERT(probe.place != none_bucket, "node table without a free bucket");
    std::uint32_t offset;
    if (probe.place_was_empty) {
        SeriesBuffer* records = node::buffer(rec(*rooted).key_series);
        offset = records->tail - records->head;
        std::uint32_t const size = rec(*rooted).record_size;
        series::append_bytes(rec(*rooted).key_series, size); // may collect: the bucket stays the same
        ++rec(*rooted).occupied;
    } else {
        offset = keys_of(rec(*rooted))[probe.place]; // a deleted bucket keeps its old record
    }
    TableRecord& record = rec(*rooted);
    keys_of(record)[probe.place] = offset;
    bucket_flags::set_flag(flags_of(record), probe.place, bucket_flags::in_use);
    ++record.count;
    set_record(record, offset, *key);
    return record_at(record, offset) + 1;
}

Cell* get_node_key(NodeId table, NodeId node)
{
    ensure_fresh(table);
    TableRecord const& record = rec(table);
    NodeProbe const probe = probe_node(record, node);
    return probe.found == none_bucket ? nullptr : record_at(record, keys_of(record)[probe.found]) + 1;
}

Cell* delete_node_key(NodeId table, NodeId node)
{
    ensure_fresh(table);
    TableRecord& record = rec(table);
    NodeProbe const probe = probe_node(record, node);
    if (probe.found == none_bucket) return nullptr;
    bucket_flags::set_flag(flags_of(record), probe.found, bucket_flags::deleted);
    --record.count;
    Cell* key = record_at(record, keys_of(record)[probe.found]);
    key->header = dead_record;
    return key + 1;
}

void sweep_node_keys(NodeId table, bool (*keep)(NodeId key, Cell const* values))
{
    TableRecord& record = rec(table);
    for (std::uint32_t bucket = 0; bucket < record.bucket_count; ++bucket) {
        if (bucket_flags::flag_of(flags_of(record), bucket) != bucket_flags::in_use) continue;
        Cell* key = record_at(record, keys_of(record)[bucket]);
        if (keep(key->word1, key + 1)) continue;
        bucket_flags::set_flag(flags_of(record), bucket, bucket_flags::deleted);
        --record.count;
        key->header = dead_record;
        key->word1 = no_node;
    }
}

void mark(NodeId& table)
{
    if (!gc::mark_node(table)) return;
    // Marking moves no buffer: the record's address holds for the whole walk, and each reference is
    // rewritten in place when its node moved.
    TableRecord& record = rec(table);
    gc::mark_node(record.flags);
    gc::mark_node(record.keys);
    if (record.kind == Kind::Hash) {
        gc::mark_node(record.index);
        if (gc::mark_node(record.chain)) { // a table being made may have no chain yet
            std::uint32_t* lists = words_of(record.chain);
            for (std::uint32_t slot = 0, n = word_count(record.chain); slot < n; ++slot) gc::mark_node(lists[slot]);
        }
    }
    if (!is_node_keyed(record.kind)) {
        gc::mark_series(record.key_series); // the block, the symbols or the words, and their cells
        return;
    }
    // Only live records keep their key and their values alive: a deleted record's cells are left for reuse.
    if (!gc::mark_node(record.key_series)) return; // a table being made may have no records yet
    SeriesBuffer* records = node::buffer(record.key_series);
    for (std::uint32_t offset = 0; offset + record.record_size <= records->tail - records->head;
         offset += record.record_size) {
        Cell* cells = record_at(record, offset);
        if (cells[0].header != live_record) continue;
        gc::mark_series(cells[0].word1);
        for (std::uint32_t i = 1; i < record.record_size / sizeof(Cell); ++i) gc::mark_cell(cells[i]);
    }
}

void dump(NodeId table)
{
    TableRecord const& record = rec(table);
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
