// Image file formats through the system's codec libraries, each loaded on its first use so that start-up
// pays for none of them. Pixels are 32-bit words A << 24 | R << 16 | G << 8 | B with straight alpha, rows
// top to bottom without padding. No library prints or ends the process: failures come back as results.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace xol::platform::image_codecs {

enum class Format : std::uint8_t { Bmp = 0, Png = 1, Gif = 2, Jpeg = 3, Tiff = 4 };

// Called once the size is known: answers room for width x height pixels, or nullptr to refuse the size.
using PixelSink = std::uint32_t* (*)(void* context, std::uint32_t width, std::uint32_t height);

enum class DecodeStatus : std::uint8_t {
    Decoded,
    Corrupt, // the bytes do not decode
    Refused, // the sink refused the size
    Unavailable, // no library serves the format
};

// Decodes the first image of a PNG, JPEG, GIF or TIFF file held in memory into the sink's pixels.
DecodeStatus decode(Format, std::span<std::uint8_t const> bytes, PixelSink, void* context);

// Encodes the pixels as PNG, JPEG, GIF or TIFF; false when the library is missing or fails.
bool encode(
    Format, std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output);

}
