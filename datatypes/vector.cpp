// vector!: element access, the make spec language, the printed forms, comparison, search and sort, and the
// datatype record.

#include "datatypes/vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/number_shared.h"
#include "datatypes/percent.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace xol::vector {

namespace {

bool is_number_element(TypeId element)
{
    return element == type_ids::float_ || element == type_ids::percent;
}

std::uint32_t default_width(TypeId element)
{
    return is_number_element(element) ? 8 : 4;
}

std::uint32_t clamped_index(Cell const& vector)
{
    return std::min(vector.word1, node::buffer(vector.word2)->length());
}

std::byte* element_address(Cell const& vector, std::uint32_t place)
{
    SeriesBuffer* buffer = node::buffer(vector.word2);
    return buffer->head_address() + (std::uint64_t { place } << buffer->unit_shift());
}

// The element type a type word names (integer! char! float! percent!, any case), else 0.
TypeId element_of_word(Cell const& word)
{
    if (cell::type_of(word) != type_ids::word) return 0;
    SymbolId const symbol = symbol::resolve(word.word2);
    struct Named {
        words::Symbol name;
        TypeId type;
    };
    for (Named const named :
        { Named { words::Symbol::integer, type_ids::integer }, Named { words::Symbol::char_, type_ids::char_ },
            Named { words::Symbol::float_, type_ids::float_ }, Named { words::Symbol::percent, type_ids::percent } })
        if (symbol == symbol::resolve(words::symbol_of(named.name))) return named.type;
    return 0;
}

// A size from an integer! or float!: out-of-range for NaN, a float beyond 32 bits or a negative count.
std::uint32_t size_of(Cell const& value)
{
    std::int32_t const size = number::to_int_checked(value);
    if (size < 0) fire_error(err::script::out_of_range, &value);
    return static_cast<std::uint32_t>(size);
}

// Appends the values of a block from its index, each checked before any is stored. May allocate.
void append_values(Cell const& vector, Cell const& values)
{
    Rooted kept(vector);
    Rooted list(values);
    TypeId const element = element_type(*kept);
    std::uint32_t const count = block::rs_length_q(*list);
    for (std::uint32_t i = 0; i < count; ++i) check_element(block::rs_head(*list)[i], element);
    SeriesBuffer* buffer = node::buffer(kept->word2);
    std::uint32_t const unit = buffer->unit();
    std::uint64_t const needed = std::uint64_t { buffer->tail - buffer->head } + std::uint64_t { count } * unit;
    if (needed > memory::max_capacity) fire_error(err::internal::no_memory);
    if (buffer->tail + std::uint64_t { count } * unit > buffer->capacity) buffer = series::expand(kept->word2, needed);
    for (std::uint32_t i = 0; i < count; ++i) {
        set_value(buffer->tail_address(), block::rs_head(*list)[i], unit, element);
        buffer->tail += unit;
    }
}

// The text of one element as form writes it; a char! as its literal when `literal`.
void element_text(Cell const& output, Cell const& value, std::uint32_t width, bool literal)
{
    switch (cell::type_of(value)) {
    case type_ids::integer:
        string::concatenate_literal(output, integer::form_signed(integer::get(value)));
        return;
    case type_ids::float_:
        string::concatenate_literal(output, float_::form_number(float_::get(value), width == 8 ? 1 : 0));
        return;
    case type_ids::percent:
        string::concatenate_literal(output, float_::form_number(percent::get(value) * 100.0, width == 8 ? 3 : 2));
        return;
    default: {
        Rooted molded(string::make(8));
        char_::mold(value, *molded, false, false, false, nullptr, 0, 0);
        if (literal) {
            string::concatenate(output, *molded, -1, 0, false, string::SpliceMode::Append);
            return;
        }
        // The literal without its #" and ".
        Cell inner = *molded;
        inner.word1 = 2;
        string::concatenate(output, inner, static_cast<std::int32_t>(string::rs_length_all(*molded)) - 3, 0, false,
            string::SpliceMode::Append);
    }
    }
}

// The elements from the index, one space apart; with /part it stops before an element once the budget is
// used. Answers the budget left.
std::int32_t write_elements(Cell const& vector, Cell const& output, Refinement part, std::int32_t limit, bool literal)
{
    Rooted kept(vector);
    Rooted out(output);
    std::uint32_t const count = rs_length(*kept);
    std::uint32_t const width = vector::width(*kept);
    TypeId const element = element_type(*kept);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (part && limit <= 0) break;
        std::uint32_t const before = string::rs_length_all(*out);
        if (i > 0) string::append_char(*out, ' ');
        Cell const value = get_value(element_address(*kept, clamped_index(*kept) + i), width, element);
        element_text(*out, value, width, literal);
        limit -= static_cast<std::int32_t>(string::rs_length_all(*out) - before);
    }
    return limit;
}

// Equality codes answer 0 or 1; the others order.
bool equality_code(CompareOp op)
{
    return op == CompareOp::Equal || op == CompareOp::NotEqual || op == CompareOp::StrictEqual
        || op == CompareOp::FindEqual || op == CompareOp::FindPathEqual || op == CompareOp::FindStrictPathEqual;
}

// The place of the first element from `from` (stepping by `step`, backward when `backward`) that equals the
// number, within [low, high); -1 when none does.
std::int64_t scan(Cell const& vector, double number, std::uint32_t low, std::uint32_t high, std::int64_t from,
    std::int32_t step, bool backward)
{
    std::uint32_t const width = vector::width(vector);
    TypeId const element = element_type(vector);
    for (std::int64_t place = from; place >= low && place < high; place += backward ? -step : step)
        if (number_at(element_address(vector, static_cast<std::uint32_t>(place)), width, element) == number)
            return place;
    return -1;
}

// The number a search looks for: an integer!, char!, float! or percent!; anything else finds nothing.
bool searched_number(Cell const& value, double& number)
{
    switch (cell::type_of(value)) {
    case type_ids::integer:
    case type_ids::char_:
        number = static_cast<double>(cell::integer_payload(value));
        if (cell::type_of(value) == type_ids::char_) number = static_cast<double>(value.word2);
        return true;
    case type_ids::float_:
    case type_ids::percent:
        number = cell::float_payload(value);
        return true;
    default:
        return false;
    }
}

// The match's place for find and select, or -1.
std::int64_t locate(Cell& vector, Cell const& value, FindOptions const& options)
{
    std::uint32_t const total = node::buffer(vector.word2)->length();
    std::uint32_t const index = clamped_index(vector);
    vector.word1 = index;
    double number = 0;
    if (!searched_number(value, number)) return -1;
    std::int32_t step = 1;
    if (options.skip) {
        step = number::to_int_checked(*options.skip);
        if (step < 1) fire_error(err::script::out_of_range, options.skip);
    }
    bool const backward = options.last || options.reverse;
    std::uint32_t low = index;
    std::uint32_t high = total;
    if (options.reverse) {
        low = 0;
        high = index;
    }
    if (options.part) {
        std::int32_t const count = number::to_int_checked(*options.part);
        if (count < 1) return -1;
        if (options.reverse)
            low = index - std::min(index, static_cast<std::uint32_t>(count));
        else
            high = index + std::min(total - index, static_cast<std::uint32_t>(count));
    }
    if (low >= high) return -1;
    if (options.match) {
        bool const matched = number_at(element_address(vector, index), width(vector), element_type(vector)) == number;
        return matched ? std::int64_t { index } : -1;
    }
    std::int64_t const from = backward ? std::int64_t { high } - 1 : low;
    return scan(vector, number, low, high, from, step, backward);
}

}

std::uint32_t rs_length(Cell const& vector)
{
    std::uint32_t const length = node::buffer(vector.word2)->length();
    return vector.word1 < length ? length - vector.word1 : 0;
}

bool valid_layout(TypeId element, std::uint32_t width)
{
    switch (element) {
    case type_ids::char_:
    case type_ids::integer:
        return width == 1 || width == 2 || width == 4;
    case type_ids::float_:
        return width == 4 || width == 8;
    case type_ids::percent:
        return width == 8;
    default:
        return false;
    }
}

Cell make(TypeId element, std::uint32_t width, std::uint64_t count)
{
    if (count * width > memory::max_capacity) fire_error(err::internal::no_memory);
    NodeId const node = series::alloc_units(count, width);
    SeriesBuffer* buffer = node::buffer(node);
    std::memset(buffer->head_address(), 0, static_cast<std::size_t>(count * width));
    buffer->tail = buffer->head + static_cast<std::uint32_t>(count * width);
    return Cell { type_id, 0, node, element };
}

Cell get_value(std::byte const* address, std::uint32_t width, TypeId element)
{
    if (is_number_element(element)) {
        double number = 0;
        if (width == 4) {
            float single = 0;
            std::memcpy(&single, address, 4);
            number = single;
        } else {
            std::memcpy(&number, address, 8);
        }
        return element == type_ids::percent ? percent::make(number) : float_::make(number);
    }
    std::uint32_t bits = 0;
    std::memcpy(&bits, address, width);
    if (element == type_ids::char_) return char_::make(bits);
    // Signed at the width.
    std::int32_t number = 0;
    switch (width) {
    case 1:
        number = static_cast<std::int8_t>(bits);
        break;
    case 2:
        number = static_cast<std::int16_t>(bits);
        break;
    default:
        number = static_cast<std::int32_t>(bits);
    }
    return integer::make(number);
}

double number_at(std::byte const* address, std::uint32_t width, TypeId element)
{
    Cell const value = get_value(address, width, element);
    if (is_number_element(element)) return cell::float_payload(value);
    if (element == type_ids::char_) return static_cast<double>(value.word2);
    return static_cast<double>(integer::get(value));
}

void set_value(std::byte* address, Cell const& value, std::uint32_t width, TypeId element)
{
    TypeId const type = cell::type_of(value);
    bool const integral = type == type_ids::integer || type == type_ids::char_;
    bool const fractional = type == type_ids::float_ || type == type_ids::percent;
    if (!integral && !fractional) {
        Cell const datatype = datatype::make(type);
        fire_error(err::script::invalid_type, &datatype);
    }
    if (integral != !is_number_element(element)) fire_error(err::script::invalid_arg, &value);
    if (integral) {
        std::uint32_t const bits = value.word2;
        std::memcpy(address, &bits, width);
        return;
    }
    double const number = cell::float_payload(value);
    if (width == 8) {
        std::memcpy(address, &number, 8);
    } else {
        auto const single = static_cast<float>(number);
        std::memcpy(address, &single, 4);
    }
}

void check_element(Cell const& value, TypeId element)
{
    if (cell::type_of(value) != element) fire_error(err::script::invalid_arg, &value);
}

Cell to_block(Cell const& vector)
{
    Rooted kept(vector);
    std::uint32_t const count = rs_length(*kept);
    Rooted result(unset_value);
    block::make_at(*result, static_cast<std::int32_t>(std::max(count, 1u)));
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell const value
            = get_value(element_address(*kept, clamped_index(*kept) + i), width(*kept), element_type(*kept));
        block::rs_append(*result, value);
    }
    return *result;
}

Cell make(Cell const&, Cell const& spec_given, TypeId type)
{
    Rooted spec(spec_given);
    TypeId const spec_type = cell::type_of(*spec);
    if (spec_type == type_ids::integer || spec_type == type_ids::float_)
        return make(type_ids::integer, 4, size_of(*spec));
    if (spec_type != type_ids::block) fire_error(err::internal::not_done);
    std::uint32_t const count = block::rs_length_q(*spec);
    if (count == 0) return make(type_ids::integer, 4, 0);
    auto const at = [&](std::uint32_t i) { return block::rs_head(*spec)[i]; };
    TypeId element = 0;
    std::uint32_t width = 0;
    std::uint32_t size = 0;
    Rooted values(none_value);
    Cell const first = at(0);
    if (cell::type_of(first) == type_ids::word) {
        element = element_of_word(first);
        if (element == 0 || count < 2) {
            Cell const made = datatype::make(type);
            fire_error(err::script::bad_make_arg, &made, &*spec);
        }
        std::uint32_t next = 1;
        Cell const bits = at(next);
        if (cell::type_of(bits) == type_ids::integer) {
            std::int32_t const given = integer::get(bits);
            width = element == type_ids::percent ? 8 : static_cast<std::uint32_t>(given) / 8;
            if (given % 8 != 0 || given <= 0 || !valid_layout(element, width)) {
                if (element != type_ids::percent) {
                    Cell const made = datatype::make(type);
                    fire_error(err::script::bad_make_arg, &made, &*spec);
                }
            }
            ++next;
        } else if (element == type_ids::percent) {
            width = 8;
        } else {
            fire_error(err::script::invalid_spec_field, &*spec);
        }
        if (next < count) {
            Cell const item = at(next);
            if (cell::type_of(item) == type_ids::integer) {
                size = size_of(item);
                ++next;
                if (next < count && cell::type_of(at(next)) == type_ids::block) *values = at(next);
            } else if (cell::type_of(item) == type_ids::block) {
                *values = item;
            } else {
                fire_error(err::script::invalid_spec_field, &*spec);
            }
        }
    } else {
        element = cell::type_of(first);
        if (!valid_layout(element, default_width(element))) {
            Cell const datatype = datatype::make(element);
            fire_error(err::script::invalid_type, &datatype);
        }
        width = default_width(element);
        *values = *spec;
    }
    Rooted made(make(element, width, 0));
    if (cell::type_of(*values) == type_ids::block) append_values(*made, *values);
    std::uint32_t const filled = rs_length(*made);
    if (size > filled) {
        SeriesBuffer* buffer = node::buffer(made->word2);
        std::uint64_t const needed = std::uint64_t { size } * width;
        if (needed > memory::max_capacity) fire_error(err::internal::no_memory);
        if (needed > buffer->capacity) buffer = series::expand(made->word2, needed);
        std::memset(buffer->tail_address(), 0, static_cast<std::size_t>(needed - (buffer->tail - buffer->head)));
        buffer->tail = buffer->head + static_cast<std::uint32_t>(needed);
    }
    return *made;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return write_elements(value, buffer, part, limit, false);
}

std::int32_t mold(
    Cell const& value, Cell& buffer, bool only, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    Rooted kept(value);
    Rooted out(buffer);
    if (!only) limit = string::append_ascii(*out, "make vector! [", limit);
    std::uint32_t const width = vector::width(*kept);
    TypeId const element = element_type(*kept);
    bool const short_form = node::buffer(kept->word2)->length() != 0 && width == default_width(element);
    if (short_form) {
        limit = write_elements(*kept, *out, part, limit, true);
    } else {
        limit = string::append_ascii(*out, datatype::name(element), limit);
        limit = string::append_ascii(*out, " ", limit);
        limit = string::append_ascii(*out, integer::form_signed(static_cast<std::int32_t>(width * 8)), limit);
        limit = string::append_ascii(*out, " [", limit);
        limit = write_elements(*kept, *out, part, limit, true);
        limit = string::append_ascii(*out, "]", limit);
    }
    if (!only) limit = string::append_ascii(*out, "]", limit);
    return limit;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    if (element_type(value1) != element_type(value2)) {
        // Searches and same? look for one value among others: a vector of another element type is just
        // not it. Comparing the two (=, <, ...) is refused.
        bool const search = op == CompareOp::Same || op == CompareOp::FindEqual || op == CompareOp::FindPathEqual
            || op == CompareOp::FindStrictPathEqual;
        if (search) return 1;
        fire_error(err::script::not_same_type);
    }
    bool const same_place = value1.word2 == value2.word2 && clamped_index(value1) == clamped_index(value2);
    if (op == CompareOp::Same) return same_place ? 0 : -1;
    bool const equality = equality_code(op);
    if (same_place && equality) return 0;
    std::uint32_t const count1 = rs_length(value1);
    std::uint32_t const count2 = rs_length(value2);
    if (count1 != count2 && equality) return 1;
    std::uint32_t const common = std::min(count1, count2);
    TypeId const element = element_type(value1);
    for (std::uint32_t i = 0; i < common; ++i) {
        double const a = number_at(element_address(value1, clamped_index(value1) + i), width(value1), element);
        double const b = number_at(element_address(value2, clamped_index(value2) + i), width(value2), element);
        // Two numbers that do not compare (NaN) count as equal.
        if (a < b) return equality ? 1 : -1;
        if (a > b) return 1;
    }
    return count1 < count2 ? (equality ? 1 : -1) : count1 > count2 ? 1 : 0;
}

Cell find(Cell const& series, Cell const& value, FindOptions const& options)
{
    Rooted vector(series);
    std::int64_t const place = locate(*vector, value, options);
    if (place < 0) return none_value;
    vector->word1 = static_cast<std::uint32_t>(place) + (options.tail ? 1 : 0);
    return *vector;
}

Cell select(Cell const& series, Cell const& value, FindOptions const& options)
{
    Rooted vector(series);
    std::int64_t const place = locate(*vector, value, options);
    if (place < 0 || place + 1 >= node::buffer(vector->word2)->length()) return none_value;
    return get_value(
        element_address(*vector, static_cast<std::uint32_t>(place) + 1), width(*vector), element_type(*vector));
}

Cell sort(Cell const& series, SortOptions const& options)
{
    if (options.compare || options.skip || options.all) fire_error(err::internal::not_done);
    Rooted vector(series);
    std::uint32_t const index = clamped_index(*vector);
    std::uint32_t count = rs_length(*vector);
    if (options.part) {
        std::int32_t const part = number::to_int_checked(*options.part);
        count = std::min(count, static_cast<std::uint32_t>(std::max(part, 0)));
    }
    std::uint32_t const width = vector::width(*vector);
    TypeId const element = element_type(*vector);
    series::tell_owner(*vector, "sort", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    // The owner's handler may have shortened the vector.
    count = std::min(
        count, node::buffer(vector->word2)->length() - std::min(index, node::buffer(vector->word2)->length()));
    std::byte* first = element_address(*vector, index);
    std::vector<std::byte> records(first, first + std::size_t { count } * width);
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
    auto const number
        = [&](std::uint32_t i) { return number_at(records.data() + std::size_t { i } * width, width, element); };
    // NaN sorts after every number, so that the order is total.
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        double const x = number(a);
        double const y = number(b);
        bool const x_nan = std::isnan(x);
        bool const y_nan = std::isnan(y);
        if (x_nan || y_nan) return !x_nan && y_nan;
        return options.reverse ? x > y : x < y;
    });
    first = element_address(*vector, index);
    for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(first + std::size_t { i } * width, records.data() + std::size_t { order[i] } * width, width);
    series::tell_owner(*vector, "sorted", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    return *vector;
}

// Slots appear in table order. Those not named stay empty: a vector has no to, absolute, negate, power,
// round, even?, odd?, complement, put, swap, trim or port actions.
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::string,
    .name = "vector!",
    .actions = {
        .make = make,
        .random = inherit,
        .reflect = inherit,
        .form = form,
        .mold = mold,
        .eval_path = inherit,
        .compare = compare,
        .add = number::math_slot<do_math, MathOp::Add>,
        .divide = number::math_slot<do_math, MathOp::Divide>,
        .multiply = number::math_slot<do_math, MathOp::Multiply>,
        .remainder = number::math_slot<do_math, MathOp::Remainder>,
        .subtract = number::math_slot<do_math, MathOp::Subtract>,
        .and_ = number::math_slot<do_math, MathOp::And>,
        .or_ = number::math_slot<do_math, MathOp::Or>,
        .xor_ = number::math_slot<do_math, MathOp::Xor>,
        .append = insert,
        .at = inherit,
        .back = inherit,
        .change = change,
        .clear = inherit,
        .copy = inherit,
        .find = find,
        .head = inherit,
        .head_q = inherit,
        .index_q = inherit,
        .insert = insert,
        .length_q = inherit,
        .move = inherit,
        .next = inherit,
        .pick = inherit,
        .poke = inherit,
        .remove = inherit,
        .reverse = inherit,
        .select = select,
        .sort = sort,
        .skip = inherit,
        .tail = inherit,
        .tail_q = inherit,
        .take = inherit,
        .modify = inherit,
    },
};

}
