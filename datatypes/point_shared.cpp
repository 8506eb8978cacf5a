// point2D! and point3D!: making, text, coordinates, tolerant order and the single-precision arithmetic.

#include "datatypes/point_shared.h"

#include <bit>
#include <cmath>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/number_shared.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::point {

float coordinate_of(Cell const& number)
{
    return cell::type_of(number) == type_ids::integer ? static_cast<float>(integer::get(number))
                                                      : static_cast<float>(float_::get(number));
}

Coordinates coordinates(Cell const& value)
{
    Coordinates result { std::bit_cast<float>(value.word1), std::bit_cast<float>(value.word2), 0.0f };
    if (cell::type_of(value) == type_ids::point3d) result[2] = std::bit_cast<float>(value.word3);
    return result;
}

void store(Cell& cell, TypeId type, Coordinates const& given)
{
    cell.header = (cell.header & ~cell::type_mask) | type;
    cell.word1 = std::bit_cast<std::uint32_t>(given[0]);
    cell.word2 = std::bit_cast<std::uint32_t>(given[1]);
    cell.word3 = type == type_ids::point3d ? std::bit_cast<std::uint32_t>(given[2]) : 0;
}

namespace {

Cell made(TypeId type, Coordinates const& given)
{
    Cell value = cell::make(type);
    store(value, type, given);
    return value;
}

[[noreturn]] void bad_to_arg(TypeId type, Cell const& spec)
{
    Cell const type_value = datatype::make(type);
    fire_error(err::script::bad_to_arg, &type_value, &spec);
}

Cell from_block(TypeId type, Cell const& spec)
{
    std::uint32_t const count = dimensions(type);
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::uint32_t const index = spec.word1;
    if (index >= buffer->length() || buffer->length() - index < count) fire_error(err::syntax::malconstruct, &spec);
    Coordinates given {};
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell const item = buffer->head_cell()[index + i];
        switch (cell::type_of(item)) {
        case type_ids::integer:
            given[i] = static_cast<float>(integer::get(item));
            break;
        case type_ids::float_:
            given[i] = static_cast<float>(float_::get(item));
            break;
        default:
            fire_error(err::syntax::malconstruct, &spec);
        }
    }
    return made(type, given);
}

// A number as a coordinate: single precision, as the point stores it.
float narrowed(Cell const& number)
{
    TypeId const type = cell::type_of(number);
    return type == type_ids::integer ? static_cast<float>(integer::get(number))
                                     : static_cast<float>(float_::get(number));
}

}

// With /seed the generator takes the byte hash of the coordinates (8 bytes, 12 for a point3D!); otherwise
// each non-zero coordinate c becomes the float! draw for c, in order; a zero coordinate stays zero.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    TypeId const type = cell::type_of(value);
    Coordinates drawn = coordinates(value);
    if (seed) {
        std::uint32_t words[3] {};
        for (std::uint32_t i = 0; i < dimensions(type); ++i) words[i] = std::bit_cast<std::uint32_t>(drawn[i]);
        random::seed(static_cast<std::int32_t>(hash::string(words, 4 * dimensions(type))));
        return unset_value;
    }
    for (std::uint32_t i = 0; i < dimensions(type); ++i)
        if (drawn[i] != 0.0F) drawn[i] = static_cast<float>(float_::random_value(drawn[i], secure));
    Cell result = value;
    store(result, type, drawn);
    return result;
}

Cell make_action(Cell const&, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    switch (spec_type) {
    case type_ids::integer:
    case type_ids::float_: {
        float const each = narrowed(spec);
        return made(type, { each, each, each });
    }
    case type_ids::pair:
        return made(type, { static_cast<float>(pair::x(spec)), static_cast<float>(pair::y(spec)), 0.0f });
    case type_ids::point2d:
        return made(type, coordinates(spec));
    case type_ids::point3d:
        if (type == type_ids::point2d) bad_to_arg(type, spec);
        return spec;
    case type_ids::block:
        return from_block(type, spec);
    case type_ids::string: {
        Rooted text(spec);
        Cell const loaded = services.load_single(*text);
        if (cell::type_of(loaded) != type) bad_to_arg(type, *text);
        return loaded;
    }
    default:
        bad_to_arg(type, spec);
    }
}

// "(1.5, 2)": each coordinate to seven significant digits, without a ".0".
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    Coordinates const given = coordinates(value);
    limit = string::append_ascii(buffer, "(", limit);
    for (std::uint32_t i = 0; i < dimensions(cell::type_of(value)); ++i) {
        if (i > 0) limit = string::append_ascii(buffer, ", ", limit);
        limit = string::append_ascii(buffer, float_::form_number(given[i], 5), limit);
    }
    return string::append_ascii(buffer, ")", limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

namespace {

// 1 to 3 for a coordinate selector (an integer, or the word x, y or z) within the point's coordinates; 0
// for any other selector.
std::uint32_t coordinate_of(Cell const& selector, std::uint32_t count)
{
    TypeId const type = cell::type_of(selector);
    if (type == type_ids::integer) {
        std::int32_t const index = integer::get(selector);
        return index >= 1 && static_cast<std::uint32_t>(index) <= count ? static_cast<std::uint32_t>(index) : 0;
    }
    if (word::is_any_word(type)) {
        SymbolId const name = symbol::resolve(selector.word2);
        words::Symbol const names[] = { words::Symbol::x, words::Symbol::y, words::Symbol::z };
        for (std::uint32_t i = 0; i < count; ++i)
            if (name == symbol::resolve(words::symbol_of(names[i]))) return i + 1;
    }
    return 0;
}

}

Cell pick(Cell const& value, std::int32_t, Cell const& index_value)
{
    std::uint32_t const which = coordinate_of(index_value, dimensions(cell::type_of(value)));
    if (which == 0) {
        if (word::is_any_word(cell::type_of(index_value))) {
            Cell const word = index_value;
            Cell const point = value;
            fire_error(err::script::cannot_use, &word, &point);
        }
        fire_error(err::script::out_of_range, &index_value);
    }
    return float_::make(coordinates(value)[which - 1]);
}

// A coordinate read, or set to a number: the set step answers the changed point, which the evaluator stores
// back where the point is kept.
Cell eval_path(PathStep const& step)
{
    TypeId const element_type = cell::type_of(step.element);
    std::uint32_t const which = element_type == type_ids::integer || element_type == type_ids::word
        ? coordinate_of(step.element, dimensions(cell::type_of(step.value)))
        : 0;
    if (which == 0) fire_error(err::script::invalid_path, step.path ? step.path : &step.value, &step.element);
    if (!step.new_value) return float_::make(coordinates(step.value)[which - 1]);
    TypeId const new_type = cell::type_of(*step.new_value);
    if (new_type != type_ids::integer && new_type != type_ids::float_) {
        Cell const type = datatype::make(new_type);
        fire_error(err::script::invalid_type, &type);
    }
    Coordinates given = coordinates(step.value);
    given[which - 1] = narrowed(*step.new_value);
    Cell changed = step.value;
    store(changed, cell::type_of(changed), given);
    return changed;
}

namespace {

// The order of one coordinate: tolerant; a NaN comes after every number, and two NaNs leave the decision to
// the next coordinate.
std::int32_t order(float a, float b)
{
    bool const a_nan = std::isnan(a);
    bool const b_nan = std::isnan(b);
    if (a_nan || b_nan) return a_nan && b_nan ? 0 : a_nan ? 1 : -1;
    if (float_::almost_equal32_q(a, b)) return 0;
    return a < b ? -1 : 1;
}

}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const type = cell::type_of(value1);
    Cell other = value2;
    if (type == type_ids::point2d && cell::type_of(other) == type_ids::pair)
        other = point2d::make(static_cast<float>(pair::x(value2)), static_cast<float>(pair::y(value2)));
    if (cell::type_of(other) != type) return compare_incomparable;
    Coordinates const a = coordinates(value1);
    Coordinates const b = coordinates(other);
    std::uint32_t const count = dimensions(type);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
        for (std::uint32_t i = 0; i < count; ++i)
            if (!float_::almost_equal32_q(a[i], b[i])) return 1;
        return 0;
    case CompareOp::StrictEqual:
        for (std::uint32_t i = 0; i < count; ++i)
            if (!(a[i] == b[i])) return 1;
        return 0;
    case CompareOp::Same:
        return value1.word1 == other.word1 && value1.word2 == other.word2 && value1.word3 == other.word3 ? 0 : 1;
    default:
        for (std::uint32_t i = 0; i < count; ++i)
            if (std::int32_t const decided = order(a[i], b[i]); decided != 0) return decided;
        return 0;
    }
}

void absolute()
{
    Cell& value = stack::state.base[0];
    Coordinates given = coordinates(value);
    for (float& each : given) each = std::fabs(each);
    store(value, cell::type_of(value), given);
}

// 0.0 minus each coordinate, so a zero stays positive.
Cell negate(Cell const& value)
{
    Coordinates given = coordinates(value);
    for (float& each : given) each = 0.0f - each;
    Cell result = value;
    store(result, cell::type_of(value), given);
    return result;
}

// The second operand as coordinates: a point of the same kind, a pair! (for a point2D!), or a number on every
// coordinate; a float scales directly for multiply and divide.
void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    TypeId const type = cell::type_of(left);
    Coordinates a = coordinates(left);
    Coordinates b {};
    TypeId const right_type = cell::type_of(right);
    switch (right_type) {
    case type_ids::integer: {
        float const each = static_cast<float>(integer::get(right));
        b = { each, each, each };
        break;
    }
    case type_ids::float_:
    case type_ids::percent: {
        double const each = static_cast<float>(float_::get(right));
        if (op == MathOp::Multiply || op == MathOp::Divide) {
            for (float& coordinate : a)
                coordinate = static_cast<float>(op == MathOp::Multiply ? each * coordinate : coordinate / each);
            store(left, type, a);
            return;
        }
        b = { static_cast<float>(each), static_cast<float>(each), static_cast<float>(each) };
        break;
    }
    case type_ids::pair:
        if (type != type_ids::point2d) number::invalid_type(right);
        b = { static_cast<float>(pair::x(right)), static_cast<float>(pair::y(right)), 0.0f };
        break;
    default:
        if (right_type != type) number::invalid_type(right);
        b = coordinates(right);
    }
    for (std::uint32_t i = 0; i < dimensions(type); ++i) a[i] = static_cast<float>(float_::do_math(a[i], b[i], op));
    store(left, type, a);
}

// Each coordinate by float!'s round, to a multiple of the scale; a point or pair scale rounds each coordinate
// to its own coordinate of the scale (a point2D! scale leaves a z alone).
Cell round(Cell const& value, RoundOptions const& options)
{
    if (options.to && cell::type_of(*options.to) == type_ids::money) number::not_related_to_caller(type_ids::money);
    action_types::Round const round_float = datatype::actions(type_ids::float_).round;
    TypeId const type = cell::type_of(value);
    Coordinates given = coordinates(value);
    TypeId const scale_type = options.to ? cell::type_of(*options.to) : type_ids::none;
    bool const per_coordinate = scale_type == type_ids::point2d || scale_type == type_ids::point3d
        || (scale_type == type_ids::pair && type == type_ids::point2d);
    Coordinates scales {};
    if (per_coordinate) {
        scales = scale_type == type_ids::pair
            ? Coordinates { static_cast<float>(pair::x(*options.to)), static_cast<float>(pair::y(*options.to)), 0.0f }
            : coordinates(*options.to);
    }
    for (std::uint32_t i = 0; i < dimensions(type); ++i) {
        RoundOptions each = options;
        Cell const scale = float_::make(scales[i]);
        if (per_coordinate) each.to = &scale;
        Cell const rounded = round_float(float_::make(given[i]), each);
        given[i] = cell::type_of(rounded) == type_ids::integer ? static_cast<float>(integer::get(rounded))
                                                               : static_cast<float>(float_::get(rounded));
    }
    Cell result = value;
    store(result, type, given);
    return result;
}

// x and y trade places in a point2D!, x and z in a point3D!; /part and /skip change nothing.
Cell reverse(Cell const& value, Refinement, Refinement)
{
    Coordinates given = coordinates(value);
    std::swap(given[0], given[dimensions(cell::type_of(value)) - 1]);
    Cell result = value;
    store(result, cell::type_of(value), given);
    return result;
}

}
