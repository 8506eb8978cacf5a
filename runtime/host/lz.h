// The block compressor: the system's own LZ77 format, in which the boot image's body may be stored.
// Container: payload size P and content size U (32-bit little-endian), then blocks of P bytes in all.
// Block: the count N (1 to 1 MiB) of bytes it yields, then a bit stream (low bit of each byte first) of
// items: 0 and an 8-bit literal, or 1, a length code and a distance code; a match copies length + 3 bytes
// from d + 1 bytes back within the block. The stream ends on a byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace xol::lz {

inline constexpr std::uint32_t largest_block = 0x100000;

// The content of a container that takes up `container` or a prefix of it, or nothing when it is corrupt:
// a payload past the end, a content size the payload cannot yield, a bad block size, a match that
// reaches before its block or past its end, output beyond U + 8 bytes, bits past the payload.
std::optional<std::vector<std::uint8_t>> decompress(std::span<std::uint8_t const> container);

// Writes the container of `in` to `out` (room for in.size() bytes) and answers its size (8 + P), or -1
// when the input is shorter than 128 bytes or the container would not fit in in.size() bytes: the caller
// then keeps the data as it is.
std::int64_t compress(std::span<std::uint8_t const> in, std::uint8_t* out);

}
