// The runtime hash tables: the helpers that the engine, the position index, the node-keyed tables, the
// symbol index and the marking share; nothing outside runtime/hashtable*.cpp includes this. Every helper
// reaches the record and its arrays through their nodes, so none keeps an address across an allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/bucket_flags.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::hashtable::detail {

constexpr double load_limit = 0.77;
constexpr std::uint32_t minimum_buckets = 4;

constexpr std::byte fresh_flags_byte { bucket_flags::fresh_byte }; // the flags live in byte series here
constexpr std::byte no_bucket_byte { 0xFF }; // index entries of none_bucket

constexpr std::uint32_t live_record = type_ids::unset; // the header of a record's key cell
constexpr std::uint32_t dead_record = 0;

// ---- The record and its arrays, reached through their nodes every time.

inline TableRecord& rec(NodeId table)
{
    return *reinterpret_cast<TableRecord*>(node::buffer(table)->head_address());
}

inline std::uint8_t* flags_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint8_t*>(node::buffer(record.flags)->head_address());
}

inline std::uint32_t* keys_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(record.keys)->head_address());
}

inline std::uint32_t* words_of(NodeId series)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(series)->head_address());
}

// Map: a bucket is one 32-bit slot, so that the array a look-up reads at random is as small as it can be.
// The low bits under the bucket mask hold the pair's number (its key position / 2), the bits above them
// the same bits of the key's hash: a probe compares only keys whose hash agrees there. The pairs of the
// block are exactly the keys in buckets, fewer than the load limit, so a pair number always fits under the
// mask and no slot in use is all ones. A map has no flags array: a slot of empty_slot is an empty bucket,
// and a map never has deleted buckets (a removed pair keeps its bucket).
inline constexpr std::uint32_t empty_slot = 0xFFFFFFFF;
constexpr std::byte empty_slot_byte { 0xFF };

inline std::uint32_t* pair_hashes_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(record.pair_hashes)->head_address());
}

inline std::uint32_t* map_slots_of(TableRecord const& record)
{
    return reinterpret_cast<std::uint32_t*>(node::buffer(record.keys)->head_address());
}
inline std::uint32_t map_slot(std::uint32_t position, std::uint32_t hash, std::uint32_t mask)
{
    return (hash & ~mask) | position >> 1;
}
inline std::uint32_t slot_position(std::uint32_t slot, std::uint32_t mask)
{
    return (slot & mask) << 1;
}
// Whether a slot in use may hold a key of `hash`.
inline bool slot_agrees(std::uint32_t slot, std::uint32_t hash, std::uint32_t mask)
{
    return ((slot ^ hash) & ~mask) == 0;
}

inline std::uint32_t word_count(NodeId series)
{
    SeriesBuffer const* buffer = node::buffer(series);
    return (buffer->tail - buffer->head) / 4;
}

inline Cell* key_cells(TableRecord const& record)
{
    return node::buffer(record.key_series)->head_cell();
}
inline std::uint32_t key_length(TableRecord const& record)
{
    return node::buffer(record.key_series)->length();
}

inline bool is_node_keyed(Kind kind)
{
    return kind == Kind::NodeKeys || kind == Kind::Ownership;
}

// ---- Duplicate lists (Hash kind): a keys entry -k names list k, the node in slot k - 1 of the chain
// series. A list always holds at least two positions: one left alone becomes a plain entry again.

inline bool is_list(std::uint32_t entry)
{
    return entry >= 0x80000000u;
}
inline std::uint32_t list_number(std::uint32_t entry)
{
    return 0u - entry;
}
inline std::uint32_t list_entry(std::uint32_t number)
{
    return 0u - number;
}

inline NodeId list_node(TableRecord const& record, std::uint32_t entry)
{
    return words_of(record.chain)[list_number(entry) - 1];
}

inline std::uint32_t member_count(TableRecord const& record, std::uint32_t entry)
{
    return is_list(entry) ? word_count(list_node(record, entry)) : 1;
}

inline std::uint32_t member(TableRecord const& record, std::uint32_t entry, std::uint32_t which)
{
    return is_list(entry) ? words_of(list_node(record, entry))[which] : entry;
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

inline std::uint32_t relocation_stamp()
{
    return gc::state.node_relocations + 1;
}

inline std::uint32_t representative(TableRecord const& record, std::uint32_t entry)
{
    return member(record, entry, 0);
}

// ---- Node-keyed records.

inline Cell* record_at(TableRecord const& record, std::uint32_t offset)
{
    return reinterpret_cast<Cell*>(node::buffer(record.key_series)->head_address() + offset);
}

// ---- Defined by the engine (hashtable.cpp).

std::uint32_t power_of_two_at_least(std::uint64_t count);
NodeId make_flags(std::uint32_t bucket_count);
NodeId make_keys(std::uint32_t bucket_count);
// Re-places every entry into at least `requested` buckets, unless the live keys would fill them. May allocate.
void resize_in_place(RootedTable const& table, std::uint32_t requested);
// Before adding: a table whose occupied buckets reached the bound rehashes at the same size when most
// buckets are deleted ones, and doubles otherwise. Answers true when a hash! index was rebuilt.
bool grow_if_full(RootedTable const& table);
// Tables whose hashes depend on node ids rehash in place once the collector has moved nodes; never
// during a collection, whose sweeps walk buckets without hashing. Allocates nothing.
void ensure_fresh(NodeId table);
bool keys_match(Cell const& stored, Cell const& probe, CompareOp op);
void note_identity_key(TableRecord& record, Cell const& key);

// ---- Defined by the position index (hashtable_positions.cpp).

// Takes one indexed position out of its bucket. Allocates nothing.
void remove_position(TableRecord& record, std::uint32_t position);
// Indexes one cell of a hash! block, without growing. May allocate.
void insert_hash_key(RootedTable const& table, std::uint32_t position);
// Indexes every cell of the block afresh in at least `bucket_count` buckets: enough that the reload
// never needs to grow. May allocate.
void rebuild_from_block(RootedTable const& table, std::uint32_t wanted_buckets);

}
