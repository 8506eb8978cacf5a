// The cores the number types share; integer! owns the operation table they dispatch through.

#include "datatypes/number_shared.h"

#include "datatypes/integer.h"
#include "datatypes/registry.h"
#include "runtime/errors.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::number {

void invalid_type(Cell const& value)
{
    Cell const type = datatype::make(cell::type_of(value));
    fire_error(err::script::invalid_type, &type);
}

// TODO: the word of the operation itself (subtract, divide) once words can be made; the caller's word
// names it in the meantime.
void not_related(TypeId type)
{
    Cell const word = stack::caller_word();
    Cell const datatype = datatype::make(type);
    fire_error(err::script::not_related, &word, &datatype);
}

void run_slot_of(Cell const& value, MathOp op)
{
    action_types::FromFrame const slot = integer::arithmetic_slot(cell::type_of(value), op);
    if (!slot) invalid_type(value);
    slot();
}

void swap_operands()
{
    Cell const left = stack::state.base[0];
    stack::state.base[0] = stack::state.base[1];
    stack::state.base[1] = left;
}

void check_exponent(Cell const& exponent)
{
    TypeId const exponent_type = cell::type_of(exponent);
    if (exponent_type == type_ids::integer || exponent_type == type_ids::float_) return;
    Cell const word = stack::caller_word();
    Cell const type = datatype::make(exponent_type);
    // TODO: the name of the exponent argument as the third argument, once words can be made.
    fire_error(err::script::expect_arg, &word, &type);
}

std::uint64_t leading_bytes(Cell const& binary, std::uint32_t most)
{
    SeriesBuffer* buffer = node::buffer(binary.word2);
    std::uint32_t const length = buffer->tail - buffer->head;
    std::uint32_t const index = binary.word1 < length ? binary.word1 : length;
    std::uint32_t const count = length - index < most ? length - index : most;
    std::byte const* bytes = buffer->head_address() + index;
    std::uint64_t number = 0;
    for (std::uint32_t i = 0; i < count; ++i) number = (number << 8) | static_cast<std::uint64_t>(bytes[i]);
    return number;
}

}
