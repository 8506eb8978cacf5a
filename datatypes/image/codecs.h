// The image file formats: signature detection, decoding from memory and encoding, over our own BMP codec
// and the platform's libraries for the others.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "runtime/platform/image_codecs.h"

namespace xol::image_codecs {

using platform::image_codecs::DecodeStatus;
using platform::image_codecs::Format;
using platform::image_codecs::PixelSink;

// The format whose signature the bytes start with; nothing for bytes too short to hold one.
std::optional<Format> detect(std::span<std::uint8_t const> bytes);

DecodeStatus decode(Format, std::span<std::uint8_t const> bytes, PixelSink, void* context);
bool encode(
    Format, std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output);

}
