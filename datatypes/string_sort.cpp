// string!: sort, on records of one or more units, in place. binary! reuses it.

#include "datatypes/string.h"

#include <algorithm>

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
            // TODO: order by calling the comparison function once the interpreter can call functions.
            fire_error(err::internal::not_done);
        default:
            detail::fire_bad_refinement("compare", comparator);
        }
    }

    series::tell_owner(*series, "sort", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    SeriesBuffer* buffer = node::buffer(series->word2);
    SortPlan const plan { buffer->unit(), record_units, compared_unit, options.all, options.case_sensitive,
        options.reverse };
    // Nothing below allocates: the records stay where they are while they are sorted.
    void* base = buffer->head_address() + (std::uint64_t { index } << buffer->unit_shift());
    std::uint32_t const records = count / record_units;
    std::uint32_t const width = record_units * plan.unit;
    auto order = [&plan](void const* a, void const* b) { return compare_records(a, b, plan); };
    if (options.stable)
        xol::sort::merge(base, records, width, order); // /case or not: stable was asked for
    else
        xol::sort::quick(base, records, width, order);
    series::tell_owner(*series, "sorted", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    return *series;
}

}
