// Fuzz target for BMP decoding through image/from-binary: arbitrary bytes behind the BMP signature.
// Seeds: tests/fuzz/bmp_seeds/.

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    return image_fuzz::run(data, size, { 'B', 'M' });
}
