// Argument descriptors: what a function value's spec block declares of each argument and refinement, compiled once
// from the spec and cached in the value's record, so that a call walks a short block of typesets instead
// of the spec itself.

#include "interpreter/calls.h"

#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/type_families.h"

namespace xol::interp {

namespace {

Cell* append_typeset(Cell const& block, Cell const& spec, std::uint32_t next, ArgumentKind kind)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    Cell* entry;
    if (next < buffer->length() && cell::type_of(buffer->head_cell()[next]) == type_ids::block
        && node::buffer(buffer->head_cell()[next].word2)->length() > buffer->head_cell()[next].word1) {
        Cell const types = buffer->head_cell()[next];
        entry = typeset::make_from_block(block, types);
    } else {
        entry = typeset::make_default(block);
    }
    entry->header |= static_cast<std::uint32_t>(kind) << argument_kind_shift;
    return entry;
}

bool is_word_like(TypeId type)
{
    return type == type_ids::word || type == type_ids::get_word || type == type_ids::lit_word
        || type == type_ids::refinement;
}

Cell build_descriptors(Cell const& function)
{
    bool const native_like = is_native_like(cell::type_of(function));
    Rooted spec(cell::make(type_ids::block, 0, function.word2, 0));
    Rooted block(cell::make(type_ids::block, 0, series::alloc_cells(8), 0));
    std::uint32_t const length = node::buffer(spec->word2)->length();
    std::int32_t locals = 0;
    std::uint32_t refinement_ordinal = 0;
    SymbolId const local_symbol = symbol::resolve(words::refinement_of(words::RefinementWord::local).word2);
    SymbolId const return_symbol = symbol::resolve(words::symbol_of(words::Symbol::return_));
    for (std::uint32_t i = 0; i < length; ++i) {
        Cell const item = node::buffer(spec->word2)->head_cell()[i];
        switch (cell::type_of(item)) {
        case type_ids::word:
            append_typeset(*block, *spec, i + 1, ArgumentKind::Evaluated);
            break;
        case type_ids::get_word:
            append_typeset(*block, *spec, i + 1, ArgumentKind::Literal);
            break;
        case type_ids::lit_word:
            append_typeset(*block, *spec, i + 1, ArgumentKind::Quoted);
            break;
        case type_ids::set_word:
            if (symbol::resolve(item.word2) != return_symbol) fire_error(err::script::bad_func_def, &item);
            append_typeset(*block, *spec, i + 1, ArgumentKind::NotFetched);
            break;
        case type_ids::refinement:
            if (symbol::resolve(item.word2) == local_symbol) {
                std::uint32_t j = i;
                for (; j < length; ++j) {
                    TypeId const type = cell::type_of(node::buffer(spec->word2)->head_cell()[j]);
                    if (type == type_ids::set_word) break;
                    if (is_word_like(type)) ++locals;
                }
                i = j - 1;
            } else {
                Cell copy = item;
                copy.word3 = ++refinement_ordinal;
                XOL_ASSERT(!native_like || refinement_ordinal <= max_native_refinements,
                    "a built-in with too many refinements");
                series::append_cell(*block)[0] = copy;
            }
            break;
        default:
            break;
        }
    }
    if (native_like && refinement_ordinal > 0)
        integer::make_in(*block, static_cast<std::int32_t>(refinement_ordinal));
    else if (!native_like && locals > 0)
        integer::make_in(*block, locals);
    return *block;
}

// The shape of a call from code without a refinement path, read once from the descriptors and kept in the
// cached cell's third word (the descriptors hand the block out without it): how many entries lead before
// the first refinement or locals count, whether all of them are evaluated arguments (or the result's
// type, which takes no value), and whether any entry follows them.
std::uint32_t shape_of(Cell const& block)
{
    SeriesBuffer* const entries = node::buffer(block.word2);
    std::uint32_t leading = 0;
    bool simple = true;
    for (; leading < entries->cell_count(); ++leading) {
        Cell const& entry = entries->head_cell()[leading];
        if (cell::type_of(entry) != type_ids::typeset) break;
        ArgumentKind const kind = argument_kind(entry);
        if (kind != ArgumentKind::Evaluated && kind != ArgumentKind::NotFetched) simple = false;
    }
    if (leading > call_shape_leading_mask) simple = false;
    std::uint32_t const trailing = leading < entries->cell_count() ? call_shape_trailing : 0;
    return call_shape_known | (simple ? call_shape_simple : 0) | trailing | (leading & call_shape_leading_mask);
}

}

Cell descriptors(Cell const& function)
{
    TypeId const type = cell::type_of(function);
    XOL_ASSERT(type_ids::is_function(type) && type != type_ids::op, "descriptors of a value that is not a function");
    (void)type;
    Cell cached = function::record_cell(function, 1);
    if (cell::type_of(cached) == type_ids::block) {
        cached.word3 = 0;
        return cached;
    }
    Rooted kept(function);
    Cell const built = build_descriptors(*kept);
    function::record_cell(*kept, 1) = built;
    return built;
}

std::uint32_t build_call_shape(Cell const& function, NodeId& descriptor_node)
{
    Cell const built = descriptors(function);
    descriptor_node = built.word2;
    return function::record_cell(function, 1).word3 = shape_of(built);
}

}
