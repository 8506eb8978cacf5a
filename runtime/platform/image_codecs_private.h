// What the codec files share: loading a library on first use, and each format's entries.
#pragma once

#include "runtime/platform/image_codecs.h"
#include "runtime/platform/shared_library.h"

namespace xol::platform::image_codecs::detail {

DecodeStatus decode_png(std::span<std::uint8_t const>, PixelSink, void* context);
bool encode_png(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>&);
DecodeStatus decode_jpeg(std::span<std::uint8_t const>, PixelSink, void* context);
bool encode_jpeg(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>&);
DecodeStatus decode_gif(std::span<std::uint8_t const>, PixelSink, void* context);
bool encode_gif(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>&);
DecodeStatus decode_tiff(std::span<std::uint8_t const>, PixelSink, void* context);
bool encode_tiff(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>&);

}
