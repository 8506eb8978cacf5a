// The pixel store: allocation outside the series memory, rectangle copies and nearest-neighbour scaling.

#include "datatypes/image/pixel_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace xol::pixel_store {

PixelStore* make(std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0 || width > max_side || height > max_side) return nullptr;
    std::uint64_t const bytes = std::uint64_t { width } * height * sizeof(std::uint32_t);
    auto* pixels = static_cast<std::uint32_t*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (!pixels) return nullptr;
    auto* store = new (std::nothrow) PixelStore { width, height, pixels };
    if (!store) std::free(pixels);
    return store;
}

void release(void* object)
{
    auto* store = static_cast<PixelStore*>(object);
    if (!store) return;
    std::free(store->pixels);
    delete store;
}

void copy_rectangle(PixelStore const& source, std::uint32_t x, std::uint32_t y, std::uint32_t width,
    std::uint32_t height, PixelStore& target, std::uint32_t target_x, std::uint32_t target_y)
{
    if (target_x >= target.width || target_y >= target.height) return;
    std::uint32_t const columns = std::min(width, target.width - target_x);
    std::uint32_t const rows = std::min(height, target.height - target_y);
    for (std::uint32_t row = 0; row < rows; ++row) {
        // memmove: the source may be the target itself.
        std::memmove(target.pixels + std::size_t { target_y + row } * target.width + target_x,
            source.pixels + std::size_t { y + row } * source.width + x,
            std::size_t { columns } * sizeof(std::uint32_t));
    }
}

PixelStore* crop(PixelStore const& source, std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height)
{
    PixelStore* store = make(width, height);
    if (store) copy_rectangle(source, x, y, width, height, *store, 0, 0);
    return store;
}

PixelStore* scale(PixelStore const& source, std::uint32_t width, std::uint32_t height)
{
    PixelStore* store = make(width, height);
    if (!store) return nullptr;
    for (std::uint32_t row = 0; row < height; ++row) {
        std::uint64_t const from_row = std::uint64_t { row } * source.height / height;
        std::uint32_t const* line = source.pixels + from_row * source.width;
        std::uint32_t* out = store->pixels + std::size_t { row } * width;
        for (std::uint32_t column = 0; column < width; ++column)
            out[column] = line[std::uint64_t { column } * source.width / width];
    }
    return store;
}

}
