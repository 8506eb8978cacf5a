// typeset!: making sets of datatypes, combining them, testing membership and printing them.

#include "datatypes/typeset.h"

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::typeset {

namespace {

// A word stands for its value: pushed by word::get (unset raises no-value), read, then dropped.
Cell value_of_word(Cell const& word)
{
    Cell* const saved_top = stack::state.top;
    Cell const value = *word::get(word);
    stack::cut_to(saved_top);
    return value;
}

void or_into(Cell& typeset, Cell const& other)
{
    typeset.word1 |= other.word1;
    typeset.word2 |= other.word2;
    typeset.word3 |= other.word3;
}

Cell from_spec(Cell const& spec)
{
    Rooted block(spec);
    Cell result = make();
    for (std::uint32_t i = block->word1; i < node::buffer(block->word2)->length(); ++i)
        add(result, node::buffer(block->word2)->head_cell()[i]);
    return result;
}

Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    switch (cell::type_of(spec)) {
    case type_id:
        return spec;
    case type_ids::block:
        return from_spec(spec);
    default: {
        Cell const target = datatype::make(type_id);
        fire_error(err::script::bad_to_arg, &target, &spec);
    }
    }
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return mold_body(value, buffer, false, false, false, part, limit);
}

std::int32_t mold(
    Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_body(value, buffer, only, all, flat, part, limit);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id || actions::is_ordering(op)) return compare_incomparable;
    switch (op) {
    case CompareOp::Sort:
    case CompareOp::CaseSort: {
        std::uint32_t const count1 = count(value1);
        std::uint32_t const count2 = count(value2);
        return count1 < count2 ? -1 : count1 > count2 ? 1 : 0;
    }
    default:
        return value1.word1 == value2.word1 && value1.word2 == value2.word2 && value1.word3 == value2.word3 ? 0 : 1;
    }
}

Cell complement(Cell const& value)
{
    return cell::make(type_id, ~value.word1, ~value.word2, ~value.word3);
}

void and_()
{
    do_bitwise(MathOp::And);
}
void or_()
{
    do_bitwise(MathOp::Or);
}
void xor_()
{
    do_bitwise(MathOp::Xor);
}

Cell find(Cell const& series, Cell const& value, FindOptions const&)
{
    if (cell::type_of(value) != type_ids::datatype) fire_error(err::script::invalid_arg, &value);
    return logic::make(has(series, datatype::get(value)));
}

}

void clear(Cell& typeset)
{
    typeset.word1 = typeset.word2 = typeset.word3 = 0;
}

std::uint32_t count(Cell const& typeset)
{
    std::uint32_t total = 0;
    for (std::uint32_t type = 1; type <= datatype::registry.highest; ++type)
        if (has(typeset, type)) ++total;
    return total;
}

Cell* make_in(Cell const& block, std::uint32_t word1, std::uint32_t word2, std::uint32_t word3)
{
    Cell* cell = series::append_cell(block);
    *cell = cell::make(type_id, word1, word2, word3);
    return cell;
}

Cell* make_default(Cell const& block)
{
    Cell* cell = make_in(block, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
    std::uint8_t bytes[12];
    std::memcpy(bytes, &cell->word1, sizeof bytes);
    bytes[type_ids::unset >> 3]
        = static_cast<std::uint8_t>(bytes[type_ids::unset >> 3] & ~(0x80u >> (type_ids::unset & 7)));
    std::memcpy(&cell->word1, bytes, sizeof bytes);
    return cell;
}

Cell* make_from_block(Cell const& block, Cell const& spec)
{
    Rooted target(block);
    Rooted types(spec);
    Cell result = make();
    for (std::uint32_t i = types->word1; i < node::buffer(types->word2)->length(); ++i) {
        Cell value = node::buffer(types->word2)->head_cell()[i];
        if (cell::type_of(value) == type_ids::word) value = value_of_word(value);
        switch (cell::type_of(value)) {
        case type_ids::datatype:
            set_bit(result, datatype::get(value));
            break;
        case type_id:
            or_into(result, value);
            break;
        case type_ids::word:
            set_bit(result, type_ids::object);
            break;
        case type_ids::block:
            break;
        default:
            fire_error(err::script::invalid_type_spec, &value);
        }
    }
    return make_in(*target, result.word1, result.word2, result.word3);
}

void add(Cell& typeset, Cell const& value)
{
    Cell const given = value;
    Cell const added = cell::type_of(given) == type_ids::word ? value_of_word(given) : given;
    switch (cell::type_of(added)) {
    case type_id:
        or_into(typeset, added);
        break;
    case type_ids::datatype:
        set_bit(typeset, datatype::get(added));
        break;
    default:
        fire_error(err::script::invalid_arg, &given);
    }
}

void to_block(Cell const& typeset, Cell& target)
{
    Cell const set = typeset;
    Rooted result(cell::make(type_ids::unset));
    block::make_at(*result, 4);
    for (std::uint32_t type = 1; type <= datatype::registry.highest; ++type) {
        if (!has(set, type) || !datatype::is_registered(static_cast<TypeId>(type))) continue;
        SymbolId const name = datatype::registry.types[type].word;
        Cell const word = name != 0 ? word::make(name) : word::make_global(datatype::name(static_cast<TypeId>(type)));
        *series::append_cell(*result) = word;
    }
    target = *result;
}

Cell bitwise(Cell const& left, Cell const& right, MathOp op)
{
    if (op == MathOp::Unique) return left;
    Cell other;
    switch (cell::type_of(right)) {
    case type_id:
        other = right;
        break;
    case type_ids::datatype:
        other = make();
        set_bit(other, datatype::get(right));
        break;
    default:
        fire_error(err::script::invalid_arg, &right);
    }
    auto combine = [&](auto&& operation) {
        return cell::make(type_id, operation(left.word1, other.word1), operation(left.word2, other.word2),
            operation(left.word3, other.word3));
    };
    switch (op) {
    case MathOp::Or:
    case MathOp::Union:
        return combine([](std::uint32_t a, std::uint32_t b) { return a | b; });
    case MathOp::And:
    case MathOp::Intersect:
        return combine([](std::uint32_t a, std::uint32_t b) { return a & b; });
    case MathOp::Xor:
    case MathOp::Difference:
        return combine([](std::uint32_t a, std::uint32_t b) { return a ^ b; });
    case MathOp::Exclude:
        return combine([](std::uint32_t a, std::uint32_t b) { return a & ~b; });
    default:
        runtime::no_switch_matched();
    }
}

void do_bitwise(MathOp op)
{
    Cell* base = stack::state.base;
    *base = bitwise(base[0], base[1], op);
}

std::int32_t mold_body(Cell const& typeset, Cell& buffer, bool only, bool, bool, Refinement part, std::int32_t limit)
{
    Cell const set = typeset;
    if (!only) limit = string::append_ascii(buffer, "make typeset! [", limit);
    bool named = false;
    for (std::uint32_t type = 1; type <= datatype::registry.highest; ++type) {
        if (!has(set, type) || !datatype::is_registered(static_cast<TypeId>(type))) continue;
        if (part && limit <= 0) return limit;
        limit = string::append_ascii(buffer, datatype::name(static_cast<TypeId>(type)), limit);
        limit = string::append_ascii(buffer, " ", limit);
        named = true;
    }
    std::uint32_t const length = string::rs_length_all(buffer);
    if (!only) {
        // The closing bracket takes the place of the last space, or follows the opening one.
        if (named) {
            string::put_char(buffer.word2, length - 1, ']');
        } else {
            limit = string::append_ascii(buffer, "]", limit);
        }
    } else if (named) {
        string::truncate_at(buffer.word2, length - 1);
        ++limit;
    }
    return limit;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "typeset!",
    .actions = {
        .make = make_action,
        .to = make_action,
        .form = form,
        .mold = mold,
        .compare = compare,
        .and_ = and_,
        .complement = complement,
        .or_ = or_,
        .xor_ = xor_,
        .find = find,
    },
};

}
