// binary!'s base codecs on plain memory: the standard vectors, round trips of random bytes through text of
// every unit width, and what the decoders skip, stop at and refuse.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/binary_codecs.h"

using namespace xol;
using binary::Base;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text)
{
    return { text.begin(), text.end() };
}

Bytes hex_bytes(std::string_view hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

std::string encode(Base base, Bytes const& bytes)
{
    std::string text(binary::encoded_capacity(base, static_cast<std::uint32_t>(bytes.size())), '\0');
    auto const count = static_cast<std::uint32_t>(bytes.size());
    char* const start = text.data();
    char* end = start;
    switch (base) {
    case Base::Two:
        end = binary::enbase_2(start, bytes.data(), count);
        break;
    case Base::Sixteen:
        end = binary::enbase_16(start, bytes.data(), count);
        break;
    case Base::FiftyEight:
        end = binary::enbase_big(start, bytes.data(), count);
        break;
    case Base::SixtyFour:
        end = binary::enbase_64(start, bytes.data(), count);
        break;
    }
    text.resize(static_cast<std::size_t>(end - start));
    return text;
}

// The code points as text of `unit`-byte units.
std::vector<std::byte> units_of(std::u32string const& text, std::uint32_t unit)
{
    std::vector<std::byte> units(text.size() * unit);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t const code = text[i];
        std::memcpy(units.data() + i * unit, &code, unit); // little-endian units
    }
    return units;
}

std::optional<Bytes> decode(Base base, std::u32string const& text, std::uint32_t unit = 1)
{
    std::vector<std::byte> const units = units_of(text, unit);
    auto const length = static_cast<std::uint32_t>(text.size());
    Bytes output(binary::decoded_capacity(base, length) + 1);
    std::optional<std::uint32_t> const count = binary::debase_into(base, { units.data(), length, unit }, output.data());
    if (!count) return std::nullopt;
    EXPECT_LE(*count, binary::decoded_capacity(base, length)) << "wrote past its room";
    output.resize(*count);
    return output;
}

std::u32string wide(std::string_view text)
{
    return { text.begin(), text.end() };
}

std::optional<Bytes> decode(Base base, std::string_view text)
{
    return decode(base, wide(text));
}

}

// RFC 4648's vectors for bases 64 and 16.
TEST(BaseCodecs, StandardVectors64And16)
{
    struct Case {
        char const* bytes;
        char const* base64;
        char const* base16;
    };
    Case const cases[] = {
        { "", "", "" },
        { "f", "Zg==", "66" },
        { "fo", "Zm8=", "666F" },
        { "foo", "Zm9v", "666F6F" },
        { "foob", "Zm9vYg==", "666F6F62" },
        { "fooba", "Zm9vYmE=", "666F6F6261" },
        { "foobar", "Zm9vYmFy", "666F6F626172" },
    };
    for (Case const& c : cases) {
        EXPECT_EQ(encode(Base::SixtyFour, bytes_of(c.bytes)), c.base64);
        EXPECT_EQ(encode(Base::Sixteen, bytes_of(c.bytes)), c.base16);
        EXPECT_EQ(decode(Base::SixtyFour, c.base64), bytes_of(c.bytes)) << c.base64;
        EXPECT_EQ(decode(Base::Sixteen, c.base16), bytes_of(c.bytes)) << c.base16;
    }
    EXPECT_EQ(encode(Base::Two, { 0xA5, 0x01 }), "1010010100000001");
    EXPECT_EQ(encode(Base::SixtyFour, { 0xFB, 0xFF }), "+/8=");
}

// The usual base-58 vectors: one "1" for each leading zero byte.
TEST(BaseCodecs, StandardVectors58)
{
    struct Case {
        char const* hex;
        char const* text;
    };
    Case const cases[] = {
        { "", "" },
        { "61", "2g" },
        { "626262", "a3gV" },
        { "636363", "aPEr" },
        { "73696d706c792061206c6f6e6720737472696e67", "2cFupjhnEsSn59qHXstmK2ffpLv2" },
        { "00eb15231dfceb60925886b67d065299925915aeb172c06647", "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L" },
        { "516b6fcd0f", "ABnLTmg" },
        { "bf4f89001e670274dd", "3SEo3LWLoPntC" },
        { "572e4794", "3EFU7m" },
        { "ecac89cad93923c02321", "EJDM8drfXA6uyA" },
        { "10c8511e", "Rt5zm" },
        { "00000000000000000000", "1111111111" },
        { "0001", "12" },
    };
    for (Case const& c : cases) {
        EXPECT_EQ(encode(Base::FiftyEight, hex_bytes(c.hex)), c.text) << c.hex;
        EXPECT_EQ(decode(Base::FiftyEight, c.text), hex_bytes(c.hex)) << c.text;
    }
}

// Random bytes of every length from 0 to 300 come back from their text in each base, read as 1-, 2- and
// 4-byte units; no encoder writes beyond the room reserved for it.
TEST(BaseCodecs, RandomRoundTrips)
{
    std::mt19937 random(20240611);
    for (std::uint32_t length = 0; length <= 300; ++length) {
        Bytes bytes(length);
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
        // Leading zeros matter to base 58: some inputs start with a few.
        if (length % 7 == 1)
            for (std::uint32_t i = 0; i < std::min<std::uint32_t>(length, 3); ++i) bytes[i] = 0;
        for (Base base : { Base::Two, Base::Sixteen, Base::FiftyEight, Base::SixtyFour }) {
            std::string const text = encode(base, bytes);
            EXPECT_LE(text.size(), binary::encoded_capacity(base, length));
            for (std::uint32_t unit : { 1u, 2u, 4u })
                EXPECT_EQ(decode(base, wide(text), unit), bytes)
                    << "base " << int(base) << ", length " << length << ", unit " << unit;
        }
    }
}

// Skipped characters and comments, by base: bases 2 and 16 skip every code up to 32, bases 58 and 64 a
// fixed few (vertical tab is not one of them) and the apostrophe.
TEST(BaseCodecs, SkipsAndComments)
{
    struct Case {
        Base base;
        char const* text;
        std::optional<Bytes> expected;
    };
    Case const cases[] = {
        { Base::Sixteen, " 0 1\t\r\n\x0b\x01 FF ", Bytes { 0x01, 0xFF } },
        { Base::Sixteen, "01 ; a comment FF\n02", Bytes { 0x01, 0x02 } },
        { Base::Sixteen, "01 ; a comment that runs to the end", Bytes { 0x01 } },
        { Base::Sixteen, "0;\n1", Bytes { 0x01 } },
        { Base::Sixteen, "01'02", std::nullopt },
        { Base::Two, "0000 0001\n;x\n11111111", Bytes { 0x01, 0xFF } },
        { Base::SixtyFour, "Zm9v\r\n Ym\bFy", bytes_of("foobar") },
        { Base::SixtyFour, "Zm'9v", bytes_of("foo") },
        { Base::SixtyFour, "Zm9v ;comment Zm9v\nYmFy", bytes_of("foobar") },
        { Base::SixtyFour, "Zm9v\x0bYmFy", std::nullopt },
        { Base::SixtyFour, "Zm9v\x01", std::nullopt },
        { Base::FiftyEight, "1 1\t'2", Bytes { 0, 0, 1 } },
        { Base::FiftyEight, "12 ;ignored 0OIl\n", Bytes { 0, 1 } },
        { Base::FiftyEight, "1\x0b", std::nullopt },
    };
    for (Case const& c : cases) EXPECT_EQ(decode(c.base, c.text), c.expected) << int(c.base) << ": " << c.text;
}

// What ends a text early, what is dropped, and what makes it invalid.
TEST(BaseCodecs, PaddingOddDigitsAndInvalidText)
{
    struct Case {
        Base base;
        char const* text;
        std::optional<Bytes> expected;
    };
    Case const cases[] = {
        { Base::SixtyFour, "QQ==", Bytes { 'A' } },
        { Base::SixtyFour, "QUI=", bytes_of("AB") },
        { Base::SixtyFour, "QQ==QUJD", Bytes { 'A' } }, // the first "=" ends the text
        { Base::SixtyFour, "QQ=garbage!", Bytes { 'A' } },
        { Base::SixtyFour, "QUJDQQ", bytes_of("ABC") }, // a last group without padding is dropped
        { Base::SixtyFour, "QUJDQ", bytes_of("ABC") },
        { Base::SixtyFour, "Q===", std::nullopt }, // "=" after one digit
        { Base::SixtyFour, "QUJD=", std::nullopt }, // and after none
        { Base::SixtyFour, "=", std::nullopt },
        { Base::SixtyFour, "QU!D", std::nullopt },
        { Base::SixtyFour, "QUJD-_", std::nullopt }, // the URL alphabet is not this one
        { Base::Sixteen, "ABC", Bytes { 0xAB } }, // a last odd digit is dropped
        { Base::Sixteen, "abcdef", Bytes { 0xAB, 0xCD, 0xEF } },
        { Base::Sixteen, "", Bytes {} },
        { Base::Sixteen, "0G", std::nullopt },
        { Base::Two, "0000000", std::nullopt }, // seven bits make no byte
        { Base::Two, "00000002", std::nullopt },
        { Base::Two, "", Bytes {} },
        { Base::FiftyEight, "0", std::nullopt },
        { Base::FiftyEight, "O", std::nullopt },
        { Base::FiftyEight, "I", std::nullopt },
        { Base::FiftyEight, "l", std::nullopt },
        { Base::FiftyEight, "111", Bytes { 0, 0, 0 } },
        { Base::FiftyEight, "", Bytes {} },
    };
    for (Case const& c : cases) EXPECT_EQ(decode(c.base, c.text), c.expected) << int(c.base) << ": " << c.text;
}

// A code point above 127 makes the text invalid in every base and every unit width (a character is never
// folded to another one, nor the rest of the text ignored), except inside a comment.
TEST(BaseCodecs, CodePointsAbove127AreInvalid)
{
    std::u32string const texts[][4] = {
        // base 2, 16, 58, 64 in turn: a valid text with one character above 127 inside it
        { U"0000\u00C60001", U"0\u00C601", U"2g\u00C6", U"Zm\u00C69v" },
        { U"00000001\u00E9", U"01\u00E9", U"2g\u00E9", U"Zm9v\u00E9" },
        { U"00000001\u4E2D", U"01\u4E2D", U"2g\u4E2D", U"Zm9v\u4E2D" },
        { U"00000001\U0001F600", U"01\U0001F600", U"2g\U0001F600", U"Zm9v\U0001F600" },
        { U"00000001\u0100", U"01\u0100", U"2g\u0100", U"Zm9v\u0100" }, // not folded to a digit by its low byte
        { U"00000001\u0131", U"01\u0131", U"2g\u0131", U"Zm9v\u0131" },
    };
    Base const bases[] = { Base::Two, Base::Sixteen, Base::FiftyEight, Base::SixtyFour };
    for (auto const& row : texts) {
        for (int b = 0; b < 4; ++b) {
            for (std::uint32_t unit : { 1u, 2u, 4u }) {
                bool const fits = std::all_of(
                    row[b].begin(), row[b].end(), [&](char32_t c) { return unit == 4 || c < (1u << (8 * unit)); });
                if (!fits) continue;
                EXPECT_EQ(decode(bases[b], row[b], unit), std::nullopt)
                    << "base " << int(bases[b]) << ", unit " << unit;
            }
        }
    }
    EXPECT_EQ(decode(Base::Sixteen, U"01 ; caf\u00E9 \u4E2D\n02", 2), (Bytes { 1, 2 }));
    EXPECT_EQ(decode(Base::SixtyFour, U"Zm9v ; \U0001F600", 4), bytes_of("foo"));
}

// The room enbase reserves: never less than the text, and beyond 2^31 - 1 (too long for a series) only
// for inputs that large.
TEST(BaseCodecs, EncodedCapacities)
{
    for (std::uint32_t count : { 0u, 1u, 2u, 3u, 31u, 32u, 33u, 100u }) {
        Bytes const bytes(count, 0xFF);
        for (Base base : { Base::Two, Base::Sixteen, Base::FiftyEight, Base::SixtyFour })
            EXPECT_LE(encode(base, bytes).size(), binary::encoded_capacity(base, count)) << int(base) << " " << count;
    }
    EXPECT_GT(binary::encoded_capacity(Base::Two, 1u << 28), 0x7FFF'FFFFu);
    EXPECT_LE(binary::encoded_capacity(Base::Two, 260'000'000), 0x7FFF'FFFFu);
    EXPECT_GT(binary::encoded_capacity(Base::SixtyFour, 0xFFFF'FFFFu), 0x7FFF'FFFFu);
    EXPECT_EQ(binary::encoded_capacity(Base::FiftyEight, 10), 20u);
}
