// The image decoders' fuzz targets share this driver: arbitrary bytes behind a format's signature through
// image/from-binary, under a pixel cap so that runs exercise the parsers rather than memory. A decoded image
// or bad-media is an answer (none! for bytes of no format); a crash, a sanitizer report, an assertion, any
// other error, or an image whose size disagrees with its pixels is a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/startup.h"
#include "datatypes/binary.h"
#include "datatypes/image.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace image_fuzz {

using namespace xol;

inline bool start()
{
    app::init();
    gc::state.enabled = true;
    image::state.most_decoded_pixels = 1 << 20;
    return true;
}

// Decodes the bytes, with the signature in front unless they already start with it.
inline int run(std::uint8_t const* data, std::size_t size, std::vector<std::uint8_t> const& signature)
{
    static bool const ready = start();
    (void)ready;
    std::vector<std::uint8_t> bytes;
    if (size < signature.size() || std::memcmp(data, signature.data(), signature.size()) != 0)
        bytes.insert(bytes.end(), signature.begin(), signature.end());
    bytes.insert(bytes.end(), data, data + size);
    Rooted binary(binary::load(bytes));
    CallFrame* frame = stack::push_try_frame(cell::make(type_ids::word));
    try {
        Rooted decoded(image::from_binary(*binary));
        if (cell::type_of(*decoded) != type_ids::image) __builtin_trap();
        pixel_store::PixelStore const* store = image::store_of(*decoded);
        if (store && (store->width != image::width(*decoded) || store->height != image::height(*decoded)))
            __builtin_trap();
        if (store) {
            // Every pixel is read: one the decoder left unwritten shows under the sanitizers' memory checks.
            std::uint32_t sum = 0;
            for (std::uint32_t i = 0; i < image::pixel_count(*decoded); ++i) sum += store->pixels[i];
            if (sum == 0x12345678) stack::push(cell::make(type_ids::none));
        }
    } catch (Unwind const&) {
        stack::land(frame);
        stack::reset_to_last();
        stack::drop_arguments();
        if (errors::last_raised().id != err::access::bad_media) __builtin_trap();
        return 0;
    }
    stack::pop_frame_empty();
    return 0;
}

}
