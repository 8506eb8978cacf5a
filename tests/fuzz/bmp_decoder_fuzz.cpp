// Fuzz target for our BMP decoder alone, without the runtime: arbitrary bytes, behind "BM" unless they start with it,
// under a pixel cap. A decode or a refusal is an answer; a crash or a sanitizer report is a fault. Seeds:
// tests/fuzz/bmp_decoder_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "datatypes/image/bmp.h"

namespace {

constexpr std::uint64_t most_pixels = 1 << 20;

std::vector<std::uint32_t> pixels;

std::uint32_t* give(void*, std::uint32_t width, std::uint32_t height)
{
    if (std::uint64_t { width } * height > most_pixels) return nullptr;
    pixels.assign(std::size_t { width } * height, 0x5EEDF00D);
    return pixels.data();
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes;
    if (size < 2 || data[0] != 'B' || data[1] != 'M') bytes = { 'B', 'M' };
    bytes.insert(bytes.end(), data, data + size);
    pixels.clear();
    xol::bmp::decode(bytes, give, nullptr);
    return 0;
}
