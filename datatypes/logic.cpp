// logic!: true and false, their bitwise actions, and the truth tests behind every condition.

#include "datatypes/logic.h"

#include "datatypes/compare.h"
#include "datatypes/error.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/random.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::logic {

void make_at(Cell& cell, bool flag)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, flag ? 1U : 0U, 0, 0 };
}

Cell* push(bool flag)
{
    return stack::push(make(flag));
}

Cell* make_in(Cell const& block, bool flag)
{
    Cell* cell = series::append_cell(block);
    *cell = make(flag);
    return cell;
}

Cell* set_result(bool flag)
{
    stack::set_last(make(flag));
    return stack::state.base;
}

bool result_false_q()
{
    return !true_q(*stack::state.base);
}

bool result_true_q()
{
    if (cell::type_of(*stack::state.base) == type_ids::unset) fire_error(err::script::no_return);
    return true_q(*stack::state.base);
}

bool check_arg(Cell const& value, bool checked, Cell const& subject)
{
    if (checked && cell::type_of(value) == type_ids::unset) fire_error(err::script::no_value, &subject);
    return true_q(value);
}

bool top_false_q()
{
    return !true_q(*stack::top());
}

bool top_true_q()
{
    return true_q(*stack::top());
}

namespace {

// to: only none! and false are false. make also reads numbers: zero is false (a NaN is not zero).
Cell to(Cell const&, Cell const& spec, TypeId)
{
    switch (cell::type_of(spec)) {
    case type_ids::logic:
        return make(get(spec));
    case type_ids::none:
        return false_value;
    default:
        return true_value;
    }
}

Cell make_action(Cell const& prototype, Cell const& spec, TypeId type)
{
    switch (cell::type_of(spec)) {
    case type_ids::integer:
        return make(cell::integer_payload(spec) != 0);
    case type_ids::float_:
    case type_ids::percent:
        return make(!(cell::float_payload(spec) == 0.0));
    default:
        return to(prototype, spec, type);
    }
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, get(value) ? "true" : "false", limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool all, bool, Refinement, std::int32_t limit, std::int32_t)
{
    if (all) return string::append_ascii(buffer, get(value) ? "#(true)" : "#(false)", limit);
    return string::append_ascii(buffer, get(value) ? "true" : "false", limit);
}

// Equal when the flags are; false sorts before true; no order for lesser? and its kin.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id || actions::is_ordering(op)) return compare_incomparable;
    return static_cast<std::int32_t>(value1.word1 != 0) - static_cast<std::int32_t>(value2.word1 != 0);
}

Cell complement(Cell const& value)
{
    return make(!get(value));
}

// and~, or~, xor~: the right operand must be a logic! too.
template <typename Operation> void bitwise(Operation operation)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    if (cell::type_of(right) != type_id) {
        Cell const word = stack::caller_word();
        Cell const type = datatype::make(cell::type_of(right));
        Cell const argument = error::function_arg_word(1);
        fire_error(err::script::expect_arg, &word, &type, &argument);
    }
    left = make(operation(get(left), get(right)));
}

void and_()
{
    bitwise([](bool a, bool b) { return a && b; });
}
void or_()
{
    bitwise([](bool a, bool b) { return a || b; });
}
void xor_()
{
    bitwise([](bool a, bool b) { return a != b; });
}

// Seeding takes the flag as 0 or 1; a draw is true in its upper half.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        random::seed(get(value) ? 1 : 0);
        return unset_value;
    }
    return make(random::draw(secure) > 0x3FFFFFFF);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "logic!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = to,
        .form = form,
        .mold = mold,
        .compare = compare,
        .and_ = and_,
        .complement = complement,
        .or_ = or_,
        .xor_ = xor_,
    },
};

}
