// The runtime hash tables: the index of a hash! block. Equal keys share one bucket through a duplicate
// list, and the index series names the bucket of every key position, so that a key leaves the table by
// its position and a block edit moves the positions of the keys it shifts without rehashing them.

#include "runtime/hashtable.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "runtime/assert.h"
#include "runtime/bucket_flags.h"
#include "runtime/hashtable_private.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::hashtable {

using namespace detail;

namespace {

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

}

namespace detail {

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

}
