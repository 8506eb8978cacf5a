// Fuzz target for JPEG decoding through image/from-binary: arbitrary bytes behind the JPEG signature.
// Seeds: tests/fuzz/jpeg_seeds/.

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    return image_fuzz::run(data, size, { 0xFF, 0xD8, 0xFF });
}
