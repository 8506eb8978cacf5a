// Our DEFLATE beside zlib's: reads a text and the zlib stream Python's zlib made of it (bench/deflate.py
// writes both and runs this), then times, best of 3 rounds each, our zlib writer on the text, our reader
// on zlib's stream, and our reader on our own stream, printing each time and size. Its exit status is
// non-zero when a decoded text differs from the original. Run it from a Release build.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime/host/deflate.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(char const* path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

template <typename Work> double best_of_3(Work work)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto const start = Clock::now();
        work();
        double const seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (seconds < best) best = seconds;
    }
    return best;
}

}

int main(int argc, char** argv)
{
    using namespace xol;
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_deflate TEXT ZLIB-STREAM\n");
        return 2;
    }
    Bytes const text = read_file(argv[1]);
    Bytes const theirs = read_file(argv[2]);
    Bytes ours(compress::bound(text.size()));
    std::uint32_t ours_length = 0;
    double const deflate_time = best_of_3([&] {
        ours_length = static_cast<std::uint32_t>(ours.size());
        compress::zlib(ours.data(), &ours_length, text.data(), static_cast<std::uint32_t>(text.size()));
    });
    ours.resize(ours_length);
    Bytes decoded;
    bool same = true;
    double const inflate_theirs = best_of_3([&] { compress::decode(compress::Framing::Zlib, theirs, decoded); });
    same = same && decoded == text;
    double const inflate_ours = best_of_3([&] { compress::decode(compress::Framing::Zlib, ours, decoded); });
    same = same && decoded == text;
    std::printf("xol deflate          %8.1f ms  %10zu -> %10zu bytes\n", deflate_time * 1000, text.size(), ours.size());
    std::printf(
        "xol inflate (zlib's) %8.1f ms  %10zu -> %10zu bytes\n", inflate_theirs * 1000, theirs.size(), text.size());
    std::printf("xol inflate (ours)   %8.1f ms  %10zu -> %10zu bytes\n", inflate_ours * 1000, ours.size(), text.size());
    if (!same) std::printf("decoded text differs\n");
    return same ? 0 : 1;
}
