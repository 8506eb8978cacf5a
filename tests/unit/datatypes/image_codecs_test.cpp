// The image codecs below the datatype: signatures, round trips through each format, hand-made BMP layouts,
// and cut or damaged files, which must decode or fail quietly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "datatypes/image/codecs.h"

using namespace xol;
using image_codecs::DecodeStatus;
using image_codecs::Format;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Decoded {
    DecodeStatus status = DecodeStatus::Corrupt;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

// Sizes above this are refused, as the datatype refuses sides beyond 16 bits.
constexpr std::uint64_t most_pixels = 1 << 22;

std::uint32_t* give(void* context, std::uint32_t width, std::uint32_t height)
{
    auto* decoded = static_cast<Decoded*>(context);
    if (std::uint64_t { width } * height > most_pixels) return nullptr;
    decoded->width = width;
    decoded->height = height;
    decoded->pixels.assign(std::size_t { width } * height, 0xDEADBEEF);
    return decoded->pixels.data();
}

Decoded decode(Bytes const& bytes)
{
    Decoded decoded;
    auto const format = image_codecs::detect(bytes);
    if (!format) return decoded;
    decoded.status = image_codecs::decode(*format, bytes, give, &decoded);
    return decoded;
}

// A 7x5 picture with every kind of pixel: opaque colours, translucent ones, fully transparent ones.
std::vector<std::uint32_t> sample_pixels(bool opaque)
{
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t i = 0; i < 35; ++i) {
        std::uint32_t const alpha = opaque ? 255 : (i % 5 == 0 ? 0 : 255 - i * 7);
        std::uint32_t colour = (i * 37 % 256) << 16 | (i * 91 % 256) << 8 | (255 - i * 5);
        if (alpha == 0) colour = 0;
        pixels.push_back(alpha << 24 | colour);
    }
    return pixels;
}

Bytes encode(Format format, std::vector<std::uint32_t> const& pixels, std::uint32_t width, std::uint32_t height)
{
    Bytes bytes;
    EXPECT_TRUE(image_codecs::encode(format, pixels.data(), width, height, bytes)) << int(format);
    return bytes;
}

Bytes little_endian(std::initializer_list<std::pair<std::uint32_t, int>> fields)
{
    Bytes bytes;
    for (auto [value, size] : fields)
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return bytes;
}

// A BMP with an INFO header: the header fields, then `extra` (masks, palette) and the pixel bytes.
Bytes bmp(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t compression, Bytes const& extra,
    Bytes const& data, std::uint32_t colours_used = 0)
{
    std::uint32_t const offset = 54 + static_cast<std::uint32_t>(extra.size());
    Bytes file = little_endian({ { 'B' | 'M' << 8, 2 }, { offset + static_cast<std::uint32_t>(data.size()), 4 },
        { 0, 4 }, { offset, 4 }, { 40, 4 }, { static_cast<std::uint32_t>(width), 4 },
        { static_cast<std::uint32_t>(height), 4 }, { 1, 2 }, { bits, 2 }, { compression, 4 },
        { static_cast<std::uint32_t>(data.size()), 4 }, { 2835, 4 }, { 2835, 4 }, { colours_used, 4 }, { 0, 4 } });
    file.insert(file.end(), extra.begin(), extra.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

}

TEST(ImageCodecs, SignaturesNameTheFormatAndShortBytesNone)
{
    struct Case {
        Bytes bytes;
        std::optional<Format> format;
    };
    Case const cases[] = {
        { { 0x89, 'P', 'N', 'G', 13, 10 }, Format::Png },
        { { 0xFF, 0xD8, 0xFF }, Format::Jpeg },
        { { 'B', 'M' }, Format::Bmp },
        { { 'G', 'I', 'F', '8', '9', 'a' }, Format::Gif },
        { { 'G', 'I', 'F', '8', '7', 'a' }, Format::Gif },
        { { 'I', 'I', '*', 0 }, Format::Tiff },
        { { 'M', 'M', 0, '*' }, Format::Tiff },
        { { 'G', 'I', 'F', '8', '9' }, std::nullopt }, // one byte short
        { { 0xFF, 0xD8 }, std::nullopt },
        { { 'B' }, std::nullopt },
        { {}, std::nullopt },
        { { 'G', 'I', 'F', '8', '8', 'a' }, std::nullopt },
    };
    for (Case const& each : cases) EXPECT_EQ(image_codecs::detect(each.bytes), each.format);
}

// PNG, BMP and TIFF keep every pixel, alpha included; GIF keeps up to 256 opaque colours and transparency;
// JPEG comes back close.
TEST(ImageCodecs, EachFormatComesBackFromItsOwnEncoding)
{
    for (Format format : { Format::Png, Format::Bmp, Format::Tiff }) {
        std::vector<std::uint32_t> const pixels = sample_pixels(false);
        Decoded const decoded = decode(encode(format, pixels, 7, 5));
        ASSERT_EQ(decoded.status, DecodeStatus::Decoded) << int(format);
        EXPECT_EQ(decoded.width, 7u);
        EXPECT_EQ(decoded.height, 5u);
        EXPECT_EQ(decoded.pixels, pixels) << int(format);
    }
    {
        std::vector<std::uint32_t> pixels = sample_pixels(true);
        pixels[3] = 0; // a transparent pixel
        Decoded const decoded = decode(encode(Format::Gif, pixels, 7, 5));
        ASSERT_EQ(decoded.status, DecodeStatus::Decoded);
        EXPECT_EQ(decoded.pixels[3] >> 24, 0u);
        pixels[3] = decoded.pixels[3];
        EXPECT_EQ(decoded.pixels, pixels);
    }
    {
        std::vector<std::uint32_t> const pixels(64 * 64, 0xFF336699);
        Decoded const decoded = decode(encode(Format::Jpeg, pixels, 64, 64));
        ASSERT_EQ(decoded.status, DecodeStatus::Decoded);
        ASSERT_EQ(decoded.pixels.size(), pixels.size());
        for (std::uint32_t pixel : decoded.pixels) {
            EXPECT_EQ(pixel >> 24, 255u);
            EXPECT_NEAR(int(pixel >> 16 & 255), 0x33, 4);
            EXPECT_NEAR(int(pixel >> 8 & 255), 0x66, 4);
            EXPECT_NEAR(int(pixel & 255), 0x99, 4);
        }
    }
}

// More than 256 colours: GIF falls back to a colour cube, every pixel within a cube step of its colour.
TEST(ImageCodecs, GifWithManyColoursIsQuantised)
{
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t i = 0; i < 1024; ++i) pixels.push_back(0xFF000000 | i * 4099 % 0xFFFFFF);
    Decoded const decoded = decode(encode(Format::Gif, pixels, 32, 32));
    ASSERT_EQ(decoded.status, DecodeStatus::Decoded);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        for (int shift : { 0, 8, 16 })
            EXPECT_NEAR(int(decoded.pixels[i] >> shift & 255), int(pixels[i] >> shift & 255), 26);
        EXPECT_EQ(decoded.pixels[i] >> 24, 255u);
    }
}

// Hand-made BMP layouts: palettes of 8 and 1 bits, RLE8 runs, top-down 24 bits, 16-bit fields, and 32 bits
// whose alpha bytes are all 0 (opaque).
TEST(ImageCodecs, BmpLayoutsDecodeToTheirPixels)
{
    Bytes const palette = { 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0 }; // red, green, blue (B, G, R, 0)
    struct Case {
        char const* name;
        Bytes file;
        std::uint32_t width, height;
        std::vector<std::uint32_t> pixels;
    };
    Case const cases[] = {
        { "8-bit palette, bottom-up", bmp(2, 2, 8, 0, palette, { 0, 1, 0, 0, 2, 0, 0, 0 }, 3), 2, 2,
            { 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF00FF00 } },
        { "1-bit", bmp(3, 1, 1, 0, { 0, 0, 0, 0, 255, 255, 255, 0 }, { 0xA0, 0, 0, 0 }), 3, 1,
            { 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF } },
        { "RLE8", bmp(4, 2, 8, 1, palette, { 3, 1, 1, 2, 0, 0, 2, 0, 2, 2, 0, 1 }, 3), 4, 2,
            { 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF } },
        { "24-bit top-down", bmp(1, -2, 24, 0, {}, { 1, 2, 3, 0, 4, 5, 6, 0 }), 1, 2, { 0xFF030201, 0xFF060504 } },
        { "16-bit 5-6-5 fields",
            bmp(1, 1, 16, 3, little_endian({ { 0xF800, 4 }, { 0x07E0, 4 }, { 0x001F, 4 } }), { 0xFF, 0xFF, 0, 0 }), 1,
            1, { 0xFFFFFFFF } },
        { "32-bit, alpha bytes 0", bmp(2, 1, 32, 0, {}, { 1, 2, 3, 0, 4, 5, 6, 0 }), 2, 1, { 0xFF030201, 0xFF060504 } },
        { "32-bit with alpha", bmp(2, 1, 32, 0, {}, { 1, 2, 3, 9, 4, 5, 6, 0 }), 2, 1, { 0x09030201, 0x00060504 } },
    };
    for (Case const& each : cases) {
        Decoded const decoded = decode(each.file);
        ASSERT_EQ(decoded.status, DecodeStatus::Decoded) << each.name;
        EXPECT_EQ(decoded.width, each.width) << each.name;
        EXPECT_EQ(decoded.height, each.height) << each.name;
        EXPECT_EQ(decoded.pixels, each.pixels) << each.name;
    }
}

// Every cut of a good file, and files with damaged bytes, decode or fail without a crash; a BMP whose header
// promises more rows than it holds fails before any pixel memory is asked for.
TEST(ImageCodecs, CutAndDamagedFilesFailQuietly)
{
    std::vector<std::uint32_t> const pixels = sample_pixels(false);
    for (Format format : { Format::Png, Format::Bmp, Format::Tiff, Format::Gif, Format::Jpeg }) {
        Bytes const whole = encode(format, pixels, 7, 5);
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            Bytes const part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            Decoded const decoded = decode(part);
            EXPECT_NE(decoded.status, DecodeStatus::Unavailable);
        }
        for (std::size_t at = 0; at < whole.size(); at += 3) {
            Bytes damaged = whole;
            damaged[at] ^= 0x5A;
            decode(damaged);
        }
    }
    Bytes const huge = bmp(60000, 60000, 24, 0, {}, { 1, 2, 3 });
    Decoded const decoded = decode(huge);
    EXPECT_EQ(decoded.status, DecodeStatus::Corrupt);
    EXPECT_TRUE(decoded.pixels.empty());
}

namespace {

std::string const fixtures = XOL_IMAGE_FIXTURES;

Bytes read_file(std::string const& path)
{
    Bytes bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

void write_file(std::string const& path, Bytes const& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// Debian's python3 with Pillow, the test oracle, reads a file and writes its pixels as RGBA bytes after a
// width and a height line; nothing when the oracle is missing.
std::optional<Decoded> oracle_read(std::string const& path)
{
    std::string const raw = path + ".rgba";
    std::string const command = "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                "im = Image.open(sys.argv[1]).convert('RGBA'); "
                                "open(sys.argv[2], 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\" '"
        + path + "' '" + raw + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    Bytes const bytes = read_file(raw);
    std::remove(raw.c_str());
    auto const newline = std::find(bytes.begin(), bytes.end(), '\n');
    if (newline == bytes.end()) return std::nullopt;
    Decoded decoded;
    std::sscanf(std::string(bytes.begin(), newline).c_str(), "%u %u", &decoded.width, &decoded.height);
    for (auto at = newline + 1; at + 3 < bytes.end(); at += 4)
        decoded.pixels.push_back(
            std::uint32_t { at[3] } << 24 | std::uint32_t { at[0] } << 16 | std::uint32_t { at[1] } << 8 | at[2]);
    decoded.status = DecodeStatus::Decoded;
    return decoded;
}

bool oracle_present()
{
    return std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
}

// Within `tolerance` on each channel; a transparent pixel's colour does not count.
void expect_close(std::vector<std::uint32_t> const& ours, std::vector<std::uint32_t> const& theirs, int tolerance,
    std::string const& name)
{
    ASSERT_EQ(ours.size(), theirs.size()) << name;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if ((ours[i] >> 24) == 0 && (theirs[i] >> 24) == 0) continue;
        for (int shift : { 0, 8, 16, 24 }) {
            ASSERT_NEAR(int(ours[i] >> shift & 255), int(theirs[i] >> shift & 255), tolerance)
                << name << " pixel " << i << " shift " << shift;
        }
    }
}

}

// The committed hand-made files whose pixels the format fixes (the README in their folder says how each was made).
TEST(ImageCodecs, FixturesDecodeToTheirPixels)
{
    struct Case {
        char const* file;
        std::uint32_t width, height;
        std::vector<std::uint32_t> pixels;
        int tolerance;
    };
    constexpr std::uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;
    Case const cases[] = {
        { "rle8.bmp", 4, 3, { red, green, green, red, green, blue, green, blue, red, red, red, red }, 0 },
        { "top_down.bmp", 2, 2, { 0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A }, 0 },
        { "associated_alpha.tif", 2, 2, { 0x80643200, 0, 0xFFFFFFFF, 0x400C1420 }, 0 },
        // 16-bit samples without a gAMA chunk are linear light to libpng, which encodes them with gamma 2.2.
        { "grey16.png", 3, 2, { 0xFF000000, 0xFF262626, 0xFFB3B3B3, 0xFFFFFFFF, 0xFF151515, 0xFF1C1C1C }, 1 },
        { "cmyk.jpg", 8, 8, std::vector<std::uint32_t>(64, 0xFFBF5F00), 6 },
    };
    for (Case const& each : cases) {
        Decoded const decoded = decode(read_file(fixtures + "/" + each.file));
        ASSERT_EQ(decoded.status, DecodeStatus::Decoded) << each.file;
        EXPECT_EQ(decoded.width, each.width) << each.file;
        EXPECT_EQ(decoded.height, each.height) << each.file;
        expect_close(decoded.pixels, each.pixels, each.tolerance, each.file);
    }
}

// Pillow reads what we write with the same pixels, and we read what it wrote with its pixels.
TEST(ImageCodecs, PillowAgreesBothWays)
{
    if (!oracle_present()) GTEST_SKIP() << "Debian's python3-pil is not installed";
    for (char const* file : { "palette_trns.png", "interlaced_transparent.gif", "progressive.jpg", "two_pages.tif",
             "palette8.bmp", "one_bit.bmp", "top_down.bmp", "associated_alpha.tif" }) {
        std::string const path = fixtures + "/" + file;
        Decoded const ours = decode(read_file(path));
        ASSERT_EQ(ours.status, DecodeStatus::Decoded) << file;
        std::optional<Decoded> const theirs = oracle_read(path);
        ASSERT_TRUE(theirs) << file;
        EXPECT_EQ(ours.width, theirs->width) << file;
        EXPECT_EQ(ours.height, theirs->height) << file;
        expect_close(ours.pixels, theirs->pixels, std::string(file).ends_with(".jpg") ? 3 : 1, file);
    }
    std::string const directory = testing::TempDir();
    struct Written {
        Format format;
        char const* name;
        bool opaque;
        int tolerance;
    };
    for (Written const each : { Written { Format::Png, "ours.png", false, 0 },
             Written { Format::Bmp, "ours.bmp", false, 0 }, Written { Format::Tiff, "ours.tif", false, 0 },
             Written { Format::Gif, "ours.gif", true, 0 }, Written { Format::Jpeg, "ours.jpg", true, 3 } }) {
        std::vector<std::uint32_t> pixels = sample_pixels(each.opaque);
        std::string const path = directory + each.name;
        Bytes const written = encode(each.format, pixels, 7, 5);
        write_file(path, written);
        // A lossy file is judged against our own reading of it.
        if (each.format == Format::Jpeg) pixels = decode(written).pixels;
        std::optional<Decoded> const theirs = oracle_read(path);
        std::remove(path.c_str());
        ASSERT_TRUE(theirs) << each.name;
        EXPECT_EQ(theirs->width, 7u);
        EXPECT_EQ(theirs->height, 5u);
        expect_close(pixels, theirs->pixels, each.tolerance, each.name);
    }
}
