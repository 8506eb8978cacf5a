// binary!: the bytes of a value, and append, insert, change and trim. Every edit gathers the bytes it
// brings before the binary changes: a refused value then leaves the binary as it was, and a value on the
// binary's own buffer goes in as the copy it was when the edit began.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/binary_private.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/typed_actions.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace xol::binary {

namespace {

// A block being turned into bytes: a block that holds itself ends on the cycle guard's depth limit
// (internal too-deep) rather than recursing without end.
struct WalkedList {
    explicit WalkedList(NodeId node) { cycles::push(node); }
    ~WalkedList() { cycles::pop(); }
    WalkedList(WalkedList const&) = delete;
    WalkedList& operator=(WalkedList const&) = delete;
};

// Cuts what one value added beyond `start` to `limit` bytes, for a limit of 1 or more.
void cut(std::vector<std::uint8_t>& out, std::size_t start, std::int64_t limit)
{
    if (limit >= 1 && out.size() - start > static_cast<std::uint64_t>(limit))
        out.resize(start + static_cast<std::size_t>(limit));
}

// The UTF-8 of a text from its index.
void text_bytes(std::vector<std::uint8_t>& out, Cell const& text)
{
    SeriesBuffer* buffer = node::buffer(text.word2);
    std::uint32_t const unit = buffer->unit();
    std::uint32_t const index = string::clamped_index(text);
    std::uint32_t const length = buffer->length() - index;
    std::byte const* units = buffer->head_address() + (std::uint64_t { index } << buffer->unit_shift());
    out.reserve(out.size() + length);
    char encoded[4];
    for (std::uint32_t i = 0; i < length; ++i) {
        std::uint32_t const code_point = string::get_char(units + std::uint64_t { i } * unit, unit);
        if (code_point < 0x80) {
            out.push_back(static_cast<std::uint8_t>(code_point));
            continue;
        }
        int const count = unicode::utf8_encode(code_point, encoded);
        out.insert(out.end(), encoded, encoded + count);
    }
}

void list_bytes(
    std::vector<std::uint8_t>& out, Cell const& list_value, std::int64_t limit, bool byte_limit, detail::BytesMode mode)
{
    Rooted list(list_value);
    WalkedList const guard(list->word2);
    std::size_t const start = out.size();
    for (std::uint32_t i = 0;; ++i) {
        SeriesBuffer* buffer = node::buffer(list->word2);
        std::uint32_t const index = std::min(list->word1, buffer->length());
        if (index + i >= buffer->length()) break;
        std::int64_t item_limit = -1;
        if (limit >= 0) {
            if (!byte_limit && i >= limit) break;
            if (byte_limit) {
                item_limit = limit - static_cast<std::int64_t>(out.size() - start);
                if (item_limit <= 0) break;
            }
        }
        // A copy: in change mode forming may move the block's buffer.
        Cell const item = buffer->head_cell()[index + i];
        detail::gather(out, item, item_limit, byte_limit, mode);
    }
    if (byte_limit) cut(out, start, limit);
}

}

namespace detail {

void gather(std::vector<std::uint8_t>& out, Cell const& value, std::int64_t limit, bool byte_limit, BytesMode mode)
{
    std::size_t const start = out.size();
    TypeId const type = cell::type_of(value);
    switch (type) {
    case type_ids::char_: {
        char encoded[4];
        int const count = unicode::utf8_encode(value.word2, encoded);
        out.insert(out.end(), encoded, encoded + count);
        break;
    }
    case type_ids::integer: {
        std::int32_t const number = integer::get(value);
        if (number < -128 || number > 255) fire_error(err::script::invalid_arg, &value);
        out.push_back(static_cast<std::uint8_t>(number));
        break;
    }
    case type_id: {
        std::span<std::uint8_t const> const content = bytes(value);
        out.insert(out.end(), content.begin(), content.end());
        break;
    }
    case type_ids::block:
    case type_ids::paren:
    case type_ids::hash:
        list_bytes(out, value, limit, byte_limit, mode);
        return;
    case type_ids::tuple: {
        tuple::Bytes const components = tuple::bytes(value);
        out.insert(out.end(), components.at, components.at + tuple::count(value));
        break;
    }
    default:
        if (type_ids::is_text(type)) {
            text_bytes(out, value);
        } else if (mode == BytesMode::Change) {
            Rooted kept(value);
            Rooted formed(string::make(16));
            actions::form_typed(*kept, *formed, nullptr, 0);
            text_bytes(out, *formed);
        } else {
            Cell const target = datatype::make(type_id);
            fire_error(err::script::bad_to_arg, &target, &value);
        }
    }
    cut(out, start, limit);
}

}

namespace {

// Puts `dup` copies of the bytes in place of the `replaced` bytes at `index` from the head, moving what
// follows. The binary must be a rooted cell. May allocate.
void put_copies(Cell const& binary, std::uint32_t index, std::vector<std::uint8_t> const& bytes, std::uint32_t dup,
    std::uint32_t replaced)
{
    std::uint64_t const total = std::uint64_t { bytes.size() } * dup;
    SeriesBuffer* buffer = node::buffer(binary.word2);
    if (total > replaced) buffer = detail::reserve(binary.word2, total - replaced);
    std::uint32_t const length = buffer->tail - buffer->head;
    std::byte* place = buffer->head_address() + index;
    std::memmove(place + total, place + replaced, length - index - replaced);
    if (!bytes.empty()) {
        std::memcpy(place, bytes.data(), bytes.size());
        mem::replicate(place, static_cast<std::int64_t>(bytes.size()), dup);
    }
    buffer->tail = static_cast<std::uint32_t>(buffer->tail + total - replaced);
}

std::uint64_t checked_total(std::size_t count, std::int32_t dup)
{
    std::uint64_t const total = std::uint64_t { count } * static_cast<std::uint32_t>(std::max(dup, 1));
    if (total > memory::max_capacity) fire_error(err::internal::no_memory);
    return total;
}

std::uint32_t clamped_index(Cell const& value)
{
    return std::min(value.word1, node::buffer(value.word2)->length());
}

}

Cell insert(
    Cell const& series_value, Cell const& value_given, std::int32_t part, bool only, std::int32_t dup, bool append)
{
    Rooted series(series_value);
    Rooted value(value_given);
    std::vector<std::uint8_t> bytes;
    detail::gather(bytes, *value, part, only, detail::BytesMode::Insert);
    if (bytes.empty()) return *series;
    std::uint64_t const total = checked_total(bytes.size(), dup);
    std::uint32_t index = append ? node::buffer(series->word2)->length() : clamped_index(*series);
    series::tell_owner(*series, append ? "append" : "insert", &*value, static_cast<std::int32_t>(index), 0);
    // The owner's handler may have changed the binary.
    index = append ? node::buffer(series->word2)->length() : clamped_index(*series);
    put_copies(*series, index, bytes, static_cast<std::uint32_t>(std::max(dup, 1)), 0);
    series::tell_owner(*series, append ? "appended" : "inserted", nullptr, static_cast<std::int32_t>(index),
        static_cast<std::int32_t>(total));
    series->word1 = append ? 0 : index + static_cast<std::uint32_t>(total);
    return *series;
}

Cell change(Cell const& series_value, Cell const& value_given, std::int32_t part, bool, std::int32_t dup)
{
    Rooted series(series_value);
    Rooted value(value_given);
    std::vector<std::uint8_t> bytes;
    detail::gather(bytes, *value, -1, false, detail::BytesMode::Change);
    std::uint64_t const total = checked_total(bytes.size(), dup);
    auto replaced_span = [&](std::uint32_t index) {
        std::uint32_t const rest = node::buffer(series->word2)->length() - index;
        std::uint64_t const wanted = part >= 0 ? static_cast<std::uint64_t>(part) : total;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, rest));
    };
    std::uint32_t index = clamped_index(*series);
    series::tell_owner(
        *series, "change", &*value, static_cast<std::int32_t>(index), static_cast<std::int32_t>(replaced_span(index)));
    index = clamped_index(*series);
    put_copies(*series, index, bytes, static_cast<std::uint32_t>(std::max(dup, 1)), replaced_span(index));
    series::tell_owner(*series, "changed", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(total));
    series->word1 = index + static_cast<std::uint32_t>(total);
    return *series;
}

Cell trim(Cell const& series_value, TrimOptions const& options)
{
    Rooted series(series_value);
    std::array<bool, 256> removed {};
    bool both_ends = false;
    if (options.with) {
        Cell const& with = *options.with;
        TypeId const type = cell::type_of(with);
        if (type == type_ids::char_ || type == type_ids::integer) {
            if (with.word2 <= 0xFF) removed[with.word2] = true;
        } else if (type_ids::is_text(type) || type == type_id) {
            SeriesBuffer* buffer = node::buffer(with.word2);
            std::uint32_t const unit = buffer->unit();
            for (std::uint32_t i = std::min(with.word1, buffer->length()); i < buffer->length(); ++i) {
                std::uint32_t const code = string::get_char(buffer->head_address() + std::uint64_t { i } * unit, unit);
                if (code <= 0xFF) removed[code] = true;
            }
        } else {
            fire_error(err::script::invalid_arg, &with);
        }
    } else if (options.all) {
        removed[0] = true;
    } else if (options.auto_ || options.lines) {
        fire_error(err::internal::not_done);
    } else {
        both_ends = true;
    }

    std::uint32_t const index = clamped_index(*series);
    std::uint32_t const length = rs_length(*series);
    series::tell_owner(*series, "trim", nullptr, static_cast<std::int32_t>(index), static_cast<std::int32_t>(length));
    SeriesBuffer* buffer = node::buffer(series->word2);
    std::uint8_t* const first = reinterpret_cast<std::uint8_t*>(buffer->head_address()) + clamped_index(*series);
    std::uint8_t* last = reinterpret_cast<std::uint8_t*>(buffer->tail_address());
    std::uint8_t* kept_end = first;
    if (both_ends) {
        bool const head = options.head || !options.tail;
        bool const tail = options.tail || !options.head;
        std::uint8_t* from = first;
        if (head)
            while (from < last && *from == 0) ++from;
        if (tail)
            while (last > from && last[-1] == 0) --last;
        kept_end = static_cast<std::uint8_t*>(std::memmove(first, from, static_cast<std::size_t>(last - from)))
            + (last - from);
    } else {
        kept_end = std::remove_if(first, last, [&](std::uint8_t byte) { return removed[byte]; });
    }
    buffer->tail = static_cast<std::uint32_t>(reinterpret_cast<std::byte*>(kept_end) - buffer->data());
    series::tell_owner(*series, "trimmed", nullptr, static_cast<std::int32_t>(clamped_index(*series)),
        static_cast<std::int32_t>(rs_length(*series)));
    return *series;
}

}
