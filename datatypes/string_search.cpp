// string!: find and select. binary! reuses them: it searches bytes exactly and answers integer! elements.

#include "datatypes/string.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string_view>

#include "datatypes/bitset.h"
#include "datatypes/string_private.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/type_families.h"

namespace xol::string {

namespace {

enum class PatternKind { Unit, Bitset, Number, Text };

struct Pattern {
    PatternKind kind;
    std::uint32_t code_point; // Unit
    double number; // Number
    Cell text; // Text and Bitset: the value (rooted by the caller)
    std::uint32_t length; // units that one match covers
};

struct Match {
    bool found;
    std::uint32_t start; // units from the head
    std::uint32_t length; // units the match covers
};

bool is_text_pattern_type(TypeId type)
{
    return (type_ids::is_text(type) && type != type_ids::tag) || type == type_ids::binary;
}

bool unit_matches(SeriesBuffer* buffer, std::uint32_t place, Pattern const& pattern, bool case_sensitive)
{
    std::uint32_t const code_point = detail::unit_at(buffer, place);
    switch (pattern.kind) {
    case PatternKind::Unit:
        return detail::fold_unless(case_sensitive, code_point)
            == detail::fold_unless(case_sensitive, pattern.code_point);
    case PatternKind::Number:
        return static_cast<double>(code_point) == pattern.number;
    case PatternKind::Bitset: {
        Cell at = cell::make(type_ids::string, place, buffer->node);
        return char_in_bitset_q(at, pattern.text);
    }
    case PatternKind::Text:
        break;
    }
    return false;
}

bool text_matches(SeriesBuffer* buffer, std::uint32_t candidate, Pattern const& pattern, bool case_sensitive)
{
    SeriesBuffer* text = node::buffer(pattern.text.word2);
    std::uint32_t const from = clamped_index(pattern.text);
    for (std::uint32_t i = 0; i < pattern.length; ++i) {
        std::uint32_t const wanted = detail::unit_at(text, from + i);
        std::uint32_t const found = detail::unit_at(buffer, candidate + i);
        if (detail::fold_unless(case_sensitive, found) != detail::fold_unless(case_sensitive, wanted)) return false;
    }
    return true;
}

// ---- 1-byte text: library scans ----------------------------------------------------------------------
// Latin-1 strings and binaries are searched as bytes: memchr for a character, a memchr-led find (or a
// Boyer-Moore-Horspool search for longer patterns) for a text. Case-blind searches scan for the bytes that
// fold like the pattern's first character and compare the rest only there.

inline constexpr std::size_t horspool_from = 8; // shorter patterns don't repay the searcher's table

std::string_view bytes_of(SeriesBuffer* buffer, std::uint32_t from, std::uint32_t count)
{
    return { reinterpret_cast<char const*>(buffer->head_address()) + from, count };
}

// The folded form of every byte, read once per search instead of once per compared byte.
std::array<std::uint32_t, 256> folded_bytes()
{
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t byte = 0; byte < 256; ++byte) table[byte] = detail::fold_upper(byte);
    return table;
}

std::size_t find_forward(std::string_view haystack, std::string_view needle)
{
    if (needle.size() < horspool_from) return haystack.find(needle);
    auto const found = std::search(
        haystack.begin(), haystack.end(), std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return found == haystack.end() ? std::string_view::npos : static_cast<std::size_t>(found - haystack.begin());
}

// The matches of a search over [low, low + count) of a 1-byte buffer with a step of 1, first or last;
// nullopt when the buffer or the pattern is not of 1-byte units (the general loop then searches).
std::optional<Match> search_bytes(SeriesBuffer* buffer, std::uint32_t low, std::uint32_t count, Pattern const& pattern,
    bool case_sensitive, bool backward)
{
    if (buffer->unit() != 1) return std::nullopt;
    std::string_view const haystack = bytes_of(buffer, low, count);
    std::string_view needle;
    std::uint32_t first = 0;
    if (pattern.kind == PatternKind::Unit) {
        first = pattern.code_point;
    } else if (pattern.kind == PatternKind::Text) {
        SeriesBuffer* text = node::buffer(pattern.text.word2);
        if (text->unit() != 1) return std::nullopt;
        needle = bytes_of(text, clamped_index(pattern.text), pattern.length);
        first = static_cast<unsigned char>(needle[0]);
    } else {
        return std::nullopt;
    }
    auto found = [&](std::size_t at) -> Match {
        if (at == std::string_view::npos) return { false, 0, 0 };
        return { true, low + static_cast<std::uint32_t>(at), pattern.length };
    };

    if (case_sensitive) {
        if (pattern.kind == PatternKind::Unit) {
            if (first > 0xFF) return Match { false, 0, 0 };
            char const wanted = static_cast<char>(first);
            return found(backward ? haystack.rfind(wanted) : haystack.find(wanted));
        }
        return found(backward ? haystack.rfind(needle) : find_forward(haystack, needle));
    }

    if (pattern.length > count) return Match { false, 0, 0 };
    std::array<std::uint32_t, 256> const folded = folded_bytes();
    std::uint32_t const first_folded = detail::fold_upper(first);
    std::uint32_t const last_start = count - pattern.length;
    auto folded_at
        = [&](std::string_view bytes, std::size_t at) { return folded[static_cast<unsigned char>(bytes[at])]; };
    auto candidate = [&](std::uint32_t at) {
        if (folded_at(haystack, at) != first_folded) return false;
        for (std::size_t i = 1; i < needle.size(); ++i)
            if (folded_at(haystack, at + i) != folded_at(needle, i)) return false;
        return true;
    };
    if (backward) {
        for (std::uint32_t at = last_start + 1; at-- > 0;)
            if (candidate(at)) return found(at);
    } else {
        for (std::uint32_t at = 0; at <= last_start; ++at)
            if (candidate(at)) return found(at);
    }
    return Match { false, 0, 0 };
}

// ---- Sets of characters -------------------------------------------------------------------------------
// A bitset! pattern becomes a table of its membership for every code point up to 0xFFFF, built once per
// search, so that the scan tests one entry per unit; a wider code point asks the set itself.

inline constexpr std::uint32_t table_code_points = 0x10000;

struct SetTable {
    std::array<std::uint8_t, 256> narrow; // one byte per code point below 256: 1 for a member
    std::array<std::uint8_t, table_code_points / 8> bits; // the set's bits up to 0xFFFF, the flag past them

    explicit SetTable(Cell const& set)
    {
        std::uint64_t const stored = std::min<std::uint64_t>(bitset::byte_length(set), bits.size());
        std::fill(bits.begin(), bits.end(), bitset::complemented_q(set) ? 0xFF : 0);
        std::copy_n(
            reinterpret_cast<std::uint8_t const*>(node::buffer(set.word2)->head_address()), stored, bits.begin());
        for (std::uint32_t code_point = 0; code_point < narrow.size(); ++code_point)
            narrow[code_point] = has(code_point) ? 1 : 0;
    }
    bool has(std::uint32_t code_point) const { return (bits[code_point >> 3] & (0x80u >> (code_point & 7))) != 0; }
};

template <typename Unit>
std::optional<std::uint32_t> scan_set(
    Unit const* units, std::uint32_t low, std::uint32_t count, SetTable const& table, Cell const& set, bool backward)
{
    auto const member = [&](std::uint32_t code_point) {
        if constexpr (sizeof(Unit) == 1)
            return table.narrow[code_point] != 0;
        else
            return code_point < table_code_points ? table.has(code_point) : bitset::member_q(set, code_point);
    };
    if (backward) {
        for (std::uint32_t at = low + count; at-- > low;)
            if (member(units[at])) return at;
    } else {
        for (std::uint32_t at = low, end = low + count; at < end; ++at)
            if (member(units[at])) return at;
    }
    return std::nullopt;
}

Match search_set(SeriesBuffer* buffer, std::uint32_t low, std::uint32_t count, Cell const& set, bool backward)
{
    SetTable const table(set);
    std::byte const* head = buffer->head_address();
    std::optional<std::uint32_t> found;
    switch (buffer->unit()) {
    case 1:
        found = scan_set(reinterpret_cast<std::uint8_t const*>(head), low, count, table, set, backward);
        break;
    case 2:
        found = scan_set(reinterpret_cast<std::uint16_t const*>(head), low, count, table, set, backward);
        break;
    default:
        found = scan_set(reinterpret_cast<std::uint32_t const*>(head), low, count, table, set, backward);
        break;
    }
    return found ? Match { true, *found, 1 } : Match { false, 0, 0 };
}

// The search core of find and select; answers where the match starts. Pattern texts are read in place:
// nothing here allocates once the pattern is made.
Match search(
    Cell const& series, Pattern const& pattern, FindOptions const& options, std::uint32_t count, std::int32_t skip)
{
    SeriesBuffer* buffer = node::buffer(series.word2);
    TypeId const type = cell::type_of(series);
    bool const case_sensitive = options.case_sensitive || options.same || !is_text_type(type);
    std::uint32_t const index = series.word1;
    bool const text = pattern.kind == PatternKind::Text;
    std::uint32_t const length = pattern.length;
    auto matches_at = [&](std::uint32_t candidate) {
        return text ? text_matches(buffer, candidate, pattern, case_sensitive)
                    : unit_matches(buffer, candidate, pattern, case_sensitive);
    };

    bool const library_scan = skip == 1 && !options.match;
    if (options.reverse || options.last) {
        // Backward over [low, high): a text pattern ends at the position.
        std::uint32_t const low = options.reverse ? index - count : index;
        std::uint32_t const high = options.reverse ? index : index + count;
        if (high == low || (text && high - low < length)) return { false, 0, 0 };
        if (library_scan && pattern.kind == PatternKind::Bitset)
            return search_set(buffer, low, high - low, pattern.text, true);
        if (library_scan) {
            if (auto const match = search_bytes(buffer, low, high - low, pattern, case_sensitive, true)) return *match;
        }
        std::int64_t position = std::int64_t { high } - 1;
        for (; position >= low; position -= skip) {
            std::int64_t const candidate = text ? position - (length - 1) : position;
            if (candidate < low) break;
            if (matches_at(static_cast<std::uint32_t>(candidate)))
                return { true, static_cast<std::uint32_t>(candidate), length };
            if (options.match) break;
        }
        return { false, 0, 0 };
    }
    if (library_scan && pattern.kind == PatternKind::Bitset)
        return search_set(buffer, index, count, pattern.text, false);
    if (library_scan) {
        if (auto const match = search_bytes(buffer, index, count, pattern, case_sensitive, false)) return *match;
    }
    std::uint64_t const end = std::uint64_t { index } + count;
    for (std::uint64_t position = index; position + (text ? length : 1) <= end;
         position += static_cast<std::uint32_t>(skip)) {
        if (matches_at(static_cast<std::uint32_t>(position)))
            return { true, static_cast<std::uint32_t>(position), length };
        if (options.match) break;
    }
    return { false, 0, 0 };
}

// What a find or select needs before it searches: the step, the count, and the pattern. Answers false
// when the search cannot find anything. May allocate (a formed pattern).
struct Prepared {
    std::int32_t skip;
    std::uint32_t count;
};

bool prepare(Cell& series, Cell const& value, FindOptions const& options, Prepared& prepared, Rooted& pattern_text,
    Pattern& pattern)
{
    std::uint32_t const total = rs_length_all(series);
    if (total == 0) return false;
    if (series.word1 >= total && !options.reverse) return false;
    if (options.any || options.with) fire_error(err::internal::not_done);
    if (options.reverse && options.match) return false;

    prepared.skip = 1;
    if (options.skip) {
        prepared.skip = cell::integer_payload(*options.skip);
        if (prepared.skip < 1) fire_error(err::script::out_of_range, options.skip);
    }
    std::uint32_t const index = std::min(series.word1, total);
    series.word1 = index;
    if (options.reverse && index == 0) return false;
    std::uint32_t const available = options.reverse ? index : total - index;
    prepared.count = available;
    if (options.part) {
        std::int32_t const count = detail::part_count(series, *options.part, "part");
        if (count < 1) return false;
        prepared.count = std::min(static_cast<std::uint32_t>(count), available);
    }

    TypeId const series_type = cell::type_of(series);
    TypeId const value_type = cell::type_of(value);
    bool const numeric_series = series_type == type_ids::binary || series_type == type_ids::vector;
    if (value_type == type_ids::char_) {
        pattern = { PatternKind::Unit, value.word2, 0, {}, 1 };
    } else if (value_type == type_ids::bitset) {
        *pattern_text = value;
        pattern = { PatternKind::Bitset, 0, 0, value, 1 };
    } else if (numeric_series && (value_type == type_ids::integer || value_type == type_ids::float_)) {
        double const number
            = value_type == type_ids::integer ? cell::integer_payload(value) : cell::float_payload(value);
        pattern = { PatternKind::Number, 0, number, {}, 1 };
    } else {
        if (value_type == type_ids::binary && series_type != type_ids::binary)
            fire_error(err::script::invalid_arg, &value);
        // A word of any kind searches as its spelling, which is what its form writes: the symbol's cached
        // string, read and never changed.
        if (is_text_pattern_type(value_type))
            *pattern_text = value;
        else if (word::is_any_word(value_type))
            *pattern_text = cell::make(type_ids::string, 0, symbol::cache_string(value.word2), 0);
        else
            *pattern_text = detail::formed(value);
        pattern = { PatternKind::Text, 0, 0, *pattern_text, rs_length_q(*pattern_text) };
        // Nothing is found of an empty pattern.
        if (pattern.length == 0) return false;
    }
    return true;
}

// The match of `value` from the series' index; not found when there is nothing to search. The series must
// be a rooted cell: preparing may move its index, which the callers read after. May allocate.
Match locate(Cell& series, Cell const& value, FindOptions const& options)
{
    Rooted pattern_text(cell::make(type_ids::none));
    Prepared prepared {};
    Pattern pattern {};
    if (!prepare(series, value, options, prepared, pattern_text, pattern)) return Match { false, 0, 0 };
    pattern.text = *pattern_text;
    return search(series, pattern, options, prepared.count, prepared.skip);
}

}

Cell find(Cell const& series_value, Cell const& value, FindOptions const& options)
{
    Rooted series(series_value);
    Match const match = locate(*series, value, options);
    if (!match.found) return cell::make(type_ids::none);
    Cell result = *series;
    result.word1 = options.tail ? match.start + match.length : match.start;
    return result;
}

Cell select(Cell const& series_value, Cell const& value, FindOptions const& given)
{
    FindOptions options = given;
    options.tail = false;
    options.match = false;
    Rooted series(series_value);
    Match const match = locate(*series, value, options);
    if (!match.found) return cell::make(type_ids::none);
    std::uint32_t const after = match.start + match.length;
    SeriesBuffer* buffer = node::buffer(series->word2);
    if (after >= buffer->length()) return cell::make(type_ids::none);
    std::uint32_t const code_point = detail::unit_at(buffer, after);
    TypeId const type = cell::type_of(*series);
    if (type == type_ids::binary) return cell::make(type_ids::integer, 0, code_point);
    return cell::make(type_ids::char_, 0, code_point);
}

}
