// Fuzz target for GIF decoding through image/from-binary: arbitrary bytes behind the GIF signature.
// Seeds: tests/fuzz/gif_seeds/.

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    return image_fuzz::run(data, size, { 'G', 'I', 'F', '8', '9', 'a' });
}
