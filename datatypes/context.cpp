// context!: the layout, look-up and growth of contexts, their makers and the global context.

#include "datatypes/context.h"

#include "datatypes/symbol.h"
#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::context {

ContextState state;

namespace {

// The position of the entry for the symbol in the word list, or -1. No allocation.
std::int32_t position_of(NodeId context, SymbolId symbol, bool case_blind)
{
    return hashtable::put_index(index_of(context), symbol, case_blind);
}

// The slot of the entry at a position: its own position, or for a global case variant the first
// spelling's slot. Answering the slot makes every look-up of any spelling land on the shared value, even
// after growth has reordered a chain.
std::uint32_t slot_at(NodeId context, std::uint32_t position)
{
    return word_at(context, position)->word3;
}

// Looks the symbol up and, when it is absent, adds it to the word list (its slot its own position), in one
// walk of the index's chain: answers the position found, or -1 with the new entry's position in `added`.
// May allocate.
std::int32_t find_or_append(RootedNode& context, SymbolId symbol, bool case_blind, std::uint32_t& added)
{
    std::int32_t const found = hashtable::put_index(index_of(*context), symbol, case_blind, *context, &added);
    // The index may have grown (and nodes moved) before the word was written: the rooted node is current.
    if (found < 0) word_at(*context, added)->word1 = *context;
    return found;
}

// Adds the symbol to the word list and answers its position. The caller has looked the symbol up. May
// allocate.
std::uint32_t append_entry(RootedNode& context, SymbolId symbol)
{
    std::uint32_t added = 0;
    [[maybe_unused]] std::int32_t const found = find_or_append(context, symbol, false, added);
    XOL_ASSERT(found < 0, "a word added twice");
    return added;
}

void append_unset_value(NodeId context)
{
    if (is_on_stack(context)) return;
    *series::append_cell_raw(cell_of(context).word2) = cell::make(type_ids::unset);
}

}

void init_global()
{
    state = ContextState {};
    gc::add_root_node(&state.global);
    state.global = make(global_slots, false, false, no_node, Kind::Plain);
}

NodeId words_of(NodeId context)
{
    return hashtable::key_series(index_of(context));
}

std::uint32_t word_count(NodeId context)
{
    return node::buffer(words_of(context))->length();
}

Cell* word_at(NodeId context, std::uint32_t index)
{
    return node::buffer(words_of(context))->head_cell() + index;
}

Cell* values_at(NodeId context, std::uint32_t index)
{
    XOL_ASSERT(!is_on_stack(context), "values-at on a context whose values live on the stack");
    return node::buffer(cell_of(context).word2)->head_cell() + index;
}

void set_stack_values(NodeId context, Cell const* first)
{
    XOL_ASSERT(is_on_stack(context), "stack values for a context whose values live in a series");
    XOL_ASSERT(stack::index_of(first) != 0, "a frame's values at the stack bottom would read as none");
    cell_of(context).word2 = stack::index_of(first);
}

void clear_values(NodeId context)
{
    cell_of(context).word2 = 0;
}

std::int32_t find_word(NodeId context, SymbolId symbol, bool case_blind)
{
    std::int32_t const position = position_of(context, symbol, case_blind);
    return position < 0 ? -1 : static_cast<std::int32_t>(slot_at(context, static_cast<std::uint32_t>(position)));
}

std::int32_t find_or_add(NodeId context, SymbolId symbol, bool case_blind, std::uint32_t& index)
{
    RootedNode kept(context);
    std::uint32_t added = 0;
    std::int32_t const position = find_or_append(kept, symbol, case_blind, added);
    if (position >= 0) {
        index = slot_at(*kept, static_cast<std::uint32_t>(position));
        return static_cast<std::int32_t>(index);
    }
    index = added;
    return -1;
}

std::uint32_t add_word(NodeId context, Cell const& word)
{
    RootedNode kept(context);
    std::uint32_t index = 0;
    if (find_or_add(*kept, word.word2, true, index) < 0) append_unset_value(*kept);
    return index;
}

void get_or_add_value(NodeId context, Cell const& word, Cell& target)
{
    RootedNode kept(context);
    std::uint32_t const index = add_word(*kept, word);
    target = *value_cell(*kept, index);
}

void add_if_missing(NodeId context, Cell const& word, Cell const& value)
{
    if (find_word(context, word.word2, true) >= 0) return;
    RootedNode kept(context);
    Rooted copy(value);
    std::uint32_t index = 0;
    find_or_add(*kept, word.word2, true, index);
    if (!is_on_stack(*kept)) *series::append_cell_raw(cell_of(*kept).word2) = *copy;
}

NodeId make(std::uint32_t slots, bool on_stack, bool self, NodeId source, Kind kind)
{
    if (slots == 0) slots = 1;
    RootedNode from(source);
    RootedNode context(series::alloc_cells(2));
    {
        Cell* cells = series::append_cell_raw(*context);
        *cells = cell::make(type_ids::unset);
        *series::append_cell_raw(*context) = cell::make(type_ids::unset);
        cell_of(*context).header = type_id;
    }
    // Each node is stored in the context cell as soon as it exists: the rooted context then keeps it.
    if (*from != no_node) {
        NodeId const words = series::copy_buffer(words_of(*from));
        NodeId const index = hashtable::copy(index_of(*from), words); // roots the copied list first
        cell_of(*context).word1 = index;
    } else {
        NodeId const index = hashtable::init(slots, nullptr, hashtable::Kind::Symbols);
        cell_of(*context).word1 = index;
    }
    std::uint32_t header = type_id | (static_cast<std::uint32_t>(kind) << kind_shift) | (self ? has_self : 0);
    if (on_stack) {
        header |= values_on_stack;
    } else {
        NodeId const values = series::alloc_cells_unset(slots);
        cell_of(*context).word2 = values;
    }
    cell_of(*context).header = header;
    return *context;
}

NodeId make_from_spec(Cell const& spec, bool on_stack, bool self, Kind kind)
{
    Rooted block(spec);
    SeriesBuffer const* buffer = node::buffer(block->word2);
    std::uint32_t const total = buffer->length();
    std::uint32_t const start = block->word1 < total ? block->word1 : total;
    RootedNode context(make(total - start, on_stack, self, no_node, kind));
    std::uint32_t entries = 0;
    for (std::uint32_t i = start; i < total; ++i) {
        Cell const item = node::buffer(block->word2)->head_cell()[i];
        TypeId const type = cell::type_of(item);
        if (type != type_ids::word && type != type_ids::get_word && type != type_ids::lit_word
            && type != type_ids::refinement)
            continue;
        ++entries;
        std::uint32_t index = 0;
        find_or_add(*context, item.word2, true, index);
    }
    // Every value cell of the series is already unset: only the tail moves.
    if (!on_stack) node::buffer(cell_of(*context).word2)->tail = entries * static_cast<std::uint32_t>(sizeof(Cell));
    return *context;
}

NodeId clone(Cell& value, Kind kind)
{
    NodeId const source = value.word1;
    std::uint32_t const count = word_count(source);
    Cell const& head = cell_of(source);
    NodeId const made = make(count, (head.header & values_on_stack) != 0, (head.header & has_self) != 0, source, kind);
    SeriesBuffer* words = node::buffer(words_of(made));
    for (std::uint32_t i = 0; i < words->length(); ++i) words->head_cell()[i].word1 = made;
    value.word1 = made;
    return made;
}

Cell get_or_add(NodeId context, SymbolId symbol)
{
    std::int32_t const position = position_of(context, symbol, false);
    if (position >= 0) return *word_at(context, static_cast<std::uint32_t>(position));
    return add_global(symbol, false, false);
}

Cell add_global(SymbolId symbol, bool case_blind, bool copy)
{
    if (case_blind) {
        // One walk of the chain: a case-blind miss means no spelling of the name is here, so none shares
        // its slot, and the bucket it ends on is the one an exact look-up would have ended on.
        RootedNode global(state.global);
        std::uint32_t added = 0;
        std::int32_t const found = find_or_append(global, symbol, true, added);
        if (found >= 0) {
            Cell entry = *word_at(*global, static_cast<std::uint32_t>(found));
            if (copy && entry.word2 != symbol) entry.word2 = symbol; // the variant's slot, this spelling
            return entry;
        }
        append_unset_value(*global);
        return *word_at(*global, added);
    }
    std::int32_t const position = position_of(state.global, symbol, false);
    if (position >= 0) return *word_at(state.global, static_cast<std::uint32_t>(position));
    // A case variant shares the slot of the spelling already here, when there is one.
    std::int32_t const shared = symbol::alias_of(symbol) > 0 ? find_word(state.global, symbol, true) : -1;
    RootedNode global(state.global);
    std::uint32_t const added = append_entry(global, symbol);
    append_unset_value(*global);
    Cell* entry = word_at(*global, added);
    if (shared >= 0) entry->word3 = static_cast<std::uint32_t>(shared);
    return *entry;
}

Cell add_global_word(SymbolId symbol)
{
    return add_global(symbol, false, false);
}

Cell* value_of_global(SymbolId symbol, NodeId context)
{
    if (is_on_stack(context)) context = state.global;
    std::int32_t const slot = find_word(context, symbol, true);
    XOL_ASSERT(slot >= 0, "value-of-global of a symbol that is not there");
    return value_cell(context, static_cast<std::uint32_t>(slot));
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "context!",
    .actions = {},
};

}
