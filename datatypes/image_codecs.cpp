// image!'s entries for the codecs: decoding a binary! of file bytes, encoding to a format, scaling.

#include <vector>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "datatypes/image.h"
#include "datatypes/image/codecs.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "runtime/errors.h"
#include "runtime/platform/files.h"
#include "runtime/roots.h"

namespace xol::image {

ImageState state;

namespace {

// The decoders ask for pixels once they know the size: a store, unless a side is beyond what a cell holds
// (the file is bad) or the memory cannot be had.
struct Sink {
    OwnedStore store;
    bool too_large = false;

    static std::uint32_t* give(void* context, std::uint32_t width, std::uint32_t height)
    {
        auto* sink = static_cast<Sink*>(context);
        if (width == 0 || height == 0 || width > pixel_store::max_side || height > pixel_store::max_side
            || std::uint64_t { width } * height > state.most_decoded_pixels) {
            sink->too_large = true;
            return nullptr;
        }
        sink->store.reset(pixel_store::make(width, height));
        return sink->store ? sink->store->pixels : nullptr;
    }
};

}

bool known_format_q(Cell const& binary)
{
    return image_codecs::detect(binary::bytes(binary)).has_value();
}

Cell from_binary(Cell const& binary)
{
    std::span<std::uint8_t const> bytes = binary::bytes(binary);
    std::optional<image_codecs::Format> const format = image_codecs::detect(bytes);
    if (!format) return none_value;
    // The decoders read the bytes in place: nothing allocates series memory until the store is made.
    Sink sink;
    image_codecs::DecodeStatus const status = image_codecs::decode(*format, bytes, Sink::give, &sink);
    if (status == image_codecs::DecodeStatus::Refused && !sink.too_large) fire_error(err::internal::no_memory);
    if (status != image_codecs::DecodeStatus::Decoded) fire_error(err::access::bad_media);
    std::uint32_t const width = sink.store->width;
    std::uint32_t const height = sink.store->height;
    return make_with_store(std::move(sink.store), width, height);
}

Cell from_path(std::string const& path, Cell const& file)
{
    Rooted kept_file(file);
    std::optional<std::string> const contents = platform::read_file(path);
    if (!contents) fire_error(err::access::cannot_open, &*kept_file);
    std::span<std::uint8_t const> const bytes(
        reinterpret_cast<std::uint8_t const*>(contents->data()), contents->size());
    std::optional<image_codecs::Format> const format = image_codecs::detect(bytes);
    Sink sink;
    if (!format || image_codecs::decode(*format, bytes, Sink::give, &sink) != image_codecs::DecodeStatus::Decoded)
        fire_error(err::access::cannot_open, &*kept_file);
    std::uint32_t const width = sink.store->width;
    std::uint32_t const height = sink.store->height;
    return make_with_store(std::move(sink.store), width, height);
}

Cell decode(Cell const& source)
{
    if (cell::type_of(source) == type_ids::binary) return from_binary(source);
    if (cell::type_of(source) != type_ids::file) fire_error(err::script::invalid_arg, &source);
    return from_path(file::local_path(source), source);
}

Cell encode(Cell const& value, std::int32_t format)
{
    if (format < 0 || format > 4) {
        Cell const index = cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(format));
        fire_error(err::script::out_of_range, &index);
    }
    pixel_store::PixelStore const* store = store_of(value);
    if (!store) fire_error(err::access::bad_media);
    std::vector<std::uint8_t> bytes;
    bool const encoded = image_codecs::encode(
        static_cast<image_codecs::Format>(format), store->pixels, store->width, store->height, bytes);
    if (!encoded || bytes.empty()) fire_error(err::access::bad_media);
    return binary::load(bytes);
}

Cell scaled(Cell const& value, std::uint32_t width_wanted, std::uint32_t height_wanted)
{
    pixel_store::PixelStore const* source = store_of(value);
    if (width_wanted > pixel_store::max_side || height_wanted > pixel_store::max_side) {
        Cell const size = pair::make(static_cast<std::int32_t>(width_wanted), static_cast<std::int32_t>(height_wanted));
        fire_error(err::script::out_of_range, &size);
    }
    if (!source || width_wanted == 0 || height_wanted == 0) return make_with_store(nullptr, 0, 0);
    OwnedStore store(pixel_store::scale(*source, width_wanted, height_wanted));
    if (!store) fire_error(err::internal::no_memory);
    return make_with_store(std::move(store), width_wanted, height_wanted);
}

}
