// time!: the making, text, fields and typed arithmetic of durations; the numbers are float!'s.

#include "datatypes/time.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/number_shared.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::time {

void make_at(Cell& cell, double seconds)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, 0, 0 };
    cell::set_float_payload(cell, seconds);
}

Cell* make_in(Cell const& block, double seconds)
{
    Cell* cell = series::append_cell(block);
    *cell = make(seconds);
    return cell;
}

Cell* push(double seconds)
{
    return stack::push(make(seconds));
}

// ---- Fields -------------------------------------------------------------------------------------------

namespace {

// A time's parts: its sign and the whole hours, whole minutes and seconds of its magnitude. Rebuilding
// sign x (hours x 3600 + minutes x 60 + seconds) gives the time back exactly: every part is exact, and
// their exact sum is the magnitude itself.
struct Parts {
    double sign;
    double hours;
    double minutes;
    double seconds;
};

Parts parts_of(double seconds)
{
    double const magnitude = std::fabs(seconds);
    double const hours = std::trunc(magnitude / 3600.0);
    if (!std::isfinite(seconds) || hours > 2147483647.0) fire_error(err::math::overflow);
    return Parts {
        std::signbit(seconds) ? -1.0 : 1.0,
        hours,
        std::floor(std::fmod(magnitude, 3600.0) / 60.0),
        std::fmod(magnitude, 60.0),
    };
}

}

std::int32_t get_hours(double seconds)
{
    Parts const parts = parts_of(seconds);
    return static_cast<std::int32_t>(parts.sign * parts.hours);
}

std::int32_t get_minutes(double seconds)
{
    return static_cast<std::int32_t>(parts_of(seconds).minutes);
}

double get_seconds(double seconds)
{
    Parts const parts = parts_of(seconds);
    return parts.sign * parts.seconds;
}

double set_hours(double seconds, std::int32_t hours)
{
    Parts const parts = parts_of(seconds);
    double const sign = hours < 0 ? -1.0 : hours > 0 ? 1.0 : parts.sign;
    return sign * (std::fabs(static_cast<double>(hours)) * 3600.0 + parts.minutes * 60.0 + parts.seconds);
}

double set_minutes(double seconds, std::int32_t minutes)
{
    Parts const parts = parts_of(seconds);
    return parts.sign * (parts.hours * 3600.0 + static_cast<double>(minutes) * 60.0 + parts.seconds);
}

double set_seconds(double seconds, double second)
{
    Parts const parts = parts_of(seconds);
    return parts.sign * (parts.hours * 3600.0 + parts.minutes * 60.0) + second;
}

namespace {

// ---- Making -------------------------------------------------------------------------------------------

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &datatype, &spec);
}

// [hours minutes seconds], each part optional from the end: hours and minutes integer!, seconds integer!
// or float!. A negative hour makes the whole time negative; a later negative part is refused.
double from_block(Cell const& block)
{
    SeriesBuffer* buffer = node::buffer(block.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const count = block.word1 < length ? length - block.word1 : 0;
    if (count > 3) bad_to_arg(block);
    Cell const* parts = buffer->head_cell() + block.word1;
    double sign = 1.0;
    double magnitude = 0.0;
    double const unit[3] = { 3600.0, 60.0, 1.0 };
    for (std::uint32_t i = 0; i < count; ++i) {
        TypeId const type = cell::type_of(parts[i]);
        double part;
        if (type == type_ids::integer)
            part = integer::get(parts[i]);
        else if (type == type_ids::float_ && i == 2)
            part = float_::get(parts[i]);
        else
            bad_to_arg(block);
        if (part < 0) {
            if (i != 0) bad_to_arg(block);
            sign = -1.0;
            part = -part;
        }
        magnitude += part * unit[i];
    }
    return sign * magnitude;
}

// The first value of the text, which must be a time!.
double from_text(Cell const& text)
{
    Rooted kept(text);
    Rooted loaded(services.load_all(*kept));
    SeriesBuffer* buffer = node::buffer(loaded->word2);
    if (loaded->word1 >= buffer->length()) bad_to_arg(*kept);
    Cell const first = buffer->head_cell()[loaded->word1];
    if (cell::type_of(first) != type_id) bad_to_arg(*kept);
    return get(first);
}

Cell to(Cell const&, Cell const& spec, TypeId)
{
    TypeId const type = cell::type_of(spec);
    switch (type) {
    case type_ids::time:
        return make(get(spec));
    case type_ids::integer:
        return make(integer::get(spec));
    case type_ids::float_:
    case type_ids::percent:
        return make(float_::get(spec));
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        return make(from_block(spec));
    default:
        if (type_ids::is_text(type)) return make(from_text(spec));
        bad_to_arg(spec);
    }
}

// ---- Text ---------------------------------------------------------------------------------------------

// Hours, then two-digit minutes, then the seconds to six significant digits with at least two digits
// before the point. The seconds are rounded before the fields are written, so a rounding up to 60 carries
// into the minute and the hour. Every hour digit is written, however large.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    double const seconds = get(value);
    if (!std::isfinite(seconds)) return string::append_ascii(buffer, float_::form_number(seconds, 1), limit);

    double const magnitude = std::fabs(seconds);
    double hours = std::floor(magnitude / 3600.0);
    double minutes = std::floor(std::fmod(magnitude, 3600.0) / 60.0);
    double const second = std::fmod(magnitude, 60.0);
    char second_text[32] = "00";
    std::size_t second_length = 2;
    if (second >= 0.000001) {
        std::string_view const digits = float_::format_precision(second, 6, float_::KeepZero::No);
        if (float_::from_text(digits) >= 60.0) {
            minutes += 1.0;
        } else {
            bool const pad = digits.size() == 1 || digits[1] == '.';
            second_length = 0;
            if (pad) second_text[second_length++] = '0';
            std::memcpy(second_text + second_length, digits.data(), digits.size());
            second_length += digits.size();
        }
    }
    if (minutes >= 60.0) {
        minutes = 0.0;
        hours += 1.0;
    }

    char text[360]; // a sign, the 309 digits of the largest hour, the minutes and the seconds
    char* end = text;
    if (seconds < 0) *end++ = '-';
    end = std::to_chars(end, std::end(text), hours, std::chars_format::fixed, 0).ptr;
    *end++ = ':';
    auto const minute = static_cast<int>(minutes);
    *end++ = static_cast<char>('0' + minute / 10);
    *end++ = static_cast<char>('0' + minute % 10);
    *end++ = ':';
    std::memcpy(end, second_text, second_length);
    end += second_length;
    return string::append_ascii(buffer, { text, static_cast<std::size_t>(end - text) }, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

// ---- Paths and pick -----------------------------------------------------------------------------------

enum class Field { hour = 1, minute = 2, second = 3 };

Cell read_field(double seconds, Field field)
{
    if (field == Field::hour) return integer::make(get_hours(seconds));
    if (field == Field::minute) return integer::make(get_minutes(seconds));
    return float_::make(get_seconds(seconds));
}

double write_field(double seconds, Field field, Cell const& new_value)
{
    TypeId const type = cell::type_of(new_value);
    if (type == type_ids::integer) {
        std::int32_t const number = integer::get(new_value);
        switch (field) {
        case Field::hour:
            return set_hours(seconds, number);
        case Field::minute:
            return set_minutes(seconds, number);
        case Field::second:
            return set_seconds(seconds, number);
        }
    }
    if (type == type_ids::float_ && field == Field::second) return set_seconds(seconds, float_::get(new_value));
    fire_error(err::script::invalid_arg, &new_value);
}

// The field a word names; 0 for another word.
int field_of_word(Cell const& word)
{
    SymbolId const name = symbol::resolve(word.word2);
    if (name == symbol::resolve(words::symbol_of(words::Symbol::hour))) return 1;
    if (name == symbol::resolve(words::symbol_of(words::Symbol::minute))) return 2;
    if (name == symbol::resolve(words::symbol_of(words::Symbol::second))) return 3;
    return 0;
}

// A set step answers the whole changed time: the evaluator stores it back where the time came from.
Cell eval_path(PathStep const& step)
{
    int field = 0;
    TypeId const type = cell::type_of(step.element);
    if (type == type_ids::word) {
        field = field_of_word(step.element);
        if (field == 0) {
            Cell const datatype = datatype::make(type_id);
            fire_error(err::script::cannot_use, &step.element, &datatype);
        }
    } else if (type == type_ids::integer) {
        std::int32_t const index = integer::get(step.element);
        if (index >= 1 && index <= 3) field = index;
    }
    if (field == 0) {
        Cell const path = step.path ? *step.path : step.value;
        fire_error(err::script::invalid_path, &path, &step.element);
    }
    double const seconds = get(step.value);
    if (!step.new_value) return read_field(seconds, static_cast<Field>(field));
    Cell changed = step.value;
    cell::set_float_payload(changed, write_field(seconds, static_cast<Field>(field), *step.new_value));
    return changed;
}

Cell pick(Cell const& value, std::int32_t index, Cell const& index_value)
{
    int field = 0;
    if (cell::type_of(index_value) == type_ids::word)
        field = field_of_word(index_value);
    else if (index >= 1 && index <= 3)
        field = index;
    if (field == 0) fire_error(err::script::out_of_range, &index_value);
    return read_field(get(value), static_cast<Field>(field));
}

// ---- Arithmetic ---------------------------------------------------------------------------------------

// A time added to a date is the date moved on: the date's arithmetic takes it with the date on the left.
void add()
{
    if (cell::type_of(stack::state.base[1]) == type_ids::date) {
        number::swap_operands();
        number::run_slot_of(stack::state.base[0], MathOp::Add);
        return;
    }
    float_::do_math_op(MathOp::Add);
}

void subtract()
{
    if (cell::type_of(stack::state.base[1]) == type_ids::date) number::not_related(MathOp::Subtract, type_id);
    float_::do_math_op(MathOp::Subtract);
}

// A time scaled by a number; two times have no product.
void multiply()
{
    if (cell::type_of(stack::state.base[1]) == type_id) number::not_related(MathOp::Multiply, type_id);
    float_::do_math_op(MathOp::Multiply);
}

// A time divided by a number is a time; by a time, their ratio.
void divide()
{
    bool const ratio = cell::type_of(stack::state.base[1]) == type_id;
    float_::do_math_op(MathOp::Divide);
    if (ratio) cell::set_type(stack::state.base[0], float_::type_id);
}

// float!'s rounding, whose result (a float!, an integer! or the scale's type) goes back into seconds.
Cell round(Cell const& value, RoundOptions const& options)
{
    Cell const rounded = float_::round(value, options);
    double const seconds = cell::type_of(rounded) == type_ids::integer ? integer::get(rounded) : float_::get(rounded);
    Cell result = value;
    cell::set_float_payload(result, seconds);
    return result;
}

// The parity of the whole seconds within the minute; a hair more than a microsecond of noise counts as none.
std::int32_t second_within_minute(Cell const& value)
{
    double const seconds = get(value);
    parts_of(seconds); // a time without fields has no second either
    double const nudged = seconds < 0 ? seconds - 0.000001 : seconds + 0.000001;
    return static_cast<std::int32_t>(std::fmod(nudged, 60.0));
}

bool even_q(Cell const& value)
{
    return second_within_minute(value) % 2 == 0;
}

bool odd_q(Cell const& value)
{
    return second_within_minute(value) % 2 != 0;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = float_::type_id,
    .name = "time!",
    .actions = {
        .make = to,
        .random = inherit,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = inherit,
        .absolute = inherit,
        .add = add,
        .divide = divide,
        .multiply = multiply,
        .negate = inherit,
        .remainder = inherit,
        .round = round,
        .subtract = subtract,
        .even_q = even_q,
        .odd_q = odd_q,
        .pick = pick,
    },
};

}
