// string!: append, insert and change, and the set operations on texts.

#include "datatypes/string.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>

#include "datatypes/char.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string_private.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/type_families.h"

namespace xol::string {

namespace {

// A text added as it is: its units from its index. A tag! is added with its angle brackets, as formed text.
bool is_plain_text(TypeId type)
{
    return is_text_type(type) && type != type_ids::tag;
}

Cell at_index(Cell const& value, std::uint32_t index)
{
    Cell moved = value;
    moved.word1 = index;
    return moved;
}

// Appends the form of the value at the tail within the budget (-1: none); answers the units appended.
// A form that passes the budget is cut back to it. May allocate.
std::uint32_t append_formed(Cell const& target, Cell const& value, std::int32_t budget)
{
    Rooted output(target);
    Rooted added(value);
    std::uint32_t const before = rs_length_all(*output);
    std::int32_t const limit = budget < 0 ? std::numeric_limits<std::int32_t>::max() : budget;
    Cell const part = cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(limit));
    TypeId const type = cell::type_of(*added);
    if (type == type_ids::tag) {
        // "<", the text and ">" each spend the budget; ">" is written only while some is left.
        std::int32_t left = limit;
        if (left > 0) {
            append_char(*output, '<');
            --left;
        }
        if (left > 0) left = form(*added, *output, &part, left);
        if (left > 0) append_char(*output, '>');
    } else if (type_ids::is_list(type)) {
        std::uint32_t const count = rs_length_q(*added);
        std::int32_t left = limit;
        for (std::uint32_t i = 0; i < count && left > 0; ++i) {
            // The block's cells may move while forming allocates: take each one afresh.
            Cell const item = node::buffer(added->word2)->head_cell()[clamped_index(*added) + i];
            left = detail::form_typed(item, *output, budget < 0 ? nullptr : &part, left);
        }
    } else {
        detail::form_typed(*added, *output, budget < 0 ? nullptr : &part, limit);
    }
    std::uint32_t appended = rs_length_all(*output) - before;
    if (budget >= 0 && appended > static_cast<std::uint32_t>(budget)) {
        truncate_at(output->word2, before + static_cast<std::uint32_t>(budget));
        appended = static_cast<std::uint32_t>(budget);
    }
    return appended;
}

void check_size(std::uint64_t units, std::int32_t dup)
{
    std::uint64_t const total = units * static_cast<std::uint64_t>(std::max(dup, 1)) * 4;
    if (total > std::numeric_limits<std::uint32_t>::max()) fire_error(err::internal::no_memory);
}

// Adds the value's content at `index` (at the tail when `index` is the length): texts and chars are
// spliced in place, formed values are appended and rotated into place. Answers the units added once.
// May allocate.
std::uint32_t add_run(Cell const& target_value, Cell const& value_given, std::int32_t part, std::uint32_t index)
{
    Rooted target(target_value);
    Rooted value(value_given);
    TypeId const type = cell::type_of(*value);
    std::uint32_t const length = rs_length_all(*target);
    bool const at_tail = index >= length;
    if (type == type_ids::char_) {
        if (part == 0) return 0;
        std::uint32_t const code_point = value->word2;
        if (at_tail) {
            append_char(target->word2, code_point);
        } else {
            if (unit_for(code_point) > unit_of(*target)) widen_to(target->word2, unit_for(code_point));
            insert_char_at(target->word2, index, code_point);
        }
        return 1;
    }
    if (is_plain_text(type)) {
        std::uint32_t count = rs_length_q(*value);
        if (part >= 0) count = std::min(count, static_cast<std::uint32_t>(part));
        check_size(count, 1);
        splice(at_index(*target, index), *value, static_cast<std::int32_t>(count), 0, true,
            at_tail ? SpliceMode::Append : SpliceMode::Insert);
        return count;
    }
    std::uint32_t const added = append_formed(*target, *value, part);
    if (!at_tail && added != 0) {
        SeriesBuffer* buffer = node::buffer(target->word2);
        std::uint32_t const shift = buffer->unit_shift();
        rotate_runs(target->word2, index << shift, (length - index) << shift, added << shift, 0);
    }
    return added;
}

// Writes ASCII text at the tail of an unowned buffer with room for it, in the buffer's unit; false, having
// done nothing, otherwise.
bool ascii_in_room(SeriesBuffer* buffer, std::string_view text)
{
    std::uint32_t const flags = buffer->flags;
    std::uint32_t const unit = flags & series_flags::unit_mask;
    std::uint64_t const bytes = std::uint64_t { text.size() } * unit;
    if ((flags & series_flags::owned) != 0 || buffer->tail + bytes > buffer->capacity) return false;
    std::byte* const place = buffer->tail_address();
    if (unit == 1)
        std::memcpy(place, text.data(), text.size());
    else
        for (std::size_t i = 0; i < text.size(); ++i)
            set_unit(place + i * unit, unit, static_cast<unsigned char>(text[i]));
    buffer->tail += static_cast<std::uint32_t>(bytes);
    return true;
}

// The same for one code point, which must fit the buffer's unit: a wider one widens the long way.
bool char_in_room(SeriesBuffer* buffer, std::uint32_t code_point)
{
    std::uint32_t const flags = buffer->flags;
    std::uint32_t const unit = flags & series_flags::unit_mask;
    if ((flags & series_flags::owned) != 0 || unit_for(code_point) > unit || buffer->tail + unit > buffer->capacity)
        return false;
    set_unit(buffer->tail_address(), unit, code_point);
    buffer->tail += unit;
    return true;
}

// Repeats the run of `count` units at `index` until it stands there `dup` times in all. May allocate.
void repeat_run(Cell const& target_value, std::uint32_t index, std::uint32_t count, std::int32_t dup)
{
    if (dup < 2 || count == 0) return;
    Rooted target(target_value);
    check_size(std::uint64_t { count } * static_cast<std::uint32_t>(dup), 1);
    for (std::int32_t i = 1; i < dup; ++i) {
        std::uint32_t const place = index + count * static_cast<std::uint32_t>(i);
        splice(at_index(*target, place), at_index(*target, index), static_cast<std::int32_t>(count), 0, true,
            place >= rs_length_all(*target) ? SpliceMode::Append : SpliceMode::Insert);
    }
}

}

bool append_in_room(Cell const& target, Cell const& text, std::int32_t part)
{
    TypeId const text_type = cell::type_of(text);
    if (cell::type_of(target) == type_ids::symbol) return false;
    // An integer's digits and a char's code point are the exact units the long way adds; a /part budget
    // goes the long way, which cuts the form.
    if (text_type == type_ids::integer) {
        if (part >= 0) return false;
        // The digits as integer! forms them, written here rather than in its shared buffer.
        char digits[12];
        char const* const end = std::to_chars(digits, std::end(digits), integer::get(text)).ptr;
        return ascii_in_room(node::buffer(target.word2), { digits, static_cast<std::size_t>(end - digits) });
    }
    if (text_type == type_ids::char_) return part < 0 && char_in_room(node::buffer(target.word2), char_::get(text));
    if (!is_plain_text(text_type) || text_type == type_ids::symbol || text.word2 == target.word2) return false;
    SeriesBuffer* const buffer = node::buffer(target.word2);
    SeriesBuffer* const from = node::buffer(text.word2);
    // One test for both: an owned target, or units of another width, goes the long way.
    if ((buffer->flags & (series_flags::owned | series_flags::unit_mask)) != from->unit()) return false;
    std::uint32_t const shift = from->unit_shift();
    std::uint64_t const skipped = std::uint64_t { text.word1 } << shift;
    std::uint32_t const available = from->tail - from->head;
    std::uint64_t bytes = skipped >= available ? 0 : available - skipped;
    if (part >= 0) bytes = std::min(bytes, std::uint64_t { static_cast<std::uint32_t>(part) } << shift);
    // A run past the size check of the long way raises there.
    if ((bytes >> shift) >= (1u << 30) || buffer->tail + bytes > buffer->capacity) return false;
    std::memcpy(buffer->tail_address(), from->head_address() + skipped, bytes);
    buffer->tail += static_cast<std::uint32_t>(bytes);
    return true;
}

Cell insert(Cell const& series_value, Cell const& value_given, std::int32_t part, bool, std::int32_t dup, bool append)
{
    if (append && dup < 2 && append_in_room(series_value, value_given, part)) {
        Cell result = series_value;
        result.word1 = 0;
        return result;
    }
    Rooted series(series_value);
    Rooted value(value_given);
    std::uint32_t const length = rs_length_all(*series);
    std::uint32_t const index = append ? length : std::min(series->word1, length);
    series::tell_owner(*series, append ? "append" : "insert", &*value, static_cast<std::int32_t>(index), 0);
    std::uint32_t const count = add_run(*series, *value, part, index);
    repeat_run(*series, index, count, dup);
    std::uint32_t const added = count * static_cast<std::uint32_t>(std::max(dup, 1));
    series::tell_owner(*series, append ? "appended" : "inserted", nullptr, static_cast<std::int32_t>(index),
        static_cast<std::int32_t>(added));
    if (append)
        series->word1 = 0;
    else
        series->word1 = std::min(index + added, rs_length_all(*series));
    return *series;
}

Cell change(Cell const& series_value, Cell const& value_given, std::int32_t part, bool only, std::int32_t dup)
{
    Rooted series(series_value);
    Rooted value(value_given);
    std::uint32_t const length = rs_length_all(*series);
    std::uint32_t const index = std::min(series->word1, length);
    series->word1 = index;
    if (index >= length) return insert(*series, *value, -1, only, dup, false);

    // The new content is made apart first: the value may share the series' buffer, and the replaced units
    // go before it comes in.
    Rooted run(make(16));
    std::uint32_t const count = add_run(*run, *value, -1, 0);
    std::int32_t const times = std::max(dup, 1);
    // As for insert, a result past the series limit fails before anything is written, not after
    // gigabytes of copies.
    check_size(std::uint64_t { count } * static_cast<std::uint32_t>(times), 1);
    std::uint32_t const brought = count * static_cast<std::uint32_t>(times);
    std::uint32_t const remaining = length - index;
    std::uint32_t const replaced = std::min(part >= 0 ? static_cast<std::uint32_t>(part) : brought, remaining);
    series::tell_owner(
        *series, "change", &*value, static_cast<std::int32_t>(index), static_cast<std::int32_t>(replaced));
    remove_at(*series, index, replaced);
    for (std::int32_t i = 0; i < times; ++i)
        splice(at_index(*series, index + count * static_cast<std::uint32_t>(i)), *run, -1, 0, true, SpliceMode::Insert);
    series::tell_owner(
        *series, "changed", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(brought));
    series->word1 = index + brought;
    return *series;
}

Cell do_set_op(Cell const& first, Cell const* second, bool case_sensitive, Refinement skip, MathOp op)
{
    std::uint32_t size = 1;
    if (skip) {
        std::int32_t const units = cell::type_of(*skip) == type_ids::integer ? cell::integer_payload(*skip) : 0;
        if (units < 1) detail::fire_bad_refinement("skip", *skip);
        size = static_cast<std::uint32_t>(units);
    }
    Rooted text1(first);
    Rooted text2(second ? *second : cell::make(type_ids::none));
    bool const has_second = second != nullptr;
    std::uint32_t capacity = rs_length_q(*text1);
    if (op == MathOp::Union && has_second) capacity += rs_length_q(*text2);
    Rooted result(make(capacity));

    // Copies the records of `from` that qualify and do not occur in the result yet.
    auto take_records = [&](Cell const& from, Cell const* other, bool wanted_in_other) {
        Rooted source(from);
        std::uint32_t const length = rs_length_q(*source);
        for (std::uint32_t start = 0; start < length; start += size) {
            std::uint32_t const code_point = char_at(*source, start);
            if (other && char_in_run_q(*other, code_point, size, case_sensitive) != wanted_in_other) continue;
            if (char_in_run_q(*result, code_point, size, case_sensitive)) continue;
            std::uint32_t const end = std::min(start + size, length);
            for (std::uint32_t i = start; i < end; ++i) append_char(result->word2, char_at(*source, i));
        }
    };
    switch (op) {
    case MathOp::Unique:
        take_records(*text1, nullptr, true);
        break;
    case MathOp::Union:
        take_records(*text1, nullptr, true);
        if (has_second) take_records(*text2, nullptr, true);
        break;
    case MathOp::Intersect:
        take_records(*text1, &*text2, true);
        break;
    case MathOp::Exclude:
        take_records(*text1, &*text2, false);
        break;
    case MathOp::Difference:
        take_records(*text1, &*text2, false);
        take_records(*text2, &*text1, false);
        break;
    default:
        fire_error(err::internal::not_done);
    }
    return cell::make(cell::type_of(*text1), 0, result->word2, 0);
}

}
