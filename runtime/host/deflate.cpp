// DEFLATE, zlib and gzip. The compressor makes one block of fixed codes in one pass; its hash table lives
// on the call's stack. The inflater decodes symbols through a 10-bit lookup table with a canonical walk for
// longer codes, so a table that leaves codes unassigned (or has none) answers bad data instead of a symbol.

#include "runtime/host/deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "runtime/checksums.h"

namespace xol::compress {

namespace {

// ---- Code tables of the format ---------------------------------------------------------------------

constexpr std::array<std::uint16_t, 29> length_base { 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43,
    51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258 };
constexpr std::array<std::uint8_t, 29> length_extra { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4,
    4, 4, 5, 5, 5, 5, 0 };
constexpr std::array<std::uint16_t, 30> distance_base { 1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257,
    385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577 };
constexpr std::array<std::uint8_t, 30> distance_extra { 0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9,
    9, 10, 10, 11, 11, 12, 12, 13, 13 };

// The order in which a dynamic block gives the code lengths of the code-length alphabet.
constexpr std::array<std::uint8_t, 19> length_order { 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1,
    15 };

constexpr std::uint32_t reverse_bits(std::uint32_t code, unsigned length)
{
    std::uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    return reversed;
}

// ---- Compressor ------------------------------------------------------------------------------------

// A fixed code, bit-reversed so that it goes out first bit first, with its length; `extra` bits and
// their count ride along above it for lengths and distances.
struct Code {
    std::uint32_t bits;
    std::uint32_t length;
};

constexpr Code fixed_literal(unsigned symbol)
{
    if (symbol < 144) return { reverse_bits(0x30 + symbol, 8), 8 };
    if (symbol < 256) return { reverse_bits(0x190 + symbol - 144, 9), 9 };
    if (symbol < 280) return { reverse_bits(symbol - 256, 7), 7 };
    return { reverse_bits(0xC0 + symbol - 280, 8), 8 };
}

// Length 3..258 to its code and extra bits, all in one field.
constexpr std::array<Code, 259> make_length_codes()
{
    std::array<Code, 259> codes {};
    for (unsigned length = 3; length <= 258; ++length) {
        unsigned index = 28;
        if (length < 258)
            while (length_base[index] > length || index == 28) --index;
        Code const symbol = fixed_literal(257 + index);
        codes[length]
            = { symbol.bits | ((length - length_base[index]) << symbol.length), symbol.length + length_extra[index] };
    }
    return codes;
}

constexpr std::array<Code, 259> length_codes = make_length_codes();

// Distance 1..32768: the code index for distances up to 256 directly, above by (distance - 1) >> 7.
constexpr std::array<std::uint8_t, 512> make_distance_index()
{
    std::array<std::uint8_t, 512> index {};
    for (unsigned i = 0; i < 512; ++i) {
        unsigned const distance = i < 256 ? i + 1 : ((i - 256) << 7) + 1;
        unsigned code = 0;
        while (code + 1 < 30 && distance_base[code + 1] <= distance) ++code;
        index[i] = static_cast<std::uint8_t>(code);
    }
    return index;
}

constexpr std::array<std::uint8_t, 512> distance_index = make_distance_index();

Code distance_code(std::uint32_t distance)
{
    unsigned const code = distance <= 256 ? distance_index[distance - 1] : distance_index[256 + ((distance - 1) >> 7)];
    return { reverse_bits(code, 5) | ((distance - distance_base[code]) << 5), 5u + distance_extra[code] };
}

constexpr std::array<Code, 256> make_literal_codes()
{
    std::array<Code, 256> codes {};
    for (unsigned i = 0; i < 256; ++i) codes[i] = fixed_literal(i);
    return codes;
}

constexpr std::array<Code, 256> literal_codes = make_literal_codes();

// Bits go in at the count and whole bytes leave from the low end. Bytes past the capacity are counted only.
class BitWriter {
public:
    BitWriter(std::uint8_t* out, std::uint32_t capacity)
        : m_out(out)
        , m_capacity(capacity)
    {
    }

    void put(std::uint32_t bits, std::uint32_t count)
    {
        m_bits |= std::uint64_t { bits } << m_held;
        m_held += count;
        if (m_held >= 32) {
            if (m_written + 4 <= m_capacity) {
                for (int i = 0; i < 4; ++i)
                    m_out[m_written + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(m_bits >> (8 * i));
                m_written += 4;
            } else {
                for (int i = 0; i < 4; ++i) byte(static_cast<std::uint8_t>(m_bits >> (8 * i)));
            }
            m_bits >>= 32;
            m_held -= 32;
        }
    }

    // Zero bits up to the next byte boundary, then everything out.
    std::uint64_t finish()
    {
        while (m_held > 0) {
            byte(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_held = m_held >= 8 ? m_held - 8 : 0;
        }
        return m_written;
    }

private:
    void byte(std::uint8_t value)
    {
        if (m_written < m_capacity) m_out[m_written] = value;
        ++m_written;
    }

    std::uint8_t* m_out;
    std::uint64_t m_capacity;
    std::uint64_t m_written = 0;
    std::uint64_t m_bits = 0;
    std::uint32_t m_held = 0;
};

std::uint32_t three_bytes(std::uint8_t const* at)
{
    return std::uint32_t { at[0] } << 16 | std::uint32_t { at[1] } << 8 | at[2];
}

std::uint32_t bucket_of(std::uint8_t const* at)
{
    std::uint32_t x = three_bytes(at);
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x & 0x3FF;
}

constexpr std::uint32_t window = 32768;
constexpr std::uint32_t longest_match = 258;

// The raw DEFLATE bytes of the input; answers the bytes produced or needed.
std::uint64_t deflate_into(std::uint8_t* out, std::uint32_t capacity, std::uint8_t const* in, std::uint32_t n)
{
    // 1,024 buckets of 4 positions. An entry holds its position plus one, so that 0 stays "empty" while the
    // first byte of the input can still be matched.
    std::uint32_t table[1024][4];
    std::memset(table, 0, sizeof table);
    BitWriter writer(out, capacity);
    writer.put(3, 3); // BFINAL 1, BTYPE 01: one block of fixed codes
    std::uint32_t p = 0;
    while (p < n) {
        std::uint32_t const start = p;
        // The hash needs 3 bytes: with fewer left no match can start here or later, so none is looked up.
        bool const hashed = n - p >= 3;
        std::uint32_t const bucket = hashed ? bucket_of(in + p) : 0;
        bool matched = false;
        if (hashed && p >= 3) {
            for (std::uint32_t const entry : table[bucket]) {
                if (entry == 0) continue;
                std::uint32_t const q = entry - 1;
                if (q >= p || p - q >= window || in[q] != in[p] || in[q + 1] != in[p + 1] || in[q + 2] != in[p + 2])
                    continue;
                std::uint32_t length = 3;
                std::uint32_t const limit = std::min(longest_match, n - p);
                while (length < limit && in[q + length] == in[p + length]) ++length;
                Code const length_code = length_codes[length];
                writer.put(length_code.bits, length_code.length);
                Code const distance = distance_code(p - q);
                writer.put(distance.bits, distance.length);
                p += length;
                matched = true;
                break;
            }
        }
        if (!matched) {
            Code const literal = literal_codes[in[p]];
            writer.put(literal.bits, literal.length);
            ++p;
        }
        // The slot comes from the 3 bytes at the new position; with fewer left nothing can match any more.
        if (hashed && n - p >= 3) {
            std::uint32_t const y = three_bytes(in + p);
            table[bucket][((y >> 14) - y) & 3] = start + 1;
        }
    }
    writer.put(0, 7); // end of block
    return writer.finish();
}

std::uint32_t clamp32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

void put_be32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void put_le32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t le32(std::uint8_t const* at)
{
    return std::uint32_t { at[0] } | std::uint32_t { at[1] } << 8 | std::uint32_t { at[2] } << 16
        | std::uint32_t { at[3] } << 24;
}

std::uint32_t be32(std::uint8_t const* at)
{
    return std::uint32_t { at[0] } << 24 | std::uint32_t { at[1] } << 16 | std::uint32_t { at[2] } << 8 | at[3];
}

// Header, DEFLATE data, trailer: the shared shape of the zlib and gzip writers.
int framed(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length,
    std::span<std::uint8_t const> header, std::uint32_t trailer_size,
    void (*trailer)(std::uint8_t*, std::uint8_t const*, std::uint32_t))
{
    std::uint32_t const capacity = *length;
    auto const header_size = static_cast<std::uint32_t>(header.size());
    std::uint32_t const framing = header_size + trailer_size;
    if (capacity < header_size) {
        *length = clamp32(std::uint64_t { in_length } + framing);
        return bad_data;
    }
    std::memcpy(out, header.data(), header_size);
    std::uint64_t const produced = deflate_into(out + header_size, capacity - header_size, in, in_length);
    std::uint64_t const total = produced + framing;
    *length = clamp32(total);
    if (produced > capacity - header_size || total > capacity) return too_small;
    trailer(out + header_size + produced, in, in_length);
    return done;
}

// ---- Inflater --------------------------------------------------------------------------------------

// Reads bits from the low end of a 64-bit buffer, refilled to at least 57 bits. Past the input the
// buffer fills with zero bits, counted in m_padding: consuming any of them means the data ran out.
class BitReader {
public:
    BitReader(std::uint8_t const* in, std::size_t length)
        : m_in(in)
        , m_end(length)
    {
    }

    void refill()
    {
        if (m_end - m_position >= 8) {
            std::uint64_t word = 0;
            for (unsigned i = 0; i < 8; ++i) word |= std::uint64_t { m_in[m_position + i] } << (8 * i); // one load
            m_bits |= word << m_held;
            m_position += (63 - m_held) >> 3;
            m_held |= 56;
            return;
        }
        while (m_held <= 56) {
            if (m_position < m_end)
                m_bits |= std::uint64_t { m_in[m_position++] } << m_held;
            else
                m_padding += 8;
            m_held += 8;
        }
    }

    std::uint32_t peek(unsigned count) const
    {
        return static_cast<std::uint32_t>(m_bits & ((std::uint64_t { 1 } << count) - 1));
    }
    std::uint64_t bits() const { return m_bits; }

    void drop(unsigned count)
    {
        m_bits >>= count;
        m_held -= count;
    }

    std::uint32_t take(unsigned count)
    {
        std::uint32_t const value = peek(count);
        drop(count);
        return value;
    }

    bool overrun() const { return m_held < m_padding; }

    // Whether the next refill takes 8 real bytes.
    bool bytes_ahead() const { return m_end - m_position >= 8; }

    // Bits of the input not yet consumed.
    std::uint64_t bits_left() const { return m_held - m_padding + 8 * std::uint64_t { m_end - m_position }; }

    // Drops the bits up to the byte boundary and hands back the byte position that follows; the caller
    // reads bytes from there and restarts the reader with resume().
    std::size_t align()
    {
        drop(m_held & 7);
        return m_position - (m_held - m_padding) / 8;
    }

    void resume(std::size_t position)
    {
        m_position = position;
        m_bits = 0;
        m_held = 0;
        m_padding = 0;
    }

private:
    std::uint8_t const* m_in;
    std::size_t m_end;
    std::size_t m_position = 0;
    std::uint64_t m_bits = 0;
    unsigned m_held = 0;
    unsigned m_padding = 0;
};

constexpr unsigned fast_bits = 10;

// What a decoded symbol means, in one word beside its code length (bits 0-3): the count of extra bits
// that follow it (bits 4-7), a kind (bits 8-10) and a value (bits 16-31: the literal byte, or the base of
// a length or distance).
namespace entry {
inline constexpr std::uint32_t literal = 1u << 8;
inline constexpr std::uint32_t end_of_block = 2u << 8;
inline constexpr std::uint32_t invalid = 4u << 8; // literal/length 286 and 287, distances 30 and 31
inline constexpr std::uint32_t kinds = 7u << 8;

constexpr std::uint32_t of_literal_length(unsigned symbol)
{
    if (symbol < 256) return literal | symbol << 16;
    if (symbol == 256) return end_of_block;
    if (symbol >= 286) return invalid;
    return std::uint32_t { length_extra[symbol - 257] } << 4 | std::uint32_t { length_base[symbol - 257] } << 16;
}

constexpr std::uint32_t of_distance(unsigned symbol)
{
    if (symbol >= 30) return invalid;
    return std::uint32_t { distance_extra[symbol] } << 4 | std::uint32_t { distance_base[symbol] } << 16;
}
}

// A canonical Huffman code: a lookup of the first 10 bits (the meaning of the symbol with its code
// length; 0 when the code is longer or the bits begin no code) and, for the rest, the count of codes of
// each length and the symbols in code order.
struct HuffmanTable {
    std::array<std::uint32_t, 1u << fast_bits> fast;
    std::array<std::uint16_t, 16> counts;
    std::array<std::uint16_t, 320> symbols;
    std::uint32_t (*meaning)(unsigned symbol);

    // False when the lengths ask for more codes than exist (an over-subscribed code). An incomplete code is
    // kept: its unassigned bit strings decode to nothing.
    bool build(std::uint8_t const* lengths, unsigned n, std::uint32_t (*meaning_of)(unsigned))
    {
        meaning = meaning_of;
        fast.fill(0);
        counts.fill(0);
        for (unsigned i = 0; i < n; ++i) ++counts[lengths[i]];
        counts[0] = 0;
        int left = 1;
        for (unsigned length = 1; length < 16; ++length) {
            left = 2 * left - counts[length];
            if (left < 0) return false;
        }
        // Codes of one length are consecutive and follow those of the shorter lengths; the symbols of one
        // length take codes in their own order.
        std::array<std::uint16_t, 16> offsets {};
        std::array<std::uint32_t, 16> next_code {};
        std::uint32_t code = 0;
        for (unsigned length = 1; length < 16; ++length) {
            offsets[length] = static_cast<std::uint16_t>(offsets[length - 1] + counts[length - 1]);
            code = (code + counts[length - 1]) << 1;
            next_code[length] = code;
        }
        for (unsigned i = 0; i < n; ++i) {
            unsigned const length = lengths[i];
            if (length == 0) continue;
            symbols[offsets[length]++] = static_cast<std::uint16_t>(i);
            std::uint32_t const assigned = next_code[length]++;
            if (length <= fast_bits) {
                std::uint32_t const reversed = reverse_bits(assigned, length);
                std::uint32_t const value = meaning(i) | length;
                for (std::uint32_t slot = reversed; slot < (1u << fast_bits); slot += 1u << length) fast[slot] = value;
            }
        }
        return true;
    }

    // The meaning and length of the code at the front of the bits, or 0 when they begin no code.
    std::uint32_t decode(std::uint64_t bits) const
    {
        std::uint32_t const found = fast[bits & ((1u << fast_bits) - 1)];
        return found != 0 ? found : decode_long(bits);
    }

    // The same as a symbol, for the code-length code; -1 when the bits begin no code.
    int symbol(std::uint64_t bits, unsigned& length) const
    {
        int code = 0;
        int first = 0;
        int index = 0;
        for (unsigned size = 1; size < 16; ++size) {
            code |= static_cast<int>((bits >> (size - 1)) & 1);
            int const count = counts[size];
            if (code - first < count) {
                length = size;
                return symbols[static_cast<std::size_t>(index + code - first)];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    // Codes longer than the lookup: one bit at a time through the canonical order.
    [[gnu::noinline]] std::uint32_t decode_long(std::uint64_t bits) const
    {
        unsigned length = 0;
        int const found = symbol(bits, length);
        return found < 0 ? 0 : meaning(static_cast<unsigned>(found)) | length;
    }
};

std::uint32_t code_length_meaning(unsigned symbol)
{
    return std::uint32_t { symbol } << 16;
}

struct FixedTables {
    HuffmanTable literals;
    HuffmanTable distances;

    FixedTables()
    {
        std::array<std::uint8_t, 288> lengths {};
        for (unsigned i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        literals.build(lengths.data(), 288, entry::of_literal_length);
        std::array<std::uint8_t, 32> five {};
        five.fill(5);
        distances.build(five.data(), 32, entry::of_distance);
    }
};

FixedTables const& fixed_tables()
{
    static FixedTables const tables;
    return tables;
}

constexpr std::size_t largest_output = std::numeric_limits<std::uint32_t>::max();

// Where decoded bytes go: a caller's buffer, past whose capacity bytes are only counted, or a vector
// that grows. Matches never read past the capacity: nothing there was written.
class Output {
public:
    Output(std::uint8_t* data, std::size_t capacity)
        : m_data(data)
        , m_capacity(capacity)
    {
    }

    explicit Output(std::vector<std::uint8_t>& grow, std::size_t expected)
        : m_grow(&grow)
    {
        grow.resize(std::max<std::size_t>(std::min(expected, largest_output), 4096) + 8);
        m_data = grow.data();
        m_capacity = grow.size() - 8; // the rest is room for the overrun of a wide copy
    }

    std::size_t total() const { return m_total; }
    std::uint8_t const* data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }

    // Room for `count` more bytes plus the 8 that a wide copy may overrun.
    bool roomy(std::size_t count) const { return m_capacity - m_total >= count + 8 && m_total <= m_capacity; }

    // Room for the longest match and the overrun of its wide copy; a growing output makes the room.
    bool room_for_match()
    {
        if (m_capacity - m_total >= 258 + 8 && m_total <= m_capacity) return true;
        return m_grow && grow(258);
    }

    void literal(std::uint8_t value, bool room)
    {
        if (room) {
            m_data[m_total++] = value;
            return;
        }
        literal(value);
    }

    void copy(std::size_t distance, std::size_t length, bool room)
    {
        if (room) {
            wide_copy(distance, length);
            return;
        }
        copy(distance, length);
    }

    void literal(std::uint8_t value)
    {
        if (m_total < m_capacity) {
            m_data[m_total++] = value;
            return;
        }
        if (m_grow) {
            grow(1);
            m_data[m_total++] = value;
            return;
        }
        ++m_total;
    }

    // The caller has checked distance <= total.
    void copy(std::size_t distance, std::size_t length)
    {
        if (roomy(length) || (m_grow && grow(length))) {
            wide_copy(distance, length);
            return;
        }
        for (; length > 0 && m_total < m_capacity; --length, ++m_total) m_data[m_total] = m_data[m_total - distance];
        m_total += length;
    }

    void append(std::uint8_t const* bytes, std::size_t count)
    {
        if (m_grow && m_capacity - m_total < count) grow(count);
        if (m_total < m_capacity) std::memcpy(m_data + m_total, bytes, std::min(count, m_capacity - m_total));
        m_total += count;
    }

    bool too_long() const { return m_total > largest_output; }

    void finish()
    {
        if (m_grow) m_grow->resize(m_total);
    }

private:
    // Copies 8 bytes at a time where the source lies at least 8 back; may write up to 7 bytes past the end.
    void wide_copy(std::size_t distance, std::size_t length)
    {
        std::uint8_t* to = m_data + m_total;
        std::uint8_t const* from = to - distance;
        m_total += length;
        if (distance >= 8) {
            for (std::size_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
        } else if (distance == 1) {
            std::memset(to, *from, length);
        } else {
            for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
        }
    }

    bool grow(std::size_t count)
    {
        std::size_t const wanted = std::max(m_total + count + 8, m_grow->size() * 2);
        m_grow->resize(wanted);
        m_data = m_grow->data();
        m_capacity = m_grow->size() - 8;
        return true;
    }

    std::uint8_t* m_data = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_total = 0;
    std::vector<std::uint8_t>* m_grow = nullptr;
};

// The symbols of one Huffman-coded block, up to its end code. While 8 input bytes remain and the output
// has room for the longest match, every refill takes real bytes, so no code can reach past the input and
// the loop skips the checks the tail needs.
int inflate_block(BitReader& reader, Output& out, HuffmanTable const& literals, HuffmanTable const& distances)
{
    for (;;) {
        bool const fast = reader.bytes_ahead() && out.room_for_match();
        reader.refill();
        std::uint32_t const symbol = literals.decode(reader.bits());
        if (symbol == 0) return bad_data;
        reader.drop(symbol & 15u);
        if (symbol & entry::literal) {
            if (!fast && reader.overrun()) return bad_data;
            out.literal(static_cast<std::uint8_t>(symbol >> 16), fast);
            continue;
        }
        if (symbol & entry::kinds) {
            if (symbol & entry::invalid) return bad_data;
            return reader.overrun() ? bad_data : done;
        }
        std::size_t const length = (symbol >> 16) + reader.take((symbol >> 4) & 15u);
        std::uint32_t const distance_symbol = distances.decode(reader.bits());
        if (distance_symbol == 0 || (distance_symbol & entry::invalid)) return bad_data;
        reader.drop(distance_symbol & 15u);
        std::size_t const distance = (distance_symbol >> 16) + reader.take((distance_symbol >> 4) & 15u);
        if (!fast && reader.overrun()) return bad_data;
        if (distance > out.total()) return distance_too_far;
        out.copy(distance, length, fast);
        if (!fast && out.too_long()) return bad_data;
    }
}

int inflate_dynamic(BitReader& reader, Output& out)
{
    reader.refill();
    unsigned const literal_count = reader.take(5) + 257;
    unsigned const distance_count = reader.take(5) + 1;
    unsigned const length_count = reader.take(4) + 4;
    std::array<std::uint8_t, 19> code_lengths {};
    for (unsigned i = 0; i < length_count; ++i) {
        reader.refill();
        code_lengths[length_order[i]] = static_cast<std::uint8_t>(reader.take(3));
    }
    if (reader.overrun()) return bad_data;
    HuffmanTable table;
    if (!table.build(code_lengths.data(), 19, code_length_meaning)) return bad_data;
    std::array<std::uint8_t, 320> lengths {};
    unsigned const total = literal_count + distance_count;
    for (unsigned i = 0; i < total;) {
        reader.refill();
        std::uint32_t const found = table.decode(reader.bits());
        if (found == 0) return bad_data;
        reader.drop(found & 15u);
        std::uint32_t const symbol = found >> 16;
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
        } else {
            std::uint8_t value = 0;
            unsigned repeat = 0;
            if (symbol == 16) {
                if (i == 0) return bad_data; // nothing to repeat
                value = lengths[i - 1];
                repeat = 3 + reader.take(2);
            } else if (symbol == 17) {
                repeat = 3 + reader.take(3);
            } else {
                repeat = 11 + reader.take(7);
            }
            if (repeat > total - i) return bad_data;
            for (; repeat > 0; --repeat) lengths[i++] = value;
        }
        if (reader.overrun()) return bad_data;
    }
    HuffmanTable literals;
    HuffmanTable distances;
    if (!literals.build(lengths.data(), literal_count, entry::of_literal_length)) return bad_data;
    if (!distances.build(lengths.data() + literal_count, distance_count, entry::of_distance)) return bad_data;
    return inflate_block(reader, out, literals, distances);
}

// Raw DEFLATE blocks until the final one. Input that ends at a block boundary (nothing but the padding of
// the last byte left) without a final block is complete too.
int inflate_stream(std::uint8_t const* in, std::size_t length, Output& out)
{
    BitReader reader(in, length);
    for (;;) {
        if (reader.bits_left() < 8) return done;
        reader.refill();
        std::uint32_t const final_block = reader.take(1);
        std::uint32_t const type = reader.take(2);
        if (reader.overrun()) return bad_data;
        int result = done;
        if (type == 0) {
            std::size_t const at = reader.align();
            if (length - at < 4) return bad_data;
            std::size_t const stored = std::size_t { in[at] } | std::size_t { in[at + 1] } << 8;
            if (stored > length - at - 4) return stored_past_end;
            out.append(in + at + 4, stored);
            if (out.too_long()) return bad_data;
            reader.resume(at + 4 + stored);
        } else if (type == 1) {
            FixedTables const& tables = fixed_tables();
            result = inflate_block(reader, out, tables.literals, tables.distances);
        } else if (type == 2) {
            result = inflate_dynamic(reader, out);
        } else {
            return bad_block_type;
        }
        if (result != done) return result;
        if (out.too_long()) return bad_data;
        if (final_block) return done;
    }
}

// Where the DEFLATE data of a zlib stream lies, or false when its header is not one we read.
bool zlib_body(std::uint8_t const* in, std::size_t length, std::size_t& from, std::size_t& to)
{
    if (length < 6) return false;
    unsigned const method = in[0];
    unsigned const flags = in[1];
    if ((method * 256 + flags) % 31 != 0 || (method & 0x0F) != 8 || (method & 0x80) != 0 || (flags & 0x20) != 0)
        return false;
    from = 2;
    to = length - 4;
    return true;
}

// Where the DEFLATE data of a gzip stream lies. Every optional field must end before the 8-byte trailer.
bool gzip_body(std::uint8_t const* in, std::size_t length, std::size_t& from, std::size_t& to)
{
    if (length <= 17 || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8 || in[3] >= 32) return false;
    unsigned const flags = in[3];
    std::size_t const limit = length - 8;
    std::size_t at = 10;
    if (flags & 4) {
        if (limit - at < 2) return false;
        std::size_t const extra = std::size_t { in[at] } | std::size_t { in[at + 1] } << 8;
        at += 2;
        if (extra > limit - at) return false;
        at += extra;
    }
    for (unsigned const flag : { 8u, 16u }) {
        if (!(flags & flag)) continue;
        auto const* nul = static_cast<std::uint8_t const*>(std::memchr(in + at, 0, limit - at));
        if (!nul) return false;
        at = static_cast<std::size_t>(nul - in) + 1;
    }
    if (flags & 2) {
        if (limit - at < 2) return false;
        std::uint32_t const crc = checksums::crc32(in, at);
        if ((std::uint32_t { in[at] } | std::uint32_t { in[at + 1] } << 8) != (crc & 0xFFFF)) return false;
        at += 2;
    }
    from = at;
    to = limit;
    return true;
}

// The inflater's code, with the length in the caller's terms.
int answer(int result, Output const& out, std::uint32_t* length)
{
    if (result != done) return result;
    *length = static_cast<std::uint32_t>(out.total());
    return out.total() > out.capacity() ? too_small : done;
}

// Decodes a framing's body into the output and checks its trailer. Answers done when all of it fits.
int decode_framed(Framing framing, std::uint8_t const* in, std::size_t length, Output& out)
{
    std::size_t from = 0;
    std::size_t to = length;
    if (framing == Framing::Zlib && !zlib_body(in, length, from, to)) return bad_data;
    if (framing == Framing::Gzip && !gzip_body(in, length, from, to)) return bad_data;
    int const result = inflate_stream(in + from, to - from, out);
    if (result != done) return result;
    if (out.too_long()) return bad_data;
    bool const whole = out.total() <= out.capacity();
    if (framing == Framing::Zlib && whole && checksums::adler32(out.data(), out.total()) != be32(in + to))
        return bad_data;
    if (framing == Framing::Gzip) {
        if (out.total() != le32(in + length - 4)) return bad_data;
        if (whole && checksums::crc32(out.data(), out.total()) != le32(in + to)) return bad_data;
    }
    return done;
}

int read_into(
    Framing framing, std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    Output output(out, *length);
    return answer(decode_framed(framing, in, in_length, output), output, length);
}

}

int deflate(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    std::uint64_t const produced = deflate_into(out, *length, in, in_length);
    bool const fits = produced <= *length;
    *length = clamp32(produced);
    return fits ? done : too_small;
}

int zlib(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    static constexpr std::uint8_t header[] { 0x78, 0x01 };
    return framed(out, length, in, in_length, header, 4,
        [](std::uint8_t* at, std::uint8_t const* data, std::uint32_t n) { put_be32(at, checksums::adler32(data, n)); });
}

int gzip(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    if (in_length > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 8) {
        bool const fits = in_length <= *length;
        if (fits) std::memcpy(out, in, in_length);
        *length = in_length;
        return fits ? done : too_small;
    }
    static constexpr std::uint8_t header[] { 0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4 };
    return framed(
        out, length, in, in_length, header, 8, [](std::uint8_t* at, std::uint8_t const* data, std::uint32_t n) {
            put_le32(at, checksums::crc32(data, n));
            put_le32(at + 4, n);
        });
}

int inflate(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    return read_into(Framing::Deflate, out, length, in, in_length);
}

int unzlib(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    return read_into(Framing::Zlib, out, length, in, in_length);
}

int gunzip(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length)
{
    return read_into(Framing::Gzip, out, length, in, in_length);
}

std::size_t bound(std::size_t in_length)
{
    return in_length + in_length / 8 + 32;
}

int decode(Framing framing, std::span<std::uint8_t const> in, std::vector<std::uint8_t>& out, std::size_t expected)
{
    Output output(out, expected);
    int const result = decode_framed(framing, in.data(), in.size(), output);
    output.finish();
    if (result != done) out.clear();
    return result;
}

}
