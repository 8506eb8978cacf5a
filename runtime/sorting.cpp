// The generic sorts: a natural merge sort with the Powersort merge policy (stable) and a three-way
// quick sort with a heap-sort fallback (in place, never quadratic).

#include "runtime/sorting.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "runtime/assert.h"
#include "runtime/errors.h"

namespace xol::sort {

namespace {

// The records as one array: positions are record numbers from the base. The moves are shared by both kinds
// of records below; each adds its comparison.
class RecordArray {
public:
    RecordArray(void* base, std::uint32_t width)
        : m_base(static_cast<std::byte*>(base))
        , m_width(width)
    {
    }

    std::byte* at(std::uint64_t position) const { return m_base + position * m_width; }
    std::uint32_t width() const { return m_width; }

    // Word-wise when the width allows it: records of a block are whole cells, those of a string single units.
    void swap(std::uint64_t a, std::uint64_t b) const
    {
        if (a == b) return;
        std::byte* first = at(a);
        std::byte* second = at(b);
        if (m_width % 4 == 0) {
            std::uint32_t offset = 0;
            for (; offset + 8 <= m_width; offset += 8) swap_word<std::uint64_t>(first + offset, second + offset);
            for (; offset < m_width; offset += 4) swap_word<std::uint32_t>(first + offset, second + offset);
        } else {
            for (std::uint32_t offset = 0; offset < m_width; ++offset) std::swap(first[offset], second[offset]);
        }
    }

    void reverse(std::uint64_t start, std::uint64_t end) const
    {
        while (end > start + 1) swap(start++, --end);
    }

    void copy(std::byte* target, std::byte const* source, std::uint64_t count) const
    {
        std::memmove(target, source, static_cast<std::size_t>(count * m_width));
    }

private:
    template <typename Word> static void swap_word(std::byte* first, std::byte* second)
    {
        Word word1;
        Word word2;
        std::memcpy(&word1, first, sizeof word1);
        std::memcpy(&word2, second, sizeof word2);
        std::memcpy(first, &word2, sizeof word2);
        std::memcpy(second, &word1, sizeof word1);
    }

    std::byte* m_base;
    std::uint32_t m_width;
};

// Records ordered by the caller's comparator.
class Records : public RecordArray {
public:
    Records(void* base, std::uint32_t width, void* user1, void* user2, Comparator comparator)
        : RecordArray(base, width)
        , m_user1(user1)
        , m_user2(user2)
        , m_comparator(comparator)
    {
    }

    std::int32_t compare(void const* a, void const* b) const { return m_comparator(a, b, m_user1, m_user2); }
    std::int32_t compare_at(std::uint64_t a, std::uint64_t b) const { return compare(at(a), at(b)); }

private:
    void* m_user1;
    void* m_user2;
    Comparator m_comparator;
};

// Records ordered by a signed 32-bit key inside each: the comparison inlined.
class KeyRecords : public RecordArray {
public:
    KeyRecords(void* base, std::uint32_t width, std::uint32_t key_offset, bool descending)
        : RecordArray(base, width)
        , m_key_offset(key_offset)
        , m_descending(descending)
    {
    }

    std::int32_t compare(void const* a, void const* b) const
    {
        std::int32_t x = key(a);
        std::int32_t y = key(b);
        if (m_descending) std::swap(x, y);
        return (x > y) - (x < y);
    }
    std::int32_t compare_at(std::uint64_t a, std::uint64_t b) const { return compare(at(a), at(b)); }

private:
    std::int32_t key(void const* record) const
    {
        std::int32_t value;
        std::memcpy(&value, static_cast<std::byte const*>(record) + m_key_offset, 4);
        return value;
    }

    std::uint32_t m_key_offset;
    bool m_descending;
};

// ---- Merge sort ---------------------------------------------------------------------------------------

constexpr std::uint64_t minimum_run = 24;

// The end of the natural run that starts at `start`, extended to `minimum_run` records by insertion. A
// strictly descending run is reversed: having no equal records, it keeps stability.
template <typename R> std::uint64_t next_run(R const& records, std::uint64_t start, std::uint64_t count)
{
    std::uint64_t end = start + 1;
    if (end == count) return end;
    if (records.compare_at(start, end) > 0) {
        ++end;
        while (end < count && records.compare_at(end - 1, end) > 0) ++end;
        records.reverse(start, end);
    } else {
        ++end;
        while (end < count && records.compare_at(end - 1, end) <= 0) ++end;
    }
    if (end - start < minimum_run) {
        std::uint64_t const target = start + minimum_run < count ? start + minimum_run : count;
        for (; end < target; ++end)
            for (std::uint64_t position = end; position > start && records.compare_at(position - 1, position) > 0;
                 --position)
                records.swap(position - 1, position);
    }
    return end;
}

// The Powersort node power of two adjacent runs [s1, s2) and [s2, e2): the first bit in which their
// midpoints, as fractions of the whole, differ.
std::uint32_t node_power(std::uint64_t s1, std::uint64_t s2, std::uint64_t e2, std::uint64_t count)
{
    std::uint64_t a = s1 + s2;
    std::uint64_t b = s2 + e2;
    std::uint32_t power = 0;
    while ((a >= count) == (b >= count)) {
        ++power;
        if (a >= count) {
            a -= count;
            b -= count;
        }
        a *= 2;
        b *= 2;
    }
    return power + 1;
}

// While two runs merge, records wait in the scratch buffer; the gap they leave in the data has exactly
// their number of places. Whatever way the merge ends (its last record placed, or a comparator that
// raises), the waiting records go into the gap: the data stays a permutation of the input.
template <typename R> struct PendingRecords {
    R const& records;
    std::byte const* source; // the first waiting record in the scratch buffer
    std::byte* gap; // where they go
    std::uint64_t count;

    ~PendingRecords() { records.copy(gap, source, count); }
};

template <typename R>
void merge_runs(R const& records, std::byte* scratch, std::uint64_t s1, std::uint64_t s2, std::uint64_t e2)
{
    if (records.compare_at(s2 - 1, s2) <= 0) return; // already in order
    std::uint64_t const left_length = s2 - s1;
    std::uint64_t const right_length = e2 - s2;
    std::uint32_t const width = records.width();
    if (right_length < left_length) {
        // From the right end backwards; a left record goes first only when it is greater, so equal
        // records keep their order.
        records.copy(scratch, records.at(s2), right_length);
        std::uint64_t left = s2; // one past the next left record
        std::uint64_t waiting = right_length; // scratch records not yet placed
        PendingRecords<R> pending { records, scratch, records.at(s2), waiting };
        std::uint64_t target = e2;
        while (waiting > 0 && left > s1) {
            std::byte const* right_record = scratch + (waiting - 1) * width;
            if (records.compare(records.at(left - 1), right_record) > 0) {
                records.copy(records.at(target - 1), records.at(left - 1), 1);
                --left;
            } else {
                records.copy(records.at(target - 1), right_record, 1);
                --waiting;
            }
            --target;
            pending.gap = records.at(left);
            pending.count = waiting;
        }
    } else {
        // From the left end forwards; a right record goes first only when the left one is greater.
        records.copy(scratch, records.at(s1), left_length);
        std::uint64_t placed = 0; // scratch records placed
        std::uint64_t right = s2;
        PendingRecords<R> pending { records, scratch, records.at(s1), left_length };
        std::uint64_t target = s1;
        while (placed < left_length && right < e2) {
            std::byte const* left_record = scratch + placed * width;
            if (records.compare(left_record, records.at(right)) > 0) {
                records.copy(records.at(target), records.at(right), 1);
                ++right;
            } else {
                records.copy(records.at(target), left_record, 1);
                ++placed;
            }
            ++target;
            pending.source = scratch + placed * width;
            pending.gap = records.at(target);
            pending.count = left_length - placed;
        }
    }
}

// ---- Quick sort ---------------------------------------------------------------------------------------

constexpr std::uint64_t insertion_limit = 7;

template <typename R> void insertion_sort(R const& records, std::uint64_t start, std::uint64_t end)
{
    for (std::uint64_t next = start + 1; next < end; ++next)
        for (std::uint64_t position = next; position > start && records.compare_at(position - 1, position) > 0;
             --position)
            records.swap(position - 1, position);
}

template <typename R> void sift_down(R const& records, std::uint64_t start, std::uint64_t root, std::uint64_t length)
{
    for (;;) {
        std::uint64_t child = 2 * root + 1;
        if (child >= length) return;
        if (child + 1 < length && records.compare_at(start + child, start + child + 1) < 0) ++child;
        if (records.compare_at(start + root, start + child) >= 0) return;
        records.swap(start + root, start + child);
        root = child;
    }
}

// The fallback when partitions keep coming out lopsided: n log n whatever the comparator does.
template <typename R> void heap_sort(R const& records, std::uint64_t start, std::uint64_t end)
{
    std::uint64_t const length = end - start;
    for (std::uint64_t root = length / 2; root-- > 0;) sift_down(records, start, root, length);
    for (std::uint64_t last = length; last-- > 1;) {
        records.swap(start, start + last);
        sift_down(records, start, 0, last);
    }
}

template <typename R> std::uint64_t median_of_three(R const& records, std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    if (records.compare_at(a, b) < 0) {
        if (records.compare_at(b, c) < 0) return b;
        return records.compare_at(a, c) < 0 ? c : a;
    }
    if (records.compare_at(a, c) < 0) return a;
    return records.compare_at(b, c) < 0 ? c : b;
}

template <typename R> std::uint64_t choose_pivot(R const& records, std::uint64_t start, std::uint64_t end)
{
    std::uint64_t const length = end - start;
    std::uint64_t const middle = start + length / 2;
    std::uint64_t const last = end - 1;
    if (length < 128) return median_of_three(records, start, middle, last);
    std::uint64_t const step = length / 8;
    return median_of_three(records, median_of_three(records, start, start + step, start + 2 * step),
        median_of_three(records, middle - step, middle, middle + step),
        median_of_three(records, last - 2 * step, last - step, last));
}

// Three-way partition around the record at `start`: records equal to the pivot are gathered at the front
// as they are met, lesser ones stay left and greater ones go right by swapping from both ends; the equal
// ones are then swapped into the middle. Answers the bounds of the equal records.
template <typename R>
std::pair<std::uint64_t, std::uint64_t> partition(R const& records, std::uint64_t start, std::uint64_t end)
{
    std::byte const* pivot = records.at(start); // stays put: only positions after the equal run are swapped
    std::uint64_t equal_end = start + 1;
    std::uint64_t left = start + 1;
    std::uint64_t right = end; // one past the last record not known to be greater
    for (;;) {
        while (left < right) {
            std::int32_t const order = records.compare(records.at(left), pivot);
            if (order > 0) break;
            if (order == 0) records.swap(left, equal_end++);
            ++left;
        }
        while (left < right && records.compare(records.at(right - 1), pivot) > 0) --right;
        if (left >= right) break;
        records.swap(left, right - 1); // left now holds a record not greater than the pivot
        --right;
    }
    std::uint64_t const equal_count = equal_end - start;
    std::uint64_t const lesser_count = left - equal_end;
    std::uint64_t const moved = equal_count < lesser_count ? equal_count : lesser_count;
    for (std::uint64_t k = 0; k < moved; ++k) records.swap(start + k, left - 1 - k);
    return { start + lesser_count, left };
}

template <typename R>
void quick_sort(R const& records, std::uint64_t start, std::uint64_t end, std::uint32_t depth_budget)
{
    while (end - start > insertion_limit) {
        if (depth_budget == 0) {
            heap_sort(records, start, end);
            return;
        }
        --depth_budget;
        records.swap(start, choose_pivot(records, start, end));
        auto const [equal_start, equal_end] = partition(records, start, end);
        // The smaller side by recursion, the larger by the loop: the C++ stack stays logarithmic.
        if (equal_start - start < end - equal_end) {
            quick_sort(records, start, equal_start, depth_budget);
            start = equal_end;
        } else {
            quick_sort(records, equal_end, end, depth_budget);
            end = equal_start;
        }
    }
    insertion_sort(records, start, end);
}

// The length of the ordered prefix, and whether it descends. Equal neighbours continue either order.
template <typename R> std::uint64_t ordered_prefix(R const& records, std::uint64_t count, bool& descending)
{
    descending = false;
    std::uint64_t end = 1;
    while (end < count) {
        std::int32_t const order = records.compare_at(end - 1, end);
        if (order != 0) {
            descending = order > 0;
            ++end;
            break;
        }
        ++end;
    }
    while (end < count) {
        std::int32_t const order = records.compare_at(end - 1, end);
        if (descending ? order < 0 : order > 0) break;
        ++end;
    }
    return end;
}

template <typename R> void merge_records(R const& records, std::uint32_t count)
{
    if (count < 2) return;
    std::uint32_t const width = records.width();
    std::uint64_t const scratch_bytes = std::uint64_t { count / 2 } * width;
    if (scratch_bytes > std::numeric_limits<std::uint32_t>::max()) fire_error(err::script::too_long);
    std::unique_ptr<std::byte[]> scratch(new (std::nothrow) std::byte[scratch_bytes]);
    if (!scratch) fire_error(err::internal::no_memory);

    struct PendingRun {
        std::uint64_t start;
        std::uint32_t power;
    };
    // Powers on the stack strictly increase and never exceed the bit length of the count.
    PendingRun pending[66];
    std::uint32_t depth = 0;

    std::uint64_t run_start = 0;
    std::uint64_t run_end = next_run(records, 0, count);
    while (run_end < count) {
        std::uint64_t const next_end = next_run(records, run_end, count);
        std::uint32_t const power = node_power(run_start, run_end, next_end, count);
        while (depth > 0 && pending[depth - 1].power > power) {
            --depth;
            merge_runs(records, scratch.get(), pending[depth].start, run_start, run_end);
            run_start = pending[depth].start;
        }
        XOL_ASSERT(depth < std::size(pending), "merge sort run stack overflow");
        pending[depth++] = PendingRun { run_start, power };
        run_start = run_end;
        run_end = next_end;
    }
    while (depth > 0) {
        --depth;
        merge_runs(records, scratch.get(), pending[depth].start, run_start, count);
        run_start = pending[depth].start;
    }
}

template <typename R> void quick_records(R const& records, std::uint32_t count)
{
    if (count < 2) return;
    bool descending = false;
    std::uint64_t const prefix = ordered_prefix(records, count, descending);
    if (descending) records.reverse(0, prefix);
    if (prefix == count) return;
    quick_sort(records, 0, count, 2 * static_cast<std::uint32_t>(std::bit_width(count)));
}

}

void merge(void* base, std::uint32_t count, std::uint32_t width, void* user1, void* user2, Comparator comparator)
{
    merge_records(Records(base, width, user1, user2, comparator), count);
}

void quick(void* base, std::uint32_t count, std::uint32_t width, void* user1, void* user2, Comparator comparator)
{
    quick_records(Records(base, width, user1, user2, comparator), count);
}

void merge_by_key(void* base, std::uint32_t count, std::uint32_t width, std::uint32_t key_offset, bool descending)
{
    merge_records(KeyRecords(base, width, key_offset, descending), count);
}

void quick_by_key(void* base, std::uint32_t count, std::uint32_t width, std::uint32_t key_offset, bool descending)
{
    quick_records(KeyRecords(base, width, key_offset, descending), count);
}

}
