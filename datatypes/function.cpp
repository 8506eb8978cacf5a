// function!: the maker, the record, reflection, form, mold and compare.

#include "datatypes/function.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::function {

namespace {

// The position clamped to the series' length, written into the value.
void clamp_index(Cell& series)
{
    std::uint32_t const total = node::buffer(series.word2)->length();
    if (series.word1 > total) series.word1 = total;
}

// A record of `record_size` unset cells. May allocate.
NodeId make_record()
{
    NodeId const node = series::alloc_cells_unset(record_size);
    SeriesBuffer* buffer = node::buffer(node);
    buffer->tail = buffer->head + record_size * static_cast<std::uint32_t>(sizeof(Cell));
    return node;
}

// Whether the body may be taken as it is rather than copied deeply: while the library is set up, a block of
// the image that nothing has taken, whose nested blocks (those a deep copy would copy) are untaken too. What
// it checks it marks taken, so no other function can share any part of it; a check that fails leaves only
// copies to be made, which is always sound. Allocates nothing.
bool take_image_block(NodeId block)
{
    SeriesBuffer* buffer = node::buffer(block);
    if ((buffer->flags & series_flags::image_literal) == 0) return false;
    buffer->flags &= ~series_flags::image_literal;
    Cell const* const tail = buffer->tail_cell();
    for (Cell const* cell = buffer->head_cell(); cell < tail; ++cell) {
        TypeId const type = cell::type_of(*cell);
        if (!type_ids::is_any_block(type) || type == type_ids::hash) continue;
        if (cell->word1 != 0 || !take_image_block(cell->word2)) return false;
    }
    return true;
}

bool take_image_body(Cell const& body)
{
    return series::library_state.setting_up && cell::type_of(body) == type_ids::block && body.word1 == 0
        && take_image_block(body.word2);
}

bool is_symbol(SymbolId symbol, words::Symbol entry)
{
    return symbol::resolve(symbol) == symbol::resolve(words::symbol_of(entry));
}

}

NodeId make_compiled(Cell const& given_spec, Cell const& given_body, NodeId given_context, std::int32_t entry,
    std::int32_t second_entry, std::uint32_t flags)
{
    Rooted spec(given_spec);
    Rooted body(given_body);
    RootedNode context(given_context);
    clamp_index(*spec);
    if (spec->word1 > 0) {
        Cell const* copied = block::clone(*spec, false, false);
        *spec = cell::make(type_ids::block, 0, copied->word2, 0);
        stack::pop(1);
    }
    bool const has_body = cell::type_of(*body) != type_ids::none;
    if (has_body) clamp_index(*body);

    RootedNode function_record(make_record());
    bool const built_here = *context == no_node;
    if (built_here) *context = context::make_from_spec(*spec, true, false, context::Kind::Function);

    Cell* pushed
        = stack::push(Cell { type_id | (flags & attribute_flags_mask), *context, spec->word2, *function_record });
    Cell const value = *pushed;
    context::owner_of(*context) = value;

    if (has_body) {
        Cell body_copy = cell::make(type_ids::block, 0, body->word2, 0);
        if (!take_image_body(*body)) {
            body_copy.word2 = block::clone(*body, true, true)->word2;
            stack::pop(1);
        }
        node::buffer(*function_record)->head_cell()[body_cell] = body_copy;
        if (built_here) context::bind_block(body_copy, *context, false);
    } else {
        node::buffer(*function_record)->head_cell()[body_cell] = none_value;
    }
    if (entry != 0) node::buffer(*function_record)->head_cell()[compiled_entry_cell] = integer::make(entry);
    if (second_entry != 0) node::buffer(*function_record)->head_cell()[second_entry_cell] = integer::make(second_entry);
    return *context;
}

bool spec_word(NodeId spec, std::uint32_t k, Cell& word)
{
    SeriesBuffer* buffer = node::buffer(spec);
    std::uint32_t seen = 0;
    for (Cell const* item = buffer->head_cell(); item < buffer->tail_cell(); ++item) {
        TypeId const type = cell::type_of(*item);
        if (type != type_ids::word && type != type_ids::get_word && type != type_ids::lit_word
            && type != type_ids::refinement)
            continue;
        if (seen++ == k) {
            word = Cell { type_ids::word, item->word1, item->word2, item->word3 };
            return true;
        }
    }
    return false;
}

void push_unused_refinement(std::int32_t n)
{
    stack::push(false_value);
    for (std::int32_t i = 1; i < n; ++i) stack::push(none_value);
}

Cell call_comparator(Cell const& given, Cell const& first, Cell const& second)
{
    Rooted function(given);
    Cell const arguments[] = { first, second }; // copied before anything may move what they refer to
    Cell const& name = words::word_of(words::Word::compare_callback);
    stack::push_call_frame(name, context_of(*function));
    for (Cell const& argument : arguments) stack::push(argument);
    services.call_function(*function, context::global(), name, 0);
    // The frame's base cell, where the result is, becomes the top cell.
    stack::pop_frame_keep_restore();
    Cell const result = *stack::top();
    stack::pop(1);
    return result;
}

std::int32_t compare_identities(std::uint32_t identity1, std::uint32_t identity2, CompareOp op)
{
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Sort:
    case CompareOp::CaseSort:
    case CompareOp::Same:
    case CompareOp::FindEqual: {
        auto const a = static_cast<std::int32_t>(identity1);
        auto const b = static_cast<std::int32_t>(identity2);
        return (a > b) - (a < b);
    }
    default:
        return compare_incomparable;
    }
}

// The argument: a block holding a spec block and a body block; further values are ignored.
Cell make(Cell const&, Cell const& given, TypeId)
{
    Rooted argument(given);
    bool const shaped = cell::type_of(*argument) == type_ids::block && block::rs_length_q(*argument) >= 2
        && cell::type_of(block::rs_head(*argument)[0]) == type_ids::block
        && cell::type_of(block::rs_head(*argument)[1]) == type_ids::block;
    if (!shaped) fire_error(err::script::bad_func_def, &*argument);
    Rooted spec(block::rs_head(*argument)[0]);
    Rooted body(block::rs_head(*argument)[1]);
    std::uint32_t const flags = check_spec(*spec);
    make_compiled(*spec, *body, no_node, 0, 0, flags);
    Cell const made = *stack::top();
    stack::pop(1);
    return made;
}

Cell reflect(Cell const& value, SymbolId field)
{
    if (is_symbol(field, words::Symbol::spec)) return spec_block(value);
    if (is_symbol(field, words::Symbol::body)) return record_cell(value, body_cell);
    if (!is_symbol(field, words::Symbol::words)) fire_error(err::internal::not_done);

    Rooted kept(value);
    NodeId const words = series::copy_buffer(context::words_of(context_of(*kept)));
    SeriesBuffer* buffer = node::buffer(words);
    for (Cell* word = buffer->head_cell(); word < buffer->tail_cell(); ++word) word->word1 = context_of(*kept);
    return cell::make(type_ids::block, 0, words, 0);
}

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "?function?", limit);
}

// Spec and body follow each other with nothing between them: "func [a][a + 1]".
std::int32_t mold(Cell const& value, Cell& buffer, bool, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    limit = string::append_ascii(buffer, "func ", limit);
    limit = block::mold(spec_block(*kept), buffer, false, all, flat, part, limit, indent);
    Cell const body = record_cell(*kept, body_cell);
    if (cell::type_of(body) == type_ids::none) return string::append_ascii(buffer, " none", limit);
    return block::mold(body, buffer, false, all, flat, part, limit, indent);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return compare_identities(value1.word3, value2.word3, op);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::context,
    .name = "function!",
    .actions = {
        .make = make,
        .reflect = reflect,
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}
