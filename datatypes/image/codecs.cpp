// Signature detection and the choice of codec by format.

#include "datatypes/image/codecs.h"

#include <cstring>

#include "datatypes/image/bmp.h"

namespace xol::image_codecs {

namespace {

bool starts_with(std::span<std::uint8_t const> bytes, std::initializer_list<std::uint8_t> signature)
{
    return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.begin(), signature.size()) == 0;
}

}

std::optional<Format> detect(std::span<std::uint8_t const> bytes)
{
    if (starts_with(bytes, { 0x89, 'P', 'N', 'G' })) return Format::Png;
    if (starts_with(bytes, { 0xFF, 0xD8, 0xFF })) return Format::Jpeg;
    if (starts_with(bytes, { 'B', 'M' })) return Format::Bmp;
    if (starts_with(bytes, { 'G', 'I', 'F', '8', '7', 'a' }) || starts_with(bytes, { 'G', 'I', 'F', '8', '9', 'a' }))
        return Format::Gif;
    if (starts_with(bytes, { 'I', 'I', '*', 0 }) || starts_with(bytes, { 'M', 'M', 0, '*' })) return Format::Tiff;
    return std::nullopt;
}

DecodeStatus decode(Format format, std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    if (format == Format::Bmp) return bmp::decode(bytes, sink, context);
    return platform::image_codecs::decode(format, bytes, sink, context);
}

bool encode(Format format, std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height,
    std::vector<std::uint8_t>& output)
{
    if (format == Format::Bmp) {
        bmp::encode(pixels, width, height, output);
        return true;
    }
    return platform::image_codecs::encode(format, pixels, width, height, output);
}

}
