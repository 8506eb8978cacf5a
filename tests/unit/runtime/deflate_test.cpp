// Tests of DEFLATE, zlib and gzip: the compressor's exact bytes for short inputs, its answers when the
// capacity is short, round trips in the three framings checked by zlib as the oracle both ways (zlib
// inflates ours; we inflate zlib's levels 0, 1, 6 and 9 and gzip headers with every optional field), and
// the inflater's answers to damaged data.

#include "runtime/host/deflate.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "runtime/checksums.h"

namespace xol::compress {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text(std::string_view value)
{
    return Bytes(value.begin(), value.end());
}

Bytes from_hex(std::string_view hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

using Codec = int (*)(std::uint8_t*, std::uint32_t*, std::uint8_t const*, std::uint32_t);

struct Answer {
    int result;
    Bytes bytes;
};

// The codec run into a buffer of `capacity` bytes followed by guard bytes that must stay untouched.
Answer run(Codec codec, Bytes const& in, std::uint32_t capacity)
{
    Bytes out(capacity + 64, 0xA5);
    std::uint32_t length = capacity;
    int const result = codec(out.data(), &length, in.data(), static_cast<std::uint32_t>(in.size()));
    for (std::size_t i = capacity; i < out.size(); ++i) EXPECT_EQ(out[i], 0xA5) << "written past the capacity at " << i;
    out.resize(result == done ? length : 0);
    return { result, out };
}

// A sizing run, then a run with exactly the size it gave.
Answer run_sized(Codec codec, Bytes const& in)
{
    std::uint32_t length = 0;
    int const sizing = codec(nullptr, &length, in.data(), static_cast<std::uint32_t>(in.size()));
    if (sizing != done && sizing != too_small) return { sizing, {} };
    return run(codec, in, length);
}

Bytes random_bytes(std::size_t count, unsigned seed)
{
    std::mt19937 engine(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(engine());
    return bytes;
}

// Words from a small vocabulary, so that matches are frequent at every distance.
Bytes repetitive_bytes(std::size_t count, unsigned seed)
{
    static char const* const words[] = { "alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta, ", "eta. " };
    std::mt19937 engine(seed);
    std::string result;
    while (result.size() < count) result += words[engine() % 7];
    result.resize(count);
    return text(result);
}

// zlib as the oracle: window bits 15 for zlib, -15 for raw DEFLATE, 31 for gzip.
Bytes zlib_inflate(Bytes const& in, int window_bits, bool& ok)
{
    z_stream stream {};
    ok = false;
    if (inflateInit2(&stream, window_bits) != Z_OK) return {};
    Bytes out;
    std::uint8_t chunk[65536];
    stream.next_in = const_cast<std::uint8_t*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    int status = Z_OK;
    do {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    } while (status == Z_OK);
    ok = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return out;
}

Bytes zlib_deflate(Bytes const& in, int level, int window_bits)
{
    z_stream stream {};
    deflateInit2(&stream, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, static_cast<uLong>(in.size())));
    stream.next_in = const_cast<std::uint8_t*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(::deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// ---- The compressor's bytes ------------------------------------------------------------------------

// Worked out bit by bit: header 1 10; literals as 8-bit codes 0x30 + byte; length 3 as the 7-bit code
// 0000001; distance 1 as 00000 and 4 as 00011; end of block 0000000; zeros to the byte boundary.
TEST(Deflate, ExactBytesOfShortInputs)
{
    struct Case {
        std::string_view input;
        std::string_view bytes;
    } const cases[] = {
        { "", "03 00" },
        { "a", "4B 04 00" },
        // Literals at the first three positions, then a 3-byte match one back.
        { "aaaaaa", "4B 4C 4C 04 02 00" },
        // The match reaches the first byte of the input, four back.
        { "abcXabc", "4B 4C 4A 8E 00 62 00" },
    };
    for (Case const& c : cases) {
        Answer const answer = run(deflate, text(c.input), 64);
        EXPECT_EQ(answer.result, done) << c.input;
        EXPECT_EQ(answer.bytes, from_hex(c.bytes)) << c.input;
    }
    EXPECT_EQ(run(zlib, {}, 64).bytes, from_hex("78 01 03 00 00 00 00 01"));
    EXPECT_EQ(
        run(gzip, text("a"), 64).bytes, from_hex("1F 8B 08 00 00 00 00 00 04 04 4B 04 00 43 BE B7 E8 01 00 00 00"));
}

TEST(Deflate, ShortCapacityTellsTheSizeNeeded)
{
    Bytes const a = text("a");
    struct Case {
        Codec codec;
        std::uint32_t capacity;
        int result;
        std::uint32_t length;
    } const cases[] = {
        { deflate, 0, too_small, 3 },
        { deflate, 2, too_small, 3 },
        { zlib, 1, bad_data, 7 }, // no room for the header: the input's size plus the framing
        { zlib, 4, too_small, 9 }, // the data does not fit
        { zlib, 6, too_small, 9 }, // the trailer does not fit
        { gzip, 9, bad_data, 19 },
        { gzip, 12, too_small, 21 },
        { gzip, 20, too_small, 21 },
    };
    for (Case const& c : cases) {
        Bytes out(c.capacity + 16, 0xA5);
        std::uint32_t length = c.capacity;
        EXPECT_EQ(c.codec(out.data(), &length, a.data(), 1), c.result) << c.capacity;
        EXPECT_EQ(length, c.length) << c.capacity;
        for (std::size_t i = c.capacity; i < out.size(); ++i) EXPECT_EQ(out[i], 0xA5);
    }
}

TEST(Deflate, GzipWriterPassesGzipDataThrough)
{
    Bytes const data = from_hex("1F 8B 08 FF 01 02");
    EXPECT_EQ(run(gzip, data, 6).bytes, data);
    Answer const short_one = run(gzip, data, 3);
    EXPECT_EQ(short_one.result, too_small);
    // Two bytes of the magic are not gzip data.
    EXPECT_EQ(run(gzip, from_hex("1F 8B"), 64).bytes.size(), 22u);
}

// ---- Round trips and the oracle --------------------------------------------------------------------

TEST(Deflate, RoundTripsInEveryFraming)
{
    std::vector<std::size_t> const sizes { 0, 1, 2, 3, 258, 32767, 32768, 32769, std::size_t { 1 } << 20 };
    struct Framed {
        Codec writer;
        Codec reader;
        Framing framing;
        int window_bits;
    } const framings[] = {
        { deflate, inflate, Framing::Deflate, -15 },
        { zlib, unzlib, Framing::Zlib, 15 },
        { gzip, gunzip, Framing::Gzip, 31 },
    };
    for (std::size_t size : sizes) {
        for (Bytes const& input : { random_bytes(size, 7), repetitive_bytes(size, 11), Bytes(size, 'x') }) {
            for (Framed const& f : framings) {
                Answer const packed = run(f.writer, input, static_cast<std::uint32_t>(bound(size)));
                ASSERT_EQ(packed.result, done) << size;
                EXPECT_LE(packed.bytes.size(), bound(size));
                Answer const unpacked = run_sized(f.reader, packed.bytes);
                ASSERT_EQ(unpacked.result, done) << size;
                EXPECT_TRUE(unpacked.bytes == input) << size;
                Bytes grown;
                EXPECT_EQ(decode(f.framing, packed.bytes, grown), done);
                EXPECT_TRUE(grown == input) << size;
                bool ok = false;
                EXPECT_TRUE(zlib_inflate(packed.bytes, f.window_bits, ok) == input) << size;
                EXPECT_TRUE(ok) << size;
            }
        }
    }
}

TEST(Deflate, InflatesZlibAtEveryLevel)
{
    for (std::size_t size :
        { std::size_t { 0 }, std::size_t { 100 }, std::size_t { 70000 }, std::size_t { 1 } << 20 }) {
        for (Bytes const& input : { random_bytes(size, 3), repetitive_bytes(size, 5) }) {
            for (int level : { 0, 1, 6, 9 }) {
                Answer const from_zlib = run_sized(unzlib, zlib_deflate(input, level, 15));
                EXPECT_EQ(from_zlib.result, done) << size << " level " << level;
                EXPECT_TRUE(from_zlib.bytes == input) << size << " level " << level;
                Bytes raw;
                EXPECT_EQ(decode(Framing::Deflate, zlib_deflate(input, level, -15), raw), done);
                EXPECT_TRUE(raw == input) << size << " level " << level;
                Bytes gzipped;
                EXPECT_EQ(decode(Framing::Gzip, zlib_deflate(input, level, 31), gzipped), done);
                EXPECT_TRUE(gzipped == input) << size << " level " << level;
            }
        }
    }
}

void put_le16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_le32(Bytes& out, std::uint32_t value)
{
    put_le16(out, value & 0xFFFF);
    put_le16(out, value >> 16);
}

// A gzip file around zlib's raw data with the optional fields the flags ask for.
Bytes gzip_file(Bytes const& content, unsigned flags, std::uint32_t size_delta = 0, std::uint32_t crc_delta = 0)
{
    Bytes out { 0x1F, 0x8B, 8, static_cast<std::uint8_t>(flags), 1, 2, 3, 4, 0, 3 };
    if (flags & 4) {
        put_le16(out, 6);
        for (std::uint8_t byte : Bytes { 'A', 'B', 2, 0, 'x', 'y' }) out.push_back(byte);
    }
    if (flags & 8)
        for (char c : std::string_view("name.txt", 9)) out.push_back(static_cast<std::uint8_t>(c));
    if (flags & 16)
        for (char c : std::string_view("a comment", 10)) out.push_back(static_cast<std::uint8_t>(c));
    if (flags & 2) put_le16(out, checksums::crc32(out.data(), out.size()) & 0xFFFF);
    Bytes const data = zlib_deflate(content, 6, -15);
    out.insert(out.end(), data.begin(), data.end());
    put_le32(out, checksums::crc32(content.data(), content.size()) + crc_delta);
    put_le32(out, static_cast<std::uint32_t>(content.size()) + size_delta);
    return out;
}

TEST(Deflate, GunzipsEveryOptionalField)
{
    Bytes const content = repetitive_bytes(5000, 9);
    for (unsigned flags : { 0u, 2u, 4u, 8u, 16u, 30u }) {
        Bytes const file = gzip_file(content, flags);
        bool ok = false;
        ASSERT_TRUE(zlib_inflate(file, 31, ok) == content && ok) << flags; // the fixture is sound
        Answer const answer = run_sized(gunzip, file);
        EXPECT_EQ(answer.result, done) << flags;
        EXPECT_TRUE(answer.bytes == content) << flags;
    }
    Bytes bad_header_crc = gzip_file(content, 30);
    bad_header_crc[10 + 8 + 9 + 10] ^= 1;
    EXPECT_EQ(run_sized(gunzip, bad_header_crc).result, bad_data);
    EXPECT_EQ(run_sized(gunzip, gzip_file(content, 0, 0, 1)).result, bad_data); // wrong CRC
    EXPECT_EQ(run_sized(gunzip, gzip_file(content, 0, 1)).result, bad_data); // ISIZE one more
    EXPECT_EQ(run_sized(gunzip, gzip_file(content, 0, 0xFFFFFFFF)).result, bad_data);
    // A capacity below the content gives its size, found by decoding (not ISIZE's word).
    Answer const small = run(gunzip, gzip_file(content, 0), 100);
    EXPECT_EQ(small.result, too_small);
    std::uint32_t length = 100;
    Bytes out(100);
    Bytes const file = gzip_file(content, 0);
    gunzip(out.data(), &length, file.data(), static_cast<std::uint32_t>(file.size()));
    EXPECT_EQ(length, 5000u);
}

TEST(Deflate, GunzipRefusesFieldsRunningIntoTheTrailer)
{
    Bytes const base = gzip_file({}, 0); // 10 + 2 + 8 bytes
    struct Case {
        std::string_view what;
        Bytes bytes;
    };
    Bytes extra_long = base;
    extra_long[3] = 4;
    extra_long.insert(extra_long.begin() + 10, { 8, 0 }); // XLEN 8 reaches into the trailer
    Bytes name_unended(base);
    name_unended[3] = 8; // the name's NUL would have to lie in the trailer
    for (auto& byte : name_unended)
        if (&byte >= &name_unended[10] && byte == 0) byte = 'n';
    Bytes eighteen(18, 0);
    eighteen[0] = 0x1F;
    eighteen[1] = 0x8B;
    eighteen[2] = 8;
    eighteen[14] = 0xFF; // ISIZE asks for 4 GiB of nothing
    eighteen[15] = 0xFF;
    eighteen[16] = 0xFF;
    eighteen[17] = 0xFF;
    Case const cases[] = {
        { "extra", extra_long },
        { "name", name_unended },
        { "17 bytes", Bytes(base.begin(), base.begin() + 17) },
        { "bad magic", from_hex("1F 8C 08 00 00 00 00 00 00 03 03 00 00 00 00 00 00 00 00 00") },
        { "flags 32", from_hex("1F 8B 08 20 00 00 00 00 00 03 03 00 00 00 00 00 00 00 00 00") },
        { "method 7", from_hex("1F 8B 07 00 00 00 00 00 00 03 03 00 00 00 00 00 00 00 00 00") },
        { "ISIZE of 4 GiB", eighteen },
    };
    for (Case const& c : cases) EXPECT_EQ(run_sized(gunzip, c.bytes).result, bad_data) << c.what;
    EXPECT_EQ(run_sized(gunzip, base).result, done);
}

TEST(Deflate, UnzlibChecksItsFraming)
{
    Bytes const good = zlib_deflate(text("hello, hello"), 6, 15);
    EXPECT_EQ(run_sized(unzlib, good).bytes, text("hello, hello"));
    Bytes wrong_adler = good;
    wrong_adler.at(wrong_adler.size() - 1) ^= 1;
    Bytes dictionary = good;
    dictionary[1] = 0x20; // FDICT, with check bits that hold: 0x7820 is a multiple of 31
    Bytes method = good;
    method[0] = 0x79;
    for (Bytes const& bad : { wrong_adler, dictionary, method, from_hex("78 9C 03 00 00"), Bytes {} })
        EXPECT_EQ(run_sized(unzlib, bad).result, bad_data);
}

// ---- The inflater's answers ------------------------------------------------------------------------

// Bits in stream order for hand-made data: fields low bit first, Huffman codes first bit first.
struct Bits {
    Bytes bytes;
    unsigned used = 0;

    Bits& field(std::uint32_t value, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i) bit((value >> i) & 1);
        return *this;
    }
    Bits& code(std::string_view bits)
    {
        for (char c : bits) bit(c == '1');
        return *this;
    }
    void bit(unsigned value)
    {
        if (used % 8 == 0) bytes.push_back(0);
        bytes.back() = static_cast<std::uint8_t>(bytes.back() | value << (used % 8));
        ++used;
    }
};

// A dynamic block header whose code-length code has 18 as "0", 0 as "10" and 1 as "11", and whose lengths
// give symbol 256 alone the code "0" (the rest of the literal code unassigned) and no distance code.
Bits lone_end_code()
{
    Bits bits;
    bits.field(1, 1).field(2, 2).field(0, 5).field(0, 5).field(14, 4);
    // Code-length code lengths in their order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
    for (unsigned length : { 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2 }) bits.field(length, 3);
    bits.code("0").field(127, 7).code("0").field(107, 7); // 138 + 118 zeros
    bits.code("11").code("10"); // 256 gets 1; the one distance gets 0
    return bits;
}

TEST(Deflate, InflaterAnswersDamagedData)
{
    struct Case {
        std::string_view what;
        Bytes in;
        int result;
    };
    Bytes cut_end_code = lone_end_code().bytes;
    cut_end_code.pop_back();
    std::vector<Case> const cases {
        { "empty input", {}, done },
        { "a non-final empty block, then the end", Bits().field(0, 1).field(1, 2).code("0000000").bytes, done },
        { "a cut literal", from_hex("4B"), bad_data },
        { "a final block without its end code", Bits().field(1, 1).field(1, 2).code("10010001").bytes, bad_data },
        { "block type 3", from_hex("07"), bad_block_type },
        { "a first match", Bits().field(1, 1).field(1, 2).code("0000001").code("00000").code("0000000").bytes,
            distance_too_far },
        { "a match reaching one too far",
            Bits().field(1, 1).field(1, 2).code("10010001").code("0000001").code("00001").code("0000000").bytes,
            distance_too_far },
        { "symbol 286", Bits().field(1, 1).field(1, 2).code("11000110").code("0000000").bytes, bad_data },
        { "symbol 287", Bits().field(1, 1).field(1, 2).code("11000111").code("0000000").bytes, bad_data },
        { "distance 30",
            Bits().field(1, 1).field(1, 2).code("10010001").code("0000001").code("11110").code("0000000").bytes,
            bad_data },
        { "a stored block past the end", from_hex("01 05 00 FA FF 61"), stored_past_end },
        { "a stored block without its lengths", from_hex("01 05 00"), bad_data },
        { "code 16 first",
            Bits()
                .field(1, 1)
                .field(2, 2)
                .field(0, 5)
                .field(0, 5)
                .field(0, 4)
                .field(1, 3)
                .field(0, 3)
                .field(0, 3)
                .field(1, 3)
                .code("1")
                .field(0, 2)
                .bytes,
            bad_data },
        { "repeats past the lengths",
            Bits()
                .field(1, 1)
                .field(2, 2)
                .field(0, 5)
                .field(0, 5)
                .field(0, 4)
                .field(0, 3)
                .field(0, 3)
                .field(1, 3)
                .field(1, 3)
                .code("1")
                .field(127, 7)
                .code("1")
                .field(127, 7)
                .bytes,
            bad_data },
        { "bits of no code", lone_end_code().code("1").bytes, bad_data },
        { "the lone end code", lone_end_code().code("0").bytes, done },
        { "the lone end code, cut", cut_end_code, bad_data },
    };
    for (Case const& c : cases) {
        Answer const answer = run_sized(inflate, c.in);
        EXPECT_EQ(answer.result, c.result) << c.what;
        Bytes grown;
        EXPECT_EQ(decode(Framing::Deflate, c.in, grown), c.result) << c.what;
    }
    // LEN and NLEN are not compared.
    EXPECT_EQ(run_sized(inflate, from_hex("01 01 00 00 00 61")).bytes, text("a"));
}

TEST(Deflate, InflaterCountsPastTheCapacity)
{
    Bytes const input = repetitive_bytes(100000, 1);
    Bytes const packed = run_sized(deflate, input).bytes;
    for (std::uint32_t capacity : { 0u, 1u, 57u, 4096u, 99999u }) {
        Answer const answer = run(inflate, packed, capacity);
        EXPECT_EQ(answer.result, too_small) << capacity;
        std::uint32_t length = capacity;
        Bytes out(capacity + 1);
        inflate(out.data(), &length, packed.data(), static_cast<std::uint32_t>(packed.size()));
        EXPECT_EQ(length, 100000u);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + capacity, input.begin())) << capacity;
    }
}

}
}
