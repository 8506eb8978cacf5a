// The construction and conversion natives: objects from unevaluated specs, values made from numbers, case
// changes in place, the coercion of a series to another type of its kind, and the natives that query or
// change words and the new-line markers of lists.

#include <cmath>
#include <cstdint>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/point_shared.h"
#include "datatypes/series.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol::natives {

namespace {

bool used(std::int32_t refinement)
{
    return refinement >= 0;
}

// The characters /part asks for from the text's index: a count, or the distance to a position in the same
// series of the same type. Anything else raises script invalid-refine-arg with /part and the value.
std::int32_t part_count(Cell const& text, Cell const& part)
{
    if (cell::type_of(part) == type_ids::integer) return integer::get(part);
    if (cell::type_of(part) == cell::type_of(text) && part.word2 == text.word2)
        return static_cast<std::int32_t>(part.word1) - static_cast<std::int32_t>(text.word1);
    Cell const word = series::refinement_word("part");
    fire_error(err::script::invalid_refine_arg, &word, &part);
}

// Refinement: /part limit. The owner of the text hears of the change by the native's own word.
void change_case(std::int32_t const* refinements, unicode::Case which)
{
    Cell& value = *argument(0);
    if (cell::type_of(value) == type_ids::char_) {
        unicode::change_case_value(value, 0, which);
        return;
    }
    Cell const* const part = refinement_argument(refinements[0]);
    std::int32_t const count = part ? std::max(part_count(value, *part), 0) : unicode::whole_rest;
    // The value is the result cell, on the value stack: the collector rewrites it if its node moves.
    unicode::change_case_value(value, count, which);
    std::uint32_t const length = series::length_of(value);
    auto const changed = static_cast<std::int32_t>(
        count == unicode::whole_rest ? length : std::min<std::uint32_t>(length, static_cast<std::uint32_t>(count)));
    series::tell_owner(value, which == unicode::Case::Upper ? "uppercase" : "lowercase", nullptr,
        static_cast<std::int32_t>(value.word1), changed);
}

// A coordinate of a pair: truncated toward zero. What has no 32-bit integer (an infinity, NaN, a number
// beyond the range) raises script invalid-arg, rather than passing for some arbitrary integer.
std::int32_t pair_coordinate(Cell const& value)
{
    if (cell::type_of(value) == type_ids::integer) return integer::get(value);
    double const number = float_::get(value);
    if (integer::check_float_range(std::trunc(number))) fire_error(err::script::invalid_arg, &value);
    return static_cast<std::int32_t>(number);
}

// The kinds `as` coerces within: lists (not hash!, whose table a list lacks) and texts.
enum class CoercionKind { None, List, Text };

CoercionKind coercion_kind(TypeId type)
{
    switch (type) {
    case type_ids::block:
    case type_ids::paren:
    case type_ids::path:
    case type_ids::lit_path:
    case type_ids::set_path:
    case type_ids::get_path:
        return CoercionKind::List;
    default:
        return type_ids::is_text(type) ? CoercionKind::Text : CoercionKind::None;
    }
}

// Sets a word to unset! in its context. The word is copied out of wherever it came from: setting writes its
// cached slot into it. May allocate (an object's on-change* hears of it).
void unset_word(Cell const& word)
{
    Cell target = word;
    word::set(target, unset_value);
}

}

// Refinements: /with object, /only.
void construct(std::int32_t const* refinements)
{
    Cell const* const prototype = refinement_argument(refinements[0]);
    stack::set_last(object::make_from_proto(*argument(0), prototype ? *prototype : none_value, used(refinements[1])));
}

// A word has a value unless it is unset!; any other value is its own value.
void value_q(std::int32_t const*)
{
    Cell const& value = *argument(0);
    bool set = cell::type_of(value) != type_ids::unset;
    if (word::is_bindable(cell::type_of(value))) {
        // A word bound to no context has no value to look up.
        set = word::context_of(value) != no_node && cell::type_of(*word::get_value(value)) != type_ids::unset;
    }
    logic::set_result(set);
}

void uppercase(std::int32_t const* refinements)
{
    change_case(refinements, unicode::Case::Upper);
}

void lowercase(std::int32_t const* refinements)
{
    change_case(refinements, unicode::Case::Lower);
}

void as_pair(std::int32_t const*)
{
    std::int32_t const x = pair_coordinate(*argument(0));
    std::int32_t const y = pair_coordinate(*argument(1));
    stack::set_last(pair::make(x, y));
}

void as_point2d(std::int32_t const*)
{
    stack::set_last(point2d::make(point::coordinate_of(*argument(0)), point::coordinate_of(*argument(1))));
}

void as_point3d(std::int32_t const*)
{
    stack::set_last(point3d::make(
        point::coordinate_of(*argument(0)), point::coordinate_of(*argument(1)), point::coordinate_of(*argument(2))));
}

// The currency by its code in system/locale/currencies/list, case-blind. An integer! amount is exact; a
// float! is taken as `make money!` takes it, so more than five decimals are refused rather than cut.
void as_money(std::int32_t const*)
{
    Cell const& currency = *argument(0);
    std::int32_t const index = money::currency_index(word::symbol_of(currency));
    if (index < 0) {
        Cell denomination = currency;
        cell::set_type(denomination, type_ids::lit_word);
        fire_error(err::script::bad_denom, &denomination);
    }
    Cell const& amount = *argument(1);
    Cell made = cell::type_of(amount) == type_ids::integer
        ? money::from_integer(integer::get(amount))
        : money::from_float(float_::get(amount), money::FloatMode::Strict);
    money::set_currency(made, static_cast<std::uint32_t>(index));
    stack::set_last(made);
}

// Refinement: /case. A map takes the spec's pairs (a map spec its live ones), added or replaced, matching
// keys strictly with /case.
void extend(std::int32_t const* refinements)
{
    // TODO(object!): extending an object with new words.
    if (cell::type_of(*argument(0)) != type_ids::map) fire_error(err::internal::not_done);
    if (cell::type_of(*argument(1)) == type_ids::map) *argument(1) = map::body_of(*argument(1));
    stack::set_last(map::extend(*argument(0), *argument(1), used(refinements[0])));
}

// The answer is unset!; in a block only the word! values are unset, the other values are skipped.
void unset(std::int32_t const*)
{
    Cell const& target = *argument(0);
    if (cell::type_of(target) == type_ids::word) {
        unset_word(target);
    } else {
        Rooted block(target);
        // The block is read again at every step: an on-change* handler may change it.
        for (std::uint32_t i = block->word1; i < series::rs_total_length(*block); ++i) {
            Cell const element = series::buffer_of(*block)->head_cell()[i];
            if (cell::type_of(element) == type_ids::word) unset_word(element);
        }
    }
    stack::set_last(unset_value);
}

// Refinements: /all, /skip size. Without them only the value at the position changes; with them every
// value from the position does: the first of each record of `size` values gets the marker set (true) or
// cleared (false), the others the opposite.
void new_line(std::int32_t const* refinements)
{
    Cell const& position = *argument(0);
    bool const mark = logic::get(*argument(1));
    SeriesBuffer* const buffer = series::buffer_of(position);
    std::uint32_t const total = buffer->length();
    auto set_marker = [](Cell& value, bool on) {
        if (on)
            value.header |= cell::new_line_flag;
        else
            value.header &= ~cell::new_line_flag;
    };
    Cell const* const skip = refinement_argument(refinements[1]);
    if (!used(refinements[0]) && !skip) {
        if (position.word1 < total) set_marker(buffer->head_cell()[position.word1], mark);
        return;
    }
    std::int32_t const step = skip ? integer::get(*skip) : 1;
    if (step <= 0) fire_error(err::script::out_of_range, skip);
    for (std::uint32_t place = position.word1, k = 0; place < total; ++place, ++k)
        set_marker(buffer->head_cell()[place], (step == 1 || k % static_cast<std::uint32_t>(step) == 0) == mark);
}

void new_line_q(std::int32_t const*)
{
    Cell const& position = *argument(0);
    SeriesBuffer* const buffer = series::buffer_of(position);
    logic::set_result(position.word1 < buffer->length() && cell::has_new_line(buffer->head_cell()[position.word1]));
}

// The object or function that owns the word's context; none! for a word bound to no owner.
void context_q(std::int32_t const*)
{
    Cell const& word = *argument(0);
    NodeId const context = word::context_of(word);
    Cell owner = none_value;
    if (context != no_node) {
        Cell const& found = context::owner_of(context);
        if (cell::type_of(found) == type_ids::object || type_ids::is_function(cell::type_of(found))) owner = found;
    }
    stack::set_last(owner);
}

// The spec itself, retyped: the same series at the same index, nothing copied.
void as(std::int32_t const*)
{
    Cell const& type = *argument(0);
    Cell const& spec = *argument(1);
    TypeId const target = cell::type_of(type) == type_ids::datatype ? datatype::get(type) : cell::type_of(type);
    CoercionKind const kind = coercion_kind(cell::type_of(spec));
    if (kind == CoercionKind::None || kind != coercion_kind(target)) {
        Cell const from = datatype::make(cell::type_of(spec));
        Cell const to = datatype::make(target);
        fire_error(err::script::not_same_class, &from, &to);
    }
    Cell result = spec;
    cell::set_type(result, target);
    stack::set_last(result);
}

}
