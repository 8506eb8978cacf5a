// char!: conversion, printing, exact comparison and range-checked integer arithmetic of code points.

#include "datatypes/char.h"

#include <cmath>

#include "datatypes/integer.h"
#include "datatypes/number_shared.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xol::char_ {

Cell* push(std::uint32_t code_point)
{
    return stack::push(make(code_point));
}

Cell* make_at(Cell const& block, std::uint32_t code_point)
{
    Cell* cell = series::append_cell(block);
    *cell = make(code_point);
    return cell;
}

namespace {

[[noreturn]] void bad_to(Cell const& spec)
{
    Cell const target = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &target, &spec);
}

Cell checked(std::int64_t code_point, Cell const& spec)
{
    if (code_point < 0 || code_point > max_code_point) fire_error(err::script::out_of_range, &spec);
    return make(static_cast<std::uint32_t>(code_point));
}

// The UTF-8 sequence at a binary!'s index; a malformed or cut-short one gives U+FFFE.
Cell from_bytes(Cell const& spec)
{
    std::uint32_t const available = string::rs_length_q(spec);
    // An empty binary holds no character, as an empty text holds none.
    if (available == 0) bad_to(spec);
    Cell position = spec;
    auto const* bytes = reinterpret_cast<std::uint8_t const*>(string::rs_head(position));
    int const announced = unicode::utf8_lead_length(bytes[0]);
    std::uint32_t length
        = std::min<std::uint32_t>(announced == 0 ? 1 : static_cast<std::uint32_t>(announced), available);
    std::int32_t const code_point = unicode::utf8_decode_checked(bytes, length, unicode::InvalidUtf8::Answer);
    return make(code_point < 0 ? 0xFFFE : static_cast<std::uint32_t>(code_point));
}

}

Cell make(Cell const&, Cell const& spec, TypeId)
{
    TypeId const type = cell::type_of(spec);
    switch (type) {
    case type_ids::char_:
    case type_ids::integer:
        return checked(cell::integer_payload(spec), spec);
    case type_ids::float_:
    case type_ids::percent: {
        double const number = cell::float_payload(spec);
        if (std::isnan(number) || number <= -1.0 || number >= double { max_code_point } + 1.0)
            fire_error(err::script::out_of_range, &spec);
        return make(static_cast<std::uint32_t>(std::trunc(number)));
    }
    case type_ids::binary:
        return from_bytes(spec);
    default:
        if (!string::is_text_type(type)) bad_to(spec);
        if (string::rs_tail_q(spec)) bad_to(spec);
        return make(string::char_at(spec, 0));
    }
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    string::append_char(buffer, get(value));
    return limit - 1;
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    string::concatenate_literal(buffer, "#\"");
    string::mold_char(buffer, get(value), all);
    string::append_char(buffer, '"');
    return limit - 4;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const type2 = cell::type_of(value2);
    if ((op == CompareOp::StrictEqual || op == CompareOp::FindEqual) && type2 != type_id) return 1;
    if (type2 != type_id && type2 != type_ids::integer) return compare_incomparable;
    std::int64_t const left = cell::integer_payload(value1);
    std::int64_t const right = cell::integer_payload(value2);
    return (left > right) - (left < right);
}

namespace {

// A float operand truncates toward zero. NaN, or a value whose truncation leaves 32 bits, has no integer
// (converting it would be undefined behaviour): the arithmetic overflows.
std::int32_t float_operand(Cell const& value)
{
    double const number = cell::float_payload(value);
    if (!(number > -2147483649.0 && number < 2147483648.0)) fire_error(err::math::overflow);
    return static_cast<std::int32_t>(number);
}

}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    std::int32_t operand = 0;
    switch (cell::type_of(right)) {
    case type_ids::char_:
    case type_ids::integer:
        operand = cell::integer_payload(right);
        break;
    case type_ids::float_:
        operand = float_operand(right);
        break;
    case type_ids::vector:
        // Each element of the vector takes the char as its left operand, in place.
        stack::set_last(vector::do_math_scalar_left(op, left, right));
        return;
    default:
        number::invalid_type(right);
    }
    // Division truncates here: a char! never becomes a fraction.
    Cell result = integer::make(0);
    std::int32_t const answer
        = integer::do_math_op(cell::integer_payload(left), operand, op, op == MathOp::Divide ? nullptr : &result);
    if (cell::type_of(result) != integer::type_id || answer < 0 || static_cast<std::uint32_t>(answer) > max_code_point)
        fire_error(err::math::overflow);
    left = make(static_cast<std::uint32_t>(answer));
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::integer,
    .name = "char!",
    .actions = {
        .make = make,
        .random = inherit,
        .to = make,
        .form = form,
        .mold = mold,
        .compare = compare,
        .absolute = inherit,
        .add = number::math_slot<do_math, MathOp::Add>,
        .divide = number::math_slot<do_math, MathOp::Divide>,
        .multiply = number::math_slot<do_math, MathOp::Multiply>,
        .remainder = number::math_slot<do_math, MathOp::Remainder>,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .even_q = inherit,
        .odd_q = inherit,
        .and_ = number::math_slot<do_math, MathOp::And>,
        .or_ = number::math_slot<do_math, MathOp::Or>,
        .xor_ = number::math_slot<do_math, MathOp::Xor>,
    },
};

}
