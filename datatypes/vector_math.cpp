// vector!: element-wise arithmetic, with a scalar in place and with another vector into a new series.
// Integer and char! elements compute in 32 bits and wrap (the low bits stay at the element's width); float
// and percent! elements compute as float! does and are stored at their width.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::vector {

namespace {

bool is_float_element(TypeId element)
{
    return element == type_ids::float_ || element == type_ids::percent;
}

std::byte* element_address(Cell const& vector, std::uint32_t place)
{
    SeriesBuffer* buffer = node::buffer(vector.word2);
    return buffer->head_address() + (std::uint64_t { place } << buffer->unit_shift());
}

std::int32_t integer_at(std::byte const* address, std::uint32_t width, TypeId element)
{
    return static_cast<std::int32_t>(get_value(address, width, element).word2);
}

void store_integer(std::byte* address, std::int32_t number, std::uint32_t width)
{
    auto const bits = static_cast<std::uint32_t>(number);
    std::memcpy(address, &bits, width);
}

void store_float(std::byte* address, double number, std::uint32_t width)
{
    if (width == 8) {
        std::memcpy(address, &number, 8);
    } else {
        auto const single = static_cast<float>(number);
        std::memcpy(address, &single, 4);
    }
}

// The scalar as integer elements take it: integer! and char! as they are, float! and percent! cut toward
// zero; one with no 32-bit value raises math overflow.
std::int32_t integer_scalar(Cell const& scalar)
{
    if (cell::type_of(scalar) == type_ids::integer || cell::type_of(scalar) == type_ids::char_)
        return static_cast<std::int32_t>(scalar.word2);
    double const number = cell::float_payload(scalar);
    if (std::isnan(number) || number >= 2147483648.0 || number <= -2147483649.0) fire_error(err::math::overflow);
    return static_cast<std::int32_t>(number);
}

double float_scalar(Cell const& scalar)
{
    if (cell::type_of(scalar) == type_ids::integer || cell::type_of(scalar) == type_ids::char_)
        return static_cast<double>(static_cast<std::int32_t>(scalar.word2));
    return cell::float_payload(scalar);
}

// What leaves every element as it is: adding or subtracting 0, multiplying or dividing by 1.
bool identity(MathOp op, double scalar)
{
    return ((op == MathOp::Add || op == MathOp::Subtract) && scalar == 0)
        || ((op == MathOp::Multiply || op == MathOp::Divide) && scalar == 1);
}

Cell math_scalar(MathOp op, Cell const& vector_given, Cell const& scalar, bool scalar_left)
{
    switch (cell::type_of(scalar)) {
    case type_ids::integer:
    case type_ids::char_:
    case type_ids::float_:
    case type_ids::percent:
        break;
    default:
        fire_error(err::internal::not_done);
    }
    Rooted vector(vector_given);
    std::uint32_t const count = rs_length(*vector);
    std::uint32_t const index = vector->word1;
    std::uint32_t const width = vector::width(*vector);
    TypeId const element = element_type(*vector);
    if (is_float_element(element)) {
        double const operand = float_scalar(scalar);
        if (!scalar_left && identity(op, operand)) return *vector;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::byte* place = element_address(*vector, index + i);
            double const number = cell::float_payload(get_value(place, width, element));
            double const result
                = scalar_left ? float_::do_math(operand, number, op) : float_::do_math(number, operand, op);
            store_float(place, result, width);
        }
        return *vector;
    }
    std::int32_t const operand = integer_scalar(scalar);
    if (!scalar_left && identity(op, operand)) return *vector;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::byte* place = element_address(*vector, index + i);
        std::int32_t const number = integer_at(place, width, element);
        std::int32_t const result = scalar_left ? integer::do_math_op(operand, number, op, nullptr)
                                                : integer::do_math_op(number, operand, op, nullptr);
        store_integer(place, result, width);
    }
    return *vector;
}

// A new vector of the shorter count and the wider width, element by element from both indexes.
Cell math_vectors(MathOp op, Cell const& left_given, Cell const& right_given)
{
    Rooted left(left_given);
    Rooted right(right_given);
    TypeId const element = element_type(*left);
    if (element_type(*right) != element) fire_error(err::script::not_same_type);
    std::uint32_t const count = std::min(rs_length(*left), rs_length(*right));
    std::uint32_t const width1 = width(*left);
    std::uint32_t const width2 = width(*right);
    std::uint32_t const width = std::max(width1, width2);
    Rooted result(make(element, width, count));
    // Read only now: making the result may have moved the operands.
    for (std::uint32_t i = 0; i < count; ++i) {
        std::byte const* a = element_address(*left, left->word1 + i);
        std::byte const* b = element_address(*right, right->word1 + i);
        std::byte* out = element_address(*result, i);
        if (is_float_element(element)) {
            double const x = cell::float_payload(get_value(a, width1, element));
            double const y = cell::float_payload(get_value(b, width2, element));
            store_float(out, float_::do_math(x, y, op), width);
        } else {
            std::int32_t const x = integer_at(a, width1, element);
            std::int32_t const y = integer_at(b, width2, element);
            store_integer(out, integer::do_math_op(x, y, op, nullptr), width);
        }
    }
    return *result;
}

}

Cell do_math_scalar(MathOp op, Cell const& vector, Cell const& scalar)
{
    return math_scalar(op, vector, scalar, false);
}

Cell do_math_scalar_left(MathOp op, Cell const& scalar, Cell const& vector)
{
    return math_scalar(op, vector, scalar, true);
}

void do_math(MathOp op)
{
    Cell const right = stack::state.base[1];
    if (cell::type_of(right) == type_id)
        stack::set_last(math_vectors(op, stack::state.base[0], right));
    else
        stack::set_last(do_math_scalar(op, stack::state.base[0], right));
}

}
