// date!: making, text, fields, comparison and arithmetic of dates, over the calendar of calendar.cpp.

#include "datatypes/date.h"

#include <charconv>
#include <cmath>
#include <iterator>

#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/number_shared.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_members.h"
#include "datatypes/time.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::date {

namespace {

[[noreturn]] void type_limit()
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::type_limit, &datatype);
}

// The day number of 1 January 1970, where epoch seconds count from.
std::int64_t epoch_day()
{
    return to_days(1970, 1, 1);
}

// A date taken apart: the local day number, the stored seconds, the zone bits and the time flag.
struct Parts {
    std::int64_t days;
    double seconds;
    std::uint32_t zone;
    bool time;

    double local_seconds() const { return seconds + zone_seconds(zone); }
};

Parts parts_of(Cell const& value)
{
    std::uint32_t const word = packed(value);
    return Parts { to_days(word), seconds(value), zone_of(word), has_time(word) };
}

// The date of the parts, whole days carried out of the seconds; without a time its seconds and zone are
// dropped. A year outside the packable range raises type-limit.
Cell date_of(Parts parts)
{
    if (!parts.time) {
        parts.seconds = 0;
        parts.zone = 0;
    }
    if (!normalize(parts.days, parts.seconds, parts.zone)) type_limit();
    std::optional<std::uint32_t> const word = from_days(parts.days, parts.zone, parts.time);
    if (!word) type_limit();
    return make(*word, parts.seconds);
}

void keep_flags(Cell& cell, Cell const& made)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, made.word1, made.word2, made.word3 };
}

}

// ---- Makers -------------------------------------------------------------------------------------------

void make_at(Cell& cell, std::int32_t year, std::int32_t month, std::int32_t day, double local_seconds,
    std::int32_t zone_minutes, bool time_given)
{
    std::optional<std::uint32_t> const zone = zone_from_minutes(zone_minutes);
    if (!zone) type_limit();
    Parts const parts { to_days(year, month, day), local_seconds - zone_seconds(*zone), *zone, time_given };
    keep_flags(cell, date_of(parts));
}

void make_from_parts(Cell& cell, std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hours,
    std::int32_t minutes, std::int32_t seconds, std::int32_t nanoseconds)
{
    double const local = hours * 3600.0 + minutes * 60.0 + seconds + nanoseconds * 0.000000001;
    make_at(cell, year, month, day, local, 0, true);
}

Cell* make_in(Cell const& block, std::uint32_t packed, double seconds)
{
    Cell* cell = series::append_cell(block);
    *cell = make(packed, seconds);
    return cell;
}

Cell* push(std::uint32_t packed, double seconds)
{
    return stack::push(make(packed, seconds));
}

// ---- The calendar of a date value ----------------------------------------------------------------------

std::int64_t to_epoch_seconds(Cell const& date)
{
    Parts const parts = parts_of(date);
    double const since = static_cast<double>(parts.days - epoch_day()) * seconds_per_day + parts.seconds;
    return static_cast<std::int64_t>(std::floor(since + 0.5));
}

Cell difference(Cell const& a, Cell const& b)
{
    Parts const first = parts_of(a);
    Parts const second = parts_of(b);
    return time::make(
        static_cast<double>(first.days - second.days) * seconds_per_day + (first.seconds - second.seconds));
}

void do_math(MathOp op)
{
    Cell& left = stack::state.base[0];
    Cell const& right = stack::state.base[1];
    Parts parts = parts_of(left);
    double const sign = op == MathOp::Add ? 1.0 : -1.0;
    switch (cell::type_of(right)) {
    case type_ids::integer:
        parts.days += static_cast<std::int64_t>(sign) * integer::get(right);
        break;
    case type_ids::time:
        parts.seconds += sign * time::get(right);
        parts.time = true;
        break;
    case type_id: {
        if (op == MathOp::Add) number::not_related(MathOp::Add, type_id);
        // Whole days between the instants, counted in the zone of the left date.
        Parts const other = parts_of(right);
        std::int64_t days = parts.days - other.days;
        double seconds = parts.seconds - other.seconds;
        if (!normalize(days, seconds, parts.zone)) type_limit();
        integer::make_at(left, static_cast<std::int32_t>(days));
        return;
    }
    default:
        number::invalid_type(right);
    }
    keep_flags(left, date_of(parts));
}

namespace {

// ---- Making -------------------------------------------------------------------------------------------

[[noreturn]] void bad_to_arg(Cell const& spec)
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &datatype, &spec);
}

// A zone given in a block: its hours as an integer! and optionally its minutes as another, or a time! of
// the offset (its hours and minutes). nullopt for any other shape or a zone beyond ±15:45.
std::optional<std::uint32_t> zone_of_time(double seconds)
{
    double const magnitude = std::fabs(seconds);
    if (!(magnitude < 16.0 * 3600.0)) return std::nullopt;
    auto const minutes = static_cast<std::int32_t>(magnitude / 60.0);
    return zone_from_minutes(seconds < 0 ? -minutes : minutes);
}

// A date from a block: [d m y], then a time! and a zone, or [d m y h m], then seconds and a zone. The first
// value is the year when it is above 99 and the third is smaller. `checked` (make) refuses values that
// carry: the date must come out as given, with the given hour and minute.
Cell from_block(Cell const& spec, bool checked)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const count = spec.word1 < length ? length - spec.word1 : 0;
    if (count < 3 || count > 8) bad_to_arg(spec);
    Cell values[8];
    for (std::uint32_t i = 0; i < count; ++i) values[i] = buffer->head_cell()[spec.word1 + i];
    auto is = [&](std::uint32_t i, TypeId type) { return i < count && cell::type_of(values[i]) == type; };
    for (std::uint32_t i = 0; i < 3; ++i)
        if (!is(i, type_ids::integer)) bad_to_arg(spec);

    std::int32_t const first = integer::get(values[0]);
    std::int32_t const month = integer::get(values[1]);
    std::int32_t const third = integer::get(values[2]);
    bool const year_first = first > 99 && third < first;
    std::int32_t const year = year_first ? first : third;
    std::int32_t const day = year_first ? third : first;

    double local = 0;
    double given_hour = 0;
    double given_minute = 0;
    std::uint32_t zone = 0;
    std::uint32_t next = 3;
    if (is(3, type_ids::time)) {
        local = time::get(values[3]);
        given_hour = std::trunc(local / 3600.0);
        given_minute = std::floor(std::fmod(std::fabs(local), 3600.0) / 60.0);
        next = 4;
    } else if (is(3, type_ids::integer)) {
        if (!is(4, type_ids::integer)) bad_to_arg(spec);
        given_hour = integer::get(values[3]);
        given_minute = integer::get(values[4]);
        local = given_hour * 3600.0 + given_minute * 60.0;
        next = 5;
        if (is(5, type_ids::integer) || is(5, type_ids::float_)) {
            local += is(5, type_ids::integer) ? integer::get(values[5]) : float_::get(values[5]);
            next = 6;
        }
    } else if (count > 3) {
        bad_to_arg(spec);
    }
    if (next < count && next > 3) {
        std::optional<std::uint32_t> given_zone;
        if (is(next, type_ids::time)) {
            given_zone = zone_of_time(time::get(values[next]));
            ++next;
        } else if (is(next, type_ids::integer)) {
            std::int32_t const hours = integer::get(values[next++]);
            std::int32_t minutes = 0;
            if (is(next, type_ids::integer)) minutes = integer::get(values[next++]);
            if (hours >= -15 && hours <= 15 && minutes >= 0 && minutes < 60)
                given_zone = zone_from_minutes(hours < 0 ? hours * 60 - minutes : hours * 60 + minutes);
        }
        if (!given_zone) bad_to_arg(spec);
        zone = *given_zone;
    }
    if (next != count || !std::isfinite(local)) bad_to_arg(spec);

    bool const time_given = count > 3;
    Parts const parts { with_month(year, month, day), local - zone_seconds(zone), zone, time_given };
    Cell const result = date_of(parts);
    if (checked) {
        std::uint32_t const word = packed(result);
        double const result_local = parts_of(result).local_seconds();
        if (year_of(word) != year || month_of(word) != month || day_of(word) != day
            || std::floor(result_local / 3600.0) != given_hour
            || std::floor(std::fmod(result_local, 3600.0) / 60.0) != given_minute)
            bad_to_arg(spec);
    }
    return result;
}

// Seconds since 1 January 1970 UTC: a UTC date and time.
Cell from_epoch_seconds(std::int32_t seconds)
{
    std::int64_t const whole = seconds;
    std::int64_t const days = (whole >= 0 ? whole : whole - 86399) / 86400;
    return date_of(Parts { epoch_day() + days, static_cast<double>(whole - days * 86400), 0, true });
}

Cell make_or_to(Cell const& spec, bool checked)
{
    switch (cell::type_of(spec)) {
    case type_id:
        return spec;
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        return from_block(spec, checked);
    case type_ids::integer:
        if (!checked) return from_epoch_seconds(integer::get(spec));
        [[fallthrough]];
    default:
        bad_to_arg(spec);
    }
}

Cell make_action(Cell const&, Cell const& spec, TypeId)
{
    return make_or_to(spec, true);
}

Cell to(Cell const&, Cell const& spec, TypeId)
{
    return make_or_to(spec, false);
}

// ---- Text ---------------------------------------------------------------------------------------------

// day-Mon-year, "/" separating the fields of a negative year; then "/" and the local time, and the zone
// when it is not 0. The month's three letters come from the names in system/locale/months.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    Parts const parts = parts_of(value);
    std::uint32_t word = packed(value);
    double local = parts.local_seconds();
    // The time's text rounds its seconds: a time that rounds up to midnight is written as the next day's.
    if (parts.time && local >= 86340.0) {
        std::string_view const second = float_::format_precision(local - 86340.0, 6, float_::KeepZero::No);
        if (float_::from_text(second) >= 60.0) {
            if (std::optional<std::uint32_t> const next = from_days(parts.days + 1, parts.zone, true)) {
                word = *next;
                local = 0;
            }
        }
    }
    std::int32_t const year = year_of(word);
    std::int32_t const month = month_of(word);

    Cell const months = system_members::months();
    if (!type_ids::is_list(cell::type_of(months)) || month < 1
        || series::length_of(months) < static_cast<std::uint32_t>(month))
        fire_error(err::script::invalid_months);
    Rooted name(node::buffer(months.word2)->head_cell()[months.word1 + static_cast<std::uint32_t>(month) - 1]);
    if (cell::type_of(*name) != type_ids::string) fire_error(err::script::invalid_months);

    char const separator = year < 0 ? '/' : '-';
    char text[16]; // the day and a separator
    char* end = std::to_chars(text, std::end(text), day_of(word)).ptr;
    *end++ = separator;
    limit = string::append_ascii(buffer, { text, static_cast<std::size_t>(end - text) }, limit);
    std::uint32_t const letters = series::length_of(*name) < 3 ? series::length_of(*name) : 3;
    string::splice(buffer, *name, 3, 0, false, string::SpliceMode::Append);
    limit -= static_cast<std::int32_t>(letters);

    end = text;
    *end++ = separator;
    if (year < 0) *end++ = '-';
    std::int32_t const magnitude = year < 0 ? -year : year;
    if (magnitude <= 99 && year >= 0)
        for (std::int32_t place = 1000; place > magnitude && place > 1; place /= 10) *end++ = '0';
    end = std::to_chars(end, std::end(text), magnitude).ptr;
    limit = string::append_ascii(buffer, { text, static_cast<std::size_t>(end - text) }, limit);
    if (!parts.time) return limit;

    limit = string::append_ascii(buffer, "/", limit);
    limit = datatype::actions(time::type_id).form(time::make(local), buffer, nullptr, limit);
    std::int32_t const offset = zone_seconds(parts.zone);
    if (offset == 0) return limit;
    std::int32_t const zone_minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[8] = { offset < 0 ? '-' : '+', static_cast<char>('0' + zone_minutes / 600),
        static_cast<char>('0' + zone_minutes / 60 % 10), ':', static_cast<char>('0' + zone_minutes % 60 / 10),
        static_cast<char>('0' + zone_minutes % 10) };
    return string::append_ascii(buffer, { zone, 6 }, limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

// ---- Fields -------------------------------------------------------------------------------------------

enum class Field {
    date = 1,
    year,
    month,
    day,
    zone,
    time,
    hour,
    minute,
    second,
    weekday,
    yearday,
    timezone,
    week,
    isoweek,
};
constexpr std::int32_t field_count = 14;

// The field a word names; 0 for another word.
std::int32_t field_of_word(Cell const& word)
{
    using words::Symbol;
    static constexpr Symbol names[] = { Symbol::date, Symbol::year, Symbol::month, Symbol::day, Symbol::zone,
        Symbol::time, Symbol::hour, Symbol::minute, Symbol::second, Symbol::weekday, Symbol::yearday, Symbol::timezone,
        Symbol::week, Symbol::isoweek };
    SymbolId const name = symbol::resolve(word.word2);
    for (std::int32_t i = 0; i < field_count; ++i)
        if (name == symbol::resolve(words::symbol_of(names[i]))) return i + 1;
    if (name == symbol::resolve(words::symbol_of(Symbol::julian))) return static_cast<std::int32_t>(Field::yearday);
    return 0;
}

// The field an accessor names: a word or an index 1 to 14; 0 for anything else.
std::int32_t field_of(Cell const& accessor)
{
    TypeId const type = cell::type_of(accessor);
    if (type == type_ids::word) return field_of_word(accessor);
    if (type == type_ids::integer) {
        std::int32_t const index = integer::get(accessor);
        if (index >= 1 && index <= field_count) return index;
    }
    return 0;
}

Cell read_field(Cell const& value, Field field)
{
    Parts const parts = parts_of(value);
    std::uint32_t const word = packed(value);
    double const local = parts.local_seconds();
    switch (field) {
    case Field::date:
        return make(pack(year_of(word), month_of(word), day_of(word), 0, false), 0);
    case Field::year:
        return integer::make(year_of(word));
    case Field::month:
        return integer::make(month_of(word));
    case Field::day:
        return integer::make(day_of(word));
    case Field::zone:
    case Field::timezone:
        return parts.time ? time::make(zone_seconds(parts.zone)) : none_value;
    case Field::time:
        return parts.time ? time::make(local) : none_value;
    case Field::hour:
        return integer::make(static_cast<std::int32_t>(std::floor(local / 3600.0)));
    case Field::minute:
        return integer::make(static_cast<std::int32_t>(std::floor(std::fmod(local, 3600.0) / 60.0)));
    case Field::second:
        return float_::make(std::fmod(local, 60.0));
    case Field::weekday:
        return integer::make(weekday_of(parts.days) + 1);
    case Field::yearday:
        return integer::make(yearday_of(parts.days));
    case Field::week:
        return integer::make(week_of(parts.days));
    case Field::isoweek:
        return integer::make(isoweek_of(parts.days));
    }
    return none_value;
}

[[noreturn]] void invalid_arg(Cell const& new_value)
{
    fire_error(err::script::invalid_arg, &new_value);
}

std::int32_t integer_arg(Cell const& new_value)
{
    if (cell::type_of(new_value) != type_ids::integer) invalid_arg(new_value);
    return integer::get(new_value);
}

// A new zone: whole hours as an integer!, or a time! of the offset; nothing beyond ±15:45.
std::uint32_t zone_arg(Cell const& new_value)
{
    std::optional<std::uint32_t> zone;
    TypeId const type = cell::type_of(new_value);
    if (type == type_ids::integer) {
        std::int32_t const hours = integer::get(new_value);
        if (hours >= -15 && hours <= 15) zone = zone_from_minutes(hours * 60);
    } else if (type == type_ids::time) {
        zone = zone_of_time(time::get(new_value));
    }
    if (!zone) invalid_arg(new_value);
    return *zone;
}

// The date with one field replaced. Every setter works on the local date and time and inverts its getter:
// a field set to the value it reads changes nothing, and the other fields read as before where the new
// value allows. Values beyond a field's range carry into the fields above.
Cell write_field(Cell const& value, Field field, Cell const& new_value)
{
    Parts parts = parts_of(value);
    std::uint32_t const word = packed(value);
    std::int32_t const year = year_of(word);
    std::int32_t const month = month_of(word);
    std::int32_t const day = day_of(word);
    double const local = parts.local_seconds();
    switch (field) {
    case Field::date:
        // Only the calendar date changes: the time and the zone stay, as the getter leaves them out.
        if (cell::type_of(new_value) != type_id) invalid_arg(new_value);
        parts.days = to_days(packed(new_value));
        break;
    case Field::year:
        parts.days = to_days(integer_arg(new_value), month, day);
        break;
    case Field::month:
        parts.days = with_month(year, integer_arg(new_value), day);
        break;
    case Field::day:
        parts.days = to_days(year, month, integer_arg(new_value));
        break;
    case Field::zone: {
        std::uint32_t const zone = zone_arg(new_value);
        parts.seconds = local - zone_seconds(zone);
        parts.zone = zone;
        parts.time = true;
        break;
    }
    case Field::timezone:
        parts.zone = zone_arg(new_value);
        parts.time = true;
        break;
    case Field::time:
        if (cell::type_of(new_value) == type_ids::none) {
            parts.time = false;
            break;
        }
        if (cell::type_of(new_value) != type_ids::time || !std::isfinite(time::get(new_value))) invalid_arg(new_value);
        parts.seconds = time::get(new_value) - zone_seconds(parts.zone);
        parts.time = true;
        break;
    case Field::hour:
        parts.seconds += (integer_arg(new_value) - std::floor(local / 3600.0)) * 3600.0;
        parts.time = true;
        break;
    case Field::minute:
        parts.seconds += (integer_arg(new_value) - std::floor(std::fmod(local, 3600.0) / 60.0)) * 60.0;
        parts.time = true;
        break;
    case Field::second: {
        TypeId const type = cell::type_of(new_value);
        double second;
        if (type == type_ids::integer)
            second = integer::get(new_value);
        else if (type == type_ids::float_ && std::isfinite(float_::get(new_value)))
            second = float_::get(new_value);
        else
            invalid_arg(new_value);
        parts.seconds += second - std::fmod(local, 60.0);
        parts.time = true;
        break;
    }
    case Field::weekday:
        parts.days = with_weekday(parts.days, integer_arg(new_value));
        break;
    case Field::yearday:
        parts.days = with_yearday(parts.days, integer_arg(new_value));
        break;
    case Field::week:
        parts.days = with_week(parts.days, integer_arg(new_value));
        break;
    case Field::isoweek:
        parts.days = with_isoweek(parts.days, integer_arg(new_value));
        break;
    }
    Cell changed = value;
    keep_flags(changed, date_of(parts));
    return changed;
}

// A set step answers the whole changed date: the evaluator stores it back where the date came from.
Cell eval_path(PathStep const& step)
{
    std::int32_t const field = field_of(step.element);
    if (field == 0) {
        Cell const path = step.path ? *step.path : step.value;
        fire_error(err::script::invalid_path, &path, &step.element);
    }
    if (!step.new_value) return read_field(step.value, static_cast<Field>(field));
    return write_field(step.value, static_cast<Field>(field), *step.new_value);
}

Cell pick(Cell const& value, std::int32_t, Cell const& index_value)
{
    std::int32_t const field = field_of(index_value);
    if (field == 0) fire_error(err::script::out_of_range, &index_value);
    return read_field(value, static_cast<Field>(field));
}

// ---- Comparison ---------------------------------------------------------------------------------------

// Two dates with times compare as instants, whatever their zones; a date without a time compares by its
// local date first, then by the seconds. same? asks for identical bits.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    if (op == CompareOp::Same)
        return value1.word1 == value2.word1 && value1.word2 == value2.word2 && value1.word3 == value2.word3 ? 0 : 1;
    Parts const a = parts_of(value1);
    Parts const b = parts_of(value2);
    double left = a.seconds;
    double const right = b.seconds;
    std::int32_t order = 0;
    if (a.time && b.time)
        left += static_cast<double>(a.days - b.days) * seconds_per_day;
    else if (a.days != b.days)
        order = a.days < b.days ? -1 : 1;
    if (order == 0 && !float_::almost_equal_q(left, right)) order = left < right ? -1 : 1;
    if (actions::is_equality(op)) return order == 0 ? 0 : 1;
    return order;
}

// A time of day drawn in steps of 24 seconds, 0 to 86,400. The secure form spreads two draws over the hour
// scale, as float! does.
double random_seconds(bool secure)
{
    double hour_steps = 0;
    if (secure) {
        double const fraction = random::secure() / 2147483647.0;
        double const whole = random::secure();
        hour_steps = (whole + fraction) * 3600.0 / 2147483648.0;
    } else {
        hour_steps = random::next() / 2147483647.0 * 3600.0;
    }
    return std::floor(hour_steps) * 24.0;
}

// With /seed the generator takes the packed date plus the whole seconds. Otherwise the day is drawn from the
// first day number to this date's, the zone and time flag kept; a date with a time also gets random zone
// bits and a random time of day, then carries into the day as every date does. A year beyond the packable
// range raises type-limit. /only plays no part.
Cell random(Cell const& value, bool seed, bool secure, bool)
{
    if (seed) {
        auto const whole_seconds = static_cast<std::int64_t>(seconds(value));
        random::seed(static_cast<std::int32_t>(packed(value) + static_cast<std::uint32_t>(whole_seconds)));
        return unset_value;
    }
    Parts parts = parts_of(value);
    parts.days = random::int_(static_cast<std::int32_t>(parts.days), secure) - 1;
    if (parts.time) {
        parts.zone = static_cast<std::uint32_t>(random::draw(secure)) & zone_mask;
        // A zero offset carries no sign.
        if ((parts.zone & ~zone_sign) == 0) parts.zone = 0;
        parts.seconds = random_seconds(secure);
    }
    Cell drawn = value;
    keep_flags(drawn, date_of(parts));
    return drawn;
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = no_parent,
    .name = "date!",
    .actions = {
        .make = make_action,
        .random = random,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .add = number::math_slot<do_math, MathOp::Add>,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .pick = pick,
    },
};

}
