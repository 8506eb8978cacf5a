// Our BMP codec. Reads the core, INFO, V2 to V5 headers at 1, 4, 8, 16, 24 and 32 bits a pixel, uncompressed,
// with bit fields or RLE4/RLE8, bottom-up and top-down; writes 32 bits a pixel with an alpha mask. Every read
// is checked against the end of the bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "datatypes/image/codecs.h"

namespace xol::bmp {

image_codecs::DecodeStatus decode(std::span<std::uint8_t const> bytes, image_codecs::PixelSink, void* context);
void encode(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output);

}
