// string!: the actions that make, convert, print, address and compare text, and the datatype record.

#include "datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string_private.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::string {

namespace detail {

std::int32_t form_typed(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    TypeId const type = cell::type_of(value);
    auto const form_slot = datatype::is_registered(type) ? datatype::actions(type).form : nullptr;
    if (form_slot == nullptr) fire_error(err::internal::not_done);
    return form_slot(value, buffer, part, limit);
}

Cell formed(Cell const& value)
{
    Rooted kept(value);
    Rooted result(make(16));
    form_typed(*kept, *result, nullptr, 0);
    return *result;
}

void fire_bad_refinement(char const* name, Cell const& argument)
{
    // A copy: making the symbol may allocate, and the argument may be a cell of a series buffer.
    Rooted kept(argument);
    Cell const refinement = refinement::make(name);
    fire_error(err::script::invalid_refine_arg, &refinement, &*kept);
}

std::int32_t part_count(Cell const& series, Cell const& part, char const* word)
{
    if (cell::type_of(part) == type_ids::integer) return cell::integer_payload(part);
    if (cell::type_of(part) != cell::type_of(series) || part.word2 != series.word2) fire_bad_refinement(word, part);
    return static_cast<std::int32_t>(std::int64_t { part.word1 } - series.word1);
}

}

namespace {

// The escapes of code points 0-94 that have one: 0-31 as their control letters, the double quote and the
// caret as themselves; 0 where the code point is written as it is.
struct EscapeTable {
    char entries[95] = {};
    constexpr EscapeTable()
    {
        constexpr char controls[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
        for (int i = 0; i < 32; ++i) entries[i] = controls[i];
        entries['"'] = '"';
        entries['^'] = '^';
    }
};
constexpr EscapeTable escapes;

// The /part count, 0 when there is none or it is not an integer!.
std::int32_t part_argument(Refinement part)
{
    if (part == nullptr || cell::type_of(*part) != type_ids::integer) return 0;
    return cell::integer_payload(*part);
}

// Whether the "{" at `from` has its matching "}" before `end`.
bool brace_matched(Cell const& value, std::uint32_t from, std::uint32_t end)
{
    std::int32_t depth = 0;
    SeriesBuffer* buffer = node::buffer(value.word2);
    for (std::uint32_t place = from; place < end; ++place) {
        std::uint32_t const code_point = detail::unit_at(buffer, place);
        if (code_point == '{')
            ++depth;
        else if (code_point == '}') {
            if (depth == 1) return true;
            --depth;
        }
    }
    return false;
}

}

void mold_char(Cell const& buffer, std::uint32_t code_point, bool all)
{
    if (code_point == 30 || (code_point >= 128 && code_point <= 159) || (all && code_point > 127)) {
        concatenate_literal(buffer, "^(");
        concatenate_literal(buffer, to_hex(static_cast<std::int32_t>(code_point), true));
        append_char(buffer, ')');
    } else if (code_point < 95 && escapes.entries[code_point] != 0) {
        append_char(buffer, '^');
        append_char(buffer, static_cast<unsigned char>(escapes.entries[code_point]));
    } else if (code_point == 127) {
        concatenate_literal(buffer, "^~");
    } else {
        append_char(buffer, code_point);
    }
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    std::uint32_t const length = rs_length_q(value);
    // With /part nothing is written past the budget: the caller would cut it back anyway.
    std::int32_t const count = part ? std::max(limit, 0) : -1;
    concatenate(buffer, value, count, 0, true, SpliceMode::Append);
    return limit - static_cast<std::int32_t>(length);
}

std::int32_t mold(
    Cell const& value, Cell& buffer, bool, bool all, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    Rooted text(value);
    Rooted output(buffer);
    std::uint32_t const start = clamped_index(value);
    std::uint32_t const remaining = rs_length_q(value);
    std::uint32_t end = start + remaining;
    if (part_argument(part) != 0 && limit >= 0) end = std::min(end, start + static_cast<std::uint32_t>(limit));

    std::uint32_t quotes = 0;
    std::uint32_t line_feeds = 0;
    {
        SeriesBuffer* source = node::buffer(text->word2);
        for (std::uint32_t place = start; place < end; ++place) {
            std::uint32_t const code_point = detail::unit_at(source, place);
            quotes += code_point == '"';
            line_feeds += code_point == '\n';
        }
    }
    bool const braced = line_feeds >= 3 || quotes >= 1 || remaining >= 50;

    append_char(*output, braced ? '{' : '"');
    std::uint32_t open_braces = 0;
    bool balanced = true;
    for (std::uint32_t place = start; place < end; ++place) {
        // Appending may move the source when it is the output itself: read the unit afresh each time.
        std::uint32_t const code_point = detail::unit_at(node::buffer(text->word2), place);
        if (!braced) {
            mold_char(*output, code_point, all);
            continue;
        }
        switch (code_point) {
        case '{':
            if (balanced && brace_matched(*text, place, end)) {
                append_char(*output, '{');
                ++open_braces;
            } else {
                // Once one brace is unmatched every later one is escaped too: the reader then never
                // mistakes which brace closes the text.
                balanced = false;
                concatenate_literal(*output, "^{");
            }
            break;
        case '}':
            if (open_braces >= 1) {
                append_char(*output, '}');
                --open_braces;
            } else {
                concatenate_literal(*output, "^}");
            }
            break;
        case '"':
            append_char(*output, '"');
            break;
        case '^':
            concatenate_literal(*output, "^^");
            break;
        default:
            mold_char(*output, code_point, all);
        }
    }
    append_char(*output, braced ? '}' : '"');
    return limit - static_cast<std::int32_t>(end - start) - 2;
}

Cell to(Cell const&, Cell const& spec_value, TypeId type)
{
    Rooted spec(spec_value);
    Rooted result(cell::make(type_ids::none));
    TypeId const spec_type = cell::type_of(*spec);
    switch (spec_type) {
    case type_ids::none: {
        Cell const target = datatype::make(type);
        fire_error(err::script::bad_to_arg, &target, &*spec);
    }
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        *result = make(16);
        insert(*result, *spec, -1, false, 1, true);
        break;
    case type_ids::refinement: {
        *result = make(16);
        if (type == type_id) {
            detail::form_typed(*spec, *result, nullptr, 0);
        } else {
            auto const mold_slot = datatype::actions(spec_type).mold;
            if (mold_slot == nullptr) fire_error(err::internal::not_done);
            mold_slot(*spec, *result, false, false, false, nullptr, 0, 0);
        }
        break;
    }
    case type_ids::binary: {
        std::uint32_t const length = rs_length_q(*spec);
        // The decoder reads caller memory that must not move while the result grows: copy the bytes out.
        std::vector<std::byte> bytes(length);
        if (length != 0) std::memcpy(bytes.data(), rs_head(*spec), length);
        *result = load_utf8_strict(bytes.data(), length);
        break;
    }
    default:
        if (is_text_type(spec_type)) {
            *result = series::copy(*spec, nullptr, false, nullptr);
        } else {
            *result = detail::formed(*spec);
        }
    }
    cell::set_type(*result, type);
    result->word1 = 0;
    result->word3 = 0;
    return *result;
}

Cell make(Cell const& prototype, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (spec_type == type_ids::integer || spec_type == type_ids::float_) {
        std::int32_t const capacity = number::to_int_checked(spec);
        if (capacity < 0) fire_error(err::script::out_of_range, &spec);
        NodeId const id = series::alloc_bytes(static_cast<std::uint64_t>(capacity));
        return cell::make(type, 0, id, 0);
    }
    if (type == type_ids::binary) {
        if (spec_type == type_ids::money) {
            Cell const target = datatype::make(type_ids::binary);
            fire_error(err::script::bad_make_arg, &target, &spec);
        }
        auto const binary_to
            = datatype::is_registered(type_ids::binary) ? datatype::actions(type_ids::binary).to : nullptr;
        if (binary_to == nullptr) fire_error(err::internal::not_done);
        return binary_to(prototype, spec, type);
    }
    return to(prototype, spec, type);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    bool const equality = op == CompareOp::Equal || op == CompareOp::NotEqual || op == CompareOp::StrictEqual
        || op == CompareOp::Same || op == CompareOp::FindEqual || op == CompareOp::FindPathEqual
        || op == CompareOp::FindStrictPathEqual;
    if (cell::type_of(value1) != cell::type_of(value2)) {
        if (!is_text_type(cell::type_of(value2)) || (op != CompareOp::Equal && op != CompareOp::NotEqual))
            return compare_incomparable;
    }
    std::int32_t const order = equal_q(value1, value2, op, false);
    // The equality codes answer 0 or 1, whichever side of a difference the first unequal unit fell on.
    return equality ? (order != 0) : order;
}

Cell eval_path(PathStep const& step)
{
    TypeId const type = cell::type_of(step.value);
    Cell const* path = step.path ? step.path : &step.value;
    switch (cell::type_of(step.element)) {
    case type_ids::integer: {
        std::int32_t const index = cell::integer_payload(step.element);
        TypeActions const& actions = datatype::actions(type);
        if (step.new_value) return actions.poke(step.value, index, step.element, *step.new_value);
        return actions.pick(step.value, index, step.element);
    }
    case type_ids::word:
        fire_error(err::script::invalid_path, path, &step.element);
    default:
        break;
    }
    FindOptions const options {};
    if (!step.new_value) return select(step.value, step.element, options);
    Rooted new_value(*step.new_value);
    Rooted found(find(step.value, step.element, options));
    if (cell::type_of(*found) == type_ids::none) fire_error(err::script::bad_path_set, path, &step.element);
    Cell const position = cell::make(type_ids::integer, 0, 2);
    return datatype::actions(cell::type_of(*found)).poke(*found, 2, position, *new_value);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::series,
    .name = "string!",
    .actions = {
        .make = make,
        .random = inherit,
        .reflect = inherit,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .append = insert,
        .at = inherit,
        .back = inherit,
        .change = change,
        .clear = inherit,
        .copy = inherit,
        .find = find,
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
        .select = select,
        .sort = sort,
        .skip = inherit,
        .swap = swap,
        .tail = inherit,
        .tail_q = inherit,
        .take = take,
        .trim = trim,
        .modify = inherit,
    },
};

}
