// Our BMP codec: header parsing, palettes, bit-field masks, RLE runs, and the 32-bit writer.

#include "datatypes/image/bmp.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace xol::bmp {

namespace {

using image_codecs::DecodeStatus;

// Little-endian reads that answer 0 past the end; callers check the lengths they depend on first.
struct Reader {
    std::span<std::uint8_t const> bytes;

    bool has(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= bytes.size() && count <= bytes.size() - offset;
    }
    std::uint32_t u16(std::uint64_t offset) const
    {
        if (!has(offset, 2)) return 0;
        return bytes[offset] | std::uint32_t { bytes[offset + 1] } << 8;
    }
    std::uint32_t u32(std::uint64_t offset) const
    {
        if (!has(offset, 4)) return 0;
        return u16(offset) | u16(offset + 2) << 16;
    }
};

constexpr std::uint32_t bi_rgb = 0;
constexpr std::uint32_t bi_rle8 = 1;
constexpr std::uint32_t bi_rle4 = 2;
constexpr std::uint32_t bi_bitfields = 3;
constexpr std::uint32_t bi_alphabitfields = 6;

// One channel of a bit-field mask, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t most = 0; // the largest value of the field

    explicit Channel(std::uint32_t given = 0)
        : mask(given)
    {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        std::uint32_t const field = mask >> shift;
        most = field; // a mask with holes still scales by its top value
    }
    std::uint32_t get(std::uint32_t word, std::uint32_t absent) const
    {
        if (mask == 0) return absent;
        std::uint64_t const value = (word & mask) >> shift;
        return static_cast<std::uint32_t>((value * 255 + most / 2) / most);
    }
};

struct Header {
    std::uint64_t pixel_offset = 0;
    std::uint32_t header_size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: top-down
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha
    std::uint64_t palette_offset = 0;
    std::uint32_t palette_entry = 4;
};

bool read_header(Reader const& in, Header& header)
{
    if (!in.has(0, 18) || in.bytes[0] != 'B' || in.bytes[1] != 'M') return false;
    header.pixel_offset = in.u32(10);
    header.header_size = in.u32(14);
    std::uint32_t const size = header.header_size;
    if (size == 12) {
        if (!in.has(14, 12)) return false;
        header.width = in.u16(18);
        header.height = static_cast<std::int16_t>(in.u16(20));
        header.bits = in.u16(24);
        header.palette_entry = 3;
    } else if (size == 40 || size == 52 || size == 56 || size == 108 || size == 124) {
        if (!in.has(14, size)) return false;
        header.width = static_cast<std::int32_t>(in.u32(18));
        header.height = static_cast<std::int32_t>(in.u32(22));
        header.bits = in.u16(28);
        header.compression = in.u32(30);
        header.colours_used = in.u32(46);
    } else {
        return false;
    }
    header.palette_offset = 14 + std::uint64_t { size };
    if (header.compression == bi_bitfields || header.compression == bi_alphabitfields) {
        // An INFO header keeps its masks after itself, before the palette; the larger headers hold them.
        std::uint32_t const count = header.compression == bi_alphabitfields ? 4 : 3;
        if (size == 40) {
            if (!in.has(54, 4 * count)) return false;
            for (std::uint32_t i = 0; i < count; ++i) header.masks[i] = in.u32(54 + 4 * i);
            header.palette_offset += 4 * count;
        } else {
            for (std::uint32_t i = 0; i < 3; ++i) header.masks[i] = in.u32(54 + 4 * i);
            if (size >= 56) header.masks[3] = in.u32(66);
        }
    } else if (header.bits == 16) {
        header.masks[0] = 0x7C00;
        header.masks[1] = 0x03E0;
        header.masks[2] = 0x001F;
    } else if (header.bits == 32) {
        header.masks[0] = 0x00FF0000;
        header.masks[1] = 0x0000FF00;
        header.masks[2] = 0x000000FF;
        // Alpha of an uncompressed file is read too, unless it is 0 throughout (see decode).
        header.masks[3] = 0xFF000000;
    }
    return true;
}

bool valid_layout(Header const& header)
{
    switch (header.compression) {
    case bi_rgb:
        return header.bits == 1 || header.bits == 4 || header.bits == 8 || header.bits == 16 || header.bits == 24
            || header.bits == 32;
    case bi_rle8:
        return header.bits == 8 && header.height > 0;
    case bi_rle4:
        return header.bits == 4 && header.height > 0;
    case bi_bitfields:
    case bi_alphabitfields:
        return header.bits == 16 || header.bits == 32;
    default:
        return false;
    }
}

std::uint32_t palette_pixel(Reader const& in, Header const& header, std::uint32_t count, std::uint32_t index)
{
    if (index >= count) return 0xFF000000;
    std::uint64_t const at = header.palette_offset + std::uint64_t { index } * header.palette_entry;
    return 0xFF000000 | in.bytes[at + 2] << 16 | in.bytes[at + 1] << 8 | in.bytes[at];
}

// The RLE runs into the rows (bottom-up); pixels no run reaches keep palette entry 0. Stops quietly at the
// end of the bytes or the image.
void decode_rle(Reader const& in, Header const& header, std::uint32_t palette_count, std::uint32_t* pixels,
    std::uint32_t width, std::uint32_t height)
{
    bool const four = header.compression == bi_rle4;
    auto const row_of = [&](std::uint32_t y) { return pixels + std::size_t { height - 1 - y } * width; };
    auto const put = [&](std::uint32_t x, std::uint32_t y, std::uint32_t index) {
        if (x < width && y < height) row_of(y)[x] = palette_pixel(in, header, palette_count, index);
    };
    std::uint64_t at = header.pixel_offset;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    while (y < height && in.has(at, 2)) {
        std::uint32_t const count = in.bytes[at];
        std::uint32_t const value = in.bytes[at + 1];
        at += 2;
        if (count > 0) {
            for (std::uint32_t i = 0; i < count && x < width; ++i, ++x)
                put(x, y, four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (!in.has(at, 2)) return;
            x += in.bytes[at];
            y += in.bytes[at + 1];
            at += 2;
        } else {
            // An absolute run of `value` indexes, padded to a whole 16-bit word.
            std::uint32_t const bytes = four ? (value + 1) / 2 : value;
            if (!in.has(at, bytes)) return;
            for (std::uint32_t i = 0; i < value; ++i, ++x) {
                std::uint32_t const byte = in.bytes[at + (four ? i / 2 : i)];
                put(x, y, four ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte);
            }
            at += bytes + (bytes & 1);
        }
    }
}

}

DecodeStatus decode(std::span<std::uint8_t const> bytes, image_codecs::PixelSink sink, void* context)
{
    Reader const in { bytes };
    Header header;
    if (!read_header(in, header) || !valid_layout(header)) return DecodeStatus::Corrupt;
    if (header.width <= 0 || header.height == 0 || header.height == INT32_MIN) return DecodeStatus::Corrupt;
    auto const width = static_cast<std::uint64_t>(header.width);
    std::uint64_t const height = static_cast<std::uint64_t>(header.height < 0 ? -header.height : header.height);
    bool const top_down = header.height < 0;

    std::uint32_t palette_count = 0;
    if (header.bits <= 8) {
        palette_count = header.colours_used ? header.colours_used : 1u << header.bits;
        palette_count = std::min(palette_count, 256u);
        // A palette cut short by the end of the bytes is cut at its last whole entry.
        std::uint64_t const room = header.palette_offset < bytes.size() ? bytes.size() - header.palette_offset : 0;
        palette_count = static_cast<std::uint32_t>(std::min<std::uint64_t>(palette_count, room / header.palette_entry));
    }
    bool const rle = header.compression == bi_rle8 || header.compression == bi_rle4;
    std::uint64_t const row_bytes = (width * header.bits + 31) / 32 * 4;
    // The rows must all be there before any pixel memory is asked for.
    if (!rle && (header.pixel_offset > bytes.size() || row_bytes * height > bytes.size() - header.pixel_offset))
        return DecodeStatus::Corrupt;
    if (width > UINT32_MAX || height > UINT32_MAX) return DecodeStatus::Refused;
    std::uint32_t* pixels = sink(context, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    if (!pixels) return DecodeStatus::Refused;
    auto const w = static_cast<std::uint32_t>(width);
    auto const h = static_cast<std::uint32_t>(height);

    if (rle) {
        std::fill(pixels, pixels + std::uint64_t { w } * h, palette_pixel(in, header, palette_count, 0));
        decode_rle(in, header, palette_count, pixels, w, h);
        return DecodeStatus::Decoded;
    }

    Channel const red(header.masks[0]);
    Channel const green(header.masks[1]);
    Channel const blue(header.masks[2]);
    Channel const alpha(header.masks[3]);
    bool any_alpha = false;
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t const* row = bytes.data() + header.pixel_offset + row_bytes * (top_down ? y : h - 1 - y);
        std::uint32_t* out = pixels + std::size_t { y } * w;
        for (std::uint32_t x = 0; x < w; ++x) {
            switch (header.bits) {
            case 1:
            case 4:
            case 8: {
                std::uint32_t const bit = x * header.bits;
                std::uint32_t const index = (row[bit / 8] >> (8 - header.bits - bit % 8)) & ((1u << header.bits) - 1);
                out[x] = palette_pixel(in, header, palette_count, index);
                break;
            }
            case 24:
                out[x] = 0xFF000000 | std::uint32_t { row[3 * x + 2] } << 16 | std::uint32_t { row[3 * x + 1] } << 8
                    | row[3 * x];
                break;
            default: {
                std::uint32_t const word = header.bits == 16 ? row[2 * x] | std::uint32_t { row[2 * x + 1] } << 8
                                                             : row[4 * x] | std::uint32_t { row[4 * x + 1] } << 8
                        | std::uint32_t { row[4 * x + 2] } << 16 | std::uint32_t { row[4 * x + 3] } << 24;
                std::uint32_t const opacity = alpha.get(word, 255);
                if (opacity != 0) any_alpha = true;
                out[x] = opacity << 24 | red.get(word, 0) << 16 | green.get(word, 0) << 8 | blue.get(word, 0);
            }
            }
        }
    }
    // A file that leaves every alpha byte 0 does not use them: it is opaque.
    if (alpha.mask != 0 && !any_alpha) {
        for (std::uint64_t i = 0, n = std::uint64_t { w } * h; i < n; ++i) pixels[i] |= 0xFF000000;
    }
    return DecodeStatus::Decoded;
}

void encode(std::uint32_t const* pixels, std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t>& output)
{
    constexpr std::uint32_t header_size = 108; // V4: room for the four masks
    constexpr std::uint32_t pixel_offset = 14 + header_size;
    std::uint64_t const data_size = std::uint64_t { width } * height * 4;
    output.assign(pixel_offset, 0);
    auto const put16 = [&](std::size_t at, std::uint32_t value) {
        output[at] = static_cast<std::uint8_t>(value);
        output[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    auto const put32 = [&](std::size_t at, std::uint32_t value) {
        put16(at, value & 0xFFFF);
        put16(at + 2, value >> 16);
    };
    output[0] = 'B';
    output[1] = 'M';
    std::uint64_t const file_size = pixel_offset + data_size;
    put32(2, file_size > UINT32_MAX ? 0 : static_cast<std::uint32_t>(file_size));
    put32(10, pixel_offset);
    put32(14, header_size);
    put32(18, width);
    put32(22, static_cast<std::uint32_t>(-static_cast<std::int32_t>(height))); // top-down: rows as stored
    put16(26, 1);
    put16(28, 32);
    put32(30, bi_bitfields);
    put32(34, data_size > UINT32_MAX ? 0 : static_cast<std::uint32_t>(data_size));
    put32(38, 2835); // 72 dots an inch
    put32(42, 2835);
    put32(54, 0x00FF0000);
    put32(58, 0x0000FF00);
    put32(62, 0x000000FF);
    put32(66, 0xFF000000);
    put32(70, 0x73524742); // the colour space "sRGB"
    output.resize(pixel_offset + data_size);
    // The words in memory are B, G, R, A: the bytes the masks describe.
    std::memcpy(output.data() + pixel_offset, pixels, data_size);
}

}
