// PNG of one 4096x4096 picture with alpha: encoding and decoding through the image codecs, best of 3 each,
// then the same through Python and Pillow (python/image_png.py, given the same pixels) in the same run, and
// the ratios. Run it from a Release build.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "datatypes/image/codecs.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t side = 4096;
constexpr int rounds = 3;

template <typename Work> double time_best(Work work)
{
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        auto const start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

std::vector<std::uint32_t> decoded;

std::uint32_t* give(void*, std::uint32_t width, std::uint32_t height)
{
    decoded.resize(std::size_t { width } * height);
    return decoded.data();
}

}

int main(int argc, char** argv)
{
    using namespace xol;
    // A photograph-like picture: smooth gradients, a little noise, and an alpha ramp.
    std::vector<std::uint32_t> pixels(std::size_t { side } * side);
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) {
            noise = noise * 1103515245 + 12345;
            std::uint32_t const jitter = noise >> 29;
            std::uint32_t const red = (x / 16 + jitter) & 255;
            std::uint32_t const green = (y / 16 + jitter) & 255;
            std::uint32_t const blue = ((x + y) / 32) & 255;
            std::uint32_t const alpha = 255 - (x / 32 & 127);
            pixels[std::size_t { y } * side + x] = alpha << 24 | red << 16 | green << 8 | blue;
        }
    }
    std::vector<std::uint8_t> file;
    double const encode
        = time_best([&] { image_codecs::encode(image_codecs::Format::Png, pixels.data(), side, side, file); });
    double const decode = time_best([&] { image_codecs::decode(image_codecs::Format::Png, file, give, nullptr); });
    if (decoded != pixels) {
        std::puts("decoded pixels differ");
        return 1;
    }
    std::printf("xol     encode %8.1f ms  decode %8.1f ms  (%zu bytes)\n", encode * 1000, decode * 1000, file.size());

    // The same pixels for Pillow, as RGBA bytes.
    std::string const raw = "/tmp/xol_bench_image.rgba";
    FILE* out = std::fopen(raw.c_str(), "wb");
    if (!out) return 1;
    std::vector<std::uint8_t> rgba(pixels.size() * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        rgba[4 * i] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgba[4 * i + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgba[4 * i + 2] = static_cast<std::uint8_t>(pixels[i]);
        rgba[4 * i + 3] = static_cast<std::uint8_t>(pixels[i] >> 24);
    }
    std::fwrite(rgba.data(), 1, rgba.size(), out);
    std::fclose(out);
    std::string const script = argc > 1 ? argv[1] : "bench/python/image_png.py";
    std::string const command
        = "/usr/bin/python3 " + script + " " + raw + " " + std::to_string(side) + " > " + raw + ".times";
    int const status = std::system(command.c_str());
    double pillow_encode = 0;
    double pillow_decode = 0;
    if (FILE* times = std::fopen((raw + ".times").c_str(), "r")) {
        if (std::fscanf(times, "%lf %lf", &pillow_encode, &pillow_decode) != 2) pillow_encode = 0;
        std::fclose(times);
    }
    std::remove(raw.c_str());
    std::remove((raw + ".times").c_str());
    if (status != 0 || pillow_encode <= 0) {
        std::puts("Pillow run failed");
        return 1;
    }
    std::printf("pillow  encode %8.1f ms  decode %8.1f ms\n", pillow_encode * 1000, pillow_decode * 1000);
    std::printf(
        "ratio   encode %8.2f     decode %8.2f  (xol / pillow)\n", encode / pillow_encode, decode / pillow_decode);
    return 0;
}
