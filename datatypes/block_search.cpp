// block!: find, select, put and the set operations. A block-like value without /only is searched as the
// run of its cells; a datatype! or typeset! matches cells by their type.

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"

namespace xol::block {

using namespace detail;

namespace {

enum class MatchKind { Single, Type, Set, Run };

constexpr Found not_found { -1, 0, 1, false };

}

namespace detail {

Found search(Cell const& series, Cell const& value, FindOptions const& options)
{
    std::uint32_t const total = total_of(series);
    std::uint32_t const index = series.word1;
    if (total == 0 || (index >= total && !options.reverse)) return not_found;

    std::int64_t step = 1;
    if (options.skip) {
        if (cell::type_of(*options.skip) != type_ids::integer) {
            Cell const word = series::refinement_word("skip");
            fire_error(err::script::invalid_refine_arg, &word, options.skip);
        }
        step = integer::get(*options.skip);
        if (step < 1) fire_error(err::script::out_of_range, options.skip);
    }

    // `end` is the last cell a match may use.
    std::int64_t end = std::int64_t { total } - 1;
    bool const has_part = options.part != nullptr;
    if (has_part) {
        std::int64_t const length = series::part_length(series, *options.part);
        if (cell::type_of(*options.part) == type_ids::integer && length < 1) return not_found;
        end = std::min<std::int64_t>(std::int64_t { index } + length - 1, end);
    }

    MatchKind kind = MatchKind::Single;
    std::int64_t run_length = 1;
    TypeId const value_type = cell::type_of(value);
    if (!options.only) {
        if (value_type == type_ids::datatype)
            kind = MatchKind::Type;
        else if (value_type == type_ids::typeset)
            kind = MatchKind::Set;
        else if (is_any_block(value_type)) {
            kind = MatchKind::Run;
            run_length = rs_length_q(value);
            // An empty run has nothing to match.
            if (run_length == 0) return not_found;
        }
    }
    CompareOp const op = search_op(options.case_sensitive, options.same);

    auto matches_at = [&](std::int64_t place) {
        if (place < 0 || place + run_length - 1 > end) return false;
        Cell const& cell = cell_at(series, static_cast<std::uint32_t>(place));
        switch (kind) {
        case MatchKind::Type:
            return cell::type_of(cell) == datatype::get(value);
        case MatchKind::Set:
            return typeset_has(value, cell::type_of(cell));
        case MatchKind::Run: {
            std::uint32_t const from = position_of(value);
            for (std::int64_t i = 0; i < run_length; ++i) {
                if (!search_equal(cell_at(series, static_cast<std::uint32_t>(place + i)),
                        cell_at(value, static_cast<std::uint32_t>(from + i)), op))
                    return false;
            }
            return true;
        }
        case MatchKind::Single:
            break;
        }
        return search_equal(cell, value, op);
    };

    bool const backward = options.last || options.reverse;
    std::int64_t start = index;
    if (options.last) {
        start = end - run_length + 1;
    } else if (options.reverse) {
        start = has_part ? end - run_length + 1 : std::int64_t { std::min(index, total) } - run_length;
        if (start < 0) return not_found;
    }

    Found found { -1, static_cast<std::uint32_t>(run_length), static_cast<std::uint32_t>(step),
        kind == MatchKind::Run };
    if (options.match) {
        if (matches_at(start)) found.place = start;
        return found;
    }
    if (backward) {
        for (std::int64_t place = start; place >= 0; place -= step) {
            if (matches_at(place)) {
                found.place = place;
                return found;
            }
        }
    } else {
        for (std::int64_t place = start; place + run_length - 1 <= end; place += step) {
            if (matches_at(place)) {
                found.place = place;
                return found;
            }
        }
    }
    return found;
}

}

Cell find(Cell const& series, Cell const& value, FindOptions const& options)
{
    Found const found = search(series, value, options);
    if (found.place < 0) return none_value;
    std::int64_t place = found.place;
    if (options.tail) {
        if (found.run)
            place += found.length;
        else if (options.last || options.reverse)
            place += 1;
        else
            place += found.step;
    }
    Cell result = series;
    result.word1 = static_cast<std::uint32_t>(std::min<std::int64_t>(place, total_of(series)));
    return result;
}

Cell select(Cell const& series, Cell const& value, FindOptions const& options)
{
    FindOptions search_options = options;
    search_options.tail = false;
    search_options.match = false;
    Found const found = search(series, value, search_options);
    if (found.place < 0) return none_value;
    std::int64_t const after = found.place + (found.run ? found.length : 1);
    if (after >= total_of(series)) return none_value;
    return cell_at(series, static_cast<std::uint32_t>(after));
}

// The key is searched as one value, block keys included, so that a key put once is found by the next put.
Cell put(Cell const& series, Cell const& key, Cell const& value, bool case_sensitive)
{
    Rooted kept(series);
    Rooted kept_key(key);
    Rooted kept_value(value);
    FindOptions options {};
    options.only = true;
    options.case_sensitive = case_sensitive;
    Found const found = search(series, key, options);
    auto const index = static_cast<std::int32_t>(position_of(series));
    series::tell_owner(*kept, "put", &*kept_value, index, 1);
    if (found.place < 0) {
        // TODO(hash!): a hash! enters the key and the value in its table.
        rs_append(*kept, *kept_key);
        rs_append(*kept, *kept_value);
        return *kept_value;
    }
    auto const after = static_cast<std::uint32_t>(found.place + 1);
    if (after < total_of(*kept)) {
        if (!search_equal(cell_at(*kept, after), *kept_value, CompareOp::FindEqual))
            cell_at(*kept, after) = *kept_value;
    } else {
        rs_append(*kept, *kept_value);
    }
    series::tell_owner(*kept, "put-ed", &*kept_value, index, 1);
    return *kept_value;
}

Cell do_set_op(Cell const& first, Cell const* second, bool case_sensitive, Refinement skip, MathOp op)
{
    Rooted kept_first(first);
    Rooted kept_second(second ? *second : none_value);
    std::uint32_t size = 1;
    if (skip) {
        if (cell::type_of(*skip) != type_ids::integer || integer::get(*skip) < 1) {
            Cell const word = series::refinement_word("skip");
            fire_error(err::script::invalid_refine_arg, &word, skip);
        }
        size = static_cast<std::uint32_t>(integer::get(*skip));
    }
    std::uint32_t const length1 = rs_length_q(first);
    std::uint32_t const length2 = second ? rs_length_q(*second) : 0;
    std::uint64_t const room = std::uint64_t { length1 } + (op == MathOp::Union ? length2 : 0);
    Rooted result(unset_value);
    make_at(*result, static_cast<std::int32_t>(std::clamp<std::uint64_t>(room, 1, 0x7FFF'FFFF)));
    CompareOp const compare_op = case_sensitive ? CompareOp::StrictEqual : CompareOp::FindEqual;

    // TODO(set natives): membership through a runtime hash table once the set natives call this; these
    // scans are quadratic.
    auto is_member = [&](Cell const& cell, Cell const& other) {
        for (std::uint32_t i = position_of(other); i < total_of(other); ++i)
            if (search_equal(cell_at(other, i), cell, compare_op)) return true;
        return false;
    };
    auto is_collected = [&](Cell const& cell) {
        for (std::uint32_t i = 0; i < total_of(*result); i += size)
            if (search_equal(cell_at(*result, i), cell, compare_op)) return true;
        return false;
    };
    // One pass over `from`: with `other`, keeps the records whose first cell is (or is not) in it.
    auto collect = [&](Rooted& from, Rooted const* other, bool keep_members) {
        for (std::uint32_t place = position_of(*from); place < total_of(*from); place += size) {
            Cell const& head = cell_at(*from, place);
            if (other && is_member(head, **other) != keep_members) continue;
            if (is_collected(head)) continue;
            std::uint32_t const count = std::min(size, total_of(*from) - place);
            for (std::uint32_t i = 0; i < count; ++i) rs_append(*result, cell_at(*from, place + i));
        }
    };

    switch (op) {
    case MathOp::Union:
        collect(kept_first, nullptr, true);
        if (second) collect(kept_second, nullptr, true);
        break;
    case MathOp::Intersect:
        if (second) collect(kept_first, &kept_second, true);
        break;
    case MathOp::Exclude:
        if (second)
            collect(kept_first, &kept_second, false);
        else
            collect(kept_first, nullptr, true);
        break;
    case MathOp::Difference:
        if (second) {
            collect(kept_first, &kept_second, false);
            collect(kept_second, &kept_first, false);
        } else {
            collect(kept_first, nullptr, true);
        }
        break;
    default: // unique
        collect(kept_first, nullptr, true);
        break;
    }
    // The answer has the first argument's type, whatever the second's (a block! with a hash! answers a block!,
    // a hash! with a block! a hash!).
    // TODO(hash!): a hash! answer gets the table built while collecting.
    cell::set_type(*result, cell::type_of(*kept_first));
    return *result;
}

}
