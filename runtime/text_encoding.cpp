// Text series and external encodings: loading UTF-8 and UTF-16LE, widening, and conversions for the OS.

#include "runtime/text_encoding.h"

#include <algorithm>
#include <cstring>

#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/unicode.h"

namespace xol::string {

std::uint32_t load_unit(std::byte const* position, std::uint32_t unit)
{
    switch (unit) {
    case 1:
        return std::to_integer<std::uint32_t>(*position);
    case 2: {
        std::uint16_t value;
        std::memcpy(&value, position, sizeof value);
        return value;
    }
    case 4: {
        std::uint32_t value;
        std::memcpy(&value, position, sizeof value);
        return value;
    }
    default:
        runtime::no_switch_matched();
    }
}

void store_unit(std::byte* position, std::uint32_t unit, std::uint32_t code_point)
{
    switch (unit) {
    case 1:
        *position = static_cast<std::byte>(code_point);
        break;
    case 2: {
        auto const value = static_cast<std::uint16_t>(code_point);
        std::memcpy(position, &value, sizeof value);
        break;
    }
    case 4:
        std::memcpy(position, &code_point, sizeof code_point);
        break;
    default:
        runtime::no_switch_matched();
    }
}

// ---- Widening ------------------------------------------------------------------------------------------

namespace {

void set_unit_field(SeriesBuffer* buffer, std::uint32_t unit)
{
    buffer->flags = (buffer->flags & ~series_flags::unit_mask) | unit;
}

// Rewrites every unit at the wider size, from the last one down, so that no unit is overwritten before
// it is read. The data first moves to the start of the buffer: indexes count from the head, so they stay.
void widen(NodeId node, std::uint32_t from, std::uint32_t to)
{
    SeriesBuffer* buffer = node::buffer(node);
    XOL_ASSERT(buffer->unit() == from, "widening from another unit");
    std::uint32_t const length = buffer->length();
    std::uint64_t const needed = std::uint64_t { length } * to + to;
    if (buffer->capacity < needed) {
        buffer = series::expand(node, needed); // copies from the head to the new buffer's start
    } else if (buffer->head != 0) {
        std::memmove(buffer->data(), buffer->head_address(), buffer->tail - buffer->head);
        buffer->tail -= buffer->head;
        buffer->head = 0;
    }
    std::byte* data = buffer->data();
    for (std::uint32_t i = length; i-- > 0;)
        store_unit(data + std::uint64_t { i } * to, to, load_unit(data + std::uint64_t { i } * from, from));
    buffer->tail = length * to;
    set_unit_field(buffer, to);
}

}

void widen_1_to_2(NodeId node)
{
    widen(node, 1, 2);
}
void widen_1_to_4(NodeId node)
{
    widen(node, 1, 4);
}
void widen_2_to_4(NodeId node)
{
    widen(node, 2, 4);
}

// ---- External text to strings ---------------------------------------------------------------------------

namespace {

// Whether a block of 64 bytes holds a byte that ends an ASCII run: written as one pass with no early exit
// so that the compiler makes it a few vector instructions.
bool block_ends_run(std::uint8_t const* block, bool stop_at_cr)
{
    std::uint8_t high = 0;
    std::uint8_t returns = 0;
    for (std::size_t i = 0; i < 64; ++i) {
        high |= block[i];
        returns |= block[i] == '\r' ? 1 : 0;
    }
    return (high & 0x80) != 0 || (stop_at_cr && returns != 0);
}

}

// 64 bytes a step while no byte of the block can end the run, then eight bytes a step, then byte by byte.
std::size_t ascii_prefix(std::uint8_t const* bytes, std::size_t length, bool stop_at_cr)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t high_bits = 0x8080808080808080;
    constexpr std::uint64_t carriage_returns = ones * '\r';
    std::size_t at = 0;
    while (length - at >= 64 && !block_ends_run(bytes + at, stop_at_cr)) at += 64;
    while (length - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + at, 8);
        std::uint64_t stop = word & high_bits;
        if (stop_at_cr) {
            std::uint64_t const matched = word ^ carriage_returns; // a zero byte where a CR was
            stop |= (matched - ones) & ~matched & high_bits;
        }
        if (stop != 0) break;
        at += 8;
    }
    while (at < length && bytes[at] < 0x80 && !(stop_at_cr && bytes[at] == '\r')) ++at;
    return at;
}

namespace {

// Appends one code point at the tail, widening first when the unit cannot hold it (1-byte units keep
// Latin-1) and growing so that `still_to_come` more code points fit as well. May allocate.
// `node` refers to a rooted id, which a collection may rewrite.
void append_decoded(NodeId const& node, std::uint32_t code_point, std::uint32_t still_to_come)
{
    std::uint32_t const unit = node::buffer(node)->unit();
    if (unit == 1 && code_point > 0xFF) {
        if (code_point > 0xFFFF)
            widen_1_to_4(node);
        else
            widen_1_to_2(node);
    } else if (unit == 2 && code_point > 0xFFFF) {
        widen_2_to_4(node);
    }
    SeriesBuffer* buffer = node::buffer(node);
    std::uint32_t const width = buffer->unit();
    if (std::uint64_t { buffer->tail } + width > buffer->capacity)
        buffer = series::expand(node, buffer->tail - buffer->head + std::uint64_t { width } * (1 + still_to_come));
    store_unit(buffer->tail_address(), width, code_point);
    buffer->tail += width;
}

// The end of the run of ASCII bytes from `at` (a CR ends it when line ends convert).
std::uint32_t ascii_run_end(std::uint8_t const* text, std::uint32_t at, std::uint32_t length, bool stop_at_cr)
{
    return at + static_cast<std::uint32_t>(ascii_prefix(text + at, length - at, stop_at_cr));
}

// Appends a run of ASCII bytes at the tail, growing as append_decoded does: in 1-byte units a copy. May
// allocate. `node` refers to a rooted id, which a collection may rewrite.
void append_ascii_run(NodeId const& node, std::uint8_t const* run, std::uint32_t count, std::uint32_t still_to_come)
{
    SeriesBuffer* buffer = node::buffer(node);
    std::uint32_t const width = buffer->unit();
    std::uint64_t const needed = std::uint64_t { count } * width;
    if (buffer->tail + needed > buffer->capacity)
        buffer = series::expand(node, buffer->tail - buffer->head + needed + std::uint64_t { width } * still_to_come);
    std::byte* output = buffer->tail_address();
    if (width == 1)
        std::memcpy(output, run, count);
    else
        for (std::uint32_t i = 0; i < count; ++i) store_unit(output + std::uint64_t { i } * width, width, run[i]);
    buffer->tail += static_cast<std::uint32_t>(needed);
}

std::uint8_t const* input_bytes(std::byte const* bytes)
{
    return reinterpret_cast<std::uint8_t const*>(bytes);
}

bool has_byte_order_mark(std::uint8_t const* bytes, std::uint32_t length)
{
    return length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

}

NodeId decode_utf8(std::byte const* bytes, std::uint32_t length, NodeId target, std::uint32_t& rest, LineEnds line_ends,
    BadBytes bad_bytes, Input input)
{
    RootedNode node(target != no_node ? target : series::alloc_units(std::max(length, 1u), 1));
    rest = 0;
    auto const* text = input_bytes(bytes);
    std::uint32_t at = has_byte_order_mark(text, length) ? 3 : 0;
    unicode::InvalidUtf8 const on_invalid
        = bad_bytes == BadBytes::Raise ? unicode::InvalidUtf8::Raise : unicode::InvalidUtf8::Answer;
    bool const convert = line_ends == LineEnds::Convert;
    while (at < length) {
        // Most text is ASCII: a run of it (up to a CR that may need converting) goes in at once.
        std::uint32_t const run_end = ascii_run_end(text, at, length, convert);
        if (run_end > at) {
            append_ascii_run(*node, text + at, run_end - at, length - run_end);
            at = run_end;
            continue;
        }
        std::uint32_t consumed = length - at;
        std::int32_t code_point = unicode::utf8_decode_checked(text + at, consumed, on_invalid);
        if (code_point < 0) {
            if (bad_bytes != BadBytes::AsLatin1) {
                // `bytes` is caller memory, so the error's copy may allocate.
                if (code_point == unicode::utf8_incomplete && input == Input::Whole)
                    unicode::fire_invalid_utf8(text + at, length - at);
                break; // incomplete, or invalid when asked to stop there
            }
            code_point = text[at];
            consumed = 1;
        }
        at += consumed;
        if (line_ends == LineEnds::Convert && code_point == '\r') {
            if (at < length && text[at] == '\n') continue; // the LF that follows stands for both
            code_point = '\n';
        }
        append_decoded(*node, static_cast<std::uint32_t>(code_point), length - at);
    }
    rest = length - at;
    return *node;
}

Cell load_utf8(std::byte const* bytes, std::uint32_t length)
{
    std::uint32_t rest;
    NodeId const node = decode_utf8(bytes, length, no_node, rest, LineEnds::Keep);
    return cell::make(type_ids::string, 0, node, 0);
}

std::uint32_t load_utf8_into(std::byte const* bytes, std::uint32_t length, Cell const& string)
{
    std::uint32_t rest;
    decode_utf8(bytes, length, string.word2, rest, LineEnds::Keep, BadBytes::Stop, Input::Pieces);
    return rest;
}

namespace {

std::uint32_t utf16_at(std::byte const* units, std::uint32_t i)
{
    return std::to_integer<std::uint32_t>(units[2 * i]) | (std::to_integer<std::uint32_t>(units[2 * i + 1]) << 8);
}

bool is_lead_surrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_trail_surrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}

NodeId load_utf16le(std::byte const* units, std::uint32_t count, NodeId target, LineEnds line_ends)
{
    std::uint32_t const width = unicode::utf16_unit_width(units, count);
    RootedNode node(target);
    if (*node == no_node) {
        *node = count == 0 ? series::alloc_units(1, 2) : series::alloc_units(count, width);
    } else {
        // The text replaces the content, so the buffer needs no copy, only room at the new width.
        SeriesBuffer* buffer = node::buffer(*node);
        std::uint64_t const needed = std::uint64_t { count } * width;
        if (buffer->capacity < needed) buffer = series::replace_buffer(*node, needed);
        buffer->head = buffer->tail = 0;
        set_unit_field(buffer, width);
    }
    SeriesBuffer* buffer = node::buffer(*node);
    std::byte* output = buffer->data() + buffer->head;
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t code_point = utf16_at(units, i);
        if (line_ends == LineEnds::Convert && code_point == '\r') continue;
        // A lead without its trail is foreign text, not a fault of ours: it stays as its own code point
        // (the width is 4 whenever a surrogate appears).
        if (width == 4 && is_lead_surrogate(code_point) && i + 1 < count && is_trail_surrogate(utf16_at(units, i + 1)))
            code_point = 0x10000 + ((code_point & 0x3FF) << 10) + (utf16_at(units, ++i) & 0x3FF);
        store_unit(output + std::uint64_t { written } * width, width, code_point);
        ++written;
    }
    buffer->tail = buffer->head + written * width;
    return *node;
}

// ---- Strings to external text ---------------------------------------------------------------------------

namespace {

// The units of a value from its index (clamped to the tail), at most `units` of them when not negative.
struct Run {
    std::uint32_t index;
    std::uint32_t count;
};

Run run_of(Cell const& value, std::int32_t units)
{
    std::uint32_t const length = node::buffer(value.word2)->length();
    std::uint32_t const index = std::min(value.word1, length);
    std::uint32_t count = length - index;
    if (units >= 0) count = std::min(count, static_cast<std::uint32_t>(units));
    return { index, count };
}

// Where the run starts; valid until the next allocation.
std::byte const* run_start(Cell const& value, Run run)
{
    SeriesBuffer* buffer = node::buffer(value.word2);
    return buffer->head_address() + (std::uint64_t { run.index } << buffer->unit_shift());
}

std::uint32_t checked_unit(Cell const& value)
{
    std::uint32_t const unit = node::buffer(value.word2)->unit();
    if (unit != 1 && unit != 2 && unit != 4) runtime::no_switch_matched();
    return unit;
}

// UTF-8 bytes a unit can need: Latin-1 2, UCS-2 3, UCS-4 4. Each also covers a CR added before an LF.
std::uint64_t utf8_bytes_per_unit(std::uint32_t unit)
{
    return unit == 1 ? 2 : unit == 2 ? 3 : 4;
}

// Encodes the run into `output`, which has room for it; answers the bytes written.
std::uint32_t encode_run(Cell const& value, Run run, char* output, LineEnds line_ends)
{
    std::uint32_t const unit = checked_unit(value);
    std::byte const* position = run_start(value, run);
    char* cursor = output;
    if (unit == 1 && line_ends == LineEnds::Keep) {
        // Latin-1 units: ASCII as it is, the rest in two bytes; the common case, kept tight.
        auto const* bytes = reinterpret_cast<std::uint8_t const*>(position);
        for (std::uint32_t i = 0; i < run.count; ++i) {
            std::uint8_t const byte = bytes[i];
            if (byte < 0x80) {
                *cursor++ = static_cast<char>(byte);
            } else {
                *cursor++ = static_cast<char>(0xC0 | (byte >> 6));
                *cursor++ = static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return static_cast<std::uint32_t>(cursor - output);
    }
    for (std::uint32_t i = 0; i < run.count; ++i, position += unit) {
        std::uint32_t const code_point = load_unit(position, unit);
        if (code_point == '\n' && line_ends == LineEnds::Convert) *cursor++ = '\r';
        cursor += unicode::utf8_encode(code_point, cursor);
    }
    return static_cast<std::uint32_t>(cursor - output);
}

}

NodeId conversion_buffer(Cell& value, std::uint64_t bytes)
{
    if (value.word3 != no_node && node::buffer(value.word3)->capacity >= bytes) return value.word3;
    // The allocation may collect: the copy keeps the text and the old buffer reachable, and gets their
    // nodes rewritten if they move.
    Rooted guard(value);
    if (guard->word3 != no_node)
        series::replace_buffer(guard->word3, bytes); // scratch: nothing kept
    else
        guard->word3 = series::alloc_bytes(bytes);
    value.word2 = guard->word2;
    value.word3 = guard->word3;
    SeriesBuffer* buffer = node::buffer(value.word3);
    buffer->head = buffer->tail = 0;
    return value.word3;
}

char const* to_utf8_cstr(Cell& value, std::int32_t& length)
{
    return to_utf8_cstr_crlf(value, length, LineEnds::Keep);
}

char const* to_utf8_cstr_crlf(Cell& value, std::int32_t& length, LineEnds line_ends)
{
    Run const run = run_of(value, length);
    std::uint64_t const size = (std::uint64_t { run.count } + 1) * utf8_bytes_per_unit(checked_unit(value));
    NodeId const node = conversion_buffer(value, size);
    SeriesBuffer* output = node::buffer(node);
    auto* text = reinterpret_cast<char*>(output->data());
    std::uint32_t const written = encode_run(value, run, text, line_ends);
    text[written] = '\0';
    output->tail = written;
    length = static_cast<std::int32_t>(written);
    return text;
}

std::uint32_t encode_utf8_into(Cell const& value, char* buffer, std::int32_t units, Terminate terminate)
{
    std::uint32_t const written = encode_run(value, run_of(value, units), buffer, LineEnds::Keep);
    if (terminate == Terminate::Yes) buffer[written] = '\0';
    return written;
}

std::uint32_t encode_utf8_limited(
    Cell const& value, char* buffer, std::uint32_t budget, std::int32_t units, Terminate terminate)
{
    if (terminate == Terminate::Yes) {
        if (budget == 0) return 0;
        --budget; // the NUL's byte
    }
    Run const run = run_of(value, units);
    std::uint32_t const unit = checked_unit(value);
    std::byte const* position = run_start(value, run);
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < run.count; ++i, position += unit) {
        std::uint32_t const code_point = load_unit(position, unit);
        auto const length = static_cast<std::uint32_t>(unicode::utf8_length(code_point));
        if (length > budget - written) break; // a cut sequence would not be UTF-8
        written
            += static_cast<std::uint32_t>(unicode::utf8_encode_limited(code_point, buffer + written, budget - written));
    }
    if (terminate == Terminate::Yes) buffer[written] = '\0';
    return written;
}

char16_t const* to_utf16(Cell& value, std::int32_t& length, LineEnds line_ends)
{
    Run const run = run_of(value, length);
    std::uint32_t const unit = checked_unit(value);
    std::uint64_t extra = 0; // the units beyond one a code point: CRs before LFs and second surrogates
    {
        std::byte const* position = run_start(value, run);
        for (std::uint32_t i = 0; i < run.count; ++i, position += unit) {
            std::uint32_t const code_point = load_unit(position, unit);
            if (code_point > unicode::max_code_point) {
                length = 0;
                return nullptr;
            }
            if (code_point > 0xFFFF || (code_point == '\n' && line_ends == LineEnds::Convert)) ++extra;
        }
    }
    NodeId const node = conversion_buffer(value, 2 * (std::uint64_t { run.count } + 1 + extra));
    SeriesBuffer* output = node::buffer(node);
    auto* text = reinterpret_cast<char16_t*>(output->data());
    std::byte const* position = run_start(value, run);
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < run.count; ++i, position += unit) {
        std::uint32_t const code_point = load_unit(position, unit);
        if (code_point == '\n' && line_ends == LineEnds::Convert) text[written++] = u'\r';
        written += static_cast<std::uint32_t>(unicode::utf16_encode(code_point, text + written));
    }
    text[written] = u'\0';
    output->tail = 2 * written;
    length = static_cast<std::int32_t>(written);
    return text;
}

char16_t const* to_utf16_crlf(Cell& value)
{
    std::int32_t length = -1;
    return to_utf16(value, length, LineEnds::Convert);
}

}
