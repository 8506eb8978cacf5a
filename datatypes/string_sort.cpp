// string!: sort, on records of one or more units, in place. binary! reuses it.

#include "datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/string_private.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/sorting.h"

namespace xol::string {

namespace {

struct SortPlan {
    std::uint32_t unit;
    std::uint32_t record_units; // units a record holds
    std::uint32_t compared_unit; // the unit of a record that orders it (without /all)
    bool all;
    bool case_sensitive;
    bool reverse;
};

// Only A-Z fold in 1-byte text: the order of the other Latin-1 letters stays that of their code points.
std::uint32_t sort_key(std::uint32_t code_point, SortPlan const& plan)
{
    if (plan.case_sensitive) return code_point;
    if (plan.unit == 1) return code_point >= 'A' && code_point <= 'Z' ? code_point + 32 : code_point;
    return detail::fold_upper(code_point);
}

std::int32_t compare_records(void const* a, void const* b, SortPlan const& plan)
{
    auto const* left = static_cast<std::byte const*>(a);
    auto const* right = static_cast<std::byte const*>(b);
    std::uint32_t const first = plan.all ? 0 : plan.compared_unit;
    std::uint32_t const last = plan.all ? plan.record_units : plan.compared_unit + 1;
    std::int64_t difference = 0;
    for (std::uint32_t i = first; i < last && difference == 0; ++i) {
        std::uint32_t const offset = i * plan.unit;
        difference = std::int64_t { sort_key(get_char(left + offset, plan.unit), plan) }
            - std::int64_t { sort_key(get_char(right + offset, plan.unit), plan) };
    }
    std::int32_t const order = (difference > 0) - (difference < 0);
    return plan.reverse ? -order : order;
}

// Single bytes (1-byte text or binary, records of one unit) by a counting sort, stable: the order the merge sort
// gives. It stands for the quick sort too where equal keys are equal bytes, which only an upper-case letter
// and its lower case, folded together, can break. False, with nothing done, where it cannot serve.
bool sort_bytes(std::uint8_t* bytes, std::uint32_t count, SortPlan const& plan, bool stable)
{
    constexpr std::uint32_t counting_minimum = 64;
    if (plan.unit != 1 || plan.record_units != 1 || count < counting_minimum) return false;
    std::uint32_t per_byte[256] = {};
    for (std::uint32_t i = 0; i < count; ++i) ++per_byte[bytes[i]];
    if (!stable && !plan.case_sensitive)
        for (std::uint32_t c = 'A'; c <= 'Z'; ++c)
            if (per_byte[c] != 0 && per_byte[c + 32] != 0) return false;
    std::uint32_t per_key[256] = {};
    for (std::uint32_t c = 0; c < 256; ++c) per_key[sort_key(c, plan)] += per_byte[c];
    // Where each key's bytes start, the keys taken in the sort's direction.
    std::uint32_t start[256];
    std::uint32_t sum = 0;
    for (std::uint32_t k = 0; k < 256; ++k) {
        std::uint32_t const key = plan.reverse ? 255 - k : k;
        start[key] = sum;
        sum += per_key[key];
    }
    std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[count]);
    if (!copy) return false;
    std::memcpy(copy.get(), bytes, count);
    for (std::uint32_t i = 0; i < count; ++i) bytes[start[sort_key(copy[i], plan)]++] = copy[i];
    return true;
}

// The order a user /compare function's answer gives: true, or a negative number, places a after b.
std::int32_t function_order(Cell const& answer)
{
    switch (cell::type_of(answer)) {
    case type_ids::logic:
        return logic::get(answer) ? 1 : -1;
    case type_ids::integer: {
        std::int32_t const number = cell::integer_payload(answer);
        return number == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -number;
    }
    case type_ids::float_: {
        double const number = cell::float_payload(answer);
        return number > 0 ? -1 : number < 0 ? 1 : 0;
    }
    case type_ids::none:
        return -1;
    default:
        return 1;
    }
}

// A record as the function sees it: the compared unit as a char!, or with /all a new series of the series'
// type holding the whole record. May allocate.
Cell record_value(std::byte const* record, SortPlan const& plan, TypeId type)
{
    if (!plan.all) return cell::make(type_ids::char_, 0, get_char(record + plan.compared_unit * plan.unit, plan.unit));
    Rooted made(make(plan.record_units));
    for (std::uint32_t i = 0; i < plan.record_units; ++i)
        append_char(*made, get_char(record + i * plan.unit, plan.unit));
    cell::set_type(*made, type);
    return *made;
}

// Sorts with a user /compare function. The records are sorted in a copy outside the series heap, where
// nothing the function does can move them, and written back only when the series still has its node, its
// unit and its length; an error leaves the series as it was. May allocate.
void sort_by_function(Cell const& series_value, Cell const& function, std::uint32_t index, std::uint32_t records,
    SortPlan const& plan, bool stable)
{
    Rooted series(series_value);
    Rooted comparator(function);
    RootedNode const node(series->word2);
    std::uint32_t const length = node::buffer(*node)->length();
    std::uint32_t const width = plan.record_units * plan.unit;
    std::size_t const offset = std::size_t { index } * plan.unit;
    std::vector<std::byte> copy(std::size_t { records } * width);
    std::memcpy(copy.data(), node::buffer(*node)->head_address() + offset, copy.size());
    TypeId const type = cell::type_of(*series);
    // The function gets b then a (a then b under /reverse).
    auto const order = [&](void const* a, void const* b) {
        auto const* first = static_cast<std::byte const*>(plan.reverse ? a : b);
        auto const* second = static_cast<std::byte const*>(plan.reverse ? b : a);
        Rooted first_value(record_value(first, plan, type));
        Rooted second_value(record_value(second, plan, type));
        return function_order(function::call_comparator(*comparator, *first_value, *second_value));
    };
    if (stable)
        xol::sort::merge(copy.data(), records, width, order);
    else
        xol::sort::quick(copy.data(), records, width, order);
    SeriesBuffer* buffer = node::buffer(*node);
    if (series->word2 != *node || buffer->unit() != plan.unit || buffer->length() != length) return;
    std::memcpy(buffer->head_address() + offset, copy.data(), copy.size());
}

}

Cell sort(Cell const& series_value, SortOptions const& options)
{
    Rooted series(series_value);
    std::uint32_t const total = rs_length_all(*series);
    std::uint32_t index = std::min(series->word1, total);
    series->word1 = index;
    std::uint32_t count = total - index;
    if (options.part) {
        std::int32_t const part = detail::part_count(*series, *options.part, "part");
        if (part >= 0) {
            count = std::min(static_cast<std::uint32_t>(part), total - index);
        } else {
            std::uint32_t const before = static_cast<std::uint32_t>(-std::int64_t { part });
            if (before > index) {
                series->word1 = 0;
                return *series;
            }
            index -= before;
            series->word1 = index;
            count = before;
        }
    }
    if (count == 0) return *series;

    std::uint32_t record_units = 1;
    if (options.skip) {
        Cell const& size = *options.skip;
        std::int32_t const units = cell::type_of(size) == type_ids::integer ? cell::integer_payload(size) : 0;
        if (units < 1 || count % static_cast<std::uint32_t>(units) != 0 || count < static_cast<std::uint32_t>(units))
            detail::fire_bad_refinement("skip", size);
        record_units = static_cast<std::uint32_t>(units);
    } else if (options.all) {
        fire_error(err::script::bad_refines);
    }

    std::uint32_t compared_unit = 0;
    if (options.compare) {
        Cell const& comparator = *options.compare;
        switch (cell::type_of(comparator)) {
        case type_ids::integer: {
            if (!options.skip || options.all) fire_error(err::script::bad_refines);
            std::int32_t const n = cell::integer_payload(comparator);
            if (n < 1 || static_cast<std::uint32_t>(n) > record_units)
                fire_error(err::script::out_of_range, &comparator);
            compared_unit = static_cast<std::uint32_t>(n - 1);
            break;
        }
        case type_ids::function:
            break;
        default:
            detail::fire_bad_refinement("compare", comparator);
        }
    }

    series::tell_owner(*series, "sort", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    SeriesBuffer* buffer = node::buffer(series->word2);
    SortPlan const plan { buffer->unit(), record_units, compared_unit, options.all, options.case_sensitive,
        options.reverse };
    std::uint32_t const records = count / record_units;
    if (options.compare && cell::type_of(*options.compare) == type_ids::function) {
        sort_by_function(*series, *options.compare, index, records, plan, options.stable);
        series::tell_owner(
            *series, "sorted", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
        return *series;
    }
    // Nothing below allocates: the records stay where they are while they are sorted.
    void* base = buffer->head_address() + (std::uint64_t { index } << buffer->unit_shift());
    std::uint32_t const width = record_units * plan.unit;
    auto order = [&plan](void const* a, void const* b) { return compare_records(a, b, plan); };
    if (sort_bytes(static_cast<std::uint8_t*>(base), records, plan, options.stable)) {
        // counted
    } else if (options.stable) {
        xol::sort::merge(base, records, width, order); // /case or not: stable was asked for
    } else {
        xol::sort::quick(base, records, width, order);
    }
    series::tell_owner(*series, "sorted", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    return *series;
}

}
