// The entries of the series actions: the modifiers (append, insert, change and the rest), copy, the
// searches, element access and length?. append, insert and change turn their /part limit into a count
// here, so that every type's slot receives a plain number.

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/port.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "interpreter/actions.h"
#include "interpreter/actions_private.h"

namespace xol::actions {

namespace {

using namespace detail;

// The values /part can cut before they go in: those with a buffer of units.
// TODO(map!): map! counts its cells; it goes through as any other buffer until then.
bool has_buffer(TypeId type)
{
    return series::is_series_type(type) || type == type_ids::map;
}

bool same_series(Cell const& series, Cell const& other)
{
    return cell::type_of(series) == cell::type_of(other) && series::node_of(series) == series::node_of(other);
}

// The index clamped to the tail: another value on the same buffer may have shortened it.
std::uint32_t clamped_index(Cell const& value)
{
    return std::min(series::index_of(value), series::rs_total_length(value));
}

[[noreturn]] void fire_bad_part(Cell const& limit)
{
    Cell const word = series::refinement_word("part");
    fire_error(err::script::invalid_refine_arg, &word, &limit);
}

// A number as a count of units: an integer! as it is, a float! cut toward zero (clamped to 32 bits).
bool number_count(Cell const& limit, std::int64_t& count)
{
    if (cell::type_of(limit) == type_ids::integer) {
        count = integer::get(limit);
        return true;
    }
    if (cell::type_of(limit) == type_ids::float_) {
        double const number = cell::float_payload(limit);
        count = number != number ? 0 : static_cast<std::int64_t>(std::clamp(number, -2147483648.0, 2147483647.0));
        return true;
    }
    return false;
}

std::int32_t integer_argument(Cell const& value)
{
    if (cell::type_of(value) != type_ids::integer) fire_error(err::script::invalid_arg, &value);
    return integer::get(value);
}

// The /part limit of append and insert as a count of the value's units from its position: a number as
// a count, a position in the value as the distance to it. A limit before the position moves the value's
// index back to it, so the count is never negative; a count past the tail stops there, unless
// `counts_output` (a binary! target with /only counts the bytes a block brings, not its values).
// -1 without /part. `value` is the frame's own argument cell, adjusted in place.
std::int32_t insert_part(Cell& value, Refinement part, bool counts_output)
{
    if (!part) return -1;
    Cell const& limit = *part;
    if (!has_buffer(cell::type_of(value))) fire_error(err::script::invalid_part, &limit);
    std::uint32_t const total = series::rs_total_length(value);
    std::uint32_t const index = clamped_index(value);
    std::int64_t count = 0;
    if (!number_count(limit, count)) {
        if (!same_series(value, limit)) fire_bad_part(limit);
        count = std::int64_t { clamped_index(limit) } - index;
    }
    std::int64_t const start = std::max<std::int64_t>(0, index + std::min<std::int64_t>(count, 0));
    series::set_index(value, static_cast<std::uint32_t>(start));
    if (count < 0) count = index - start;
    if (counts_output) return static_cast<std::int32_t>(count);
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, total - start));
}

// append and insert share their entry. Nothing to insert (a /part count of 0, a /dup count of 0 or
// less) leaves the series as it came, in the base cell; no slot runs. A port's actor hears of every
// call, those included.
void insert_or_append(std::int32_t const* refinements, bool append)
{
    Cell const& series = argument(0);
    action_types::Insert const slot = lookup_of(series, append ? &TypeActions::append : &TypeActions::insert);
    Cell& value = argument(1);
    bool const counts_output
        = cell::type_of(series) == type_ids::binary && used(refinements[1]) && type_ids::is_list(cell::type_of(value));
    std::int32_t const part = insert_part(value, refinement_argument(refinements[0]), counts_output);
    bool const is_port = cell::type_of(series) == type_ids::port;
    if (part == 0 && !is_port) return;
    Refinement const dup = refinement_argument(refinements[2]);
    std::int32_t const times = dup ? integer_argument(*dup) : 1;
    if (times <= 0 && !is_port) return;
    set_result(slot(series, value, part, used(refinements[1]), times, append));
}

// The /part limit of change as the count of units it replaces from the series' position: a number as a
// count, a position in the changed series as the distance to it. A limit before the position replaces
// nothing. -1 without /part.
std::int32_t change_part(Cell const& series, Refinement part)
{
    if (!part) return -1;
    Cell const& limit = *part;
    std::int64_t count = 0;
    if (!number_count(limit, count)) {
        if (!has_buffer(cell::type_of(series)) || !same_series(series, limit)) fire_bad_part(limit);
        count = std::int64_t { clamped_index(limit) } - clamped_index(series);
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(count, 0));
}

FindOptions find_options(std::int32_t const* refinements, bool with_find_only)
{
    return FindOptions {
        .part = refinement_argument(refinements[0]),
        .only = used(refinements[1]),
        .case_sensitive = used(refinements[2]),
        .same = used(refinements[3]),
        .any = used(refinements[4]),
        .with = refinement_argument(refinements[5]),
        .skip = refinement_argument(refinements[6]),
        .last = used(refinements[7]),
        .reverse = used(refinements[8]),
        .tail = with_find_only && used(refinements[9]),
        .match = with_find_only && used(refinements[10]),
    };
}

}

Cell insert_typed(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append)
{
    return lookup_of(series, append ? &TypeActions::append : &TypeActions::insert)(
        series, value, part, only, dup, append);
}

std::int32_t pick_index(Cell const& index)
{
    switch (cell::type_of(index)) {
    case type_ids::integer:
        return integer::get(index);
    case type_ids::char_:
        return static_cast<std::int32_t>(char_::get(index));
    case type_ids::logic:
        return logic::get(index) ? 1 : 2;
    default:
        return 0;
    }
}

Cell pick_typed(Cell const& series, Cell const& index)
{
    return lookup_of(series, &TypeActions::pick)(series, pick_index(index), index);
}

Cell poke_typed(Cell const& series, Cell const& index, Cell const& value)
{
    return lookup_of(series, &TypeActions::poke)(series, pick_index(index), index, value);
}

Cell find_typed(Cell const& series, Cell const& value, FindOptions const& options)
{
    return lookup_of(series, &TypeActions::find)(series, value, options);
}

Cell select_typed(Cell const& series, Cell const& value, FindOptions const& options)
{
    return lookup_of(series, &TypeActions::select)(series, value, options);
}

std::int32_t length_q_typed(Cell const& value)
{
    return lookup_of(value, &TypeActions::length_q)(value);
}

namespace detail {

// Refinements of append and insert: /part /only /dup.
void append(std::int32_t const* refinements)
{
    // The commonest appends, a text, an integer or a char to a string and a value to a block, with neither
    // /part nor /dup, go in at once when the target has room and no owner: the series at its head, already
    // in the base cell, is the result.
    Cell& series = argument(0);
    if (!used(refinements[0]) && !used(refinements[2])) {
        TypeId const type = cell::type_of(series);
        action_types::Insert const slot = datatype::is_registered(type) ? datatype::actions(type).append : nullptr;
        if ((slot == &string::insert && string::append_in_room(series, argument(1), -1))
            || (slot == &block::insert && block::append_in_room(series, argument(1), used(refinements[1])))) {
            series::set_index(series, 0);
            return;
        }
    }
    insert_or_append(refinements, true);
}
void insert(std::int32_t const* refinements)
{
    insert_or_append(refinements, false);
}

// Refinements: /part /only /dup.
void change(std::int32_t const* refinements)
{
    Cell const& series = argument(0);
    action_types::Change const slot = lookup_of(series, &TypeActions::change);
    std::int32_t const part = change_part(series, refinement_argument(refinements[0]));
    Refinement const dup = refinement_argument(refinements[2]);
    std::int32_t const times = dup ? integer_argument(*dup) : 1;
    set_result(slot(series, argument(1), part, used(refinements[1]), times));
}

// Refinements: /part /deep /types.
void copy(std::int32_t const* refinements)
{
    Cell const& value = argument(0);
    action_types::Copy const slot = lookup_of(value, &TypeActions::copy);
    Refinement const types = refinement_argument(refinements[2]);
    if (types && cell::type_of(*types) != type_ids::datatype && cell::type_of(*types) != type_ids::typeset) {
        // The argument of /types is the sixth word of the spec: value /part length /deep /types kind.
        constexpr std::uint32_t types_argument = 5;
        Cell const caller = stack::caller_word();
        Cell const type_value = datatype::make(cell::type_of(*types));
        Cell const argument_word = error::function_arg_word(types_argument);
        fire_error(err::script::expect_arg, &caller, &type_value, &argument_word);
    }
    set_result(slot(value, refinement_argument(refinements[0]), used(refinements[1]), types));
}

// Refinements: /part /only /case /same /any /with /skip /last /reverse /tail /match.
void find(std::int32_t const* refinements)
{
    set_result(find_typed(argument(0), argument(1), find_options(refinements, true)));
}

// Refinements: as find, without /tail and /match.
void select(std::int32_t const* refinements)
{
    set_result(select_typed(argument(0), argument(1), find_options(refinements, false)));
}

void length_q(std::int32_t const*)
{
    // A port's actor tells its own length, which the slot's count cannot carry when it is negative.
    if (cell::type_of(argument(0)) == type_ids::port) return set_result(port::length_answer(argument(0)));
    std::int32_t const length = length_q_typed(argument(0));
    set_result(length < 0 ? none_value : integer::make(length));
}

// Refinement: /part.
void move(std::int32_t const* refinements)
{
    Cell const& origin = argument(0);
    set_result(lookup_of(origin, &TypeActions::move)(origin, argument(1), refinement_argument(refinements[0])));
}

void pick(std::int32_t const*)
{
    // A block picked by an integer, the commonest pick, reads its cell here: n counts from 1 at the
    // position, -1 is the cell before it, and a place outside the cells gives none!.
    Cell const& series = argument(0);
    Cell const& index = argument(1);
    if (cell::type_of(series) == type_ids::block && cell::type_of(index) == type_ids::integer) {
        std::int64_t const n = integer::get(index);
        std::int64_t const place = std::int64_t { series::index_of(series) } + n - (n > 0 ? 1 : 0);
        SeriesBuffer* const buffer = series::buffer_of(series);
        if (n == 0 || place < 0 || place >= buffer->cell_count()) return set_result(none_value);
        return set_result(buffer->head_cell()[place]);
    }
    set_result(pick_typed(series, index));
}

void poke(std::int32_t const*)
{
    set_result(poke_typed(argument(0), argument(1), argument(2)));
}

// Refinement: /case.
void put(std::int32_t const* refinements)
{
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::put)(series, argument(1), argument(2), used(refinements[0])));
}

// Refinements: /part /key.
void remove(std::int32_t const* refinements)
{
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::remove)(
        series, refinement_argument(refinements[0]), refinement_argument(refinements[1])));
}

// Refinements: /part /skip.
void reverse(std::int32_t const* refinements)
{
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::reverse)(
        series, refinement_argument(refinements[0]), refinement_argument(refinements[1])));
}

// Refinements: /case /skip /compare /part /all /reverse /stable.
void sort(std::int32_t const* refinements)
{
    SortOptions const options {
        .case_sensitive = used(refinements[0]),
        .skip = refinement_argument(refinements[1]),
        .compare = refinement_argument(refinements[2]),
        .part = refinement_argument(refinements[3]),
        .all = used(refinements[4]),
        .reverse = used(refinements[5]),
        .stable = used(refinements[6]),
    };
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::sort)(series, options));
}

void swap(std::int32_t const*)
{
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::swap)(series, argument(1)));
}

// Refinements: /part /deep /last.
void take(std::int32_t const* refinements)
{
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::take)(
        series, refinement_argument(refinements[0]), used(refinements[1]), used(refinements[2])));
}

// Refinements: /head /tail /auto /lines /all /with.
void trim(std::int32_t const* refinements)
{
    TrimOptions const options {
        .head = used(refinements[0]),
        .tail = used(refinements[1]),
        .auto_ = used(refinements[2]),
        .lines = used(refinements[3]),
        .all = used(refinements[4]),
        .with = refinement_argument(refinements[5]),
    };
    Cell const& series = argument(0);
    set_result(lookup_of(series, &TypeActions::trim)(series, options));
}

}

}
