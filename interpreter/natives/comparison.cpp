// The comparison natives, same? and not. Comparisons go through the shared compare entry: values that
// cannot be compared are simply unequal, and raise script invalid-compare only when asked for an order.

#include "datatypes/compare.h"
#include "datatypes/logic.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/type_families.h"

namespace xol::natives {

namespace {

// A tuple! keeps its component count in header bits 19-22.
std::uint32_t tuple_length(Cell const& value)
{
    return (value.header >> 19) & 0xF;
}

// Identity rather than equality: the same series at the same index, the same object, the same bits. Two
// equal texts in different buffers are not the same, nor are 0.0 and -0.0.
bool same_value_q(Cell const& value1, Cell const& value2)
{
    TypeId const type = cell::type_of(value1);
    if (type != cell::type_of(value2)) return false;
    // Series: the index in word 1, the node in word 2. Built-in functions and 2D points use the same two.
    if (type_ids::is_series(type) || type == type_ids::native || type == type_ids::action || type == type_ids::point2d)
        return value1.word1 == value2.word1 && value1.word2 == value2.word2;
    switch (type) {
    case type_ids::unset:
    case type_ids::none:
        return true;
    case type_ids::datatype:
    case type_ids::logic:
    case type_ids::object:
        return value1.word1 == value2.word1;
    case type_ids::char_:
    case type_ids::integer:
    case type_ids::bitset:
        return value1.word2 == value2.word2;
    // Doubles in words 2 and 3, compared bit for bit; pair! keeps x and y there, op! its wrapped entry.
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::pair:
    case type_ids::time:
    case type_ids::op:
        return value1.word2 == value2.word2 && value1.word3 == value2.word3;
    // Trailing zero components make tuples equal that differ in length.
    case type_ids::tuple:
        return tuple_length(value1) == tuple_length(value2)
            && actions::compare_typed(value1, value2, CompareOp::Equal) == 0;
    case type_ids::money:
        return actions::compare_typed(value1, value2, CompareOp::Same) == 0;
    default:
        return value1.word1 == value2.word1 && value1.word2 == value2.word2 && value1.word3 == value2.word3;
    }
}

}

void equal_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::Equal);
}
void not_equal_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::NotEqual);
}
void strict_equal_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::StrictEqual);
}
void lesser_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::Lesser);
}
void greater_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::Greater);
}
void lesser_or_equal_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::LesserOrEqual);
}
void greater_or_equal_q(std::int32_t const*)
{
    actions::compare_op(CompareOp::GreaterOrEqual);
}

void same_q(std::int32_t const*)
{
    stack::set_last(logic::make(same_value_q(argument(0)[0], argument(1)[0])));
}

// An unset! argument counts as true here: not tests leniently.
void not_(std::int32_t const*)
{
    stack::set_last(logic::make(!logic::true_q(*argument(0))));
}

}
