// block!: the modifiers (insert and append, change, take, swap, trim), copy and sort. A value inserted
// into its own block is read from a copy first: opening the gap would split or move it.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/compare.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/unset.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/sorting.h"
#include "runtime/stack.h"

namespace xol::block {

using namespace detail;

namespace {

// Writes the cells to insert (the value's cells from its index when it splices, else the value itself)
// at `place`, where a gap of `cells` x `count` cells is already open, and repeats the run `count` times.
// `source` is the node the spliced cells are read from, `from` their first place there.
void fill_gap(NodeId target, std::uint32_t place, Cell const& value, bool splice, NodeId source, std::uint32_t from,
    std::uint32_t cells, std::uint32_t count)
{
    Cell* at = node::buffer(target)->head_cell() + place;
    if (splice)
        std::memcpy(at, node::buffer(source)->head_cell() + from, std::size_t { cells } * sizeof(Cell));
    else
        *at = value;
    for (std::uint32_t copy = 1; copy < count; ++copy)
        std::memcpy(at + std::size_t { copy } * cells, at, std::size_t { cells } * sizeof(Cell));
}

// The node the spliced cells are read from (none when the value goes in as one cell): a copy when they lie
// in the target's own buffer. May allocate.
NodeId splice_source(Cell const& value, bool splice, NodeId target, std::uint32_t cells)
{
    if (!splice) return no_node;
    if (value.word2 != target) return value.word2;
    return series::copy_part(value.word2, position_of(value), cells);
}

void check_size(Cell const& series, std::uint64_t written)
{
    std::uint64_t const bytes = (std::uint64_t { total_of(series) } + written) * sizeof(Cell);
    if (written > 0xFFFF'FFFF || bytes > memory::max_capacity) fire_error(err::internal::no_memory);
}

struct SortOrder {
    CompareOp code;
    std::uint32_t flags; // bit 0 reverse, bit 1 whole records, bits 2 and up the record size or the field
};

// The order of two records of cells.
std::int32_t sort_compare(Cell const* a, Cell const* b, SortOrder const& order)
{
    if (order.flags & 1) std::swap(a, b);
    std::uint32_t const size_or_field = order.flags >> 2;
    bool const whole = (order.flags & 2) != 0;
    std::uint32_t const first = whole ? 0 : size_or_field;
    std::uint32_t const end = whole ? size_or_field : size_or_field + 1;
    for (std::uint32_t i = first; i < end; ++i) {
        if (cell::type_of(a[i]) == type_ids::integer && cell::type_of(b[i]) == type_ids::integer) {
            // The integer! compare action's order, without its dispatch: most sorted blocks hold integers.
            auto const x = static_cast<std::int32_t>(a[i].word2);
            auto const y = static_cast<std::int32_t>(b[i].word2);
            if (x != y) return (x > y) - (x < y);
            continue;
        }
        std::int32_t answer = actions::compare_typed(a[i], b[i], order.code);
        if (answer == compare_incomparable)
            answer = static_cast<std::int32_t>(cell::type_of(a[i])) - static_cast<std::int32_t>(cell::type_of(b[i]));
        if (answer != 0) return answer;
    }
    return 0;
}

// Whether one cell of each record is compared (a /compare field, or whole records of one cell), and which.
bool single_field(std::uint32_t size, SortOrder const& order, std::uint32_t& field)
{
    bool const whole = (order.flags & 2) != 0;
    if (whole && size != 1) return false;
    field = whole ? 0 : order.flags >> 2;
    return true;
}

// Whether every record's compared cell is an integer! (one cell compared): sort_compare then orders them by
// the payload alone, which the key sorts read in place.
bool integer_keys(
    Cell const* base, std::uint32_t records, std::uint32_t size, SortOrder const& order, std::uint32_t& field)
{
    if (!single_field(size, order, field)) return false;
    for (std::uint64_t k = 0; k < records; ++k)
        if (cell::type_of(base[k * size + field]) != type_ids::integer) return false;
    return true;
}

// The order a user /compare function gives two records: it is called with b then a (a then b under
// /reverse), each the record's first cell, or with /all a new block of the whole record.
std::int32_t call_sort_function(
    Cell const& function, Cell const* a, Cell const* b, std::uint32_t size, std::uint32_t flags)
{
    bool const reverse = (flags & 1) != 0;
    Cell const* first = reverse ? a : b;
    Cell const* second = reverse ? b : a;
    if ((flags & 2) == 0) return function_order(function::call_comparator(function, *first, *second));
    // The records stand on the value stack while their blocks are made: there a collection sees them.
    for (Cell const* record : { first, second })
        for (std::uint32_t i = 0; i < size; ++i) stack::push(record[i]);
    Cell* const records = stack::top() + 1 - 2 * size;
    Rooted first_block(unset_value);
    Rooted second_block(unset_value);
    make_from_run(*first_block, records, size, type_ids::block);
    make_from_run(*second_block, records + size, size, type_ids::block);
    stack::pop(2 * size);
    return function_order(function::call_comparator(function, *first_block, *second_block));
}

[[noreturn]] void bad_refinement(char const* name, Cell const& value)
{
    Cell const word = series::refinement_word(name);
    fire_error(err::script::invalid_refine_arg, &word, &value);
}

}

bool append_in_room(Cell const& series, Cell const& value, bool only)
{
    if (splices(value, only) || cell::type_of(series) == type_ids::hash) return false;
    SeriesBuffer* const buffer = buffer_of(series);
    if ((buffer->flags & series_flags::owned) || buffer->tail + sizeof(Cell) > buffer->capacity) return false;
    std::memcpy(buffer->tail_address(), &value, sizeof(Cell));
    buffer->tail += static_cast<std::uint32_t>(sizeof(Cell));
    return true;
}

Cell insert(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append)
{
    if (append && dup == 1 && part != 0 && append_in_room(series, value, only)) {
        Cell result = series;
        result.word1 = 0;
        return result;
    }
    Rooted kept(series);
    Rooted kept_value(value);
    bool const splice = splices(value, only);
    std::uint64_t cells = splice ? rs_length_q(value) : 1;
    if (cells == 0) return series;
    if (part >= 0 && static_cast<std::uint64_t>(part) <= cells) cells = static_cast<std::uint64_t>(part);
    std::uint64_t const count = dup < 0 ? 0 : static_cast<std::uint64_t>(dup);
    std::uint64_t const written = cells * count;
    if (written == 0) return series;
    check_size(series, written);

    std::uint32_t const place = append ? total_of(series) : position_of(series);
    auto const total = static_cast<std::uint32_t>(written);
    series::tell_owner(*kept, append ? "append" : "insert", &*kept_value, static_cast<std::int32_t>(place),
        static_cast<std::int32_t>(total));
    RootedNode source(splice_source(*kept_value, splice, kept->word2, static_cast<std::uint32_t>(cells)));
    std::uint32_t const from = splice && *source == kept_value->word2 ? position_of(*kept_value) : 0;
    std::uint32_t const before = total_of(*kept);
    open_gap(kept->word2, place, total, dup < 5);
    fill_gap(kept->word2, place, *kept_value, splice, *source, from, static_cast<std::uint32_t>(cells),
        static_cast<std::uint32_t>(count));
    hash_::replaced(*kept, place, 0, total, before);
    series::tell_owner(*kept, append ? "appended" : "inserted", &*kept_value, static_cast<std::int32_t>(place),
        static_cast<std::int32_t>(total));
    Cell result = *kept;
    result.word1 = append ? 0 : std::min(place + total, total_of(*kept));
    return result;
}

Cell change(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup)
{
    Rooted kept(series);
    Rooted kept_value(value);
    std::uint32_t const place = position_of(series);
    bool const splice = splices(value, only);
    std::uint64_t const cells = splice ? rs_length_q(value) : 1;
    std::uint64_t const count = dup < 0 ? 0 : static_cast<std::uint64_t>(dup);
    std::uint64_t const written = cells * count;
    std::uint64_t const left = total_of(series) - place;
    std::uint64_t const replaced
        = std::min<std::uint64_t>(part >= 0 ? static_cast<std::uint64_t>(part) : written, left);
    if (written > replaced) check_size(series, written - replaced);

    series::tell_owner(
        *kept, "change", &*kept_value, static_cast<std::int32_t>(place), static_cast<std::int32_t>(written));
    RootedNode source(splice_source(*kept_value, splice, kept->word2, static_cast<std::uint32_t>(cells)));
    std::uint32_t const from = splice && *source == kept_value->word2 ? position_of(*kept_value) : 0;
    auto const write_count = static_cast<std::uint32_t>(written);
    auto const replace_count = static_cast<std::uint32_t>(replaced);
    std::uint32_t const before = total_of(*kept);
    if (write_count > replace_count)
        open_gap(kept->word2, place + replace_count, write_count - replace_count, true);
    else if (write_count < replace_count)
        close_gap(kept->word2, place + write_count, replace_count - write_count);
    if (write_count > 0)
        fill_gap(kept->word2, place, *kept_value, splice, *source, from, static_cast<std::uint32_t>(cells),
            static_cast<std::uint32_t>(count));
    hash_::replaced(*kept, place, replace_count, write_count, before);
    series::tell_owner(
        *kept, "changed", &*kept_value, static_cast<std::int32_t>(place), static_cast<std::int32_t>(written));
    Cell result = *kept;
    result.word1 = std::min(place + write_count, total_of(*kept));
    return result;
}

Cell take(Cell const& series, Refinement part, bool deep, bool last)
{
    Cell const taken = series::take(series, part, deep, last);
    if (cell::type_of(taken) == type_ids::none) return taken;
    Rooted result(taken);
    if (deep) {
        for (std::uint32_t i = 0; i < total_of(*result); ++i) {
            Cell const cell = cell_at(*result, i);
            if (!series::is_series_type(cell::type_of(cell))) continue;
            Cell const copied = copy_typed(cell, true, nullptr);
            cell_at(*result, i) = copied;
        }
    }
    if (!part && total_of(*result) == 1) return cell_at(*result, 0);
    return *result;
}

Cell swap(Cell const& series1, Cell const& series2)
{
    if (!is_any_block(cell::type_of(series2))) fire_error(err::script::invalid_arg, &series2);
    if (rs_tail_q(series1) || rs_tail_q(series2)) return series1;
    Rooted kept1(series1);
    Rooted kept2(series2);
    auto const index1 = static_cast<std::int32_t>(series1.word1);
    auto const index2 = static_cast<std::int32_t>(series2.word1);
    series::tell_owner(*kept1, "swap", &*kept2, index1, 1);
    series::tell_owner(*kept2, "swap", &*kept1, index2, 1);
    std::swap(cell_at(*kept1, kept1->word1), cell_at(*kept2, kept2->word1));
    hash_::replaced(*kept1, kept1->word1, 1, 1, total_of(*kept1));
    hash_::replaced(*kept2, kept2->word1, 1, 1, total_of(*kept2));
    series::tell_owner(*kept1, "swaped", &*kept2, index1, 1);
    series::tell_owner(*kept2, "swaped", &*kept1, index2, 1);
    return *kept1;
}

// The refinements of trim change nothing on blocks: trim removes the none! values.
Cell trim(Cell const& series, TrimOptions const&)
{
    Rooted kept(series);
    std::uint32_t const place = position_of(series);
    series::tell_owner(*kept, "trim", nullptr, static_cast<std::int32_t>(place), 0);
    SeriesBuffer* buffer = buffer_of(*kept);
    Cell* cells = buffer->head_cell();
    std::uint32_t kept_count = place;
    for (std::uint32_t i = place; i < buffer->length(); ++i)
        if (cell::type_of(cells[i]) != type_ids::none) cells[kept_count++] = cells[i];
    buffer->tail = buffer->head + kept_count * static_cast<std::uint32_t>(sizeof(Cell));
    series::tell_owner(*kept, "trimmed", nullptr, static_cast<std::int32_t>(place), 0);
    return *kept;
}

Cell copy(Cell const& value, Refinement part, bool deep, Refinement types)
{
    Rooted source(value);
    Rooted result(series::copy(value, part, deep, types));
    if (!deep && !types) return *result;
    if (cell::type_of(*result) == type_ids::hash) cell::set_type(*result, type_id);

    std::uint32_t const total = total_of(*result);
    if (!deep) {
        find_type(*result, 0, total, 1, false, *types);
        return *result;
    }
    if (cycles::find(source->word2)) {
        cycles::reset();
        fire_error(err::internal::no_cycle);
    }
    CycleEntry const guard(source->word2);
    if (types) {
        find_type(*result, 0, total, 1, true, *types);
        return *result;
    }
    for (std::uint32_t i = 0; i < total; ++i) {
        Cell const cell = cell_at(*result, i);
        if (!series::is_series_type(cell::type_of(cell))) continue;
        Cell const copied = copy_typed(cell, true, nullptr);
        cell_at(*result, i) = copied;
    }
    return *result;
}

Cell sort(Cell const& series, SortOptions const& options)
{
    Rooted kept(series);
    std::int64_t start = position_of(series);
    std::int64_t count = std::int64_t { total_of(series) } - start;
    if (count <= 0) return series;
    if (options.part) {
        std::int64_t const length = series::part_length(series, *options.part);
        if (length < 0) {
            start += length;
            // Reaching back past the head sorts nothing.
            if (start < 0) return series;
            count = -length;
        } else if (length < count) {
            count = length;
        }
    }
    std::int64_t size = 1;
    if (options.skip) {
        if (cell::type_of(*options.skip) != type_ids::integer) bad_refinement("skip", *options.skip);
        size = integer::get(*options.skip);
        if (size < 1 || size > count || count % size != 0) bad_refinement("skip", *options.skip);
    }
    if (options.all && !options.skip) fire_error(err::script::bad_refines);

    SortOrder order { options.case_sensitive ? CompareOp::CaseSort : CompareOp::Sort, options.reverse ? 1u : 0u };
    auto const record_size = static_cast<std::uint32_t>(size);
    if (options.compare) {
        TypeId const compare_type = cell::type_of(*options.compare);
        if (compare_type == type_ids::function) {
            if (options.all) order.flags |= 2 | (record_size << 2);
            auto const first = static_cast<std::uint32_t>(start);
            series::tell_owner(
                *kept, "sort", nullptr, static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
            Rooted const comparator(*options.compare);
            sort_by(*kept, first, static_cast<std::uint32_t>(count / size), record_size, options.stable,
                [&order, &comparator](Cell const* a, Cell const* b, std::uint32_t cells) {
                    return call_sort_function(*comparator, a, b, cells, order.flags);
                });
            series::tell_owner(
                *kept, "sorted", nullptr, static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
            return *kept;
        }
        if (compare_type != type_ids::integer) bad_refinement("compare", *options.compare);
        if (options.all || !options.skip) fire_error(err::script::bad_refines);
        std::int32_t const field = integer::get(*options.compare);
        if (field < 1 || field > size) fire_error(err::script::out_of_range, options.compare);
        order.flags |= static_cast<std::uint32_t>(field - 1) << 2;
    } else if (options.all) {
        order.flags |= 2 | (record_size << 2);
    }

    auto const first = static_cast<std::uint32_t>(start);
    series::tell_owner(*kept, "sort", nullptr, static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
    {
        // The records are sorted where they lie, through their addresses: compare actions never allocate, and
        // the hold keeps the buffer in place should one do so all the same (debug builds stop on it below).
        gc::CollectionHold const hold;
        Cell* base = buffer_of(*kept)->head_cell() + first;
        auto const records = static_cast<std::uint32_t>(count / size);
        auto const width = static_cast<std::uint32_t>(record_size * sizeof(Cell));
        auto const compare_records = [&order](void const* a, void const* b) {
            return sort_compare(static_cast<Cell const*>(a), static_cast<Cell const*>(b), order);
        };
        [[maybe_unused]] std::uint64_t const epoch = memory::epoch();
        std::uint32_t key_field = 0;
        if (integer_keys(base, records, record_size, order, key_field)) {
            std::uint32_t const key_offset = key_field * static_cast<std::uint32_t>(sizeof(Cell))
                + static_cast<std::uint32_t>(offsetof(Cell, word2));
            bool const descending = (order.flags & 1) != 0;
            if (sort_integer_records(base, records, record_size, key_field, descending, options.stable)) {
                // sorted by a radix sort of the keys
            } else if (options.stable) {
                sort::merge_by_key(base, records, width, key_offset, descending);
            } else {
                sort::quick_by_key(base, records, width, key_offset, descending);
            }
        } else if (single_field(record_size, order, key_field)
            && sort_float_records(base, records, record_size, key_field, (order.flags & 1) != 0, options.stable)) {
            // all floats, sorted by a radix sort of their keys
        } else if (record_size == 1
            && sort_latin1_strings(
                base, records, order.code == CompareOp::CaseSort, (order.flags & 1) != 0, options.stable)) {
            // all strings of one byte a character, compared in place
        } else if (options.stable) {
            sort::merge(base, records, width, compare_records);
        } else {
            sort::quick(base, records, width, compare_records);
        }
        XOL_ASSERT(memory::epoch() == epoch, "a sort comparison allocated while the records were in place");
    }
    series::tell_owner(*kept, "sorted", nullptr, static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
    return *kept;
}

void sort_by(Cell const& series, std::uint32_t first, std::uint32_t records, std::uint32_t size, bool stable,
    RecordComparator comparator, void* user)
{
    if (records < 2) return;
    Rooted kept(series);
    RootedNode const node(series.word2);
    std::uint32_t const total = total_of(series);
    std::uint64_t const cells = std::uint64_t { records } * size;
    if (size == 0 || first + cells > total) fire_error(err::internal::not_here);
    auto const copied_cells = static_cast<std::uint32_t>(cells);
    RootedNode const copy(series::copy_part(series.word2, first, copied_cells));

    // Outside the series heap, so that nothing the comparator does can move or free them under the sort;
    // released by their owners however the sort ends.
    std::unique_ptr<std::uint32_t[]> order(new (std::nothrow) std::uint32_t[records]);
    std::unique_ptr<Cell[]> pair(new (std::nothrow) Cell[std::size_t { size } * 2]);
    if (!order || !pair) fire_error(err::internal::no_memory);
    std::iota(order.get(), order.get() + records, 0u);

    auto const compare = [&](void const* a, void const* b) -> std::int32_t {
        std::uint32_t const record_a = *static_cast<std::uint32_t const*>(a);
        std::uint32_t const record_b = *static_cast<std::uint32_t const*>(b);
        // The sorts only permute the table, so the numbers stay in range whatever the answers; checked all the
        // same, as is the copy, before a single cell is read.
        SeriesBuffer* from = node::buffer(*copy);
        if (record_a >= records || record_b >= records || from->length() != copied_cells)
            fire_error(err::internal::not_here);
        Cell const* cells_of = from->head_cell();
        std::memcpy(pair.get(), cells_of + std::size_t { record_a } * size, std::size_t { size } * sizeof(Cell));
        std::memcpy(pair.get() + size, cells_of + std::size_t { record_b } * size, std::size_t { size } * sizeof(Cell));
        return comparator(pair.get(), pair.get() + size, size, user);
    };
    if (stable)
        sort::merge(order.get(), records, sizeof(std::uint32_t), compare);
    else
        sort::quick(order.get(), records, sizeof(std::uint32_t), compare);

    // A comparator that changed the series' length (or its node) leaves it as it made it: the records no
    // longer fit where they came from.
    if (kept->word2 != *node || total_of(*kept) != total) return;
    Cell* target = buffer_of(*kept)->head_cell() + first;
    Cell const* source = node::buffer(*copy)->head_cell();
    for (std::uint32_t k = 0; k < records; ++k)
        std::memcpy(target + std::size_t { k } * size, source + std::size_t { order[k] } * size,
            std::size_t { size } * sizeof(Cell));
}

std::int32_t function_order(Cell const& answer)
{
    switch (cell::type_of(answer)) {
    case type_ids::logic:
        return logic::get(answer) ? 1 : -1;
    case type_ids::integer:
        return integer::get(answer);
    case type_ids::float_: {
        double const number = float_::get(answer);
        return number > 0 ? 1 : number < 0 ? -1 : 0;
    }
    case type_ids::none:
        return -1;
    default:
        return 1;
    }
}

}
