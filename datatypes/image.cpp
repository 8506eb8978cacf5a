// image!: the record that ties a value to its pixel store, the value makers, pixel access and the data views.
// The actions are in image_actions.cpp, the codecs' entries in image_codecs.cpp.

#include "datatypes/image.h"

#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/extres.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"

namespace xol::image {

namespace {

// The registry's kind "image", registered on first use: a fresh start-up empties the kinds.
std::uint32_t store_kind()
{
    for (std::uint32_t kind = 1; kind <= extres::state.kind_count; ++kind)
        if (extres::state.kinds[kind - 1].release == pixel_store::release) return kind;
    return extres::register_kind("image", pixel_store::release);
}

std::int32_t slot_of(NodeId record)
{
    std::int32_t slot;
    std::memcpy(&slot, node::buffer(record)->head_address(), sizeof slot);
    return slot;
}

// The colour of a tuple! or an integer! as a pixel word; the integer's bytes run R, G, B, alpha from the low end.
std::uint32_t colour_pixel(Cell const& colour)
{
    if (cell::type_of(colour) == type_ids::integer) {
        auto const n = static_cast<std::uint32_t>(integer::get(colour));
        return pixel_store::pixel_of(static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24));
    }
    tuple::Bytes const bytes = tuple::bytes(colour);
    std::uint8_t const alpha = tuple::count(colour) > 3 ? bytes.at[3] : 0;
    return pixel_store::pixel_of(bytes.at[0], bytes.at[1], bytes.at[2], alpha);
}

}

pixel_store::PixelStore* store_of(Cell const& value)
{
    if (value.word2 == no_node) return nullptr;
    return static_cast<pixel_store::PixelStore*>(extres::state.slots[slot_of(value.word2)].object);
}

OwnedStore new_store(std::uint64_t width, std::uint64_t height)
{
    if (width > pixel_store::max_side || height > pixel_store::max_side) {
        Cell const size = pair::make(static_cast<std::int32_t>(std::min<std::uint64_t>(width, INT32_MAX)),
            static_cast<std::int32_t>(std::min<std::uint64_t>(height, INT32_MAX)));
        fire_error(err::script::out_of_range, &size);
    }
    if (width == 0 || height == 0) return nullptr;
    OwnedStore store(pixel_store::make(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)));
    if (!store) fire_error(err::internal::no_memory);
    return store;
}

Cell make_with_store(OwnedStore store, std::uint32_t width_given, std::uint32_t height_given)
{
    Cell result { type_id, 0, no_node, height_given << 16 | width_given };
    if (!store) return result;
    result.word3 = store->height << 16 | store->width;
    // The pixels count towards the collector's pacing like series bytes, so that images made and dropped in
    // a loop are reclaimed at the pace they are made. The series memory alone would not ask for a collection:
    // a record is small.
    std::uint64_t const bytes = pixel_store::pixel_count(*store) * sizeof(std::uint32_t);
    if (gc::collection_due(bytes)) gc::collect_if_enabled();
    gc::state.allocated += bytes;
    // The record is made before the store joins the registry: a collection while the record is allocated
    // would release a registered store that no value reaches yet.
    Rooted record_bytes(binary::make(16));
    std::uint8_t* place = binary::append_space(*record_bytes, sizeof(std::int32_t));
    std::int32_t const slot = extres::add(store.release(), store_kind());
    std::memcpy(place, &slot, sizeof slot);
    result.word2 = record_bytes->word2;
    return result;
}

std::uint32_t offset(Cell const& value, Cell const& position, std::int32_t base, bool* out_of_range)
{
    std::int64_t const w = width(value);
    std::int64_t const h = height(value);
    std::int64_t e = 0;
    if (cell::type_of(position) == type_ids::pair) {
        std::int64_t const x = pair::x(position);
        std::int64_t y = pair::y(position);
        if (out_of_range) {
            *out_of_range = base == 1 ? (x > w || x <= 0 || y > h || y <= 0) : (x >= w || x < 0 || y >= h || y < 0);
        }
        if (base == 1 && y > 0) --y;
        e = y * w + x;
    } else {
        e = integer::get(position);
        if (out_of_range) *out_of_range = false;
    }
    // 0 and negative positions count back from the position without the one-based shift.
    if (base == 1 && e <= 0) base = 0;
    std::int64_t const count = pixel_count(value);
    std::int64_t result = std::int64_t { value.word1 } + e - base;
    if (result < 0) {
        result = 0;
        e = 0;
    } else if (result >= count) {
        result = count;
        e = 0;
    }
    if (out_of_range && e == 0) *out_of_range = true;
    return static_cast<std::uint32_t>(result);
}

Cell pixel_at(Cell const& value, std::uint32_t at)
{
    pixel_store::PixelStore const* store = store_of(value);
    if (!store || at >= pixel_count(value)) return none_value;
    std::uint32_t const pixel = store->pixels[at];
    std::uint8_t const components[4] = { pixel_store::red_of(pixel), pixel_store::green_of(pixel),
        pixel_store::blue_of(pixel), static_cast<std::uint8_t>(255 - pixel_store::opacity_of(pixel)) };
    return tuple::make(components, 4);
}

void foreach_set_words(Cell const& value, Cell const& words, std::int32_t count)
{
    Rooted kept_words(words);
    for (std::int32_t i = 0; i < count; ++i) {
        Cell word = static_cast<std::uint32_t>(i) < block::rs_length_q(*kept_words) ? block::rs_head(*kept_words)[i]
                                                                                    : none_value;
        if (!type_ids::is_plain_word(cell::type_of(word))) fire_error(err::script::invalid_arg, &word);
        std::uint64_t const at = std::uint64_t { value.word1 } + static_cast<std::uint32_t>(i);
        Cell const pixel = at < pixel_count(value) ? pixel_at(value, static_cast<std::uint32_t>(at)) : none_value;
        word::set(word, pixel);
    }
}

Cell get_data(Cell const& value_given, DataMode mode)
{
    // The value may sit in a buffer that making the result moves, or name a node that it relocates.
    Rooted value(value_given);
    std::uint32_t const count = pixel_count(*value);
    std::uint32_t const unit = mode == DataMode::Argb ? 4 : mode == DataMode::Rgb ? 3 : 1;
    std::uint64_t const bytes = std::uint64_t { count } * unit;
    if (bytes > INT32_MAX) fire_error(err::internal::no_memory);
    Rooted result(binary::make(static_cast<std::uint32_t>(bytes)));
    std::uint8_t* out = binary::append_space(*result, static_cast<std::uint32_t>(bytes));
    pixel_store::PixelStore const* store = store_of(*value);
    if (!store) return *result;
    std::uint32_t const* pixels = store->pixels;
    switch (mode) {
    case DataMode::Argb:
        std::memcpy(out, pixels, bytes);
        break;
    case DataMode::Rgb:
        for (std::uint32_t i = 0; i < count; ++i) {
            out[3 * i] = pixel_store::red_of(pixels[i]);
            out[3 * i + 1] = pixel_store::green_of(pixels[i]);
            out[3 * i + 2] = pixel_store::blue_of(pixels[i]);
        }
        break;
    case DataMode::Alpha:
        for (std::uint32_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>(255 - pixel_store::opacity_of(pixels[i]));
        break;
    }
    return *result;
}

Cell set_data(Cell const& value, Cell const& source, DataMode mode)
{
    TypeId const type = cell::type_of(source);
    if (type != type_ids::binary && type != type_ids::tuple && type != type_ids::integer)
        fire_error(err::script::invalid_arg, &source);
    pixel_store::PixelStore* store = store_of(value);
    std::uint32_t const count = pixel_count(value);
    if (store && type == type_ids::binary) {
        std::uint8_t const* bytes = binary::rs_head(source);
        std::uint32_t const length = binary::rs_length(source);
        std::uint32_t* pixels = store->pixels;
        switch (mode) {
        case DataMode::Argb:
            std::memcpy(pixels, bytes, std::min<std::uint64_t>(length, std::uint64_t { count } * 4));
            break;
        case DataMode::Rgb:
            for (std::uint32_t i = 0, n = std::min(length / 3, count); i < n; ++i) {
                pixels[i] = (pixels[i] & 0xFF000000) | std::uint32_t { bytes[3 * i] } << 16
                    | std::uint32_t { bytes[3 * i + 1] } << 8 | bytes[3 * i + 2];
            }
            break;
        case DataMode::Alpha:
            for (std::uint32_t i = 0, n = std::min(length, count); i < n; ++i)
                pixels[i] = (pixels[i] & 0x00FFFFFF) | std::uint32_t(255 - bytes[i]) << 24;
            break;
        }
    } else if (store) {
        std::uint32_t const colour = colour_pixel(source);
        // Mode 0 takes the transparency from the colour's first byte.
        std::uint8_t const first
            = type == type_ids::integer ? static_cast<std::uint8_t>(integer::get(source)) : tuple::bytes(source).at[0];
        std::uint32_t* pixels = store->pixels;
        for (std::uint32_t i = 0; i < count; ++i) {
            switch (mode) {
            case DataMode::Argb:
                pixels[i] = colour;
                break;
            case DataMode::Rgb:
                pixels[i] = (pixels[i] & 0xFF000000) | (colour & 0x00FFFFFF);
                break;
            case DataMode::Alpha:
                pixels[i] = (pixels[i] & 0x00FFFFFF) | std::uint32_t(255 - first) << 24;
                break;
            }
        }
    }
    if (value.header & ownership::image_owned_flag) {
        Rooted kept_source(source);
        series::tell_owned_series_owner(value, "poke", &*kept_source, 0, static_cast<std::int32_t>(count));
        return *kept_source;
    }
    return source;
}

}
