// string!: comparing texts and matching patterns at a position (compare, find, parse).

#include "datatypes/string.h"

#include <algorithm>

#include "datatypes/bitset.h"
#include "datatypes/string_private.h"
#include "runtime/assert.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol::string {

namespace {

bool folds(CompareOp op)
{
    return op != CompareOp::StrictEqual && op != CompareOp::CaseSort;
}

// Units of a compare operand that take part: a bounded slice brings its own count in word 3.
std::uint32_t operand_count(Cell const& value)
{
    std::uint32_t const remaining = rs_length_q(value);
    if (cell::type_of(value) == bounded_slice_type && static_cast<std::int32_t>(value.word3) >= 0)
        return std::min(remaining, value.word3);
    return remaining;
}

// A symbol! operand stands for its cached string, which whoever holds the symbol cell made (symbol::get):
// comparing never allocates.
Cell text_in_place(Cell const& value)
{
    if (cell::type_of(value) != type_ids::symbol) return value;
    XOL_ASSERT(value.word2 != no_node, "a symbol compared as text has its cached string");
    return cell::make(type_ids::string, 0, value.word2, 0);
}

}

std::int32_t equal_q(Cell const& given1, Cell const& given2, CompareOp op, bool match)
{
    Cell const value1 = text_in_place(given1);
    Cell const value2 = text_in_place(given2);
    bool const same_place = value1.word2 == value2.word2 && value1.word1 == value2.word1;
    if (op == CompareOp::Same) return same_place ? 0 : -1;
    bool const equality = op == CompareOp::Equal || op == CompareOp::NotEqual || op == CompareOp::StrictEqual
        || op == CompareOp::FindEqual;
    if (same_place && equality) return 0;

    std::uint32_t const length1 = rs_length_q(value1);
    std::uint32_t const count2 = operand_count(value2);
    std::uint32_t compared = count2;
    if (match) {
        if (count2 == 0) return op == CompareOp::FindEqual ? 1 : 0;
        if (length1 < count2) return 1;
    } else if (length1 != count2) {
        if (equality || count2 == 0) return 1;
        compared = std::min(length1, count2);
    } else if (length1 == 0) {
        return 0;
    }

    SeriesBuffer* buffer1 = node::buffer(value1.word2);
    SeriesBuffer* buffer2 = node::buffer(value2.word2);
    std::uint32_t const start1 = clamped_index(value1);
    std::uint32_t const start2 = clamped_index(value2);
    bool const fold = folds(op);
    if (buffer1->unit() == 1 && buffer2->unit() == 1) {
        // Latin-1 on both sides, the common case of keys and words: bytes read directly, folded only
        // where they differ.
        auto const* bytes1 = reinterpret_cast<std::uint8_t const*>(buffer1->head_address()) + start1;
        auto const* bytes2 = reinterpret_cast<std::uint8_t const*>(buffer2->head_address()) + start2;
        for (std::uint32_t i = 0; i < compared; ++i) {
            std::uint32_t c1 = bytes1[i];
            std::uint32_t c2 = bytes2[i];
            if (c1 == c2) continue;
            if (fold) {
                c1 = detail::fold_upper(c1);
                c2 = detail::fold_upper(c2);
            }
            if (c1 != c2) return c1 > c2 ? 1 : -1;
        }
        if (match) return 0;
        return length1 > count2 ? 1 : length1 == count2 ? 0 : -1;
    }
    for (std::uint32_t i = 0; i < compared; ++i) {
        std::uint32_t c1 = detail::unit_at(buffer1, start1 + i);
        std::uint32_t c2 = detail::unit_at(buffer2, start2 + i);
        if (fold) {
            c1 = detail::fold_upper(c1);
            c2 = detail::fold_upper(c2);
        }
        if (c1 != c2) return c1 > c2 ? 1 : -1;
    }
    if (match) return 0;
    return length1 > count2 ? 1 : length1 == count2 ? 0 : -1;
}

bool tag_delimited_q(Cell const& input, Cell const& tag)
{
    std::uint32_t const needed = rs_length_q(tag) + 2;
    if (rs_length_q(input) < needed) return false;
    return char_at(input, 0) == '<' && char_at(input, needed - 1) == '>';
}

std::int32_t match_arg(Cell const& input, Cell const& pattern, std::int32_t case_code)
{
    auto const op = static_cast<CompareOp>(case_code);
    TypeId const type = cell::type_of(pattern);
    if (type == type_ids::tag) {
        if (!tag_delimited_q(input, pattern)) return 0;
        // The tag's text against the text between the brackets.
        Cell inside = input;
        inside.word1 = clamped_index(input) + 1;
        return equal_q(inside, pattern, op, true) == 0 ? 1 : 0;
    }
    if (type_ids::is_text(type)) return equal_q(input, pattern, op, true) == 0 ? 1 : 0;
    if (type == type_ids::char_) {
        if (rs_tail_q(input)) return 0;
        std::uint32_t const code_point = char_at(input, 0);
        bool const exact = case_code == static_cast<std::int32_t>(CompareOp::StrictEqual);
        return detail::fold_unless(exact, code_point) == detail::fold_unless(exact, pattern.word2) ? 1 : 0;
    }
    return 0;
}

bool char_in_bitset_q(Cell const& value, Cell const& bitset)
{
    if (rs_tail_q(value)) return false;
    return bitset::member_q(bitset, char_at(value, 0));
}

bool char_in_run_q(Cell const& value, std::uint32_t code_point, std::uint32_t step, bool case_sensitive)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    std::uint32_t const total = buffer->length();
    std::uint32_t const wanted = detail::fold_unless(case_sensitive, code_point);
    if (step == 0) step = 1;
    for (std::uint32_t place = clamped_index(value); place < total; place += step)
        if (detail::fold_unless(case_sensitive, detail::unit_at(buffer, place)) == wanted) return true;
    return false;
}

}
