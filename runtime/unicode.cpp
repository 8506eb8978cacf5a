// Unicode at the edges of the runtime: codecs, case mapping and display width.

#include "runtime/unicode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "runtime/errors.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/text_encoding.h"
#include "runtime/type_families.h"
#include "runtime/unicode_tables.h"

namespace xol::unicode {

namespace {

// The strict UTF-8 automaton: 256 byte classes, then the transitions, states counted in steps of 12.
// State 0 accepts, state 12 rejects. The class also masks the payload bits of a lead byte.
constexpr std::uint8_t reject = 12;
// clang-format off
constexpr std::array<std::uint8_t, 364> automaton {
    // 00-7F: class 0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 80-BF: continuation bytes in three classes (80-8F, 90-9F, A0-BF)
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // C0-DF: C0 and C1 only start overlongs
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // E0-FF: E0 (overlong risk), ED (surrogate risk), F0 (overlong risk), F4 (range risk), F5-FF invalid
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // Transitions: state + class
    0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12, 12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12, 12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
};
// clang-format on
constexpr std::size_t transitions = 256;

[[noreturn]] void fire_invalid_char(std::uint32_t code_point)
{
    Cell const value = cell::make(type_ids::integer, 0, code_point);
    fire_error(err::script::invalid_char, &value);
}

bool is_continuation(std::uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

}

// ---- UTF-8 decoding ------------------------------------------------------------------------------------

std::uint8_t const* utf8_decode(std::uint8_t const* position, std::uint8_t const* end, std::int32_t& code_point)
{
    std::uint8_t const byte = *position++;
    std::uint8_t const kind = automaton[byte];
    std::uint32_t value = (0xFFu >> kind) & byte;
    std::uint32_t state = automaton[transitions + kind];
    while (state != 0) {
        if (state == reject || position == end) {
            code_point = -1;
            return position;
        }
        std::uint8_t const next = *position;
        state = automaton[transitions + state + automaton[next]];
        if (state == reject) {
            code_point = -1;
            return position; // at the byte that rejected: it may start the next sequence
        }
        value = (value << 6) | (next & 0x3Fu);
        ++position;
    }
    code_point = static_cast<std::int32_t>(value);
    return position;
}

std::uint32_t utf8_count(std::uint8_t const* start, std::uint8_t const* end)
{
    std::uint32_t count = 0;
    std::int32_t ignored;
    while (start < end) {
        start = utf8_decode(start, end, ignored);
        ++count;
    }
    return count;
}

std::uint8_t const* utf8_skip(std::uint8_t const* position, std::uint8_t const* end, std::uint32_t count)
{
    std::int32_t ignored;
    while (count > 0 && position < end) {
        position = utf8_decode(position, end, ignored);
        --count;
    }
    return position;
}

int utf8_lead_length(std::uint8_t byte)
{
    if ((byte & 0xF8) == 0xF0) return 4;
    if ((byte & 0xF0) == 0xE0) return 3;
    if ((byte & 0xE0) == 0xC0) return 2;
    return 0;
}

// The bytes are caller memory: the allocation cannot move them.
void fire_invalid_utf8(std::uint8_t const* bytes, std::uint32_t count)
{
    NodeId const id = series::alloc_bytes(count);
    SeriesBuffer* buffer = node::buffer(id);
    std::memcpy(buffer->data(), bytes, count);
    buffer->tail = count;
    Cell const value = cell::make(type_ids::binary, 0, id, 0);
    fire_error(err::access::invalid_utf8, &value);
}

std::int32_t utf8_decode_checked(std::uint8_t const* bytes, std::uint32_t& length, InvalidUtf8 on_invalid)
{
    std::uint32_t const available = length;
    std::uint8_t const lead = bytes[0];
    auto invalid = [&]() -> std::int32_t {
        if (on_invalid == InvalidUtf8::Raise) fire_invalid_utf8(bytes, std::min(available, 4u));
        length = 1;
        return utf8_invalid;
    };
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    // Only the shortest form of a scalar value is text: a longer one would let bytes pass for others (C0 AF
    // for a slash). Leads C0, C1 and F5-FF never start one; after E0 and F0 the second byte rules out the
    // long forms, after ED the surrogates, after F4 the values above max_code_point.
    std::uint32_t needed;
    if (lead >= 0xC2 && lead <= 0xDF)
        needed = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        needed = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        needed = 4;
    else
        return invalid();
    std::uint8_t const low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    std::uint8_t const high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    std::uint32_t value = lead & (0x7Fu >> needed);
    for (std::uint32_t i = 1; i < needed; ++i) {
        // A malformed byte is found before the input runs out, so a cut sequence is one that could still be text.
        if (i == available) {
            length = 0;
            return utf8_incomplete;
        }
        std::uint8_t const byte = bytes[i];
        if (i == 1 ? byte < low || byte > high : !is_continuation(byte)) return invalid();
        value = (value << 6) | (byte & 0x3Fu);
    }
    length = needed;
    return static_cast<std::int32_t>(value);
}

// ---- UTF-8 encoding ------------------------------------------------------------------------------------

int utf8_length(std::uint32_t code_point)
{
    if (code_point < 0x80) return 1;
    if (code_point < 0x800) return 2;
    if (code_point < 0x10000) return 3;
    if (code_point > max_code_point) fire_invalid_char(code_point);
    return 4;
}

std::uint64_t utf8_size(void const* start, void const* end, std::uint32_t unit)
{
    auto const* position = static_cast<std::byte const*>(start);
    auto const* last = static_cast<std::byte const*>(end);
    std::uint64_t size = 0;
    if (unit == 1) { // Latin-1: one byte below 0x80, two above
        for (; position < last; ++position) size += std::to_integer<std::uint8_t>(*position) < 0x80 ? 1u : 2u;
        return size;
    }
    for (; position + unit <= last; position += unit)
        size += static_cast<std::uint32_t>(utf8_length(string::load_unit(position, unit)));
    return size;
}

int utf8_encode(std::uint32_t code_point, char* output)
{
    auto byte = [](std::uint32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
    if (code_point < 0x80) {
        output[0] = byte(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        output[0] = byte(0xC0 | (code_point >> 6));
        output[1] = byte(0x80 | (code_point & 0x3F));
        return 2;
    }
    if (code_point < 0x10000) {
        output[0] = byte(0xE0 | (code_point >> 12));
        output[1] = byte(0x80 | ((code_point >> 6) & 0x3F));
        output[2] = byte(0x80 | (code_point & 0x3F));
        return 3;
    }
    if (code_point > max_code_point) fire_invalid_char(code_point);
    output[0] = byte(0xF0 | (code_point >> 18));
    output[1] = byte(0x80 | ((code_point >> 12) & 0x3F));
    output[2] = byte(0x80 | ((code_point >> 6) & 0x3F));
    output[3] = byte(0x80 | (code_point & 0x3F));
    return 4;
}

int utf8_encode_limited(std::uint32_t code_point, char* output, std::uint32_t budget)
{
    char encoded[4];
    int const length = utf8_encode(code_point, encoded);
    int const written = static_cast<int>(std::min<std::uint32_t>(budget, static_cast<std::uint32_t>(length)));
    std::memcpy(output, encoded, static_cast<std::size_t>(written));
    return written;
}

// ---- UTF-16 --------------------------------------------------------------------------------------------

int utf16_encode(std::uint32_t code_point, char16_t* output)
{
    if (code_point < 0x10000) {
        output[0] = static_cast<char16_t>(code_point);
        return 1;
    }
    if (code_point > max_code_point) return 0;
    output[0] = static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10));
    output[1] = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
    return 2;
}

std::uint32_t utf16_unit_width(std::byte const* units, std::uint32_t count)
{
    std::uint32_t width = 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t const high = std::to_integer<std::uint8_t>(units[2 * i + 1]);
        if (high >= 0xD8 && high <= 0xDF) return 4;
        if (high != 0) width = 2;
    }
    return width;
}

// ---- Case ----------------------------------------------------------------------------------------------

namespace {

// Tables of the Basic Multilingual Plane in two levels: a code point's high byte picks a block of 256
// mappings (block 0 maps nothing), its low byte the entry; 0 means no mapping. Only the few blocks that
// hold pairs are built, so start-up touches a few pages instead of two flat tables of 256 KB each.
struct CaseMap {
    std::array<std::uint16_t, 0x100> block_of {};
    std::vector<std::array<std::uint16_t, 0x100>> blocks;

    void build(std::span<tables::CasePair const> pairs)
    {
        blocks.assign(1, {});
        for (auto const& pair : pairs) {
            std::uint16_t& block = block_of[pair.code_point >> 8];
            if (block == 0) {
                block = static_cast<std::uint16_t>(blocks.size());
                blocks.emplace_back();
            }
            blocks[block][pair.code_point & 0xFF] = static_cast<std::uint16_t>(pair.mapping);
        }
    }
    std::uint32_t operator[](std::uint32_t code_point) const
    {
        return blocks[block_of[code_point >> 8]][code_point & 0xFF];
    }
};

struct CaseTables {
    CaseMap upper;
    CaseMap lower;
};

CaseTables const& case_tables()
{
    static CaseTables const* const tables = [] {
        auto* built = new CaseTables {};
        built->upper.build(tables::upper_bmp);
        built->lower.build(tables::lower_bmp);
        return built;
    }();
    return *tables;
}

std::uint32_t map_above(std::span<tables::CasePair const> pairs, std::uint32_t code_point)
{
    if (code_point < pairs.front().code_point || code_point > pairs.back().code_point) return code_point;
    auto const found = std::lower_bound(pairs.begin(), pairs.end(), code_point,
        [](tables::CasePair const& pair, std::uint32_t key) { return pair.code_point < key; });
    return found != pairs.end() && found->code_point == code_point ? found->mapping : code_point;
}

// Writes a code point over the unit at `offset` from the head, widening the buffer first when the unit
// cannot hold it (1-byte units keep Latin-1). `node` refers to a rooted id. May allocate.
void write_over(NodeId const& node, std::uint32_t offset, std::uint32_t code_point)
{
    std::uint32_t const unit = node::buffer(node)->unit();
    if (unit == 1 && code_point > 0xFF) {
        if (code_point > 0xFFFF)
            string::widen_1_to_4(node);
        else
            string::widen_1_to_2(node);
    } else if (unit == 2 && code_point > 0xFFFF) {
        string::widen_2_to_4(node);
    }
    SeriesBuffer* buffer = node::buffer(node);
    string::store_unit(
        buffer->head_address() + (std::uint64_t { offset } << buffer->unit_shift()), buffer->unit(), code_point);
}

}

void init_case_tables()
{
    case_tables();
}

std::uint32_t change_case_table(std::uint32_t code_point, Case which)
{
    if (code_point <= 0xFFFF) {
        CaseTables const& flat = case_tables();
        std::uint32_t const mapped = which == Case::Upper ? flat.upper[code_point] : flat.lower[code_point];
        return mapped != 0 ? mapped : code_point;
    }
    return map_above(which == Case::Upper ? tables::upper_above : tables::lower_above, code_point);
}

void change_case_value(Cell& value, std::int32_t count, Case which)
{
    if (cell::type_of(value) == type_ids::char_) {
        value.word2 = change_case(value.word2, which);
        return;
    }
    XOL_ASSERT(type_ids::is_text(cell::type_of(value)), "change_case_value takes a char! or a text value");
    RootedNode node(value.word2);
    std::uint32_t const length = node::buffer(*node)->length();
    std::uint32_t const index = std::min(value.word1, length);
    std::uint32_t const available = length - index;
    std::uint32_t const limit
        = count == whole_rest ? available : std::min(available, static_cast<std::uint32_t>(std::max(count, 0)));
    for (std::uint32_t i = index; i < index + limit; ++i) {
        SeriesBuffer const* buffer = node::buffer(*node);
        std::byte const* position = buffer->data() + buffer->head + (std::uint64_t { i } << buffer->unit_shift());
        std::uint32_t const original = string::load_unit(position, buffer->unit());
        std::uint32_t const mapped = change_case(original, which);
        if (mapped != original) write_over(*node, i, mapped);
    }
    value.word2 = *node;
}

}

namespace xol::charwidth {

namespace {

bool in_ranges(std::span<unicode::tables::CodeRange const> ranges, std::uint32_t code_point)
{
    if (code_point < ranges.front().first || code_point > ranges.back().last) return false;
    auto const found = std::lower_bound(ranges.begin(), ranges.end(), code_point,
        [](unicode::tables::CodeRange const& range, std::uint32_t key) { return range.last < key; });
    return found != ranges.end() && found->first <= code_point;
}

}

int columns(std::uint32_t code_point)
{
    if (code_point == 0) return 0;
    if (code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F)) return 1;
    if (in_ranges(unicode::tables::zero_width, code_point)) return 0;
    if (in_ranges(unicode::tables::double_width, code_point)) return 2;
    return 1;
}

}
