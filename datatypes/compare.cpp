// The shared comparison entry.

#include "datatypes/compare.h"

#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/vector.h"
#include "runtime/assert.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xol::actions {

namespace {

std::int32_t order_of(std::uint32_t a, std::uint32_t b)
{
    return (a > b) - (a < b);
}

}

// Built-in functions compare by their entry point, user functions by their record; both only with a
// value of their own type, so that no other value's payload can pass for one.
std::int32_t compare_typed(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const type = cell::type_of(value1);
    if (type == cell::type_of(value2)) {
        switch (type) {
        case type_ids::op:
        case type_ids::action:
        case type_ids::native:
            return order_of(value1.word1, value2.word1);
        case type_ids::function:
        case type_ids::routine:
            return order_of(value1.word3, value2.word3);
        default:
            break;
        }
    }
    action_types::Compare const slot = datatype::is_registered(type) ? datatype::actions(type).compare : nullptr;
    if (!slot) return compare_incomparable;
    [[maybe_unused]] std::uint64_t const epoch = memory::epoch();
    std::int32_t const answer = slot(value1, value2, op);
    XOL_ASSERT(memory::epoch() == epoch, "a compare action allocated");
    return answer;
}

std::int32_t compare_keys(Cell const& stored, Cell const& probe, CompareOp op)
{
    if (cell::type_of(stored) == type_ids::vector && cell::type_of(probe) == type_ids::vector
        && vector::element_type(stored) != vector::element_type(probe))
        return 1;
    return compare_typed(stored, probe, op);
}

std::int32_t compare_swapped(Cell const& value1, Cell const& value2, CompareOp op)
{
    CompareOp mirrored = op;
    switch (op) {
    case CompareOp::Lesser:
        mirrored = CompareOp::Greater;
        break;
    case CompareOp::LesserOrEqual:
        mirrored = CompareOp::GreaterOrEqual;
        break;
    case CompareOp::Greater:
        mirrored = CompareOp::Lesser;
        break;
    case CompareOp::GreaterOrEqual:
        mirrored = CompareOp::LesserOrEqual;
        break;
    default:
        break;
    }
    std::int32_t const answer = compare_typed(value2, value1, mirrored);
    if (answer == compare_incomparable || is_equality(op)) return answer;
    return -answer;
}

bool compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    std::int32_t const answer = compare_typed(value1, value2, op);
    if (answer == compare_incomparable) {
        if (is_equality(op)) return op == CompareOp::NotEqual;
        fire_error(err::script::invalid_compare, &value1, &value2);
    }
    switch (op) {
    case CompareOp::NotEqual:
        return answer != 0;
    case CompareOp::Lesser:
        return answer < 0;
    case CompareOp::LesserOrEqual:
        return answer <= 0;
    case CompareOp::Greater:
        return answer > 0;
    case CompareOp::GreaterOrEqual:
        return answer >= 0;
    default:
        return answer == 0;
    }
}

void compare_op(CompareOp op)
{
    bool const result = compare(stack::state.base[0], stack::state.base[1], op);
    stack::set_last(logic::make(result));
}

}
