// JPEG through libjpeg-turbo: decoding straight to BGRA, CMYK and YCCK (Adobe's inverted form too) converted
// here; encoding at quality 90 with the alpha dropped. The library's error exit returns here by longjmp, so
// the functions that call it keep no object with a destructor alive across the calls.

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "runtime/platform/image_codecs_private.h"

namespace xol::platform::image_codecs::detail {

namespace {

struct JpegLibrary {
    bool tried = false;
    bool loaded = false;
    decltype(&jpeg_std_error) std_error = nullptr;
    decltype(&jpeg_CreateDecompress) create_decompress = nullptr;
    decltype(&jpeg_mem_src) mem_src = nullptr;
    decltype(&jpeg_read_header) read_header = nullptr;
    decltype(&jpeg_start_decompress) start_decompress = nullptr;
    decltype(&jpeg_read_scanlines) read_scanlines = nullptr;
    decltype(&jpeg_finish_decompress) finish_decompress = nullptr;
    decltype(&jpeg_destroy_decompress) destroy_decompress = nullptr;
    decltype(&jpeg_CreateCompress) create_compress = nullptr;
    decltype(&jpeg_mem_dest) mem_dest = nullptr;
    decltype(&jpeg_set_defaults) set_defaults = nullptr;
    decltype(&jpeg_set_quality) set_quality = nullptr;
    decltype(&jpeg_start_compress) start_compress = nullptr;
    decltype(&jpeg_write_scanlines) write_scanlines = nullptr;
    decltype(&jpeg_finish_compress) finish_compress = nullptr;
    decltype(&jpeg_destroy_compress) destroy_compress = nullptr;
};
JpegLibrary jpeg_library;

JpegLibrary const& jpeg()
{
    JpegLibrary& library = jpeg_library;
    if (library.tried) return library;
    library.tried = true;
    void* handle = open_shared_library("libjpeg.so.62");
    if (!handle) return library;
    library.loaded = look_up(handle, "jpeg_std_error", library.std_error)
        && look_up(handle, "jpeg_CreateDecompress", library.create_decompress)
        && look_up(handle, "jpeg_mem_src", library.mem_src) && look_up(handle, "jpeg_read_header", library.read_header)
        && look_up(handle, "jpeg_start_decompress", library.start_decompress)
        && look_up(handle, "jpeg_read_scanlines", library.read_scanlines)
        && look_up(handle, "jpeg_finish_decompress", library.finish_decompress)
        && look_up(handle, "jpeg_destroy_decompress", library.destroy_decompress)
        && look_up(handle, "jpeg_CreateCompress", library.create_compress)
        && look_up(handle, "jpeg_mem_dest", library.mem_dest)
        && look_up(handle, "jpeg_set_defaults", library.set_defaults)
        && look_up(handle, "jpeg_set_quality", library.set_quality)
        && look_up(handle, "jpeg_start_compress", library.start_compress)
        && look_up(handle, "jpeg_write_scanlines", library.write_scanlines)
        && look_up(handle, "jpeg_finish_compress", library.finish_compress)
        && look_up(handle, "jpeg_destroy_compress", library.destroy_compress);
    return library;
}

// The error manager: a failure jumps back to the caller's setjmp; messages are never printed.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf back;
};

[[noreturn]] void error_exit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->back, 1);
}

void emit_message(j_common_ptr, int) { }
void output_message(j_common_ptr) { }

void install(JpegLibrary const& library, ErrorManager& errors)
{
    library.std_error(&errors.base);
    errors.base.error_exit = error_exit;
    errors.base.emit_message = emit_message;
    errors.base.output_message = output_message;
}

// Rows as CMYK: Adobe's files store the inks inverted, which the plain formula then reads as is.
void cmyk_row(JSAMPLE const* row, std::uint32_t* out, std::uint32_t width, bool inverted)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint32_t c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = 0xFF000000 | (c * k + 127) / 255 << 16 | (m * k + 127) / 255 << 8 | (y * k + 127) / 255;
    }
}

// The decoding proper, with the state every step shares kept out of the jumped-over frame: `volatile` where
// a value changes between the setjmp and a jump.
DecodeStatus decode_rows(JpegLibrary const& library, jpeg_decompress_struct& info, ErrorManager& errors,
    std::span<std::uint8_t const> bytes, PixelSink sink, void* context, JSAMPLE* volatile& cmyk_line)
{
    if (setjmp(errors.back)) return DecodeStatus::Corrupt;
    library.create_decompress(&info, JPEG_LIB_VERSION, sizeof info);
    library.mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (library.read_header(&info, TRUE) != JPEG_HEADER_OK) return DecodeStatus::Corrupt;
    bool const four_inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = four_inks ? JCS_CMYK : JCS_EXT_BGRA;
    std::uint32_t* pixels = sink(context, info.image_width, info.image_height);
    if (!pixels) return DecodeStatus::Refused;
    library.start_decompress(&info);
    std::uint32_t const width = info.output_width;
    if (four_inks) {
        cmyk_line = static_cast<JSAMPLE*>(std::malloc(std::size_t { width } * 4));
        if (!cmyk_line) return DecodeStatus::Refused;
    }
    while (info.output_scanline < info.output_height) {
        std::uint32_t* out = pixels + std::size_t { info.output_scanline } * width;
        JSAMPROW row = four_inks ? cmyk_line : reinterpret_cast<JSAMPROW>(out);
        if (library.read_scanlines(&info, &row, 1) != 1) return DecodeStatus::Corrupt;
        if (four_inks) cmyk_row(cmyk_line, out, width, info.saw_Adobe_marker);
    }
    library.finish_decompress(&info);
    return DecodeStatus::Decoded;
}

bool encode_rows(JpegLibrary const& library, jpeg_compress_struct& info, ErrorManager& errors,
    std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, unsigned char** buffer, unsigned long* size)
{
    if (setjmp(errors.back)) return false;
    library.create_compress(&info, JPEG_LIB_VERSION, sizeof info);
    library.mem_dest(&info, buffer, size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX; // the alpha byte is skipped
    library.set_defaults(&info);
    library.set_quality(&info, 90, TRUE);
    library.start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        auto row = reinterpret_cast<JSAMPROW>(
            const_cast<std::uint32_t*>(pixels + std::size_t { info.next_scanline } * width));
        library.write_scanlines(&info, &row, 1);
    }
    library.finish_compress(&info);
    return true;
}

}

DecodeStatus decode_jpeg(std::span<std::uint8_t const> bytes, PixelSink sink, void* context)
{
    JpegLibrary const& library = jpeg();
    if (!library.loaded) return DecodeStatus::Unavailable;
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    install(library, errors);
    info.err = &errors.base;
    JSAMPLE* volatile cmyk_line = nullptr;
    DecodeStatus const status = decode_rows(library, info, errors, bytes, sink, context, cmyk_line);
    library.destroy_decompress(&info);
    std::free(cmyk_line);
    return status;
}

bool encode_jpeg(
    std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output)
{
    JpegLibrary const& library = jpeg();
    if (!library.loaded) return false;
    jpeg_compress_struct info {};
    ErrorManager errors {};
    install(library, errors);
    info.err = &errors.base;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool const encoded = encode_rows(library, info, errors, pixels, width, height, &buffer, &size);
    library.destroy_compress(&info);
    if (encoded) output.assign(buffer, buffer + size);
    std::free(buffer);
    return encoded && size > 0;
}

}
