// The block compressor. The decoder trusts nothing in its input: every read is bounded by the payload,
// every copy by its block. The encoder keeps two hash heads (3 and 4 bytes) and a chain of 4-byte
// matches, walks at most 256 candidates and prefers a nearer match unless a farther one is longer by
// more than its extra distance bits are worth.

#include "runtime/host/lz.h"

#include <algorithm>
#include <cstring>

namespace xol::lz {

namespace {

std::uint32_t le32(std::uint8_t const* at)
{
    return std::uint32_t { at[0] } | std::uint32_t { at[1] } << 8 | std::uint32_t { at[2] } << 16
        | std::uint32_t { at[3] } << 24;
}

void put_le32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint32_t longest_match = 566; // a length code of 563, plus 3
constexpr std::uint32_t smallest_input = 128; // shorter inputs are not worth a container

// Prefix zeros before the 1 (five zeros and no 1 for the last row), extra bits, base.
struct LengthRow {
    unsigned extra;
    std::uint32_t base;
};
constexpr LengthRow length_rows[6] { { 2, 0 }, { 2, 4 }, { 2, 8 }, { 3, 12 }, { 5, 20 }, { 9, 52 } };

// Bits of one block's stream, low bit first, bounded by the payload's end.
class BitReader {
public:
    BitReader(std::uint8_t const* bytes, std::size_t end)
        : m_bytes(bytes)
        , m_end(end)
    {
    }

    std::uint32_t take(unsigned count)
    {
        while (m_held < count) {
            if (m_position == m_end) {
                m_overrun = true;
                return 0;
            }
            m_bits |= std::uint64_t { m_bytes[m_position++] } << m_held;
            m_held += 8;
        }
        auto const value = static_cast<std::uint32_t>(m_bits & ((std::uint64_t { 1 } << count) - 1));
        m_bits >>= count;
        m_held -= count;
        return value;
    }

    bool overrun() const { return m_overrun; }

    // The bytes from which bits were taken: the next block starts after them.
    std::size_t consumed() const { return m_position - m_held / 8; }

private:
    std::uint8_t const* m_bytes;
    std::size_t m_end;
    std::size_t m_position = 0;
    std::uint64_t m_bits = 0;
    unsigned m_held = 0;
    bool m_overrun = false;
};

// Decodes one block's items into out[at, at + n). False on any fault.
bool decode_block(BitReader& reader, std::uint8_t* out, std::size_t at, std::size_t n)
{
    std::size_t const start = at;
    std::size_t const end = at + n;
    while (at < end) {
        if (reader.take(1) == 0) {
            auto const byte = static_cast<std::uint8_t>(reader.take(8));
            if (reader.overrun()) return false;
            out[at++] = byte;
            continue;
        }
        unsigned zeros = 0;
        while (zeros < 5 && reader.take(1) == 0) ++zeros;
        LengthRow const row = length_rows[zeros];
        std::size_t const length = row.base + reader.take(row.extra) + 3;
        std::uint32_t const k = reader.take(4);
        std::size_t const distance
            = (k == 0 ? reader.take(3) : reader.take(k + 2) + (std::uint32_t { 1 } << (k + 2))) + 1;
        if (reader.overrun() || distance > at - start || length > end - at) return false;
        for (std::size_t i = 0; i < length; ++i, ++at) out[at] = out[at - distance];
    }
    return true;
}

// Bits into the output, low bit first; writing past the capacity sets the overflow flag instead.
class BitWriter {
public:
    BitWriter(std::uint8_t* out, std::size_t capacity)
        : m_out(out)
        , m_capacity(capacity)
    {
    }

    void put(std::uint32_t value, unsigned count)
    {
        m_bits |= std::uint64_t { value } << m_held;
        m_held += count;
        while (m_held >= 8) {
            byte(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_held -= 8;
        }
    }

    // Four bytes set aside for a block's size, filled in at once.
    void put_word(std::uint32_t value)
    {
        if (m_capacity - m_length < 4) {
            m_overflow = true;
            return;
        }
        put_le32(m_out + m_length, value);
        m_length += 4;
    }

    // The end of a block: 7 zero bits push out a partial byte; bits left over are dropped.
    void end_block()
    {
        put(0, 7);
        m_bits = 0;
        m_held = 0;
    }

    bool overflow() const { return m_overflow; }
    std::size_t length() const { return m_length; }

private:
    void byte(std::uint8_t value)
    {
        if (m_length == m_capacity) {
            m_overflow = true;
            return;
        }
        m_out[m_length++] = value;
    }

    std::uint8_t* m_out;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    std::uint64_t m_bits = 0;
    unsigned m_held = 0;
    bool m_overflow = false;
};

void put_length(BitWriter& writer, std::uint32_t length)
{
    unsigned zeros = 0;
    while (zeros < 5 && length >= length_rows[zeros].base + (std::uint32_t { 1 } << length_rows[zeros].extra)) ++zeros;
    if (zeros < 5)
        writer.put(std::uint32_t { 1 } << zeros, zeros + 1);
    else
        writer.put(0, 5);
    writer.put(length - length_rows[zeros].base, length_rows[zeros].extra);
}

void put_distance(BitWriter& writer, std::uint32_t value)
{
    unsigned k = 2;
    while (value >= (std::uint32_t { 2 } << k)) ++k;
    writer.put(k - 2, 4);
    if (k > 2)
        writer.put(value - (std::uint32_t { 1 } << k), k);
    else
        writer.put(value, 3);
}

constexpr std::uint32_t window = 0x40000;
constexpr std::uint32_t three_byte_heads = 0x80000;
constexpr std::uint32_t four_byte_heads = 0x100000;
constexpr std::uint32_t chain_mask = 0x3FFFF;
constexpr std::int32_t none = -1;

std::uint32_t match_length(std::uint8_t const* block, std::uint32_t candidate, std::uint32_t p, std::uint32_t limit)
{
    std::uint32_t length = 0;
    while (length < limit && block[candidate + length] == block[p + length]) ++length;
    return length;
}

// One block: its items, after its size.
void encode_block(BitWriter& writer, std::uint8_t const* block, std::uint32_t n, std::vector<std::int32_t>& heads,
    std::vector<std::int32_t>& links)
{
    writer.put_word(n);
    std::fill(heads.begin(), heads.end(), none);
    std::int32_t* const heads3 = heads.data();
    std::int32_t* const heads4 = heads.data() + three_byte_heads;
    std::uint32_t h3 = 0;
    std::uint32_t h4 = 0;
    for (std::uint32_t i = 0; i < 3; ++i) h3 = ((h3 << 7) + block[i]) & (three_byte_heads - 1);
    for (std::uint32_t i = 0; i < 4; ++i) h4 = ((h4 << 5) + block[i]) & (four_byte_heads - 1);
    std::uint32_t p = 0;
    while (p < n && !writer.overflow()) {
        std::uint32_t best = 2;
        std::uint32_t best_distance = window;
        std::uint32_t const limit = std::min(n - p, longest_match);
        std::int64_t const window_start = std::max<std::int64_t>(std::int64_t { p } - window, 0);
        std::int32_t const head = heads3[h3];
        if (head != none && head >= window_start && block[head] == block[p]) {
            auto const candidate = static_cast<std::uint32_t>(head);
            std::uint32_t const length = match_length(block, candidate, p, limit);
            if (length > best) {
                best = length;
                best_distance = p - candidate;
            }
        }
        // A longer match cannot be found once the best reaches the limit.
        if (best < limit) {
            std::int32_t candidate = heads4[h4];
            for (int walked = 0; walked < 256 && candidate != none && candidate >= window_start; ++walked) {
                auto const c = static_cast<std::uint32_t>(candidate);
                if (block[c + best] == block[p + best] && block[c] == block[p]) {
                    std::uint32_t const length = match_length(block, c, p, limit);
                    // A farther match must be longer by more than the bits its distance costs.
                    std::uint32_t penalty = 0;
                    for (std::uint32_t far = (p - c) >> 4; far > best_distance; far >>= 3) ++penalty;
                    if (length > best + penalty) {
                        best = length;
                        best_distance = p - c;
                        if (best >= limit) break;
                    }
                }
                candidate = links[c & chain_mask];
            }
        }
        if (best == 3 && best_distance > 65536) best = 2;
        std::uint32_t covered = 1;
        if (best < 3) {
            writer.put(0, 1);
            writer.put(block[p], 8);
        } else {
            writer.put(1, 1);
            put_length(writer, best - 3);
            put_distance(writer, best_distance - 1);
            covered = best;
        }
        for (; covered > 0; --covered) {
            heads3[h3] = static_cast<std::int32_t>(p);
            links[p & chain_mask] = heads4[h4];
            heads4[h4] = static_cast<std::int32_t>(p);
            ++p;
            h3 = ((h3 << 7) + block[p + 2]) & (three_byte_heads - 1);
            h4 = ((h4 << 5) + block[p + 3]) & (four_byte_heads - 1);
        }
    }
    writer.end_block();
}

}

std::optional<std::vector<std::uint8_t>> decompress(std::span<std::uint8_t const> container)
{
    if (container.size() < 8) return std::nullopt;
    std::uint32_t const payload = le32(container.data());
    std::uint32_t const content = le32(container.data() + 4);
    if (payload > container.size() - 8) return std::nullopt;
    // The densest item, a match of 566 bytes, takes 22 bits: a larger content cannot come from the payload.
    if (content > (std::uint64_t { payload } * 8 + 21) / 22 * longest_match) return std::nullopt;
    std::vector<std::uint8_t> out(std::size_t { content } + 8);
    std::uint8_t const* const blocks = container.data() + 8;
    std::size_t produced = 0;
    std::size_t offset = 0;
    while (offset < payload) {
        if (payload - offset < 4) return std::nullopt;
        std::uint32_t const n = le32(blocks + offset);
        if (n == 0 || n > largest_block || n > out.size() - produced) return std::nullopt;
        BitReader reader(blocks + offset + 4, payload - offset - 4);
        if (!decode_block(reader, out.data(), produced, n)) return std::nullopt;
        produced += n;
        offset += 4 + reader.consumed();
    }
    out.resize(produced);
    return out;
}

std::int64_t compress(std::span<std::uint8_t const> in, std::uint8_t* out)
{
    if (in.size() < smallest_input || in.size() > 0xFFFFFFFFu) return -1;
    std::vector<std::int32_t> heads(three_byte_heads + four_byte_heads);
    std::vector<std::int32_t> links(chain_mask + 1);
    // The hashes look up to 3 bytes past a block's end: there the copy holds zeros.
    std::vector<std::uint8_t> block(largest_block + longest_match);
    BitWriter writer(out, in.size());
    writer.put_word(0); // P and U, once known
    writer.put_word(0);
    for (std::size_t at = 0; at < in.size() && !writer.overflow(); at += largest_block) {
        auto const n = static_cast<std::uint32_t>(std::min<std::size_t>(largest_block, in.size() - at));
        std::memcpy(block.data(), in.data() + at, n);
        std::fill(block.begin() + n, block.end(), std::uint8_t { 0 });
        encode_block(writer, block.data(), n, heads, links);
    }
    if (writer.overflow()) return -1;
    put_le32(out, static_cast<std::uint32_t>(writer.length() - 8));
    put_le32(out + 4, static_cast<std::uint32_t>(in.size()));
    return static_cast<std::int64_t>(writer.length());
}

}
