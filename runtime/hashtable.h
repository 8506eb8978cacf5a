// The runtime hash tables: one engine for the index of a hash! block, the index of a map!, the symbol
// and word indexes of the symbol table and of contexts, and tables keyed by series node whose records
// hold value cells (the ownership table among them). Open addressing over a power-of-two bucket array,
// two flag bits a bucket (2 empty, 1 deleted, 0 in use; a map marks its empty buckets in its slots instead),
// triangular probing, a load limit of 0.77.
//
// A table is a node whose 44-byte series holds a TableRecord; every array it uses is a series named by
// the record, so the collector moves and compacts tables like any other data. Buckets hold 32-bit
// positions, never cells: for kinds 0-2 a cell index from the head of the key series, for kinds 3 and 4
// a byte offset into the record series. Invariants: occupied (in use + deleted) stays below the bucket
// count, so every probe meets an empty bucket or visits each bucket once; in a hash! index every key
// position sits in exactly one bucket, and the index series names that bucket for the position.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol {

using SymbolId = std::uint32_t;

namespace hash {

// MurmurHash3, the 32-bit x86 variant, of `length` bytes with `seed`.
std::uint32_t murmur3(void const* bytes, std::uint32_t length, std::uint32_t seed);

// The byte hash of the runtime: murmur3 with the seed fixed at start-up. Hashes are never stored.
std::uint32_t string(void const* bytes, std::uint32_t length);

// The hash of a name with ASCII A-Z lowered, so that every case variant of a name starts on one chain.
std::uint32_t lowered_name(void const* bytes, std::uint32_t length);
// Inline: the name hash and the name comparison call it for every byte.
inline std::uint8_t lower_ascii(std::uint8_t byte)
{
    return static_cast<unsigned>(byte - 'A') < 26u ? static_cast<std::uint8_t>(byte | 0x20) : byte;
}

}

namespace hashtable {

enum class Kind : std::uint32_t {
    Hash = 0, // a hash! block: every cell a key, equal keys share a bucket through a duplicate list
    Map = 1, // a map! block: keys at even positions, each followed by its value
    Symbols = 2, // the symbol table's names (symbol! cells) or a context's word list (word! cells)
    NodeKeys = 3, // records keyed by series node
    Ownership = 4, // as NodeKeys; the ownership sweep also checks the owner's context
};

struct TableRecord {
    std::uint32_t count; // live keys (hash!: indexed positions; map!: live pairs)
    union {
        NodeId index; // Hash: the bucket of each key position, none_bucket where none
        std::uint32_t record_size; // NodeKeys, Ownership: bytes of one record, (value cells + 1) x 16
    };
    union {
        NodeId chain; // Hash: the node of each duplicate list (a series of 32-bit positions), 0 when freed
        // Map: the full hash of each pair's key by pair number, so that growth never hashes a key again.
        // It holds one hash a pair in a bucket (occupied of them) or, when a rehash could not keep it so,
        // fewer: growth then hashes the keys.
        NodeId pair_hashes;
    };
    NodeId flags; // 2 bits a bucket, 4 buckets a byte; none in a Map table, whose empty slots say it
    // One 32-bit entry a bucket; in a Hash table an entry -k names duplicate list k. Map: one 32-bit slot a
    // bucket, the key's pair number and the high bits of its hash, so that a probe touches one small array
    // and compares only keys whose hash agrees there.
    NodeId keys;
    NodeId key_series; // the block, the symbol or word series, or the record series
    std::uint32_t occupied; // buckets not empty
    std::uint32_t bucket_count; // a power of two, at least 4
    std::uint32_t upper_bound; // occupied buckets at which the table grows
    Kind kind;
    std::uint32_t stamp; // 0, or the node-relocation count + 1 at the last (re)build when hashes depend on nodes
};

static_assert(sizeof(TableRecord) == 44);

inline constexpr std::uint32_t none_bucket = 0xFFFFFFFF;

// The record of a table: valid until the next call that may allocate.
TableRecord& record(NodeId table);
inline std::uint32_t count(NodeId table)
{
    return record(table).count;
}
inline NodeId key_series(NodeId table)
{
    return record(table).key_series;
}

// Keys compare through the services record: symbols by their canonical (case-folded) id, other keys by
// their type's compare action. Text keys hash through the fold that case-blind text equality applies to
// each code point (to upper case), so equal texts share a chain.
SymbolId canonical_symbol(SymbolId);
std::uint32_t folded(std::uint32_t code_point);

// A new table for `size` keys (at least 4). With a block (kinds 0-2) the table indexes the block's own
// series and loads every key of it at once; without one it gets a new cell series. Kinds 3 and 4 keep
// `value_cells` value cells in each record. May allocate.
NodeId init(std::uint32_t size, Cell const* block, Kind kind, std::uint32_t value_cells = 0);

enum class InsertResult {
    Added,
    Rebuilt, // a hash! index was rebuilt from its block instead: every cell, this one included, is indexed
};

// Indexes the key at `position` of the key series (kinds 0-2). A hash! key equal to one already indexed
// joins its bucket's duplicate list; a hash! position already indexed is taken out first. Map and symbol
// keys always take a bucket of their own: the caller has looked them up, and may pass the key's hash
// (probe_hash) that the look-up used. May allocate.
InsertResult insert(NodeId table, std::uint32_t position, std::uint32_t const* known_hash = nullptr);
inline void put(NodeId table, std::uint32_t position)
{
    insert(table, position);
}

struct GetOptions {
    std::uint32_t start = 0; // hash!: candidates from here, at whole steps
    std::uint32_t step = 1;
    CompareOp op = CompareOp::Equal; // StrictEqual for the case-sensitive look-up, Same for identity
    bool last = false; // hash!: the largest position not below the start
    bool reverse = false; // hash!: the largest position below the start
    std::uint32_t const* hash = nullptr; // the key's probe_hash, when the caller has it
};

// The hash a look-up of `key` in the table uses (kinds 0 and 1): computed once, it serves get and then
// insert of the same key.
std::uint32_t probe_hash(NodeId table, Cell const& key);

// The position of a key equal to `key` under the options, -1 when none (kinds 0 and 1). A map! looks
// every word kind up as a set-word!. May call the compare service, which may allocate.
std::int32_t get(NodeId table, Cell const& key, GetOptions const& options = {});

// Map: the position of the first key along its chain that matches `key` under `op`, -1 when none; with
// `live_only`, keys of removed pairs are passed over. `known_hash` is the key's probe_hash when the caller
// has it. May call the compare service, which may allocate.
std::int32_t find_map_key(
    NodeId table, Cell const& key, CompareOp op, bool live_only, std::uint32_t const* known_hash = nullptr);

// A walk over every key equal to one probe key, duplicates included, in bucket order. The table must not
// change while a walk is under way.
struct ProbeState {
    std::uint32_t bucket = 0;
    std::uint32_t step = 0; // 0 before the walk starts
    std::uint32_t member = 0; // the next member of the current bucket's duplicate list
    bool done = false;
    bool hashed = false; // `hash` is the key's probe_hash, set by the caller before the walk
    std::uint32_t hash = 0;
};

// The next position whose key equals `key` under `op`, -1 at the end of the walk (kinds 0 and 1).
std::int32_t find_next(NodeId table, Cell const& key, ProbeState&, CompareOp op = CompareOp::Equal);

// Hash: takes the key at `position` out of the index. Map: the pair's value cell gets header 0 (the
// pair is removed, its key keeps its bucket) and the count drops by one.
void delete_(NodeId table, std::uint32_t position);

// Hash: takes the keys of `count` positions from `position` out (clamped to the key series); removing
// every key from position 0 resets the table instead.
void remove_range(NodeId table, std::uint32_t position, std::uint32_t count);

// Hash: `count` cells moved inside the block so that they now begin at `to`; the cells they passed over
// shifted the other way. Keeps every indexed position right, whatever the size of the move. May allocate.
void move_range(NodeId table, std::uint32_t to, std::uint32_t from, std::uint32_t count);

// Hash: the keys at `count` positions from `from` now sit `offset` positions away. Positions left behind
// are no longer indexed; the positions they land on must not be indexed. May allocate.
void reindex_range(NodeId table, std::int32_t offset, std::uint32_t from, std::uint32_t count);

// Hash: indexes every cell of the block afresh. Other kinds: rehashes every entry in place.
// May allocate.
void rebuild(NodeId table);

// A copy of `table` over `key_series` (for kinds 3 and 4 no_node copies the record series). Copies the
// bucket arrays and, for a hash! index, the index and every duplicate list, so that the copy and its
// source never share a list. May allocate.
NodeId copy(NodeId table, NodeId key_series);

// Empties the table and its key series.
void clear(NodeId table);

// Map: indexes the keys from `start` by `step`; a key strictly equal to one already loaded has its
// value copied over the earlier pair's value and its pair taken out of the block. Other kinds: indexes
// each key; a rebuild ends the loading, having indexed them all. May allocate.
void load_pairs(NodeId table, std::uint32_t start, std::uint32_t step);

// A context's word index: the position of the word whose symbol is `symbol` (case-blind: whose
// canonical id is the same). When absent and `context` is given, appends the word! cell {context,
// symbol, position} to the word series, indexes it, stores its position in `added` and answers -1.
// May allocate when adding.
std::int32_t put_index(
    NodeId table, SymbolId symbol, bool case_blind, NodeId context = no_node, std::uint32_t* added = nullptr);

// The symbol table's index: the position of the symbol named `name` (UTF-8 bytes), exactly or
// ignoring ASCII case, -1 when none. A new symbol is appended to the series and then indexed by insert.
std::int32_t get_string_key(NodeId table, std::string_view name, bool case_blind);
// Both look-ups of get_string_key in one walk of the chain, for a name whose lowered_name hash is `hash`:
// answers the exact position (or -1) and sets `variant` to the case-blind one (or -1).
std::int32_t find_name(NodeId table, std::string_view name, std::uint32_t hash, std::int32_t& variant);

// Node-keyed tables. The record series holds one record of (value cells + 1) cells per key: the first
// is {unset!, key node}, its header 0 once the key is deleted; the value cells follow. The answers are
// the record's first value cell, valid until the next call that may allocate. put_node_key adds the
// node when absent (its value cells unset) and may allocate.
Cell* put_node_key(NodeId table, NodeId node);
Cell* get_node_key(NodeId table, NodeId node); // nullptr when absent
Cell* delete_node_key(NodeId table, NodeId node); // nullptr when absent; the record's header becomes 0

// Deletes every record for which `keep` answers false. Walks buckets without hashing, so it works
// during a collection, when node-keyed hashes may be stale.
void sweep_node_keys(NodeId table, bool (*keep)(NodeId key, Cell const* values));

// The collector's marking: the table, every series it names, the keys of its records and the cells of
// its key series. Rewrites every node reference that moved, `table` included.
void mark(NodeId& table);

// Debug print of the deleted and the live buckets.
void dump(NodeId table);

// The hash of a key of kinds 0 and 1. The tables always fold text, so that one chain holds every
// spelling a case-sensitive or a case-blind look-up may want; `case_sensitive` is for other users.
std::uint32_t hash_cell(Cell const& key, bool case_sensitive = false);

// The hash of a symbol's name (the node of its UTF-8 bytes), ASCII case lowered.
std::uint32_t symbol_name_hash(NodeId name);

// True for the key types whose hash is their identity (a node or a context), so that a table holding
// them finds only the same value, and rehashes itself after the collector moves nodes.
bool hashes_by_identity(TypeId);

}

}
