// The codec libraries, reached through dlopen and dlsym on first use; each format has its own file.

#include "runtime/platform/image_codecs.h"

#include "runtime/platform/image_codecs_private.h"

namespace xol::platform::image_codecs {

DecodeStatus decode(Format format, std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    switch (format) {
    case Format::Png:
        return detail::decode_png(bytes, sink, context);
    case Format::Jpeg:
        return detail::decode_jpeg(bytes, sink, context);
    case Format::Gif:
        return detail::decode_gif(bytes, sink, context);
    case Format::Tiff:
        return detail::decode_tiff(bytes, sink, context);
    default:
        return DecodeStatus::Unavailable;
    }
}

bool encode(Format format, std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height,
    std::vector<std::uint8_t>& output)
{
    switch (format) {
    case Format::Png:
        return detail::encode_png(pixels, width, height, output);
    case Format::Jpeg:
        return detail::encode_jpeg(pixels, width, height, output);
    case Format::Gif:
        return detail::encode_gif(pixels, width, height, output);
    case Format::Tiff:
        return detail::encode_tiff(pixels, width, height, output);
    default:
        return false;
    }
}

}
