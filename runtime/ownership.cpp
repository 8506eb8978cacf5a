// Series ownership.

#include "runtime/ownership.h"

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/type_families.h"

namespace xol::ownership {

OwnershipState state;

namespace {

constexpr std::uint32_t value_cells = 3; // the owned value, the owner, the word
constexpr std::uint32_t values_on_stack = 0x400000;

bool is_ownable_series(TypeId type)
{
    return type_ids::is_series(type) || type == type_ids::bitset;
}

bool is_owned(Cell const& value)
{
    if (cell::type_of(value) == type_ids::image) return (value.header & image_owned_flag) != 0;
    return value.word2 != no_node && (node::buffer(value.word2)->flags & owned_flag);
}

void set_owned(Cell& value, bool owned)
{
    if (cell::type_of(value) == type_ids::image) {
        value.header = owned ? value.header | image_owned_flag : value.header & ~image_owned_flag;
        return;
    }
    if (value.word2 == no_node) return;
    SeriesBuffer* buffer = node::buffer(value.word2);
    buffer->flags = owned ? buffer->flags | owned_flag : buffer->flags & ~owned_flag;
}

Cell& context_cell(NodeId context)
{
    return node::buffer(context)->cells()[0];
}

// An object's values: a series, or none when they live on the value stack.
NodeId value_series(Cell const& object)
{
    Cell const& context = context_cell(object.word1);
    return (context.header & values_on_stack) ? no_node : context.word2;
}

template <typename Visit> void for_each_cell_from_index(Cell const& block, Visit&& visit)
{
    // The block is rooted by the caller; each visit may allocate, so every cell is read afresh.
    for (std::uint32_t i = block.word1;; ++i) {
        SeriesBuffer* buffer = node::buffer(block.word2);
        if (buffer->head + (i + 1) * sizeof(Cell) > buffer->tail) return;
        Rooted item(buffer->head_cell()[i]);
        visit(*item);
    }
}

}

void init()
{
    state.table = hashtable::init(1000, nullptr, hashtable::Kind::Ownership, value_cells);
}

void bind_series(Cell const& given_value, Cell const& given_owner, Cell const& given_word)
{
    Rooted value(given_value), owner(given_owner), word(given_word);
    TypeId const type = cell::type_of(*value);
    if (type == type_ids::object) {
        NodeId const values = value_series(*value);
        if ((context_cell(value->word1).header & owner_flag) || values == no_node || cycles::find(values)) return;
        cycles::push(values);
        // Each binding may allocate and move nodes: the series are found again from the rooted object.
        for (std::uint32_t i = 0; i < node::buffer(value_series(*value))->length(); ++i) {
            Rooted field(node::buffer(value_series(*value))->head_cell()[i]);
            Rooted field_word(node::buffer(hashtable::key_series(context_cell(value->word1).word1))->head_cell()[i]);
            bool const is_owner_itself = cell::type_of(*field) == type_ids::object && field->word1 == owner->word1;
            if (!is_owner_itself) bind_series(*field, *owner, *field_word);
        }
        cycles::pop();
        return;
    }
    if (!is_ownable_series(type)) return;
    if (!is_owned(*value)) {
        set_owned(*value, true);
        Cell* record = hashtable::put_node_key(state.table, value->word2);
        record[0] = *value;
        record[1] = *owner;
        record[2] = *word;
    }
    if (!type_ids::is_any_block(type) || cycles::find(value->word2)) return;
    cycles::push(value->word2);
    for_each_cell_from_index(*value, [&](Cell const& item) { bind_series(item, *owner, *word); });
    cycles::pop();
}

void bind(Cell const& value, Cell const& owner, Cell const& word)
{
    Rooted kept_owner(owner);
    bind_series(value, owner, word);
    context_cell(kept_owner->word1).header |= owner_flag;
}

void unbind(Cell const& given_value)
{
    Rooted value(given_value);
    TypeId const type = cell::type_of(*value);
    if (type == type_ids::object) {
        NodeId const values = value_series(*value);
        if (values == no_node || cycles::find(values) || (context_cell(value->word1).header & owner_flag)) return;
        cycles::push(values);
        for (std::uint32_t i = 0; i < node::buffer(value_series(*value))->length(); ++i)
            unbind(node::buffer(value_series(*value))->head_cell()[i]);
        cycles::pop();
        return;
    }
    if (!is_ownable_series(type)) return;
    set_owned(*value, false);
    if (Cell* record = hashtable::get_node_key(state.table, value->word2)) {
        for (std::uint32_t i = 0; i < value_cells; ++i) record[i].header = type_ids::unset;
        hashtable::delete_node_key(state.table, value->word2);
    }
    if (!type_ids::is_any_block(type) || cycles::find(value->word2)) return;
    cycles::push(value->word2);
    for_each_cell_from_index(*value, [](Cell const& item) { unbind(item); });
    cycles::pop();
}

void unbind_range(Cell const& block, std::uint32_t index, std::uint32_t count)
{
    Rooted kept(block);
    for (std::uint32_t i = 0; i < count; ++i) {
        SeriesBuffer* buffer = node::buffer(kept->word2);
        std::uint64_t const offset = buffer->head + std::uint64_t { index + i } * sizeof(Cell);
        if (offset + sizeof(Cell) > buffer->tail) return;
        unbind(*reinterpret_cast<Cell*>(buffer->data() + offset));
    }
}

Cell const* find(NodeId node)
{
    Cell const* record = hashtable::get_node_key(state.table, node);
    return record ? record + 1 : nullptr;
}

bool check(Cell const& series, SymbolId action, Cell const* new_value, std::int32_t index, std::int32_t part)
{
    TypeId const type = cell::type_of(series);
    NodeId key;
    if (type == type_ids::object)
        key = series.word1;
    else if (is_ownable_series(type))
        key = series.word2;
    else
        return false;
    Cell const* record = hashtable::get_node_key(state.table, key);
    if (!record || record[1].word3 == no_node) return false;
    Rooted owner(record[1]), word(record[2]), value(series);
    services.tell_owner(*owner, *word, *value, action, new_value, index, part);
    return true;
}

void mark()
{
    // The table is a root: its records keep the owned series and their owners alive until unbound.
    if (state.table != no_node) hashtable::mark(state.table);
}

void sweep()
{
    if (state.table == no_node) return;
    hashtable::sweep_node_keys(state.table,
        [](NodeId key, Cell const* values) { return gc::is_marked(key) && gc::is_marked(values[1].word1); });
}

}
