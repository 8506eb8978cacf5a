// hash!: making, conversion, mold and copy, and the look-ups through the table.

#include "datatypes/hash.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/type_families.h"

namespace xol::hash_ {

void index_cells(Cell& value)
{
    Rooted kept(value);
    cell::set_type(*kept, type_id);
    kept->word3 = 0; // a collection during the making sees no table yet
    Cell const whole = cell::make(type_ids::block, 0, kept->word2, 0);
    NodeId const table = hashtable::init(node::buffer(kept->word2)->length(), &whole, hashtable::Kind::Hash);
    kept->word3 = table;
    value = *kept;
}

void reindex(Cell const& value)
{
    if (cell::type_of(value) == type_id && value.word3 != 0) hashtable::rebuild(value.word3);
}

void replaced(
    Cell const& value, std::uint32_t place, std::uint32_t removed, std::uint32_t added, std::uint32_t old_total)
{
    if (cell::type_of(value) != type_id || value.word3 == 0) return;
    RootedNode table(value.word3);
    std::uint32_t const total = node::buffer(value.word2)->length();
    // A table that already disagrees with its block (cells written around the block code), or an edit that
    // leaves nothing indexed, is cheaper to build again than to mend.
    if (total == 0 || hashtable::count(*table) != old_total || place > old_total || removed > old_total - place
        || total != old_total - removed + added) {
        hashtable::rebuild(*table);
        return;
    }
    for (std::uint32_t i = 0; i < removed; ++i) hashtable::delete_(*table, place + i);
    std::uint32_t const after = place + removed;
    auto const offset = static_cast<std::int32_t>(added) - static_cast<std::int32_t>(removed);
    hashtable::reindex_range(*table, offset, after, old_total - after);
    for (std::uint32_t i = 0; i < added; ++i)
        if (hashtable::insert(*table, place + i) == hashtable::InsertResult::Rebuilt) break;
    XOL_ASSERT(hashtable::count(*table) == total, "hash! index out of step with its block");
}

void moved(Cell const& value, std::uint32_t to, std::uint32_t from, std::uint32_t count)
{
    if (cell::type_of(value) != type_id || value.word3 == 0) return;
    NodeId const table = value.word3;
    if (hashtable::count(table) != node::buffer(value.word2)->length()) {
        hashtable::rebuild(table);
        return;
    }
    hashtable::move_range(table, to, from, count);
}

namespace {

TypeActions const& block_actions()
{
    return datatype::actions(type_ids::block);
}

Cell copy(Cell const& value, Refinement part, bool deep, Refinement types)
{
    Rooted source(value);
    Cell as_block = value;
    cell::set_type(as_block, type_ids::block);
    Rooted result(block_actions().copy(as_block, part, deep, types));
    if (value.word1 == 0 && !part && !deep && !types && value.word3 != 0) {
        // The whole series copied as it is: the table is copied rather than built again.
        cell::set_type(*result, type_id);
        NodeId const table = hashtable::copy(source->word3, result->word2);
        result->word3 = table;
        return *result;
    }
    index_cells(*result);
    return *result;
}

Cell to(Cell const& prototype, Cell const& spec, TypeId)
{
    if (cell::type_of(spec) == type_id) return copy(spec, nullptr, false, nullptr);
    Rooted converted(block_actions().to(prototype, spec, type_ids::block));
    index_cells(*converted);
    return *converted;
}

Cell make(Cell const& prototype, Cell const& spec, TypeId type)
{
    switch (cell::type_of(spec)) {
    case type_ids::integer:
    case type_ids::float_: {
        double const size = cell::type_of(spec) == type_ids::integer ? integer::get(spec) : float_::get(spec);
        if (!(size > -2147483649.0 && size < 2147483648.0)) fire_error(err::script::out_of_range, &spec);
        Rooted made(unset_value);
        block::make_at(*made, size < 1 ? 1 : static_cast<std::int32_t>(size));
        index_cells(*made);
        return *made;
    }
    case type_ids::block: {
        Rooted made(block_actions().copy(spec, nullptr, false, nullptr));
        made->word1 = 0;
        index_cells(*made);
        return *made;
    }
    case type_id:
        return copy(spec, nullptr, false, nullptr);
    default:
        return to(prototype, spec, type);
    }
}

// "make hash! " before the block's text, left out with /only.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    if (!only) limit = string::append_ascii(buffer, "make hash! ", limit);
    return block_actions().mold(*kept, buffer, only, all, flat, part, limit, indent);
}

Cell sort(Cell const& series, SortOptions const& options)
{
    Rooted result(block_actions().sort(series, options));
    reindex(*result);
    return *result;
}

Cell trim(Cell const& series, TrimOptions const& options)
{
    Rooted result(block_actions().trim(series, options));
    reindex(*result);
    return *result;
}

// The key types whose equal values always hash alike (a number may equal a number of another type, which
// hashes apart): for them the table answers; for the others the block's scan does.
bool table_answers_q(Cell const& key)
{
    TypeId const type = cell::type_of(key);
    return type_ids::is_all_word(type) || type_ids::is_text(type) || type == type_ids::none || type == type_ids::logic;
}

bool plain_search_q(Cell const& series, Cell const& value, FindOptions const& options)
{
    return series.word3 != 0 && table_answers_q(value) && !options.part && !options.any && !options.with
        && !options.skip && !options.last && !options.reverse && !options.match;
}

// The position of the first cell from the index equal to the value, -1 when none. Code that writes cells
// without the block actions (a native filling a block it was given) can leave the table behind: one that
// does not index as many cells as the series holds is rebuilt first.
std::int32_t look_up(Cell const& series, Cell const& value, FindOptions const& options)
{
    Rooted kept_series(series);
    Rooted kept_value(value);
    if (hashtable::count(series.word3) != node::buffer(series.word2)->length()) hashtable::rebuild(series.word3);
    CompareOp const op = options.same ? CompareOp::Same
        : options.case_sensitive      ? CompareOp::StrictEqual
                                      : CompareOp::FindEqual;
    return hashtable::get(kept_series->word3, *kept_value, { .start = kept_series->word1, .op = op });
}

Cell find(Cell const& series, Cell const& value, FindOptions const& options)
{
    if (!plain_search_q(series, value, options)) return block_actions().find(series, value, options);
    std::int32_t const position = look_up(series, value, options);
    if (position < 0) return none_value;
    Cell result = series;
    result.word1 = static_cast<std::uint32_t>(position) + (options.tail ? 1 : 0);
    return result;
}

Cell select(Cell const& series, Cell const& value, FindOptions const& options)
{
    if (!plain_search_q(series, value, options)) return block_actions().select(series, value, options);
    std::int32_t const position = look_up(series, value, options);
    if (position < 0) return none_value;
    SeriesBuffer* buffer = node::buffer(series.word2);
    auto const after = static_cast<std::uint32_t>(position) + 1;
    return after < buffer->length() ? buffer->head_cell()[after] : none_value;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::block,
    .name = "hash!",
    .actions =
        [] {
            ActionTable table = all_inherited();
            table.make = make;
            table.random = {};
            table.to = to;
            table.mold = mold;
            table.set_path = {};
            table.copy = copy;
            table.find = find;
            table.select = select;
            table.sort = sort;
            table.trim = trim;
            return table;
        }(),
};

}
