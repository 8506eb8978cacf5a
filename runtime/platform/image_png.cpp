// PNG through libpng's simplified API, which converts every colour type, bit depth and transparency chunk
// to 8-bit BGRA itself.

#include <png.h>

#include "runtime/platform/image_codecs_private.h"

namespace xol::platform::image_codecs::detail {

namespace {

// The libpng entries, looked up once; `loaded` stays false when the library or an entry is missing.
struct PngLibrary {
    bool tried = false;
    bool loaded = false;
    decltype(&png_image_begin_read_from_memory) begin_read = nullptr;
    decltype(&png_image_finish_read) finish_read = nullptr;
    decltype(&png_image_free) free = nullptr;
    decltype(&png_image_write_to_memory) write_to_memory = nullptr;
};
PngLibrary png_library;

PngLibrary const& png()
{
    PngLibrary& library = png_library;
    if (library.tried) return library;
    library.tried = true;
    void* handle = open_shared_library("libpng16.so.16");
    if (!handle) return library;
    library.loaded = look_up(handle, "png_image_begin_read_from_memory", library.begin_read)
        && look_up(handle, "png_image_finish_read", library.finish_read)
        && look_up(handle, "png_image_free", library.free)
        && look_up(handle, "png_image_write_to_memory", library.write_to_memory);
    return library;
}

}

DecodeStatus decode_png(std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    PngLibrary const& library = png();
    if (!library.loaded) return DecodeStatus::Unavailable;
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (!library.begin_read(&image, bytes.data(), bytes.size())) {
        library.free(&image);
        return DecodeStatus::Corrupt;
    }
    image.format = PNG_FORMAT_BGRA;
    std::uint32_t* pixels = sink(context, image.width, image.height);
    if (!pixels) {
        library.free(&image);
        return DecodeStatus::Refused;
    }
    // finish_read frees the image's memory itself, on success and on failure.
    if (!library.finish_read(&image, nullptr, pixels, 0, nullptr)) return DecodeStatus::Corrupt;
    return DecodeStatus::Decoded;
}

bool encode_png(
    std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output)
{
    PngLibrary const& library = png();
    if (!library.loaded) return false;
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGRA;
    // One pass into room for the largest file these pixels can make: asking for the size first would
    // compress everything twice.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    output.resize(size);
    if (!library.write_to_memory(&image, output.data(), &size, 0, pixels, 0, nullptr)) return false;
    output.resize(size);
    return true;
}

}
