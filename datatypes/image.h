// image!: a two-dimensional series of pixels. The cell holds the size and a position; the pixels live in a
// pixel store (datatypes/image/pixel_store.h) reached through a small record that the cell's values share.
//
// Cell: header low byte 53, bit 16 set while an object owns the image; word 1 the position, a 0-based pixel
// offset in row-major order; word 2 the record's node, 0 for an image without pixels (a side of 0); word 3
// the size, width in bits 0-15 and height in bits 16-31. The record is a byte series whose first 32-bit word
// is the external-resource slot of the store: the collector marks that slot for every live image, and the
// registry's sweep frees the stores no image reaches.
//
// Pixels reach the language as 4-component tuples R.G.B.alpha, alpha being transparency (255 - A).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "datatypes/action_table.h"
#include "datatypes/image/pixel_store.h"

namespace xol::image {

inline constexpr TypeId type_id = type_ids::image;

inline std::uint32_t width(Cell const& value)
{
    return value.word3 & 0xFFFF;
}
inline std::uint32_t height(Cell const& value)
{
    return value.word3 >> 16;
}
inline std::uint32_t pixel_count(Cell const& value)
{
    return width(value) * height(value); // below 2^32: each side is 16 bits
}

struct StoreDeleter {
    void operator()(pixel_store::PixelStore* store) const { pixel_store::release(store); }
};
using OwnedStore = std::unique_ptr<pixel_store::PixelStore, StoreDeleter>;

// The store of an image, nullptr for an image without pixels. The store does not move: its address stays
// valid while the image is reachable.
pixel_store::PixelStore* store_of(Cell const& value);

// A new image! at position 0 holding the store (taken over); nullptr gives an image of width x height with
// no pixels (a side must then be 0). May allocate.
Cell make_with_store(OwnedStore store, std::uint32_t width, std::uint32_t height);
// A new store of the size, or internal no-memory; a side above 65535 raises script out-of-range with the
// size as a pair.
OwnedStore new_store(std::uint64_t width, std::uint64_t height);

enum class DataMode : std::uint8_t { Alpha = 0, Rgb = 1, Argb = 2 };

// The whole image's pixel data from its top-left pixel: Argb the raw words (B, G, R, A per pixel), Rgb three
// bytes R, G, B, Alpha one byte of transparency each. May allocate.
Cell get_data(Cell const& value, DataMode);
// Overwrites the whole image's pixel data from a binary! (from its position), a tuple! or an integer!
// colour; any other value raises script invalid-arg. The owner hears of it as a poke. Answers the source.
// May allocate.
Cell set_data(Cell const& value, Cell const& source, DataMode);

// The absolute pixel offset of a position value (integer! or pair!) from the image's position; base 1 for
// pick, poke and at, 0 for skip. Offsets are clamped to 0..pixel count; `out_of_range`, when given, is set
// for a position outside the image.
std::uint32_t offset(Cell const& value, Cell const& position, std::int32_t base, bool* out_of_range);
// The pixel at an absolute offset as a 4-component tuple; none! at the pixel count.
Cell pixel_at(Cell const& value, std::uint32_t offset);
// One step of foreach over an image: word i of the block gets the pixel at position + i - 1.
void foreach_set_words(Cell const& value, Cell const& words, std::int32_t count);

// Decoding's process-wide setting: files of more pixels than this are refused as bad media. Sides beyond 16
// bits are refused whatever it says; a fuzzing driver lowers it so that runs test parsing, not memory.
struct ImageState {
    std::uint64_t most_decoded_pixels = std::uint64_t { pixel_store::max_side } * pixel_store::max_side;
};
extern ImageState state;

// Whether the binary's bytes from its position start with the signature of a format we decode.
bool known_format_q(Cell const& binary);
// A new image decoded from the binary's bytes: none! for bytes of no known format, access bad-media for
// bytes that do not decode. May allocate.
Cell from_binary(Cell const& binary);
// A new image decoded from the file at a local path; access cannot-open with `file` (the value to name in
// the error) when the file cannot be read or decoded. May allocate.
Cell from_path(std::string const& path, Cell const& file);
// A binary! goes to from_binary; a file! is decoded from its file (access cannot-open when it cannot be
// read or decoded); any other value raises script invalid-arg. May allocate.
Cell decode(Cell const& source);
// A binary! in the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF). An image without pixels or a failing
// encoder raises access bad-media; another index script out-of-range. May allocate.
Cell encode(Cell const& value, std::int32_t format);
// A new image: nearest-neighbour scaling of the whole image. May allocate.
Cell scaled(Cell const& value, std::uint32_t width, std::uint32_t height);

extern DatatypeRecord const record; // parent series!

}
