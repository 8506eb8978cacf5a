// Binding words and blocks to a context, and collecting the set-words of a block into one.

#include "datatypes/context.h"

#include "datatypes/runtime_words.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/type_families.h"

namespace xol::context {

namespace {

// The containers whose words a deep bind reaches.
bool is_bound_deeply(TypeId type)
{
    return type_ids::is_any_block(type);
}

// Binding allocates nothing, so the cells are addressed directly; the cycle guard keeps a block that
// holds itself from being walked forever.
void bind_cells(NodeId series, std::uint32_t start, NodeId context, bool self, SymbolId self_symbol)
{
    if (cycles::find(series)) return;
    cycles::push(series);
    SeriesBuffer* buffer = node::buffer(series);
    for (std::uint32_t i = start; i < buffer->length(); ++i) {
        Cell& item = buffer->head_cell()[i];
        TypeId const type = cell::type_of(item);
        if (word::is_bindable(type)) {
            if (self && type == type_ids::word && item.word2 == self_symbol) {
                item.word1 = context;
                item.word3 = word::unresolved;
            } else {
                bind_word(context, item);
            }
        } else if (is_bound_deeply(type) && item.word2 != no_node) {
            bind_cells(item.word2, item.word1, context, self, self_symbol);
        }
    }
    cycles::pop();
}

}

std::int32_t bind_word(NodeId context, Cell& word)
{
    std::int32_t const slot = find_word(context, word.word2, true);
    if (slot >= 0) {
        word.word1 = context;
        word.word3 = static_cast<std::uint32_t>(slot);
    }
    return slot;
}

Cell const& bind_block(Cell const& block, NodeId context, bool self)
{
    bind_cells(block.word2, block.word1, context, self, words::symbol_of(words::Symbol::self));
    return block;
}

bool collect_set_words(NodeId context, Cell& block)
{
    std::uint32_t const total = node::buffer(block.word2)->length();
    if (block.word1 > total) block.word1 = total;
    Rooted kept(block);
    RootedNode target(context);
    std::uint32_t const before = word_count(*target);
    for (std::uint32_t i = kept->word1; i < node::buffer(kept->word2)->length(); ++i) {
        Cell const item = node::buffer(kept->word2)->head_cell()[i];
        if (cell::type_of(item) == type_ids::set_word) add_word(*target, item);
    }
    return word_count(*target) > before;
}

}
