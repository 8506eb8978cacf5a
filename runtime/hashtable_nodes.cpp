// The runtime hash tables keyed by series node, the ownership table among them: each key has a record of
// value cells in the record series, found through the hash of the node. A deleted key leaves its record
// to the next key that takes its bucket.

#include "runtime/hashtable.h"

#include <cstdint>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/hashtable_private.h"
#include "runtime/int_map.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::hashtable {

using namespace detail;

namespace {

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

}
