// The cores the number types share; integer! owns the operation table they dispatch through.

#include "datatypes/number_shared.h"

#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::number {

void invalid_type(Cell const& value)
{
    Cell const type = datatype::make(cell::type_of(value));
    fire_error(err::script::invalid_type, &type);
}

namespace {

// An operator (-, /) calls the action, whose own word names the operation.
Cell operation_word(MathOp op)
{
    switch (op) {
    case MathOp::Add:
        return words::word_of(words::Word::add);
    case MathOp::Subtract:
        return words::word_of(words::Word::subtract);
    case MathOp::Multiply:
        return words::word_of(words::Word::multiply);
    case MathOp::Divide:
        return words::word_of(words::Word::divide);
    default:
        return word::make_global("remainder");
    }
}

}

void not_related(MathOp op, TypeId type)
{
    Cell const word = operation_word(op);
    Cell const datatype = datatype::make(type);
    fire_error(err::script::not_related, &word, &datatype);
}

void not_related_to_caller(TypeId type)
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
    Cell const argument = error::function_arg_word(1);
    fire_error(err::script::expect_arg, &word, &type, &argument);
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
