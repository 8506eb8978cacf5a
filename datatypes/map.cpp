// map!: making, keys, look-up, removal and revival, reflection, text, copy and compare.

#include "datatypes/map.h"

#include <cmath>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::map {

bool valid_key_q(TypeId type)
{
    switch (type) {
    case type_ids::word:
    case type_ids::set_word:
    case type_ids::lit_word:
    case type_ids::get_word:
    case type_ids::string:
    case type_ids::file:
    case type_ids::url:
    case type_ids::tag:
    case type_ids::email:
    case type_ids::ref:
    case type_ids::binary:
    case type_ids::integer:
    case type_ids::float_:
    case type_ids::char_:
    case type_ids::percent:
    case type_ids::pair:
    case type_ids::tuple:
    case type_ids::time:
    case type_ids::date:
    case type_ids::money:
    case type_ids::point2d:
    case type_ids::point3d:
    case type_ids::refinement:
    case type_ids::issue:
        return true;
    default:
        return false;
    }
}

namespace {

bool copied_key_q(TypeId type)
{
    return type_ids::is_text(type) || type == type_ids::binary;
}

[[noreturn]] void refused_key(Cell const& key, Cell const* path)
{
    Cell const type = datatype::make(cell::type_of(key));
    fire_error(err::script::invalid_path, path ? path : &none_value, &type);
}

Cell block_cell(NodeId node)
{
    return cell::make(type_ids::block, 0, node, 0);
}

SeriesBuffer* pairs_of(Cell const& map)
{
    return node::buffer(block_of(map));
}

bool live_q(Cell const& value_cell)
{
    return value_cell.header != 0;
}

CompareOp op_of(bool case_sensitive, bool same)
{
    return same ? CompareOp::Same : case_sensitive ? CompareOp::StrictEqual : CompareOp::Equal;
}

// The position of the key cell of a live pair whose key matches, -1 when none: under a case-blind match
// several keys may answer ("a" and "A"), and a removed one gives way to a live one.
std::int32_t find_live(Cell const& map, Cell const& key, CompareOp op)
{
    if (!valid_key_q(cell::type_of(key))) return -1;
    return hashtable::find_map_key(table_of(map), key, op, true);
}

// A text or binary key's own copy from its index to its tail, as copy makes it.
Cell copied_key(Cell const& key)
{
    SeriesBuffer const* buffer = node::buffer(key.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const start = std::min(key.word1, length);
    NodeId const copied = series::copy_part(key.word2, start, length - start);
    return Cell { key.header & (cell::type_mask | cell::new_line_flag), 0, copied, 0 };
}

// The text keys of the block from `from` become copies of themselves: a later change to the value given as
// a key does not reach the map. A copy hashes as its original, so the table stays right. May allocate.
void copy_text_keys(Cell const& map, std::uint32_t from)
{
    Rooted kept(map);
    for (std::uint32_t position = from; position < pairs_of(*kept)->length(); position += 2) {
        Cell const key = pairs_of(*kept)->head_cell()[position];
        if (!copied_key_q(cell::type_of(key))) continue;
        Cell const copied = copied_key(key);
        pairs_of(*kept)->head_cell()[position] = copied;
    }
}

}

void normalize_key(Cell& key, Cell const* path)
{
    TypeId const type = cell::type_of(key);
    if (!valid_key_q(type)) refused_key(key, path);
    if (type_ids::is_plain_word(type)) {
        key.header = type_ids::set_word;
        return;
    }
    if (copied_key_q(type)) key = copied_key(key);
}

Cell make(Cell const* block, std::uint32_t capacity)
{
    Rooted pairs(unset_value);
    if (block) {
        *pairs = *block;
    } else {
        block::make_at(*pairs, static_cast<std::int32_t>(std::min<std::uint64_t>(2ull * capacity, 0x7FFF'FFFF)));
    }
    NodeId const table = hashtable::init(capacity, &*pairs, hashtable::Kind::Map);
    Rooted map(cell::make(type_id, 0, pairs->word2, table));
    copy_text_keys(*map, 0);
    return *map;
}

Cell make_from_cells(Cell const* cells, std::uint32_t count)
{
    Rooted pairs(unset_value);
    block::make_at(*pairs, static_cast<std::int32_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) block::rs_append(*pairs, cells[i]);
    block::clear_cells_bit30(pairs->word2);
    return make(&*pairs, count / 2);
}

std::int32_t rs_length(Cell const& map)
{
    return static_cast<std::int32_t>(hashtable::count(table_of(map)));
}

Cell put(Cell const& map, Cell const& key, Cell const& value, bool case_sensitive, Cell const* path)
{
    if (!valid_key_q(cell::type_of(key))) refused_key(key, path);
    Rooted kept(map);
    Rooted new_value(value);
    // One hash serves the look-up and, for a new key, its insertion: the stored key (a set-word for a
    // word, a copy of a text) hashes as the given one.
    std::uint32_t const hash = hashtable::probe_hash(table_of(map), key);
    std::int32_t position = hashtable::find_map_key(table_of(map), key, op_of(case_sensitive, false), false, &hash);
    if (position < 0) {
        Rooted stored(key);
        normalize_key(*stored, path);
        auto* pair = reinterpret_cast<Cell*>(series::append_bytes(block_of(*kept), 2 * sizeof(Cell)));
        pair[0] = *stored;
        pair[1] = unset_value;
        position = static_cast<std::int32_t>(pairs_of(*kept)->length() - 2);
        hashtable::insert(table_of(*kept), static_cast<std::uint32_t>(position), &hash);
    } else if (!live_q(pairs_of(*kept)->head_cell()[position + 1])) {
        ++hashtable::record(table_of(*kept)).count; // revived in place
    }
    pairs_of(*kept)->head_cell()[position + 1] = *new_value;
    return *new_value;
}

Cell extend(Cell const& map, Cell const& block, bool case_sensitive)
{
    std::uint32_t const length = block::rs_length_q(block);
    if (length % 2 != 0) fire_error(err::script::invalid_arg, &block);
    Rooted kept(map);
    Rooted source(block);
    block::detail::reserve(block_of(*kept), length, false);
    for (std::uint32_t i = 0; i < length; i += 2) {
        Cell const key = block::rs_head(*source)[i];
        Cell const value = block::rs_head(*source)[i + 1];
        put(*kept, key, value, case_sensitive);
    }
    return *kept;
}

bool more_q(Cell const& cursor)
{
    SeriesBuffer* pairs = pairs_of(cursor);
    for (std::uint32_t position = cursor.word1; position + 1 < pairs->length(); position += 2)
        if (live_q(pairs->head_cell()[position + 1])) return true;
    return false;
}

bool set_words(Cell const& words, Cell& cursor, std::uint32_t count)
{
    Rooted word_list(words);
    bool set_any = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell word = i < block::rs_length_q(*word_list) ? block::rs_head(*word_list)[i] : none_value;
        if (!type_ids::is_plain_word(cell::type_of(word))) fire_error(err::script::invalid_arg, &word);
        // At a key, a removed pair is skipped whole.
        while (cursor.word1 % 2 == 0 && cursor.word1 + 1 < pairs_of(cursor)->length()
            && !live_q(pairs_of(cursor)->head_cell()[cursor.word1 + 1]))
            cursor.word1 += 2;
        Cell value = none_value;
        if (cursor.word1 < pairs_of(cursor)->length()) {
            value = pairs_of(cursor)->head_cell()[cursor.word1++];
            if (cell::type_of(value) == type_ids::set_word) cell::set_type(value, type_ids::word);
            set_any = true;
        }
        word::set(word, value);
    }
    return set_any;
}

Cell body_of(Cell const& map)
{
    Rooted kept(map);
    Rooted body(*block::push_new(2 * rs_length(map)));
    stack::pop(1);
    for (std::uint32_t position = 0; position + 1 < pairs_of(*kept)->length(); position += 2) {
        if (!live_q(pairs_of(*kept)->head_cell()[position + 1])) continue;
        Cell key = pairs_of(*kept)->head_cell()[position];
        key.header |= cell::new_line_flag;
        block::rs_append(*body, key);
        Cell const value = pairs_of(*kept)->head_cell()[position + 1];
        block::rs_append(*body, value);
    }
    return *body;
}

namespace {

// ---- Making --------------------------------------------------------------------------------------------

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const type = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &type, &spec);
}

// A new map over its own copy of the pair block and of the table; /deep and /types copy the values as a
// block copy does.
Cell copy(Cell const& value, Refinement, bool deep, Refinement types)
{
    Rooted source(value);
    bool const walk_types = deep && types;
    if (walk_types) {
        if (cycles::find(block_of(*source))) {
            cycles::reset();
            fire_error(err::internal::no_cycle);
        }
        cycles::push(block_of(*source));
    }
    // The block copy leaves the keys as they are: words are not copied, and a text key copied again is
    // equal to itself.
    Rooted pairs(block::copy(block_cell(block_of(*source)), nullptr, deep, types));
    if (walk_types) cycles::pop();
    NodeId const table = hashtable::copy(table_of(*source), pairs->word2);
    return cell::make(type_id, 0, pairs->word2, table);
}

Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    switch (cell::type_of(spec)) {
    case type_ids::integer:
    case type_ids::float_: {
        double const size = cell::type_of(spec) == type_ids::integer ? integer::get(spec) : float_::get(spec);
        if (!(size >= 0 && size < 2147483648.0)) fire_error(err::script::out_of_range, &spec);
        return make(nullptr, static_cast<std::uint32_t>(size));
    }
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash: {
        if (block::rs_length_q(spec) % 2 != 0) fire_error(err::script::invalid_arg, &spec);
        for (std::uint32_t i = 0; i < block::rs_length_q(spec); i += 2)
            if (!valid_key_q(cell::type_of(block::rs_head(spec)[i]))) refused_key(block::rs_head(spec)[i], nullptr);
        Rooted pairs(block::copy(spec, nullptr, false, nullptr));
        cell::set_type(*pairs, type_ids::block);
        block::clear_cells_bit30(pairs->word2);
        return make(&*pairs, block::rs_length_q(*pairs) / 2);
    }
    case type_id:
        return copy(spec, nullptr, false, nullptr);
    default:
        bad_to_arg(spec);
    }
}

// As make, but a number is no map.
Cell to(Cell const& prototype, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (spec_type == type_ids::integer || spec_type == type_ids::float_) bad_to_arg(spec);
    return make_action(prototype, spec, type);
}

// ---- Reflection ----------------------------------------------------------------------------------------

bool is_field(SymbolId field, words::Symbol name)
{
    return symbol::resolve(field) == symbol::resolve(words::symbol_of(name));
}

// The live keys (set-words as words) or the live values, in order.
Cell live_cells(Cell const& map, bool keys)
{
    Rooted kept(map);
    Rooted result(*block::push_new(rs_length(map)));
    stack::pop(1);
    for (std::uint32_t position = 0; position + 1 < pairs_of(*kept)->length(); position += 2) {
        if (!live_q(pairs_of(*kept)->head_cell()[position + 1])) continue;
        Cell item = pairs_of(*kept)->head_cell()[keys ? position : position + 1];
        if (keys && cell::type_of(item) == type_ids::set_word) cell::set_type(item, type_ids::word);
        block::rs_append(*result, item);
    }
    return *result;
}

Cell reflect(Cell const& value, SymbolId field)
{
    if (is_field(field, words::Symbol::words)) return live_cells(value, true);
    if (is_field(field, words::Symbol::values)) return live_cells(value, false);
    if (is_field(field, words::Symbol::body)) return body_of(value);
    fire_error(err::internal::not_done);
}

// ---- Text ----------------------------------------------------------------------------------------------

struct Walk {
    bool only, all, flat;
    Refinement part;
    bool indenting;
    std::int32_t level;
    bool mold; // off for form: a value met inside itself shows as "..."
};

// The live pairs, each "key value"; pairs end in a line feed (a space when flat) when indenting, else only
// between them.
std::int32_t walk_pairs(Cell const& map, Cell& buffer, Walk const& walk, std::int32_t limit)
{
    if (rs_length(map) == 0) return limit;
    Rooted kept(map);
    block::detail::CycleEntry const guard(block_of(map));
    std::string_view const separator = walk.flat ? " " : "\n";
    std::int32_t left = rs_length(map);
    for (std::uint32_t position = 0; position + 1 < pairs_of(*kept)->length(); position += 2) {
        if (!live_q(pairs_of(*kept)->head_cell()[position + 1])) continue;
        --left;
        if (walk.indenting)
            for (std::int32_t level = 0; level < walk.level; ++level)
                limit = string::append_ascii(buffer, "    ", limit);
        Cell const key = pairs_of(*kept)->head_cell()[position];
        limit = actions::mold_typed(key, buffer, walk.only, walk.all, walk.flat, walk.part, limit, walk.level);
        limit = string::append_ascii(buffer, " ", limit);
        Cell const value = pairs_of(*kept)->head_cell()[position + 1];
        if (walk.mold || !string::append_cycle_marker(value, buffer, limit, false))
            limit = actions::mold_typed(value, buffer, walk.only, walk.all, walk.flat, walk.part, limit, walk.level);
        if (walk.indenting || left > 0) limit = string::append_ascii(buffer, separator, limit);
        if (walk.part && limit <= 0) break;
    }
    return limit;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    if (string::append_cycle_marker(value, buffer, limit, false)) return limit;
    return walk_pairs(value, buffer, { false, false, false, part, false, 0, false }, limit);
}

// "#[", a line feed, each pair indented a level deeper on its own line, "]"; /flat keeps it on one line,
// /only leaves the brackets out.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    if (string::append_cycle_marker(value, buffer, limit, true)) return limit;
    Rooted kept(value);
    bool const indenting = !only && !flat;
    if (only) return walk_pairs(*kept, buffer, { only, all, flat, part, false, indent, true }, limit);
    limit = string::append_ascii(buffer, "#[", limit);
    bool const wrote = rs_length(*kept) > 0;
    if (indenting && wrote) limit = string::append_ascii(buffer, "\n", limit);
    limit = walk_pairs(*kept, buffer, { only, all, flat, part, indenting, indent + 1, true }, limit);
    if (indenting && wrote)
        for (std::int32_t level = 0; level < indent; ++level) limit = string::append_ascii(buffer, "    ", limit);
    return string::append_ascii(buffer, "]", limit);
}

// ---- Keys ----------------------------------------------------------------------------------------------

// map/key reads the value of a live pair (none when there is none); map/key: value sets it.
Cell eval_path(PathStep const& step)
{
    if (!valid_key_q(cell::type_of(step.element))) refused_key(step.element, step.path);
    if (step.new_value) return put(step.value, step.element, *step.new_value, step.case_sensitive, step.path);
    std::int32_t const position = find_live(step.value, step.element, op_of(step.case_sensitive, false));
    return position < 0 ? none_value : pairs_of(step.value)->head_cell()[position + 1];
}

Cell put_action(Cell const& series, Cell const& key, Cell const& value, bool case_sensitive)
{
    return put(series, key, value, case_sensitive);
}

Cell select(Cell const& series, Cell const& value, FindOptions const& options)
{
    std::int32_t const position = find_live(series, value, op_of(options.case_sensitive, options.same));
    return position < 0 ? none_value : pairs_of(series)->head_cell()[position + 1];
}

// The stored key (a set-word! as a word!).
Cell find(Cell const& series, Cell const& value, FindOptions const& options)
{
    std::int32_t const position = find_live(series, value, op_of(options.case_sensitive, options.same));
    if (position < 0) return none_value;
    Cell key = pairs_of(series)->head_cell()[position];
    if (cell::type_of(key) == type_ids::set_word) cell::set_type(key, type_ids::word);
    return key;
}

std::int32_t length_q(Cell const& value)
{
    return rs_length(value);
}

Cell clear(Cell const& value)
{
    hashtable::clear(table_of(value));
    return value;
}

// Only /key removes: the pair whose key is strictly equal is marked removed, and keeps its place.
Cell remove(Cell const& series, Refinement, Refinement key)
{
    if (!key) fire_error(err::script::missing_arg);
    std::int32_t const position = find_live(series, *key, CompareOp::StrictEqual);
    if (position >= 0) hashtable::delete_(table_of(series), static_cast<std::uint32_t>(position));
    return series;
}

// ---- Compare -------------------------------------------------------------------------------------------

// Every live pair of the first map has a pair in the second whose key matches and whose value is equal.
std::int32_t compare_pairs(Cell const& map1, Cell const& map2, CompareOp op)
{
    bool const strict = op == CompareOp::StrictEqual;
    CompareOp const key_op = strict ? CompareOp::StrictEqual : CompareOp::Equal;
    for (std::uint32_t position = 0; position + 1 < pairs_of(map1)->length(); position += 2) {
        Cell const value1 = pairs_of(map1)->head_cell()[position + 1];
        if (!live_q(value1)) continue;
        Cell const key = pairs_of(map1)->head_cell()[position];
        hashtable::ProbeState walk;
        bool matched = false;
        for (;;) {
            std::int32_t const other = hashtable::find_next(table_of(map2), key, walk, key_op);
            if (other < 0) break;
            Cell const value2 = pairs_of(map2)->head_cell()[other + 1];
            if (!live_q(value2)) continue;
            if (actions::compare_typed(value1, value2, key_op) == 0) {
                matched = true;
                break;
            }
            if (strict) break;
        }
        if (!matched) return 1;
    }
    return 0;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    switch (op) {
    case CompareOp::Sort:
    case CompareOp::CaseSort: {
        // An arbitrary but stable order: by the pair blocks' nodes.
        NodeId const a = block_of(value1);
        NodeId const b = block_of(value2);
        return (a > b) - (a < b);
    }
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::FindEqual:
        break;
    default:
        return compare_incomparable;
    }
    if (block_of(value1) == block_of(value2) && value1.word1 == value2.word1) return 0;
    if (op == CompareOp::Same) return 1;
    if (cycles::find(block_of(value1))) return cycles::find(block_of(value2)) ? 0 : 1;
    if (rs_length(value1) != rs_length(value2)) return 1;
    if (rs_length(value1) == 0) return 0;
    block::detail::CycleEntry const first(block_of(value1));
    block::detail::CycleEntry const second(block_of(value2));
    return compare_pairs(value1, value2, op);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "map!",
    .actions = {
        .make = make_action,
        .reflect = reflect,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .clear = clear,
        .copy = copy,
        .find = find,
        .length_q = length_q,
        .put = put_action,
        .remove = remove,
        .select = select,
    },
};

}
