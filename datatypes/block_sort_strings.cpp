// block!: sort of single-cell records that are all string! values of one byte a character. The same sort
// runs over records that carry, beside each cell, the address and length of its characters, ordered by
// the string compare action's order written out: the comparison sorts' moves depend on nothing but the
// answers, so the permutation is the one the cells alone would get.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "datatypes/block_private.h"
#include "runtime/sorting.h"
#include "runtime/unicode.h"

namespace xol::block::detail {

namespace {

constexpr std::uint32_t string_sort_minimum = 16;

struct TextRecord {
    Cell cell;
    std::uint8_t const* bytes; // the characters from the string's index, in place under the collection hold
    std::uint32_t length;
    std::uint32_t padding;
};

// The upper case of every Latin-1 character, as the case-blind order compares them.
struct UpperTable {
    std::uint32_t upper[256];

    UpperTable()
    {
        for (std::uint32_t c = 0; c < 256; ++c) upper[c] = unicode::change_case(c, unicode::Case::Upper);
    }
};

// The string compare action's sort order: characters compared up to the shorter length, folded to upper
// case where they differ unless `case_sensitive`, then the shorter first.
std::int32_t text_order(TextRecord const& a, TextRecord const& b, bool case_sensitive, std::uint32_t const* upper)
{
    std::uint32_t const compared = a.length < b.length ? a.length : b.length;
    for (std::uint32_t i = 0; i < compared; ++i) {
        std::uint32_t c1 = a.bytes[i];
        std::uint32_t c2 = b.bytes[i];
        if (c1 == c2) continue;
        if (!case_sensitive) {
            c1 = upper[c1];
            c2 = upper[c2];
        }
        if (c1 != c2) return c1 > c2 ? 1 : -1;
    }
    return a.length > b.length ? 1 : a.length == b.length ? 0 : -1;
}

}

bool sort_latin1_strings(Cell* base, std::uint32_t count, bool case_sensitive, bool descending, bool stable)
{
    if (count < string_sort_minimum) return false;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (cell::type_of(base[k]) != type_ids::string) return false;
        if (node::buffer(base[k].word2)->unit() != 1) return false;
    }
    std::unique_ptr<TextRecord[]> records(new (std::nothrow) TextRecord[count]);
    if (!records) return false;
    for (std::uint32_t k = 0; k < count; ++k) {
        SeriesBuffer* const buffer = node::buffer(base[k].word2);
        std::uint32_t const total = buffer->length();
        std::uint32_t const start = base[k].word1 < total ? base[k].word1 : total;
        records[k] = TextRecord { base[k], reinterpret_cast<std::uint8_t const*>(buffer->head_address()) + start,
            total - start, 0 };
    }
    static UpperTable const table;
    std::uint32_t const* upper = table.upper;
    auto const compare = [case_sensitive, descending, upper](void const* a, void const* b) {
        auto const* first = static_cast<TextRecord const*>(a);
        auto const* second = static_cast<TextRecord const*>(b);
        if (descending) std::swap(first, second);
        return text_order(*first, *second, case_sensitive, upper);
    };
    if (stable)
        sort::merge(records.get(), count, sizeof(TextRecord), compare);
    else
        sort::quick(records.get(), count, sizeof(TextRecord), compare);
    for (std::uint32_t k = 0; k < count; ++k) base[k] = records[k].cell;
    return true;
}

}
