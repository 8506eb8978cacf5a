// The natives table's state, its filling from the rows at start-up, the calls that test arguments first,
// and the entry of the natives still to come.

#include "interpreter/natives/natives.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/typeset.h"
#include "interpreter/calls.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/table.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"

namespace xol::natives {

NativesState state;

namespace {

Cell* values_cell(std::int32_t index)
{
    SeriesBuffer* buffer = node::buffer(state.values.word2);
    if (index < 1 || static_cast<std::uint32_t>(index) > buffer->length()) return nullptr;
    return buffer->head_cell() + (index - 1);
}

[[noreturn]] void fire_expect_arg(Cell const& value, Cell const& argument)
{
    Cell const caller = stack::caller_word();
    Cell const datatype = datatype::make(cell::type_of(value));
    fire_error(err::script::expect_arg, &caller, &datatype, &argument);
}

// Tests the argument cells of the running native `index` against the typesets of its spec. May allocate.
void check_arguments(std::int32_t index, std::int32_t const* refinements)
{
    Cell const native = builtin(index);
    if (cell::type_of(native) != type_ids::native) return;
    Rooted kept(native);
    Cell const descriptors = interp::descriptors(*kept);
    // The argument words in spec order, for the error; the descriptors in the same order.
    std::uint32_t word_index = 0;
    auto next_word = [&]() -> Cell {
        Cell word = cell::make(type_ids::none);
        function::spec_word(kept->word2, word_index, word);
        return word;
    };
    std::int32_t position = 0; // the cell the next argument is in; -1 inside an unused refinement
    Cell* const base = stack::state.base;
    SeriesBuffer* entries = node::buffer(descriptors.word2);
    for (std::uint32_t i = 0; i < entries->length(); ++i) {
        Cell const& entry = entries->head_cell()[i];
        TypeId const type = cell::type_of(entry);
        if (type == type_ids::refinement) {
            position = refinements[entry.word3 - 1];
            ++word_index;
        } else if (type == type_ids::typeset && interp::argument_kind(entry) != interp::ArgumentKind::NotFetched) {
            if (position >= 0) {
                Cell const& value = base[position];
                if (!typeset::has(entry, cell::type_of(value))) fire_expect_arg(value, next_word());
                ++position;
            }
            ++word_index;
        }
    }
}

}

void register_natives()
{
    state = NativesState {};
    gc::add_root(&state.print_buffer);
    gc::add_root(&state.values);
    block::make_at(state.print_buffer, 32);
    block::make_at(state.values, table_size);
    for (Row const& row : rows) state.entries[state.next_index++ - 1] = row.entry;
}

void add_builtin(std::int32_t index, Cell const& native)
{
    Rooted kept(native);
    while (node::buffer(state.values.word2)->length() < static_cast<std::uint32_t>(index))
        series::append_cell(state.values)[0] = cell::make(type_ids::unset);
    *values_cell(index) = *kept;
}

void not_yet_built(std::int32_t const*)
{
    fire_error(err::internal::not_done);
}

void call_checked(std::int32_t index, std::int32_t const* refinements)
{
    Entry const found = entry(index);
    if (!found) fire_error(err::internal::not_done);
    if (index <= builtin_count && rows[index - 1].check == ArgumentCheck::Spec) check_arguments(index, refinements);
    found(refinements);
}

Cell builtin(std::int32_t index)
{
    Cell const* cell = values_cell(index);
    return cell ? *cell : cell::make(type_ids::unset);
}

}
