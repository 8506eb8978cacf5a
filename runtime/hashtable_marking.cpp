// The runtime hash tables under the collector: marking a table marks every series it names, and the
// keys and values of its live records.

#include "runtime/hashtable.h"

#include <cstdint>

#include "runtime/collector.h"
#include "runtime/hashtable_private.h"
#include "runtime/series.h"

namespace xol::hashtable {

using namespace detail;

void mark(NodeId& table)
{
    if (!gc::mark_node(table)) return;
    // Marking moves no buffer: the record's address holds for the whole walk, and each reference is
    // rewritten in place when its node moved.
    TableRecord& record = rec(table);
    gc::mark_node(record.flags); // none in a map
    gc::mark_node(record.keys);
    if (record.kind == Kind::Map) gc::mark_node(record.pair_hashes);
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

}
