// tuple!: making from blocks, text, hex colours and bytes; arithmetic that clamps every component to
// 0..255; order by components; coordinates by index; reverse in groups.

#include "datatypes/tuple.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "datatypes/binary.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/number_shared.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xol::tuple {

Bytes bytes(Cell const& value)
{
    Bytes result;
    std::memcpy(result.at, &value.word1, most);
    return result;
}

namespace {

void store(Cell& cell, Bytes const& components, std::uint32_t count)
{
    cell.header = (cell.header & ~(cell::type_mask | count_mask)) | type_id | (count << count_shift);
    Bytes kept;
    std::memcpy(kept.at, components.at, count);
    std::memcpy(&cell.word1, kept.at, most);
}

}

Cell make(std::uint8_t const* components, std::uint32_t count)
{
    Bytes given;
    std::memcpy(given.at, components, std::min(count, most));
    Cell value = cell::make(type_id);
    store(value, given, std::clamp(count, 3u, most));
    return value;
}

Cell* push(std::uint8_t const* components, std::uint32_t count)
{
    return stack::push(make(components, count));
}

bool zero_q(Cell const& value)
{
    return value.word1 == 0 && value.word2 == 0 && value.word3 == 0;
}

Cell from_issue(Cell const& issue)
{
    std::string_view const spelling = symbol::spelling(issue.word2);
    auto const* position = reinterpret_cast<std::uint8_t const*>(spelling.data());
    auto const* const end = position + spelling.size();
    std::uint8_t digits[8];
    std::uint32_t length = 0;
    while (position < end) {
        std::int32_t code_point = 0;
        position = unicode::utf8_decode(position, end, code_point);
        // A character beyond ASCII is no digit, whatever its low bits say.
        if (code_point < 32 || code_point > 127 || length == 8) fire_error(err::script::invalid_data, &issue);
        auto const character = static_cast<char>(code_point);
        std::uint8_t digit = 16;
        if (character >= '0' && character <= '9') digit = static_cast<std::uint8_t>(character - '0');
        if (character >= 'A' && character <= 'F') digit = static_cast<std::uint8_t>(character - 'A' + 10);
        if (character >= 'a' && character <= 'f') digit = static_cast<std::uint8_t>(character - 'a' + 10);
        if (digit == 16) fire_error(err::script::invalid_data, &issue);
        digits[length++] = digit;
    }
    std::uint8_t components[4];
    switch (length) {
    case 3:
        for (std::uint32_t i = 0; i < 3; ++i) components[i] = static_cast<std::uint8_t>(digits[i] * 17);
        return make(components, 3);
    case 6:
    case 8:
        for (std::uint32_t i = 0; i < length / 2; ++i)
            components[i] = static_cast<std::uint8_t>(digits[2 * i] << 4 | digits[2 * i + 1]);
        return make(components, length / 2);
    default:
        fire_error(err::script::invalid_data, &issue);
    }
}

void poke_at(Cell& tuple, Cell const& index, Cell const& value)
{
    std::int32_t const at = integer::get(index);
    std::uint32_t const length = count(tuple);
    if (at < 1 || static_cast<std::uint32_t>(at) > length) fire_error(err::script::out_of_range, &index);
    Bytes components = bytes(tuple);
    auto const position = static_cast<std::uint32_t>(at - 1);
    if (cell::type_of(value) == type_ids::none) {
        std::fill(components.at + position, components.at + most, 0);
        store(tuple, components, std::max(position, 3u));
        return;
    }
    components.at[position] = static_cast<std::uint8_t>(std::clamp(integer::get(value), 0, 255));
    store(tuple, components, length);
}

namespace {

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const type = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &type, &spec);
}

// A component given in a make block: an integer!, a char! by its code point, a float! cut toward zero.
std::uint8_t component_of(Cell const& item, Cell const& spec)
{
    double number = 0;
    switch (cell::type_of(item)) {
    case type_ids::integer:
        number = integer::get(item);
        break;
    case type_ids::char_:
        number = char_::get(item);
        break;
    case type_ids::float_:
        number = std::trunc(float_::get(item)); // NaN fails the range test below
        break;
    default:
        bad_to_arg(spec);
    }
    if (!(number >= 0 && number <= 255)) bad_to_arg(spec);
    return static_cast<std::uint8_t>(number);
}

Cell from_block(Cell const& spec)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::uint32_t const index = spec.word1;
    std::uint32_t const length = index < buffer->length() ? buffer->length() - index : 0;
    if (length > most) bad_to_arg(spec);
    std::uint8_t components[most] = {};
    for (std::uint32_t i = 0; i < length; ++i) components[i] = component_of(buffer->head_cell()[index + i], spec);
    return make(components, length);
}

// make and to: the same conversion.
Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    TypeId const type = cell::type_of(spec);
    if (type == type_ids::block || type == type_ids::paren || type == type_ids::hash) return from_block(spec);
    if (type_ids::is_text(type)) {
        Rooted text(spec);
        Cell const loaded = services.load_single(*text);
        if (cell::type_of(loaded) != type_id) bad_to_arg(*text);
        return loaded;
    }
    if (type == type_ids::issue) return from_issue(spec);
    if (type == type_id) return spec;
    if (type == type_ids::binary) {
        // Its bytes from the index, at most 12; make pads fewer than 3 with zeros.
        std::span<std::uint8_t const> const content = binary::bytes(spec);
        std::uint8_t components[most] = {};
        auto const length = static_cast<std::uint32_t>(std::min<std::size_t>(content.size(), most));
        std::memcpy(components, content.data(), length);
        return make(components, length);
    }
    bad_to_arg(spec);
}

// The same text for form and mold: the components in decimal joined by ".".
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    Bytes const components = bytes(value);
    char text[most * 4];
    char* end = text;
    for (std::uint32_t i = 0; i < count(value); ++i) {
        if (i > 0) *end++ = '.';
        end = std::to_chars(end, std::end(text), components.at[i]).ptr;
    }
    return string::append_ascii(buffer, { text, end }, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

// Component by component over the longer tuple, a missing one counting as 0, whatever the operation: 1.2.3
// equals 1.2.3.0.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    Bytes const a = bytes(value1);
    Bytes const b = bytes(value2);
    for (std::uint32_t i = 0; i < most; ++i)
        if (a.at[i] != b.at[i]) return a.at[i] < b.at[i] ? -1 : 1;
    return 0;
}

std::uint8_t clamped(std::int64_t number)
{
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(number, 0, 255));
}

// A float result as a component: cut toward zero and clamped; +infinity is as high as it gets, -infinity
// and NaN as low.
std::uint8_t from_float(double number)
{
    if (std::isnan(number)) return 0;
    if (number >= 255) return 255;
    if (number <= 0) return 0;
    return static_cast<std::uint8_t>(number);
}

// One component by the integer! operation: an add, subtract or multiply that leaves 32 bits is as high or
// as low as a component goes; a division cuts toward zero.
std::uint8_t integer_step(std::int32_t x, std::int32_t y, MathOp op)
{
    if (op == MathOp::Divide) return clamped(integer::do_math_op(x, y, op, nullptr));
    Cell result = integer::make(0);
    std::int32_t const exact = integer::do_math_op(x, y, op, &result);
    if (cell::type_of(result) == type_ids::float_) return float_::get(result) > 0.0 ? 255 : 0;
    return clamped(exact);
}

}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    Bytes result = bytes(left);
    std::uint32_t length = count(left);
    switch (cell::type_of(right)) {
    case type_ids::float_:
    case type_ids::percent: {
        double const number = float_::get(right);
        for (std::uint32_t i = 0; i < length; ++i) result.at[i] = from_float(float_::do_math(result.at[i], number, op));
        break;
    }
    case type_ids::integer: {
        std::int32_t const number = integer::get(right);
        for (std::uint32_t i = 0; i < length; ++i) result.at[i] = integer_step(result.at[i], number, op);
        break;
    }
    case type_id: {
        Bytes const other = bytes(right);
        length = std::max(length, count(right));
        for (std::uint32_t i = 0; i < length; ++i) result.at[i] = integer_step(result.at[i], other.at[i], op);
        break;
    }
    default:
        number::invalid_type(right);
    }
    store(left, result, length);
}

namespace {

Cell complement(Cell const& value)
{
    Bytes components = bytes(value);
    for (std::uint32_t i = 0; i < count(value); ++i)
        components.at[i] = static_cast<std::uint8_t>(255 - components.at[i]);
    Cell result = value;
    store(result, components, count(value));
    return result;
}

std::int32_t length_q(Cell const& value)
{
    return static_cast<std::int32_t>(count(value));
}

Cell pick(Cell const& value, std::int32_t index, Cell const& index_value)
{
    if (index < 1 || static_cast<std::uint32_t>(index) > count(value))
        fire_error(err::script::out_of_range, &index_value);
    return integer::make(bytes(value).at[index - 1]);
}

// A component read, or set to an integer! (none cuts the tuple there): the set step answers the changed
// tuple, which the evaluator stores back where the tuple is kept.
Cell eval_path(PathStep const& step)
{
    if (cell::type_of(step.element) != type_ids::integer) number::invalid_type(step.element);
    if (!step.new_value) return pick(step.value, integer::get(step.element), step.element);
    TypeId const new_type = cell::type_of(*step.new_value);
    if (new_type != type_ids::integer && new_type != type_ids::none) number::invalid_type(*step.new_value);
    Cell changed = step.value;
    poke_at(changed, step.element, *step.new_value);
    return changed;
}

[[noreturn]] void bad_refinement(char const* name, Cell const& value)
{
    Cell const word = series::refinement_word(name);
    fire_error(err::script::invalid_refine_arg, &word, &value);
}

// The first `length` components reversed; with /skip the groups of that many swap end for end, each keeping
// its inner order.
Cell reverse(Cell const& value, Refinement part, Refinement skip)
{
    std::uint32_t const total = count(value);
    std::uint32_t length = total;
    if (part) {
        if (cell::type_of(*part) != type_ids::integer) bad_refinement("part", *part);
        std::int32_t const given = integer::get(*part);
        if (given < 0) fire_error(err::script::out_of_range, part);
        length = std::min(static_cast<std::uint32_t>(given), total);
    }
    std::uint32_t size = 1;
    if (skip) {
        if (cell::type_of(*skip) != type_ids::integer) bad_refinement("skip", *skip);
        std::int32_t const given = integer::get(*skip);
        if (given >= 0 && static_cast<std::uint32_t>(given) == length) return value;
        if (given < 1) fire_error(err::script::out_of_range, skip);
        size = static_cast<std::uint32_t>(given);
        if (size > length || length % size != 0) bad_refinement("skip", *skip);
    }
    Bytes const before = bytes(value);
    Bytes after = before;
    std::uint32_t const groups = length / size;
    for (std::uint32_t group = 0; group < groups; ++group)
        std::memcpy(after.at + (groups - 1 - group) * size, before.at + group * size, size);
    Cell result = value;
    store(result, after, total);
    return result;
}

// With /seed the generator takes word 1 xor word 2 xor word 3; otherwise each component c becomes a draw
// from 0 to c - 1, in order; a zero component stays zero.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        random::seed(static_cast<std::int32_t>(value.word1 ^ value.word2 ^ value.word3));
        return unset_value;
    }
    Bytes drawn = bytes(value);
    for (std::uint32_t i = 0; i < count(value); ++i)
        if (drawn.at[i] > 0) drawn.at[i] = static_cast<std::uint8_t>(random::int_(drawn.at[i], secure) - 1);
    Cell result = value;
    store(result, drawn, count(value));
    return result;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "tuple!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = make_action,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .add = number::math_slot<do_math, MathOp::Add>,
        .divide = number::math_slot<do_math, MathOp::Divide>,
        .multiply = number::math_slot<do_math, MathOp::Multiply>,
        .remainder = number::math_slot<do_math, MathOp::Remainder>,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .and_ = number::math_slot<do_math, MathOp::And>,
        .complement = complement,
        .or_ = number::math_slot<do_math, MathOp::Or>,
        .xor_ = number::math_slot<do_math, MathOp::Xor>,
        .length_q = length_q,
        .pick = pick,
        .reverse = reverse,
    },
};

}
