// TIFF through libtiff over memory, first page. 8-bit contiguous RGB and RGBA strips are read as they are
// (exactly); every other layout goes through the library's RGBA reader, whose premultiplied colours are
// turned back into straight ones. Encoding writes 8-bit RGBA with unassociated alpha, LZW-compressed. The
// library's message handlers are switched off: it never prints.

#include <algorithm>
#include <cstring>

#include <tiffio.h>

#include "runtime/platform/image_codecs_private.h"

namespace xol::platform::image_codecs::detail {

namespace {

struct TiffLibrary {
    bool tried = false;
    bool loaded = false;
    decltype(&TIFFClientOpen) client_open = nullptr;
    decltype(&TIFFClose) close = nullptr;
    decltype(&TIFFGetField) get_field = nullptr;
    decltype(&TIFFGetFieldDefaulted) get_field_defaulted = nullptr;
    decltype(&TIFFSetField) set_field = nullptr;
    decltype(&TIFFIsTiled) is_tiled = nullptr;
    decltype(&TIFFScanlineSize) scanline_size = nullptr;
    decltype(&TIFFReadScanline) read_scanline = nullptr;
    decltype(&TIFFWriteScanline) write_scanline = nullptr;
    decltype(&TIFFReadRGBAImageOriented) read_rgba = nullptr;
    decltype(&TIFFSetErrorHandler) set_error_handler = nullptr;
    decltype(&TIFFSetWarningHandler) set_warning_handler = nullptr;
    decltype(&TIFFDefaultStripSize) default_strip_size = nullptr;
};
TiffLibrary tiff_library;

TiffLibrary const& tiff()
{
    TiffLibrary& library = tiff_library;
    if (library.tried) return library;
    library.tried = true;
    void* handle = open_shared_library("libtiff.so.6");
    if (!handle) return library;
    library.loaded = look_up(handle, "TIFFClientOpen", library.client_open)
        && look_up(handle, "TIFFClose", library.close) && look_up(handle, "TIFFGetField", library.get_field)
        && look_up(handle, "TIFFGetFieldDefaulted", library.get_field_defaulted)
        && look_up(handle, "TIFFSetField", library.set_field) && look_up(handle, "TIFFIsTiled", library.is_tiled)
        && look_up(handle, "TIFFScanlineSize", library.scanline_size)
        && look_up(handle, "TIFFReadScanline", library.read_scanline)
        && look_up(handle, "TIFFWriteScanline", library.write_scanline)
        && look_up(handle, "TIFFReadRGBAImageOriented", library.read_rgba)
        && look_up(handle, "TIFFSetErrorHandler", library.set_error_handler)
        && look_up(handle, "TIFFSetWarningHandler", library.set_warning_handler)
        && look_up(handle, "TIFFDefaultStripSize", library.default_strip_size);
    if (library.loaded) {
        library.set_error_handler(nullptr);
        library.set_warning_handler(nullptr);
    }
    return library;
}

// A file in memory: reading from a span, or writing into a growing vector; seeks may go past the end.
struct MemoryFile {
    std::span<std::uint8_t const> input;
    std::vector<std::uint8_t>* output = nullptr;
    std::uint64_t at = 0;

    std::uint64_t size() const { return output ? output->size() : input.size(); }
};

tmsize_t read_proc(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (count <= 0 || file->at >= file->size()) return 0;
    std::uint64_t const taken = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), file->size() - file->at);
    std::uint8_t const* data = file->output ? file->output->data() : file->input.data();
    std::memcpy(buffer, data + file->at, taken);
    file->at += taken;
    return static_cast<tmsize_t>(taken);
}

tmsize_t write_proc(thandle_t handle, void* buffer, tmsize_t count)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (!file->output || count < 0) return -1;
    auto const length = static_cast<std::uint64_t>(count);
    if (file->at + length > file->output->size()) file->output->resize(file->at + length);
    std::memcpy(file->output->data() + file->at, buffer, length);
    file->at += length;
    return count;
}

toff_t seek_proc(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = file->at;
    if (whence == SEEK_END) base = file->size();
    std::uint64_t const target = base + offset;
    // Far seeks are refused: no valid file places data beyond a few gigabytes.
    if (target < base || target > (std::uint64_t { 1 } << 40)) return static_cast<toff_t>(-1);
    file->at = target;
    return file->at;
}

int close_proc(thandle_t)
{
    return 0;
}

toff_t size_proc(thandle_t handle)
{
    return static_cast<MemoryFile*>(handle)->size();
}

int map_proc(thandle_t, void**, toff_t*)
{
    return 0;
}

void unmap_proc(thandle_t, void*, toff_t) { }

TIFF* open_memory(TiffLibrary const& library, MemoryFile& file, char const* mode)
{
    return library.client_open(
        "memory", mode, &file, read_proc, write_proc, seek_proc, close_proc, size_proc, map_proc, unmap_proc);
}

struct CloseGuard {
    TiffLibrary const& library;
    TIFF* file;
    ~CloseGuard()
    {
        if (file) library.close(file);
    }
};

std::uint32_t unpremultiplied(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha)
{
    if (alpha == 0) return 0;
    auto const straight
        = [alpha](std::uint32_t value) { return std::min<std::uint32_t>(255, (value * 255 + alpha / 2) / alpha); };
    return alpha << 24 | straight(red) << 16 | straight(green) << 8 | straight(blue);
}

}

DecodeStatus decode_tiff(std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    TiffLibrary const& library = tiff();
    if (!library.loaded) return DecodeStatus::Unavailable;
    MemoryFile memory { bytes };
    CloseGuard guard { library, open_memory(library, memory, "rm") };
    TIFF* file = guard.file;
    if (!file) return DecodeStatus::Corrupt;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!library.get_field(file, TIFFTAG_IMAGEWIDTH, &width) || !library.get_field(file, TIFFTAG_IMAGELENGTH, &height))
        return DecodeStatus::Corrupt;
    if (width == 0 || height == 0) return DecodeStatus::Corrupt;
    std::uint16_t bits = 0, samples = 0, planar = 0, photometric = 0, extra_count = 0;
    std::uint16_t* extra_kinds = nullptr;
    library.get_field_defaulted(file, TIFFTAG_BITSPERSAMPLE, &bits);
    library.get_field_defaulted(file, TIFFTAG_SAMPLESPERPIXEL, &samples);
    library.get_field_defaulted(file, TIFFTAG_PLANARCONFIG, &planar);
    library.get_field(file, TIFFTAG_PHOTOMETRIC, &photometric);
    library.get_field_defaulted(file, TIFFTAG_EXTRASAMPLES, &extra_count, &extra_kinds);
    bool const associated = extra_count > 0 && extra_kinds && extra_kinds[0] == EXTRASAMPLE_ASSOCALPHA;
    std::uint32_t* pixels = sink(context, width, height);
    if (!pixels) return DecodeStatus::Refused;

    bool const direct = bits == 8 && planar == PLANARCONFIG_CONTIG && photometric == PHOTOMETRIC_RGB
        && (samples == 3 || samples == 4) && !library.is_tiled(file)
        && library.scanline_size(file) == static_cast<tmsize_t>(std::uint64_t { width } * samples);
    if (direct) {
        std::vector<std::uint8_t> row(std::size_t { width } * samples);
        for (std::uint32_t y = 0; y < height; ++y) {
            if (library.read_scanline(file, row.data(), y, 0) < 0) return DecodeStatus::Corrupt;
            std::uint32_t* out = pixels + std::size_t { y } * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint8_t const* sample = row.data() + std::size_t { x } * samples;
                std::uint32_t const alpha = samples == 4 ? sample[3] : 255;
                out[x] = associated
                    ? unpremultiplied(sample[0], sample[1], sample[2], alpha)
                    : alpha << 24 | std::uint32_t { sample[0] } << 16 | std::uint32_t { sample[1] } << 8 | sample[2];
            }
        }
        return DecodeStatus::Decoded;
    }
    // The RGBA reader answers words R | G << 8 | B << 16 | A << 24, with the colours premultiplied.
    if (!library.read_rgba(file, width, height, pixels, ORIENTATION_TOPLEFT, 0)) return DecodeStatus::Corrupt;
    for (std::uint64_t i = 0, n = std::uint64_t { width } * height; i < n; ++i) {
        std::uint32_t const word = pixels[i];
        pixels[i] = unpremultiplied(word & 255, word >> 8 & 255, word >> 16 & 255, word >> 24);
    }
    return DecodeStatus::Decoded;
}

bool encode_tiff(
    std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output)
{
    TiffLibrary const& library = tiff();
    if (!library.loaded) return false;
    output.clear();
    MemoryFile memory {};
    memory.output = &output;
    bool ok = true;
    {
        CloseGuard guard { library, open_memory(library, memory, "w") };
        TIFF* file = guard.file;
        if (!file) return false;
        std::uint16_t const extra[1] = { EXTRASAMPLE_UNASSALPHA };
        ok = library.set_field(file, TIFFTAG_IMAGEWIDTH, width) && library.set_field(file, TIFFTAG_IMAGELENGTH, height)
            && library.set_field(file, TIFFTAG_BITSPERSAMPLE, 8) && library.set_field(file, TIFFTAG_SAMPLESPERPIXEL, 4)
            && library.set_field(file, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB)
            && library.set_field(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
            && library.set_field(file, TIFFTAG_EXTRASAMPLES, 1, extra)
            && library.set_field(file, TIFFTAG_COMPRESSION, COMPRESSION_LZW)
            && library.set_field(file, TIFFTAG_ROWSPERSTRIP, library.default_strip_size(file, 0));
        std::vector<std::uint8_t> row(std::size_t { width } * 4);
        for (std::uint32_t y = 0; ok && y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint32_t const pixel = pixels[std::size_t { y } * width + x];
                row[4 * x] = static_cast<std::uint8_t>(pixel >> 16);
                row[4 * x + 1] = static_cast<std::uint8_t>(pixel >> 8);
                row[4 * x + 2] = static_cast<std::uint8_t>(pixel);
                row[4 * x + 3] = static_cast<std::uint8_t>(pixel >> 24);
            }
            ok = library.write_scanline(file, row.data(), y, 0) >= 0;
        }
    }
    return ok && !output.empty();
}

}
