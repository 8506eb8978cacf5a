// Tests of the checksums: published vectors for each method, zlib as the oracle of CRC-32 and Adler-32 over
// generated buffers of every length and alignment around the folding's block sizes, the "tcp" sum's carries
// beyond 32 bits, and HMAC vectors with keys longer than either block size.

#include "runtime/checksums.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace xol::checksums {
namespace {

using Buffer = std::vector<std::uint8_t>;

Buffer text(std::string_view value)
{
    return Buffer(value.begin(), value.end());
}

Buffer repeated(std::uint8_t byte, std::size_t count)
{
    return Buffer(count, byte);
}

std::string hex(std::uint8_t const* bytes, std::size_t length)
{
    static char const digits[] = "0123456789abcdef";
    std::string result;
    for (std::size_t i = 0; i < length; ++i) {
        result += digits[bytes[i] >> 4];
        result += digits[bytes[i] & 15];
    }
    return result;
}

// Bytes of a fixed pseudo-random pattern, so that a fault shows on the same buffer every run.
Buffer pattern(std::size_t length, std::uint32_t seed)
{
    Buffer bytes(length);
    for (auto& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 23);
    }
    return bytes;
}

std::uint8_t const* bytes_of(std::string_view value)
{
    return reinterpret_cast<std::uint8_t const*>(value.data());
}

TEST(Crc32, PublishedValues)
{
    struct Case {
        std::string_view input;
        std::uint32_t crc;
    };
    for (Case const& c : { Case { "", 0 }, Case { "a", 0xE8B7BE43 }, Case { "abc", 0x352441C2 },
             Case { "123456789", 0xCBF43926 }, Case { "The quick brown fox jumps over the lazy dog", 0x414FA339 } })
        EXPECT_EQ(crc32(bytes_of(c.input), c.input.size()), c.crc) << c.input;
}

// Lengths around the table step (8), the folding's block (64) and its threshold, at every alignment; in
// pieces as well as whole.
TEST(Crc32, AgreesWithZlib)
{
    Buffer const source = pattern(70000, 7);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 600; ++length) lengths.push_back(length);
    for (std::size_t length : { 4095u, 4096u, 4097u, 65535u, 65536u, 69990u }) lengths.push_back(length);
    for (std::size_t offset = 0; offset < 8; ++offset)
        for (std::size_t length : lengths) {
            std::uint8_t const* bytes = source.data() + offset;
            auto const expected = static_cast<std::uint32_t>(::crc32(0, bytes, static_cast<uInt>(length)));
            ASSERT_EQ(crc32(bytes, length), expected) << offset << " " << length;
            std::size_t const half = length / 3;
            ASSERT_EQ(crc32(bytes + half, length - half, crc32(bytes, half)), expected) << offset << " " << length;
        }
    // A buffer of all ones: every lane full of carries.
    Buffer const ones(1000, 0xFF);
    EXPECT_EQ(crc32(ones.data(), ones.size()), static_cast<std::uint32_t>(::crc32(0, ones.data(), 1000)));
}

TEST(Adler32, PublishedValuesAndZlib)
{
    EXPECT_EQ(adler32(nullptr, 0), 1u);
    EXPECT_EQ(adler32(bytes_of("abc"), 3), 0x024D0127u);
    EXPECT_EQ(adler32(bytes_of("Wikipedia"), 9), 0x11E60398u);
    // All 0xFF bytes drive both sums to their largest before each reduction.
    for (Buffer const& source : { pattern(300100, 3), Buffer(300100, 0xFF) })
        for (std::size_t length : { 1u, 5551u, 5552u, 5553u, 11104u, 65536u, 300000u }) {
            auto const expected = static_cast<std::uint32_t>(::adler32(1, source.data(), static_cast<uInt>(length)));
            ASSERT_EQ(adler32(source.data(), length), expected) << length;
            ASSERT_EQ(adler32(source.data() + 100, length - 1, adler32(source.data(), 100)),
                static_cast<std::uint32_t>(::adler32(1, source.data(), static_cast<uInt>(length + 99))));
        }
}

// The sum, folded with every carry, as a plain reference.
std::uint16_t reference_tcp_sum(Buffer const& bytes)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        sum += (i % 2 == 0 && i + 1 < bytes.size()) ? bytes[i] * 256u : bytes[i];
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

TEST(TcpSum, WordsOddByteAndCarries)
{
    EXPECT_EQ(tcp_sum(bytes_of("abc"), 3), 40506); // 0x6162 + 0x63, complemented
    EXPECT_EQ(tcp_sum(bytes_of("ab"), 2), 0xFFFF - 0x6162);
    EXPECT_EQ(tcp_sum(nullptr, 0), 0xFFFF);
    // The odd last byte is the low byte: "\x01" sums to 1, not 256.
    EXPECT_EQ(tcp_sum(bytes_of("\x01"), 1), 0xFFFE);
    // Sums that leave 32 bits: 0xFFFF words past 128 KiB would wrap a 32-bit accumulator and lose the carries.
    for (std::size_t length : { 131072u, 131074u, 1u << 20, (1u << 20) + 1 }) {
        Buffer const ones(length, 0xFF);
        EXPECT_EQ(tcp_sum(ones.data(), length), reference_tcp_sum(ones)) << length;
        Buffer const mixed = pattern(length, 11);
        EXPECT_EQ(tcp_sum(mixed.data(), length), reference_tcp_sum(mixed)) << length;
    }
}

TEST(Digest, PublishedValues)
{
    struct Case {
        Method method;
        std::string_view input;
        std::string_view expected;
    };
    Case const cases[] = {
        { Method::Md5, "", "d41d8cd98f00b204e9800998ecf8427e" },
        { Method::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { Method::Sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709" },
        { Method::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d" },
        { Method::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" },
        { Method::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        { Method::Sha384, "",
            "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b" },
        { Method::Sha384, "abc",
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7" },
        { Method::Sha512, "",
            "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47"
            "417a81a538327af927da3e" },
        { Method::Sha512, "abc",
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d442364"
            "3ce80e2a9ac94fa54ca49f" },
    };
    for (Case const& c : cases) {
        std::uint8_t out[platform::crypto::largest_digest];
        ASSERT_EQ(digest(c.method, bytes_of(c.input), c.input.size(), out), Outcome::Done);
        EXPECT_EQ(hex(out, digest_size(c.method)), c.expected) << c.input;
    }
}

TEST(Hmac, PublishedValuesAndLongKeys)
{
    struct Case {
        Method method;
        Buffer key;
        std::string_view data;
        std::string_view expected;
    };
    Case const cases[] = {
        { Method::Md5, repeated(0x0B, 20), "Hi There", "5ccec34ea9656392457fa1ac27f08fbc" },
        { Method::Md5, text("Jefe"), "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738" },
        { Method::Md5, repeated(0xAA, 80), "Test Using Larger Than Block-Size Key - Hash Key First",
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd" },
        { Method::Md5, repeated(0xAA, 131), "Test Using Larger Than Block-Size Key - Hash Key First",
            "bfecaf4efff90a3a668f3922fec3762d" },
        { Method::Md5, text(""), "", "74e6f7298a9c2d168935f58c001bad88" },
        { Method::Sha1, repeated(0x0B, 20), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00" },
        { Method::Sha1, text("Jefe"), "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79" },
        { Method::Sha1, repeated(0xAA, 80), "Test Using Larger Than Block-Size Key - Hash Key First",
            "aa4ae5e15272d00e95705637ce8a3b55ed402112" },
        { Method::Sha1, repeated(0xAA, 131), "Test Using Larger Than Block-Size Key - Hash Key First",
            "90d0dace1c1bdc957339307803160335bde6df2b" },
        { Method::Sha1, text(""), "", "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d" },
        { Method::Sha256, repeated(0x0B, 20), "Hi There",
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7" },
        { Method::Sha256, text("Jefe"), "what do ya want for nothing?",
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843" },
        { Method::Sha256, repeated(0xAA, 80), "Test Using Larger Than Block-Size Key - Hash Key First",
            "6953025ed96f0c09f80a96f78e6538dbe2e7b820e3dd970e7ddd39091b32352f" },
        { Method::Sha256, repeated(0xAA, 131), "Test Using Larger Than Block-Size Key - Hash Key First",
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54" },
        { Method::Sha256, text(""), "", "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad" },
        { Method::Sha384, repeated(0x0B, 20), "Hi There",
            "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6" },
        { Method::Sha384, text("Jefe"), "what do ya want for nothing?",
            "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649" },
        { Method::Sha384, repeated(0xAA, 80), "Test Using Larger Than Block-Size Key - Hash Key First",
            "69d2e2f55de9f09878f04d23d8670d49cb734825cdb9cd9e72e446171a43540b90e17cf086e6fa3a599382a286c61340" },
        { Method::Sha384, repeated(0xAA, 131), "Test Using Larger Than Block-Size Key - Hash Key First",
            "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952" },
        { Method::Sha384, text(""), "",
            "6c1f2ee938fad2e24bd91298474382ca218c75db3d83e114b3d4367776d14d3551289e75e8209cd4b792302840234adc" },
        { Method::Sha512, repeated(0x0B, 20), "Hi There",
            "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914eeb"
            "61f1702e696c203a126854" },
        { Method::Sha512, text("Jefe"), "what do ya want for nothing?",
            "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d"
            "4a6b4b636e070a38bce737" },
        { Method::Sha512, repeated(0xAA, 80), "Test Using Larger Than Block-Size Key - Hash Key First",
            "132c9ebc32531071f6c4d9e8842291e9403e5940f813170a3ba3a0dd6c055c8b8ca587b24c56c47f3c1f2fb8ee8f9fbc8d92deed0f"
            "83426be3e8a2e9056778b3" },
        { Method::Sha512, repeated(0xAA, 131), "Test Using Larger Than Block-Size Key - Hash Key First",
            "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f73f6"
            "3f0aec8b915a985d786598" },
        { Method::Sha512, text(""), "",
            "b936cee86c9f87aa5d3c6f2e84cb5a4239a5fe50480a6ec66b70ab5b1f4ac6730c6c515421b327ec1d69402e53dfb49ad7381eb067"
            "b338fd7b0cb22247225d47" },
    };
    for (Case const& c : cases) {
        std::uint8_t out[platform::crypto::largest_digest];
        ASSERT_EQ(hmac(c.method, bytes_of(c.data), c.data.size(), c.key.data(), c.key.size(), out), Outcome::Done);
        EXPECT_EQ(hex(out, digest_size(c.method)), c.expected) << c.key.size();
        // A key longer than the block gives the same HMAC as its digest used as the key.
        if (c.key.size() > block_size(c.method)) {
            std::uint8_t hashed[platform::crypto::largest_digest];
            ASSERT_EQ(digest(c.method, c.key.data(), c.key.size(), hashed), Outcome::Done);
            std::uint8_t again[platform::crypto::largest_digest];
            ASSERT_EQ(
                hmac(c.method, bytes_of(c.data), c.data.size(), hashed, digest_size(c.method), again), Outcome::Done);
            EXPECT_EQ(hex(again, digest_size(c.method)), c.expected);
        }
    }
}

}
}
