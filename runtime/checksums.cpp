// CRC-32 runs eight bytes per step through eight tables (each entry the CRC of a byte followed by k zero
// bytes), and long inputs go first through the processor's carry-less multiply when it has one. Adler-32
// defers the modulo to every 5552 bytes, the most that cannot overflow 32 bits.

#include "runtime/checksums.h"

#include <array>
#include <bit>
#include <cstring>

#include "runtime/platform/crc32_folding.h"

namespace xol::checksums {

namespace {

using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables()
{
    CrcTables tables {};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int round = 0; round < 8; ++round) crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0);
        tables[0][byte] = crc;
    }
    for (std::uint32_t byte = 0; byte < 256; ++byte)
        for (std::size_t k = 1; k < 8; ++k)
            tables[k][byte] = (tables[k - 1][byte] >> 8) ^ tables[0][tables[k - 1][byte] & 0xFF];
    return tables;
}

constexpr CrcTables crc_tables = make_crc_tables();

// The running register (inverted) over the bytes.
std::uint32_t crc_register(std::uint32_t crc, std::uint8_t const* bytes, std::size_t length)
{
    while (length >= 8) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, bytes, 4);
        std::memcpy(&high, bytes + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            low = __builtin_bswap32(low);
            high = __builtin_bswap32(high);
        }
        low ^= crc;
        crc = crc_tables[7][low & 0xFF] ^ crc_tables[6][(low >> 8) & 0xFF] ^ crc_tables[5][(low >> 16) & 0xFF]
            ^ crc_tables[4][low >> 24] ^ crc_tables[3][high & 0xFF] ^ crc_tables[2][(high >> 8) & 0xFF]
            ^ crc_tables[1][(high >> 16) & 0xFF] ^ crc_tables[0][high >> 24];
        bytes += 8;
        length -= 8;
    }
    for (std::size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ crc_tables[0][(crc ^ bytes[i]) & 0xFF];
    return crc;
}

// Below this the tables are as quick as setting up the folding.
constexpr std::size_t folding_threshold = 256;

constexpr std::uint32_t adler_modulus = 65521;
constexpr std::size_t adler_block = 5552;

}

std::uint32_t crc32(std::uint8_t const* bytes, std::size_t length, std::uint32_t previous)
{
    std::uint32_t crc = ~previous;
    if (length >= folding_threshold && platform::crc32_folding_available()) {
        std::size_t const folded = length & ~std::size_t { 63 };
        std::uint8_t remainder[16];
        platform::crc32_fold(crc, bytes, folded, remainder);
        crc = crc_register(0, remainder, sizeof remainder);
        bytes += folded;
        length -= folded;
    }
    return ~crc_register(crc, bytes, length);
}

std::uint32_t adler32(std::uint8_t const* bytes, std::size_t length, std::uint32_t previous)
{
    std::uint32_t a = previous & 0xFFFF;
    std::uint32_t b = previous >> 16;
    while (length > 0) {
        std::size_t const block = length < adler_block ? length : adler_block;
        for (std::size_t i = 0; i < block; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= adler_modulus;
        b %= adler_modulus;
        bytes += block;
        length -= block;
    }
    return (b << 16) | a;
}

std::uint16_t tcp_sum(std::uint8_t const* bytes, std::size_t length)
{
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < length; i += 2) sum += (std::uint64_t { bytes[i] } << 8) | bytes[i + 1];
    if (i < length) sum += bytes[i];
    while ((sum >> 16) != 0) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::size_t block_size(Method method)
{
    return method == Method::Sha384 || method == Method::Sha512 ? 128 : 64;
}

Outcome digest(Method method, std::uint8_t const* bytes, std::size_t length, std::uint8_t* out)
{
    platform::crypto::Bytes const part { bytes, length };
    return platform::crypto::digest(method, { &part, 1 }, out);
}

Outcome hmac(Method method, std::uint8_t const* data, std::size_t length, std::uint8_t const* key,
    std::size_t key_length, std::uint8_t* out)
{
    std::size_t const block = block_size(method);
    std::uint8_t hashed_key[platform::crypto::largest_digest];
    if (key_length > block) {
        Outcome const outcome = digest(method, key, key_length, hashed_key);
        if (outcome != Outcome::Done) return outcome;
        key = hashed_key;
        key_length = digest_size(method);
    }
    std::uint8_t inner_pad[128] = {};
    std::uint8_t outer_pad[128] = {};
    if (key_length > 0) {
        std::memcpy(inner_pad, key, key_length);
        std::memcpy(outer_pad, key, key_length);
    }
    for (std::size_t i = 0; i < block; ++i) {
        inner_pad[i] ^= 0x36;
        outer_pad[i] ^= 0x5C;
    }
    // The pads and the data go to the digest as parts: nothing is concatenated.
    std::uint8_t inner[platform::crypto::largest_digest];
    platform::crypto::Bytes const inner_parts[] = { { inner_pad, block }, { data, length } };
    Outcome const outcome = platform::crypto::digest(method, inner_parts, inner);
    if (outcome != Outcome::Done) return outcome;
    platform::crypto::Bytes const outer_parts[] = { { outer_pad, block }, { inner, digest_size(method) } };
    return platform::crypto::digest(method, outer_parts, out);
}

}
