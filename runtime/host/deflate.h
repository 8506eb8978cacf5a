// DEFLATE, zlib and gzip: a small one-pass compressor (first match taken, one block of fixed Huffman
// codes) and an inflater for every block type, in three framings. Each operation works on a caller's
// buffer: on entry `*length` holds the output capacity, on return the bytes produced or, when they did not
// fit, the bytes needed. Output past the capacity is never written, only counted. Nothing here allocates
// series; the growing form (decode) owns its vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace xol::compress {

// The codes every operation answers.
enum Result : int {
    done = 0,
    too_small = 1, // `*length` holds the size needed
    bad_data = 2, // framing, header, table, checksum or size test failed, or the data ends early
    stored_past_end = 3,
    bad_block_type = 4,
    distance_too_far = 5, // a match reaches before the first byte of the output
};

enum class Framing { Deflate, Zlib, Gzip };

// Writers. deflate writes raw DEFLATE; zlib adds the header 78 01 and the Adler-32 of the input;
// gzip adds a 10-byte header and the CRC-32 and size of the input, and hands back an input that is
// already gzip data (1F 8B 08 ...) unchanged.
int deflate(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);
int zlib(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);
int gzip(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);

// Readers. A null `out` with a capacity of 0 is a sizing run: the result is 1 and `*length` the size.
int inflate(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);
int unzlib(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);
int gunzip(std::uint8_t* out, std::uint32_t* length, std::uint8_t const* in, std::uint32_t in_length);

// The size a writer needs at most for `in_length` bytes, framing included: every byte costs at most 9 bits.
std::size_t bound(std::size_t in_length);

// Decodes the whole input of the framing into `out` (replacing its content) in one pass, growing it as
// the output comes; `expected` (0 for none) sizes the first allocation. Answers the codes of the readers
// (never too_small); output beyond 4 GiB - 1 bytes is bad_data, as the readers' lengths cannot carry it.
int decode(Framing, std::span<std::uint8_t const> in, std::vector<std::uint8_t>& out, std::size_t expected = 0);

}
