// The pixel store behind every image! that has pixels: width x height 32-bit words, rows top to bottom with
// no padding, each word A << 24 | R << 16 | G << 8 | B (in memory B, G, R, A) with straight alpha, A the
// opacity. A store lives outside the series memory, so its pixel address stays put across collections; the
// external-resource registry owns it and its release frees it.
#pragma once

#include <cstdint>

namespace xol::pixel_store {

// Each side is at most this, so that the size fits the cell's two 16-bit halves.
inline constexpr std::uint32_t max_side = 65535;

struct PixelStore {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t* pixels; // width x height words
};

// A store of width x height uninitialised pixels; both sides 1..max_side. nullptr when the memory cannot be
// had. The product is taken in 64 bits, so no size wraps.
PixelStore* make(std::uint32_t width, std::uint32_t height);
void release(void* store); // the release handler of the registry's kind "image"; null does nothing

inline std::uint64_t pixel_count(PixelStore const& store)
{
    return std::uint64_t { store.width } * store.height;
}

// Opaque white.
inline constexpr std::uint32_t white = 0xFFFFFFFF;

// The colour word of the language's components: alpha is transparency, so A = 255 - alpha.
inline constexpr std::uint32_t pixel_of(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha)
{
    return std::uint32_t(255 - alpha) << 24 | std::uint32_t { red } << 16 | std::uint32_t { green } << 8 | blue;
}
inline constexpr std::uint8_t red_of(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel >> 16);
}
inline constexpr std::uint8_t green_of(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel >> 8);
}
inline constexpr std::uint8_t blue_of(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel);
}
inline constexpr std::uint8_t opacity_of(std::uint32_t pixel)
{
    return static_cast<std::uint8_t>(pixel >> 24);
}

// Copies the rectangle of `source` at (x, y), width x height, which must lie inside it, to the new store
// `target` at (target_x, target_y), clipped at the target's right and bottom edges.
void copy_rectangle(PixelStore const& source, std::uint32_t x, std::uint32_t y, std::uint32_t width,
    std::uint32_t height, PixelStore& target, std::uint32_t target_x, std::uint32_t target_y);

// A new store holding the rectangle (which must lie inside the source), or nullptr without memory.
PixelStore* crop(PixelStore const& source, std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height);

// A new store of width x height (both 1..max_side) by nearest-neighbour sampling, or nullptr without memory.
PixelStore* scale(PixelStore const& source, std::uint32_t width, std::uint32_t height);

}
