// The parse engine's matching routines over raw units and cells.

#include "interpreter/parse/matching.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "datatypes/bitset.h"
#include "datatypes/compare.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol::parse {

namespace {

template <bool Fold> std::uint32_t folded(std::uint32_t code_point)
{
    if constexpr (Fold)
        return fold(code_point);
    else
        return code_point;
}

// What a literal rule value is to text or binary input, read once per routine. `data` points into the
// rule's buffer (or into `bytes`): valid while nothing allocates.
enum class PatternKind : std::uint8_t {
    None, // the value never matches text or bytes
    Unit, // one unit: a char!
    Units, // a run of units: a text or a binary!
    Tag, // "<", the tag's text, ">"
    Bitset, // one unit that is a member of the set, never folded
};

struct Pattern {
    PatternKind kind = PatternKind::None;
    bool fold = false;
    std::uint32_t code_point = 0; // Unit
    void const* data = nullptr; // Units and Tag; Bitset: the set's stored bytes
    std::uint32_t unit = 1;
    std::uint32_t length = 0; // units of the run (Tag: without the brackets)
    std::uint64_t bit_count = 0; // Bitset: the bits stored
    bool complemented = false; // Bitset: the membership of every code point past the stored bits
    std::string bytes; // binary input: a text rule's UTF-8 bytes
};

// A charset is read straight from its bytes: one test per unit, no table to build first, since most
// charset rules look at a handful of units.
void take_members(Pattern& pattern, Cell const& set)
{
    pattern.kind = PatternKind::Bitset;
    pattern.fold = false; // membership is by code point: /case or not, "a" in a set is not "A"
    pattern.data = node::buffer(set.word2)->head_address();
    pattern.bit_count = bitset::byte_length(set) * 8;
    pattern.complemented = bitset::complemented_q(set);
}

inline bool member(Pattern const& pattern, std::uint32_t code_point)
{
    if (code_point >= pattern.bit_count) return pattern.complemented;
    auto const byte = static_cast<std::uint8_t const*>(pattern.data)[code_point >> 3];
    return (byte & (0x80u >> (code_point & 7))) != 0;
}

// The units of a text or binary! value from its index.
void take_units(Pattern& pattern, Cell const& value)
{
    SeriesBuffer* buffer = series::buffer_of(value);
    std::uint32_t const total = buffer->length();
    std::uint32_t const index = series::index_of(value) < total ? series::index_of(value) : total;
    pattern.data = buffer->head_address() + (std::size_t { index } << buffer->unit_shift());
    pattern.unit = buffer->unit();
    pattern.length = total - index;
}

void take_bytes(Pattern& pattern, std::string bytes)
{
    pattern.bytes = std::move(bytes);
    pattern.data = pattern.bytes.data();
    pattern.unit = 1;
    pattern.length = static_cast<std::uint32_t>(pattern.bytes.size());
}

Pattern pattern_of(Cell const& rule, InputKind kind, CompareOp mode)
{
    Pattern pattern;
    TypeId const type = cell::type_of(rule);
    if (kind == InputKind::Text) {
        pattern.fold = mode != CompareOp::StrictEqual;
        if (type == type_ids::char_) {
            pattern.kind = PatternKind::Unit;
            pattern.code_point = rule.word2;
        } else if (type_ids::is_text(type)) {
            pattern.kind = type == type_ids::tag ? PatternKind::Tag : PatternKind::Units;
            take_units(pattern, rule);
        } else if (type == type_ids::binary) {
            pattern.kind = PatternKind::Units;
            pattern.fold = false; // bytes are not letters
            take_units(pattern, rule);
        } else if (type == type_ids::bitset) {
            take_members(pattern, rule);
        }
        return pattern;
    }
    // Bytes are compared exactly; a text rule stands for its UTF-8 bytes.
    if (type == type_ids::binary) {
        pattern.kind = PatternKind::Units;
        take_units(pattern, rule);
    } else if (type == type_ids::tag) {
        pattern.kind = PatternKind::Units;
        take_bytes(pattern, "<" + string::to_utf8(rule) + ">");
    } else if (type_ids::is_text(type)) {
        pattern.kind = PatternKind::Units;
        take_bytes(pattern, string::to_utf8(rule));
    } else if (type == type_ids::char_) {
        if (rule.word2 <= 0xFF) {
            pattern.kind = PatternKind::Unit;
            pattern.code_point = rule.word2;
        } else {
            char encoded[4];
            int const length = unicode::utf8_encode(rule.word2, encoded);
            pattern.kind = PatternKind::Units;
            take_bytes(pattern, std::string(encoded, static_cast<std::size_t>(length)));
        }
    } else if (type == type_ids::bitset) {
        take_members(pattern, rule); // a byte is a member as the code point of its value
    }
    return pattern;
}

// The units the pattern covers when it matches.
std::uint32_t covered(Pattern const& pattern)
{
    switch (pattern.kind) {
    case PatternKind::Units:
        return pattern.length;
    case PatternKind::Tag:
        return pattern.length + 2;
    default:
        return 1;
    }
}

// Calls `body.template operator()<In, Pat, Fold>()` with the unit types of the input and the pattern.
template <typename Body> auto with_units(std::uint32_t input_unit, std::uint32_t pattern_unit, bool fold, Body&& body)
{
    auto by_pattern = [&]<typename In>() {
        auto by_fold = [&]<typename Pat>() {
            return fold ? body.template operator()<In, Pat, true>() : body.template operator()<In, Pat, false>();
        };
        switch (pattern_unit) {
        case 1:
            return by_fold.template operator()<std::uint8_t>();
        case 2:
            return by_fold.template operator()<std::uint16_t>();
        default:
            return by_fold.template operator()<std::uint32_t>();
        }
    };
    switch (input_unit) {
    case 1:
        return by_pattern.template operator()<std::uint8_t>();
    case 2:
        return by_pattern.template operator()<std::uint16_t>();
    default:
        return by_pattern.template operator()<std::uint32_t>();
    }
}

template <typename In, typename Pat, bool Fold>
bool equal_units(In const* input, Pat const* pattern, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i)
        if (folded<Fold>(input[i]) != folded<Fold>(pattern[i])) return false;
    return true;
}

// The units of the pattern at `place` of the input, or -1. The caller has checked that it fits.
template <typename In, typename Pat, bool Fold>
std::int64_t match_at(In const* input, std::uint32_t place, std::uint32_t end, Pattern const& pattern)
{
    auto const* units = static_cast<Pat const*>(pattern.data);
    switch (pattern.kind) {
    case PatternKind::Unit:
        return place < end && folded<Fold>(input[place]) == folded<Fold>(pattern.code_point) ? 1 : -1;
    case PatternKind::Units:
        if (std::uint64_t { place } + pattern.length > end) return -1;
        if (!equal_units<In, Pat, Fold>(input + place, units, pattern.length)) return -1;
        return pattern.length;
    case PatternKind::Tag:
        if (std::uint64_t { place } + pattern.length + 2 > end) return -1;
        if (input[place] != '<' || input[place + pattern.length + 1] != '>') return -1;
        if (!equal_units<In, Pat, Fold>(input + place + 1, units, pattern.length)) return -1;
        return std::int64_t { pattern.length } + 2;
    default:
        return -1;
    }
}

// The first place in [from, end) where the pattern matches, or -1: one loop over the raw units, led by the
// pattern's first unit.
template <typename In, typename Pat, bool Fold>
std::int64_t search_units(In const* input, std::uint32_t from, std::uint32_t end, Pattern const& pattern)
{
    auto const* units = static_cast<Pat const*>(pattern.data);
    if (pattern.kind == PatternKind::Unit) {
        if constexpr (sizeof(In) == 1 && !Fold) {
            if (pattern.code_point > 0xFF || from >= end) return -1;
            void const* hit = std::memchr(input + from, static_cast<int>(pattern.code_point), end - from);
            return hit ? static_cast<In const*>(hit) - input : -1;
        }
        std::uint32_t const wanted = folded<Fold>(pattern.code_point);
        for (std::uint32_t place = from; place < end; ++place)
            if (folded<Fold>(input[place]) == wanted) return place;
        return -1;
    }
    std::uint32_t const length = covered(pattern);
    if (std::uint64_t { from } + length > end) return -1;
    if (pattern.length == 0 && pattern.kind == PatternKind::Units) return from;
    if constexpr (sizeof(In) == 1 && sizeof(Pat) == 1 && !Fold) {
        if (pattern.kind == PatternKind::Units) {
            std::string_view const haystack(reinterpret_cast<char const*>(input) + from, end - from);
            std::size_t const hit = haystack.find(std::string_view(reinterpret_cast<char const*>(units), length));
            return hit == std::string_view::npos ? -1 : static_cast<std::int64_t>(from + hit);
        }
    }
    std::uint32_t const last = end - length;
    if (pattern.kind == PatternKind::Tag) {
        for (std::uint32_t place = from; place <= last; ++place)
            if (input[place] == '<' && match_at<In, Pat, Fold>(input, place, end, pattern) >= 0) return place;
        return -1;
    }
    std::uint32_t const first = folded<Fold>(units[0]);
    for (std::uint32_t place = from; place <= last; ++place)
        if (folded<Fold>(input[place]) == first && equal_units<In, Pat, Fold>(input + place + 1, units + 1, length - 1))
            return place;
    return -1;
}

template <typename In, typename Pat, bool Fold>
Repeated repeat_units(
    In const* input, std::uint32_t from, std::uint32_t end, Pattern const& pattern, std::int32_t maximum)
{
    auto const bound = maximum < 0 ? 0xFFFF'FFFFu : static_cast<std::uint32_t>(maximum);
    std::uint32_t count = 0;
    std::uint32_t place = from;
    if (pattern.kind == PatternKind::Unit) {
        std::uint32_t const wanted = folded<Fold>(pattern.code_point);
        while (count < bound && place < end && folded<Fold>(input[place]) == wanted) {
            ++place;
            ++count;
        }
        return { count, place - from };
    }
    if (covered(pattern) == 0) return { 0, 0 };
    while (count < bound) {
        std::int64_t const units = match_at<In, Pat, Fold>(input, place, end, pattern);
        if (units < 0) break;
        place += static_cast<std::uint32_t>(units);
        ++count;
    }
    return { count, place - from };
}

// Calls `body.template operator()<In>()` with the unit type of the input.
template <typename Body> auto with_input_unit(std::uint32_t input_unit, Body&& body)
{
    switch (input_unit) {
    case 1:
        return body.template operator()<std::uint8_t>();
    case 2:
        return body.template operator()<std::uint16_t>();
    default:
        return body.template operator()<std::uint32_t>();
    }
}

template <typename In>
std::int64_t search_members(In const* input, std::uint32_t from, std::uint32_t end, Pattern const& pattern)
{
    for (std::uint32_t place = from; place < end; ++place)
        if (member(pattern, input[place])) return place;
    return -1;
}

template <typename In>
Repeated repeat_members(
    In const* input, std::uint32_t from, std::uint32_t end, Pattern const& pattern, std::int32_t maximum)
{
    // `end - from` bounds the count too, so the loop tests one limit.
    std::uint32_t stop = end;
    if (maximum >= 0 && static_cast<std::uint32_t>(maximum) < end - from)
        stop = from + static_cast<std::uint32_t>(maximum);
    std::uint32_t place = from;
    while (place < stop && member(pattern, input[place])) ++place;
    return { place - from, place - from };
}

// Consecutive units from `from`, before `stop`, that a char! or bitset! rule matches (as unit_matches).
template <typename In>
std::uint32_t repeat_unit_rule(
    In const* input, std::uint32_t from, std::uint32_t stop, Cell const& rule, InputKind kind, CompareOp mode)
{
    std::uint32_t place = from;
    if (cell::type_of(rule) == type_ids::char_) {
        if (kind == InputKind::Text && mode != CompareOp::StrictEqual) {
            std::uint32_t const wanted = fold(rule.word2);
            while (place < stop && fold(input[place]) == wanted) ++place;
        } else {
            while (place < stop && input[place] == rule.word2) ++place;
        }
        return place - from;
    }
    auto const* bits = reinterpret_cast<std::uint8_t const*>(node::buffer(rule.word2)->head_address());
    std::uint64_t const bit_count = bitset::byte_length(rule) * 8;
    bool const complemented = bitset::complemented_q(rule);
    for (; place < stop; ++place) {
        std::uint32_t const unit = input[place];
        bool const in = unit < bit_count ? (bits[unit >> 3] & (0x80u >> (unit & 7))) != 0 : complemented;
        if (!in) break;
    }
    return place - from;
}

// The first place in [from, end) whose unit a char! or bitset! rule matches (as unit_matches), or -1.
template <typename In>
std::int64_t search_unit_rule(
    In const* input, std::uint32_t from, std::uint32_t end, Cell const& rule, InputKind kind, CompareOp mode)
{
    if (cell::type_of(rule) == type_ids::char_) {
        std::uint32_t const wanted = rule.word2;
        if (kind == InputKind::Text && mode != CompareOp::StrictEqual) {
            if constexpr (sizeof(In) == 1) {
                // A byte no other byte folds to (a comma, a digit) is searched for as it is.
                if (wanted <= 0xFF && fold_alone[wanted]) {
                    if (from >= end) return -1;
                    void const* hit = std::memchr(input + from, static_cast<int>(wanted), end - from);
                    return hit ? static_cast<In const*>(hit) - input : -1;
                }
            }
            std::uint32_t const folded_wanted = fold(wanted);
            for (std::uint32_t place = from; place < end; ++place)
                if (fold(input[place]) == folded_wanted) return place;
            return -1;
        }
        if constexpr (sizeof(In) == 1) {
            if (wanted > 0xFF || from >= end) return -1;
            void const* hit = std::memchr(input + from, static_cast<int>(wanted), end - from);
            return hit ? static_cast<In const*>(hit) - input : -1;
        }
        for (std::uint32_t place = from; place < end; ++place)
            if (input[place] == wanted) return place;
        return -1;
    }
    auto const* bits = reinterpret_cast<std::uint8_t const*>(node::buffer(rule.word2)->head_address());
    std::uint64_t const bit_count = bitset::byte_length(rule) * 8;
    bool const complemented = bitset::complemented_q(rule);
    for (std::uint32_t place = from; place < end; ++place) {
        std::uint32_t const unit = input[place];
        if (unit < bit_count ? (bits[unit >> 3] & (0x80u >> (unit & 7))) != 0 : complemented) return place;
    }
    return -1;
}

// A text rule of one unit over text input matches as the char! of that unit: `single` is made so.
bool is_single_unit(Cell const& rule, InputKind kind, Cell& single)
{
    TypeId const type = cell::type_of(rule);
    if (kind != InputKind::Text || !type_ids::is_text(type) || type == type_ids::tag) return false;
    SeriesBuffer* buffer = series::buffer_of(rule);
    std::uint32_t const index = series::index_of(rule);
    if (index >= buffer->length() || buffer->length() - index != 1) return false;
    single = Cell { type_ids::char_, 0, unit_of(buffer, index), 0 };
    return true;
}

struct InputUnits {
    void const* data; // the buffer's head
    std::uint32_t unit;
    std::uint32_t index; // clamped to the tail
    std::uint32_t end; // clamped to the tail
};

InputUnits input_units(Cell const& input, std::uint32_t end)
{
    SeriesBuffer* buffer = series::buffer_of(input);
    std::uint32_t const total = buffer->length();
    std::uint32_t const stop = end < total ? end : total;
    std::uint32_t const index = series::index_of(input) < stop ? series::index_of(input) : stop;
    return { buffer->head_address(), buffer->unit(), index, stop };
}

// The unit at the input's index, which the caller has checked lies before the end.
std::uint32_t unit_at(InputUnits const& at)
{
    switch (at.unit) {
    case 1:
        return static_cast<std::uint8_t const*>(at.data)[at.index];
    case 2:
        return static_cast<std::uint16_t const*>(at.data)[at.index];
    default:
        return static_cast<std::uint32_t const*>(at.data)[at.index];
    }
}

Cell const* cells_of(Cell const& input)
{
    return series::buffer_of(input)->head_cell();
}

}

std::array<std::uint32_t, 256> latin_fold {};
std::array<bool, 256> fold_alone {};

InputKind kind_of(TypeId type)
{
    if (type_ids::is_text(type)) return InputKind::Text;
    if (type == type_ids::binary) return InputKind::Binary;
    if (type_ids::is_any_block(type)) return InputKind::Cells;
    return InputKind::Other;
}

bool is_input_type(TypeId type)
{
    return kind_of(type) != InputKind::Other;
}

void init_matching()
{
    for (std::uint32_t unit = 0; unit < latin_fold.size(); ++unit)
        latin_fold[unit] = unicode::change_case(unit, unicode::Case::Upper);
    // A fold is alone when it occurs once: counted in a sorted copy, as start-up runs this every time.
    std::array<std::uint32_t, 256> sorted = latin_fold;
    std::sort(sorted.begin(), sorted.end());
    for (std::uint32_t unit = 0; unit < latin_fold.size(); ++unit) {
        auto const [first, last] = std::equal_range(sorted.begin(), sorted.end(), latin_fold[unit]);
        fold_alone[unit] = last - first == 1;
    }
}

std::uint32_t fold_beyond_latin(std::uint32_t code_point)
{
    return unicode::change_case(code_point, unicode::Case::Upper);
}

bool compare_values(Cell const& input_cell, Cell const& rule, CompareOp mode)
{
    TypeId const type = cell::type_of(rule);
    if (type == type_ids::lit_word || type == type_ids::lit_path) {
        // A quoted word or path in the rules stands for the word or path itself in the input.
        CompareOp const op = mode == CompareOp::StrictEqual ? CompareOp::FindPathEqual : CompareOp::FindStrictPathEqual;
        return actions::compare(input_cell, rule, op);
    }
    return actions::compare(input_cell, rule, mode);
}

bool is_empty_literal(Cell const& rule)
{
    TypeId const type = cell::type_of(rule);
    if ((!type_ids::is_text(type) || type == type_ids::tag) && type != type_ids::binary) return false;
    return series::length_of(rule) == 0;
}

std::int64_t match_literal(Cell const& input, InputKind kind, Cell const& rule, CompareOp mode, std::uint32_t end)
{
    InputUnits const at = input_units(input, end);
    if (at.index >= at.end) return -1;
    if (kind == InputKind::Cells) return compare_values(cells_of(input)[at.index], rule, mode) ? 1 : -1;
    // A character or a charset against one unit, the commonest literals, answered without a pattern: the
    // same tests as pattern_of's Unit and Bitset kinds.
    if (is_unit_rule(rule, kind)) return unit_matches(rule, kind, mode, unit_at(at)) ? 1 : -1;
    if (Cell single; is_single_unit(rule, kind, single)) return unit_matches(single, kind, mode, unit_at(at)) ? 1 : -1;
    Pattern const pattern = pattern_of(rule, kind, mode);
    switch (pattern.kind) {
    case PatternKind::None:
        return -1;
    case PatternKind::Bitset:
        return with_input_unit(at.unit, [&]<typename In>() -> std::int64_t {
            return member(pattern, static_cast<In const*>(at.data)[at.index]) ? 1 : -1;
        });
    default:
        return with_units(at.unit, pattern.unit, pattern.fold, [&]<typename In, typename Pat, bool Fold>() {
            return match_at<In, Pat, Fold>(static_cast<In const*>(at.data), at.index, at.end, pattern);
        });
    }
}

Found search_literal(Cell const& input, InputKind kind, Cell const& rule, CompareOp mode, std::uint32_t end)
{
    InputUnits const at = input_units(input, end);
    if (kind == InputKind::Cells) {
        Cell const* cells = cells_of(input);
        for (std::uint32_t place = at.index; place < at.end; ++place)
            if (compare_values(cells[place], rule, mode)) return { true, false, place, 1 };
        return { false, false, 0, 0 };
    }
    Cell single;
    if (is_unit_rule(rule, kind) || is_single_unit(rule, kind, single)) {
        Cell const& unit_rule
            = cell::type_of(rule) == type_ids::bitset || cell::type_of(rule) == type_ids::char_ ? rule : single;
        std::int64_t const place = with_input_unit(at.unit, [&]<typename In>() {
            return search_unit_rule<In>(static_cast<In const*>(at.data), at.index, at.end, unit_rule, kind, mode);
        });
        if (place < 0) return { false, false, 0, 0 };
        return { true, false, static_cast<std::uint32_t>(place), 1 };
    }
    Pattern const pattern = pattern_of(rule, kind, mode);
    switch (pattern.kind) {
    case PatternKind::None:
        return { false, true, 0, 0 };
    case PatternKind::Bitset: {
        std::int64_t const place = with_input_unit(at.unit, [&]<typename In>() {
            return search_members<In>(static_cast<In const*>(at.data), at.index, at.end, pattern);
        });
        if (place < 0) return { false, false, 0, 0 };
        return { true, false, static_cast<std::uint32_t>(place), 1 };
    }
    default: {
        std::int64_t const place
            = with_units(at.unit, pattern.unit, pattern.fold, [&]<typename In, typename Pat, bool Fold>() {
                  return search_units<In, Pat, Fold>(static_cast<In const*>(at.data), at.index, at.end, pattern);
              });
        if (place < 0) return { false, false, 0, 0 };
        return { true, false, static_cast<std::uint32_t>(place), covered(pattern) };
    }
    }
}

std::vector<Found> search_all(Cell const& input, InputKind kind, Cell const& rule, CompareOp mode, std::uint32_t end)
{
    std::vector<Found> found;
    InputUnits const at = input_units(input, end);
    // Calls `next(from)` for the place of the next match from `from` (-1: none) until there is none; each
    // match covers `length` units.
    auto gather = [&](std::uint32_t length, auto&& next) {
        for (std::uint32_t from = at.index;;) {
            std::int64_t const place = next(from);
            if (place < 0) return;
            found.push_back({ true, false, static_cast<std::uint32_t>(place), length });
            if (length == 0) return;
            from = static_cast<std::uint32_t>(place) + length;
        }
    };
    Cell single;
    if (kind != InputKind::Cells && (is_unit_rule(rule, kind) || is_single_unit(rule, kind, single))) {
        Cell const& unit_rule
            = cell::type_of(rule) == type_ids::bitset || cell::type_of(rule) == type_ids::char_ ? rule : single;
        with_input_unit(at.unit, [&]<typename In>() {
            gather(1, [&](std::uint32_t from) {
                return search_unit_rule<In>(static_cast<In const*>(at.data), from, at.end, unit_rule, kind, mode);
            });
        });
        return found;
    }
    Pattern const pattern = kind == InputKind::Cells ? Pattern {} : pattern_of(rule, kind, mode);
    if (pattern.kind == PatternKind::Units || pattern.kind == PatternKind::Tag) {
        with_units(at.unit, pattern.unit, pattern.fold, [&]<typename In, typename Pat, bool Fold>() {
            gather(covered(pattern), [&](std::uint32_t from) {
                return search_units<In, Pat, Fold>(static_cast<In const*>(at.data), from, at.end, pattern);
            });
        });
        return found;
    }
    // Cells, charsets and values that never match: one search at a time.
    Cell from = input;
    for (;;) {
        Found const next = search_literal(from, kind, rule, mode, end);
        if (!next.found) return found;
        found.push_back(next);
        if (next.length == 0) return found;
        from.word1 = next.start + next.length;
    }
}

Repeated repeat_literal(
    Cell const& input, InputKind kind, Cell const& rule, CompareOp mode, std::uint32_t end, std::int32_t maximum)
{
    InputUnits const at = input_units(input, end);
    if (kind == InputKind::Cells) {
        auto const bound = maximum < 0 ? 0xFFFF'FFFFu : static_cast<std::uint32_t>(maximum);
        Cell const* cells = cells_of(input);
        std::uint32_t count = 0;
        while (count < bound && at.index + count < at.end && compare_values(cells[at.index + count], rule, mode))
            ++count;
        return { count, count };
    }
    Cell single;
    if (is_unit_rule(rule, kind) || is_single_unit(rule, kind, single)) {
        Cell const& unit_rule
            = cell::type_of(rule) == type_ids::bitset || cell::type_of(rule) == type_ids::char_ ? rule : single;
        std::uint32_t stop = at.end;
        if (maximum >= 0 && static_cast<std::uint32_t>(maximum) < at.end - at.index)
            stop = at.index + static_cast<std::uint32_t>(maximum);
        std::uint32_t const count = with_input_unit(at.unit, [&]<typename In>() {
            return repeat_unit_rule<In>(static_cast<In const*>(at.data), at.index, stop, unit_rule, kind, mode);
        });
        return { count, count };
    }
    Pattern const pattern = pattern_of(rule, kind, mode);
    switch (pattern.kind) {
    case PatternKind::None:
        return { 0, 0 };
    case PatternKind::Bitset:
        return with_input_unit(at.unit, [&]<typename In>() {
            return repeat_members<In>(static_cast<In const*>(at.data), at.index, at.end, pattern, maximum);
        });
    default:
        return with_units(at.unit, pattern.unit, pattern.fold, [&]<typename In, typename Pat, bool Fold>() {
            return repeat_units<In, Pat, Fold>(static_cast<In const*>(at.data), at.index, at.end, pattern, maximum);
        });
    }
}

std::uint32_t scan_binary_type(Cell const& input, std::uint32_t end, Cell const& rule)
{
    InputUnits const at = input_units(input, end);
    if (at.index >= at.end) return 0;
    Cell from = input;
    series::set_index(from, at.index);
    Cell destination = none_value;
    std::uint32_t consumed = 0;
    std::int32_t const type = lexer::scan_bytes(destination, from, at.end - at.index,
        { .one_value = true, .make_result = false }, &consumed, none_value, nullptr);
    // A syntax error scans as error!, which no value of the input is.
    if (type <= 0 || type > type_ids::last || type == type_ids::error || consumed == 0) return 0;
    bool const wanted = cell::type_of(rule) == type_ids::typeset ? typeset::has(rule, static_cast<std::uint32_t>(type))
                                                                 : static_cast<std::uint32_t>(type) == rule.word1;
    return wanted ? consumed : 0;
}

}
