// GIF through giflib over memory. Decoding: the first frame placed on the logical screen, the pixels it does
// not cover transparent, transparency from its graphic control block, interlaced rows put in their places.
// Encoding: the exact palette when the opaque colours number 256 at most (one entry fewer when some pixel is
// transparent, an opacity below 128), else the nearest of a 6 x 7 x 6 colour cube.

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include <gif_lib.h>

#include "runtime/platform/image_codecs_private.h"

namespace xol::platform::image_codecs::detail {

namespace {

struct GifLibrary {
    bool tried = false;
    bool loaded = false;
    decltype(&DGifOpen) open_read = nullptr;
    decltype(&DGifCloseFile) close_read = nullptr;
    decltype(&DGifGetRecordType) record_type = nullptr;
    decltype(&DGifGetImageDesc) image_desc = nullptr;
    decltype(&DGifGetLine) line = nullptr;
    decltype(&DGifGetExtension) extension = nullptr;
    decltype(&DGifGetExtensionNext) extension_next = nullptr;
    decltype(&EGifOpen) open_write = nullptr;
    decltype(&EGifCloseFile) close_write = nullptr;
    decltype(&EGifSetGifVersion) set_version = nullptr;
    decltype(&EGifPutScreenDesc) put_screen = nullptr;
    decltype(&EGifPutExtension) put_extension = nullptr;
    decltype(&EGifPutImageDesc) put_image = nullptr;
    decltype(&EGifPutLine) put_line = nullptr;
    decltype(&GifMakeMapObject) make_map = nullptr;
    decltype(&GifFreeMapObject) free_map = nullptr;
};
GifLibrary gif_library;

GifLibrary const& gif()
{
    GifLibrary& library = gif_library;
    if (library.tried) return library;
    library.tried = true;
    void* handle = open_shared_library("libgif.so.7");
    if (!handle) return library;
    library.loaded = look_up(handle, "DGifOpen", library.open_read)
        && look_up(handle, "DGifCloseFile", library.close_read)
        && look_up(handle, "DGifGetRecordType", library.record_type)
        && look_up(handle, "DGifGetImageDesc", library.image_desc) && look_up(handle, "DGifGetLine", library.line)
        && look_up(handle, "DGifGetExtension", library.extension)
        && look_up(handle, "DGifGetExtensionNext", library.extension_next)
        && look_up(handle, "EGifOpen", library.open_write) && look_up(handle, "EGifCloseFile", library.close_write)
        && look_up(handle, "EGifSetGifVersion", library.set_version)
        && look_up(handle, "EGifPutScreenDesc", library.put_screen)
        && look_up(handle, "EGifPutExtension", library.put_extension)
        && look_up(handle, "EGifPutImageDesc", library.put_image) && look_up(handle, "EGifPutLine", library.put_line)
        && look_up(handle, "GifMakeMapObject", library.make_map)
        && look_up(handle, "GifFreeMapObject", library.free_map);
    return library;
}

struct MemoryInput {
    std::span<std::uint8_t const> bytes;
    std::size_t at = 0;
};

int read_memory(GifFileType* file, GifByteType* buffer, int count)
{
    auto* input = static_cast<MemoryInput*>(file->UserData);
    if (count <= 0) return 0;
    std::size_t const taken = std::min<std::size_t>(static_cast<std::size_t>(count), input->bytes.size() - input->at);
    std::memcpy(buffer, input->bytes.data() + input->at, taken);
    input->at += taken;
    return static_cast<int>(taken);
}

int write_memory(GifFileType* file, GifByteType const* buffer, int count)
{
    auto* output = static_cast<std::vector<std::uint8_t>*>(file->UserData);
    output->insert(output->end(), buffer, buffer + count);
    return count;
}

// Closes the reader however decoding ends.
struct ReadGuard {
    GifLibrary const& library;
    GifFileType* file;
    ~ReadGuard()
    {
        int error = 0;
        if (file) library.close_read(file, &error);
    }
};

DecodeStatus first_frame(GifLibrary const& library, GifFileType* file, PixelSink sink, void* context)
{
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (library.record_type(file, &type) == GIF_ERROR) return DecodeStatus::Corrupt;
        if (type == TERMINATE_RECORD_TYPE) return DecodeStatus::Corrupt; // no frame at all
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (library.extension(file, &code, &block) == GIF_ERROR) return DecodeStatus::Corrupt;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = (block[1] & 1) ? block[4] : -1;
            while (block) {
                if (library.extension_next(file, &block) == GIF_ERROR) return DecodeStatus::Corrupt;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (library.image_desc(file) == GIF_ERROR) return DecodeStatus::Corrupt;
        break;
    }
    GifImageDesc const& frame = file->Image;
    if (file->SWidth <= 0 || file->SHeight <= 0 || frame.Width <= 0 || frame.Height <= 0) return DecodeStatus::Corrupt;
    ColorMapObject const* map = frame.ColorMap ? frame.ColorMap : file->SColorMap;
    if (!map) return DecodeStatus::Corrupt;
    auto const screen_width = static_cast<std::uint32_t>(file->SWidth);
    auto const screen_height = static_cast<std::uint32_t>(file->SHeight);
    std::uint32_t* pixels = sink(context, screen_width, screen_height);
    if (!pixels) return DecodeStatus::Refused;
    std::fill(pixels, pixels + std::size_t { screen_width } * screen_height, 0u);
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    static constexpr int pass_start[] = { 0, 4, 2, 1 };
    static constexpr int pass_step[] = { 8, 8, 4, 2 };
    int const passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int const start = frame.Interlace ? pass_start[pass] : 0;
        int const step = frame.Interlace ? pass_step[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (library.line(file, line.data(), frame.Width) == GIF_ERROR) return DecodeStatus::Corrupt;
            std::int64_t const y = std::int64_t { frame.Top } + row;
            if (y < 0 || y >= screen_height) continue;
            std::uint32_t* out = pixels + static_cast<std::size_t>(y) * screen_width;
            for (int column = 0; column < frame.Width; ++column) {
                std::int64_t const x = std::int64_t { frame.Left } + column;
                if (x < 0 || x >= screen_width) continue;
                int const index = line[static_cast<std::size_t>(column)];
                if (index == transparent || index >= map->ColorCount) continue;
                GifColorType const colour = map->Colors[index];
                out[x] = 0xFF000000 | std::uint32_t { colour.Red } << 16 | std::uint32_t { colour.Green } << 8
                    | colour.Blue;
            }
        }
    }
    return DecodeStatus::Decoded;
}

}

DecodeStatus decode_gif(std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    GifLibrary const& library = gif();
    if (!library.loaded) return DecodeStatus::Unavailable;
    MemoryInput input { bytes };
    int error = 0;
    ReadGuard guard { library, library.open_read(&input, read_memory, &error) };
    if (!guard.file) return DecodeStatus::Corrupt;
    return first_frame(library, guard.file, sink, context);
}

bool encode_gif(
    std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output)
{
    GifLibrary const& library = gif();
    if (!library.loaded) return false;
    std::size_t const count = std::size_t { width } * height;
    auto const transparent_pixel = [](std::uint32_t pixel) { return (pixel >> 24) < 128; };
    bool const any_transparent = std::any_of(pixels, pixels + count, transparent_pixel);
    std::size_t const room = any_transparent ? 255 : 256;
    // The exact palette, in order of first use, while it fits.
    std::unordered_map<std::uint32_t, std::uint8_t> exact;
    std::vector<std::uint32_t> colours;
    bool fits = true;
    for (std::size_t i = 0; i < count && fits; ++i) {
        if (transparent_pixel(pixels[i])) continue;
        std::uint32_t const colour = pixels[i] & 0xFFFFFF;
        if (exact.count(colour)) continue;
        if (colours.size() == room) {
            fits = false;
            break;
        }
        exact.emplace(colour, static_cast<std::uint8_t>(colours.size()));
        colours.push_back(colour);
    }
    if (!fits) {
        colours.clear();
        for (std::uint32_t red = 0; red < 6; ++red) {
            for (std::uint32_t green = 0; green < 7; ++green) {
                for (std::uint32_t blue = 0; blue < 6; ++blue)
                    colours.push_back(red * 51 << 16 | (green * 255 + 3) / 6 << 8 | blue * 51);
            }
        }
    }
    auto const transparent_index = static_cast<int>(colours.size());
    std::size_t entries = colours.size() + (any_transparent ? 1 : 0);
    int bits = 1;
    while ((std::size_t { 1 } << bits) < entries) ++bits;
    std::vector<GifColorType> table(std::size_t { 1 } << bits, GifColorType { 0, 0, 0 });
    for (std::size_t i = 0; i < colours.size(); ++i) {
        table[i] = GifColorType { static_cast<GifByteType>(colours[i] >> 16), static_cast<GifByteType>(colours[i] >> 8),
            static_cast<GifByteType>(colours[i]) };
    }
    auto const index_of = [&](std::uint32_t pixel) -> GifPixelType {
        if (transparent_pixel(pixel)) return static_cast<GifPixelType>(transparent_index);
        if (fits) return exact.at(pixel & 0xFFFFFF);
        std::uint32_t const red = ((pixel >> 16 & 255) * 5 + 127) / 255;
        std::uint32_t const green = ((pixel >> 8 & 255) * 6 + 127) / 255;
        std::uint32_t const blue = ((pixel & 255) * 5 + 127) / 255;
        return static_cast<GifPixelType>(red * 42 + green * 6 + blue);
    };

    output.clear();
    int error = 0;
    GifFileType* file = library.open_write(&output, write_memory, &error);
    if (!file) return false;
    ColorMapObject* map = library.make_map(1 << bits, table.data());
    bool ok = map != nullptr;
    library.set_version(file, true);
    ok = ok && library.put_screen(file, static_cast<int>(width), static_cast<int>(height), bits, 0, map) != GIF_ERROR;
    if (ok && any_transparent) {
        GifByteType const control[4] = { 1, 0, 0, static_cast<GifByteType>(transparent_index) };
        ok = library.put_extension(file, GRAPHICS_EXT_FUNC_CODE, 4, control) != GIF_ERROR;
    }
    ok = ok
        && library.put_image(file, 0, 0, static_cast<int>(width), static_cast<int>(height), false, nullptr)
            != GIF_ERROR;
    std::vector<GifPixelType> line(width);
    for (std::uint32_t y = 0; ok && y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) line[x] = index_of(pixels[std::size_t { y } * width + x]);
        ok = library.put_line(file, line.data(), static_cast<int>(width)) != GIF_ERROR;
    }
    if (library.close_write(file, &error) == GIF_ERROR) ok = false;
    if (map) library.free_map(map);
    return ok && !output.empty();
}

}
