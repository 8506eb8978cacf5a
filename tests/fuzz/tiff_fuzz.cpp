// Fuzz target for TIFF decoding through image/from-binary: arbitrary bytes behind the TIFF signature.
// Seeds: tests/fuzz/tiff_seeds/.

#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    return image_fuzz::run(data, size, { 'I', 'I', '*', 0 });
}
