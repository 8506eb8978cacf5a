// The set natives: unique, union, intersect, exclude and difference over one body that checks the operands
// and hands the work to the datatype that owns it, and complement?.

#include <cstdint>

#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

// The caller, the value's datatype and the native's first argument word.
[[noreturn]] void fire_expect_first_arg(Cell const& value)
{
    Cell const caller = stack::caller_word();
    Cell const type = datatype::make(cell::type_of(value));
    Cell const argument_word = error::function_arg_word(0);
    fire_error(err::script::expect_arg, &caller, &type, &argument_word);
}

bool list_operand(TypeId type)
{
    return type == type_ids::block || type == type_ids::hash;
}

// Refinements: /case, /skip size. unique takes one operand and never looks at a second.
void set_operation(std::int32_t const* refinements, MathOp op)
{
    Cell* const base = stack::state.base;
    bool const unique = op == MathOp::Unique;
    TypeId const type = cell::type_of(base[0]);
    if (!unique) {
        TypeId const other = cell::type_of(base[1]);
        // block! and hash! mix; every other operand needs a partner of its own type.
        if (list_operand(type) ? !list_operand(other) : other != type) {
            Cell const expected = datatype::make(type);
            Cell const given = datatype::make(other);
            fire_error(err::script::expect_val, &expected, &given);
        }
    }
    bool const case_sensitive = refinements[0] >= 0;
    Cell const* const skip = refinement_argument(refinements[1]);
    Cell const* const second = unique ? nullptr : &base[1];
    switch (type) {
    case type_ids::block:
    case type_ids::hash:
        // A hash! answer gets a table of its own from the set operation.
        stack::set_last(block::do_set_op(base[0], second, case_sensitive, skip, op));
        return;
    case type_ids::string:
        stack::set_last(string::do_set_op(base[0], second, case_sensitive, skip, op));
        return;
    case type_ids::typeset:
        typeset::do_bitwise(op);
        return;
    case type_ids::bitset:
        bitset::do_bitwise(op);
        return;
    case type_ids::date:
        // Dates have no sets: only difference, the time! from the second date to the first.
        if (op != MathOp::Difference) fire_expect_first_arg(base[0]);
        stack::set_last(date::difference(base[0], base[1]));
        return;
    default:
        fire_expect_first_arg(base[0]);
    }
}

}

void union_(std::int32_t const* refinements)
{
    set_operation(refinements, MathOp::Union);
}

void intersect(std::int32_t const* refinements)
{
    set_operation(refinements, MathOp::Intersect);
}

void unique(std::int32_t const* refinements)
{
    set_operation(refinements, MathOp::Unique);
}

void difference(std::int32_t const* refinements)
{
    set_operation(refinements, MathOp::Difference);
}

void exclude(std::int32_t const* refinements)
{
    set_operation(refinements, MathOp::Exclude);
}

// Only a bitset! carries a complement flag; the native tests its argument itself.
void complement_q(std::int32_t const*)
{
    Cell const& value = *argument(0);
    if (cell::type_of(value) != type_ids::bitset) fire_expect_first_arg(value);
    logic::set_result(bitset::complemented_q(value));
}

}
