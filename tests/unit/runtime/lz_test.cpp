// Tests of the block compressor: the encoder's exact bytes for a run, round trips over one and several
// blocks, and the decoder's answers to hand-made containers at every edge of the format.

#include "runtime/host/lz.h"

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace xol::lz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A block's bit stream, low bit of each field first.
struct Stream {
    Bytes bytes;
    unsigned used = 0;

    Stream& field(std::uint32_t value, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i) {
            if (used % 8 == 0) bytes.push_back(0);
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | ((value >> i) & 1) << (used % 8));
            ++used;
        }
        return *this;
    }
    Stream& literal(std::uint8_t byte) { return field(0, 1).field(byte, 8); }
    // A match of `length` bytes (3 to 566) from `distance` bytes back (1 to 262,144).
    Stream& match(std::uint32_t length, std::uint32_t distance)
    {
        field(1, 1);
        std::uint32_t const l = length - 3;
        if (l < 4)
            field(1, 1).field(l, 2);
        else if (l < 8)
            field(2, 2).field(l - 4, 2);
        else if (l < 12)
            field(4, 3).field(l - 8, 2);
        else if (l < 20)
            field(8, 4).field(l - 12, 3);
        else if (l < 52)
            field(16, 5).field(l - 20, 5);
        else
            field(0, 5).field(l - 52, 9);
        std::uint32_t const d = distance - 1;
        if (d < 8) return field(0, 4).field(d, 3);
        unsigned j = 3;
        while (d >= (2u << j)) ++j;
        return field(j - 2, 4).field(d - (1u << j), j);
    }
};

void put_le32(Bytes& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

struct Block {
    std::uint32_t size;
    Stream stream;
};

Bytes container(std::uint32_t content, std::vector<Block> const& blocks)
{
    Bytes payload;
    for (Block const& block : blocks) {
        put_le32(payload, block.size);
        payload.insert(payload.end(), block.stream.bytes.begin(), block.stream.bytes.end());
    }
    Bytes out;
    put_le32(out, static_cast<std::uint32_t>(payload.size()));
    put_le32(out, content);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes text(std::string_view value)
{
    return Bytes(value.begin(), value.end());
}

TEST(BlockCompressor, EncodesARunAsOneLiteralAndOneMatch)
{
    Bytes const input(128, 'a');
    Bytes out(128);
    ASSERT_EQ(compress(input, out.data()), 16);
    out.resize(16);
    // P 8, U 128, N 128; 0 and 'a'; 1, the prefix 00000 and 124 - 52 in 9 bits; k 0 and 000 (one back).
    Bytes const expected { 8, 0, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0, 0xC2, 0x02, 0x24, 0x00 };
    EXPECT_EQ(out, expected);
    EXPECT_EQ(decompress(out), input);
}

TEST(BlockCompressor, KeepsWhatItCannotShrink)
{
    Bytes out(4096);
    EXPECT_EQ(compress(Bytes(127, 'a'), out.data()), -1);
    std::mt19937 engine(5);
    Bytes noise(4096);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(engine());
    EXPECT_EQ(compress(noise, out.data()), -1);
}

TEST(BlockCompressor, RoundTripsOverSeveralBlocks)
{
    static char const* const words[] = { "block ", "chain ", "hash ", "window\n", "match ", "literal, " };
    std::mt19937 engine(9);
    for (std::size_t size : { std::size_t { 128 }, std::size_t { 70000 }, std::size_t { largest_block },
             std::size_t { largest_block } + 1, std::size_t { 3 } * largest_block + 12345 }) {
        std::string source;
        while (source.size() < size) source += words[engine() % 6];
        source.resize(size);
        // Some noise, so that literals and far matches mix with near ones.
        for (std::size_t i = 0; i < size; i += 97) source[i] = static_cast<char>(engine());
        Bytes const input = text(source);
        Bytes out(size);
        std::int64_t const written = compress(input, out.data());
        ASSERT_GT(written, 8) << size;
        out.resize(static_cast<std::size_t>(written));
        std::optional<Bytes> const back = decompress(out);
        ASSERT_TRUE(back.has_value()) << size;
        EXPECT_TRUE(*back == input) << size;
        // A prefix is a cut container, never read past its end.
        EXPECT_FALSE(decompress(std::span(out).first(out.size() - 1)).has_value()) << size;
    }
}

TEST(BlockCompressor, DecoderEdges)
{
    // N literals take 4 + ceil(9N / 8) bytes of payload.
    Stream literals;
    for (char c : std::string_view("literal")) literals.literal(static_cast<std::uint8_t>(c));
    Bytes const plain = container(7, { { 7, literals } });
    EXPECT_EQ(plain.size(), 8u + 4 + (9 * 7 + 7) / 8);
    EXPECT_EQ(decompress(plain), text("literal"));

    // Distance code 0 with 000 copies the byte just before: a run.
    EXPECT_EQ(decompress(container(10, { { 10, Stream().literal('z').match(9, 1) } })), text("zzzzzzzzzz"));
    // Every length row and several distance rows.
    Stream mixed;
    std::string expected = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (char c : expected) mixed.literal(static_cast<std::uint8_t>(c));
    for (auto [length, distance] :
        { std::pair { 3u, 36u }, { 7u, 10u }, { 11u, 17u }, { 19u, 30u }, { 51u, 2u }, { 566u, 33u } }) {
        mixed.match(length, distance);
        for (std::uint32_t i = 0; i < length; ++i) expected += expected[expected.size() - distance];
    }
    auto const size = static_cast<std::uint32_t>(expected.size());
    EXPECT_EQ(decompress(container(size, { { size, mixed } })), text(expected));

    // Several blocks: each starts at the byte after the last its predecessor used.
    EXPECT_EQ(decompress(
                  container(8, { { 4, Stream().literal('a').match(3, 1) }, { 4, Stream().literal('b').match(3, 1) } })),
        text("aaaabbbb"));

    // A block of 1 MiB, one literal and runs.
    Stream big;
    big.literal('x');
    for (std::uint32_t left = largest_block - 1; left > 0;) {
        std::uint32_t const length = std::min(left, 566u);
        big.match(length, 1);
        left -= length;
    }
    std::optional<Bytes> const whole = decompress(container(largest_block, { { largest_block, big } }));
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->size(), largest_block);

    struct Case {
        std::string_view what;
        Bytes bytes;
    };
    Bytes cut = plain;
    cut.pop_back();
    Bytes long_payload = plain;
    long_payload[0] = static_cast<std::uint8_t>(long_payload[0] + 1);
    Case const failing[] = {
        { "shorter than the header", { 0, 0, 0, 0, 0, 0, 0 } },
        { "a block of 0 bytes", container(1, { { 0, Stream().literal('a') } }) },
        { "a block over 1 MiB", container(largest_block + 1, { { largest_block + 1, Stream().literal('a') } }) },
        { "a first item that is a match", container(3, { { 3, Stream().match(3, 1) } }) },
        { "a match before its block",
            container(8, { { 4, Stream().literal('a').match(3, 1) }, { 4, Stream().match(4, 1) } }) },
        { "a match past its block", container(4, { { 4, Stream().literal('a').match(4, 1) } }) },
        { "output past U + 8", container(1, { { 10, Stream().literal('z').match(9, 1) } }) },
        { "bits past the payload", container(8, { { 8, Stream().literal('a') } }) },
        { "a cut payload", cut },
        { "P past the input", long_payload },
        // 4 payload bytes cannot hold the items of 566 bytes, at 22 bits each.
        { "a content the payload cannot yield", Bytes { 4, 0, 0, 0, 0x37, 2, 0, 0, 1, 0, 0, 0 } },
        { "a block size cut by the payload", Bytes { 2, 0, 0, 0, 1, 0, 0, 0, 1, 0 } },
    };
    for (Case const& c : failing) EXPECT_FALSE(decompress(c.bytes).has_value()) << c.what;
    // An empty container is empty content.
    EXPECT_EQ(decompress(Bytes(8, 0)), Bytes {});
}

}
}
