// bitset!: the actions. Every membership change goes through the spec language of bitset.cpp.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "datatypes/bitset.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::bitset {

namespace {

std::uint8_t* bytes_of(Cell const& bitset)
{
    return reinterpret_cast<std::uint8_t*>(node::buffer(bitset.word2)->head_address());
}

Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    return make_from_spec(spec, false);
}

Cell to(Cell const&, Cell const& spec, TypeId)
{
    return make_from_spec(spec, true);
}

// "make bitset! #{...}", or for a complemented set "make bitset! [not #{...}]" with its bytes complemented:
// the text loads back as the same set. With /part the hex digits stop once the budget is spent.
std::int32_t mold_body(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    Rooted kept(value);
    bool const complemented = complemented_q(*kept);
    limit = string::append_ascii(buffer, complemented ? "make bitset! [not #{" : "make bitset! #{", limit);
    std::uint64_t const length = byte_length(*kept);
    std::uint8_t const invert = complemented ? 0xFF : 0;
    char digits[512];
    std::uint64_t done = 0;
    while (done < length && !(part && limit <= 0)) {
        // Appending may move the bytes: they are read afresh for each run of digits.
        std::uint8_t const* bytes = bytes_of(*kept);
        std::size_t used = 0;
        for (; done < length && used < sizeof digits; ++done, used += 2)
            std::memcpy(digits + used, string::byte_to_hex(static_cast<std::uint8_t>(bytes[done] ^ invert)), 2);
        limit = string::append_ascii(buffer, { digits, used }, limit);
    }
    return string::append_ascii(buffer, complemented ? "}]" : "}", limit);
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return mold_body(value, buffer, part, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return mold_body(value, buffer, part, limit);
}

bool test(Cell const& bitset, Cell const& spec)
{
    return process_spec(spec, bitset, SpecMode::Test, SpecError::Action) != 0;
}

Cell pick(Cell const& series, std::int32_t, Cell const& index_value)
{
    return logic::make(test(series, index_value));
}

// none!, false, 0 and 0.0 take the bit out; any other value puts it in.
Cell poke(Cell const& series, std::int32_t, Cell const& index_value, Cell const& value)
{
    Rooted bits(series);
    Rooted index(index_value);
    Rooted given(value);
    TypeId const type = cell::type_of(*given);
    bool const off = type == type_ids::none || (type == type_ids::logic && !logic::get(*given))
        || (type == type_ids::integer && cell::integer_payload(*given) == 0)
        || (type == type_ids::float_ && cell::float_payload(*given) == 0.0);
    series::tell_owner(*bits, "poke", &*given, -1, 1);
    process_spec(*index, *bits, off ? SpecMode::Clear : SpecMode::Set, SpecError::Action);
    series::tell_owner(*bits, "poked", &*given, -1, 1);
    return *given;
}

// An integer! or char! selects a bit: read as pick, set as poke.
Cell eval_path(PathStep const& step)
{
    TypeId const type = cell::type_of(step.element);
    if (type != type_ids::integer && type != type_ids::char_) {
        Cell const type_value = datatype::make(type);
        fire_error(err::script::invalid_type, &type_value);
    }
    if (step.new_value) return poke(step.value, 0, step.element, *step.new_value);
    return pick(step.value, 0, step.element);
}

// The order does not depend on the operation but for same?: first the stored length, then the flag (a plain
// set first), then the bytes from the last one, by unsigned value. Two sets with the same members but stored
// lengths that differ are unequal.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    if (op == CompareOp::Same) return value1.word2 == value2.word2 ? 0 : 1;
    std::uint64_t const length1 = byte_length(value1);
    std::uint64_t const length2 = byte_length(value2);
    if (length1 != length2) return length1 < length2 ? -1 : 1;
    bool const flag1 = complemented_q(value1);
    bool const flag2 = complemented_q(value2);
    if (flag1 != flag2) return flag1 ? 1 : -1;
    std::uint8_t const* bytes1 = bytes_of(value1);
    std::uint8_t const* bytes2 = bytes_of(value2);
    for (std::uint64_t i = length1; i-- > 0;)
        if (bytes1[i] != bytes2[i]) return bytes1[i] < bytes2[i] ? -1 : 1;
    return 0;
}

// negate and complement: every member leaves and every other bit joins.
Cell complement(Cell const& value)
{
    Rooted source(value);
    std::uint64_t const length = byte_length(*source);
    Cell const result = make(length, !complemented_q(*source));
    std::uint8_t* target = bytes_of(result);
    std::uint8_t const* bytes = bytes_of(*source);
    for (std::uint64_t i = 0; i < length; ++i) target[i] = static_cast<std::uint8_t>(~bytes[i]);
    return result;
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

// append and insert: the value is a spec whose bits join the set. /part, /only and /dup change nothing.
Cell insert(Cell const& series, Cell const& value, std::int32_t, bool, std::int32_t, bool)
{
    Rooted bits(series);
    Rooted given(value);
    series::tell_owner(*bits, "insert", &*given, -1, 1);
    process_spec(*given, *bits, SpecMode::Set, SpecError::Action);
    series::tell_owner(*bits, "inserted", &*given, -1, 1);
    return *bits;
}

// Empties the set: every stored byte 0 and the flag off, the stored length kept.
Cell clear(Cell const& value)
{
    Rooted bits(value);
    auto const length = static_cast<std::int32_t>(std::min<std::uint64_t>(byte_length(*bits), INT32_MAX));
    series::tell_owner(*bits, "clear", nullptr, 0, length);
    SeriesBuffer* buffer = node::buffer(bits->word2);
    std::memset(buffer->head_address(), 0, buffer->tail - buffer->head);
    buffer->flags &= ~complement_flag;
    series::tell_owner(*bits, "cleared", nullptr, 0, 0);
    return *bits;
}

// A new set with the same bits and flag; /part, /deep and /types change nothing.
Cell copy(Cell const& value, Refinement, bool, Refinement)
{
    return make_from_spec(value, false);
}

Cell find(Cell const& series, Cell const& value, FindOptions const&)
{
    return test(series, value) ? logic::make(true) : none_value;
}

// The stored bits, which a set made with `not` counts too. More than an integer! holds raises math overflow.
std::int32_t length_q(Cell const& value)
{
    std::uint64_t const bits = byte_length(value) * 8;
    if (bits > INT32_MAX) fire_error(err::math::overflow);
    return static_cast<std::int32_t>(bits);
}

// remove/key takes the key's bits out of the set, whether or not it is complemented.
Cell remove(Cell const& series, Refinement, Refinement key)
{
    if (!key) fire_error(err::script::missing_arg);
    Rooted bits(series);
    Rooted given(*key);
    series::tell_owner(*bits, "remove", &*given, -1, 1);
    process_spec(*given, *bits, SpecMode::Clear, SpecError::Action);
    series::tell_owner(*bits, "removed", &*given, -1, 1);
    return *bits;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "bitset!",
    .actions = {
        .make = make_action,
        .reflect = series::reflect,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .negate = complement,
        .and_ = and_,
        .complement = complement,
        .or_ = or_,
        .xor_ = xor_,
        .append = insert,
        .clear = clear,
        .copy = copy,
        .find = find,
        .insert = insert,
        .length_q = length_q,
        .pick = pick,
        .poke = poke,
        .remove = remove,
        .modify = series::modify,
    },
};

}
