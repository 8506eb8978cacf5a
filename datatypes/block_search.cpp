// block!: find, select, put and the set operations. A block-like value without /only is searched as the
// run of its cells; a datatype! or typeset! matches cells by their type.

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/block_private.h"
#include "datatypes/datatype.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/series.h"
#include "runtime/type_families.h"

namespace xol::block {

using namespace detail;

namespace {

enum class MatchKind { Single, Type, Set, Run };

constexpr Found not_found { -1, 0, 1, false };

// The cells whose hash agrees with the search equality: equal values hash alike, so a runtime hash table
// finds them. Block-like values hash by their series and most other compound values by their identity,
// while the search equality compares their content: those are compared one by one.
bool hashed_by_value(TypeId type)
{
    switch (type) {
    case type_ids::unset:
    case type_ids::none:
    case type_ids::logic:
    case type_ids::datatype:
    case type_ids::char_:
    case type_ids::integer:
    case type_ids::float_:
    case type_ids::typeset:
        return true;
    default:
        return type_ids::is_all_word(type) || type_ids::is_text(type);
    }
}

// A set of values for the set operations: membership under one search equality, in constant time for the
// values a hash table can hold. The table indexes a block of its own, where every key is kept as the
// equality sees it: without /case a word of any kind but issue! equals the same word of every other kind,
// so those keys are stored as word! values.
class MemberSet {
public:
    MemberSet(std::uint32_t expected, CompareOp op)
        : m_op(op)
        , m_hashed(unset_value)
        , m_others(unset_value)
    {
        NodeId const table = hashtable::init(std::max(expected, 4u), nullptr, hashtable::Kind::Hash);
        // A map!-typed carrier: the collector marks the table in word 3 and its key block in word 2.
        *m_hashed = cell::make(type_ids::map, 0, hashtable::key_series(table), table);
        make_at(*m_others, 8);
    }

    bool contains(Cell const& value) const
    {
        if (hashed_by_value(cell::type_of(value))) {
            hashtable::GetOptions options;
            options.op = m_op;
            return hashtable::get(table(), key_of(value), options) >= 0;
        }
        Cell const& others = *m_others;
        for (std::uint32_t i = 0; i < total_of(others); ++i)
            if (search_equal(cell_at(others, i), value, m_op)) return true;
        return false;
    }

    // Adds the value unless an equal one is there; answers whether it was added. The value is taken as a
    // copy: it may come from a series buffer that the allocation moves. May allocate.
    bool add(Cell const value)
    {
        if (contains(value)) return false;
        if (!hashed_by_value(cell::type_of(value))) {
            rs_append(*m_others, value);
            return true;
        }
        *series::append_cell(keys()) = key_of(value);
        hashtable::insert(table(), total_of(keys()) - 1);
        return true;
    }

private:
    // Read again after every allocation: the collector may move the nodes and rewrites only the carrier.
    NodeId table() const { return (*m_hashed).word3; }
    Cell keys() const { return cell::make(type_ids::block, 0, (*m_hashed).word2); }

    Cell key_of(Cell const& value) const
    {
        Cell key = value;
        TypeId const type = cell::type_of(value);
        if (m_op != CompareOp::StrictEqual && type_ids::is_all_word(type) && type != type_ids::issue)
            cell::set_type(key, type_ids::word);
        return key;
    }

    CompareOp m_op;
    Rooted m_hashed;
    Rooted m_others;
};

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
        rs_append(*kept, *kept_key);
        rs_append(*kept, *kept_value);
        hash_::reindex(*kept);
        return *kept_value;
    }
    auto const after = static_cast<std::uint32_t>(found.place + 1);
    if (after < total_of(*kept)) {
        if (!search_equal(cell_at(*kept, after), *kept_value, CompareOp::FindEqual))
            cell_at(*kept, after) = *kept_value;
    } else {
        rs_append(*kept, *kept_value);
    }
    hash_::reindex(*kept);
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
    // The answer has the first argument's type, whatever the second's (a block! with a hash! answers a block!,
    // a hash! with a block! a hash!).
    auto answer = [&]() -> Cell {
        cell::set_type(*result, cell::type_of(*kept_first));
        if (cell::type_of(*result) == type_ids::hash) hash_::index_cells(*result);
        return *result;
    };
    if (integer_set_op(*result, *kept_first, second ? &*kept_second : nullptr, size, op)) return answer();

    // The first cells of the records of a series, for the membership tests against it.
    auto heads_of = [&](Rooted const& series, MemberSet& set) {
        for (std::uint32_t place = position_of(*series); place < total_of(*series); place += size)
            set.add(cell_at(*series, place));
    };
    MemberSet collected(static_cast<std::uint32_t>(std::min<std::uint64_t>(room / size + 1, 0x7FFF'FFFF)), compare_op);
    // One pass over `from`: with `other`, keeps the records whose first cell is (or is not) in it; every
    // record whose first cell is new to the result is copied whole.
    auto collect = [&](Rooted const& from, MemberSet const* other, bool keep_members) {
        for (std::uint32_t place = position_of(*from); place < total_of(*from); place += size) {
            Cell const head = cell_at(*from, place);
            if (other && other->contains(head) != keep_members) continue;
            if (!collected.add(head)) continue;
            std::uint32_t const count = std::min(size, total_of(*from) - place);
            for (std::uint32_t i = 0; i < count; ++i) rs_append(*result, cell_at(*from, place + i));
        }
    };

    auto make_set = [compare_op](std::uint32_t count) { return MemberSet(count, compare_op); };
    run_set_passes(
        op, kept_first, second ? &kept_second : nullptr, length1, length2, size, make_set, heads_of, collect);
    return answer();
}

}
