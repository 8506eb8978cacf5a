// bitset!: the bits, their growth, the spec language and the bit operations; the actions are in
// bitset_actions.cpp.

#include "datatypes/bitset.h"

#include <algorithm>
#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/none.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::bitset {

namespace {

SeriesBuffer* buffer_of(Cell const& bitset)
{
    return node::buffer(bitset.word2);
}

// Valid until the next call that may allocate.
std::uint8_t* bytes_of(Cell const& bitset)
{
    return reinterpret_cast<std::uint8_t*>(buffer_of(bitset)->head_address());
}

std::uint8_t bit_mask(std::uint64_t n)
{
    return static_cast<std::uint8_t>(0x80u >> (n & 7));
}

// Stored bits, in 64 bits: a set may hold more than 2^32 of them.
std::uint64_t bit_length(Cell const& bitset)
{
    return byte_length(bitset) * 8;
}

// Grows the stored bytes to `bytes`, the new ones 0xFF on a complemented set and 0 on a plain one, so the
// membership stays as it was. The capacity at least doubles, so a run of growing appends stays linear.
// `bitset` must be rooted. May allocate.
void grow_to(Cell const& bitset, std::uint64_t bytes)
{
    SeriesBuffer* buffer = buffer_of(bitset);
    std::uint64_t const stored = buffer->tail - buffer->head;
    if (bytes <= stored) return;
    if (bytes > memory::max_capacity) fire_error(err::internal::no_memory);
    if (buffer->head + bytes > buffer->capacity) {
        std::uint64_t const doubled
            = std::min<std::uint64_t>(std::uint64_t { buffer->capacity } * 2, memory::max_capacity);
        buffer = series::expand(bitset.word2, std::max(bytes, doubled));
    }
    int const fill = (buffer->flags & complement_flag) != 0 ? 0xFF : 0;
    std::memset(buffer->head_address() + stored, fill, bytes - stored);
    buffer->tail = buffer->head + static_cast<std::uint32_t>(bytes);
}

void grow_to_bit(Cell const& bitset, std::uint64_t n)
{
    grow_to(bitset, (n >> 3) + 1);
}

// Bits low to high (inclusive, inside the stored bytes) all set, or all cleared.
void fill_bits(std::uint8_t* bytes, std::uint64_t low, std::uint64_t high, bool on)
{
    std::uint64_t const first = low >> 3;
    std::uint64_t const last = high >> 3;
    auto const first_mask = static_cast<std::uint8_t>(0xFFu >> (low & 7));
    auto const last_mask = static_cast<std::uint8_t>(0xFFu << (7 - (high & 7)));
    auto const apply = [&](std::uint64_t index, std::uint8_t mask) {
        bytes[index] = static_cast<std::uint8_t>(on ? bytes[index] | mask : bytes[index] & ~mask);
    };
    if (first == last) {
        apply(first, static_cast<std::uint8_t>(first_mask & last_mask));
        return;
    }
    apply(first, first_mask);
    if (last > first + 1) std::memset(bytes + first + 1, on ? 0xFF : 0, last - first - 1);
    apply(last, last_mask);
}

bool all_set(std::uint8_t const* bytes, std::uint64_t low, std::uint64_t high)
{
    std::uint64_t const first = low >> 3;
    std::uint64_t const last = high >> 3;
    auto const first_mask = static_cast<std::uint8_t>(0xFFu >> (low & 7));
    auto const last_mask = static_cast<std::uint8_t>(0xFFu << (7 - (high & 7)));
    auto const full = [&](std::uint64_t index, std::uint8_t mask) { return (bytes[index] & mask) == mask; };
    if (first == last) return full(first, static_cast<std::uint8_t>(first_mask & last_mask));
    if (!full(first, first_mask) || !full(last, last_mask)) return false;
    for (std::uint64_t index = first + 1; index < last; ++index)
        if (bytes[index] != 0xFF) return false;
    return true;
}

bool is_word(Cell const& value, words::Symbol entry)
{
    return cell::type_of(value) == type_ids::word
        && symbol::resolve(value.word2) == symbol::resolve(words::symbol_of(entry));
}

// The bit a char!, integer! or float! names; a float is cut toward zero, and NaN or one beyond the 64-bit
// range raises script out-of-range.
std::int64_t bit_of(Cell const& value)
{
    switch (cell::type_of(value)) {
    case type_ids::char_:
        return value.word2;
    case type_ids::integer:
        return cell::integer_payload(value);
    default: {
        double const number = cell::float_payload(value);
        if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0))
            fire_error(err::script::out_of_range, &value);
        return static_cast<std::int64_t>(number);
    }
    }
}

bool is_bit_type(TypeId type)
{
    return type == type_ids::char_ || type == type_ids::integer || type == type_ids::float_;
}

// One pass of the spec language over a spec value. Every bit goes through one rule: inside the stored
// bytes the stored bit is read or written; past them a set on a complemented set and a clear on a plain one
// change nothing (the bit already is what they ask), a test reads the flag, and anything else grows the set
// first. Strings and ranges apply that rule to each of their bits, so a bit past the stored bytes never cuts
// the rest short.
class SpecWalk {
public:
    SpecWalk(Cell const& bitset, SpecMode mode, SpecError kind)
        : m_bits(bitset)
        , m_mode(mode)
        , m_kind(kind)
    {
    }

    // false when a test meets a bit that is not a member, which ends the walk.
    bool walk(Cell const& given)
    {
        Cell const spec = given;
        TypeId const type = cell::type_of(spec);
        if (is_bit_type(type)) return bit(bit_of(spec), spec);
        switch (type) {
        case type_ids::string:
            return text(spec);
        case type_ids::block:
            return block(spec);
        case type_ids::binary:
            fire_error(err::internal::not_done);
        default:
            refuse(spec);
        }
    }

    // The highest bit named so far (0 when none was).
    std::int64_t maximum() const { return m_maximum; }
    Cell const& bits() const { return *m_bits; }

private:
    bool complemented() const { return complemented_q(*m_bits); }

    void note(std::int64_t n) { m_maximum = std::max(m_maximum, n); }

    bool bit(std::int64_t n, Cell const& value)
    {
        if (m_mode == SpecMode::Test) return member_q(*m_bits, n);
        if (n < 0) fire_error(err::script::out_of_range, &value);
        note(n);
        auto const position = static_cast<std::uint64_t>(n);
        switch (m_mode) {
        case SpecMode::Set:
            grow_to_bit(*m_bits, position);
            bytes_of(*m_bits)[position >> 3] |= bit_mask(position);
            break;
        case SpecMode::Clear:
            if (complemented())
                grow_to_bit(*m_bits, position);
            else if (position >= bit_length(*m_bits))
                break;
            bytes_of(*m_bits)[position >> 3] &= static_cast<std::uint8_t>(~bit_mask(position));
            break;
        default:
            break;
        }
        return true;
    }

    // low <= high; a negative low is possible only in Test.
    bool range(std::int64_t low, std::int64_t high)
    {
        if (m_mode == SpecMode::Size) {
            note(high);
            return true;
        }
        std::uint64_t const stored = bit_length(*m_bits);
        switch (m_mode) {
        case SpecMode::Test: {
            if (high < 0) return complemented();
            auto const from = static_cast<std::uint64_t>(std::max<std::int64_t>(low, 0));
            auto const to = static_cast<std::uint64_t>(high);
            if (from < stored && !all_set(bytes_of(*m_bits), from, std::min(to, stored - 1))) return false;
            return to < stored || complemented();
        }
        case SpecMode::Set:
            note(high);
            grow_to_bit(*m_bits, static_cast<std::uint64_t>(high));
            fill_bits(bytes_of(*m_bits), static_cast<std::uint64_t>(low), static_cast<std::uint64_t>(high), true);
            return true;
        case SpecMode::Clear: {
            auto const from = static_cast<std::uint64_t>(low);
            auto to = static_cast<std::uint64_t>(high);
            if (complemented())
                grow_to_bit(*m_bits, to);
            else if (from >= stored)
                return true;
            else
                to = std::min(to, stored - 1);
            fill_bits(bytes_of(*m_bits), from, to, false);
            return true;
        }
        default:
            runtime::no_switch_matched();
        }
    }

    // The code points of a string! from its index, read at the buffer's unit width.
    bool text(Cell const& given)
    {
        Rooted string(given);
        std::int64_t highest = -1;
        {
            SeriesBuffer* buffer = node::buffer(string->word2);
            std::uint32_t const unit = buffer->unit();
            std::uint32_t const index = string::clamped_index(*string);
            std::uint32_t const length = buffer->length();
            std::byte const* units = buffer->head_address();
            for (std::uint32_t i = index; i < length; ++i)
                highest = std::max<std::int64_t>(highest, string::get_char(units + (std::size_t { i } * unit), unit));
        }
        if (highest < 0) return true;
        if (m_mode == SpecMode::Size) {
            note(highest);
            return true;
        }
        if (m_mode == SpecMode::Set || (m_mode == SpecMode::Clear && complemented())) {
            if (m_mode == SpecMode::Set) note(highest);
            grow_to_bit(*m_bits, static_cast<std::uint64_t>(highest));
        }
        // Nothing below allocates: the addresses hold for the loop.
        SeriesBuffer* buffer = node::buffer(string->word2);
        std::uint32_t const unit = buffer->unit();
        std::uint32_t const length = buffer->length();
        std::byte const* units = buffer->head_address();
        std::uint8_t* bytes = bytes_of(*m_bits);
        std::uint64_t const stored = bit_length(*m_bits);
        bool const flag = complemented();
        for (std::uint32_t i = string::clamped_index(*string); i < length; ++i) {
            std::uint32_t const code_point = string::get_char(units + (std::size_t { i } * unit), unit);
            bool const inside = code_point < stored;
            switch (m_mode) {
            case SpecMode::Test:
                if (!(inside ? (bytes[code_point >> 3] & bit_mask(code_point)) != 0 : flag)) return false;
                break;
            case SpecMode::Set:
                bytes[code_point >> 3] |= bit_mask(code_point);
                break;
            default:
                if (inside) bytes[code_point >> 3] &= static_cast<std::uint8_t>(~bit_mask(code_point));
                break;
            }
        }
        return true;
    }

    // Each value from the index; nested blocks recurse. A char! or integer! followed by the word `-` and a
    // value of its own type names the range from one to the other (the first is taken alone too).
    bool block(Cell const& given)
    {
        Rooted list(given);
        for (std::uint32_t i = list->word1;; ++i) {
            if (i >= node::buffer(list->word2)->length()) return true;
            Cell const item = node::buffer(list->word2)->head_cell()[i];
            TypeId const type = cell::type_of(item);
            if (!walk(item)) return false;
            if (type != type_ids::char_ && type != type_ids::integer) continue;
            SeriesBuffer* buffer = node::buffer(list->word2);
            if (i + 1 >= buffer->length() || !is_word(buffer->head_cell()[i + 1], words::Symbol::minus)) continue;
            if (i + 2 >= buffer->length()) fire_error(err::script::past_end);
            Cell const end = buffer->head_cell()[i + 2];
            if (cell::type_of(end) != type) fire_error(err::script::invalid_arg, &end);
            std::int64_t const low = bit_of(item);
            std::int64_t const high = bit_of(end);
            if (high < low) fire_error(err::script::past_end);
            if (!range(low, high)) return false;
            i += 2;
        }
    }

    [[noreturn]] void refuse(Cell const& value)
    {
        Cell const type = datatype::make(type_id);
        switch (m_kind) {
        case SpecError::Make:
            fire_error(err::script::bad_make_arg, &type, &value);
        case SpecError::To:
            fire_error(err::script::bad_to_arg, &type, &value);
        default:
            fire_error(err::script::invalid_arg, &value);
        }
    }

    Rooted m_bits;
    SpecMode m_mode;
    SpecError m_kind;
    std::int64_t m_maximum = 0;
};

// A size in bits given to make: NaN, a float beyond the 64-bit range or a negative size raises script
// out-of-range.
std::uint64_t size_of(Cell const& spec)
{
    std::int64_t const bits = bit_of(spec);
    if (bits < 0) fire_error(err::script::out_of_range, &spec);
    auto const count = static_cast<std::uint64_t>(bits);
    return count / 8 + (count % 8 != 0 ? 1 : 0);
}

Cell copy_of(Cell const& given)
{
    Rooted source(given);
    std::uint64_t const length = byte_length(*source);
    Cell const result = make(length, false);
    SeriesBuffer* buffer = node::buffer(result.word2);
    if (length != 0) std::memcpy(buffer->head_address(), bytes_of(*source), length);
    if (complemented_q(*source)) buffer->flags |= complement_flag;
    return result;
}

std::uint8_t apply(MathOp op, std::uint8_t a, std::uint8_t b)
{
    switch (op) {
    case MathOp::Or:
    case MathOp::Union:
        return a | b;
    case MathOp::And:
    case MathOp::Intersect:
        return a & b;
    case MathOp::Xor:
    case MathOp::Difference:
        return a ^ b;
    case MathOp::Exclude:
        return static_cast<std::uint8_t>(a & ~b);
    default:
        runtime::no_switch_matched();
    }
}

}

Cell make(std::uint64_t bytes, bool complemented)
{
    if (bytes > memory::max_capacity) fire_error(err::internal::no_memory);
    NodeId const node = series::alloc_bytes(bytes);
    SeriesBuffer* buffer = node::buffer(node);
    std::memset(buffer->head_address(), complemented ? 0xFF : 0, bytes);
    buffer->tail = buffer->head + static_cast<std::uint32_t>(bytes);
    if (complemented) buffer->flags |= complement_flag;
    return cell::make(type_id, 0, node, 0);
}

std::uint64_t process_spec(Cell const& spec, Cell const& bitset, SpecMode mode, SpecError kind)
{
    SpecWalk walk(bitset, mode, kind);
    bool const answer = walk.walk(spec);
    switch (mode) {
    case SpecMode::Size:
        return (static_cast<std::uint64_t>(walk.maximum()) >> 3) + 1;
    case SpecMode::Set:
        // The stored bytes cover the highest bit named, even one a complemented set already held.
        grow_to_bit(walk.bits(), static_cast<std::uint64_t>(walk.maximum()));
        return 1;
    case SpecMode::Test:
        return answer ? 1 : 0;
    default:
        return 1;
    }
}

Cell make_from_spec(Cell const& spec, bool to)
{
    Rooted given(spec);
    bool complemented = false;
    if (cell::type_of(*given) == type_ids::block) {
        SeriesBuffer* buffer = node::buffer(given->word2);
        if (given->word1 < buffer->length() && is_word(buffer->head_cell()[given->word1], words::Symbol::not_)) {
            complemented = true;
            ++given->word1;
        }
        // A binary! first (after `not`, if any) is the whole spec: [not #{...}] complements its bytes.
        if (given->word1 < buffer->length() && cell::type_of(buffer->head_cell()[given->word1]) == type_ids::binary)
            *given = buffer->head_cell()[given->word1];
    }
    switch (cell::type_of(*given)) {
    case type_ids::integer:
    case type_ids::float_:
        if (to) {
            Cell const type = datatype::make(type_id);
            fire_error(err::script::bad_to_arg, &type, &*given);
        }
        return make(size_of(*given), false);
    case type_id:
        return copy_of(*given);
    case type_ids::binary: {
        std::uint32_t const length = binary::rs_length(*given);
        Cell const result = make(length, complemented);
        // Read only now: making the set may have moved the binary.
        std::uint8_t const* from = binary::rs_head(*given);
        std::uint8_t* to_bytes = bytes_of(result);
        for (std::uint32_t i = 0; i < length; ++i)
            to_bytes[i] = complemented ? static_cast<std::uint8_t>(~from[i]) : from[i];
        return result;
    }
    default: {
        SpecError const kind = to ? SpecError::To : SpecError::Make;
        std::uint64_t const bytes = process_spec(*given, none_value, SpecMode::Size, kind);
        Rooted result(make(bytes, complemented));
        process_spec(*given, *result, complemented ? SpecMode::Clear : SpecMode::Set, kind);
        return *result;
    }
    }
}

Cell bitwise(Cell const& left_given, Cell const& right_given, MathOp op)
{
    if (op == MathOp::Unique) return left_given;
    if (cell::type_of(right_given) != type_id) {
        Cell const type = datatype::make(cell::type_of(right_given));
        fire_error(err::script::invalid_type, &type);
    }
    Rooted left(left_given);
    Rooted right(right_given);
    std::uint64_t const left_length = byte_length(*left);
    std::uint64_t const right_length = byte_length(*right);
    bool const left_flag = complemented_q(*left);
    bool const right_flag = complemented_q(*right);
    bool const flag = apply(op, left_flag ? 1 : 0, right_flag ? 1 : 0) != 0;
    bool const plain_and = (op == MathOp::And) && !left_flag && !right_flag;
    std::uint64_t const length = plain_and ? std::min(left_length, right_length) : std::max(left_length, right_length);
    Cell const result = make(length, false);
    std::uint8_t* target = bytes_of(result);
    std::uint8_t const* a = bytes_of(*left);
    std::uint8_t const* b = bytes_of(*right);
    std::uint8_t const left_pad = left_flag ? 0xFF : 0;
    std::uint8_t const right_pad = right_flag ? 0xFF : 0;
    for (std::uint64_t i = 0; i < length; ++i)
        target[i] = apply(op, i < left_length ? a[i] : left_pad, i < right_length ? b[i] : right_pad);
    if (flag) buffer_of(result)->flags |= complement_flag;
    return result;
}

void do_bitwise(MathOp op)
{
    Cell* base = stack::state.base;
    *base = bitwise(base[0], base[1], op);
}

}
