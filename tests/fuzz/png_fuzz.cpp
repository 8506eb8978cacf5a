// Fuzz target for PNG decoding through image/from-binary: arbitrary bytes behind the PNG signature.
// Seeds: tests/fuzz/png_seeds/.

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    return image_fuzz::run(data, size, { 0x89, 'P', 'N', 'G', 13, 10, 26, 10 });
}
