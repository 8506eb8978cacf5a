// binary!: the actions that convert, print, compare and combine binaries, and the datatype record.

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/binary_codecs.h"
#include "datatypes/binary_private.h"
#include "datatypes/bitset.h"
#include "datatypes/datatype.h"
#include "datatypes/image.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::binary {

namespace {

// Big-endian bytes of a 64-bit pattern: the last `count` of its eight.
Cell load_big_endian(std::uint64_t bits, std::uint32_t count)
{
    std::uint8_t bytes[8];
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * (count - 1 - i)));
    return load({ bytes, count });
}

// The digits of an issue! read as base 16.
Cell from_issue(Cell const& issue)
{
    Rooted kept(issue);
    std::uint32_t const length = static_cast<std::uint32_t>(symbol::spelling(kept->word2).size());
    Rooted result(make(static_cast<std::uint32_t>(decoded_capacity(Base::Sixteen, length))));
    // The spelling is read only now: making the result may have moved it.
    std::string_view const digits = symbol::spelling(kept->word2);
    TextUnits const text { reinterpret_cast<std::byte const*>(digits.data()), length, 1 };
    std::optional<std::uint32_t> const count = debase_16(text, rs_head(*result));
    if (!count) fire_error(err::script::invalid_data, &*kept);
    set_length(*result, *count);
    return *result;
}

// A copy of the bytes from the index.
Cell copied(Cell const& binary)
{
    Rooted kept(binary);
    std::uint32_t const length = rs_length(*kept);
    Rooted result(make(length));
    std::uint8_t* const place = append_space(*result, length);
    // Read only now: making the copy may have moved the source.
    std::memcpy(place, rs_head(*kept), length);
    return *result;
}

constexpr std::string_view indent_unit = "    ";

std::int32_t append_line_break(Cell const& buffer, std::int32_t indent, std::int32_t limit)
{
    limit = string::append_ascii(buffer, "\n", limit);
    for (std::int32_t level = 0; level < indent; ++level) limit = string::append_ascii(buffer, indent_unit, limit);
    return limit;
}

// The digits of the bytes, 32 bytes a line unless `flat`.
std::int32_t write_digits(Cell const& value_given, Cell const& buffer, bool only, bool flat, Refinement part,
    std::int32_t limit, std::int32_t indent)
{
    Rooted value(value_given);
    Rooted output(buffer);
    std::uint32_t const count = rs_length(*value);
    if (!only) limit = string::append_ascii(*output, "#{", limit);
    ++indent;
    bool const broken = count > 30 && !flat;
    if (broken) limit = append_line_break(*output, indent, limit);
    constexpr std::uint32_t line = 32;
    char digits[2 * line];
    for (std::uint32_t start = 0; start < count; start += line) {
        std::uint32_t const end = std::min(start + line, count);
        // The bytes are read afresh for each line: appending to the output may move them.
        enbase_16(digits, rs_head(*value) + start, end - start);
        limit = string::append_ascii(*output, { digits, 2 * std::size_t { end - start } }, limit);
        if (!flat && end % line == 0) limit = append_line_break(*output, indent, limit);
        if (part && limit <= 0) return limit;
    }
    --indent;
    if (broken && count % line != 0) limit = append_line_break(*output, indent, limit);
    if (!only) limit = string::append_ascii(*output, "}", limit);
    return limit;
}

using ByteOperation = std::uint8_t (*)(std::uint8_t, std::uint8_t);

// and~, or~, xor~: over the common length each byte combines the two; past it, and~ gives zero bytes and
// the others the longer operand's bytes (as if the shorter one went on in zeros).
void combine(ByteOperation operation)
{
    Cell const right = stack::state.base[1];
    if (cell::type_of(right) != type_id) fire_error(err::script::invalid_arg, &right);
    std::uint32_t const length1 = rs_length(stack::state.base[0]);
    std::uint32_t const length2 = rs_length(right);
    std::uint32_t const longer = std::max(length1, length2);
    Rooted result(make(longer));
    std::uint8_t* out = append_space(*result, longer);
    // The operands are read only now, from the frame: making the result may have moved them.
    std::uint8_t const* bytes1 = rs_head(stack::state.base[0]);
    std::uint8_t const* bytes2 = rs_head(stack::state.base[1]);
    std::uint32_t const common = std::min(length1, length2);
    for (std::uint32_t i = 0; i < common; ++i) out[i] = operation(bytes1[i], bytes2[i]);
    std::uint8_t const* rest = length1 > length2 ? bytes1 : bytes2;
    for (std::uint32_t i = common; i < longer; ++i) out[i] = operation(rest[i], 0);
    stack::set_last(*result);
}

}

Cell to(Cell const&, Cell const& spec_value, TypeId type)
{
    Rooted spec(spec_value);
    Rooted result(cell::make(type_ids::none));
    TypeId const spec_type = cell::type_of(*spec);
    switch (spec_type) {
    case type_ids::integer:
        *result = load_big_endian(spec->word2, 4);
        break;
    case type_ids::float_:
    case type_ids::percent:
        *result = load_big_endian(std::bit_cast<std::uint64_t>(cell::float_payload(*spec)), 8);
        break;
    case type_ids::issue:
        *result = from_issue(*spec);
        break;
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        *result = make(16);
        *result = insert(*result, *spec, -1, false, 1, true);
        break;
    case type_id:
        *result = copied(*spec);
        break;
    case type_ids::bitset: {
        // Its stored bytes; the complement flag has no byte to go in.
        Rooted kept(*spec);
        auto const length = static_cast<std::uint32_t>(bitset::byte_length(*kept));
        *result = make(length);
        std::uint8_t* const place = append_space(*result, length);
        // Read only now: making the binary may have moved the set.
        std::memcpy(place, node::buffer(kept->word2)->head_address(), length);
        break;
    }
    case type_ids::tuple: {
        tuple::Bytes const components = tuple::bytes(*spec);
        *result = load({ components.at, tuple::count(*spec) });
        break;
    }
    case type_ids::image:
        *result = image::get_data(*spec, image::DataMode::Argb);
        break;
    default: {
        if (!type_ids::is_text(spec_type) && spec_type != type_ids::char_) {
            Cell const target = datatype::make(type_id);
            fire_error(err::script::bad_to_arg, &target, &*spec);
        }
        std::vector<std::uint8_t> bytes;
        detail::gather(bytes, *spec, -1, false, detail::BytesMode::Insert);
        *result = load(bytes);
    }
    }
    cell::set_type(*result, type);
    result->word1 = 0;
    return *result;
}

// form writes what mold writes: a binary has no other text.
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return write_digits(value, buffer, false, false, part, limit, 0);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    return write_digits(value, buffer, only, flat, part, limit, indent);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return compare_bytes(value1, value2, op, false);
}

void and_()
{
    combine([](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a & b); });
}

void or_()
{
    combine([](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a | b); });
}

void xor_()
{
    combine([](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a ^ b); });
}

Cell complement(Cell const& value)
{
    for (std::uint8_t& byte : bytes(value)) byte = static_cast<std::uint8_t>(~byte);
    return value;
}

// Slots appear in table order. Those not named stay empty: a binary has no arithmetic, no put and no port
// actions.
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "binary!",
    .actions = {
        .make = inherit,
        .random = inherit,
        .reflect = inherit,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = inherit,
        .compare = compare,
        .and_ = and_,
        .complement = complement,
        .or_ = or_,
        .xor_ = xor_,
        .append = insert,
        .at = inherit,
        .back = inherit,
        .change = change,
        .clear = inherit,
        .copy = inherit,
        .find = inherit,
        .head = inherit,
        .head_q = inherit,
        .index_q = inherit,
        .insert = insert,
        .length_q = inherit,
        .move = inherit,
        .next = inherit,
        .pick = inherit,
        .poke = inherit,
        .remove = inherit,
        .reverse = inherit,
        .select = inherit,
        .sort = inherit,
        .skip = inherit,
        .swap = inherit,
        .tail = inherit,
        .tail_q = inherit,
        .take = inherit,
        .trim = trim,
        .modify = inherit,
    },
};

}
