// Checksums over plain memory: CRC-32 (the IEEE 802.3 one of zlib and gzip), Adler-32 (of zlib streams),
// the 16-bit ones'-complement "tcp" sum, and the digests and keyed digests (HMAC) of the system's crypto
// library. Nothing here allocates series: each works on bytes the caller holds still.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/platform/crypto.h"

namespace xol::checksums {

// The CRC-32 of the bytes. `previous` is the CRC-32 of the bytes before them (0 for none), so a long
// input may come in pieces.
std::uint32_t crc32(std::uint8_t const* bytes, std::size_t length, std::uint32_t previous = 0);

// The Adler-32 of the bytes; `previous` as for crc32 (1 for none).
std::uint32_t adler32(std::uint8_t const* bytes, std::size_t length, std::uint32_t previous = 1);

// The bytes as big-endian 16-bit words (an odd last byte added as it is, as the low byte), summed with
// the carries folded back in, complemented. The sum is kept in 64 bits so that no carry is lost however
// long the input.
std::uint16_t tcp_sum(std::uint8_t const* bytes, std::size_t length);

using platform::crypto::digest_size;
using platform::crypto::Method;
using platform::crypto::Outcome;

// The bytes of each block the method's compression function takes: the HMAC pad length.
std::size_t block_size(Method);

// The digest of the bytes into `out` (digest_size bytes).
Outcome digest(Method, std::uint8_t const* bytes, std::size_t length, std::uint8_t* out);

// The HMAC of the data under the key into `out` (digest_size bytes). A key longer than the block is
// replaced by its digest first.
Outcome hmac(Method, std::uint8_t const* data, std::size_t length, std::uint8_t const* key, std::size_t key_length,
    std::uint8_t* out);

}
