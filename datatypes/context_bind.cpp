// Binding words and blocks to a context, and collecting the set-words of a block into one.

#include "datatypes/context.h"

#include <optional>
#include <vector>

#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
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

// A small context's words by canonical symbol id (slot + 1, 0 when absent), filled for the time of one deep
// bind: a function's body of hundreds of words is bound with one load a word rather than one hash probe.
// Larger contexts (the global one) would cost more to fill than a bind saves, and are probed.
constexpr std::uint32_t table_limit = 64;
std::vector<std::uint32_t> slot_table;

// The context's slot for the word, or -1.
struct Finder {
    NodeId context;
    bool tabled;

    std::int32_t slot(SymbolId symbol) const
    {
        if (!tabled) return find_word(context, symbol, true);
        SymbolId const canonical = symbol::resolve(symbol);
        std::uint32_t const entry = canonical < slot_table.size() ? slot_table[canonical] : 0;
        return static_cast<std::int32_t>(entry) - 1;
    }
};

// Binding allocates nothing, so the cells are addressed directly; the cycle guard keeps a block that
// holds itself from being walked forever.
void bind_cells(NodeId series, std::uint32_t start, Finder const& finder, bool self, SymbolId self_symbol)
{
    if (cycles::find(series)) return;
    cycles::push(series);
    // Nothing here changes a series' length or moves its cells: they are read once for the whole walk.
    SeriesBuffer* buffer = node::buffer(series);
    Cell* const cells = buffer->head_cell();
    std::uint32_t const length = buffer->length();
    for (std::uint32_t i = start; i < length; ++i) {
        Cell& item = cells[i];
        TypeId const type = cell::type_of(item);
        if (word::is_bindable(type)) {
            if (self && type == type_ids::word && item.word2 == self_symbol) {
                item.word1 = finder.context;
                item.word3 = word::unresolved;
            } else if (std::int32_t const slot = finder.slot(item.word2); slot >= 0) {
                item.word1 = finder.context;
                item.word3 = static_cast<std::uint32_t>(slot);
            }
        } else if (is_bound_deeply(type) && item.word2 != no_node) {
            bind_cells(item.word2, item.word1, finder, self, self_symbol);
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
    std::uint32_t const words = word_count(context);
    Finder const finder { context, words <= table_limit };
    // Filled for this bind only, and emptied however it ends (the cycle guard may raise).
    struct Filled {
        NodeId context;
        std::uint32_t words;
        Filled(NodeId given, std::uint32_t count)
            : context(given)
            , words(count)
        {
            // Backwards: of two case variants (a context made case-sensitively), the first listed wins.
            for (std::uint32_t i = words; i-- > 0;) {
                Cell const& entry = *word_at(context, i);
                SymbolId const canonical = symbol::resolve(entry.word2);
                if (canonical >= slot_table.size()) slot_table.resize(canonical + 1 + canonical / 2, 0);
                slot_table[canonical] = entry.word3 + 1;
            }
        }
        ~Filled()
        {
            for (std::uint32_t i = 0; i < words; ++i) slot_table[symbol::resolve(word_at(context, i)->word2)] = 0;
        }
        Filled(Filled const&) = delete;
        Filled& operator=(Filled const&) = delete;
    };
    std::optional<Filled> const filled
        = finder.tabled ? std::optional<Filled>(std::in_place, context, words) : std::nullopt;
    bind_cells(block.word2, block.word1, finder, self, words::symbol_of(words::Symbol::self));
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

std::uint32_t count_set_words(Cell const& block)
{
    if (!type_ids::is_any_block(cell::type_of(block))) return 0;
    SeriesBuffer* buffer = node::buffer(block.word2);
    Cell const* const cells = buffer->head_cell();
    std::uint32_t const length = buffer->length();
    std::uint32_t count = 0;
    for (std::uint32_t i = block.word1; i < length; ++i) count += cell::type_of(cells[i]) == type_ids::set_word;
    return count;
}

}
