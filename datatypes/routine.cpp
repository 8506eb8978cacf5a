// routine!: the maker, the argument count, form, mold and compare.

#include "datatypes/routine.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::routine {

namespace {

std::uint32_t count_words(NodeId spec)
{
    SeriesBuffer* buffer = node::buffer(spec);
    std::uint32_t count = 0;
    for (Cell const* item = buffer->head_cell(); item < buffer->tail_cell(); ++item)
        if (cell::type_of(*item) == type_ids::word) ++count;
    return count;
}

}

// The count has five bits under the new-line marker: a larger one would spill into it, so it is refused.
void set_arg_count(Cell& routine)
{
    std::uint32_t const count = count_words(routine.word2);
    if (count > max_arg_count) {
        Cell const count_value = integer::make(static_cast<std::int32_t>(count));
        fire_error(err::internal::limit_hit, &count_value);
    }
    routine.header = (routine.header & ~(arg_count_mask << arg_count_shift)) | (count << arg_count_shift);
}

Cell* make(Cell const& given_spec, Cell const& given_body, std::int32_t entry, std::int32_t result_type, bool variant)
{
    Rooted spec(given_spec);
    Rooted body(given_body);
    Cell counted { type_id, 0, spec->word2, 0 };
    set_arg_count(counted); // before anything is made: a refused spec leaves nothing behind
    RootedNode context(context::make_from_spec(*spec, true, false, context::Kind::Function));
    NodeId const routine_record = series::alloc_cells(function::record_size);
    SeriesBuffer* buffer = node::buffer(routine_record);
    Cell* cells = buffer->head_cell();
    cells[function::body_cell] = *body;
    cells[1] = unset_value;
    cells[function::compiled_entry_cell] = integer::make(entry);
    cells[function::op_value_cell] = unset_value;
    cells[function::second_entry_cell] = integer::make(result_type);
    buffer->tail = buffer->head + function::record_size * static_cast<std::uint32_t>(sizeof(Cell));
    std::uint32_t const header = counted.header | (variant ? variant_flag : 0);
    return stack::push(Cell { header, *context, spec->word2, routine_record });
}

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "?routine?", limit);
}

// A body that is no block follows a space, molded as any value: "routine [a] none".
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    limit = string::append_ascii(buffer, "routine ", limit);
    limit = block::mold(function::spec_block(*kept), buffer, only, all, flat, part, limit, indent);
    Rooted body(function::record_cell(*kept, function::body_cell));
    if (cell::type_of(*body) == type_ids::block)
        return block::mold(*body, buffer, only, all, flat, part, limit, indent);
    limit = string::append_ascii(buffer, " ", limit);
    return actions::mold_typed(*body, buffer, false, all, flat, part, limit, indent);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return function::compare_identities(value1.word3, value2.word3, op);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::function,
    .name = "routine!",
    .actions = {
        .reflect = inherit,
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}
