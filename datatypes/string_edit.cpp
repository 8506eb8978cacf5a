// string!: swap, take and trim.

#include "datatypes/string.h"

#include <algorithm>
#include <vector>

#include "datatypes/series.h"
#include "datatypes/string_private.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::string {

namespace {

bool is_whitespace(std::uint32_t c)
{
    return (c >= 1 && c <= 32) || c == 133 || c == 160 || c == 5760 || c == 6158 || (c >= 8192 && c <= 8202)
        || c == 8232 || c == 8233 || c == 8239 || c == 8287 || c == 12288;
}

// The spaces removed inside a line: whitespace without the control codes other than tab.
bool is_space(std::uint32_t c)
{
    return c == ' ' || c == '\t' || (c > 32 && is_whitespace(c));
}

// The text from the index to the tail, read out so that it can be rebuilt without aliasing.
std::vector<std::uint32_t> code_points(Cell const& value)
{
    std::uint32_t const length = rs_length_q(value);
    std::vector<std::uint32_t> text(length);
    for (std::uint32_t i = 0; i < length; ++i) text[i] = char_at(value, i);
    return text;
}

// Writes the kept text back from the index and moves the tail after it. The kept text is made of code
// points the buffer held (and spaces and line feeds), so its unit suffices: nothing allocates.
void write_back(Cell const& value, std::vector<std::uint32_t> const& text)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const unit = buffer->unit();
    std::uint32_t const index = clamped_index(value);
    std::byte* place = buffer->head_address() + (std::uint64_t { index } << buffer->unit_shift());
    for (std::size_t i = 0; i < text.size(); ++i) set_unit(place + i * unit, unit, text[i]);
    buffer->tail = static_cast<std::uint32_t>(buffer->head + ((index + text.size()) << buffer->unit_shift()));
}

std::vector<std::uint32_t> trim_set(TrimOptions const& options)
{
    if (!options.with) return { '\t', '\n', '\r', ' ' };
    Cell const& with = *options.with;
    TypeId const type = cell::type_of(with);
    if (type == type_ids::char_ || type == type_ids::integer) return { with.word2 };
    if (is_text_type(type) || type == type_ids::binary) return code_points(with);
    fire_error(err::script::invalid_arg, &with);
}

std::vector<std::uint32_t> trim_lines(std::vector<std::uint32_t> const& text)
{
    std::vector<std::uint32_t> kept;
    bool pending_space = false;
    for (std::uint32_t c : text) {
        if (is_whitespace(c)) {
            pending_space = !kept.empty();
            continue;
        }
        if (pending_space) kept.push_back(' ');
        pending_space = false;
        kept.push_back(c);
    }
    return kept;
}

std::vector<std::uint32_t> trim_ends(std::vector<std::uint32_t> const& text, bool head, bool tail)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    if (head)
        while (first < last && is_whitespace(text[first])) ++first;
    if (tail)
        while (last > first && is_whitespace(text[last - 1])) --last;
    return { text.begin() + static_cast<std::ptrdiff_t>(first), text.begin() + static_cast<std::ptrdiff_t>(last) };
}

// Both ends, and the spaces that start a line or stand before a line feed; a line feed among the trailing
// whitespace comes back as the one final line feed.
std::vector<std::uint32_t> trim_default(std::vector<std::uint32_t> const& text)
{
    std::size_t last = text.size();
    bool ended_line = false;
    while (last > 0 && is_whitespace(text[last - 1])) {
        --last;
        if (text[last] == '\n') ended_line = true;
    }
    std::size_t first = 0;
    while (first < last && is_whitespace(text[first])) ++first;

    std::vector<std::uint32_t> kept;
    bool line_start = true;
    std::size_t spaces_from = 0; // where the run of spaces now ending `kept` began
    for (std::size_t i = first; i < last; ++i) {
        std::uint32_t const c = text[i];
        if (is_space(c)) {
            if (line_start) continue;
            if (kept.empty() || !is_space(kept.back())) spaces_from = kept.size();
            kept.push_back(c);
            continue;
        }
        if (c == '\n') {
            if (!kept.empty() && is_space(kept.back())) kept.resize(spaces_from);
            kept.push_back(c);
            line_start = true;
            continue;
        }
        line_start = false;
        kept.push_back(c);
    }
    if (ended_line) kept.push_back('\n');
    return kept;
}

}

Cell swap(Cell const& series1_value, Cell const& series2_value)
{
    TypeId const type2 = cell::type_of(series2_value);
    if (!is_text_type(type2) && type2 != type_ids::binary) fire_error(err::script::invalid_arg, &series2_value);
    Rooted series1(series1_value);
    Rooted series2(series2_value);
    if (rs_tail_q(*series1) || rs_tail_q(*series2)) return *series1;
    std::uint32_t const code1 = char_at(*series1, 0);
    std::uint32_t const code2 = char_at(*series2, 0);
    series::tell_owner(*series1, "swap", nullptr, static_cast<std::int32_t>(series1->word1), 1);
    series::tell_owner(*series2, "swap", nullptr, static_cast<std::int32_t>(series2->word1), 1);
    if (type2 == type_ids::binary) {
        // A byte cannot hold a wider code point: the exchange is refused before either side changes.
        if (code1 > 0xFF) {
            Cell const character = cell::make(type_ids::char_, 0, code1);
            fire_error(err::script::out_of_range, &character);
        }
    }
    put_char(series1->word2, series1->word1, code2);
    put_char(series2->word2, series2->word1, code1);
    series::tell_owner(*series1, "swaped", nullptr, static_cast<std::int32_t>(series1->word1), 1);
    series::tell_owner(*series2, "swaped", nullptr, static_cast<std::int32_t>(series2->word1), 1);
    return *series1;
}

Cell take(Cell const& series, Refinement part, bool deep, bool last)
{
    Cell const taken = series::take(series, part, deep, last);
    if (part || cell::type_of(taken) == type_ids::none || rs_length_all(taken) != 1) return taken;
    TypeId const type = cell::type_of(series);
    SeriesBuffer* buffer = node::buffer(taken.word2);
    if (type == type_ids::vector)
        return vector::get_value(buffer->head_address(), buffer->unit(), vector::element_type(taken));
    std::uint32_t const code_point = detail::unit_at(buffer, 0);
    if (type == type_ids::binary) return cell::make(type_ids::integer, 0, code_point);
    return cell::make(type_ids::char_, 0, code_point);
}

Cell trim(Cell const& series_value, TrimOptions const& options)
{
    if (options.auto_) fire_error(err::internal::not_done);
    Rooted series(series_value);
    std::vector<std::uint32_t> const text = code_points(*series);
    std::vector<std::uint32_t> kept;
    if (options.all || options.with) {
        std::vector<std::uint32_t> const removed = trim_set(options);
        for (std::uint32_t c : text)
            if (std::find(removed.begin(), removed.end(), c) == removed.end()) kept.push_back(c);
    } else if (options.lines) {
        kept = trim_lines(text);
    } else if (options.head || options.tail) {
        kept = trim_ends(text, options.head, options.tail);
    } else {
        kept = trim_default(text);
    }
    series::tell_owner(*series, "trim", nullptr, static_cast<std::int32_t>(clamped_index(*series)),
        static_cast<std::int32_t>(text.size()));
    write_back(*series, kept);
    series::tell_owner(*series, "trimmed", nullptr, static_cast<std::int32_t>(clamped_index(*series)),
        static_cast<std::int32_t>(kept.size()));
    return *series;
}

}
